// The index file read in place: the same answers as the loaded index, and no damaged file taken.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <sstream>

#include "index/DocBitmap.h"
#include "index/IndexSpace.h"
#include "index/IndexView.h"

namespace {

using IndexSpace::DocNumber;
using IndexSpace::DocNumberList;
using IndexSpace::IndexKey;
using IndexSpace::Value_Not_Found;
using IndexSpace::IndexImpl::IndexInt;
using IndexSpace::IndexImpl::IndexView;

// The bytes at an address aligned for document numbers, as a mapping gives them.
struct AlignedBytes {
    explicit AlignedBytes(const std::string& bytes) : words(bytes.size() / 8 + 1) {
        std::memcpy(words.data(), bytes.data(), bytes.size());
        size = bytes.size();
    }
    std::span<const unsigned char> span(std::size_t skip = 0) const {
        return {reinterpret_cast<const unsigned char*>(words.data()) + skip, size - skip};
    }
    std::vector<std::uint64_t> words;
    std::size_t size;
};

std::string Encode(IndexInt& index) {
    std::ostringstream out(std::ios::binary);
    index.Save(out);
    return out.str();
}

DocNumberList FindOrNone(const std::function<DocNumberList()>& find) {
    try {
        return find();
    } catch (const Value_Not_Found&) {
        return {-1, -1};  // no list holds a number twice: this stands for "not found"
    }
}

TEST(IndexView, AnswersEveryLookupAsTheLoadedIndex) {
    // Many more entries than one stride between kept places, keys far apart and negative too.
    std::mt19937_64 random(7);
    IndexInt built;
    IndexKey key = -5'000'000;
    for (int entry = 0; entry < 20 * static_cast<int>(IndexView::kStride); ++entry) {
        key += 1 + static_cast<IndexKey>(random() % 1000);
        std::vector<DocNumber> docs;
        for (int doc = -200 + static_cast<int>(random() % 50); doc < 32000;
             doc += 1 + static_cast<int>(random() % 9000))
            docs.push_back(static_cast<DocNumber>(doc));
        ASSERT_TRUE(built.Append(key, docs));
    }
    const std::string bytes = Encode(built);
    const AlignedBytes aligned(bytes);
    IndexView view;
    ASSERT_TRUE(view.Attach(aligned.span()));
    EXPECT_EQ(view.Count(), built.Count());
    EXPECT_EQ(view.TotalRefs(), built.TotalRefs());

    // What the check found takes the same bytes again; a result that does not fit them is refused.
    IndexView again;
    ASSERT_TRUE(again.AttachChecked(aligned.span(), view.Checked()));
    EXPECT_EQ(again.Find(built.KeyAt(700)), built.Find(built.KeyAt(700)));
    EXPECT_EQ(again.FindRange(built.KeyAt(3), built.KeyAt(900)), built.FindRange(built.KeyAt(3), built.KeyAt(900)));
    const auto refused = [&](const std::function<void(IndexView::CheckResult&)>& change) {
        IndexView::CheckResult checked = view.Checked();
        change(checked);
        IndexView other;
        return !other.AttachChecked(aligned.span(), checked) && other.Count() == 0;
    };
    EXPECT_TRUE(refused([](auto& c) { ++c.count; }));
    EXPECT_TRUE(refused([](auto& c) { c.markKeys.pop_back(); }));
    EXPECT_TRUE(refused([](auto& c) { c.markPlaces.back() += 2; }));
    EXPECT_TRUE(refused([&](auto& c) { c.markPlaces[5] = aligned.size + 100; }));
    EXPECT_TRUE(refused([](auto& c) { ++c.markKeys.back(); }));
    EXPECT_TRUE(refused([](auto& c) { c.markKeys[3] = c.markKeys[4]; }));
    EXPECT_TRUE(refused([](auto& c) { std::swap(c.markPlaces[1], c.markPlaces[2]); }));
    EXPECT_FALSE(again.AttachChecked(aligned.span(1), view.Checked()));

    std::vector<IndexKey> probes{INT64_MIN, INT64_MAX, built.KeyAt(0) - 1, key + 1};
    for (std::size_t entry = 0; entry < built.EntryCount(); entry += 1 + random() % 5) {
        probes.push_back(built.KeyAt(entry));
        probes.push_back(built.KeyAt(entry) + 1);
        probes.push_back(built.KeyAt(entry) - 1);
    }
    for (std::size_t i = 0; i < probes.size(); ++i) {
        const IndexKey low = probes[i];
        const IndexKey high = probes[(i * 7 + 3) % probes.size()];
        EXPECT_EQ(FindOrNone([&] { return view.Find(low); }), FindOrNone([&] { return built.Find(low); })) << low;
        EXPECT_EQ(FindOrNone([&] { return view.FindRange(low, high); }),
                  FindOrNone([&] { return built.FindRange(low, high); }))
            << low << " " << high;
        const IndexKey near = low > INT64_MAX - 2000 ? INT64_MAX : low + 2000;
        EXPECT_EQ(FindOrNone([&] { return view.FindRange(low, near); }),
                  FindOrNone([&] { return built.FindRange(low, near); }))
            << low;
    }
    for (const DocNumber doc : {DocNumber{-200}, DocNumber{-151}, DocNumber{31999}, DocNumber{32000}}) {
        bool held = false;
        for (std::size_t entry = 0; entry < built.EntryCount(); ++entry)
            held = held || std::ranges::binary_search(built.ListAt(entry), doc);
        EXPECT_EQ(view.HoldsDocument(doc), held) << doc;
    }
}

// Whatever the load reports as damage, the view refuses, and it takes whatever the load reads
// whole.
TEST(IndexView, TakesExactlyTheFilesTheLoadReadsWhole) {
    IndexInt built;
    ASSERT_TRUE(built.Append(5, std::vector<DocNumber>{1, 2}));
    ASSERT_TRUE(built.Append(9, std::vector<DocNumber>{-3, 7}));
    const std::string sound = Encode(built);
    const auto withByte = [&](std::size_t at, char value) {
        std::string bytes = sound;
        bytes[at] = value;
        return bytes;
    };
    const struct {
        const char* label;
        std::string bytes;
    } cases[] = {
        {"sound", sound},
        {"no entries", std::string("\0\0\0\0", 4)},
        {"an empty first list", std::string("\1\0\0\0"
                                            "\5\0\0\0\0\0\0\0"
                                            "\0\0",
                                            14)},
        {"cut inside the last list", sound.substr(0, sound.size() - 1)},
        {"cut inside the count", sound.substr(0, 3)},
        {"a byte after the entries", sound + '\0'},
        {"a count too large", withByte(0, '\3')},
        {"a count too small", withByte(0, '\1')},
        {"keys out of order", withByte(18, '\4')},
        {"a list out of order", withByte(14, '\3')},
        {"a number twice in a list", withByte(14, '\2')},
        {"a negative list length", withByte(13, '\x80')},
        {"an empty list repeating a key", std::string("\2\0\0\0"
                                                      "\5\0\0\0\0\0\0\0"
                                                      "\0\0"
                                                      "\5\0\0\0\0\0\0\0"
                                                      "\0\0",
                                                      24)},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.bytes, std::ios::binary);
        IndexInt loaded;
        loaded.LoadStream(in);
        IndexView view;
        EXPECT_EQ(view.Attach(AlignedBytes(c.bytes).span()), loaded.damage().empty()) << c.label;
    }
    // Bytes that do not start aligned for document numbers are left to the load.
    const AlignedBytes shifted('\0' + sound);
    IndexView view;
    EXPECT_FALSE(view.Attach(shifted.span(1)));
}

}  // namespace
