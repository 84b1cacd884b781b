// Index files from outside: the loader must stop at the end of the data, never over-reserve, and
// every lookup on what it kept must stay in bounds and return ascending, duplicate-free lists.
// The reading in place must take exactly the files the loader reads without damage, and then
// answer every lookup as the loader's index does.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>

#include "index/DocBitmap.h"
#include "index/IndexSpace.h"
#include "index/IndexView.h"

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

    // The bytes where a mapping would put them: at an address aligned for document numbers.
    std::vector<std::uint64_t> aligned(size / 8 + 1);
    if (size > 0) std::memcpy(aligned.data(), data, size);
    IndexSpace::IndexImpl::IndexView view;
    const bool inPlace = view.Attach({reinterpret_cast<const unsigned char*>(aligned.data()), size});
    if (inPlace != index.damage().empty()) std::abort();
    if (inPlace && (view.Count() != index.Count() || view.TotalRefs() != index.TotalRefs())) std::abort();
    // What the check found takes the same bytes again as they are.
    if (inPlace) {
        IndexSpace::IndexImpl::IndexView again;
        if (!again.AttachChecked({reinterpret_cast<const unsigned char*>(aligned.data()), size}, view.Checked()) ||
            again.Count() != view.Count() || again.TotalRefs() != view.TotalRefs())
            std::abort();
    }
    const auto findOrNone = [](auto&& find) -> std::optional<IndexSpace::DocNumberList> {
        try {
            return find();
        } catch (const IndexSpace::Value_Not_Found&) {
            return std::nullopt;
        }
    };

    // Probe ranges around the stored keys and a few fixed ones.
    std::vector<IndexSpace::IndexKey> probes{INT64_MIN, -1, 0, 1, INT64_MAX};
    for (std::size_t i = 0; i < index.EntryCount() && i < 64; ++i) probes.push_back(index.KeyAt(i));
    for (const IndexSpace::IndexKey low : probes) {
        for (const IndexSpace::IndexKey high : probes) {
            const auto found = findOrNone([&] { return index.FindRange(low, high); });
            if (found) CheckList(*found);
            if (inPlace && found != findOrNone([&] { return view.FindRange(low, high); })) std::abort();
            Norik::DocBitmap bits;
            index.CollectRange(low, high, bits);
        }
        const auto found = findOrNone([&] { return index.Find(low); });
        if (found) CheckList(*found);
        if (inPlace && found != findOrNone([&] { return view.Find(low); })) std::abort();
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
