// The index handles: loading on first use, retry while the file is missing, prefix and word
// lookups, and the process-wide handles.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "Helpers/Cp1251.h"
#include "TestSupport.h"
#include "index/IndexBuilder.h"
#include "index/IndexSpace.h"

namespace {

using IndexSpace::DocNumberList;
using IndexSpace::Value_Not_Found;

std::string W(const char* utf8) { return Norik::Utf8ToCp1251(utf8); }

class IndexHandle : public ::testing::Test {
protected:
    // Writes an index of (text, document) pairs keyed by hash.
    template <class Hash>
    std::string WriteIndex(const char* name, std::initializer_list<std::pair<const char*, int>> pairs, Hash hash) {
        Norik::IndexBuilder builder;
        for (const auto& [text, doc] : pairs) builder.Add(hash(W(text)), static_cast<IndexSpace::DocNumber>(doc));
        std::string path = m_dir.file(std::string(name) + ".ttx");
        EXPECT_EQ(builder.WriteFile(path), Norik::kOk);
        return path;
    }

    NorikTest::ErrorLogCapture m_log;
    NorikTest::TempDir m_dir;
};

TEST_F(IndexHandle, MissingFileFindsNothingAndIsTriedAgain) {
    IndexSpace::IIndexInt handle;
    const std::string path = m_dir.file("clasidx.ttx");
    handle.SetFile(path);
    EXPECT_THROW(handle.Find(3), Value_Not_Found);
    EXPECT_EQ(handle.Count(), 0);
    EXPECT_EQ(handle.TotalRefs(), 0u);
    EXPECT_FALSE(handle.isLoaded());
    EXPECT_EQ(m_log.entryCount(), 3);  // one open failure per attempt
    ASSERT_NE(handle.damage(), nullptr);
    EXPECT_EQ(handle.damage()->file, path);
    EXPECT_EQ(handle.damage()->problem.rfind("cannot be opened: 0x80070002", 0), 0u) << handle.damage()->problem;

    Norik::IndexBuilder builder;
    builder.Add(3, 40);
    builder.Add(3, 12);
    builder.Add(4, 12);
    ASSERT_EQ(builder.WriteFile(path), Norik::kOk);
    EXPECT_EQ(handle.Find(3), (DocNumberList{12, 40}));
    EXPECT_TRUE(handle.isLoaded());
    EXPECT_EQ(handle.damage(), nullptr);
}

// A file read is not read again; once it is cut short, rewritten in place or removed under the
// handle (a newer base copied over the open one), every lookup finds nothing and the damage says
// the base changed, until the handle is bound to the file again.
TEST_F(IndexHandle, AFileChangedUnderTheHandleEndsInANamedFailure) {
    Norik::IndexBuilder builder;
    for (int key = 0; key < 3000; ++key) builder.Add(key, static_cast<IndexSpace::DocNumber>(key % 500 + 1));
    const std::string path = m_dir.file("clasidx.ttx");
    ASSERT_EQ(builder.WriteFile(path), Norik::kOk);
    const std::string bytes = NorikTest::ReadFile(path);
    ASSERT_GT(bytes.size(), 8192u);  // more than a page, so that a cut one would be lost whole
    const std::function<void()> changes[] = {
        [&] { std::filesystem::resize_file(path, 0); },
        [&] {
            std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(20);
            file.put('\x7F');
        },
        [&] { std::filesystem::remove(path); },
    };
    for (const auto& change : changes) {
        NorikTest::WriteFile(path, bytes);
        IndexSpace::IIndexInt handle;
        handle.SetFile(path);
        EXPECT_EQ(handle.Find(2999), (DocNumberList{500}));
        change();
        EXPECT_THROW(handle.Find(2999), Value_Not_Found);
        EXPECT_THROW(handle.FindRange(0, 3000), Value_Not_Found);
        ASSERT_NE(handle.damage(), nullptr);
        EXPECT_EQ(handle.damage()->kind, Norik::DamageKind::Changed);
        EXPECT_NE(handle.damage()->UserText().find("откройте её заново"), std::string::npos);
        NorikTest::WriteFile(path, bytes);
        handle.SetFile(path);
        EXPECT_EQ(handle.Find(2999), (DocNumberList{500}));
        EXPECT_EQ(handle.damage(), nullptr);
    }
}

// An index announcing 0xFFFFFFFF entries over a sparse file: gigabytes by its size, a few
// kilobytes of disk, zeros when read. Past the bound of its kind it is not read at all; within
// it, reading stops at the first entry that repeats a key without documents. Either way the load
// costs next to nothing and the damage is said.
TEST_F(IndexHandle, ASparseIndexOfGigabytesIsRefusedAtOnce) {
    const struct {
        off_t size;
        const char* damage;
    } cases[] = {{off_t{1} << 31, "bytes, more than the"}, {off_t{1} << 28, "entry 2 of 4294967295 repeats"}};
    for (const auto& c : cases) {
        const std::string path = m_dir.file("index.ttx");
        NorikTest::WriteFile(path, std::string(4, '\xFF'));
        ASSERT_EQ(::truncate(path.c_str(), c.size), 0);
        IndexSpace::IIndexInt handle;
        handle.SetFile(path);
        EXPECT_LE(handle.Count(), 1);
        ASSERT_NE(handle.damage(), nullptr);
        EXPECT_NE(handle.damage()->problem.find(c.damage), std::string::npos) << handle.damage()->problem;
    }
}

TEST_F(IndexHandle, SetFileRebindsWithoutEmptying) {
    IndexSpace::IIndexInt handle;
    handle.SetFile(WriteIndex("a", {{"1", 1}}, [](const std::string&) { return IndexSpace::IndexKey{1}; }));
    EXPECT_EQ(handle.Find(1), DocNumberList{1});
    handle.SetFile(WriteIndex("b", {{"2", 2}}, [](const std::string&) { return IndexSpace::IndexKey{2}; }));
    EXPECT_FALSE(handle.isLoaded());
    EXPECT_EQ(handle.Find(2), DocNumberList{2});
    EXPECT_THROW(handle.Find(1), Value_Not_Found);
}

TEST_F(IndexHandle, SaveToFileWritesWhatLoads) {
    IndexSpace::IIndexInt handle;
    handle.SetFile(WriteIndex("src", {{"a", 5}, {"b", -5}}, [](const std::string& t) { return t == "a" ? -9 : 9; }));
    ASSERT_EQ(handle.Count(), 2);
    handle.SaveToFile(m_dir.file("copy.ttx"));
    EXPECT_EQ(NorikTest::ReadFile(m_dir.file("copy.ttx")), NorikTest::ReadFile(m_dir.file("src.ttx")));
    const int before = m_log.entryCount();
    handle.SaveToFile(m_dir.file("no/such/folder.ttx"));  // silently nothing
    EXPECT_EQ(m_log.entryCount(), before);
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("no")));
}

class PrefixLookup : public IndexHandle {
protected:
    void SetUp() override {
        m_numbers.SetFile(WriteIndex("numbidx",
                                     {{"12-ФЗ", 1},
                                      {"123", 2},
                                      {"12", 3},
                                      {"13", 4},
                                      {"1", 5},
                                      {"Т-12", 6},
                                      {"Т-13", 7},
                                      {"У-1", 8},
                                      {"1234567890123X", 9},
                                      {"1234567890123Y", 10}},
                                     IndexSpace::StrHash));
    }
    IndexSpace::IIndexStr m_numbers;
};

TEST_F(PrefixLookup, TypedCharactersArePrefixes) {
    EXPECT_EQ(m_numbers.FindPrefix("12"), (DocNumberList{1, 2, 3, 9, 10}));
    EXPECT_EQ(m_numbers.FindPrefix("1"), (DocNumberList{1, 2, 3, 4, 5, 9, 10}));
    EXPECT_EQ(m_numbers.FindPrefix("123"), (DocNumberList{2, 9, 10}));
    EXPECT_EQ(m_numbers.FindPrefix(W("12-Ф")), (DocNumberList{1}));
    EXPECT_THROW(m_numbers.FindPrefix("14"), Value_Not_Found);
}

TEST_F(PrefixLookup, NegativeKeysFormRangesToo) {
    EXPECT_EQ(m_numbers.FindPrefix(W("Т")), (DocNumberList{6, 7}));
    EXPECT_EQ(m_numbers.FindPrefix(W("Т-12")), (DocNumberList{6}));
    EXPECT_EQ(m_numbers.FindPrefix(W("у")), (DocNumberList{8}));
}

TEST_F(PrefixLookup, LongNumbersShareTheirKey) {
    EXPECT_EQ(m_numbers.FindPrefix("1234567890123Z"), (DocNumberList{9, 10}));
}

TEST_F(PrefixLookup, TextOfZeroCodesFindsNothingWithoutThrowing) {
    EXPECT_EQ(m_numbers.FindPrefix(""), DocNumberList{});
    EXPECT_EQ(m_numbers.FindPrefix("000"), DocNumberList{});
    EXPECT_EQ(m_numbers.FindPrefix(W("А")), DocNumberList{});
    IndexSpace::IIndexStr unbound;
    EXPECT_EQ(unbound.FindPrefix(W("А")), DocNumberList{});
    EXPECT_EQ(m_log.entryCount(), 0);  // no range, so no attempt to read a file
}

class WordLookup : public IndexHandle {
protected:
    void SetUp() override {
        m_words.SetFile(WriteIndex("titidx",
                                   {{"закон", 1},
                                    {"закона", 2},
                                    {"законом", 3},
                                    {"законодательство", 4},
                                    {"налог", 2},
                                    {"налогов", 5},
                                    {"кодекс", 3},
                                    {"кодекс", 5},
                                    {"о", 6}},
                                   IndexSpace::WordHash));
    }
    DocNumberList Find(const std::vector<const char*>& words, bool all) {
        std::vector<std::string> converted;
        for (const char* word : words) converted.push_back(W(word));
        return m_words.FindWords(converted, all);
    }
    IndexSpace::IIndexLongStr m_words;
};

TEST_F(WordLookup, AWordFindsEveryFormThatStartsWithItsStem) {
    EXPECT_EQ(Find({"закон"}, true), (DocNumberList{1, 2, 3, 4}));
    // The upper end of a word's range comes from the word as typed, endings included.
    EXPECT_EQ(Find({"Закона,"}, true), (DocNumberList{1, 2}));
    EXPECT_EQ(Find({"законом"}, true), (DocNumberList{3}));
}

TEST_F(WordLookup, AllWordsIntersectsAnyWordUnites) {
    EXPECT_EQ(Find({"закон", "налог"}, true), (DocNumberList{2}));
    EXPECT_EQ(Find({"закон", "налог"}, false), (DocNumberList{1, 2, 3, 4, 5}));
    EXPECT_EQ(Find({"кодекс", "налог"}, true), (DocNumberList{5}));
    EXPECT_THROW(Find({"кодекс", "налог", "закон"}, true), Value_Not_Found);
}

TEST_F(WordLookup, AbsentWordEndsAllWordsButIsSkippedByAnyWord) {
    EXPECT_THROW(Find({"закон", "паспорт"}, true), Value_Not_Found);
    EXPECT_EQ(Find({"паспорт", "кодекс"}, false), (DocNumberList{3, 5}));
    EXPECT_THROW(Find({"паспорт"}, false), Value_Not_Found);
}

TEST_F(WordLookup, DisjointWordsFindNothing) {
    EXPECT_THROW(Find({"кодекс", "законодательство"}, true), Value_Not_Found);
}

TEST_F(WordLookup, ShortWordsAreSkipped) {
    EXPECT_EQ(Find({"о", "закон", "в"}, true), (DocNumberList{1, 2, 3, 4}));
    EXPECT_THROW(Find({"о", "и", "по"}, true), Value_Not_Found);
    EXPECT_THROW(Find({"о", "и", "по"}, false), Value_Not_Found);
    EXPECT_THROW(Find({}, false), Value_Not_Found);
}

TEST_F(IndexHandle, WordsTryTheFileOnlyForWordsThatYieldAKey) {
    IndexSpace::IIndexLongStr words;
    words.SetFile(m_dir.file("titidx.ttx"));
    // No word gives a key: nothing is looked up, so the missing file is not even opened.
    EXPECT_THROW(words.FindWords({W("о"), W("по")}, true), Value_Not_Found);
    EXPECT_THROW(words.FindWords({W("о"), W("по")}, false), Value_Not_Found);
    EXPECT_EQ(m_log.entryCount(), 0);
    EXPECT_FALSE(words.isLoaded());
    // Every word that is looked up tries the file again; with all words the first failure ends it.
    EXPECT_THROW(words.FindWords({W("закон"), W("о"), W("налог")}, false), Value_Not_Found);
    EXPECT_EQ(m_log.entryCount(), 2);
    EXPECT_THROW(words.FindWords({W("закон"), W("налог")}, true), Value_Not_Found);
    EXPECT_EQ(m_log.entryCount(), 3);
}

TEST(ProcessWideIndexes, EachNameHasItsOwnHandle) {
    std::set<IndexSpace::IIndexInt*> seen;
    for (const std::string_view name : IndexSpace::kIndexFileNames) {
        IndexSpace::IIndexInt* handle = IndexSpace::IndexByName(name);
        ASSERT_NE(handle, nullptr) << name;
        seen.insert(handle);
    }
    EXPECT_EQ(seen.size(), 7u);
    EXPECT_EQ(IndexSpace::IndexByName("index"), &IndexSpace::TextWordIndex());
    EXPECT_EQ(IndexSpace::IndexByName("titidx"), &IndexSpace::TitleWordIndex());
    EXPECT_EQ(IndexSpace::IndexByName("clasidx"), &IndexSpace::ClassIndex());
    EXPECT_EQ(IndexSpace::IndexByName("typeidx"), &IndexSpace::TypeIndex());
    EXPECT_EQ(IndexSpace::IndexByName("numbidx"), &IndexSpace::NumberIndex());
    EXPECT_EQ(IndexSpace::IndexByName("date_beg"), &IndexSpace::DateIndex());
    EXPECT_EQ(IndexSpace::IndexByName("work_now"), &IndexSpace::InForceIndex());
    EXPECT_EQ(IndexSpace::IndexByName("Items"), nullptr);
}

TEST(IndexBuilderTest, SortsKeysAndListsAndDropsRepeats) {
    Norik::IndexBuilder builder;
    for (const auto& [key, doc] :
         std::vector<std::pair<IndexSpace::IndexKey, int>>{{7, 3}, {-2, 9}, {7, -1}, {7, 3}, {0, 0}, {-2, 9}, {7, 2}})
        builder.Add(key, static_cast<IndexSpace::DocNumber>(doc));
    IndexSpace::IndexImpl::IndexInt index;
    ASSERT_EQ(builder.Build(index), Norik::kOk);
    ASSERT_EQ(index.EntryCount(), 3u);
    EXPECT_EQ(index.KeyAt(0), -2);
    EXPECT_EQ(index.KeyAt(1), 0);
    EXPECT_EQ(index.Find(7), (DocNumberList{-1, 2, 3}));
    EXPECT_EQ(index.Find(-2), (DocNumberList{9}));
}

TEST(IndexBuilderTest, RefusesAListLongerThanAnEntryHolds) {
    NorikTest::ErrorLogCapture log;
    Norik::IndexBuilder builder;
    for (int doc = -32768; doc <= 0; ++doc) builder.Add(1, static_cast<IndexSpace::DocNumber>(doc));
    IndexSpace::IndexImpl::IndexInt index;
    EXPECT_LT(builder.Build(index), 0);
    EXPECT_EQ(index.EntryCount(), 0u);
    EXPECT_EQ(log.entryCount(), 1);
}

}  // namespace
