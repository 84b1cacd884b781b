// Copies of a document's text outside the base: file names from titles, a damaged entry or an
// unwritable file is no copy, the copies for the word processor live in a private folder of the run
// and only those still as written are removed. (Whole copies: tests/views/qt.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>

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

std::string Repeat(const std::string& text, int count) {
    std::string all;
    for (int i = 0; i < count; ++i) all += text;
    return all;
}

mode_t Mode(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 0777;
}

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
        // "№" takes 3 bytes of UTF-8, "А" 2: names and ".rtf" of 253 and 254 bytes, one "№" more would pass 255.
        {W(Repeat("№", 120)), W(Repeat("№", 83))},
        {W("Акт " + Repeat("№", 90)), W("Акт " + Repeat("№", 81))},
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
    // Copies the entry into copy.rtf opened with flags.
    bool Copy(int flags) {
        Norik::SUn7zFile entry;
        if (Norik::Failed(entry.Open("000001", Norik::kModeRead, true))) return false;
        return Norik::CopyEntryToFile(entry,
                                      Norik::FileDescriptor(::open(m_out.file("copy.rtf").c_str(), flags, 0600)));
    }

    NorikTest::TempDir m_dir;
    NorikTest::TempDir m_out;
};

TEST_F(EntryCopyTest, ADamagedEntryOrAnUnwritableFileIsNoCopy) {
    std::string text;
    for (int i = 0; text.size() < 100000; ++i) text += std::to_string(i * 104729 % 99991) + " ";
    WriteEntry(text, 2000);
    EXPECT_FALSE(Copy(O_WRONLY | O_CREAT));
    WriteEntry(text);
    EXPECT_FALSE(Copy(O_RDONLY));
    EXPECT_TRUE(Copy(O_WRONLY | O_TRUNC));
    EXPECT_EQ(NorikTest::ReadFile(m_out.file("copy.rtf")), text);
}

// Makes a copy of name holding bytes, as the copy for the word processor does; path is where.
bool Write(Norik::TemporaryCopies& copies, const std::string& name, const std::string& bytes, std::string& path) {
    auto copy = copies.Create(name);
    if (!copy) return false;
    path = copy->path;
    return ::write(copy->file.get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
           copy->file.Close() && copies.Keep(path);
}

TEST(TemporaryCopies, EachCopyIsANewPrivateFileAndOnlyCopiesAsWrittenAreRemoved) {
    NorikTest::TempDir temp;
    Norik::TemporaryCopies copies(temp.folder());
    const std::string longName = Repeat("№", 83);
    std::string first, second, edited;
    ASSERT_TRUE(Write(copies, longName, "one", first));
    ASSERT_TRUE(Write(copies, longName, "two", second));
    ASSERT_TRUE(Write(copies, "Закон", "три", edited));
    const std::string folder = copies.folder();
    EXPECT_EQ(fs::path(folder).parent_path().parent_path(), temp.path());
    EXPECT_EQ(Mode(folder), 0700u);
    EXPECT_EQ(Mode(first), 0600u);
    EXPECT_EQ(first, folder + longName + ".rtf");
    // The second copy of a name keeps within a file name's bytes and cuts no character in two.
    EXPECT_EQ(fs::path(second).filename().string(), Repeat("№", 82) + " (2).rtf");
    EXPECT_EQ(NorikTest::ReadFile(first), "one");

    // The word processor saves the user's changes over one copy and leaves a file of its own.
    NorikTest::WriteFile(folder + "saved.tmp", "изменено");
    fs::rename(folder + "saved.tmp", edited);
    NorikTest::WriteFile(folder + ".~lock.Закон.rtf#", "lock");
    copies.RemoveAll();
    EXPECT_FALSE(fs::exists(first));
    EXPECT_FALSE(fs::exists(second));
    EXPECT_EQ(NorikTest::ReadFile(edited), "изменено");
    EXPECT_TRUE(fs::exists(folder + ".~lock.Закон.rtf#"));

    {
        Norik::TemporaryCopies untouched(temp.folder());
        ASSERT_TRUE(Write(untouched, "Закон", "три", first));
    }
    EXPECT_FALSE(fs::exists(fs::path(first).parent_path()));
}

// The process id of a child that has ended; run runs in the child first.
pid_t EndedProcess(const std::function<void()>& run = {}) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (run) run();
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST(TemporaryCopies, TheFoldersOfRunsThatEndedUncleanedAreRemovedAtTheNextStart) {
    NorikTest::TempDir temp;
    const std::string parent = temp.folder();
    // A run killed after its copy: its folder, list and copy stay behind.
    EndedProcess([&] {
        Norik::TemporaryCopies copies(parent);
        std::string path;
        ::_exit(Write(copies, "Закон", "text", path) ? 0 : 1);
    });
    ASSERT_EQ(std::vector<fs::path>(fs::directory_iterator(temp.path()), {}).size(), 1u);
    const fs::path abandoned = *fs::directory_iterator(temp.path());
    ASSERT_TRUE(fs::exists(abandoned / "Закон.rtf"));

    const pid_t running = ::fork();
    if (running == 0) {
        ::pause();
        ::_exit(0);
    }
    const std::string ended = std::to_string(EndedProcess());
    std::vector<std::string> kept = {
        "norik-copies-" + std::to_string(running) + "-Ab12Cd",  // a viewer still running
        "norik-copies-" + ended + "-short",                     // not a name this program makes
        "copies-" + ended + "-Abcdef",
    };
    for (const std::string& name : kept) fs::create_directory(parent + name);
    // Another user's folder (only the superuser can give one away).
    if (::geteuid() == 0) {
        kept.push_back("norik-copies-" + ended + "-Other1");
        fs::create_directory(parent + kept.back());
        EXPECT_EQ(::chown((parent + kept.back()).c_str(), 4242, 4242), 0);
    }
    fs::create_directory(parent + "victim");
    NorikTest::WriteFile(parent + "victim/Закон.rtf", "victim");
    kept.push_back("norik-copies-" + ended + "-Link01");
    fs::create_directory_symlink(parent + "victim", parent + kept.back());

    EXPECT_EQ(Norik::RemoveAbandonedCopyFolders(parent), 1);
    ::kill(running, SIGKILL);
    ::waitpid(running, nullptr, 0);
    EXPECT_FALSE(fs::exists(abandoned));
    for (const std::string& name : kept) EXPECT_TRUE(fs::exists(parent + name)) << name;
    EXPECT_EQ(NorikTest::ReadFile(parent + "victim/Закон.rtf"), "victim");
}

}  // namespace
