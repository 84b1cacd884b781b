#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "BuilderTestSupport.h"
#include "Helpers/Folders.h"
#include "TestSupport.h"
#include "builder/BaseBuilder.h"
#include "builder/BaseVerifier.h"
#include "builder/ContainerWriter.h"
#include "sample/SampleBase.h"

namespace fs = std::filesystem;

namespace {

class BaseVerifierTest : public ::testing::Test {
protected:
    void SetUp() override {
        Norik::Vocabulary vocabulary;
        std::string message;
        ASSERT_TRUE(Norik::LoadVocabulary(Norik::FindVocabularyFolder(), vocabulary, message)) << message;
        const Norik::SampleBase sample(vocabulary, {40, 11, false});
        m_base = m_dir.folder() + "base/";
        Norik::BuildReport report;
        std::vector<std::string> problems;
        ASSERT_TRUE(Norik::BuildBase(sample, m_base, {}, report, problems));
        Norik::ConfigureFolders({.baseOverride = m_base});
    }
    void TearDown() override { Norik::ConfigureFolders({}); }

    std::string Verify(bool& ok) {
        std::vector<std::string> problems;
        Norik::VerifySummary summary;
        ok = Norik::VerifyBase(problems, summary);
        std::string all;
        for (const std::string& p : problems) all += p + "\n";
        return all;
    }

    NorikTest::TempDir m_dir;
    NorikTest::ErrorLogCapture m_log;
    std::string m_base;
};

TEST_F(BaseVerifierTest, PassesOnABuiltBase) {
    bool ok = false;
    const std::string problems = Verify(ok);
    EXPECT_TRUE(ok) << problems;
    std::vector<std::string> list;
    Norik::VerifySummary summary;
    Norik::VerifyBase(list, summary);
    EXPECT_EQ(summary.documents, 40u);
    EXPECT_EQ(summary.entriesChecked, 40u);
}

struct Damage {
    const char* name;
    std::function<void(const std::string& base)> apply;
    const char* expected;
};

std::string Bytes(const std::string& path) { return NorikTest::ReadFile(path); }
void Put(const std::string& path, const std::string& bytes) { NorikTest::WriteFile(path, bytes); }

// An index file of the given entries, written by hand.
std::string IndexBytes(const std::vector<std::pair<std::int64_t, std::vector<std::int16_t>>>& entries) {
    std::string out;
    const auto put = [&out](std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    put(entries.size(), 4);
    for (const auto& [key, docs] : entries) {
        put(static_cast<std::uint64_t>(key), 8);
        put(docs.size(), 2);
        for (const std::int16_t doc : docs) put(static_cast<std::uint16_t>(doc), 2);
    }
    return out;
}

class BaseVerifierDamage : public BaseVerifierTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(BaseVerifierDamage, IsNamed) {
    GetParam().apply(m_base);
    bool ok = true;
    const std::string problems = Verify(ok);
    EXPECT_FALSE(ok);
    EXPECT_NE(problems.find(GetParam().expected), std::string::npos) << "expected: " << GetParam().expected << "\n"
                                                                     << problems;
}

const Damage kDamages[] = {
    {"TruncatedIndex",
     [](const std::string& b) {
         const std::string x = Bytes(b + "titidx.ttx");
         Put(b + "titidx.ttx", x.substr(0, x.size() - 3));
     },
     "titidx.ttx: ends inside"},
    {"TrailingBytes", [](const std::string& b) { Put(b + "work_now.ttx", Bytes(b + "work_now.ttx") + "xx"); },
     "work_now.ttx: 2 bytes after the last"},
    {"UnsortedKeys",
     [](const std::string& b) {
         Put(b + "date_beg.ttx", IndexBytes({{9, {1}}, {3, {2}}}));
     },
     "date_beg.ttx: entry 1: key 3 does not follow key 9"},
    {"UnsortedDocuments",
     [](const std::string& b) {
         Put(b + "index.ttx", IndexBytes({{5, {3, 2}}}));
     },
     "index.ttx: entry 0 (key 5): documents not in strictly ascending order"},
    {"UnknownDocument",
     [](const std::string& b) {
         Put(b + "index.ttx", IndexBytes({{5, {2, 400}}}));
     },
     "index.ttx: entry 0 (key 5) names document 400, which is not in Items.ttx"},
    {"EmptyList",
     [](const std::string& b) {
         Put(b + "index.ttx", IndexBytes({{5, {}}}));
     },
     "has 0 documents"},
    {"WrongButWellFormed",
     [](const std::string& b) {
         Put(b + "work_now.ttx", IndexBytes({{1, {1, 2}}}));
     },
     "work_now.ttx: well formed, but its keys or lists differ"},
    {"MissingIndex", [](const std::string& b) { fs::remove(b + "clasidx.ttx"); }, "clasidx.ttx: No such file"},
    {"ItemsOutOfOrder",
     [](const std::string& b) {
         std::string items = Bytes(b + "Items.ttx");
         const std::size_t second = items.find('\n') + 1;
         items.replace(second, 1, "9");  // document 1 becomes 9, before document 2
         Put(b + "Items.ttx", items);
     },
     "Items.ttx:3: document"},
    {"ClassCycle",
     [](const std::string& b) {
         Put(b + "class.ttx", NorikTest::ReplaceAll(Bytes(b + "class.ttx"), "\n1 0 0 0", "\n1 3 0 0"));
     },
     "class.ttx:2: node 1 is its own ancestor"},
    {"NoContainer", [](const std::string& b) { fs::remove(b + "Norik.sdb"); },
     "Norik.sdb: cannot be opened as a compound file"},
    {"TruncatedAndMissingEntries",
     [](const std::string& b) {
         // A container whose first entry is cut short and which lacks every other entry.
         Norik::ContainerWriter writer;
         std::string message;
         writer.Create(b + "Norik.sdb", message);
         std::string text(20000, 'a');
         text.replace(0, 5, "{\\rtf");
         const std::string entry = Norik::CompressEntry(text);
         writer.AddEntry("000001", entry.substr(0, entry.size() / 2), message);
         writer.Close(message);
     },
     "entry 000001.t (document 1): decodes to"},
    {"StatedLengthCutInHalf",
     [](const std::string& b) {
         Norik::ContainerWriter writer;
         std::string message;
         writer.Create(b + "Norik.sdb", message);
         std::string text(20000, 'a');
         text.replace(0, 5, "{\\rtf");
         std::string entry = Norik::CompressEntry(text);
         entry[5 + 1] = static_cast<char>(static_cast<unsigned char>(entry[5 + 1]) / 2);  // 20000 becomes 10016
         writer.AddEntry("000001", entry, message);
         writer.Close(message);
     },
     "entry 000001.t (document 1): the compressed data goes on past its stated length of 10016 bytes"},
    {"MissingEntry",
     [](const std::string& b) {
         Norik::ContainerWriter writer;
         std::string message;
         writer.Create(b + "Norik.sdb", message);
         writer.AddEntry("000001", Norik::CompressEntry("{\\rtf1 x}"), message);
         writer.Close(message);
     },
     "entry 000002.t (document 2): missing"},
};

INSTANTIATE_TEST_SUITE_P(EachCheck, BaseVerifierDamage, ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

TEST(CheckIndexFile, RefusesAFileShorterThanItsCount) {
    std::vector<std::string> problems;
    EXPECT_EQ(Norik::CheckIndexFile("x", "ab", {1}, problems), 0u);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "x: shorter than its 4-byte entry count");
    problems.clear();
    // A count far beyond the data stops at the end of the data.
    EXPECT_EQ(Norik::CheckIndexFile("x", std::string("\xff\xff\xff\x7f", 4), {1}, problems), 0u);
    EXPECT_NE(problems.at(0).find("ends inside entry 0"), std::string::npos);
}

}  // namespace
