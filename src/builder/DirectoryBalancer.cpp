#include "builder/DirectoryBalancer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "Helpers/CompoundFile.h"
#include "Helpers/CompoundFileFormat.h"

namespace Norik {

namespace {

using Cfb::kDirectoryEntrySize;
using Cfb::kEndOfChain;
using Cfb::kMaxRegularSector;
using Cfb::kNoStream;
using Cfb::Load16;
using Cfb::Load32;
using Cfb::Store32;

// One root-level child: its entry id and its name.
struct Child {
    std::uint32_t id = 0;
    std::u16string name;
};

// The placement of one child in the balanced tree, by its position in name order.
struct Placement {
    std::uint32_t left = kNoStream;
    std::uint32_t right = kNoStream;
    std::uint32_t depth = 0;  // 1 at the tree's root
};

class DirectoryRewriter {
public:
    explicit DirectoryRewriter(int fd) : m_fd(fd) {}

    HResult Run();

private:
    HResult ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
        return Cfb::ReadFileAt(m_fd, m_fileSize, offset, buffer, count);
    }
    HResult WriteAt(std::uint64_t offset, const void* buffer, std::size_t count);
    std::uint64_t SectorOffset(std::uint32_t sector) const { return m_header.SectorOffset(sector); }
    HResult ReadHeader();
    HResult ReadDifat();
    HResult FatEntry(std::uint32_t sector, std::uint32_t& next);
    HResult ReadDirectory();
    std::uint8_t* Entry(std::uint32_t id) {
        return m_directory.data() + static_cast<std::size_t>(id) * kDirectoryEntrySize;
    }
    HResult CollectRootChildren(std::vector<Child>& children);
    void PlaceBalanced(std::uint32_t first, std::uint32_t end, std::uint32_t depth, std::vector<Placement>& placed,
                       const std::vector<Child>& sorted, std::uint32_t& maxDepth) const;
    HResult WriteBack(const std::vector<std::uint8_t>& original);

    int m_fd;
    std::uint64_t m_fileSize = 0;
    Cfb::CfbHeader m_header;

    std::vector<std::uint32_t> m_fatLocations;
    std::vector<bool> m_allocationSector;  // FAT and DIFAT sectors, which the directory must not share
    std::vector<std::unique_ptr<std::uint32_t[]>> m_fat;
    std::vector<std::uint32_t> m_directorySectors;  // the directory chain, in order
    std::vector<std::uint8_t> m_directory;          // its bytes, sector after sector
    std::uint32_t m_entryCount = 0;
};

HResult DirectoryRewriter::WriteAt(std::uint64_t offset, const void* buffer, std::size_t count) {
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    while (count > 0) {
        const ssize_t put = ::pwrite(m_fd, in, count, static_cast<off_t>(offset));
        if (put < 0) {
            if (errno == EINTR) continue;
            return LastSystemErrorCode();
        }
        if (put == 0) return SystemErrorCode(EIO);
        in += put;
        offset += static_cast<std::uint64_t>(put);
        count -= static_cast<std::size_t>(put);
    }
    return kOk;
}

HResult DirectoryRewriter::ReadHeader() {
    std::uint8_t raw[Cfb::kHeaderSize];
    if (m_fileSize < sizeof raw) return kStgInvalidHeader;
    if (const HResult code = ReadAt(0, raw, sizeof raw); Failed(code)) return code;
    if (const HResult code = Cfb::ParseCfbHeader(raw, m_fileSize, m_header); Failed(code)) return code;
    // The directory chain is followed through the FAT, so a file without one is damaged.
    if (m_header.fatSectorCount == 0) return kStgDocfileCorrupt;
    return kOk;
}

HResult DirectoryRewriter::ReadDifat() {
    m_allocationSector.assign(m_header.sectorCount, false);
    auto claim = [this](std::uint32_t sector) {
        if (sector >= m_header.sectorCount || m_allocationSector[sector]) return false;
        m_allocationSector[sector] = true;
        return true;
    };
    m_fatLocations.reserve(m_header.fatSectorCount);
    m_fatLocations.assign(m_header.headerDifat, m_header.headerDifat + m_header.HeaderFatLocations());
    // The rest of the locations come from the DIFAT chain: each of its sectors holds
    // entriesPerSector - 1 locations, then the number of the next DIFAT sector.
    std::vector<std::uint32_t> values(m_header.entriesPerSector);
    std::uint32_t next = m_header.firstDifatSector;
    std::uint32_t difatRead = 0;
    while (m_fatLocations.size() < m_header.fatSectorCount) {
        if (difatRead >= m_header.difatSectorCount || !claim(next)) return kStgDocfileCorrupt;
        std::uint8_t raw[4096];
        if (const HResult code = ReadAt(SectorOffset(next), raw, m_header.sectorSize); Failed(code)) return code;
        ++difatRead;
        for (std::uint32_t i = 0; i < m_header.entriesPerSector; ++i) values[i] = Load32(raw + std::size_t{4} * i);
        const std::size_t wanted =
            std::min<std::size_t>(m_header.fatSectorCount - m_fatLocations.size(), m_header.entriesPerSector - 1);
        m_fatLocations.insert(m_fatLocations.end(), values.begin(),
                              values.begin() + static_cast<std::ptrdiff_t>(wanted));
        next = values.back();
    }
    for (std::uint32_t location : m_fatLocations) {
        if (!claim(location)) return kStgDocfileCorrupt;
    }
    m_fat.resize(m_header.fatSectorCount);
    return kOk;
}

HResult DirectoryRewriter::FatEntry(std::uint32_t sector, std::uint32_t& next) {
    const std::uint32_t index = sector / m_header.entriesPerSector;
    if (index >= m_header.fatSectorCount) return kStgDocfileCorrupt;
    if (!m_fat[index]) {
        std::uint8_t raw[4096];
        if (const HResult code = ReadAt(SectorOffset(m_fatLocations[index]), raw, m_header.sectorSize); Failed(code)) {
            return code;
        }
        std::unique_ptr<std::uint32_t[]> values(new std::uint32_t[m_header.entriesPerSector]);
        for (std::uint32_t i = 0; i < m_header.entriesPerSector; ++i) values[i] = Load32(raw + std::size_t{4} * i);
        m_fat[index] = std::move(values);
    }
    next = m_fat[index][sector % m_header.entriesPerSector];
    return kOk;
}

HResult DirectoryRewriter::ReadDirectory() {
    // The chain is followed to its end first, so the bytes read next are bounded by sectors
    // that are all distinct and inside the file.
    std::vector<bool> onChain(m_header.sectorCount, false);
    std::uint32_t sector = m_header.firstDirectorySector;
    while (sector != kEndOfChain) {
        if (sector >= m_header.sectorCount || onChain[sector] || m_allocationSector[sector]) return kStgDocfileCorrupt;
        onChain[sector] = true;
        m_directorySectors.push_back(sector);
        std::uint32_t next = 0;
        if (const HResult code = FatEntry(sector, next); Failed(code)) return code;
        sector = next;
    }
    if (m_directorySectors.empty()) return kStgDocfileCorrupt;
    const std::uint64_t entries =
        static_cast<std::uint64_t>(m_directorySectors.size()) * (m_header.sectorSize / kDirectoryEntrySize);
    // Entry ids at or above kNoStream's neighbourhood are not addressable.
    if (entries > kMaxRegularSector) return kStgDocfileCorrupt;
    m_entryCount = static_cast<std::uint32_t>(entries);
    m_directory.resize(m_directorySectors.size() << m_header.sectorShift);
    for (std::size_t i = 0; i < m_directorySectors.size(); ++i) {
        // Neighbouring sectors of the chain are read with one call.
        std::size_t run = 1;
        while (i + run < m_directorySectors.size() && m_directorySectors[i + run] == m_directorySectors[i] + run) ++run;
        if (const HResult code = ReadAt(SectorOffset(m_directorySectors[i]),
                                        m_directory.data() + (i << m_header.sectorShift), run << m_header.sectorShift);
            Failed(code)) {
            return code;
        }
        i += run - 1;
    }
    return kOk;
}

HResult DirectoryRewriter::CollectRootChildren(std::vector<Child>& children) {
    const std::uint8_t* root = Entry(0);
    if (root[Cfb::kEntryTypeOffset] != Cfb::kTypeRoot) return kStgDocfileCorrupt;
    // Explicit stacks: the list-shaped trees this exists to fix are thousands of entries deep.
    // The trees of sub-storages are walked too (and left as they are), so that no entry that
    // is about to be relinked also belongs to another storage.
    std::vector<bool> visited(m_entryCount, false);
    visited[0] = true;
    std::vector<std::uint32_t> pending{Load32(root + Cfb::kEntryChildOffset)};
    std::vector<std::uint32_t> nested;
    for (bool rootLevel : {true, false}) {
        std::vector<std::uint32_t>& stack = rootLevel ? pending : nested;
        while (!stack.empty()) {
            const std::uint32_t id = stack.back();
            stack.pop_back();
            if (id == kNoStream) continue;
            if (id >= m_entryCount || visited[id]) return kStgDocfileCorrupt;
            visited[id] = true;
            const std::uint8_t* raw = Entry(id);
            const std::uint8_t type = raw[Cfb::kEntryTypeOffset];
            if (type != Cfb::kTypeStorage && type != Cfb::kTypeStream) return kStgDocfileCorrupt;
            const std::uint16_t nameBytes = Load16(raw + Cfb::kEntryNameLengthOffset);
            if (nameBytes < 4 || nameBytes > Cfb::kMaxNameBytes || nameBytes % 2 != 0) return kStgDocfileCorrupt;
            if (Load16(raw + nameBytes - 2) != 0) return kStgDocfileCorrupt;  // the terminating zero
            if (rootLevel) {
                Child child;
                child.id = id;
                Cfb::ReadEntryName(raw, nameBytes, child.name);
                children.push_back(std::move(child));
            }
            stack.push_back(Load32(raw + Cfb::kEntryLeftOffset));
            stack.push_back(Load32(raw + Cfb::kEntryRightOffset));
            if (type == Cfb::kTypeStorage) nested.push_back(Load32(raw + Cfb::kEntryChildOffset));
        }
    }
    return kOk;
}

// Roots the range [first, end) of the sorted children at its middle. The two halves differ in
// size by at most one, so every missing child link of the result lies on the deepest level or
// the one above it.
void DirectoryRewriter::PlaceBalanced(std::uint32_t first, std::uint32_t end, std::uint32_t depth,
                                      std::vector<Placement>& placed, const std::vector<Child>& sorted,
                                      std::uint32_t& maxDepth) const {
    const std::uint32_t middle = first + (end - first) / 2;
    Placement& node = placed[middle];
    node.depth = depth;
    maxDepth = std::max(maxDepth, depth);
    if (first < middle) {
        const std::uint32_t leftRoot = first + (middle - first) / 2;
        node.left = sorted[leftRoot].id;
        PlaceBalanced(first, middle, depth + 1, placed, sorted, maxDepth);
    }
    if (middle + 1 < end) {
        const std::uint32_t rightRoot = middle + 1 + (end - middle - 1) / 2;
        node.right = sorted[rightRoot].id;
        PlaceBalanced(middle + 1, end, depth + 1, placed, sorted, maxDepth);
    }
}

HResult DirectoryRewriter::WriteBack(const std::vector<std::uint8_t>& original) {
    bool wrote = false;
    for (std::size_t i = 0; i < m_directorySectors.size(); ++i) {
        const std::size_t offset = i << m_header.sectorShift;
        if (std::memcmp(m_directory.data() + offset, original.data() + offset, m_header.sectorSize) == 0) continue;
        if (const HResult code =
                WriteAt(SectorOffset(m_directorySectors[i]), m_directory.data() + offset, m_header.sectorSize);
            Failed(code)) {
            return code;
        }
        wrote = true;
    }
    if (wrote && ::fsync(m_fd) != 0) return LastSystemErrorCode();
    return kOk;
}

HResult DirectoryRewriter::Run() {
    struct stat status {};
    if (::fstat(m_fd, &status) != 0) return Cfb::OpenErrorCode(errno);
    if (!S_ISREG(status.st_mode)) return kStgInvalidHeader;
    m_fileSize = static_cast<std::uint64_t>(status.st_size);
    if (const HResult code = ReadHeader(); Failed(code)) return code;
    if (const HResult code = ReadDifat(); Failed(code)) return code;
    if (const HResult code = ReadDirectory(); Failed(code)) return code;
    std::vector<Child> children;
    if (const HResult code = CollectRootChildren(children); Failed(code)) return code;

    std::sort(children.begin(), children.end(), [](const Child& a, const Child& b) {
        const int order = CompoundFile::CompareNames(a.name, b.name);
        if (order != 0) return order < 0;
        // Names equal but for case: any order keeps the tree searchable; fix one so that the
        // result does not depend on the shape the tree had.
        if (a.name != b.name) return a.name < b.name;
        return a.id < b.id;
    });
    const auto count = static_cast<std::uint32_t>(children.size());
    std::vector<Placement> placed(count);
    std::uint32_t maxDepth = 0;
    if (count > 0) PlaceBalanced(0, count, 1, placed, children, maxDepth);
    // With every level full, all nodes are black; otherwise the nodes of the partial deepest level
    // are red, which keeps the same number of black nodes on every path down to a missing child.
    const bool deepestLevelFull = std::has_single_bit(static_cast<std::uint64_t>(count) + 1);

    const std::vector<std::uint8_t> original = m_directory;
    Store32(Entry(0) + Cfb::kEntryChildOffset, count > 0 ? children[count / 2].id : kNoStream);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t* raw = Entry(children[i].id);
        Store32(raw + Cfb::kEntryLeftOffset, placed[i].left);
        Store32(raw + Cfb::kEntryRightOffset, placed[i].right);
        raw[Cfb::kEntryColourOffset] = (placed[i].depth == maxDepth && !deepestLevelFull) ? Cfb::kRed : Cfb::kBlack;
    }
    return WriteBack(original);
}

}  // namespace

HResult BalanceRootDirectory(const std::string& containerPath) {
    FileDescriptor file;
    if (const HResult code = Cfb::OpenFile(containerPath, O_RDWR | O_CLOEXEC, file); Failed(code)) return code;
    try {
        DirectoryRewriter rewriter(file.get());
        return rewriter.Run();
    } catch (const std::bad_alloc&) {
        return kStgInsufficientMemory;
    }
}

}  // namespace Norik
