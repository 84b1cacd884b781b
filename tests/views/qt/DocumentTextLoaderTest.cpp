// The text loader on damaged entries and when its window goes before the text is read. These
// paths also run under valgrind and the thread sanitizer (tests/run-memcheck.sh, run-tsan.sh).
#include <gtest/gtest.h>

#include <QTextDocument>
#include <cstdlib>

#include "../../Helpers/CompoundFileTestWriter.h"
#include "Helpers/BaseLimits.h"
#include "Helpers/Folders.h"
#include "TestSupport.h"
#include "views/DocumentTextLoader.h"

namespace {

using Norik::DocumentTextLoader;

class DocumentTextLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Long enough for a first part, so the worker hands over twice.
        m_text = "{\\rtf1\\ansi ";
        for (int i = 0; m_text.size() < 2 * DocumentTextLoader::kFirstPartMinimumLength; ++i) {
            m_text += "\\par Paragraph " + std::to_string(i * 7919 % 104729) + " of the text.";
        }
        m_text += "}";
        const std::string entry = NorikTest::XzEntry(m_text, "", m_dir);
        std::string malformed = entry.substr(0, 13);
        malformed[0] = '\xFF';  // no valid literal, position and bit counts
        std::string tooLarge = entry;
        NorikTest::Store32(tooLarge, 5, Norik::kMaxDocumentTextBytes + 1);
        NorikTest::WriteFile(m_dir.file("Norik.sdb"),
                             NorikTest::BuildCompoundFile({{u"000001.t", entry},
                                                           {u"000002.t", entry.substr(0, entry.size() / 2)},
                                                           {u"000003.t", malformed},
                                                           {u"000005.t", tooLarge},
                                                           {u"000006.t", NorikTest::XzEntry(Table(40, 64), "", m_dir)},
                                                           {u"000007.t", NorikTest::XzEntry(Table(8, 8), "", m_dir)},
                                                           {u"000008.t", entry.substr(0, 8)}}));
        Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = m_dir.folder()});
    }
    void TearDown() override { Norik::ConfigureFolders(Norik::FolderSettings{}); }

    // A short text: a heading and a table of rows by columns.
    static std::string Table(int rows, int columns) {
        std::string rtf = "{\\rtf1\\ansi Heading\\par ";
        for (int row = 0; row < rows; ++row) {
            rtf += "\\trowd";
            for (int i = 1; i <= columns; ++i) rtf += "\\cellx" + std::to_string(i * 100);
            for (int i = 1; i <= columns; ++i) rtf += "\\intbl " + std::to_string(row * columns + i) + "\\cell";
            rtf += "\\row";
        }
        return rtf + "\\par}";
    }

    NorikTest::TempDir m_dir;
    NorikTest::ErrorLogCapture m_log;
    std::string m_text;
};

TEST_F(DocumentTextLoaderTest, ACutTextShowsWhatDecodedAndAMalformedOneIsRefused) {
    DocumentTextLoader whole;
    ASSERT_EQ(whole.Start("000001"), DocumentTextLoader::StartResult::Started);
    whole.WaitForWhole();
    EXPECT_TRUE(whole.isWhole());
    EXPECT_TRUE(whole.TakeRtf().toStdString() == m_text);
    EXPECT_EQ(m_log.entryCount(), 0);

    DocumentTextLoader cut;
    ASSERT_EQ(cut.Start("000002"), DocumentTextLoader::StartResult::Started);
    cut.WaitForWhole();
    ASSERT_TRUE(cut.isFinished());
    EXPECT_FALSE(cut.failed());
    EXPECT_FALSE(cut.isWhole());
    const std::string decoded = cut.TakeRtf().toStdString();
    EXPECT_GT(decoded.size(), 0u);
    EXPECT_LT(decoded.size(), m_text.size());
    EXPECT_TRUE(m_text.compare(0, decoded.size(), decoded) == 0);
    auto document = cut.TakeDocument();
    ASSERT_NE(document, nullptr);
    EXPECT_TRUE(document->toPlainText().contains(QStringLiteral("Paragraph 0 of the text.")));
    // The entry reader names the damage in the container, the loader what the window shows.
    EXPECT_EQ(m_log.entryCount(), 2) << m_log.text();
    EXPECT_NE(m_log.text().find("DocumentTextLoader: 000002: the text ends after"), std::string::npos) << m_log.text();

    DocumentTextLoader malformed;
    EXPECT_EQ(malformed.Start("000003"), DocumentTextLoader::StartResult::Malformed);
    EXPECT_EQ(DocumentTextLoader().Start("000004"), DocumentTextLoader::StartResult::Missing);
    // Told apart, so that the window says "Документ слишком велик".
    EXPECT_EQ(DocumentTextLoader().Start("000005"), DocumentTextLoader::StartResult::TooLarge);
    // A header cut inside its length: the reader's words reach the log in UTF-8, as every entry.
    EXPECT_EQ(DocumentTextLoader().Start("000008"), DocumentTextLoader::StartResult::Malformed);
    EXPECT_NE(m_log.text().find("000008: ошибка при чтении файла"), std::string::npos) << m_log.text();
}

TEST_F(DocumentTextLoaderTest, ALoaderDestroyedWhileReadingStopsItsWorkers) {
    // At once, after the first part, and after the whole text: each leaves nothing behind.
    for (int stage = 0; stage < 3; ++stage) {
        auto loader = std::make_unique<DocumentTextLoader>();
        ASSERT_EQ(loader->Start("000001"), DocumentTextLoader::StartResult::Started);
        if (stage == 1) loader->WaitForFirstPart();
        if (stage == 2) loader->WaitForWhole();
        loader.reset();
    }
    EXPECT_EQ(m_log.entryCount(), 0);
}

}  // namespace

// A short text of many table cells, which the window could not lay out in one step, shows early
// like a long one: its first part is the beginning of the whole, up to a few hundred cells.
TEST_F(DocumentTextLoaderTest, AShortTextOfManyTableCellsGivesItsBeginningFirst) {
    DocumentTextLoader dense;
    ASSERT_EQ(dense.Start("000006"), DocumentTextLoader::StartResult::Started);
    dense.WaitForWhole();
    ASSERT_TRUE(dense.hasFirstPart());
    const QString head = dense.TakeFirstPart()->toPlainText();
    const QString whole = dense.TakeDocument()->toPlainText();
    EXPECT_TRUE(head.startsWith(QStringLiteral("Heading")));
    EXPECT_TRUE(head.contains(QStringLiteral("256")));
    EXPECT_FALSE(head.contains(QStringLiteral("257")));
    EXPECT_TRUE(whole.startsWith(head.trimmed())) << head.toStdString();
    EXPECT_TRUE(whole.contains(QStringLiteral("2560")));

    DocumentTextLoader light;
    ASSERT_EQ(light.Start("000007"), DocumentTextLoader::StartResult::Started);
    light.WaitForWhole();
    EXPECT_FALSE(light.hasFirstPart());
}
