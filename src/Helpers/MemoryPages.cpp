#include "Helpers/MemoryPages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace Norik {

void PrefaultPages(void* data, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    static const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (data == nullptr || pageSize <= 0 || bytes < (std::size_t{1} << 16)) return;
    const auto page = static_cast<std::uintptr_t>(pageSize);
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + page - 1) / page * page;
    const std::uintptr_t last = (begin + bytes) / page * page;
    if (last > first) ::madvise(static_cast<char*>(data) + (first - begin), last - first, MADV_POPULATE_WRITE);
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace Norik
