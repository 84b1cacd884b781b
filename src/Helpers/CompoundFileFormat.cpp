#include "Helpers/CompoundFileFormat.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace Norik::Cfb {

void ReadEntryName(const std::uint8_t* entry, std::uint32_t nameBytes, std::u16string& name) {
    name.clear();
    for (std::uint32_t i = 0; i + 2 < nameBytes; i += 2) name.push_back(static_cast<char16_t>(Load16(entry + i)));
}

HResult OpenErrorCode(int error) {
    switch (error) {
        case ENOENT:
        case EISDIR:
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

HResult OpenFile(const std::string& path, int flags, FileDescriptor& file) {
    file.reset();
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return OpenErrorCode(errno);
    file.reset(fd);
    return kOk;
}

HResult ReadFileAt(int fd, std::uint64_t fileSize, std::uint64_t offset, void* buffer, std::size_t count) {
    if (offset > fileSize || count > fileSize - offset) return kStgDocfileCorrupt;
    auto* out = static_cast<std::uint8_t*>(buffer);
    while (count > 0) {
        const ssize_t got = ::pread(fd, out, count, static_cast<off_t>(offset));
        if (got < 0) {
            if (errno == EINTR) continue;
            return kStgReadFault;
        }
        // The file is shorter than when it was opened.
        if (got == 0) return kStgReadFault;
        out += got;
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<std::size_t>(got);
    }
    return kOk;
}

HResult ParseCfbHeader(const std::uint8_t* raw512, std::uint64_t fileSize, CfbHeader& out) {
    if (fileSize < kHeaderSize) return kStgInvalidHeader;
    if (std::memcmp(raw512, kSignature, sizeof kSignature) != 0) return kStgInvalidHeader;
    if (Load16(raw512 + 28) != 0xFFFE) return kStgInvalidHeader;  // byte order mark
    const std::uint16_t version = Load16(raw512 + 26);
    const std::uint16_t sectorShift = Load16(raw512 + 30);
    if (!((version == 3 && sectorShift == 9) || (version == 4 && sectorShift == 12))) return kStgInvalidHeader;
    if (Load16(raw512 + 32) != kMiniSectorShift) return kStgInvalidHeader;
    out.majorVersion = version;
    out.sectorShift = sectorShift;
    out.sectorSize = 1u << sectorShift;
    out.entriesPerSector = out.sectorSize / 4;
    // Sector 0 starts after the header, which takes one whole sector.
    if (fileSize < out.sectorSize) return kStgInvalidHeader;
    const std::uint64_t sectors = (fileSize - out.sectorSize + out.sectorSize - 1) >> sectorShift;
    out.sectorCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors, kMaxRegularSector + 1ull));

    out.fatSectorCount = Load32(raw512 + 44);
    out.firstDirectorySector = Load32(raw512 + 48);
    out.miniStreamCutoff = Load32(raw512 + kHeaderMiniStreamCutoffOffset);
    out.firstMiniFatSector = Load32(raw512 + 60);
    out.miniFatSectorCount = Load32(raw512 + 64);
    out.firstDifatSector = Load32(raw512 + 68);
    out.difatSectorCount = Load32(raw512 + 72);
    // Every FAT and DIFAT sector lies in the file, so neither count can pass the sector count.
    if (out.fatSectorCount > out.sectorCount || out.difatSectorCount > out.sectorCount) return kStgDocfileCorrupt;
    for (std::uint32_t i = 0; i < kHeaderDifatEntries; ++i)
        out.headerDifat[i] = Load32(raw512 + 76 + std::size_t{4} * i);
    return kOk;
}

}  // namespace Norik::Cfb
