#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "Helpers/BaseUpdate.h"
#include "Helpers/Cp1251.h"
#include "TestSupport.h"

using namespace Norik;
using NorikTest::ReadFile;
using NorikTest::TempDir;
using NorikTest::WriteFile;

class BaseUpdateTest : public ::testing::Test {
protected:
    void Source(const std::string& name, const std::string& content) { WriteFile(m_source.file(name), content); }
    void Target(const std::string& name, const std::string& content) { WriteFile(m_target.file(name), content); }
    std::string TargetText(const std::string& name) const { return ReadFile(m_target.file(name)); }
    std::vector<std::string> TargetNames() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(m_target.path())) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    HResult Update() { return UpdateBase(m_source.folder(), m_target.folder(), &m_user); }

    TempDir m_source;
    TempDir m_target;
    NorikTest::RecordingUserPort m_user;
    NorikTest::ErrorLogCapture m_log;
};

TEST_F(BaseUpdateTest, NewerSourceReplacesEveryTable) {
    Source("descript.ttx", "5\n40000\n");
    Source("Items.ttx", "new items");
    Source("class.TTX", "new class");
    Source("readme.txt", "not a table");
    Target("descript.ttx", "5\n39999\n");
    Target("Items.ttx", "old items");
    EXPECT_EQ(Update(), kOk);
    EXPECT_EQ(TargetText("descript.ttx"), "5\n40000\n");
    EXPECT_EQ(TargetText("Items.ttx"), "new items");
    EXPECT_EQ(TargetText("class.ttx"), "new class");  // lower-case extension in the target
    EXPECT_EQ(TargetNames(), (std::vector<std::string>{"Items.ttx", "class.ttx", "descript.ttx"}));
    EXPECT_TRUE(m_user.messages.empty());
    EXPECT_EQ(m_log.entryCount(), 0);
}

TEST_F(BaseUpdateTest, ATableUnderTwoSpellingsIsCopiedOnceFromTheLowerCaseOne) {
    Source("descript.TTX", "5\n40001\n");
    Source("descript.ttx", "5\n40000\n");
    Source("Items.TTX", "upper items");
    Source("Items.Ttx", "mixed items");
    Target("descript.ttx", "5\n39999\n");
    Target("Items.ttx", "old items");
    EXPECT_EQ(Update(), kOk);
    EXPECT_EQ(TargetText("descript.ttx"), "5\n40000\n");
    EXPECT_EQ(TargetText("Items.ttx"), "mixed items");
    EXPECT_EQ(TargetNames(), (std::vector<std::string>{"Items.ttx", "descript.ttx"}));
    EXPECT_TRUE(m_user.messages.empty());

    // A transaction given one name twice replaces it once.
    Source("Items.ttx", "newest items");
    CopyTransaction transaction;
    transaction.sourceFolder = m_source.folder();
    transaction.targetFolder = m_target.folder();
    transaction.names = {"Items.ttx", "descript.ttx", "Items.ttx"};
    EXPECT_EQ(transaction.Commit(), kOk);
    EXPECT_EQ(TargetText("Items.ttx"), "newest items");
    EXPECT_EQ(TargetNames(), (std::vector<std::string>{"Items.ttx", "descript.ttx"}));
    EXPECT_EQ(m_log.entryCount(), 0);
}

TEST_F(BaseUpdateTest, SameDateOrMissingSourceDescriptorChangesNothing) {
    Source("descript.ttx", "5\n40000\n");
    Source("Items.ttx", "new items");
    Target("descript.ttx", "5 40000");
    Target("Items.ttx", "old items");
    EXPECT_EQ(Update(), kOk);
    EXPECT_EQ(TargetText("Items.ttx"), "old items");

    std::filesystem::remove(m_source.file("descript.ttx"));
    std::filesystem::remove(m_target.file("descript.ttx"));
    EXPECT_EQ(Update(), kOk);
    EXPECT_EQ(TargetText("Items.ttx"), "old items");
    EXPECT_TRUE(m_user.messages.empty());
}

TEST_F(BaseUpdateTest, BaseDatesAndNewerTest) {
    Source("descript.ttx", "1\n-5\n");
    EXPECT_EQ(ReadBaseDate(m_source.folder()), -5);
    EXPECT_EQ(ReadBaseDate(m_target.folder()), 0);
    EXPECT_FALSE(IsUpdateNewer(m_source.folder(), m_target.folder()));  // signed comparison
    Target("descript.ttx", "7");
    EXPECT_EQ(ReadBaseDate(m_target.folder()), 0);
}

TEST_F(BaseUpdateTest, FailedCopyChangesNoTableAndTellsTheUserOnce) {
    if (geteuid() == 0) {
        // Root reads any file whatever its mode: make the copy fail on a folder named like a table.
        std::filesystem::create_directories(m_source.path() / "class.ttx");
    } else {
        Source("class.ttx", "b");
        chmod(m_source.file("class.ttx").c_str(), 0);
    }
    Source("Items.ttx", "new a");
    Source("typelist.ttx", "new c");
    Source("descript.ttx", "5\n2\n");
    Target("Items.ttx", "old a");
    Target("class.ttx", "old b");
    Target("descript.ttx", "5\n1\n");
    Target("typelist.ttx.tmp", "leftover");
    EXPECT_EQ(Update(), kOk);
    EXPECT_EQ(TargetText("Items.ttx"), "old a");
    EXPECT_EQ(TargetText("class.ttx"), "old b");
    EXPECT_EQ(TargetText("descript.ttx"), "5\n1\n");
    EXPECT_FALSE(std::filesystem::exists(m_target.file("Items.ttx.tmp")));
    ASSERT_EQ(m_user.messages.size(), 1u);
    EXPECT_EQ(Cp1251ToUtf8(m_user.messages[0].text)
                  .rfind("Не удалось обновить базу данных!\nпри следующем запуске будет произведена ещё одна попытка "
                         "обновления.",
                         0),
              0u);
    EXPECT_EQ(m_user.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(m_user.messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(m_log.entryCount(), 1);
    EXPECT_NE(m_log.text().find("CopyTransaction::Commit"), std::string::npos);
}

TEST_F(BaseUpdateTest, CommitInOrderOverwritesLeftoversAndReplacesTheDescriptorLast) {
    Source("descript.ttx", "d");
    Source("x.ttx", "x");
    Target("x.ttx.tmp", "leftover from an earlier run");
    CopyTransaction transaction;
    transaction.sourceFolder = m_source.folder();
    transaction.targetFolder = m_target.folder();
    transaction.names = {"descript.ttx", "x.ttx"};
    EXPECT_EQ(transaction.Commit(), kOk);
    EXPECT_EQ(transaction.copied, (std::vector<std::string>{"descript.ttx", "x.ttx"}));
    EXPECT_EQ(TargetText("x.ttx"), "x");
    EXPECT_EQ(TargetNames(), (std::vector<std::string>{"descript.ttx", "x.ttx"}));
}

TEST_F(BaseUpdateTest, ATableThatCannotBeReplacedLeavesTheOldBaseWholeAndTheOldDate) {
    Source("a.ttx", "new a");
    Source("b.ttx", "new b");
    Source("descript.ttx", "5\n2\n");
    Target("a.ttx", "old a");
    std::filesystem::create_directories(m_target.path() / "b.ttx");  // nothing can be renamed over it
    Target("descript.ttx", "5\n1\n");
    CopyTransaction transaction;
    transaction.sourceFolder = m_source.folder();
    transaction.targetFolder = m_target.folder();
    transaction.names = {"a.ttx", "b.ttx", "descript.ttx"};
    EXPECT_LT(transaction.Commit(), 0);
    EXPECT_EQ(TargetText("a.ttx"), "old a");
    EXPECT_EQ(TargetText("descript.ttx"), "5\n1\n");
    EXPECT_TRUE(std::filesystem::is_directory(m_target.file("b.ttx")));
    EXPECT_EQ(TargetNames(), (std::vector<std::string>{"a.ttx", "b.ttx", "descript.ttx"}));
    EXPECT_EQ(m_log.entryCount(), 1);
    EXPECT_NE(m_log.text().find("CopyTransaction::Commit"), std::string::npos);
}

// A process that dies between two renames of an update: what the program next reads is the old
// base whole, and the update that follows brings the new base whole.
TEST_F(BaseUpdateTest, AnUpdateInterruptedBetweenTwoRenamesLeavesTheOldBaseOrTheNew) {
    Source("descript.ttx", "5\n2\n");
    Source("Items.ttx", "new a");
    Source("class.ttx", "new b");
    Source("typelist.ttx", "new c");  // a table the base does not have yet
    const auto interruptAfter = [&](int renames) {
        Target("descript.ttx", "5\n1\n");
        Target("Items.ttx", "old a");
        Target("class.ttx", "old b");
        const pid_t child = fork();
        if (child == 0) {
            CopyTransaction transaction;
            transaction.sourceFolder = m_source.folder();
            transaction.targetFolder = m_target.folder();
            transaction.names = {"descript.ttx", "Items.ttx", "class.ttx", "typelist.ttx"};
            int done = 0;
            transaction.betweenRenames = [&](const std::string&) {
                if (++done == renames) _exit(0);
            };
            transaction.Commit();
            _exit(1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << renames;
    };
    const std::vector<std::string> oldNames{"Items.ttx", "class.ttx", "descript.ttx"};
    for (int renames = 1; renames <= 4; ++renames) {
        interruptAfter(renames);
        // The next start, without the update folder.
        EXPECT_EQ(UpdateBase(m_target.folder() + "absent/", m_target.folder(), &m_user), kOk);
        EXPECT_EQ(TargetText("Items.ttx") + TargetText("class.ttx") + TargetText("descript.ttx"), "old aold b5\n1\n")
            << renames;
        EXPECT_EQ(TargetNames(), oldNames) << renames;
    }
    interruptAfter(2);
    EXPECT_EQ(Update(), kOk);
    EXPECT_EQ(
        TargetText("Items.ttx") + TargetText("class.ttx") + TargetText("typelist.ttx") + TargetText("descript.ttx"),
        "new anew bnew c5\n2\n");
    EXPECT_EQ(TargetNames(), (std::vector<std::string>{"Items.ttx", "class.ttx", "descript.ttx", "typelist.ttx"}));
    EXPECT_TRUE(m_user.messages.empty());
}

TEST_F(BaseUpdateTest, ReadOnlySourceFilesArriveWritable) {
    Source("descript.ttx", "5\n9\n");
    chmod(m_source.file("descript.ttx").c_str(), 0444);
    EXPECT_EQ(Update(), kOk);
    struct stat info {};
    ASSERT_EQ(stat(m_target.file("descript.ttx").c_str(), &info), 0);
    EXPECT_TRUE(info.st_mode & S_IWUSR);
}

TEST_F(BaseUpdateTest, AFifoInTheUpdateFolderIsRefusedWithoutWaiting) {
    alarm(60);  // a wait for a writer would end the test program here
    Source("descript.ttx", "5\n2\n");
    ASSERT_EQ(mkfifo(m_source.file("Items.ttx").c_str(), 0644), 0);
    Target("Items.ttx", "old a");
    Target("descript.ttx", "5\n1\n");
    EXPECT_EQ(Update(), kOk);
    EXPECT_EQ(TargetText("Items.ttx"), "old a");
    EXPECT_EQ(m_user.messages.size(), 1u);
    std::filesystem::remove(m_target.file("descript.ttx"));
    ASSERT_EQ(mkfifo(m_target.file("descript.ttx").c_str(), 0644), 0);
    EXPECT_EQ(ReadBaseDate(m_target.folder()), 0);
    alarm(0);
}

TEST(FileBaseName, DropsFolderAndExtension) {
    EXPECT_EQ(GetFileBaseName("Items.ttx"), "Items");
    EXPECT_EQ(GetFileBaseName("c:\\base\\class.TTX"), "class");
    EXPECT_EQ(GetFileBaseName("/a.b/name.tar.gz"), "name.tar");
    EXPECT_EQ(GetFileBaseName("noext"), "noext");
}

// The update folder is outside input: it hands over only regular files of the names a base knows,
// each within its bound, and names the file it refuses.
TEST_F(BaseUpdateTest, OnlyKnownRegularTablesWithinTheirBoundsAreTaken) {
    TempDir elsewhere;
    const std::string secret = elsewhere.file("secret-of-the-user");
    WriteFile(secret, "not a table");
    Source("descript.ttx", "5\n2\n");
    Source("Items.ttx", "new items");
    Source("junk-0001.ttx", "junk");
    ASSERT_EQ(symlink(secret.c_str(), m_source.file("class.ttx").c_str()), 0);
    Target("descript.ttx", "5\n1\n");
    Target("class.ttx", "old class");
    EXPECT_EQ(Update(), kOk);
    EXPECT_EQ(TargetText("class.ttx"), "old class");
    EXPECT_EQ(TargetText("descript.ttx"), "5\n1\n");
    ASSERT_EQ(m_user.messages.size(), 1u);
    EXPECT_NE(Cp1251ToUtf8(m_user.messages[0].text).find(m_source.file("class.ttx") + ": это ссылка"),
              std::string::npos)
        << Cp1251ToUtf8(m_user.messages[0].text);
    EXPECT_NE(m_log.text().find("class.ttx: is a symbolic link"), std::string::npos) << m_log.text();

    // A sparse table of gigabytes takes a few kilobytes of the update folder.
    std::filesystem::remove(m_source.file("class.ttx"));
    Source("typelist.ttx", "");
    ASSERT_EQ(truncate(m_source.file("typelist.ttx").c_str(), off_t{1} << 31), 0);
    EXPECT_EQ(Update(), kOk);
    EXPECT_FALSE(std::filesystem::exists(m_target.file("typelist.ttx")));
    EXPECT_FALSE(std::filesystem::exists(m_target.file("typelist.ttx.tmp")));
    ASSERT_EQ(m_user.messages.size(), 2u);
    EXPECT_NE(m_log.text().find("typelist.ttx: is 2147483648 bytes, more than"), std::string::npos) << m_log.text();

    // Without them the update goes through, and the junk stays out of the data folder. A link left
    // where a temporary copy goes is replaced, not written through.
    std::filesystem::remove(m_source.file("typelist.ttx"));
    ASSERT_EQ(symlink(secret.c_str(), m_target.file("Items.ttx.tmp").c_str()), 0);
    EXPECT_EQ(Update(), kOk);
    EXPECT_EQ(TargetNames(), (std::vector<std::string>{"Items.ttx", "class.ttx", "descript.ttx"}));
    EXPECT_EQ(m_user.messages.size(), 2u);
    EXPECT_EQ(ReadFile(secret), "not a table");
}
