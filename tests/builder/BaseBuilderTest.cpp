#include <gtest/gtest.h>
#include <lzma.h>

#include <filesystem>
#include <fstream>

#include "BuilderTestSupport.h"
#include "Helpers/Folders.h"
#include "Helpers/SUn7zFile.h"
#include "TestSupport.h"
#include "builder/BaseBuilder.h"
#include "builder/ContainerWriter.h"
#include "index/IndexSpace.h"

namespace fs = std::filesystem;
using IndexSpace::IndexImpl::IndexInt;
using NorikTest::W;

namespace {

IndexInt LoadIndex(const std::string& path) {
    IndexInt index;
    std::ifstream stream(path, std::ios::binary);
    EXPECT_TRUE(stream.good()) << path;
    index.LoadStream(stream);
    return index;
}

IndexSpace::DocNumberList ListOf(IndexInt& index, IndexSpace::IndexKey key) {
    try {
        return index.Find(key);
    } catch (const IndexSpace::Value_Not_Found&) {
        return {};
    }
}

std::string ReadEntry(const std::string& name) {
    Norik::SUn7zFile reader;
    if (Norik::Failed(reader.Open(name, Norik::kModeRead, true))) return "<missing>";
    std::string text;
    char buffer[4096];
    for (int got; (got = reader.Read(buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(got));
    return text;
}

class BaseBuilderTest : public ::testing::Test {
protected:
    void SetUp() override { m_out = m_dir.file("base"); }
    void TearDown() override { Norik::ConfigureFolders({}); }

    bool Build(const Norik::BaseSource& source) {
        m_problems.clear();
        return Norik::BuildBase(source, m_out, Norik::BuildOptions{2}, m_report, m_problems);
    }
    std::string Problems() const {
        std::string all;
        for (const std::string& p : m_problems) all += p + "\n";
        return all;
    }
    // Nothing but the output folder (if any) beside it: no temporary folder is left.
    void ExpectNothingElseBeside() const {
        for (const auto& entry : fs::directory_iterator(m_dir.path()))
            EXPECT_EQ(entry.path().filename(), "base") << "left behind: " << entry.path();
    }

    NorikTest::TempDir m_dir;
    NorikTest::ErrorLogCapture m_log;
    std::string m_out;
    Norik::BuildReport m_report;
    std::vector<std::string> m_problems;
};

TEST_F(BaseBuilderTest, WritesTablesIndexesAndContainer) {
    const NorikTest::MemorySource source = NorikTest::SmallSource();
    ASSERT_TRUE(Build(source)) << Problems();
    EXPECT_EQ(m_report.documents, 3u);
    EXPECT_EQ(m_report.rows, 4u);
    for (const char* name : {"class", "typelist", "Items", "descript", "index", "titidx", "clasidx", "typeidx",
                             "numbidx", "date_beg", "work_now"})
        EXPECT_TRUE(fs::is_regular_file(m_out + "/" + name + ".ttx")) << name;
    EXPECT_EQ(NorikTest::ReadFile(m_out + "/Items.ttx"), source.tables.at("Items.ttx"));
    ExpectNothingElseBeside();

    const int date = (2004 - 1900) * 372 + 6 * 31;
    IndexInt classes = LoadIndex(m_out + "/clasidx.ttx");
    EXPECT_EQ(ListOf(classes, 2), (IndexSpace::DocNumberList{1, 2}));
    EXPECT_EQ(ListOf(classes, 3), (IndexSpace::DocNumberList{2, 5}));
    IndexInt dates = LoadIndex(m_out + "/date_beg.ttx");
    EXPECT_EQ(ListOf(dates, date), (IndexSpace::DocNumberList{1, 5}));
    IndexInt status = LoadIndex(m_out + "/work_now.ttx");
    EXPECT_EQ(ListOf(status, 0), (IndexSpace::DocNumberList{2}));
    EXPECT_EQ(ListOf(status, 1), (IndexSpace::DocNumberList{1, 5}));
    IndexInt types = LoadIndex(m_out + "/typeidx.ttx");
    // The type is stored with its leading blank; its key is that of the type without it.
    EXPECT_EQ(ListOf(types, IndexSpace::StrHash(W("Федеральный закон"))), (IndexSpace::DocNumberList{1, 5}));
    IndexInt numbers = LoadIndex(m_out + "/numbidx.ttx");
    EXPECT_EQ(ListOf(numbers, IndexSpace::StrHash("03-05/12")), (IndexSpace::DocNumberList{2}));
    IndexInt titles = LoadIndex(m_out + "/titidx.ttx");
    // Word forms share their key: налоге and налога.
    EXPECT_EQ(ListOf(titles, IndexSpace::WordHash(W("налоге"))), (IndexSpace::DocNumberList{1, 2}));
    EXPECT_EQ(ListOf(titles, IndexSpace::WordHash(W("стоимость"))), (IndexSpace::DocNumberList{1}));
    EXPECT_EQ(ListOf(titles, IndexSpace::WordHash(W("земельного"))), (IndexSpace::DocNumberList{2}));
    IndexInt words = LoadIndex(m_out + "/index.ttx");
    EXPECT_EQ(ListOf(words, IndexSpace::WordHash(W("налог"))), (IndexSpace::DocNumberList{1, 2}));
    EXPECT_EQ(ListOf(words, IndexSpace::WordHash(W("участка"))), (IndexSpace::DocNumberList{2}));
    EXPECT_EQ(ListOf(words, IndexSpace::WordHash(W("органами"))), (IndexSpace::DocNumberList{5}));
    // Short words and RTF control words give no key.
    for (std::size_t i = 0; i < words.EntryCount(); ++i) EXPECT_NE(words.KeyAt(i), 0);
    EXPECT_TRUE(ListOf(words, IndexSpace::WordHash("fcharset204")).empty());

    Norik::ConfigureFolders({.baseOverride = m_out});
    EXPECT_EQ(ReadEntry("000001"), source.texts.at("000001.rtf"));
    EXPECT_EQ(ReadEntry("000005"), source.texts.at("000005.rtf"));
}

TEST_F(BaseBuilderTest, MissingExtraOrNonRtfTextsBuildNothing) {
    struct Case {
        std::function<void(NorikTest::MemorySource&)> change;
        const char* expected;
    };
    const Case cases[] = {
        {[](NorikTest::MemorySource& s) { s.texts.erase("000002.rtf"); },
         "texts/000002.rtf: missing (the text of document 2, Items.ttx:3)"},
        {[](NorikTest::MemorySource& s) { s.texts["000009.rtf"] = "{\\rtf1 x}"; },
         "texts/000009.rtf: no document of Items.ttx"},
        {[](NorikTest::MemorySource& s) { s.texts["000005.rtf"] = "plain words"; },
         "texts/000005.rtf: not an RTF text"},
        {[](NorikTest::MemorySource& s) { s.tables["Items.ttx"][0] = '7'; },
         "Items.ttx: the first line announces 7 rows"},
    };
    for (const Case& c : cases) {
        NorikTest::MemorySource source = NorikTest::SmallSource();
        c.change(source);
        EXPECT_FALSE(Build(source));
        EXPECT_NE(Problems().find(c.expected), std::string::npos) << Problems();
        EXPECT_FALSE(fs::exists(m_out));
        ExpectNothingElseBeside();
    }
}

TEST_F(BaseBuilderTest, AFailedRebuildLeavesTheOldBaseAndASuccessfulOneReplacesIt) {
    NorikTest::MemorySource source = NorikTest::SmallSource();
    ASSERT_TRUE(Build(source)) << Problems();
    const std::string before = NorikTest::ReadFile(m_out + "/Items.ttx");

    NorikTest::MemorySource broken = source;
    broken.texts["000005.rtf"] = "not rtf";
    EXPECT_FALSE(Build(broken));
    EXPECT_EQ(NorikTest::ReadFile(m_out + "/Items.ttx"), before);
    ExpectNothingElseBeside();

    source.tables["Items.ttx"] = NorikTest::ReplaceAll(source.tables["Items.ttx"], "117-", "118-");
    ASSERT_TRUE(Build(source)) << Problems();
    EXPECT_NE(NorikTest::ReadFile(m_out + "/Items.ttx"), before);
    ExpectNothingElseBeside();
}

TEST_F(BaseBuilderTest, RefusesToReplaceAFolderThatIsNoBase) {
    fs::create_directories(m_out);
    NorikTest::WriteFile(m_out + "/notes.txt", "mine");
    EXPECT_FALSE(Build(NorikTest::SmallSource()));
    EXPECT_NE(Problems().find("holds notes.txt, which is not a file of a base"), std::string::npos) << Problems();
    EXPECT_EQ(NorikTest::ReadFile(m_out + "/notes.txt"), "mine");
}

TEST(CompressEntry, WritesTheLzmaAloneHeaderWithTheRealLength) {
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "word " + std::to_string(i % 97) + " ";
    const std::string entry = Norik::CompressEntry(text);
    ASSERT_GT(entry.size(), 13u);
    EXPECT_EQ(static_cast<unsigned char>(entry[0]), 93);  // lc 3, lp 0, pb 2
    std::uint64_t length = 0;
    for (int i = 7; i >= 0; --i) length = (length << 8) | static_cast<unsigned char>(entry[5 + i]);
    EXPECT_EQ(length, text.size());
    std::uint32_t dictionary = 0;
    for (int i = 3; i >= 0; --i) dictionary = (dictionary << 8) | static_cast<unsigned char>(entry[1 + i]);
    EXPECT_GE(dictionary, text.size());  // cut to the text, but never below it
    EXPECT_LT(dictionary, 2 * text.size() + 4096);

    // A standard .lzma decoder reads it back.
    lzma_stream stream = LZMA_STREAM_INIT;
    ASSERT_EQ(lzma_alone_decoder(&stream, UINT64_MAX), LZMA_OK);
    std::string decoded(text.size() + 16, '\0');
    stream.next_in = reinterpret_cast<const std::uint8_t*>(entry.data());
    stream.avail_in = entry.size();
    stream.next_out = reinterpret_cast<std::uint8_t*>(decoded.data());
    stream.avail_out = decoded.size();
    const lzma_ret ret = lzma_code(&stream, LZMA_FINISH);
    EXPECT_TRUE(ret == LZMA_STREAM_END || ret == LZMA_OK) << ret;
    decoded.resize(stream.total_out);
    lzma_end(&stream);
    EXPECT_EQ(decoded, text);

    const std::string empty = Norik::CompressEntry("");
    EXPECT_EQ(empty.substr(5, 8), std::string(8, '\0'));
}

}  // namespace
