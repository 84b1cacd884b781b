// libFuzzer target: BalanceRootDirectory on arbitrary bytes. A refused file must come back byte
// for byte; an accepted one keeps its size, is left as it is by a second pass, and every
// root-level name the reader found before is still found after.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Helpers/CompoundFile.h"
#include "builder/DirectoryBalancer.h"

namespace {

std::vector<std::uint8_t> Contents(int fd) {
    const off_t size = lseek(fd, 0, SEEK_END);
    std::vector<std::uint8_t> bytes(size > 0 ? static_cast<std::size_t>(size) : 0);
    if (!bytes.empty() && pread(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) {
        __builtin_trap();
    }
    return bytes;
}

// Which of a few names (those of the seed containers among them) the reader finds.
std::vector<bool> Found(const std::string& path) {
    static const std::u16string names[] = {u"000001.t", u"000002.t", u"Doc.t", u"DOC.t", u"s0", u"A", u"Storage"};
    std::vector<bool> found;
    std::shared_ptr<Norik::CompoundFile> file;
    if (Norik::CompoundFile::Open(path, file) < 0) return found;
    for (const std::u16string& name : names) {
        std::uint32_t id = 0;
        Norik::CompoundDirectoryEntry entry;
        found.push_back(file->FindRootChild(name, id, entry) == Norik::kOk);
    }
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int fd = memfd_create("container", 0);
    if (fd < 0) return 0;
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const std::vector<bool> foundBefore = Found(path);
    const Norik::HResult code = Norik::BalanceRootDirectory(path);
    const std::vector<std::uint8_t> after = Contents(fd);
    if (after.size() != size) __builtin_trap();
    if (code != Norik::kOk) {
        if (size > 0 && std::memcmp(after.data(), data, size) != 0) __builtin_trap();
        return 0;
    }
    if (Norik::BalanceRootDirectory(path) != Norik::kOk || Contents(fd) != after) __builtin_trap();
    // A balanced tree holds the same entries in search order, so nothing found before is lost.
    const std::vector<bool> foundAfter = Found(path);
    for (std::size_t i = 0; i < foundBefore.size(); ++i) {
        if (foundBefore[i] && (i >= foundAfter.size() || !foundAfter[i])) __builtin_trap();
    }
    return 0;
}
