// libFuzzer target: the compound-file reader on arbitrary bytes. Opens a few root-level names
// (those of the seed containers among them) and reads every stream found to its end.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Helpers/CompoundFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int fd = memfd_create("container", 0);
    if (fd < 0) return 0;
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    std::shared_ptr<Norik::CompoundFile> file;
    if (Norik::CompoundFile::Open(path, file) < 0) return 0;
    static const std::u16string names[] = {u"000001.t", u"000002.t",     u"s0",     u"s5", u"big",
                                           u"small",    u"WordDocument", u"1Table", u"A",  u"Root Entry"};
    std::vector<std::uint8_t> buffer(70000);
    std::size_t chunk = 1;
    for (const std::u16string& name : names) {
        std::unique_ptr<Norik::CompoundStream> stream;
        if (file->OpenStream(name, stream) < 0) continue;
        for (;;) {
            std::size_t delivered = 0;
            if (stream->Read(buffer.data(), chunk, delivered) < 0 || delivered == 0) break;
            if (delivered > chunk) __builtin_trap();
        }
        chunk = chunk * 7 % 65536 + 1;
    }
    return 0;
}
