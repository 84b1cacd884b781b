#include "Helpers/BaseLimits.h"

#include <array>
#include <utility>

namespace Norik {

namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

// A real base of 16,000 documents has tables of a few megabytes, a word index of texts below a
// hundred and the other indexes of one or two.
constexpr std::array<std::pair<std::string_view, std::uint64_t>, 11> kBaseFiles{{
    {"descript.ttx", 64 * 1024},
    {"class.ttx", 16 * kMiB},
    {"typelist.ttx", 1 * kMiB},
    {"Items.ttx", 128 * kMiB},
    {"index.ttx", 512 * kMiB},
    {"titidx.ttx", 128 * kMiB},
    {"clasidx.ttx", 64 * kMiB},
    {"typeidx.ttx", 64 * kMiB},
    {"numbidx.ttx", 64 * kMiB},
    {"date_beg.ttx", 64 * kMiB},
    {"work_now.ttx", 64 * kMiB},
}};

}  // namespace

std::uint64_t MaxBaseFileBytes(std::string_view fileName) {
    for (const auto& [name, bytes] : kBaseFiles)
        if (name == fileName) return bytes;
    return 0;
}

}  // namespace Norik
