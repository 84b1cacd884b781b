// Index files from outside: the loader must stop at the end of the data, never over-reserve, and
// every lookup on what it kept must stay in bounds and return ascending, duplicate-free lists.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "index/DocBitmap.h"
#include "index/IndexSpace.h"

namespace {

void CheckList(const IndexSpace::DocNumberList& list) {
    if (std::adjacent_find(list.begin(), list.end(), [](auto a, auto b) { return a >= b; }) != list.end()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bool quiet = [] {
        setenv("NORIK_ERROR_LOG", "/dev/null", 1);
        return true;
    }();
    (void)quiet;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::istringstream in(bytes, std::ios::binary);
    IndexSpace::IndexImpl::IndexInt index;
    index.LoadStream(in);
    if (index.MemoryBytes() > 2 * size + 4096) std::abort();

    // Probe ranges around the stored keys and a few fixed ones.
    std::vector<IndexSpace::IndexKey> probes{INT64_MIN, -1, 0, 1, INT64_MAX};
    for (std::size_t i = 0; i < index.EntryCount() && i < 64; ++i) probes.push_back(index.KeyAt(i));
    for (const IndexSpace::IndexKey low : probes) {
        for (const IndexSpace::IndexKey high : probes) {
            try {
                CheckList(index.FindRange(low, high));
            } catch (const IndexSpace::Value_Not_Found&) {
            }
            Norik::DocBitmap bits;
            index.CollectRange(low, high, bits);
        }
        try {
            CheckList(index.Find(low));
        } catch (const IndexSpace::Value_Not_Found&) {
        }
    }

    // What was kept writes back and reads again to the same entries.
    std::ostringstream out(std::ios::binary);
    index.Save(out);
    std::istringstream again(out.str(), std::ios::binary);
    IndexSpace::IndexImpl::IndexInt copy;
    copy.LoadStream(again);
    if (copy.EntryCount() != index.EntryCount()) std::abort();

    // The key functions take any bytes.
    IndexSpace::StrHash(bytes);
    IndexSpace::WordHash(bytes);
    return 0;
}
