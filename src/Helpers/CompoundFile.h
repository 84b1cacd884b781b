// A read-only reader of compound files (structured storage, versions 3 and 4).
//
// CompoundFile opens one container file and finds streams of its root storage by name; a
// CompoundStream reads one stream sequentially along its sector chain. The reader loads only what
// a look-up and a read touch: the header, the FAT sectors of the chains it follows (through the
// DIFAT), the directory entries it visits and the sectors of the stream itself. A name is looked
// for down the directory tree by the directory order first, which for an entry that is there
// costs the depth of the tree plus the chains followed. A name not found that way is then looked
// for in every entry of the directory (a writer may have ordered the tree otherwise, or damage
// may hide part of it), so a missing name costs reading the whole directory.
//
// Names compare as the format orders its directory: shorter names first, then the UTF-16 code
// units compared after simple upper-casing. A name that equals several entries ignoring case
// picks the one that matches exactly when there is one.
//
// Every count, sector number, chain and size read from the file is checked against the file:
// a damaged container gives a negative result code, never a read outside the file or an
// allocation beyond what the file's size justifies. Codes: kStgFileNotFound for a missing file
// or stream, kNotRegularFile for a FIFO, device or socket (opened without waiting for a writer),
// kStgInvalidHeader for a file that is not a compound file (signature, version, byte
// order, sector shifts), kStgDocfileCorrupt for damage (out-of-range or looping chains, sizes
// beyond the file, a truncated file), kStgReadFault for a failing read. Nothing here writes the
// error log: callers report what they detect.
//
// Ownership: a CompoundFile is shared (std::shared_ptr); every stream opened from it holds a
// reference, so the file stays open until the last of them is gone. The arrays a container used
// for its tables and directory are kept, up to 16 MiB, for the next container opened on the same
// thread. Neither class is thread-safe; one thread uses a container and its streams at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Helpers/CompoundFileFormat.h"
#include "common/ResultCode.h"

namespace Norik {

class CompoundFile;

// Follows one sector chain through the FAT or the mini FAT and remembers the part walked so far
// as runs of adjacent sectors, so that reaching the k-th sector of a chain costs reading the
// table entries of the k sectors before it once (a tight loop over a run of adjacent sectors) and
// nothing after. Every sector met is checked against the chain's range and against the sectors
// already passed (a loop), whatever the length of the chain.
class SectorChain {
public:
    enum class Table { Fat, MiniFat };
    SectorChain() = default;
    SectorChain(CompoundFile* file, Table table, std::uint32_t first, std::uint32_t limit);

    // The sector at position in the chain; kStgDocfileCorrupt when the chain ends before it,
    // leaves the table's range or comes back to a sector it already passed.
    HResult SectorAt(std::uint32_t position, std::uint32_t& sector) {
        std::uint32_t adjacent = 0;
        return Locate(position, sector, adjacent);
    }
    // As SectorAt; adjacent is the number of positions from position on (itself included) known
    // to lie in adjacent sectors of the file (at least 1).
    HResult Locate(std::uint32_t position, std::uint32_t& sector, std::uint32_t& adjacent);
    // Walks the chain until count positions are known or it fails; failures are met again by
    // Locate at the position where they lie.
    HResult Walk(std::uint32_t count);

private:
    struct Run {
        std::uint32_t position;  // of the first sector of the run in the chain
        std::uint32_t sector;
        std::uint32_t length;
    };
    // The first sector in [from, to) that the chain has passed already, or to.
    std::uint32_t FirstPassed(std::uint32_t from, std::uint32_t to) const;
    // Records [from, to) as passed once the runs are too many to search; the runs hold it so far.
    void RememberPassed(std::uint32_t from, std::uint32_t to);

    CompoundFile* m_file = nullptr;
    Table m_table = Table::Fat;
    std::uint32_t m_limit = 0;  // sector numbers at or above are out of range
    std::vector<Run> m_runs;
    std::uint32_t m_walked = 0;           // positions known
    std::size_t m_lastRun = 0;            // the run of the last position located
    std::vector<std::uint64_t> m_passed;  // sectors on the chain, once it has too many runs to search
    bool m_ended = false;
};

// One entry of the directory, as read from the file.
struct CompoundDirectoryEntry {
    std::u16string name;
    std::uint8_t type = 0;  // 0 unused, 1 storage, 2 stream, 5 root
    std::uint32_t left = 0;
    std::uint32_t right = 0;
    std::uint32_t child = 0;
    std::uint32_t startSector = 0;
    std::uint64_t size = 0;
};

class CompoundStream {
public:
    ~CompoundStream();
    CompoundStream(const CompoundStream&) = delete;
    CompoundStream& operator=(const CompoundStream&) = delete;

    // Reads up to count bytes from the current position. delivered is count, or less at the end
    // of the stream (0 there). Damage met after some bytes were copied ends this call with those
    // bytes and kOk; the next call returns the damage code. A damaged stream stays damaged.
    HResult Read(void* buffer, std::size_t count, std::size_t& delivered);

    std::uint64_t size() const { return m_size; }
    std::uint64_t position() const { return m_position; }

private:
    friend class CompoundFile;
    CompoundStream(std::shared_ptr<CompoundFile> file, std::uint32_t firstSector, std::uint64_t size, bool mini);
    HResult ReadSome(std::uint8_t* out, std::size_t count, std::size_t& done);

    std::shared_ptr<CompoundFile> m_file;
    SectorChain m_chain;
    std::uint64_t m_size = 0;
    std::uint64_t m_position = 0;
    bool m_mini = false;
    HResult m_damage = kOk;
};

class CompoundFile : public std::enable_shared_from_this<CompoundFile> {
public:
    static constexpr std::uint32_t kNoStream = Cfb::kNoStream;
    static constexpr std::uint32_t kEndOfChain = Cfb::kEndOfChain;
    static constexpr std::uint32_t kMaxRegularSector = Cfb::kMaxRegularSector;

    ~CompoundFile();
    CompoundFile(const CompoundFile&) = delete;
    CompoundFile& operator=(const CompoundFile&) = delete;

    // Opens path for reading and checks its header. On failure file is left empty.
    static HResult Open(const std::string& path, std::shared_ptr<CompoundFile>& file);

    // Opens the stream called name in the root storage (kStgFileNotFound when there is none, or
    // when the name belongs to a storage).
    HResult OpenStream(std::u16string_view name, std::unique_ptr<CompoundStream>& stream);

    // Finds the directory entry of a root-level child by name; kStgFileNotFound when missing.
    HResult FindRootChild(std::u16string_view name, std::uint32_t& id, CompoundDirectoryEntry& entry);

    int majorVersion() const { return m_header.majorVersion; }
    std::uint32_t sectorSize() const { return m_header.sectorSize; }

    // The format's directory order: negative, 0 or positive as a sorts before, with or after b.
    static int CompareNames(std::u16string_view a, std::u16string_view b);
    // Simple upper-casing of one UTF-16 code unit (ASCII, Latin-1, Greek, Cyrillic).
    static char16_t UpperCase(char16_t unit);

private:
    friend class SectorChain;
    friend class CompoundStream;

    // An array of 32-bit words taken from, and given back to, the spare arrays of the thread (see
    // CompoundFile.cpp): containers are opened afresh for every entry.
    class RecycledArray {
    public:
        RecycledArray() = default;
        ~RecycledArray();
        RecycledArray(RecycledArray&& other) noexcept
            : m_words(std::move(other.m_words)), m_capacity(std::exchange(other.m_capacity, 0)) {}
        RecycledArray& operator=(RecycledArray&&) = delete;
        // Makes the array hold count words (contents undefined).
        void Allocate(std::size_t count);
        std::uint32_t* get() const { return m_words.get(); }
        std::uint8_t* bytes() const { return reinterpret_cast<std::uint8_t*>(m_words.get()); }
        explicit operator bool() const { return m_words != nullptr; }

    private:
        std::unique_ptr<std::uint32_t[]> m_words;
        std::size_t m_capacity = 0;
    };

    // The FAT and the mini FAT as flat arrays of host integers, entry i describing sector i, made
    // when first needed and filled one file sector at a time as chains reach it. Entries of
    // sectors past the end of the file (or of the mini stream) are never needed: a chain that
    // reaches such a sector is damaged anyway.
    struct TableData {
        RecycledArray entries;
        std::vector<bool> loaded;   // by table sector
        std::uint32_t sectors = 0;  // table sectors covered
    };

    CompoundFile() = default;
    HResult ReadHeader();
    HResult ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
        return Cfb::ReadFileAt(m_file.get(), m_fileSize, offset, buffer, count);
    }
    std::uint64_t SectorOffset(std::uint32_t sector) const { return m_header.SectorOffset(sector); }
    // The FAT sector that holds entries [index * entriesPerSector, ...): its location in the file.
    HResult FatSectorLocation(std::uint32_t index, std::uint32_t& sector);
    // The table entries of sector, sector + 1, ...: entries points at the entry of sector, and
    // available (at least 1) says how many of them are loaded, to the end of the table sector of
    // sector and on through loaded table sectors as long as reach asks for; wanted is how many the
    // caller would like, which decides how far ahead the table is read.
    HResult FatEntries(std::uint32_t sector, std::uint32_t wanted, std::uint32_t reach, const std::uint32_t*& entries,
                       std::uint32_t& available);
    HResult MiniFatEntries(std::uint32_t miniSector, std::uint32_t wanted, std::uint32_t reach,
                           const std::uint32_t*& entries, std::uint32_t& available);
    HResult LoadFatSectors(std::uint32_t index, std::uint32_t wanted);
    HResult LoadMiniFatSectors(std::uint32_t index, std::uint32_t wanted);
    // Reads run table sectors, the first at file sector first, into table from entry sector index.
    HResult ReadTableSectors(TableData& table, std::uint32_t index, std::uint32_t first, std::uint32_t run);
    void EntriesFrom(const TableData& table, std::uint32_t sector, std::uint32_t reach, const std::uint32_t*& entries,
                     std::uint32_t& available) const;
    HResult ReadDirectoryEntry(std::uint32_t id, CompoundDirectoryEntry& entry);
    const std::uint8_t* DirectorySectorData(std::uint32_t position, HResult& code);
    // Copies count bytes of the mini stream (the root entry's data) starting at offset.
    HResult ReadMiniStream(std::uint64_t offset, std::uint8_t* out, std::size_t count, std::size_t& done);
    // Copies count bytes of a chain's data starting at offset, reading adjacent sectors at once.
    HResult ReadChainData(SectorChain& chain, std::uint64_t offset, std::uint8_t* out, std::size_t count,
                          std::size_t& done);
    // Finds a root-level entry by name, down the tree by the directory order or through all of it.
    HResult SearchTree(std::uint32_t start, std::u16string_view name, bool byOrder, std::uint32_t& found,
                       CompoundDirectoryEntry& foundEntry);

    FileDescriptor m_file;
    std::uint64_t m_fileSize = 0;
    Cfb::CfbHeader m_header;

    // FAT sector locations known so far: the header's 109, then those of the DIFAT sectors read.
    std::vector<std::uint32_t> m_fatLocations;
    std::uint32_t m_nextDifatSector = 0;
    std::uint32_t m_difatSectorsRead = 0;
    std::vector<std::uint32_t> m_difatSectorsSeen;
    // DIFAT sectors are read a few at once: writers put them side by side.
    std::vector<std::uint32_t> m_difatAhead;
    std::uint32_t m_difatAheadFirst = 0;
    std::uint32_t m_difatAheadCount = 0;
    TableData m_fat;
    TableData m_miniFat;

    SectorChain m_directoryChain;
    SectorChain m_miniFatChain;
    SectorChain m_miniStreamChain;
    std::uint64_t m_miniStreamSize = 0;
    std::uint32_t m_miniStreamSectorCount = 0;
    bool m_rootRead = false;
    std::uint32_t m_rootChild = kNoStream;

    // Directory sectors loaded, by position in the directory chain. Reading ahead grows while the
    // positions asked for follow each other (a search along a degenerate, list-shaped tree).
    std::vector<const std::uint8_t*> m_directorySectors;
    std::vector<RecycledArray> m_directoryBlocks;
    std::uint32_t m_lastDirectoryPosition = kNoStream;
    std::uint32_t m_directoryReadAhead = 1;
};

}  // namespace Norik
