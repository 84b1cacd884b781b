// CRtfFile: a document's stored text read as a sequential Qt device.
#include <gtest/gtest.h>

#include <filesystem>

#include "../CompoundFileTestWriter.h"
#include "Helpers/Folders.h"
#include "Helpers/qt/CRtfFile.h"
#include "TestSupport.h"

namespace {

class CRtfFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = m_dir.folder()});
        m_text = "{\\rtf1\\ansi ";
        for (int i = 0; m_text.size() < 150000; ++i) m_text += "\\par " + std::to_string(i * 31337 % 65521);
        m_text += "}";
        NorikTest::WriteFile(m_dir.file("Norik.sdb"),
                             NorikTest::BuildCompoundFile({{u"000042.t", NorikTest::XzEntry(m_text, "", m_dir)}}));
    }
    void TearDown() override { Norik::ConfigureFolders(Norik::FolderSettings{}); }

    // Whether this process holds the container open.
    bool ContainerHeld() const {
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code error;
            if (std::filesystem::read_symlink(fd.path(), error) == m_dir.path() / "Norik.sdb") return true;
        }
        return false;
    }

    NorikTest::TempDir m_dir;
    NorikTest::ErrorLogCapture m_log;
    std::string m_text;
};

TEST_F(CRtfFileTest, ReadsTheDecodedTextInTheBlocksAskedFor) {
    auto file = std::make_unique<Norik::CRtfFile>();
    ASSERT_TRUE(file->openEntry("000042"));
    EXPECT_TRUE(file->isSequential());
    EXPECT_FALSE(file->isWritable());
    char byte = 0;
    EXPECT_EQ(file->read(&byte, 0), 0);
    EXPECT_EQ(file->announcedLength(), static_cast<qint64>(m_text.size()));
    EXPECT_FALSE(file->atEnd());
    std::string read;
    char block[1000];
    for (qint64 count; (count = file->read(block, sizeof block)) > 0;) {
        EXPECT_LE(count, 1000);
        read.append(block, static_cast<std::size_t>(count));
    }
    EXPECT_EQ(read, m_text);
    EXPECT_TRUE(file->atEnd());
    EXPECT_TRUE(file->atWholeEnd());
    EXPECT_EQ(file->write("x", 1), -1);
    EXPECT_TRUE(ContainerHeld());
    file.reset();
    EXPECT_FALSE(ContainerHeld());
}

TEST_F(CRtfFileTest, AMissingEntryOrContainerIsNoErrorToLog) {
    Norik::CRtfFile file;
    EXPECT_FALSE(file.openEntry("000043"));
    EXPECT_FALSE(file.isOpen());
    std::filesystem::remove(m_dir.file("Norik.sdb"));
    EXPECT_FALSE(file.openEntry("000042"));
    EXPECT_EQ(m_log.entryCount(), 0);
}

}  // namespace
