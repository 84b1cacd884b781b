#include "Helpers/CompoundFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <new>

namespace Norik {

namespace {

using Cfb::kDirectoryEntrySize;
using Cfb::kMaxNameLength;
using Cfb::kMiniSectorShift;
using Cfb::kMiniSectorSize;
using Cfb::Load16;
using Cfb::Load32;
using Cfb::Load64;

// Sectors read at once when a run of FAT or directory sectors lies side by side in the file.
constexpr std::size_t kReadAheadBytes = 8192;
constexpr std::size_t kDirectoryReadAheadBytes = 65536;
// Below this many sectors a chain checks for loops by searching the sectors it has passed.
constexpr std::size_t kShortChain = 64;

// FAT, mini FAT and DIFAT sectors are kept as arrays of host integers.
void ToHostOrder(std::uint32_t* values, std::size_t count) {
    if constexpr (std::endian::native == std::endian::little) {
        (void)values;
        (void)count;
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            values[i] = Load32(reinterpret_cast<const std::uint8_t*>(values + i));
        }
    }
}

bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) { return CompoundFile::CompareNames(a, b) == 0; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// SectorChain

SectorChain::SectorChain(CompoundFile* file, Table table, std::uint32_t first, std::uint32_t limit)
    : m_file(file), m_table(table), m_limit(limit) {
    if (first == CompoundFile::kEndOfChain) {
        m_ended = true;
    } else if (first >= limit || first > CompoundFile::kMaxRegularSector) {
        // An out-of-range first sector is damage, met at the first position asked for.
        m_ended = true;
        m_limit = 0;
    } else {
        m_sectors.push_back(first);
    }
}

bool SectorChain::SeenBefore(std::uint32_t sector) {
    if (m_seen.empty()) {
        if (m_sectors.size() < kShortChain) {
            return std::find(m_sectors.begin(), m_sectors.end(), sector) != m_sectors.end();
        }
        // Sectors are below m_limit, which the file's size bounds.
        m_seen.assign(m_limit, false);
        for (std::uint32_t passed : m_sectors) m_seen[passed] = true;
    }
    if (m_seen[sector]) return true;
    m_seen[sector] = true;
    return false;
}

HResult SectorChain::SectorAt(std::uint32_t position, std::uint32_t& sector) {
    while (m_sectors.size() <= position) {
        if (m_ended || m_sectors.empty()) return kStgDocfileCorrupt;
        std::uint32_t next = 0;
        const HResult code = m_table == Table::Fat ? m_file->FatEntry(m_sectors.back(), next)
                                                   : m_file->MiniFatEntry(m_sectors.back(), next);
        if (Failed(code)) return code;
        if (next == CompoundFile::kEndOfChain) {
            m_ended = true;
            return kStgDocfileCorrupt;
        }
        if (next >= m_limit || next > CompoundFile::kMaxRegularSector || SeenBefore(next)) {
            m_ended = true;
            return kStgDocfileCorrupt;
        }
        m_sectors.push_back(next);
    }
    sector = m_sectors[position];
    return kOk;
}

// ---------------------------------------------------------------------------------------------
// CompoundFile: opening and the header

CompoundFile::~CompoundFile() = default;

HResult CompoundFile::Open(const std::string& path, std::shared_ptr<CompoundFile>& file) {
    file.reset();
    std::shared_ptr<CompoundFile> opened;
    try {
        opened.reset(new CompoundFile());
    } catch (const std::bad_alloc&) {
        return kStgInsufficientMemory;
    }
    if (const HResult code = Cfb::OpenFile(path, O_RDONLY | O_CLOEXEC, opened->m_file); Failed(code)) return code;
    struct stat status {};
    if (::fstat(opened->m_file.get(), &status) != 0) return Cfb::OpenErrorCode(errno);
    if (!S_ISREG(status.st_mode)) return S_ISDIR(status.st_mode) ? kStgFileNotFound : kStgInvalidHeader;
    opened->m_fileSize = static_cast<std::uint64_t>(status.st_size);
    HResult code = kOk;
    try {
        code = opened->ReadHeader();
    } catch (const std::bad_alloc&) {
        code = kStgInsufficientMemory;
    }
    if (Failed(code)) return code;
    file = std::move(opened);
    return kOk;
}

HResult CompoundFile::ReadHeader() {
    std::uint8_t raw[Cfb::kHeaderSize];
    if (m_fileSize < sizeof raw) return kStgInvalidHeader;
    if (const HResult code = ReadAt(0, raw, sizeof raw); Failed(code)) return code;
    // Another cutoff means a file this reader does not understand. It is checked before the
    // shared parse so that, like the other header faults, it outranks damage in the counts.
    if (Load32(raw + Cfb::kHeaderMiniStreamCutoffOffset) != Cfb::kMiniStreamCutoff) return kStgInvalidHeader;
    if (const HResult code = Cfb::ParseCfbHeader(raw, m_fileSize, m_header); Failed(code)) return code;
    // The mini FAT's sectors lie in the file as well.
    if (m_header.miniFatSectorCount > m_header.sectorCount) return kStgDocfileCorrupt;
    const std::uint32_t inHeader = m_header.HeaderFatLocations();
    m_fatLocations.assign(m_header.headerDifat, m_header.headerDifat + inHeader);
    m_nextDifatSector = m_header.firstDifatSector;
    m_fat.resize(m_header.fatSectorCount);
    m_miniFat.resize(m_header.miniFatSectorCount);
    m_directoryChain = SectorChain(this, SectorChain::Table::Fat, m_header.firstDirectorySector, m_header.sectorCount);
    m_miniFatChain = SectorChain(this, SectorChain::Table::Fat, m_header.firstMiniFatSector, m_header.sectorCount);
    return kOk;
}

// ---------------------------------------------------------------------------------------------
// FAT, DIFAT and mini FAT

HResult CompoundFile::FatSectorLocation(std::uint32_t index, std::uint32_t& sector) {
    if (index >= m_header.fatSectorCount) return kStgDocfileCorrupt;
    while (index >= m_fatLocations.size()) {
        // The next DIFAT sector: entriesPerSector - 1 locations, then the next DIFAT sector.
        if (m_difatSectorsRead >= m_header.difatSectorCount) return kStgDocfileCorrupt;
        const std::uint32_t difat = m_nextDifatSector;
        if (difat >= m_header.sectorCount) return kStgDocfileCorrupt;
        if (std::find(m_difatSectorsSeen.begin(), m_difatSectorsSeen.end(), difat) != m_difatSectorsSeen.end()) {
            return kStgDocfileCorrupt;
        }
        std::vector<std::uint32_t> values(m_header.entriesPerSector);
        if (const HResult code = ReadAt(SectorOffset(difat), values.data(), m_header.sectorSize); Failed(code)) {
            return code;
        }
        ToHostOrder(values.data(), values.size());
        m_difatSectorsSeen.push_back(difat);
        ++m_difatSectorsRead;
        const std::size_t wanted =
            std::min<std::size_t>(m_header.fatSectorCount - m_fatLocations.size(), m_header.entriesPerSector - 1);
        m_fatLocations.insert(m_fatLocations.end(), values.begin(),
                              values.begin() + static_cast<std::ptrdiff_t>(wanted));
        m_nextDifatSector = values.back();
    }
    sector = m_fatLocations[index];
    if (sector >= m_header.sectorCount) return kStgDocfileCorrupt;
    return kOk;
}

HResult CompoundFile::LoadFatSectors(std::uint32_t index) {
    std::uint32_t first = 0;
    if (const HResult code = FatSectorLocation(index, first); Failed(code)) return code;
    // Take along the FAT sectors that follow in the file, as far as their locations are known.
    const std::uint32_t maxRun =
        std::max<std::uint32_t>(1, static_cast<std::uint32_t>(kReadAheadBytes >> m_header.sectorShift));
    std::uint32_t run = 1;
    while (run < maxRun && index + run < m_header.fatSectorCount && index + run < m_fatLocations.size() &&
           !m_fat[index + run] && m_fatLocations[index + run] == first + run && first + run < m_header.sectorCount) {
        ++run;
    }
    std::vector<std::unique_ptr<std::uint32_t[]>> loaded(run);
    std::vector<iovec> pieces(run);
    for (std::uint32_t i = 0; i < run; ++i) {
        loaded[i].reset(new std::uint32_t[m_header.entriesPerSector]);
        pieces[i] = {loaded[i].get(), m_header.sectorSize};
    }
    const std::uint64_t offset = SectorOffset(first);
    const std::uint64_t bytes = static_cast<std::uint64_t>(run) << m_header.sectorShift;
    if (offset > m_fileSize || bytes > m_fileSize - offset) {
        // Read only the first sector when the run would pass the end of a truncated file.
        run = 1;
        if (const HResult code = ReadAt(offset, loaded[0].get(), m_header.sectorSize); Failed(code)) return code;
    } else {
        std::size_t done = 0;
        while (done < bytes) {
            const ssize_t got =
                ::preadv(m_file.get(), pieces.data(), static_cast<int>(run), static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return kStgReadFault;
            done += static_cast<std::size_t>(got);
            if (done < bytes) {
                // A short scatter read: fetch the rest sector by sector.
                for (std::uint32_t i = 0; i < run; ++i) {
                    if (const HResult code = ReadAt(offset + (static_cast<std::uint64_t>(i) << m_header.sectorShift),
                                                    loaded[i].get(), m_header.sectorSize);
                        Failed(code)) {
                        return code;
                    }
                }
                break;
            }
        }
    }
    for (std::uint32_t i = 0; i < run; ++i) {
        ToHostOrder(loaded[i].get(), m_header.entriesPerSector);
        m_fat[index + i] = std::move(loaded[i]);
    }
    return kOk;
}

HResult CompoundFile::FatEntry(std::uint32_t sector, std::uint32_t& next) {
    const std::uint32_t index = sector / m_header.entriesPerSector;
    if (index >= m_header.fatSectorCount) return kStgDocfileCorrupt;
    if (!m_fat[index]) {
        if (const HResult code = LoadFatSectors(index); Failed(code)) return code;
    }
    next = m_fat[index][sector % m_header.entriesPerSector];
    return kOk;
}

HResult CompoundFile::MiniFatEntry(std::uint32_t miniSector, std::uint32_t& next) {
    const std::uint32_t index = miniSector / m_header.entriesPerSector;
    if (index >= m_header.miniFatSectorCount) return kStgDocfileCorrupt;
    if (!m_miniFat[index]) {
        std::uint32_t sector = 0;
        if (const HResult code = m_miniFatChain.SectorAt(index, sector); Failed(code)) return code;
        std::unique_ptr<std::uint32_t[]> values(new std::uint32_t[m_header.entriesPerSector]);
        if (const HResult code = ReadAt(SectorOffset(sector), values.get(), m_header.sectorSize); Failed(code)) {
            return code;
        }
        ToHostOrder(values.get(), m_header.entriesPerSector);
        m_miniFat[index] = std::move(values);
    }
    next = m_miniFat[index][miniSector % m_header.entriesPerSector];
    return kOk;
}

// ---------------------------------------------------------------------------------------------
// Chain data

HResult CompoundFile::ReadChainData(SectorChain& chain, std::uint64_t offset, std::uint8_t* out, std::size_t count,
                                    std::size_t& done) {
    done = 0;
    while (done < count) {
        const std::uint64_t position64 = offset >> m_header.sectorShift;
        if (position64 > kMaxRegularSector) return kStgDocfileCorrupt;
        const auto position = static_cast<std::uint32_t>(position64);
        const std::uint32_t within = static_cast<std::uint32_t>(offset & (m_header.sectorSize - 1));
        std::uint32_t sector = 0;
        if (const HResult code = chain.SectorAt(position, sector); Failed(code)) return code;
        std::size_t bytes = std::min<std::size_t>(count - done, m_header.sectorSize - within);
        // Sectors that follow each other in the file are read with one call.
        for (std::uint32_t step = 1; bytes < count - done; ++step) {
            std::uint32_t following = 0;
            if (Failed(chain.SectorAt(position + step, following)) || following != sector + step) break;
            bytes += std::min<std::size_t>(count - done - bytes, m_header.sectorSize);
        }
        if (const HResult code = ReadAt(SectorOffset(sector) + within, out + done, bytes); Failed(code)) return code;
        done += bytes;
        offset += bytes;
    }
    return kOk;
}

HResult CompoundFile::ReadMiniStream(std::uint64_t offset, std::uint8_t* out, std::size_t count, std::size_t& done) {
    done = 0;
    if (offset > m_miniStreamSize || count > m_miniStreamSize - offset) return kStgDocfileCorrupt;
    return ReadChainData(m_miniStreamChain, offset, out, count, done);
}

// ---------------------------------------------------------------------------------------------
// Directory

const std::uint8_t* CompoundFile::DirectorySectorData(std::uint32_t position, HResult& code) {
    code = kOk;
    if (position < m_directorySectors.size() && m_directorySectors[position]) return m_directorySectors[position];
    // Read ahead while the positions asked for follow each other.
    const std::uint32_t maxRun =
        std::max<std::uint32_t>(1, static_cast<std::uint32_t>(kDirectoryReadAheadBytes >> m_header.sectorShift));
    if (m_lastDirectoryPosition != kNoStream && position == m_lastDirectoryPosition + 1) {
        m_directoryReadAhead = std::min(maxRun, m_directoryReadAhead * 2);
    } else {
        m_directoryReadAhead = 1;
    }
    std::vector<std::uint32_t> sectors;
    for (std::uint32_t i = 0; i < m_directoryReadAhead; ++i) {
        if (position + i < m_directorySectors.size() && m_directorySectors[position + i]) break;
        std::uint32_t sector = 0;
        const HResult found = m_directoryChain.SectorAt(position + i, sector);
        if (Failed(found)) {
            if (i == 0) {
                code = found;
                return nullptr;
            }
            break;
        }
        sectors.push_back(sector);
    }
    std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[sectors.size() << m_header.sectorShift]);
    std::size_t loaded = 0;
    while (loaded < sectors.size()) {
        std::size_t run = 1;
        while (loaded + run < sectors.size() && sectors[loaded + run] == sectors[loaded] + run) ++run;
        const HResult read = ReadAt(SectorOffset(sectors[loaded]), block.get() + (loaded << m_header.sectorShift),
                                    run << m_header.sectorShift);
        if (Failed(read)) {
            if (loaded == 0) {
                code = read;
                return nullptr;
            }
            break;
        }
        loaded += run;
    }
    if (m_directorySectors.size() < position + loaded) m_directorySectors.resize(position + loaded, nullptr);
    for (std::size_t i = 0; i < loaded; ++i)
        m_directorySectors[position + i] = block.get() + (i << m_header.sectorShift);
    m_directoryBlocks.push_back(std::move(block));
    m_lastDirectoryPosition = position + static_cast<std::uint32_t>(loaded) - 1;
    return m_directorySectors[position];
}

HResult CompoundFile::ReadDirectoryEntry(std::uint32_t id, CompoundDirectoryEntry& entry) {
    if (id > kMaxRegularSector) return kStgDocfileCorrupt;
    const std::uint32_t perSector = m_header.sectorSize / kDirectoryEntrySize;
    HResult code = kOk;
    const std::uint8_t* sector = DirectorySectorData(id / perSector, code);
    if (!sector) return code;
    const std::uint8_t* raw = sector + (id % perSector) * kDirectoryEntrySize;
    const std::uint16_t nameBytes = Load16(raw + Cfb::kEntryNameLengthOffset);
    if (nameBytes > Cfb::kMaxNameBytes || nameBytes % 2 != 0) return kStgDocfileCorrupt;
    Cfb::ReadEntryName(raw, nameBytes, entry.name);
    entry.type = raw[Cfb::kEntryTypeOffset];
    entry.left = Load32(raw + Cfb::kEntryLeftOffset);
    entry.right = Load32(raw + Cfb::kEntryRightOffset);
    entry.child = Load32(raw + Cfb::kEntryChildOffset);
    entry.startSector = Load32(raw + Cfb::kEntryStartSectorOffset);
    // Version 3 files keep only 32 bits of a size; the high half may hold anything.
    entry.size = m_header.majorVersion == 3 ? Load32(raw + Cfb::kEntrySizeOffset) : Load64(raw + Cfb::kEntrySizeOffset);
    return kOk;
}

int CompoundFile::CompareNames(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char16_t x = UpperCase(a[i]);
        const char16_t y = UpperCase(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

char16_t CompoundFile::UpperCase(char16_t unit) {
    if (unit < 0x80) return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - 0x20) : unit;
    if (unit >= 0xE0 && unit <= 0xFE && unit != 0xF7) return static_cast<char16_t>(unit - 0x20);
    if (unit == 0xFF) return 0x178;
    if (unit >= 0x3B1 && unit <= 0x3C9 && unit != 0x3C2) return static_cast<char16_t>(unit - 0x20);
    if (unit >= 0x430 && unit <= 0x44F) return static_cast<char16_t>(unit - 0x20);
    if (unit >= 0x450 && unit <= 0x45F) return static_cast<char16_t>(unit - 0x50);
    return unit;
}

HResult CompoundFile::SearchOrdered(std::uint32_t start, std::u16string_view name, std::uint32_t& found,
                                    CompoundDirectoryEntry& foundEntry, bool& damaged) {
    // A search down the tree by the directory order. Entries equal to the name ignoring case lie
    // below the first one met; both sides of it are searched for an exact match.
    std::vector<std::uint32_t> pending{start};
    std::vector<bool> visited;
    bool haveCandidate = false;
    CompoundDirectoryEntry entry;
    while (!pending.empty()) {
        const std::uint32_t id = pending.back();
        pending.pop_back();
        if (id == kNoStream) continue;
        if (Failed(ReadDirectoryEntry(id, entry)) || (entry.type != 1 && entry.type != 2)) {
            damaged = true;
            continue;
        }
        // The entry could be read, so id is below the directory's length.
        if (visited.size() <= id) visited.resize(static_cast<std::size_t>(id) + 1, false);
        if (visited[id]) {
            damaged = true;
            continue;
        }
        visited[id] = true;
        const int order = CompareNames(name, entry.name);
        if (order < 0) {
            pending.push_back(entry.left);
        } else if (order > 0) {
            pending.push_back(entry.right);
        } else {
            if (entry.name == name) {
                found = id;
                foundEntry = std::move(entry);
                return kOk;
            }
            if (!haveCandidate) {
                haveCandidate = true;
                found = id;
                foundEntry = entry;
            }
            pending.push_back(entry.left);
            pending.push_back(entry.right);
        }
    }
    return haveCandidate ? kOk : kStgFileNotFound;
}

HResult CompoundFile::SearchAll(std::uint32_t start, std::u16string_view name, std::uint32_t& found,
                                CompoundDirectoryEntry& foundEntry) {
    // Every entry of the tree, whatever its order: finds names that a writer placed by another
    // order, and names behind a damaged part of the tree.
    std::vector<std::uint32_t> pending{start};
    std::vector<bool> visited;
    bool haveCandidate = false;
    CompoundDirectoryEntry entry;
    while (!pending.empty()) {
        const std::uint32_t id = pending.back();
        pending.pop_back();
        if (id == kNoStream) continue;
        if (Failed(ReadDirectoryEntry(id, entry)) || (entry.type != 1 && entry.type != 2)) continue;
        if (visited.size() <= id) visited.resize(static_cast<std::size_t>(id) + 1, false);
        if (visited[id]) continue;
        visited[id] = true;
        if (EqualIgnoringCase(name, entry.name)) {
            if (entry.name == name) {
                found = id;
                foundEntry = std::move(entry);
                return kOk;
            }
            if (!haveCandidate) {
                haveCandidate = true;
                found = id;
                foundEntry = entry;
            }
        }
        pending.push_back(entry.left);
        pending.push_back(entry.right);
    }
    return haveCandidate ? kOk : kStgFileNotFound;
}

HResult CompoundFile::FindRootChild(std::u16string_view name, std::uint32_t& id, CompoundDirectoryEntry& entry) {
    try {
        if (!m_rootRead) {
            CompoundDirectoryEntry root;
            if (const HResult code = ReadDirectoryEntry(0, root); Failed(code)) return code;
            if (root.type != 5) return kStgDocfileCorrupt;
            if (root.size > m_fileSize) return kStgDocfileCorrupt;
            m_rootChild = root.child;
            m_miniStreamSize = root.size;
            const std::uint64_t miniSectors = (root.size + kMiniSectorSize - 1) >> kMiniSectorShift;
            m_miniStreamChain = SectorChain(this, SectorChain::Table::Fat, root.startSector, m_header.sectorCount);
            m_miniStreamSectorCount =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(miniSectors, kMaxRegularSector));
            m_rootRead = true;
        }
        if (name.empty() || name.size() > kMaxNameLength) return kStgFileNotFound;
        bool damaged = false;
        if (SearchOrdered(m_rootChild, name, id, entry, damaged) == kOk) return kOk;
        return SearchAll(m_rootChild, name, id, entry);
    } catch (const std::bad_alloc&) {
        return kStgInsufficientMemory;
    }
}

HResult CompoundFile::OpenStream(std::u16string_view name, std::unique_ptr<CompoundStream>& stream) {
    stream.reset();
    std::uint32_t id = 0;
    CompoundDirectoryEntry entry;
    if (const HResult code = FindRootChild(name, id, entry); Failed(code)) return code;
    if (entry.type != 2) return kStgFileNotFound;
    const bool mini = entry.size < m_header.miniStreamCutoff;
    if (mini ? entry.size > m_miniStreamSize : entry.size > m_fileSize) return kStgDocfileCorrupt;
    try {
        stream.reset(new CompoundStream(shared_from_this(), entry.startSector, entry.size, mini));
    } catch (const std::bad_alloc&) {
        return kStgInsufficientMemory;
    }
    return kOk;
}

// ---------------------------------------------------------------------------------------------
// CompoundStream

CompoundStream::CompoundStream(std::shared_ptr<CompoundFile> file, std::uint32_t firstSector, std::uint64_t size,
                               bool mini)
    : m_file(std::move(file)), m_size(size), m_mini(mini) {
    if (size == 0) return;  // an empty stream has no chain to follow
    if (mini) {
        m_chain = SectorChain(m_file.get(), SectorChain::Table::MiniFat, firstSector, m_file->m_miniStreamSectorCount);
    } else {
        m_chain = SectorChain(m_file.get(), SectorChain::Table::Fat, firstSector, m_file->m_header.sectorCount);
    }
}

CompoundStream::~CompoundStream() = default;

HResult CompoundStream::ReadSome(std::uint8_t* out, std::size_t count, std::size_t& done) {
    done = 0;
    if (!m_mini) return m_file->ReadChainData(m_chain, m_position, out, count, done);
    std::uint64_t offset = m_position;
    while (done < count) {
        const auto position = static_cast<std::uint32_t>(offset >> kMiniSectorShift);
        const std::uint32_t within = static_cast<std::uint32_t>(offset & (kMiniSectorSize - 1));
        std::uint32_t miniSector = 0;
        if (const HResult code = m_chain.SectorAt(position, miniSector); Failed(code)) return code;
        std::size_t bytes = std::min<std::size_t>(count - done, kMiniSectorSize - within);
        for (std::uint32_t step = 1; bytes < count - done; ++step) {
            std::uint32_t following = 0;
            if (Failed(m_chain.SectorAt(position + step, following)) || following != miniSector + step) break;
            bytes += std::min<std::size_t>(count - done - bytes, kMiniSectorSize);
        }
        std::size_t copied = 0;
        const HResult code = m_file->ReadMiniStream(
            (static_cast<std::uint64_t>(miniSector) << kMiniSectorShift) + within, out + done, bytes, copied);
        done += copied;
        offset += copied;
        if (Failed(code)) return code;
    }
    return kOk;
}

HResult CompoundStream::Read(void* buffer, std::size_t count, std::size_t& delivered) {
    delivered = 0;
    if (Failed(m_damage)) return m_damage;
    const std::uint64_t remaining = m_size - m_position;
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(count, remaining));
    if (wanted == 0) return kOk;
    std::size_t done = 0;
    HResult code = kOk;
    try {
        code = ReadSome(static_cast<std::uint8_t*>(buffer), wanted, done);
    } catch (const std::bad_alloc&) {
        code = kStgInsufficientMemory;
    }
    m_position += done;
    delivered = done;
    if (Failed(code)) {
        m_damage = code;
        return done > 0 ? kOk : code;
    }
    return kOk;
}

}  // namespace Norik
