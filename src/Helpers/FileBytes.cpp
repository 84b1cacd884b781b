#include "Helpers/FileBytes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <limits>

#include "Helpers/DataFile.h"
#include "Helpers/FileDescriptor.h"

namespace Norik {

FileStamp FileStampOfInfo(const struct stat& info) {
    constexpr std::int64_t kNs = std::int64_t{1000} * 1000 * 1000;
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
            static_cast<std::uint64_t>(info.st_size),
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * kNs + info.st_mtim.tv_nsec,
            static_cast<std::int64_t>(info.st_ctim.tv_sec) * kNs + info.st_ctim.tv_nsec};
}

std::optional<FileBytes> ReadFileBytes(const std::string& path, std::uint64_t mostBytes) {
    int fd = -1;
    if (OpenDataFile(path, fd) != kOk) return std::nullopt;
    const FileDescriptor file(fd);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) return std::nullopt;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if ((mostBytes > 0 && size > mostBytes) || size > std::numeric_limits<std::size_t>::max()) return std::nullopt;
    FileBytes read;
    read.stamp = FileStampOfInfo(info);
    read.bytes.resize(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < read.bytes.size()) {
        const ssize_t got =
            ::pread(file.get(), read.bytes.data() + done, read.bytes.size() - done, static_cast<off_t>(done));
        if (got <= 0) return std::nullopt;  // cut short while read, or unreadable
        done += static_cast<std::size_t>(got);
    }
    // Nothing past the size it had: a file that grew while read is no state it was ever in whole.
    unsigned char extra = 0;
    if (::pread(file.get(), &extra, 1, static_cast<off_t>(done)) != 0) return std::nullopt;
    return read;
}

std::optional<FileStamp> FileStampOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileStampOfInfo(info);
}

}  // namespace Norik
