#include "Helpers/CheckRecord.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <random>

#include "Helpers/FileDescriptor.h"
#include "Helpers/UserCache.h"

namespace Norik {

namespace {

constexpr std::array<char, 8> kMagic{'N', 'O', 'R', 'I', 'K', 'C', 'R', '2'};
constexpr const char* kFolder = "index-checks";
// A record names no more files than an index folder holds.
constexpr std::uint64_t kMaxStamps = 64;

// The record: the magic, the number of stamps, the length of the finding, the content digest, the
// stamps, then the finding; every number 8 bytes in the machine's order.
struct Head {
    std::array<char, 8> magic{};
    std::uint64_t stamps = 0;
    std::uint64_t findingBytes = 0;
    std::uint64_t digest = 0;
};

std::string RecordName(const std::string& path, std::string_view kind) {
    return PathKey(path) + "." + std::string(kind);
}

constexpr std::uint64_t kFnvOffset = 14695981039346656037ULL;

std::uint64_t Fnv1a(std::uint64_t hash, std::span<const unsigned char> bytes) {
    for (const unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    return hash;
}

std::uint64_t DigestOf(std::uint64_t size, std::span<const unsigned char> head, std::span<const unsigned char> tail) {
    std::uint64_t hash = Fnv1a(kFnvOffset, {reinterpret_cast<const unsigned char*>(&size), sizeof size});
    hash = Fnv1a(hash, head);
    return Fnv1a(hash, tail);
}

}  // namespace

std::uint64_t ContentDigest(std::span<const unsigned char> bytes) {
    const std::size_t edge = std::min(bytes.size(), kDigestEdgeBytes);
    return DigestOf(bytes.size(), bytes.first(edge), bytes.last(edge));
}

std::optional<std::uint64_t> FileContentDigest(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) return std::nullopt;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    const std::size_t edge = static_cast<std::size_t>(std::min<std::uint64_t>(size, kDigestEdgeBytes));
    std::vector<unsigned char> head(edge), tail(edge);
    const auto readAt = [fd](std::vector<unsigned char>& into, std::uint64_t offset) {
        std::size_t done = 0;
        while (done < into.size()) {
            const ssize_t got = ::pread(fd, into.data() + done, into.size() - done, static_cast<off_t>(offset + done));
            if (got <= 0) return false;
            done += static_cast<std::size_t>(got);
        }
        return true;
    };
    if (!readAt(head, 0) || !readAt(tail, size - edge)) return std::nullopt;
    return DigestOf(size, head, tail);
}

std::optional<std::string> RecallRecord(const std::string& path, std::string_view kind,
                                        const std::vector<FileStamp>& stamps, std::uint64_t digest,
                                        std::size_t mostBytes) {
    std::string error;
    const FileDescriptor folder = OpenCacheFolder(kFolder, false, error);
    if (!folder) return std::nullopt;
    const std::string name = RecordName(path, kind);
    const FileDescriptor record(::openat(folder.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!record || ::fstat(record.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
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
    // The same states with other content is a record made for other files, or planted: it goes.
    if (head.digest != digest) {
        ::unlinkat(folder.get(), name.c_str(), 0);
        return std::nullopt;
    }
    std::string finding(static_cast<std::size_t>(head.findingBytes), '\0');
    if (!ReadAll(record.get(), finding.data(), finding.size())) return std::nullopt;
    return finding;
}

void RememberRecord(const std::string& path, std::string_view kind, const std::vector<FileStamp>& stamps,
                    std::uint64_t digest, std::string_view finding) {
    const auto now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    constexpr std::int64_t kNs = std::int64_t{1000} * 1000 * 1000;
    if (stamps.size() > kMaxStamps) return;
    for (const FileStamp& stamp : stamps)
        if (now - stamp.changedNs < std::int64_t{kSettleSeconds} * kNs ||
            now - stamp.modifiedNs < std::int64_t{kSettleSeconds} * kNs)
            return;
    std::string error;
    const FileDescriptor folder = OpenCacheFolder(kFolder, true, error);
    if (!folder) return;
    const std::string name = RecordName(path, kind);
    Head head;
    head.magic = kMagic;
    head.stamps = stamps.size();
    head.findingBytes = finding.size();
    head.digest = digest;
    std::string bytes(sizeof head + stamps.size() * sizeof(FileStamp) + finding.size(), '\0');
    std::memcpy(bytes.data(), &head, sizeof head);
    if (!stamps.empty()) std::memcpy(bytes.data() + sizeof head, stamps.data(), stamps.size() * sizeof(FileStamp));
    std::memcpy(bytes.data() + sizeof head + stamps.size() * sizeof(FileStamp), finding.data(), finding.size());
    // Written whole under a name nobody else could have taken, then put in place at once.
    const std::string temporary =
        name + "." + std::to_string(::getpid()) + "." + std::to_string(std::random_device{}());
    FileDescriptor out(
        ::openat(folder.get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out) return;
    if (!WriteAll(out.get(), bytes.data(), bytes.size()) || !out.Close() ||
        ::renameat(folder.get(), temporary.c_str(), folder.get(), name.c_str()) != 0)
        ::unlinkat(folder.get(), temporary.c_str(), 0);
}

}  // namespace Norik
