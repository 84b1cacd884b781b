// The on-disk basics of compound files (structured storage, versions 3 and 4), shared by the
// reader (CompoundFile) and the builder's in-place directory rewriter (DirectoryBalancer).
//
// Holds the format's constants and the layout of the header and of a directory entry, the
// little-endian loads and stores, the mapping of open/stat errors to result codes, a small owning
// wrapper of a file descriptor with exact positioned reads, and ParseCfbHeader, which checks a
// header against the file's size and extracts what both users need.
//
// ParseCfbHeader returns kStgInvalidHeader for bytes that are not a compound file this code
// reads (size below a header, signature, byte order mark, a version with another sector shift
// than 3/9 or 4/12, a mini sector shift other than 6, a file shorter than one sector) and
// kStgDocfileCorrupt when the FAT or DIFAT sector count passes the number of sectors in the
// file. Checks that only one user needs (the mini-stream cutoff and mini FAT count for the
// reader, a FAT of at least one sector for the rewriter) stay with that user.
//
// Everything here is stateless or owned by the caller; any thread may call it. Nothing writes the
// error log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Helpers/FileDescriptor.h"
#include "common/ResultCode.h"

namespace Norik::Cfb {

inline constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
inline constexpr std::uint32_t kHeaderSize = 512;
inline constexpr std::uint32_t kHeaderDifatEntries = 109;  // FAT sector locations in the header
inline constexpr std::uint32_t kMiniSectorShift = 6;
inline constexpr std::uint32_t kMiniSectorSize = 64;
inline constexpr std::uint32_t kMiniStreamCutoff = 4096;
// Offset of the mini-stream cutoff in the header.
inline constexpr std::size_t kHeaderMiniStreamCutoffOffset = 56;

// Sector numbers and entry ids with a meaning of their own.
inline constexpr std::uint32_t kNoStream = 0xFFFFFFFFu;
inline constexpr std::uint32_t kEndOfChain = 0xFFFFFFFEu;
inline constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFAu;

// A directory entry: the name in UTF-16 at offset 0, then the fields at these offsets.
inline constexpr std::uint32_t kDirectoryEntrySize = 128;
inline constexpr std::uint32_t kMaxNameLength = 31;  // UTF-16 code units
inline constexpr std::uint32_t kMaxNameBytes = 64;   // 31 code units and the terminating zero
inline constexpr std::size_t kEntryNameLengthOffset = 64;
inline constexpr std::size_t kEntryTypeOffset = 66;
inline constexpr std::size_t kEntryColourOffset = 67;
inline constexpr std::size_t kEntryLeftOffset = 68;
inline constexpr std::size_t kEntryRightOffset = 72;
inline constexpr std::size_t kEntryChildOffset = 76;
inline constexpr std::size_t kEntryStartSectorOffset = 116;
inline constexpr std::size_t kEntrySizeOffset = 120;

inline constexpr std::uint8_t kTypeStorage = 1;
inline constexpr std::uint8_t kTypeStream = 2;
inline constexpr std::uint8_t kTypeRoot = 5;
inline constexpr std::uint8_t kRed = 0;
inline constexpr std::uint8_t kBlack = 1;

inline std::uint16_t Load16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

inline std::uint32_t Load32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t Load64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(Load32(p)) | (static_cast<std::uint64_t>(Load32(p + 4)) << 32);
}

inline void Store32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Replaces name with the code units of a directory entry's name before the terminating zero.
// nameBytes is the entry's name length field, already checked to be even and at most
// kMaxNameBytes.
void ReadEntryName(const std::uint8_t* entry, std::uint32_t nameBytes, std::u16string& name);

// The result code of an errno left by open or fstat on a container.
HResult OpenErrorCode(int error);

// Opens path with flags (retrying an interrupted open); on failure file stays empty and the result
// is OpenErrorCode of the error (a directory opened for writing counts as a missing file).
HResult OpenFile(const std::string& path, int flags, FileDescriptor& file);

// Reads exactly count bytes at offset. kStgDocfileCorrupt when the range passes fileSize (the
// size the file had when opened), kStgReadFault for a failing read or a file that has shrunk.
HResult ReadFileAt(int fd, std::uint64_t fileSize, std::uint64_t offset, void* buffer, std::size_t count);

// What the header says, checked as ParseCfbHeader describes.
struct CfbHeader {
    int majorVersion = 0;
    std::uint32_t sectorShift = 9;
    std::uint32_t sectorSize = 512;
    std::uint32_t entriesPerSector = 128;  // 32-bit entries in one FAT, mini FAT or DIFAT sector
    std::uint32_t sectorCount = 0;         // sectors that start inside the file
    std::uint32_t fatSectorCount = 0;
    std::uint32_t firstDirectorySector = 0;
    std::uint32_t miniStreamCutoff = kMiniStreamCutoff;
    std::uint32_t firstMiniFatSector = 0;
    std::uint32_t miniFatSectorCount = 0;
    std::uint32_t firstDifatSector = 0;
    std::uint32_t difatSectorCount = 0;
    // The header's DIFAT: the locations of the first FAT sectors, as stored (unchecked).
    std::uint32_t headerDifat[kHeaderDifatEntries] = {};

    // How many entries of headerDifat are FAT sector locations.
    std::uint32_t HeaderFatLocations() const {
        return fatSectorCount < kHeaderDifatEntries ? fatSectorCount : kHeaderDifatEntries;
    }
    // Where a sector starts in the file: sector 0 follows the header, which fills a whole sector.
    std::uint64_t SectorOffset(std::uint32_t sector) const {
        return (static_cast<std::uint64_t>(sector) + 1) << sectorShift;
    }
};

// Parses the first kHeaderSize bytes of a file of fileSize bytes into out. out is complete only
// when the result is kOk.
HResult ParseCfbHeader(const std::uint8_t* raw512, std::uint64_t fileSize, CfbHeader& out);

}  // namespace Norik::Cfb
