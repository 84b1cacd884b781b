// SUn7zFile: entries compressed by xz --format=lzma, decoded byte for byte; header checks,
// refusals, truncated and damaged data.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "CompoundFileTestWriter.h"
#include "Helpers/BaseLimits.h"
#include "Helpers/Cp1251.h"
#include "Helpers/Folders.h"
#include "Helpers/SUn7zFile.h"
#include "TestSupport.h"

namespace {

using Norik::SUn7zFile;

// Text that compresses like a document: words from a small vocabulary with numbers.
std::string SampleText(size_t size, unsigned seed) {
    static const char* words[] = {"{\\rtf1 ", "закон ", "статья ", "\\par ", "пункт ",
                                  "Federal ", "law ",   "1998 ",   "\\b "};
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size) {
        text += Norik::Utf8ToCp1251(words[random() % 9]);
        if (random() % 7 == 0) text += std::to_string(random() % 100000);
    }
    text.resize(size);
    return text;
}

class SUn7zFileTest : public ::testing::Test {
protected:
    void SetUp() override { Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = m_dir.folder()}); }
    void TearDown() override { Norik::ConfigureFolders(Norik::FolderSettings{}); }
    void WriteEntries(const std::vector<std::pair<std::string, std::string>>& entries) {
        std::vector<NorikTest::CfbStream> streams;
        for (const auto& [name, bytes] : entries)
            streams.push_back({std::u16string(name.begin(), name.end()) + u".t", bytes});
        NorikTest::WriteFile(m_dir.file("Norik.sdb"), NorikTest::BuildCompoundFile(streams));
    }
    // Reads the entry to the first 0 in blocks of the given size.
    static std::string ReadAll(SUn7zFile& file, int block) {
        std::string out;
        std::string buffer(static_cast<size_t>(block), '\0');
        for (int guard = 0; guard < 100000000; ++guard) {
            const int got = file.Read(buffer.data(), block);
            if (got <= 0) break;
            out.append(buffer.data(), static_cast<size_t>(got));
        }
        return out;
    }
    NorikTest::TempDir m_dir;
    NorikTest::TempDir m_work;
    NorikTest::ErrorLogCapture m_log;
};

struct XzCase {
    const char* options;
    int properties;  // expected properties byte
};

class SUn7zFileXz : public SUn7zFileTest, public ::testing::WithParamInterface<XzCase> {};

TEST_P(SUn7zFileXz, DecodesTheExternalEncodersOutputInEveryBlockSize) {
    const std::string text = SampleText(300000, 17);
    const std::string entry = NorikTest::XzEntry(text, GetParam().options, m_work);
    ASSERT_EQ(static_cast<std::uint8_t>(entry[0]), GetParam().properties);
    WriteEntries({{"000042", entry}});
    for (int block : {1, 7, 4096, 65536}) {
        SUn7zFile file;
        ASSERT_EQ(file.Open("000042", 1, true), 0);
        EXPECT_EQ(file.length(), text.size());
        EXPECT_TRUE(ReadAll(file, block) == text) << block;
        EXPECT_EQ(file.delivered(), text.size());
    }
    EXPECT_EQ(m_log.entryCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Presets, SUn7zFileXz,
                         ::testing::Values(XzCase{"-0", 93}, XzCase{"-6", 93}, XzCase{"-9e", 93},
                                           XzCase{"--lzma1=preset=6,lc=3,lp=0,pb=2,dict=64KiB", 93},
                                           XzCase{"--lzma1=preset=1,lc=0,lp=2,pb=0", 18},
                                           XzCase{"--lzma1=preset=3,lc=4,lp=0,pb=4,dict=4KiB", 184}));

TEST_F(SUn7zFileTest, HeaderEdgeCases) {
    const std::string good = NorikTest::XzEntry(SampleText(5000, 3), "-6", m_work);
    std::string props224 = good, props225 = good, zeroLength = good, unknown = good, huge = good, high = good,
                zeroDictionary = good, tooLarge = good, atBound = good;
    // A text of more than 64 MiB is no real document's.
    NorikTest::Store32(tooLarge, 5, (std::uint32_t{64} << 20) + 1);
    NorikTest::Store32(atBound, 5, Norik::kMaxDocumentTextBytes);
    props224[0] = static_cast<char>(224);
    props225[0] = static_cast<char>(225);
    NorikTest::Store32(zeroLength, 5, 0);
    NorikTest::Store32(unknown, 5, 0xFFFFFFFFu);
    NorikTest::Store32(unknown, 9, 0xFFFFFFFFu);
    NorikTest::Store32(huge, 5, 0x80000000u);
    NorikTest::Store32(high, 9, 1);
    NorikTest::Store32(zeroDictionary, 1, 0);
    WriteEntries({{"short", "\x5D\0\0"},
                  {"seven", good.substr(0, 7)},
                  {"p224", props224},
                  {"p225", props225},
                  {"zero", zeroLength},
                  {"unknown", unknown},
                  {"huge", huge},
                  {"high", high},
                  {"nodict", zeroDictionary},
                  {"toolarge", tooLarge},
                  {"atbound", atBound}});
    char buffer[100];

    SUn7zFile shortHeader;
    EXPECT_EQ(shortHeader.Open("short", 1, true), Norik::kFail);
    EXPECT_EQ(m_log.entryCount(), 1);
    EXPECT_NE(m_log.text().find("SUn7zFile::Open"), std::string::npos);
    EXPECT_EQ(shortHeader.Read(buffer, 100), 0);

    SUn7zFile seven;
    try {
        seven.Open("seven", 1, true);
        FAIL() << "a header cut after 7 bytes must throw";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), Norik::Utf8ToCp1251("ошибка при чтении файла"));
    }
    EXPECT_EQ(seven.Read(buffer, 100), 0);

    SUn7zFile p225;
    try {
        p225.Open("p225", 1, true);
        FAIL() << "properties 225 must throw";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "property error");
    }
    EXPECT_EQ(p225.Read(buffer, 100), 0);

    // 224 passes the header check (lc 8, lp 4, pb 4) but no decoder takes lc + lp above 4.
    const int before = m_log.entryCount();
    for (const char* refused : {"p224", "unknown", "huge", "high"}) {
        SUn7zFile file;
        EXPECT_EQ(file.Open(refused, 1, true), Norik::kStgDocfileCorrupt) << refused;
        EXPECT_EQ(file.Read(buffer, 100), 0) << refused;
        // The log and the reader name the entry, not only the container.
        EXPECT_EQ(file.damage().rfind("entry " + std::string(refused) + ".t ", 0), 0u) << file.damage();
        EXPECT_NE(m_log.text().find(file.damage()), std::string::npos) << m_log.text();
    }
    EXPECT_EQ(m_log.entryCount(), before + 4);

    // A text past the bound of a document is refused before anything is decoded or reserved.
    SUn7zFile tooLargeFile;
    EXPECT_EQ(tooLargeFile.Open("toolarge", 1, true), Norik::kDataTooLarge);
    EXPECT_EQ(tooLargeFile.Read(buffer, 100), 0);
    EXPECT_NE(m_log.text().find("entry toolarge.t states a text of"), std::string::npos) << m_log.text();
    SUn7zFile atBoundFile;
    EXPECT_EQ(atBoundFile.Open("atbound", 1, true), 0);

    SUn7zFile zero;
    EXPECT_EQ(zero.Open("zero", 1, true), 0);
    EXPECT_EQ(zero.Read(buffer, 100), 0);

    SUn7zFile noDictionary;
    EXPECT_EQ(noDictionary.Open("nodict", 1, true), 0);
    EXPECT_TRUE(ReadAll(noDictionary, 333) == SampleText(5000, 3));
}

TEST_F(SUn7zFileTest, MissingEntryFailsWithoutReportAndReadsNothing) {
    WriteEntries({{"000001", NorikTest::XzEntry("x", "-6", m_work)}});
    SUn7zFile file;
    EXPECT_EQ(file.Open("000002", 1, true), Norik::kStgFileNotFound);
    char buffer[10];
    EXPECT_EQ(file.Read(buffer, 10), 0);
    EXPECT_EQ(m_log.entryCount(), 0);
}

TEST_F(SUn7zFileTest, RequestLargerThanWhatRemains) {
    const std::string text = SampleText(1000, 5);
    WriteEntries({{"a", NorikTest::XzEntry(text, "-6", m_work)}});
    SUn7zFile file;
    ASSERT_EQ(file.Open("a", 1, true), 0);
    std::string buffer(4000, '\0');
    EXPECT_EQ(file.Read(buffer.data(), 600), 600);
    EXPECT_EQ(file.Read(buffer.data() + 600, 4000 - 600), 400);
    EXPECT_EQ(buffer.substr(0, 1000), text);
    EXPECT_EQ(file.Read(buffer.data(), 4000), 0);
    EXPECT_EQ(file.Read(buffer.data(), 0), 0);
    EXPECT_EQ(file.Read(buffer.data(), -5), 0);
}

TEST_F(SUn7zFileTest, CutShortDeliversAPrefixThenZero) {
    const std::string text = SampleText(400000, 9);
    const std::string entry = NorikTest::XzEntry(text, "-6", m_work);
    WriteEntries({{"cut", entry.substr(0, entry.size() / 2)}, {"headeronly", entry.substr(0, 13)}});
    SUn7zFile file;
    ASSERT_EQ(file.Open("cut", 1, true), 0);
    const std::string got = ReadAll(file, 65536);
    EXPECT_GT(got.size(), 0u);
    EXPECT_LT(got.size(), text.size());
    EXPECT_TRUE(got == text.substr(0, got.size()));
    char buffer[10];
    EXPECT_EQ(file.Read(buffer, 10), 0);
    EXPECT_FALSE(file.whole());
    SUn7zFile empty;
    ASSERT_EQ(empty.Open("headeronly", 1, true), 0);
    EXPECT_EQ(empty.Read(buffer, 10), 0);
    EXPECT_FALSE(empty.whole());
    EXPECT_EQ(m_log.entryCount(), 2);  // one for each entry, naming the container
    EXPECT_NE(m_log.text().find(m_dir.file("Norik.sdb") + ": entry cut.t: the compressed data ends after "),
              std::string::npos)
        << m_log.text();
}

// An entry is whole only when its compressed data ends exactly at its stated length.
TEST_F(SUn7zFileTest, EndsWholeOnlyWhenTheDataEndsAtTheStatedLength) {
    const std::string text = SampleText(300000, 11);
    const std::string good = NorikTest::XzEntry(text, "-6", m_work);
    std::string halved = good, longer = good, zero = good;
    NorikTest::Store32(halved, 5, static_cast<std::uint32_t>(text.size() / 2));
    NorikTest::Store32(longer, 5, static_cast<std::uint32_t>(text.size() + 10));
    NorikTest::Store32(zero, 5, 0);
    const struct {
        const char* name;
        std::string entry;
        std::size_t delivered;
        const char* damage;  // empty: whole
    } cases[] = {
        {"good", good, text.size(), ""},
        {"halved", halved, text.size() / 2, "the compressed data goes on past its stated length of 150000 bytes"},
        {"longer", longer, text.size(), "the compressed data is damaged after 300000 of its stated 300010 bytes"},
        {"zero", zero, 0, "the compressed data goes on past its stated length of 0 bytes"},
        {"trailing", good + "left", text.size(), "compressed bytes are left over after its stated length of 300000"},
    };
    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto& c : cases) entries.emplace_back(c.name, c.entry);
    WriteEntries(entries);
    for (const auto& c : cases) {
        for (int block : {4096, 1 << 20}) {
            SUn7zFile file;
            ASSERT_EQ(file.Open(c.name, 1, true), 0);
            const std::string got = ReadAll(file, block);
            EXPECT_EQ(got.size(), c.delivered) << c.name;
            EXPECT_TRUE(got == text.substr(0, got.size())) << c.name;
            EXPECT_EQ(file.whole(), *c.damage == '\0') << c.name;
            EXPECT_EQ(file.damage().find(c.damage), *c.damage == '\0' ? 0u : 10 + std::strlen(c.name)) << file.damage();
        }
    }
    EXPECT_EQ(m_log.entryCount(), 8);
}

TEST_F(SUn7zFileTest, TheReadThatMeetsDamageStillDeliversWhatItDecoded) {
    const std::string text = SampleText(400000, 21);
    std::string entry = NorikTest::XzEntry(text, "-6", m_work);
    // Garbage over the later part of the data: decoding fails there.
    for (size_t i = entry.size() * 3 / 4; i < entry.size(); ++i) entry[i] = static_cast<char>(i * 131);
    WriteEntries({{"bad", entry}});
    SUn7zFile file;
    ASSERT_EQ(file.Open("bad", 1, true), 0);
    std::string buffer(text.size(), '\0');
    const int got = file.Read(buffer.data(), static_cast<int>(text.size()));
    ASSERT_GT(got, 0);
    EXPECT_LT(got, static_cast<int>(text.size()));
    EXPECT_TRUE(buffer.substr(0, text.size() / 2) == text.substr(0, text.size() / 2));
    EXPECT_EQ(file.Read(buffer.data(), 100), 0);
}

// A few kilobytes whose header states the largest text and a dictionary of 4 GiB: opening and
// reading them costs memory for what they decode, not for what they state.
TEST_F(SUn7zFileTest, AShortEntryStatingAHugeTextCostsLittleMemory) {
    std::string entry = NorikTest::XzEntry(SampleText(5000, 4), "-6", m_work);
    NorikTest::Store32(entry, 1, 0xFFFFFFFFu);
    NorikTest::Store32(entry, 5, Norik::kMaxDocumentTextBytes);
    entry.resize(13 + 8192, '\x5A');
    WriteEntries({{"huge", entry}});
    const auto residentBytes = [] {
        long pages = 0, resident = 0;
        std::ifstream statm("/proc/self/statm");
        EXPECT_TRUE(statm >> pages >> resident);
        return resident * ::sysconf(_SC_PAGESIZE);
    };
    const long before = residentBytes();
    SUn7zFile file;
    ASSERT_EQ(file.Open("huge", 1, true), 0);
    char buffer[4096];
    while (file.Read(buffer, sizeof buffer) > 0) {
    }
    EXPECT_LT(residentBytes() - before, 16L << 20);
}

TEST_F(SUn7zFileTest, DamagedContainerChainEndsTheEntryWithAReport) {
    const std::string text = SampleText(200000, 4);
    NorikTest::CfbLayout layout;
    std::string container =
        NorikTest::BuildCompoundFile({{u"x.t", NorikTest::XzEntry(text, "-6", m_work)}}, 3, &layout);
    NorikTest::SetFatEntry(container, layout, layout.firstSector[0] + 20, layout.firstSector[0]);
    NorikTest::WriteFile(m_dir.file("Norik.sdb"), container);
    SUn7zFile file;
    ASSERT_EQ(file.Open("x", 1, true), 0);
    const std::string got = ReadAll(file, 65536);
    EXPECT_TRUE(got == text.substr(0, got.size()));
    EXPECT_LT(got.size(), text.size());
    EXPECT_EQ(m_log.entryCount(), 2);
    EXPECT_NE(m_log.text().find("CReadBuffer::ReadCompressed"), std::string::npos);
    EXPECT_NE(file.damage().find("the container cannot be read"), std::string::npos) << file.damage();
}

TEST_F(SUn7zFileTest, FailingHeaderReadIsReportedByTheBufferThenByOpen) {
    // The entry's first sector lies past the end of the file: the stream opens, its first read fails.
    NorikTest::CfbLayout layout;
    std::string container =
        NorikTest::BuildCompoundFile({{u"x.t", NorikTest::XzEntry(SampleText(9000, 2), "-6", m_work)}}, 3, &layout);
    NorikTest::SetDirectoryField(container, layout, layout.entryId[0], 116, 0x00FFFFFFu);
    NorikTest::WriteFile(m_dir.file("Norik.sdb"), container);
    SUn7zFile file;
    EXPECT_EQ(file.Open("x", 1, true), Norik::kStgDocfileCorrupt);
    EXPECT_EQ(m_log.entryCount(), 2);
    const std::string log = m_log.text();
    const size_t buffer = log.find("CReadBuffer::ReadFile");
    ASSERT_NE(buffer, std::string::npos);
    EXPECT_NE(log.find("SUn7zFile::Open", buffer), std::string::npos);
    char out[10];
    EXPECT_EQ(file.Read(out, 10), 0);
}

int OpenDescriptors() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

TEST_F(SUn7zFileTest, TheContainerIsHeldUntilTheReaderIsDestroyed) {
    WriteEntries({{"a", NorikTest::XzEntry("hello", "-6", m_work)}});
    const int before = OpenDescriptors();
    {
        SUn7zFile file;
        ASSERT_EQ(file.Open("a", 1, true), 0);
        ASSERT_EQ(file.Open("a", 1, true), 0);  // reopening releases the earlier container
        char buffer[10];
        EXPECT_EQ(file.Read(buffer, 10), 5);
        EXPECT_EQ(file.Close(), 0);
        EXPECT_EQ(OpenDescriptors(), before + 1);
        std::int32_t value = 77;
        EXPECT_LT(file.ReadUInt(value), 0);
        EXPECT_EQ(value, 77);
        EXPECT_NE(file.ReadLine(buffer, 10), 0);
        EXPECT_EQ(file.Write(buffer, 10), 0);
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
