// CReadBuffer: opening an entry of the data folder's container, exact, byte and block reads.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <stdexcept>

#include "CompoundFileTestWriter.h"
#include "Helpers/CReadBuffer.h"
#include "Helpers/Cp1251.h"
#include "Helpers/Folders.h"
#include "TestSupport.h"

namespace {

using Norik::CReadBuffer;

class CReadBufferTest : public ::testing::Test {
protected:
    void SetUp() override { Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = m_dir.folder()}); }
    void TearDown() override { Norik::ConfigureFolders(Norik::FolderSettings{}); }
    void WriteContainer(const std::vector<NorikTest::CfbStream>& streams) {
        NorikTest::WriteFile(m_dir.file("Norik.sdb"), NorikTest::BuildCompoundFile(streams));
    }
    NorikTest::TempDir m_dir;
    NorikTest::ErrorLogCapture m_log;
};

TEST_F(CReadBufferTest, MissingContainerOrStreamReturnsItsCodeAndReportsNothing) {
    CReadBuffer buffer;
    EXPECT_EQ(buffer.Open("000001"), Norik::kStgFileNotFound);
    WriteContainer({{u"000001.t", "abc"}, {u"000002", "no suffix"}});
    EXPECT_EQ(buffer.Open("000003"), Norik::kStgFileNotFound);
    EXPECT_EQ(buffer.Open("000002"), Norik::kStgFileNotFound);
    EXPECT_FALSE(buffer.isOpen());
    EXPECT_EQ(m_log.entryCount(), 0);
    EXPECT_EQ(buffer.Open("000001"), 0);
    EXPECT_TRUE(buffer.isOpen());
}

TEST_F(CReadBufferTest, ExactByteAndBlockReads) {
    std::mt19937 random(1);
    std::string big(150000, '\0');
    for (char& c : big) c = static_cast<char>(random());
    WriteContainer({{u"000001.t", "abc"}, {u"000002.t", big}});
    CReadBuffer buffer;
    ASSERT_EQ(buffer.Open("000001"), 0);
    char five[5];
    EXPECT_EQ(buffer.ReadFile(five, 5), Norik::kFail);  // 3 bytes only: short, not reported
    ASSERT_EQ(buffer.Open("000001"), 0);
    EXPECT_EQ(buffer.ReadByte(), 'a');
    EXPECT_EQ(buffer.ReadFile(five, 2), 0);
    EXPECT_EQ(std::string(five, 2), "bc");
    try {
        buffer.ReadByte();
        FAIL() << "no exception at the end of the stream";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), Norik::Utf8ToCp1251("ошибка при чтении файла"));
    }
    EXPECT_EQ(m_log.entryCount(), 0);

    ASSERT_EQ(buffer.Open("000002"), 0);
    std::string collected;
    std::vector<size_t> sizes;
    for (;;) {
        const std::uint8_t* start = nullptr;
        size_t size = 12345;
        ASSERT_EQ(buffer.ReadCompressed(start, size), 0);
        sizes.push_back(size);
        if (size == 0) break;
        collected.append(reinterpret_cast<const char*>(start), size);
    }
    EXPECT_EQ(collected, big);
    EXPECT_EQ(sizes, (std::vector<size_t>{65536, 65536, 150000 - 131072, 0}));
}

TEST_F(CReadBufferTest, FailingStreamReadIsReported) {
    NorikTest::CfbLayout layout;
    std::string file = NorikTest::BuildCompoundFile({{u"000001.t", std::string(9000, 'x')}}, 3, &layout);
    NorikTest::SetFatEntry(file, layout, layout.firstSector[0], 0x00FFFFFFu);
    NorikTest::WriteFile(m_dir.file("Norik.sdb"), file);
    CReadBuffer buffer;
    ASSERT_EQ(buffer.Open("000001"), 0);
    const std::uint8_t* start = nullptr;
    size_t size = 777;
    ASSERT_EQ(buffer.ReadCompressed(start, size), 0);  // the first sector is sound
    EXPECT_EQ(size, 512u);
    EXPECT_EQ(buffer.ReadCompressed(start, size), Norik::kStgDocfileCorrupt);
    EXPECT_EQ(size, 512u);
    EXPECT_EQ(m_log.entryCount(), 1);
    EXPECT_NE(m_log.text().find("CReadBuffer::ReadCompressed"), std::string::npos);
}

}  // namespace
