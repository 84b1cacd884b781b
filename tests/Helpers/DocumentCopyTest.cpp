// Copies of a document's text outside the base: file names from titles, a failed copy leaves no
// file, temporary copies removed at the end of the run. (Whole copies: tests/views/qt.)
#include <gtest/gtest.h>

#include <filesystem>

#include "CompoundFileTestWriter.h"
#include "Helpers/Cp1251.h"
#include "Helpers/DocumentCopy.h"
#include "Helpers/Folders.h"
#include "Helpers/SUn7zFile.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;
using Norik::FileNameFromTitle;

std::string W(const std::string& utf8) { return Norik::Utf8ToCp1251(utf8); }

TEST(FileNameFromTitle, StaysInsideItsFolderAndWithinALength) {
    const struct {
        std::string title;
        std::string name;
    } cases[] = {
        {W("О налоге на доходы"), W("О налоге на доходы")},
        {"../../etc/passwd", "_.._etc_passwd"},
        {"..", "000042"},
        {" . ", "000042"},
        {"", "000042"},
        {W("Письмо 03-05/12: о \"ставках\"? <да>|*\\"), W("Письмо 03-05_12_ о _ставках__ _да____")},
        {W("Закон.\t N 5. "), W("Закон._ N 5")},
        {std::string(130, 'x'), std::string(120, 'x')},
    };
    for (const auto& c : cases) EXPECT_EQ(FileNameFromTitle(c.title, "000042"), c.name) << c.title;
}

class EntryCopyTest : public ::testing::Test {
protected:
    void SetUp() override { Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = m_dir.folder()}); }
    void TearDown() override { Norik::ConfigureFolders(Norik::FolderSettings{}); }

    // Writes a container with entry 000001 holding text, compressed by xz; cut drops compressed
    // bytes from its end.
    void WriteEntry(const std::string& text, std::size_t cut = 0) {
        std::string entry = NorikTest::XzEntry(text, "", m_dir);
        entry.resize(entry.size() - cut);
        NorikTest::WriteFile(m_dir.file("Norik.sdb"), NorikTest::BuildCompoundFile({{u"000001.t", entry}}));
    }
    bool Copy(const std::string& target) {
        Norik::SUn7zFile entry;
        if (Norik::Failed(entry.Open("000001", Norik::kModeRead, true))) return false;
        return Norik::CopyEntryToFile(entry, target);
    }

    NorikTest::TempDir m_dir;
    NorikTest::TempDir m_out;
};

TEST_F(EntryCopyTest, ADamagedEntryOrAnUnwritableFileLeavesNoFile) {
    std::string text;
    for (int i = 0; text.size() < 100000; ++i) text += std::to_string(i * 104729 % 99991) + " ";
    WriteEntry(text, 2000);
    EXPECT_FALSE(Copy(m_out.file("copy.rtf")));
    EXPECT_FALSE(fs::exists(m_out.file("copy.rtf")));
    WriteEntry(text);
    EXPECT_FALSE(Copy(m_out.file("missing-folder/copy.rtf")));
}

TEST(TemporaryFiles, RemovesWhatItRecordedAtTheEnd) {
    NorikTest::TempDir dir;
    NorikTest::WriteFile(dir.file("a.rtf"), "a");
    NorikTest::WriteFile(dir.file("b.rtf"), "b");
    {
        Norik::TemporaryFiles files;
        files.Add(dir.file("a.rtf"));
        files.Add(dir.file("a.rtf"));
        files.Add(dir.file("gone.rtf"));
        EXPECT_EQ(files.paths().size(), 2u);
    }
    EXPECT_FALSE(fs::exists(dir.file("a.rtf")));
    EXPECT_TRUE(fs::exists(dir.file("b.rtf")));
}

}  // namespace
