// A data file of the base mapped into memory read-only, for readers that look up a few places of
// a large file and would waste their time reading all of it.
//
// MappedFile opens the file through OpenDataFile (regular files only, never blocking) and maps
// its whole length privately and read-only; the mapping lives as long as the object and survives
// the file's removal or replacement by rename. Nothing is reported: a file that cannot be mapped
// leaves the object empty, for the caller to read the file its usual way, which tells why.
// bytes() is all a reader may touch; every offset taken from the file must be checked against its
// size. (A file cut short by another process while mapped would fault on the pages it lost; the
// base's files are replaced whole, never rewritten in place.) Move-only; one thread at a time.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace Norik {

// Which file, in which state, a mapping was made of: any write to the file changes its status-change
// time, which no user can set back, and replacing it changes its inode.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at path as it is now; nothing when it cannot be looked at.
std::optional<FileStamp> FileStampOf(const std::string& path);
// The stamp of what info (from stat, fstat or fstatat) describes.
FileStamp FileStampOfInfo(const struct stat& info);

class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Maps path; false, with the object empty, when it is no regular file, is larger than
    // mostBytes (0: any size) or cannot be opened or mapped. An empty file maps to no bytes.
    bool Map(const std::string& path, std::uint64_t mostBytes = 0);
    // Unmaps what is held.
    void Reset();

    std::span<const unsigned char> bytes() const { return {m_data, m_size}; }
    bool isMapped() const { return m_mapped; }
    // The file as it was when mapped.
    const FileStamp& stamp() const { return m_stamp; }

private:
    const unsigned char* m_data = nullptr;
    std::size_t m_size = 0;
    bool m_mapped = false;
    FileStamp m_stamp;
};

}  // namespace Norik
