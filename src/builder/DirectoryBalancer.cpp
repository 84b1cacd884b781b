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

namespace Norik {

namespace {

constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint32_t kHeaderSize = 512;
constexpr std::uint32_t kHeaderDifatEntries = 109;
constexpr std::uint32_t kDirectoryEntrySize = 128;
constexpr std::uint32_t kMaxNameBytes = 64;  // 31 UTF-16 code units and the terminating zero
constexpr std::uint32_t kNoStream = CompoundFile::kNoStream;
constexpr std::uint32_t kEndOfChain = CompoundFile::kEndOfChain;
constexpr std::uint32_t kMaxRegularSector = CompoundFile::kMaxRegularSector;

// Directory entry layout.
constexpr std::size_t kNameLengthOffset = 64;
constexpr std::size_t kTypeOffset = 66;
constexpr std::size_t kColourOffset = 67;
constexpr std::size_t kLeftOffset = 68;
constexpr std::size_t kRightOffset = 72;
constexpr std::size_t kChildOffset = 76;
constexpr std::uint8_t kTypeStorage = 1;
constexpr std::uint8_t kTypeStream = 2;
constexpr std::uint8_t kTypeRoot = 5;
constexpr std::uint8_t kRed = 0;
constexpr std::uint8_t kBlack = 1;

std::uint16_t Load16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t Load32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void Store32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

HResult OpenErrorCode(int error) {
    switch (error) {
        case ENOENT:
            return kStgFileNotFound;
        case ENOTDIR:
            return kStgPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return kStgAccessDenied;
        case ENOMEM:
            return kStgInsufficientMemory;
        default:
            return SystemErrorCode(error);
    }
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

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
    HResult ReadAt(std::uint64_t offset, void* buffer, std::size_t count);
    HResult WriteAt(std::uint64_t offset, const void* buffer, std::size_t count);
    std::uint64_t SectorOffset(std::uint32_t sector) const {
        return (static_cast<std::uint64_t>(sector) + 1) << m_sectorShift;
    }
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
    std::uint32_t m_sectorShift = 9;
    std::uint32_t m_sectorSize = 512;
    std::uint32_t m_entriesPerSector = 128;  // 32-bit entries in one FAT or DIFAT sector
    std::uint32_t m_sectorCount = 0;         // sectors that start inside the file
    std::uint32_t m_fatSectorCount = 0;
    std::uint32_t m_firstDirectorySector = 0;
    std::uint32_t m_firstDifatSector = 0;
    std::uint32_t m_difatSectorCount = 0;
    std::uint8_t m_header[kHeaderSize] = {};

    std::vector<std::uint32_t> m_fatLocations;
    std::vector<bool> m_allocationSector;  // FAT and DIFAT sectors, which the directory must not share
    std::vector<std::unique_ptr<std::uint32_t[]>> m_fat;
    std::vector<std::uint32_t> m_directorySectors;  // the directory chain, in order
    std::vector<std::uint8_t> m_directory;          // its bytes, sector after sector
    std::uint32_t m_entryCount = 0;
};

HResult DirectoryRewriter::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
    if (offset > m_fileSize || count > m_fileSize - offset) return kStgDocfileCorrupt;
    auto* out = static_cast<std::uint8_t*>(buffer);
    while (count > 0) {
        const ssize_t got = ::pread(m_fd, out, count, static_cast<off_t>(offset));
        if (got < 0) {
            if (errno == EINTR) continue;
            return kStgReadFault;
        }
        if (got == 0) return kStgReadFault;  // the file shrank under us
        out += got;
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<std::size_t>(got);
    }
    return kOk;
}

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
    if (m_fileSize < kHeaderSize) return kStgInvalidHeader;
    if (const HResult code = ReadAt(0, m_header, kHeaderSize); Failed(code)) return code;
    if (std::memcmp(m_header, kSignature, sizeof kSignature) != 0) return kStgInvalidHeader;
    if (Load16(m_header + 28) != 0xFFFE) return kStgInvalidHeader;  // byte order mark
    const std::uint16_t version = Load16(m_header + 26);
    const std::uint16_t sectorShift = Load16(m_header + 30);
    if (!((version == 3 && sectorShift == 9) || (version == 4 && sectorShift == 12))) return kStgInvalidHeader;
    if (Load16(m_header + 32) != 6) return kStgInvalidHeader;  // mini sector shift
    m_sectorShift = sectorShift;
    m_sectorSize = 1u << sectorShift;
    m_entriesPerSector = m_sectorSize / 4;
    // The header takes the whole of the first sector; sector 0 follows it.
    if (m_fileSize < m_sectorSize) return kStgInvalidHeader;
    const std::uint64_t sectors = (m_fileSize - m_sectorSize + m_sectorSize - 1) >> m_sectorShift;
    m_sectorCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors, kMaxRegularSector + 1ull));
    m_fatSectorCount = Load32(m_header + 44);
    m_firstDirectorySector = Load32(m_header + 48);
    m_firstDifatSector = Load32(m_header + 68);
    m_difatSectorCount = Load32(m_header + 72);
    // Every FAT and DIFAT sector lies in the file, so neither count can pass the sector count.
    if (m_fatSectorCount == 0 || m_fatSectorCount > m_sectorCount || m_difatSectorCount > m_sectorCount) {
        return kStgDocfileCorrupt;
    }
    return kOk;
}

HResult DirectoryRewriter::ReadDifat() {
    m_allocationSector.assign(m_sectorCount, false);
    auto claim = [this](std::uint32_t sector) {
        if (sector >= m_sectorCount || m_allocationSector[sector]) return false;
        m_allocationSector[sector] = true;
        return true;
    };
    m_fatLocations.reserve(m_fatSectorCount);
    const std::uint32_t inHeader = std::min(m_fatSectorCount, kHeaderDifatEntries);
    for (std::uint32_t i = 0; i < inHeader; ++i) m_fatLocations.push_back(Load32(m_header + 76 + 4 * i));
    // The rest of the locations come from the DIFAT chain: each of its sectors holds
    // entriesPerSector - 1 locations, then the number of the next DIFAT sector.
    std::vector<std::uint32_t> values(m_entriesPerSector);
    std::uint32_t next = m_firstDifatSector;
    std::uint32_t difatRead = 0;
    while (m_fatLocations.size() < m_fatSectorCount) {
        if (difatRead >= m_difatSectorCount || !claim(next)) return kStgDocfileCorrupt;
        std::uint8_t raw[4096];
        if (const HResult code = ReadAt(SectorOffset(next), raw, m_sectorSize); Failed(code)) return code;
        ++difatRead;
        for (std::uint32_t i = 0; i < m_entriesPerSector; ++i) values[i] = Load32(raw + 4 * i);
        const std::size_t wanted =
            std::min<std::size_t>(m_fatSectorCount - m_fatLocations.size(), m_entriesPerSector - 1);
        m_fatLocations.insert(m_fatLocations.end(), values.begin(),
                              values.begin() + static_cast<std::ptrdiff_t>(wanted));
        next = values.back();
    }
    for (std::uint32_t location : m_fatLocations) {
        if (!claim(location)) return kStgDocfileCorrupt;
    }
    m_fat.resize(m_fatSectorCount);
    return kOk;
}

HResult DirectoryRewriter::FatEntry(std::uint32_t sector, std::uint32_t& next) {
    const std::uint32_t index = sector / m_entriesPerSector;
    if (index >= m_fatSectorCount) return kStgDocfileCorrupt;
    if (!m_fat[index]) {
        std::uint8_t raw[4096];
        if (const HResult code = ReadAt(SectorOffset(m_fatLocations[index]), raw, m_sectorSize); Failed(code)) {
            return code;
        }
        std::unique_ptr<std::uint32_t[]> values(new std::uint32_t[m_entriesPerSector]);
        for (std::uint32_t i = 0; i < m_entriesPerSector; ++i) values[i] = Load32(raw + 4 * i);
        m_fat[index] = std::move(values);
    }
    next = m_fat[index][sector % m_entriesPerSector];
    return kOk;
}

HResult DirectoryRewriter::ReadDirectory() {
    // The chain is followed to its end first, so the bytes read next are bounded by sectors
    // that are all distinct and inside the file.
    std::vector<bool> onChain(m_sectorCount, false);
    std::uint32_t sector = m_firstDirectorySector;
    while (sector != kEndOfChain) {
        if (sector >= m_sectorCount || onChain[sector] || m_allocationSector[sector]) return kStgDocfileCorrupt;
        onChain[sector] = true;
        m_directorySectors.push_back(sector);
        std::uint32_t next = 0;
        if (const HResult code = FatEntry(sector, next); Failed(code)) return code;
        sector = next;
    }
    if (m_directorySectors.empty()) return kStgDocfileCorrupt;
    const std::uint64_t entries =
        static_cast<std::uint64_t>(m_directorySectors.size()) * (m_sectorSize / kDirectoryEntrySize);
    // Entry ids at or above kNoStream's neighbourhood are not addressable.
    if (entries > kMaxRegularSector) return kStgDocfileCorrupt;
    m_entryCount = static_cast<std::uint32_t>(entries);
    m_directory.resize(m_directorySectors.size() << m_sectorShift);
    for (std::size_t i = 0; i < m_directorySectors.size(); ++i) {
        // Neighbouring sectors of the chain are read with one call.
        std::size_t run = 1;
        while (i + run < m_directorySectors.size() && m_directorySectors[i + run] == m_directorySectors[i] + run) ++run;
        if (const HResult code = ReadAt(SectorOffset(m_directorySectors[i]), m_directory.data() + (i << m_sectorShift),
                                        run << m_sectorShift);
            Failed(code)) {
            return code;
        }
        i += run - 1;
    }
    return kOk;
}

HResult DirectoryRewriter::CollectRootChildren(std::vector<Child>& children) {
    const std::uint8_t* root = Entry(0);
    if (root[kTypeOffset] != kTypeRoot) return kStgDocfileCorrupt;
    // Explicit stacks: the list-shaped trees this exists to fix are thousands of entries deep.
    // The trees of sub-storages are walked too (and left as they are), so that no entry that
    // is about to be relinked also belongs to another storage.
    std::vector<bool> visited(m_entryCount, false);
    visited[0] = true;
    std::vector<std::uint32_t> pending{Load32(root + kChildOffset)};
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
            const std::uint8_t type = raw[kTypeOffset];
            if (type != kTypeStorage && type != kTypeStream) return kStgDocfileCorrupt;
            const std::uint16_t nameBytes = Load16(raw + kNameLengthOffset);
            if (nameBytes < 4 || nameBytes > kMaxNameBytes || nameBytes % 2 != 0) return kStgDocfileCorrupt;
            if (Load16(raw + nameBytes - 2) != 0) return kStgDocfileCorrupt;  // the terminating zero
            if (rootLevel) {
                Child child;
                child.id = id;
                for (std::uint32_t i = 0; i + 2 < nameBytes; i += 2) {
                    child.name.push_back(static_cast<char16_t>(Load16(raw + i)));
                }
                children.push_back(std::move(child));
            }
            stack.push_back(Load32(raw + kLeftOffset));
            stack.push_back(Load32(raw + kRightOffset));
            if (type == kTypeStorage) nested.push_back(Load32(raw + kChildOffset));
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
        const std::size_t offset = i << m_sectorShift;
        if (std::memcmp(m_directory.data() + offset, original.data() + offset, m_sectorSize) == 0) continue;
        if (const HResult code =
                WriteAt(SectorOffset(m_directorySectors[i]), m_directory.data() + offset, m_sectorSize);
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
    if (::fstat(m_fd, &status) != 0) return OpenErrorCode(errno);
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
    Store32(Entry(0) + kChildOffset, count > 0 ? children[count / 2].id : kNoStream);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t* raw = Entry(children[i].id);
        Store32(raw + kLeftOffset, placed[i].left);
        Store32(raw + kRightOffset, placed[i].right);
        raw[kColourOffset] = (placed[i].depth == maxDepth && !deepestLevelFull) ? kRed : kBlack;
    }
    return WriteBack(original);
}

}  // namespace

HResult BalanceRootDirectory(const std::string& containerPath) {
    int fd = -1;
    do {
        fd = ::open(containerPath.c_str(), O_RDWR | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == EISDIR) return kStgFileNotFound;
        return OpenErrorCode(errno);
    }
    FileDescriptor file(fd);
    try {
        DirectoryRewriter rewriter(file.get());
        return rewriter.Run();
    } catch (const std::bad_alloc&) {
        return kStgInsufficientMemory;
    }
}

}  // namespace Norik
