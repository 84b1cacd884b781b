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
                                                           {u"000005.t", tooLarge}}));
        Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = m_dir.folder()});
    }
    void TearDown() override { Norik::ConfigureFolders(Norik::FolderSettings{}); }

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
