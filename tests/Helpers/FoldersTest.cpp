#include <gtest/gtest.h>

#include <filesystem>

#include "Helpers/Cp1251.h"
#include "Helpers/Folders.h"
#include "TestSupport.h"
#include "platform/Profile.h"

using namespace Norik;
using NorikTest::TempDir;
using NorikTest::WriteFile;

class FoldersTest : public ::testing::Test {
protected:
    FoldersTest() {
        std::filesystem::create_directories(m_program.path() / "data");
        std::filesystem::create_directories(m_alternative.path());
    }
    ~FoldersTest() override { ConfigureFolders({}); }
    void Configure() {
        ConfigureFolders({.profile = &m_profile, .userPort = &m_user, .programFolder = m_program.folder()});
    }
    std::string DataFolder() const { return m_program.folder() + "data/"; }
    std::string AlternativeSetting() const { return m_alternative.path().string(); }

    TempDir m_program;
    TempDir m_alternative;
    MemoryProfile m_profile;
    NorikTest::RecordingUserPort m_user;
};

TEST_F(FoldersTest, NoSettingsAndContainerBesideTheProgram) {
    WriteFile(DataFolder() + "Norik.sdb", "x");
    Configure();
    EXPECT_EQ(GetProgramFolder(), m_program.folder());
    EXPECT_EQ(GetDataFolder(), DataFolder());
    EXPECT_EQ(GetIndexFolder(), DataFolder());
    EXPECT_TRUE(m_user.messages.empty());
}

TEST_F(FoldersTest, ContainerFromTheIndexFolderTablesFromTheProgramFolderUnlessModeTwo) {
    WriteFile(m_alternative.file("Norik.sdb"), "x");
    m_profile.WriteProfileString(kSectionUpdatePath, kValueIndex, AlternativeSetting());
    Configure();
    EXPECT_EQ(GetDataFolder(), m_alternative.folder());
    EXPECT_EQ(GetIndexFolder(), DataFolder());

    m_profile.WriteProfileInt(kSectionUpdatePath, kValueLevelIndex, 2);
    Configure();
    EXPECT_EQ(GetIndexFolder(), m_alternative.folder());
}

TEST_F(FoldersTest, TrailingSlashInTheSettingIsDoubled) {
    m_profile.WriteProfileString(kSectionUpdatePath, kValueIndex, AlternativeSetting() + "/");
    m_profile.WriteProfileInt(kSectionUpdatePath, kValueLevelIndex, 2);
    Configure();
    EXPECT_EQ(GetIndexFolder(), AlternativeSetting() + "//");
}

TEST_F(FoldersTest, MissingContainerIsSearchedAgainUntilItAppears) {
    m_profile.WriteProfileString(kSectionUpdatePath, kValueIndex, AlternativeSetting());
    Configure();
    EXPECT_EQ(GetDataFolder(), DataFolder());
    WriteFile(m_alternative.file("Norik.sdb"), "x");
    EXPECT_EQ(GetDataFolder(), m_alternative.folder());
    WriteFile(DataFolder() + "Norik.sdb", "x");
    EXPECT_EQ(GetDataFolder(), m_alternative.folder());  // remembered once found
}

TEST_F(FoldersTest, ModeOneUpdatesOnceOnTheFirstRequest) {
    WriteFile(m_alternative.file("descript.ttx"), "5\n40000\n");
    WriteFile(m_alternative.file("class.ttx"), "new");
    WriteFile(DataFolder() + "descript.ttx", "5\n39999\n");
    m_profile.WriteProfileString(kSectionUpdatePath, kValueIndex, AlternativeSetting());
    m_profile.WriteProfileInt(kSectionUpdatePath, kValueLevelIndex, 1);
    Configure();
    EXPECT_EQ(GetIndexFolder(), DataFolder());
    EXPECT_EQ(NorikTest::ReadFile(DataFolder() + "class.ttx"), "new");
    WriteFile(m_alternative.file("descript.ttx"), "5\n50000\n");
    WriteFile(m_alternative.file("class.ttx"), "newer");
    EXPECT_EQ(GetIndexFolder(), DataFolder());
    EXPECT_EQ(NorikTest::ReadFile(DataFolder() + "class.ttx"), "new");
}

TEST_F(FoldersTest, BaseOverrideSetsBothFolders) {
    ConfigureFolders({.profile = &m_profile, .programFolder = m_program.folder(), .baseOverride = "/srv/base"});
    EXPECT_EQ(GetDataFolder(), "/srv/base/");
    EXPECT_EQ(GetIndexFolder(), "/srv/base/");
}

// Installed, the executables are in <prefix>/lib/norik/ and the base in <prefix>/share/norik/data/;
// a "data/" beside the executables (the build folder) still comes first.
TEST(InstalledFolders, TheBaseIsFoundInTheSharedFolderWhenNoneIsBesideTheProgram) {
    TempDir prefix;
    const std::string program = prefix.folder() + "lib/norik/";
    const std::string shared = prefix.folder() + "share/norik/data/";
    std::filesystem::create_directories(program);
    std::filesystem::create_directories(shared);
    EXPECT_EQ(SharedFolderOf(program), prefix.folder() + "share/norik/");
    ConfigureFolders({.programFolder = program});
    EXPECT_EQ(GetDataFolder(), shared);
    EXPECT_EQ(GetIndexFolder(), shared);

    std::filesystem::create_directories(program + "data");
    ConfigureFolders({.programFolder = program});
    EXPECT_EQ(GetDataFolder(), program + "data/");
    EXPECT_EQ(GetIndexFolder(), program + "data/");
    ConfigureFolders({});
}

TEST(ProgramFolder, IsTheExecutablesFolder) {
    ConfigureFolders({});
    const std::string folder = GetProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(GetTempFolder().back(), '/');
}

TEST(Cp1251, RoundTripsRussianTextAndMarksWhatItCannotHold) {
    const std::string utf8 = "Не заданы реквизиты поиска! Ёё №5 «x»";
    const std::string cp = Utf8ToCp1251(utf8);
    EXPECT_EQ(cp.size(), 37u);
    EXPECT_EQ(static_cast<unsigned char>(cp[0]), 0xCD);  // Н
    EXPECT_EQ(Cp1251ToUtf8(cp), utf8);
    EXPECT_EQ(Utf8ToCp1251("日\xff"), "??");
    EXPECT_EQ(Cp1251ToUnicode(0xA8), U'Ё');
}
