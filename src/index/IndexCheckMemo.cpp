#include "index/IndexCheckMemo.h"

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

namespace IndexSpace::IndexImpl {

namespace {

constexpr std::array<char, 8> kMagic{'N', 'O', 'R', 'I', 'K', 'I', 'C', '2'};

// The record: the magic, the stamp, the digest, the count, the total, the number of marks, then
// each mark's key and place; every number 8 bytes in the machine's order (the view is read in place
// on little-endian machines only).
struct Head {
    std::array<char, 8> magic{};
    Norik::FileStamp stamp;
    std::uint64_t digest = 0;
    std::uint64_t count = 0;
    std::int64_t total = 0;
    std::uint64_t marks = 0;
};
constexpr std::size_t kMarkBytes = sizeof(IndexKey) + sizeof(std::uint64_t);

constexpr const char* kFolder = "index-checks";

std::string RecordName(const std::string& file) { return Norik::PathKey(file) + ".check"; }

std::uint64_t Fnv1a(std::uint64_t hash, std::span<const unsigned char> bytes) {
    for (const unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    return hash;
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

std::uint64_t ContentDigest(std::span<const unsigned char> bytes) {
    std::uint64_t hash = 14695981039346656037ULL;
    const std::uint64_t size = bytes.size();
    hash = Fnv1a(hash, {reinterpret_cast<const unsigned char*>(&size), sizeof size});
    const std::size_t edge = std::min(bytes.size(), kDigestEdgeBytes);
    hash = Fnv1a(hash, bytes.first(edge));
    return Fnv1a(hash, bytes.last(edge));
}

std::optional<IndexView::CheckResult> RecallCheck(const std::string& file, const Norik::FileStamp& stamp,
                                                  std::uint64_t digest) {
    std::string error;
    const Norik::FileDescriptor folder = Norik::OpenCacheFolder(kFolder, false, error);
    if (!folder) return std::nullopt;
    const std::string name = RecordName(file);
    const Norik::FileDescriptor record(::openat(folder.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!record || ::fstat(record.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
        return std::nullopt;
    Head head;
    if (!ReadAll(record.get(), &head, sizeof head) || head.magic != kMagic || !(head.stamp == stamp))
        return std::nullopt;
    // The same state with other content is a record made for another file, or planted: it goes.
    if (head.digest != digest) {
        ::unlinkat(folder.get(), name.c_str(), 0);
        return std::nullopt;
    }
    // As many marks as the record holds bytes for, and no more than the file could have entries.
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (head.marks != (size - sizeof head) / kMarkBytes || (size - sizeof head) % kMarkBytes != 0 ||
        head.marks > stamp.size / IndexView::kStride + 1)
        return std::nullopt;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(head.marks) * kMarkBytes);
    if (!ReadAll(record.get(), bytes.data(), bytes.size())) return std::nullopt;
    IndexView::CheckResult checked;
    checked.count = head.count;
    checked.total = head.total;
    checked.markKeys.resize(static_cast<std::size_t>(head.marks));
    checked.markPlaces.resize(static_cast<std::size_t>(head.marks));
    for (std::size_t i = 0; i < checked.markKeys.size(); ++i) {
        std::memcpy(&checked.markKeys[i], bytes.data() + i * kMarkBytes, sizeof(IndexKey));
        std::memcpy(&checked.markPlaces[i], bytes.data() + i * kMarkBytes + sizeof(IndexKey), sizeof(std::uint64_t));
    }
    return checked;
}

void RememberCheck(const std::string& file, const Norik::FileStamp& stamp, std::uint64_t digest,
                   const IndexView::CheckResult& checked) {
    const auto now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    constexpr std::int64_t kNs = std::int64_t{1000} * 1000 * 1000;
    if (now - stamp.changedNs < std::int64_t{kSettleSeconds} * kNs || now - stamp.modifiedNs < kSettleSeconds * kNs)
        return;
    std::string error;
    const Norik::FileDescriptor folder = Norik::OpenCacheFolder(kFolder, true, error);
    if (!folder) return;
    const std::string name = RecordName(file);
    std::vector<unsigned char> bytes(sizeof(Head) + checked.markKeys.size() * kMarkBytes);
    Head head;
    head.magic = kMagic;
    head.stamp = stamp;
    head.digest = digest;
    head.count = checked.count;
    head.total = checked.total;
    head.marks = checked.markKeys.size();
    std::memcpy(bytes.data(), &head, sizeof head);
    for (std::size_t i = 0; i < checked.markKeys.size(); ++i) {
        unsigned char* at = bytes.data() + sizeof head + i * kMarkBytes;
        std::memcpy(at, &checked.markKeys[i], sizeof(IndexKey));
        std::memcpy(at + sizeof(IndexKey), &checked.markPlaces[i], sizeof(std::uint64_t));
    }
    // Written whole under a name nobody else could have taken, then put in place at once.
    const std::string temporary =
        name + "." + std::to_string(::getpid()) + "." + std::to_string(std::random_device{}());
    Norik::FileDescriptor out(
        ::openat(folder.get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out) return;
    if (!Norik::WriteAll(out.get(), bytes.data(), bytes.size()) || !out.Close() ||
        ::renameat(folder.get(), temporary.c_str(), folder.get(), name.c_str()) != 0)
        ::unlinkat(folder.get(), temporary.c_str(), 0);
}

}  // namespace IndexSpace::IndexImpl
