// The in-memory index: file format, lookups, and loading of damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <sstream>

#include "Helpers/SFile.h"
#include "TestSupport.h"
#include "index/DocBitmap.h"
#include "index/IndexSpace.h"

namespace {

using IndexSpace::DocNumber;
using IndexSpace::DocNumberList;
using IndexSpace::IndexKey;
using IndexSpace::Value_Not_Found;
using IndexSpace::IndexImpl::IndexInt;

struct Entry {
    IndexKey key;
    std::vector<DocNumber> docs;
};

void PutLe(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
}

// Index file bytes written by hand; declared overrides the entry count in the header.
std::string FileBytes(const std::vector<Entry>& entries, std::int64_t declared = -1) {
    std::string out;
    PutLe(out, declared < 0 ? entries.size() : static_cast<std::uint64_t>(declared), 4);
    for (const Entry& entry : entries) {
        PutLe(out, static_cast<std::uint64_t>(entry.key), 8);
        PutLe(out, entry.docs.size(), 2);
        for (const DocNumber doc : entry.docs) PutLe(out, static_cast<std::uint16_t>(doc), 2);
    }
    return out;
}

// Loads the same bytes through either reader: a plain file stream or a standard stream.
enum class Reader { kSFile, kStdStream };

class IndexIntLoad : public ::testing::TestWithParam<Reader> {
protected:
    void LoadBytes(const std::string& bytes) {
        if (GetParam() == Reader::kSFile) {
            const std::string path = m_dir.file("index.ttx");
            NorikTest::WriteFile(path, bytes);
            Norik::SFileStream stream;
            ASSERT_EQ(stream.Open(path, Norik::kModeRead, true), Norik::kOk);
            m_index.Load(stream);
        } else {
            std::istringstream stream(bytes, std::ios::binary);
            m_index.LoadStream(stream);
        }
    }

    NorikTest::ErrorLogCapture m_log;
    NorikTest::TempDir m_dir;
    IndexInt m_index;
};

INSTANTIATE_TEST_SUITE_P(Readers, IndexIntLoad, ::testing::Values(Reader::kSFile, Reader::kStdStream));

TEST_P(IndexIntLoad, EmptyBodyHasNoKeys) {
    LoadBytes(FileBytes({}));
    EXPECT_EQ(m_index.Count(), 0);
    EXPECT_EQ(m_index.TotalRefs(), 0u);
    EXPECT_THROW(m_index.Find(0), Value_Not_Found);
    EXPECT_THROW(m_index.FindRange(INT64_MIN, INT64_MAX), Value_Not_Found);
    EXPECT_EQ(m_log.entryCount(), 0);
}

TEST_P(IndexIntLoad, RangeIsTheUnionOfItsLists) {
    LoadBytes(FileBytes({{10, {1, 5}}, {20, {2, 5, 9}}, {30, {9}}}));
    EXPECT_EQ(m_index.FindRange(10, 30), (DocNumberList{1, 2, 5, 9}));
    EXPECT_EQ(m_index.FindRange(11, 30), (DocNumberList{2, 5, 9}));
    EXPECT_EQ(m_index.FindRange(INT64_MIN, 10), (DocNumberList{1, 5}));
    EXPECT_EQ(m_index.FindRange(20, 20), (DocNumberList{2, 5, 9}));
    EXPECT_THROW(m_index.FindRange(21, 29), Value_Not_Found);
    EXPECT_THROW(m_index.FindRange(30, 10), Value_Not_Found);  // low > high is empty
    EXPECT_EQ(m_index.Find(30), (DocNumberList{9}));
    EXPECT_THROW(m_index.Find(25), Value_Not_Found);
    EXPECT_EQ(m_log.entryCount(), 0);
}

TEST_P(IndexIntLoad, KeysWithTheTopBitSetComeFirst) {
    LoadBytes(FileBytes({{-5, {7}}, {3, {8}}}));
    EXPECT_EQ(m_index.FindRange(-10, 0), (DocNumberList{7}));
    EXPECT_EQ(m_index.FindRange(0, 10), (DocNumberList{8}));
    EXPECT_EQ(m_index.FindRange(INT64_MIN, INT64_MAX), (DocNumberList{7, 8}));
}

TEST_P(IndexIntLoad, DocumentNumbersOrderAsSigned) {
    LoadBytes(FileBytes({{1, {-32768, -1, 0, 32767}}, {2, {-2, 5}}, {3, {-32768, 100}}}));
    EXPECT_EQ(m_index.FindRange(1, 3), (DocNumberList{-32768, -2, -1, 0, 5, 100, 32767}));
    EXPECT_EQ(m_index.FindRange(1, 2), (DocNumberList{-32768, -2, -1, 0, 5, 32767}));
}

TEST_P(IndexIntLoad, EntryWithoutDocumentsLoadsEmpty) {
    LoadBytes(FileBytes({{1, {}}, {2, {4}}}));
    EXPECT_EQ(m_index.Count(), 2);
    EXPECT_EQ(m_index.Find(1), DocNumberList{});
    EXPECT_EQ(m_index.FindRange(1, 2), DocNumberList{4});
}

TEST_P(IndexIntLoad, TotalRefsSurvivesClear) {
    LoadBytes(FileBytes({{1, {1, 2, 3}}, {2, {1, 2, 3, 4}}, {3, {1, 2, 3, 4, 5}}}));
    EXPECT_EQ(m_index.TotalRefs(), 12u);
    m_index.Clear();
    EXPECT_EQ(m_index.Count(), 0);
    EXPECT_EQ(m_index.TotalRefs(), 12u);
    EXPECT_THROW(m_index.Find(1), Value_Not_Found);
}

TEST_P(IndexIntLoad, LoadReplacesEarlierEntries) {
    LoadBytes(FileBytes({{1, {1}}, {2, {2}}}));
    LoadBytes(FileBytes({{3, {3}}}));
    EXPECT_EQ(m_index.Count(), 1);
    EXPECT_THROW(m_index.Find(1), Value_Not_Found);
    EXPECT_EQ(m_index.TotalRefs(), 1u);
}

TEST_P(IndexIntLoad, SaveWritesTheBytesItRead) {
    const std::string bytes = FileBytes({{-7, {-3, 2}}, {0, {}}, {INT64_MAX, {1, 2, 32767}}});
    LoadBytes(bytes);
    std::ostringstream out(std::ios::binary);
    m_index.Save(out);
    EXPECT_EQ(out.str(), bytes);
}

// Damaged files: the loader keeps the whole entries before the damage, reports once, and never
// reserves more than the data could fill.
TEST_P(IndexIntLoad, TruncatedListKeepsTheEntriesBefore) {
    std::string bytes = FileBytes({{1, {1, 2}}, {2, {3, 4, 5}}});
    bytes.resize(bytes.size() - 3);
    LoadBytes(bytes);
    EXPECT_EQ(m_index.Count(), 1);
    EXPECT_EQ(m_index.Find(1), (DocNumberList{1, 2}));
    EXPECT_THROW(m_index.Find(2), Value_Not_Found);
    EXPECT_EQ(m_index.TotalRefs(), 2u);
    EXPECT_EQ(m_log.entryCount(), 1);
}

TEST_P(IndexIntLoad, FileShorterThanItsCount) {
    for (const std::string& bytes :
         {std::string(), std::string("\x01\x00", 2), FileBytes({}, 3), FileBytes({{1, {1}}}).substr(0, 9)}) {
        LoadBytes(bytes);
        EXPECT_EQ(m_index.Count(), 0);
        EXPECT_THROW(m_index.FindRange(INT64_MIN, INT64_MAX), Value_Not_Found);
    }
    EXPECT_EQ(m_log.entryCount(), 4);
}

TEST_P(IndexIntLoad, HugeCountReservesOnlyWhatTheDataHolds) {
    LoadBytes(FileBytes({{1, {1}}, {2, {2}}}, 0xFFFFFFFF));
    EXPECT_EQ(m_index.Count(), 2);
    EXPECT_EQ(m_index.FindRange(1, 2), (DocNumberList{1, 2}));
    EXPECT_LT(m_index.MemoryBytes(), 1u << 20);
    EXPECT_EQ(m_log.entryCount(), 1);
}

TEST_P(IndexIntLoad, ANegativeListLengthIsRefusedWhateverFollows) {
    // -1 read as unsigned would be 65,535 documents, and the entries after it hold that many bytes.
    std::vector<DocNumber> many(70000 / 2);
    for (std::size_t i = 0; i < many.size(); ++i) many[i] = static_cast<DocNumber>(i);
    std::string bytes = FileBytes({{1, {1}}, {2, {2}}, {3, many}, {4, many}, {5, many}, {6, many}});
    bytes[4 + 12 + 8] = '\xFF';  // the second entry claims -1 documents
    bytes[4 + 12 + 9] = '\xFF';
    LoadBytes(bytes);
    EXPECT_EQ(m_index.Count(), 1);
    EXPECT_EQ(m_index.Find(1), DocNumberList{1});
    EXPECT_NE(m_index.damage().find("entry 2 of 6 has a list length of -1"), std::string::npos) << m_index.damage();
    EXPECT_EQ(m_log.entryCount(), 1);
}

TEST_P(IndexIntLoad, ACountBelowTheEntriesIsDamageNamedWithItsFile) {
    LoadBytes(FileBytes({{1, {1}}, {2, {2}}}, 1));
    EXPECT_EQ(m_index.Count(), 1);
    EXPECT_NE(m_index.damage().find("follow its 1 entries"), std::string::npos) << m_index.damage();
    EXPECT_EQ(m_log.entryCount(), 1);
    if (GetParam() == Reader::kSFile) {
        EXPECT_NE(m_log.text().find(m_dir.file("index.ttx")), std::string::npos);
    }
    LoadBytes(FileBytes({{1, {1}}, {2, {2}}}));
    EXPECT_EQ(m_index.damage(), "");
    EXPECT_EQ(m_log.entryCount(), 1);
}

TEST_P(IndexIntLoad, SeveralKindsOfDamageAreReportedOnce) {
    std::string bytes = FileBytes({{3, {2, 1}}, {1, {1}}, {2, {2, 3}}});
    bytes.resize(bytes.size() - 1);  // unordered list, keys out of order and a truncated last entry
    LoadBytes(bytes);
    EXPECT_EQ(m_index.Count(), 2);
    // The search for key 1 lands on key 3's entry; its list is not key 1's.
    EXPECT_THROW(m_index.Find(1), Value_Not_Found);
    EXPECT_EQ(m_log.entryCount(), 1);
}

TEST_P(IndexIntLoad, KeysOutOfOrderNeverCrashALookup) {
    LoadBytes(FileBytes({{50, {1}}, {10, {2}}, {40, {3}}, {-3, {4}}, {20, {5}}, {20, {6}}}));
    EXPECT_EQ(m_index.Count(), 6);
    for (IndexKey low = -60; low <= 60; low += 7) {
        for (IndexKey high = -60; high <= 60; high += 11) {
            try {
                const DocNumberList found = m_index.FindRange(low, high);
                EXPECT_TRUE(std::is_sorted(found.begin(), found.end()));
            } catch (const Value_Not_Found&) {
            }
        }
    }
    EXPECT_EQ(m_log.entryCount(), 1);
}

TEST_P(IndexIntLoad, UnorderedListIsPutInOrder) {
    // Unordered, or ascending with a repeat: either way the list is repaired and the file reported.
    const struct {
        std::vector<DocNumber> stored;
        DocNumberList repaired;
    } lists[] = {{{9, 2, 2, -4}, {-4, 2, 9}}, {{2, 2, 9}, {2, 9}}};
    for (const auto& list : lists) {
        LoadBytes(FileBytes({{1, {3}}, {2, list.stored}, {3, {3}}}));
        EXPECT_EQ(m_index.Find(2), list.repaired);
        EXPECT_EQ(m_index.Find(3), DocNumberList{3});
        EXPECT_EQ(m_index.damage(), "the list of entry 2 is out of order");
    }
    EXPECT_EQ(m_log.entryCount(), 2);
}

TEST_P(IndexIntLoad, LoadedIndexStaysWithinOneAndAHalfTimesItsFile) {
    // Many one-document keys are the worst case for per-key overhead.
    std::vector<Entry> entries;
    std::mt19937 random(7);
    for (int i = 0; i < 50000; ++i) {
        std::set<DocNumber> docs;
        const int length = i % 10 == 0 ? 40 : 1;
        while (static_cast<int>(docs.size()) < length) docs.insert(static_cast<DocNumber>(random()));
        entries.push_back({static_cast<IndexKey>(i) * 1000 - 7000000, {docs.begin(), docs.end()}});
    }
    const std::string bytes = FileBytes(entries);
    LoadBytes(bytes);
    ASSERT_EQ(m_index.Count(), 50000);
    EXPECT_LE(m_index.MemoryBytes(), bytes.size() * 3 / 2);
}

// A range over many keys agrees with a plain set union, for any mix of signed numbers.
TEST(IndexIntRange, ManyListsAgreeWithASetUnion) {
    std::mt19937 random(42);
    IndexInt index;
    std::vector<std::vector<DocNumber>> lists;
    for (int key = 0; key < 400; ++key) {
        std::set<DocNumber> docs;
        const int length = 1 + static_cast<int>(random() % 60);
        while (static_cast<int>(docs.size()) < length) docs.insert(static_cast<DocNumber>(random()));
        lists.emplace_back(docs.begin(), docs.end());
        ASSERT_TRUE(index.Append(key * 3 - 600, lists.back()));
    }
    for (int trial = 0; trial < 200; ++trial) {
        int a = static_cast<int>(random() % 400), b = static_cast<int>(random() % 400);
        if (a > b) std::swap(a, b);
        std::set<DocNumber> expected;
        for (int k = a; k <= b; ++k) expected.insert(lists[k].begin(), lists[k].end());
        EXPECT_EQ(index.FindRange(a * 3 - 600, b * 3 - 600), DocNumberList(expected.begin(), expected.end()));
        Norik::DocBitmap bits;
        ASSERT_TRUE(index.CollectRange(a * 3 - 600 - 1, b * 3 - 600 + 1, bits));
        EXPECT_EQ(bits.ToList(), DocNumberList(expected.begin(), expected.end()));
    }
}

TEST(IndexIntAppend, RefusesWhatTheFileCannotHold) {
    IndexInt index;
    EXPECT_TRUE(index.Append(5, std::vector<DocNumber>{1, 2}));
    EXPECT_FALSE(index.Append(5, std::vector<DocNumber>{3}));  // key not above the last
    EXPECT_FALSE(index.Append(4, std::vector<DocNumber>{3}));
    EXPECT_FALSE(index.Append(6, std::vector<DocNumber>{}));      // no document
    EXPECT_FALSE(index.Append(6, std::vector<DocNumber>{3, 3}));  // repeat
    EXPECT_FALSE(index.Append(6, std::vector<DocNumber>{4, 3}));  // descending
    EXPECT_FALSE(index.Append(6, std::vector<DocNumber>(IndexInt::kMaxListLength + 1)));
    EXPECT_TRUE(index.Append(6, std::vector<DocNumber>{-1, 3}));
    EXPECT_EQ(index.Count(), 2);
    EXPECT_EQ(index.TotalRefs(), 4u);
}

TEST(IndexIntWriteFile, RoundTripsAndReportsAnUnwritablePath) {
    NorikTest::TempDir dir;
    NorikTest::ErrorLogCapture log;
    IndexInt index;
    ASSERT_TRUE(index.Append(-1, std::vector<DocNumber>{-5, 5}));
    ASSERT_TRUE(index.Append(1, std::vector<DocNumber>{7}));
    ASSERT_EQ(index.WriteFile(dir.file("a.ttx")), Norik::kOk);
    EXPECT_EQ(NorikTest::ReadFile(dir.file("a.ttx")), FileBytes({{-1, {-5, 5}}, {1, {7}}}));
    EXPECT_LT(index.WriteFile(dir.file("missing/a.ttx")), 0);
    EXPECT_EQ(log.entryCount(), 1);
    // A full disk takes the buffered bytes and refuses them only when the file is closed.
    EXPECT_EQ(index.WriteFile("/dev/full"), Norik::SystemErrorCode(ENOSPC));
    EXPECT_EQ(log.entryCount(), 2);
}

}  // namespace
