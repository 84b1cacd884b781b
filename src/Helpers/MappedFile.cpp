#include "Helpers/MappedFile.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <limits>
#include <utility>

#include "Helpers/DataFile.h"
#include "Helpers/FileDescriptor.h"

namespace Norik {

MappedFile::~MappedFile() { Reset(); }

MappedFile::MappedFile(MappedFile&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_mapped(std::exchange(other.m_mapped, false)),
      m_stamp(std::exchange(other.m_stamp, {})) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        Reset();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mapped = std::exchange(other.m_mapped, false);
        m_stamp = std::exchange(other.m_stamp, {});
    }
    return *this;
}

void MappedFile::Reset() {
    if (m_data != nullptr) ::munmap(const_cast<unsigned char*>(m_data), m_size);
    m_data = nullptr;
    m_size = 0;
    m_mapped = false;
    m_stamp = {};
}

FileStamp FileStampOfInfo(const struct stat& info) {
    constexpr std::int64_t kNs = std::int64_t{1000} * 1000 * 1000;
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
            static_cast<std::uint64_t>(info.st_size),
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * kNs + info.st_mtim.tv_nsec,
            static_cast<std::int64_t>(info.st_ctim.tv_sec) * kNs + info.st_ctim.tv_nsec};
}

bool MappedFile::Map(const std::string& path, std::uint64_t mostBytes) {
    Reset();
    int fd = -1;
    if (OpenDataFile(path, fd) != kOk) return false;
    const FileDescriptor file(fd);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) return false;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if ((mostBytes > 0 && size > mostBytes) || size > std::numeric_limits<std::size_t>::max()) return false;
    if (size > 0) {
        void* data = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, file.get(), 0);
        if (data == MAP_FAILED) return false;
        m_data = static_cast<const unsigned char*>(data);
        m_size = static_cast<std::size_t>(size);
    }
    m_mapped = true;
    m_stamp = FileStampOfInfo(info);
    return true;
}

std::optional<FileStamp> FileStampOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileStampOfInfo(info);
}

}  // namespace Norik
