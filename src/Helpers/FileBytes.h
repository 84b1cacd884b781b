// A small data file of the base read whole into memory, with the state it was read in.
//
// The base's index files are looked up many times and kept for the whole run. They are read into
// memory rather than mapped: a file rewritten or cut short in place while mapped (a newer base
// copied over the old one) would change under the reader, or fault with SIGBUS on the pages it
// lost. Read bytes cannot change; whether the file did is told by comparing its stamp now with the
// one it was read in (FileStampOf), for the caller to say that the base changed.
//
// ReadFileBytes opens the file through OpenDataFile (regular files only, never blocking), checks its
// size against a bound before reserving anything, and reads exactly that many bytes: a file that
// grows or shrinks while read is refused. Nothing is reported: a file that cannot be read leaves
// nothing, for the caller to read the file its usual way, which tells why. Any thread.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Norik {

// Which file, in which state: any write to the file changes its status-change time, which no user
// can set back, and replacing it changes its inode.
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

struct FileBytes {
    // Aligned for any number type (operator new's alignment).
    std::vector<unsigned char> bytes;
    // The file as it was read.
    FileStamp stamp;
};

// The whole of path; nothing when it is no regular file, is larger than mostBytes (0: any size),
// cannot be opened or read, or changes its size while read.
std::optional<FileBytes> ReadFileBytes(const std::string& path, std::uint64_t mostBytes = 0);

}  // namespace Norik
