#include <gtest/gtest.h>

#include <cstring>

#include "Helpers/Folders.h"
#include "Helpers/SFile.h"
#include "TestSupport.h"

using namespace Norik;
using NorikTest::ErrorLogCapture;
using NorikTest::TempDir;
using NorikTest::WriteFile;

class SFileStreamTest : public ::testing::Test {
protected:
    void OpenText(SFileStream& stream, const std::string& content, bool binary = false) {
        const std::string path = m_dir.file(binary ? "b.ttx" : "t.ttx");
        WriteFile(path, content);
        EXPECT_EQ(stream.Open(path, kModeRead, binary), kOk);
    }
    TempDir m_dir;
    ErrorLogCapture m_log;
};

TEST_F(SFileStreamTest, MissingFileReportsTheSystemCodeOnce) {
    SFileStream stream;
    EXPECT_EQ(stream.Open(m_dir.file("absent.ttx"), kModeRead, false), static_cast<HResult>(0x80070002u));
    EXPECT_FALSE(stream.isOpen());
    EXPECT_EQ(m_log.entryCount(), 1);
    EXPECT_NE(m_log.text().find("SFile.cpp:SFileStream::Open():"), std::string::npos);
}

TEST_F(SFileStreamTest, ModeStrings) {
    EXPECT_EQ(StreamModeString(kModeRead, false), "r");
    EXPECT_EQ(StreamModeString(kModeRead, true), "rb");
    EXPECT_EQ(StreamModeString(kModeWrite, true), "wb");
    EXPECT_EQ(StreamModeString(kModeReadWrite, false), "w+");
    EXPECT_EQ(StreamModeString(7, true), "b");
}

TEST_F(SFileStreamTest, ReadUIntReadsNumbersThenFailsWithOneEntryAndNeverZero) {
    SFileStream stream;
    OpenText(stream, "12\n34\n");
    std::int32_t value = 0;
    EXPECT_EQ(stream.ReadUInt(value), kOk);
    EXPECT_EQ(value, 12);
    EXPECT_EQ(stream.ReadUInt(value), kOk);
    EXPECT_EQ(value, 34);
    EXPECT_EQ(stream.ReadUInt(value), kFail);
    EXPECT_EQ(value, 34);
    EXPECT_EQ(m_log.entryCount(), 1);
}

TEST_F(SFileStreamTest, ReadUIntStopsAfterTheLastDigitAndLeavesTheLine) {
    SFileStream stream;
    OpenText(stream, "  -17|rest\n");
    std::int32_t value = 0;
    ASSERT_EQ(stream.ReadUInt(value), kOk);
    EXPECT_EQ(value, -17);
    char line[64];
    ASSERT_EQ(stream.ReadLine(line, sizeof line), 0);
    EXPECT_STREQ(line, "|rest\n");
}

TEST_F(SFileStreamTest, ReadUIntOnTextIsAFailure) {
    SFileStream stream;
    OpenText(stream, "abc");
    std::int32_t value = 5;
    EXPECT_LT(stream.ReadUInt(value), 0);
    EXPECT_EQ(value, 5);
}

TEST_F(SFileStreamTest, ReadTypeSixteenAndThirtyTwoBits) {
    SFileStream stream;
    OpenText(stream, "7 -3 70000 99999999999");
    std::int16_t small = 0;
    std::int32_t large = 0;
    EXPECT_EQ(stream.ReadType(small), kOk);
    EXPECT_EQ(small, 7);
    EXPECT_EQ(stream.ReadType(large), kOk);
    EXPECT_EQ(large, -3);
    EXPECT_EQ(stream.ReadType(small), kOk);
    EXPECT_EQ(small, 4464);
    EXPECT_EQ(stream.ReadType(large), kOk);  // out of range: wraps, no undefined behaviour
    EXPECT_EQ(stream.ReadType(large), kFail);
    // The stream's entry and then the typed read's own.
    EXPECT_EQ(m_log.entryCount(), 2);
    EXPECT_NE(m_log.text().find("SFile::ReadType"), std::string::npos);
}

TEST_F(SFileStreamTest, LongLineIsSplitAtTheBufferSize) {
    SFileStream stream;
    OpenText(stream, std::string(600, 'a') + "\nnext\n");
    char line[512];
    ASSERT_EQ(stream.ReadLine(line, sizeof line), 0);
    EXPECT_EQ(std::strlen(line), 511u);
    ASSERT_EQ(stream.ReadLine(line, sizeof line), 0);
    EXPECT_EQ(std::string(line), std::string(89, 'a') + "\n");
    ASSERT_EQ(stream.ReadLine(line, sizeof line), 0);
    EXPECT_STREQ(line, "next\n");
    std::strcpy(line, "kept");
    EXPECT_NE(stream.ReadLine(line, sizeof line), 0);
    EXPECT_STREQ(line, "kept");
    EXPECT_EQ(m_log.entryCount(), 0);
}

TEST_F(SFileStreamTest, TextModeFoldsCrLfButBinaryModeKeepsIt) {
    char line[32];
    SFileStream text;
    OpenText(text, "a|b\r\n");
    ASSERT_EQ(text.ReadLine(line, sizeof line), 0);
    EXPECT_STREQ(line, "a|b\n");
    SFileStream binary;
    OpenText(binary, "a|b\r\n", true);
    ASSERT_EQ(binary.ReadLine(line, sizeof line), 0);
    EXPECT_STREQ(line, "a|b\r\n");
}

TEST_F(SFileStreamTest, ReadWriteAndEndOfFile) {
    const std::string path = m_dir.file("w.bin");
    {
        SFileStream out;
        ASSERT_EQ(out.Open(path, kModeWrite, true), kOk);
        EXPECT_EQ(out.Write("abc", 3), 3);
        EXPECT_EQ(out.WriteLine("line\n"), kOk);
        EXPECT_EQ(out.Close(), kOk);
        EXPECT_FALSE(out.isOpen());
    }
    SFileStream in;
    ASSERT_EQ(in.Open(path, kModeRead, true), kOk);
    char buffer[16];
    EXPECT_EQ(in.Read(buffer, 16), 8);
    EXPECT_EQ(std::string(buffer, 8), "abcline\n");
    EXPECT_EQ(in.Read(buffer, 16), 0);  // end of data, which is no error
    EXPECT_EQ(m_log.entryCount(), 0);
}

TEST_F(SFileStreamTest, AFullDiskFailsTheCloseWithItsCodeAndOneEntry) {
    SFileStream out;
    ASSERT_EQ(out.Open("/dev/full", kModeWrite, true), kOk);
    EXPECT_EQ(out.Write("abc", 3), 3);  // buffered
    EXPECT_EQ(out.Close(), SystemErrorCode(ENOSPC));
    EXPECT_FALSE(out.isOpen());
    EXPECT_EQ(m_log.entryCount(), 1);
    EXPECT_NE(m_log.text().find("SFileStream::Close"), std::string::npos);
}

// One line's fields: the line, the buffer size N, the fields expected before the empty ones.
struct FieldCase {
    const char* line;
    std::vector<std::string> fields;
};

class LineFieldsTest : public ::testing::TestWithParam<FieldCase> {};

TEST_P(LineFieldsTest, SplitsThenGivesEmptyFieldsForEver) {
    const FieldCase& c = GetParam();
    CLineFields<512> fields(c.line);
    for (const auto& expected : c.fields) EXPECT_EQ(fields.NextField(), expected);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(fields.NextField(), "");
}

INSTANTIATE_TEST_SUITE_P(Lines, LineFieldsTest,
                         ::testing::Values(FieldCase{"a|b|\n", {"a", "b", ""}}, FieldCase{"x|y", {"x", "y"}},
                                           FieldCase{"\n", {""}}, FieldCase{" 1 | two \n", {" 1 ", " two "}},
                                           FieldCase{"a||b\nc|d", {"a", "", "b"}}));

TEST(LineFields, AllFieldsTogetherCoverAtMostNCharacters) {
    const std::string line = "abcd|efgh|ijkl\n";
    CLineFields<7> fields(line.c_str());
    EXPECT_EQ(fields.NextField(), "abcd");
    EXPECT_EQ(fields.NextField(), "efg");
    EXPECT_EQ(fields.NextField(), "");
}

TEST(FieldToInt, BehavesLikeAtoiWithoutOverflow) {
    EXPECT_EQ(FieldToInt("  42abc"), 42);
    EXPECT_EQ(FieldToInt("-7"), -7);
    EXPECT_EQ(FieldToInt("+3"), 3);
    EXPECT_EQ(FieldToInt("x1"), 0);
    EXPECT_EQ(FieldToInt(""), 0);
    EXPECT_EQ(FieldToInt("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(FieldToInt("-99999999999999999999"), INT32_MIN);
}

TEST(TablePath, IsIndexFolderPlusNamePlusExtension) {
    ConfigureFolders({.baseOverride = "/srv/base"});
    EXPECT_EQ(GetTablePath("Items"), "/srv/base/Items.ttx");
    ConfigureFolders({});
}
