#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include "LogStamp.h"
#include "TestSupport.h"
#include "diagnostics/ErrorLog.h"

using namespace Norik;
using NorikTest::ErrorLogCapture;

TEST(ErrorLog, EntryHasPrefixSourceFunctionLineAndCodeText) {
    ErrorLogCapture capture;
    EXPECT_FALSE(std::filesystem::exists(capture.path()));
    const std::time_t before = std::time(nullptr);
    const HResult code = ReportError(SystemErrorCode(ENOENT), 450, "/src/Helpers/SFile.cpp", "SFileStream::Open");
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(code, static_cast<HResult>(0x80070002u));
    const std::string text = capture.text();
    const std::regex entry(R"(<Err>:\d\d/\d\d/\d\d \d\d:\d\d:\d\d: SFile\.cpp:SFileStream::Open\(\):450\n)"
                           R"(      0x80070002 \(No such file or directory\)\n)");
    EXPECT_TRUE(std::regex_match(text, entry)) << text;
    EXPECT_TRUE(NorikTest::StampedBetween(text, before, after)) << text.substr(0, 40);
}

TEST(ErrorLog, EntriesAppendAndWindowsPathsKeepTheirBaseName) {
    ErrorLogCapture capture;
    ReportError(kFail, 1, "c:\\work\\ListDoc.cpp", "ShowData::CShowDoc::Init");
    NORIK_REPORT(kFail, "Here");
    EXPECT_EQ(capture.entryCount(), 2);
    EXPECT_NE(capture.text().find(": ListDoc.cpp:ShowData::CShowDoc::Init():1\n"), std::string::npos);
    EXPECT_NE(capture.text().find("ErrorLogTest.cpp:Here():"), std::string::npos);
}

TEST(ErrorLog, LongEntryIsCutTo1024Characters) {
    ErrorLogCapture capture;
    {
        ErrorLog log;
        log.WriteEntry(std::string(5000, 'x'));
    }
    EXPECT_EQ(capture.text().size(), 1024u);
}

TEST(ErrorLog, MissingFolderIsCreatedAndUnwritableLogIsSilentlyLost) {
    NorikTest::TempDir dir;
    const std::string nested = dir.file("a/b/Norik.err");
    setenv("NORIK_ERROR_LOG", nested.c_str(), 1);
    EXPECT_EQ(ReportError(kFail, 3, "x.cpp", "F"), kFail);
    EXPECT_TRUE(std::filesystem::exists(nested));
    setenv("NORIK_ERROR_LOG", "/proc/no-such-place/Norik.err", 1);
    EXPECT_EQ(ReportError(kFail, 3, "x.cpp", "F"), kFail);
    unsetenv("NORIK_ERROR_LOG");
}

TEST(FormatSystemError, CodesAndTheirTexts) {
    EXPECT_EQ(FormatSystemError(SystemErrorCode(EACCES)), "0x8007000d (Permission denied)");
    EXPECT_EQ(FormatSystemError(kFail), "0x80004005 (Unspecified error)");
    EXPECT_EQ(FormatSystemError(kStgFileNotFound), "0x80030002 (The file or stream could not be found.)");
    EXPECT_EQ(FormatSystemError(static_cast<HResult>(0x8007fff0u)), "0x8007fff0 (Unknown error)");
    EXPECT_EQ(FormatSystemError(static_cast<HResult>(0x81234567u)), "0x81234567 (Unknown error)");
    EXPECT_EQ(FormatSystemError(0), "0x00000000 (Unknown error)");
}

TEST(SystemErrorCode, ConversionRule) {
    EXPECT_EQ(SystemErrorCode(2), static_cast<HResult>(0x80070002u));
    EXPECT_EQ(SystemErrorCode(0x12345), static_cast<HResult>(0x80072345u));
    EXPECT_EQ(SystemErrorCode(0), 0);
    EXPECT_EQ(SystemErrorCode(-5), -5);
}

// Whatever the umask, the log and the folders made for it are the user's alone.
TEST(ErrorLog, LogAndItsFoldersArePrivateUnderAnOpenUmask) {
    const NorikTest::TempDir dir;
    const std::string path = dir.file("state/Norik/Norik.err");
    const char* before = std::getenv("NORIK_ERROR_LOG");
    const std::string previous = before != nullptr ? before : "";
    ::setenv("NORIK_ERROR_LOG", path.c_str(), 1);
    const mode_t mask = ::umask(0);
    ErrorLog().WriteEntry("entry");
    ::umask(mask);
    if (before != nullptr) {
        ::setenv("NORIK_ERROR_LOG", previous.c_str(), 1);
    } else {
        ::unsetenv("NORIK_ERROR_LOG");
    }
    const auto mode = [](const std::string& file) {
        struct stat info {};
        EXPECT_EQ(::stat(file.c_str(), &info), 0) << file;
        return info.st_mode & 0777;
    };
    EXPECT_EQ(mode(path), 0600u);
    EXPECT_EQ(mode(dir.file("state/Norik")), 0700u);
    EXPECT_EQ(mode(dir.file("state")), 0700u);
}
