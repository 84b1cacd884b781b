#include "Helpers/CompoundFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
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

// Table sectors read at least at once, when they lie side by side in the file, and at most when
// a long chain asks for more.
constexpr std::size_t kReadAheadBytes = 8192;
constexpr std::size_t kMaxTableReadBytes = 1 << 20;
constexpr std::size_t kDirectoryReadAheadBytes = 65536;
constexpr std::size_t kDirectoryGroupBytes = 4096;
// Up to this many runs a chain checks for loops by searching its runs; beyond, by a sector map.
constexpr std::size_t kFewRuns = 16;

// How many of entries[0, count) continue the run of adjacent sectors after sector: entries[k] ==
// sector + 1 + k. A long chain of adjacent sectors is the common case (writers lay streams out in
// one piece), so sixteen entries are compared at once, without a branch per entry.
std::uint32_t CountAdjacent(const std::uint32_t* entries, std::uint32_t sector, std::uint32_t count) {
    std::uint32_t k = 0;
    const std::uint32_t next = sector + 1;
#if defined(__GNUC__)
    using Lanes = std::uint32_t __attribute__((vector_size(16)));
    const Lanes step = {0, 1, 2, 3};
    Lanes expected = step + next;
    while (count - k >= 16) {
        Lanes block[4];
        std::memcpy(block, entries + k, sizeof block);
        const Lanes differ = (block[0] ^ expected) | (block[1] ^ (expected + 4)) | (block[2] ^ (expected + 8)) |
                             (block[3] ^ (expected + 12));
        if ((differ[0] | differ[1] | differ[2] | differ[3]) != 0) break;
        expected += 16;
        k += 16;
    }
#endif
    while (k < count && entries[k] == next + k) ++k;
    return k;
}

// Arrays released on a thread (FAT and mini FAT tables, directory blocks) are kept for the next
// container opened there. Every entry opens the container afresh, and arrays of a few hundred KiB
// taken from the system each time (then faulted in page by page and given back when freed) cost
// more than the reads into them. At most kSpareCount arrays of kSpareBytes together are kept.
// A container another thread-local object holds may be released after this thread's spares are
// gone, as the thread ends: its arrays are then simply freed.
thread_local bool t_sparesGone = false;

class SpareArrays {
public:
    static constexpr std::size_t kSpareCount = 64;
    static constexpr std::size_t kSpareBytes = 16u << 20;

    SpareArrays() = default;
    SpareArrays(const SpareArrays&) = delete;
    SpareArrays& operator=(const SpareArrays&) = delete;
    ~SpareArrays() { t_sparesGone = true; }

    std::unique_ptr<std::uint32_t[]> Take(std::size_t count, std::size_t& capacity) {
        std::size_t best = m_spares.size();
        for (std::size_t i = 0; i < m_spares.size(); ++i) {
            const bool smaller = best == m_spares.size() || m_spares[i].capacity < m_spares[best].capacity;
            if (m_spares[i].capacity >= count && smaller) {
                best = i;
            }
        }
        if (best == m_spares.size()) {
            capacity = count;
            return std::unique_ptr<std::uint32_t[]>(new std::uint32_t[count]);
        }
        Spare spare = std::move(m_spares[best]);
        m_spares.erase(m_spares.begin() + static_cast<std::ptrdiff_t>(best));
        m_bytes -= spare.capacity * sizeof(std::uint32_t);
        capacity = spare.capacity;
        return std::move(spare.entries);
    }

    void Give(std::unique_ptr<std::uint32_t[]> entries, std::size_t capacity) noexcept {
        const std::size_t bytes = capacity * sizeof(std::uint32_t);
        if (!entries || bytes > kSpareBytes) return;
        try {
            // Make room by dropping the smallest arrays kept.
            while (!m_spares.empty() && (m_spares.size() >= kSpareCount || m_bytes + bytes > kSpareBytes)) {
                const auto bySize = [](const Spare& a, const Spare& b) { return a.capacity < b.capacity; };
                const auto smallest = std::min_element(m_spares.begin(), m_spares.end(), bySize);
                if (smallest->capacity >= capacity) return;  // the array released is the smallest
                m_bytes -= smallest->capacity * sizeof(std::uint32_t);
                m_spares.erase(smallest);
            }
            m_spares.push_back({std::move(entries), capacity});
            m_bytes += bytes;
        } catch (const std::bad_alloc&) {
            // Keeping it is only a saving; the array is freed.
        }
    }

private:
    struct Spare {
        std::unique_ptr<std::uint32_t[]> entries;
        std::size_t capacity = 0;
    };
    std::vector<Spare> m_spares;
    std::size_t m_bytes = 0;
};

thread_local SpareArrays t_spareArrays;

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
        m_runs.push_back({0, first, 1});
        m_walked = 1;
    }
}

std::uint32_t SectorChain::FirstPassed(std::uint32_t from, std::uint32_t to) const {
    if (m_passed.empty()) {
        std::uint32_t first = to;
        for (const Run& run : m_runs) {
            const std::uint32_t end = run.sector + run.length;
            if (run.sector < to && end > from) first = std::min(first, std::max(from, run.sector));
        }
        return first;
    }
    // Sectors are below m_limit, which sized the map.
    for (std::uint32_t sector = from; sector < to;) {
        const std::uint64_t word = m_passed[sector >> 6] >> (sector & 63);
        if (word != 0) return std::min(to, sector + static_cast<std::uint32_t>(std::countr_zero(word)));
        sector = (sector | 63) + 1;
    }
    return to;
}

void SectorChain::RememberPassed(std::uint32_t from, std::uint32_t to) {
    auto mark = [this](std::uint32_t first, std::uint32_t end) {
        for (std::uint32_t sector = first; sector < end;) {
            const std::uint32_t bit = sector & 63;
            const std::uint32_t take = std::min<std::uint32_t>(64 - bit, end - sector);
            const std::uint64_t bits = take == 64 ? ~0ull : ((1ull << take) - 1) << bit;
            m_passed[sector >> 6] |= bits;
            sector += take;
        }
    };
    if (m_passed.empty()) {
        if (m_runs.size() <= kFewRuns) return;
        m_passed.assign((static_cast<std::size_t>(m_limit) + 63) / 64, 0);
        for (const Run& run : m_runs) mark(run.sector, run.sector + run.length);
        return;
    }
    mark(from, to);
}

HResult SectorChain::Walk(std::uint32_t count) {
    // Entries looked at per step: a run that fills them is likely to go on, so the next step looks
    // at twice as many; any other step looks at one table sector. The cost stays in proportion to
    // the chain walked, however it is cut into runs.
    std::uint32_t reach = 1;
    while (m_walked < count) {
        if (m_ended || m_runs.empty()) return kStgDocfileCorrupt;
        Run& last = m_runs.back();
        const std::uint32_t current = last.sector + last.length - 1;
        const std::uint32_t wanted = count - m_walked;
        const std::uint32_t* entries = nullptr;
        std::uint32_t available = 0;
        reach = std::min(reach, wanted);
        const HResult code = m_table == Table::Fat ? m_file->FatEntries(current, wanted, reach, entries, available)
                                                   : m_file->MiniFatEntries(current, wanted, reach, entries, available);
        if (Failed(code)) return code;
        // The run goes on while each sector's entry names the sector after it, within range and
        // clear of the sectors passed before.
        const std::uint32_t span = std::min(available, wanted);
        std::uint32_t steps = CountAdjacent(entries, current, span);
        reach = steps == span ? static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted, 2ull * span)) : 1;
        steps = std::min(steps, m_limit - 1 - current);  // current < m_limit
        if (steps > 0) steps = FirstPassed(current + 1, current + 1 + steps) - (current + 1);
        if (steps > 0) {
            last.length += steps;
            m_walked += steps;
            RememberPassed(current + 1, current + 1 + steps);
            continue;
        }
        const std::uint32_t next = entries[0];
        if (next == CompoundFile::kEndOfChain || next >= m_limit || next > CompoundFile::kMaxRegularSector ||
            FirstPassed(next, next + 1) == next) {
            m_ended = true;
            return kStgDocfileCorrupt;
        }
        m_runs.push_back({m_walked, next, 1});
        ++m_walked;
        RememberPassed(next, next + 1);
    }
    return kOk;
}

HResult SectorChain::Locate(std::uint32_t position, std::uint32_t& sector, std::uint32_t& adjacent) {
    if (position >= m_walked) {
        if (const HResult code = Walk(position + 1); Failed(code)) return code;
    }
    auto contains = [position](const Run& run) {
        return position >= run.position && position - run.position < run.length;
    };
    if (m_lastRun >= m_runs.size() || !contains(m_runs[m_lastRun])) {
        if (m_lastRun + 1 < m_runs.size() && contains(m_runs[m_lastRun + 1])) {
            ++m_lastRun;
        } else {
            const auto after = std::upper_bound(m_runs.begin(), m_runs.end(), position,
                                                [](std::uint32_t p, const Run& run) { return p < run.position; });
            m_lastRun = static_cast<std::size_t>(after - m_runs.begin()) - 1;
        }
    }
    const Run& run = m_runs[m_lastRun];
    sector = run.sector + (position - run.position);
    adjacent = run.length - (position - run.position);
    return kOk;
}

// ---------------------------------------------------------------------------------------------
// CompoundFile: opening and the header

CompoundFile::~CompoundFile() = default;

void CompoundFile::RecycledArray::Allocate(std::size_t count) {
    if (t_sparesGone) {
        m_words.reset(new std::uint32_t[count]);
        m_capacity = count;
        return;
    }
    t_spareArrays.Give(std::move(m_words), m_capacity);
    m_capacity = 0;
    m_words = t_spareArrays.Take(count, m_capacity);
}

CompoundFile::RecycledArray::~RecycledArray() {
    if (!t_sparesGone) t_spareArrays.Give(std::move(m_words), m_capacity);
}

HResult CompoundFile::Open(const std::string& path, std::shared_ptr<CompoundFile>& file) {
    file.reset();
    std::shared_ptr<CompoundFile> opened;
    try {
        opened.reset(new CompoundFile());
    } catch (const std::bad_alloc&) {
        return kStgInsufficientMemory;
    }
    // Without blocking: a FIFO in place of the container must not hold the open until a writer comes.
    if (const HResult code = Cfb::OpenFile(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK, opened->m_file); Failed(code))
        return code;
    struct stat status {};
    if (::fstat(opened->m_file.get(), &status) != 0) return Cfb::OpenErrorCode(errno);
    if (!S_ISREG(status.st_mode)) return S_ISDIR(status.st_mode) ? kStgFileNotFound : kNotRegularFile;
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
    // FAT entries past the file's sectors are never needed (see Table).
    const std::uint32_t perSector = m_header.entriesPerSector;
    m_fat.sectors = std::min(m_header.fatSectorCount, (m_header.sectorCount + perSector - 1) / perSector);
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
        if (difat < m_difatAheadFirst || difat - m_difatAheadFirst >= m_difatAheadCount) {
            // Read this DIFAT sector and, when they are in the file, the ones after it.
            const std::uint32_t left = m_header.difatSectorCount - m_difatSectorsRead;
            const auto ahead = static_cast<std::uint32_t>(kReadAheadBytes >> m_header.sectorShift);
            std::uint32_t count = std::min({left, m_header.sectorCount - difat, std::max<std::uint32_t>(1, ahead)});
            m_difatAhead.resize(static_cast<std::size_t>(count) * m_header.entriesPerSector);
            m_difatAheadCount = 0;
            HResult code = ReadAt(SectorOffset(difat), m_difatAhead.data(),
                                  static_cast<std::size_t>(count) << m_header.sectorShift);
            if (Failed(code) && count > 1) {
                count = 1;
                code = ReadAt(SectorOffset(difat), m_difatAhead.data(), m_header.sectorSize);
            }
            if (Failed(code)) return code;
            ToHostOrder(m_difatAhead.data(), static_cast<std::size_t>(count) * m_header.entriesPerSector);
            m_difatAheadFirst = difat;
            m_difatAheadCount = count;
        }
        const std::uint32_t* values =
            m_difatAhead.data() + static_cast<std::size_t>(difat - m_difatAheadFirst) * m_header.entriesPerSector;
        m_difatSectorsSeen.push_back(difat);
        ++m_difatSectorsRead;
        const std::size_t wanted =
            std::min<std::size_t>(m_header.fatSectorCount - m_fatLocations.size(), m_header.entriesPerSector - 1);
        m_fatLocations.insert(m_fatLocations.end(), values, values + wanted);
        m_nextDifatSector = values[m_header.entriesPerSector - 1];
    }
    sector = m_fatLocations[index];
    if (sector >= m_header.sectorCount) return kStgDocfileCorrupt;
    return kOk;
}

void CompoundFile::EntriesFrom(const TableData& table, std::uint32_t sector, std::uint32_t reach,
                               const std::uint32_t*& entries, std::uint32_t& available) const {
    // Entries loaded from sector on, as far as reach asks, through the table sectors loaded.
    const std::uint32_t perSector = m_header.entriesPerSector;
    std::uint32_t index = sector / perSector + 1;
    std::uint64_t end = static_cast<std::uint64_t>(index) * perSector;
    while (end < static_cast<std::uint64_t>(sector) + reach && index < table.sectors && table.loaded[index]) {
        ++index;
        end += perSector;
    }
    entries = table.entries.get() + sector;
    available = static_cast<std::uint32_t>(std::min<std::uint64_t>(end - sector, 0xFFFFFFFFu));
}

HResult CompoundFile::LoadFatSectors(std::uint32_t index, std::uint32_t wanted) {
    if (!m_fat.entries) {
        m_fat.entries.Allocate(static_cast<std::size_t>(m_fat.sectors) * m_header.entriesPerSector);
        m_fat.loaded.assign(m_fat.sectors, false);
    }
    std::uint32_t first = 0;
    if (const HResult code = FatSectorLocation(index, first); Failed(code)) return code;
    // Take along the FAT sectors that follow in the file, as many as the chain asks for (at
    // least a few, at most a bounded read).
    const std::uint32_t shift = m_header.sectorShift;
    const std::uint32_t minRun = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(kReadAheadBytes >> shift));
    const std::uint32_t maxRun = static_cast<std::uint32_t>(kMaxTableReadBytes >> shift);
    const std::uint32_t asked = static_cast<std::uint32_t>(std::min<std::uint64_t>(
        maxRun, (static_cast<std::uint64_t>(wanted) + m_header.entriesPerSector - 1) / m_header.entriesPerSector + 1));
    const std::uint32_t most = std::max(minRun, asked);
    std::uint32_t run = 1;
    std::uint32_t following = 0;
    while (run < most && index + run < m_fat.sectors && !m_fat.loaded[index + run] &&
           !Failed(FatSectorLocation(index + run, following)) && following == first + run) {
        ++run;
    }
    return ReadTableSectors(m_fat, index, first, run);
}

HResult CompoundFile::ReadTableSectors(TableData& table, std::uint32_t index, std::uint32_t first, std::uint32_t run) {
    std::uint32_t* target = table.entries.get() + static_cast<std::size_t>(index) * m_header.entriesPerSector;
    HResult code = ReadAt(SectorOffset(first), target, static_cast<std::size_t>(run) << m_header.sectorShift);
    if (Failed(code) && run > 1) {
        // The run passes the end of a truncated file: the first sector alone may still be there.
        run = 1;
        code = ReadAt(SectorOffset(first), target, m_header.sectorSize);
    }
    if (Failed(code)) return code;
    ToHostOrder(target, static_cast<std::size_t>(run) * m_header.entriesPerSector);
    for (std::uint32_t i = 0; i < run; ++i) table.loaded[index + i] = true;
    return kOk;
}

HResult CompoundFile::FatEntries(std::uint32_t sector, std::uint32_t wanted, std::uint32_t reach,
                                 const std::uint32_t*& entries, std::uint32_t& available) {
    const std::uint32_t index = sector / m_header.entriesPerSector;
    if (index >= m_fat.sectors) return kStgDocfileCorrupt;
    if (!m_fat.entries || !m_fat.loaded[index]) {
        if (const HResult code = LoadFatSectors(index, wanted); Failed(code)) return code;
    }
    EntriesFrom(m_fat, sector, reach, entries, available);
    return kOk;
}

HResult CompoundFile::LoadMiniFatSectors(std::uint32_t index, std::uint32_t wanted) {
    if (!m_miniFat.entries) {
        // Only mini sectors of the mini stream have entries that matter.
        const std::uint32_t perSector = m_header.entriesPerSector;
        m_miniFat.sectors = std::min<std::uint32_t>(
            m_header.miniFatSectorCount,
            static_cast<std::uint32_t>((static_cast<std::uint64_t>(m_miniStreamSectorCount) + perSector - 1) /
                                       perSector));
        if (index >= m_miniFat.sectors) return kStgDocfileCorrupt;
        m_miniFat.entries.Allocate(static_cast<std::size_t>(m_miniFat.sectors) * perSector);
        m_miniFat.loaded.assign(m_miniFat.sectors, false);
    }
    // The mini FAT's own sectors lie along its chain in the FAT; adjacent ones are read at once.
    std::uint32_t sector = 0;
    std::uint32_t adjacent = 0;
    const std::uint32_t shift = m_header.sectorShift;
    const std::uint32_t maxRun = static_cast<std::uint32_t>(kMaxTableReadBytes >> shift);
    const std::uint32_t asked = static_cast<std::uint32_t>(std::min<std::uint64_t>(
        maxRun, (static_cast<std::uint64_t>(wanted) + m_header.entriesPerSector - 1) / m_header.entriesPerSector + 1));
    (void)m_miniFatChain.Walk(static_cast<std::uint32_t>(
        std::min<std::uint64_t>(m_miniFat.sectors, static_cast<std::uint64_t>(index) + asked)));
    if (const HResult code = m_miniFatChain.Locate(index, sector, adjacent); Failed(code)) return code;
    std::uint32_t run = 1;
    while (run < asked && run < adjacent && index + run < m_miniFat.sectors && !m_miniFat.loaded[index + run]) ++run;
    return ReadTableSectors(m_miniFat, index, sector, run);
}

HResult CompoundFile::MiniFatEntries(std::uint32_t miniSector, std::uint32_t wanted, std::uint32_t reach,
                                     const std::uint32_t*& entries, std::uint32_t& available) {
    const std::uint32_t index = miniSector / m_header.entriesPerSector;
    if (index >= m_header.miniFatSectorCount) return kStgDocfileCorrupt;
    if (!m_miniFat.entries || index >= m_miniFat.sectors || !m_miniFat.loaded[index]) {
        if (m_miniFat.entries && index >= m_miniFat.sectors) return kStgDocfileCorrupt;
        if (const HResult code = LoadMiniFatSectors(index, wanted); Failed(code)) return code;
    }
    EntriesFrom(m_miniFat, miniSector, reach, entries, available);
    return kOk;
}

// ---------------------------------------------------------------------------------------------
// Chain data

HResult CompoundFile::ReadChainData(SectorChain& chain, std::uint64_t offset, std::uint8_t* out, std::size_t count,
                                    std::size_t& done) {
    done = 0;
    if (count == 0) return kOk;
    // Walk the chain as far as this read reaches at once; damage on the way is met below, after
    // the bytes before it are copied.
    const std::uint64_t lastPosition = (offset + count - 1) >> m_header.sectorShift;
    (void)chain.Walk(static_cast<std::uint32_t>(std::min<std::uint64_t>(lastPosition, kMaxRegularSector) + 1));
    while (done < count) {
        const std::uint64_t position64 = offset >> m_header.sectorShift;
        if (position64 > kMaxRegularSector) return kStgDocfileCorrupt;
        const auto position = static_cast<std::uint32_t>(position64);
        const std::uint32_t within = static_cast<std::uint32_t>(offset & (m_header.sectorSize - 1));
        std::uint32_t sector = 0;
        std::uint32_t adjacent = 0;
        if (const HResult code = chain.Locate(position, sector, adjacent); Failed(code)) return code;
        // Sectors that follow each other in the file are read with one call.
        const std::uint64_t span = (static_cast<std::uint64_t>(adjacent) << m_header.sectorShift) - within;
        const std::size_t bytes = static_cast<std::size_t>(std::min<std::uint64_t>(count - done, span));
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
    auto cached = [this](std::uint32_t at) { return at < m_directorySectors.size() && m_directorySectors[at]; };
    if (cached(position)) return m_directorySectors[position];
    const std::uint32_t shift = m_header.sectorShift;
    // Read ahead while the positions asked for follow each other (a search along a list-shaped
    // tree). Otherwise read the aligned group of sectors around the position: the last levels of
    // a balanced tree over entries in name order lie close to each other.
    const std::uint32_t maxRun =
        std::max<std::uint32_t>(1, static_cast<std::uint32_t>(kDirectoryReadAheadBytes >> shift));
    const std::uint32_t group = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(kDirectoryGroupBytes >> shift));
    std::uint32_t first = position;
    std::uint32_t end = 0;
    if (m_lastDirectoryPosition != kNoStream && position == m_lastDirectoryPosition + 1) {
        m_directoryReadAhead = std::min(maxRun, m_directoryReadAhead * 2);
        end = position + std::min(m_directoryReadAhead, kMaxRegularSector - position);
    } else {
        m_directoryReadAhead = 1;
        const std::uint32_t groupStart = position - position % group;
        while (first > groupStart && !cached(first - 1)) --first;
        end = groupStart + std::min(group, kMaxRegularSector - groupStart);
    }
    (void)m_directoryChain.Walk(end);
    std::vector<std::uint32_t> sectors;
    for (std::uint32_t at = first; at < end && (at == position || !cached(at)); ++at) {
        std::uint32_t sector = 0;
        const HResult found = m_directoryChain.SectorAt(at, sector);
        if (Failed(found)) {
            if (at <= position) {
                code = found;
                return nullptr;
            }
            break;
        }
        sectors.push_back(sector);
    }
    RecycledArray block;
    block.Allocate((sectors.size() << shift) / sizeof(std::uint32_t));
    std::size_t loaded = 0;
    while (loaded < sectors.size()) {
        std::size_t run = 1;
        while (loaded + run < sectors.size() && sectors[loaded + run] == sectors[loaded] + run) ++run;
        if (Failed(ReadAt(SectorOffset(sectors[loaded]), block.bytes() + (loaded << shift), run << shift))) break;
        loaded += run;
    }
    if (first + loaded <= position) {
        // A read before or at the position failed: the position's sector alone decides.
        const std::uint32_t sector = sectors[position - first];
        first = position;
        code = ReadAt(SectorOffset(sector), block.bytes(), m_header.sectorSize);
        if (Failed(code)) return nullptr;
        loaded = 1;
    }
    if (m_directorySectors.size() < first + loaded) m_directorySectors.resize(first + loaded, nullptr);
    for (std::size_t i = 0; i < loaded; ++i) m_directorySectors[first + i] = block.bytes() + (i << shift);
    m_directoryBlocks.push_back(std::move(block));
    m_lastDirectoryPosition = first + static_cast<std::uint32_t>(loaded) - 1;
    return m_directorySectors[position];
}

HResult CompoundFile::ReadDirectoryEntry(std::uint32_t id, CompoundDirectoryEntry& entry) {
    if (id > kMaxRegularSector) return kStgDocfileCorrupt;
    const std::uint32_t perSector = m_header.sectorSize / kDirectoryEntrySize;
    HResult code = kOk;
    const std::uint8_t* sector = DirectorySectorData(id / perSector, code);
    if (!sector) return code;
    const std::uint8_t* raw = sector + std::size_t{id % perSector} * kDirectoryEntrySize;
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

HResult CompoundFile::SearchTree(std::uint32_t start, std::u16string_view name, bool byOrder, std::uint32_t& found,
                                 CompoundDirectoryEntry& foundEntry) {
    // By order: down the tree by the directory order; entries equal to the name ignoring case lie
    // below the first one met, so both sides of it are searched for an exact match. Otherwise every
    // entry of the tree, whatever its order: finds names that a writer placed by another order, and
    // names behind a damaged part of the tree. Unreadable entries and loops end their branch.
    std::vector<std::uint32_t> pending{start};
    std::vector<bool> visited;
    bool haveCandidate = false;
    CompoundDirectoryEntry entry;
    while (!pending.empty()) {
        const std::uint32_t id = pending.back();
        pending.pop_back();
        if (id == kNoStream) continue;
        if (Failed(ReadDirectoryEntry(id, entry)) || (entry.type != 1 && entry.type != 2)) continue;
        // The entry could be read, so id is below the directory's length.
        if (visited.size() <= id) visited.resize(static_cast<std::size_t>(id) + 1, false);
        if (visited[id]) continue;
        visited[id] = true;
        const int order = byOrder ? CompareNames(name, entry.name) : 0;
        const bool equal = byOrder ? order == 0 : EqualIgnoringCase(name, entry.name);
        if (equal) {
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
        if (!byOrder || equal || order < 0) pending.push_back(entry.left);
        if (!byOrder || equal || order > 0) pending.push_back(entry.right);
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
        if (SearchTree(m_rootChild, name, true, id, entry) == kOk) return kOk;
        return SearchTree(m_rootChild, name, false, id, entry);
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
    const std::uint64_t lastPosition = (offset + count - 1) >> kMiniSectorShift;
    (void)m_chain.Walk(
        static_cast<std::uint32_t>(std::min<std::uint64_t>(lastPosition, CompoundFile::kMaxRegularSector) + 1));
    while (done < count) {
        const std::uint64_t position64 = offset >> kMiniSectorShift;
        if (position64 > CompoundFile::kMaxRegularSector) return kStgDocfileCorrupt;
        const auto position = static_cast<std::uint32_t>(position64);
        const std::uint32_t within = static_cast<std::uint32_t>(offset & (kMiniSectorSize - 1));
        std::uint32_t miniSector = 0;
        std::uint32_t adjacent = 0;
        if (const HResult code = m_chain.Locate(position, miniSector, adjacent); Failed(code)) return code;
        const std::uint64_t span = (static_cast<std::uint64_t>(adjacent) << kMiniSectorShift) - within;
        const std::size_t bytes = static_cast<std::size_t>(std::min<std::uint64_t>(count - done, span));
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
