#include "Helpers/CheckRecord.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>

#include "Helpers/FileDescriptor.h"
#include "Helpers/UserCache.h"

namespace Norik {

namespace {

constexpr std::array<char, 8> kMagic{'N', 'O', 'R', 'I', 'K', 'C', 'R', '1'};
// A record names no more files than an index folder holds.
constexpr std::uint64_t kMaxStamps = 64;

// The record: the magic, the number of stamps, the length of the finding, the stamps, then the
// finding; every number 8 bytes in the machine's order.
struct Head {
    std::array<char, 8> magic{};
    std::uint64_t stamps = 0;
    std::uint64_t findingBytes = 0;
};

std::filesystem::path RecordPath(const std::string& path, std::string_view kind) {
    return UserCacheFolder() / "index-checks" / (PathKey(path) + "." + std::string(kind));
}

bool ReadAll(int fd, void* data, std::size_t size) {
    auto* at = static_cast<unsigned char*>(data);
    while (size > 0) {
        const ssize_t got = ::read(fd, at, size);
        if (got <= 0) return false;
        at += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace

std::optional<std::string> RecallRecord(const std::string& path, std::string_view kind,
                                        const std::vector<FileStamp>& stamps, std::size_t mostBytes) {
    const FileDescriptor record(::open(RecordPath(path, kind).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!record || ::fstat(record.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid())
        return std::nullopt;
    Head head;
    if (!ReadAll(record.get(), &head, sizeof head) || head.magic != kMagic || head.stamps != stamps.size() ||
        head.stamps > kMaxStamps || head.findingBytes > mostBytes ||
        static_cast<std::uint64_t>(info.st_size) != sizeof head + head.stamps * sizeof(FileStamp) + head.findingBytes)
        return std::nullopt;
    for (const FileStamp& stamp : stamps) {
        FileStamp held;
        if (!ReadAll(record.get(), &held, sizeof held) || !(held == stamp)) return std::nullopt;
    }
    std::string finding(static_cast<std::size_t>(head.findingBytes), '\0');
    if (!ReadAll(record.get(), finding.data(), finding.size())) return std::nullopt;
    return finding;
}

void RememberRecord(const std::string& path, std::string_view kind, const std::vector<FileStamp>& stamps,
                    std::string_view finding) {
    const auto now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    constexpr std::int64_t kNs = std::int64_t{1000} * 1000 * 1000;
    if (stamps.size() > kMaxStamps) return;
    for (const FileStamp& stamp : stamps)
        if (now - stamp.changedNs < std::int64_t{kSettleSeconds} * kNs ||
            now - stamp.modifiedNs < std::int64_t{kSettleSeconds} * kNs)
            return;
    const std::filesystem::path record = RecordPath(path, kind);
    std::string error;
    if (!MakePrivateFolders(record.parent_path(), error)) return;
    Head head;
    head.magic = kMagic;
    head.stamps = stamps.size();
    head.findingBytes = finding.size();
    std::string bytes(sizeof head + stamps.size() * sizeof(FileStamp) + finding.size(), '\0');
    std::memcpy(bytes.data(), &head, sizeof head);
    if (!stamps.empty()) std::memcpy(bytes.data() + sizeof head, stamps.data(), stamps.size() * sizeof(FileStamp));
    std::memcpy(bytes.data() + sizeof head + stamps.size() * sizeof(FileStamp), finding.data(), finding.size());
    // Written whole under a name nobody else could have taken, then put in place at once.
    const std::string temporary =
        record.string() + "." + std::to_string(::getpid()) + "." + std::to_string(std::random_device{}());
    FileDescriptor out(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out) return;
    if (!WriteAll(out.get(), bytes.data(), bytes.size()) || !out.Close() ||
        ::rename(temporary.c_str(), record.c_str()) != 0)
        ::unlink(temporary.c_str());
}

}  // namespace Norik
