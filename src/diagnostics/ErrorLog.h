// The error log: one append-only text file, one prefixed entry per failing site.
//
// An ErrorLog is a short-lived object: a reporting site creates one, writes one entry and destroys
// it. Every entry is written with one call and flushed at once, so it survives a crash that
// follows. The log lives at $XDG_STATE_HOME/Norik/Norik.err (default ~/.local/state/Norik/Norik.err);
// the environment variable NORIK_ERROR_LOG names another file. When the file cannot be opened the
// entry is lost and nothing else happens: reporting never throws and never changes a result.
// Any thread may report.
#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#include "common/ResultCode.h"

namespace Norik {

class ErrorLog {
public:
    // Opens the log for appending, creating the file (mode 0600) and its folders (mode 0700) when
    // missing.
    ErrorLog();
    ~ErrorLog();
    ErrorLog(const ErrorLog&) = delete;
    ErrorLog& operator=(const ErrorLog&) = delete;

    // Where the log lives for this process.
    static std::string path();

    // Writes "<Err>:MM/DD/YY HH:MM:SS: " + text + line end, cut to 1024 characters, and flushes.
    void WriteEntry(std::string_view text);

    // Writes one error report: "file:function():line\n      code text". sourcePath may be a
    // full path; only its base name is written.
    void ReportError(HResult code, int line, std::string_view sourcePath, std::string_view functionName);
    // The same with a third line "      dataFile: problem" naming the data file a failure concerns.
    void ReportError(HResult code, int line, std::string_view sourcePath, std::string_view functionName,
                     std::string_view dataFile, std::string_view problem);

    // Appends text as it stands, without the entry prefix (further blocks of a crash report).
    void WriteRaw(std::string_view text);

    bool isOpen() const { return m_file != nullptr; }

private:
    std::FILE* m_file = nullptr;
};

// The longest entry, prefix and line end included; longer entries are cut.
inline constexpr std::size_t kMaxEntryLength = 1024;
inline constexpr std::size_t kEntryPrefixLength = 25;

// Writes the entry prefix "<Err>:MM/DD/YY HH:MM:SS: " for a local time: exactly kEntryPrefixLength
// characters, no terminator. Allocates nothing and calls nothing, so the crash handler uses it too.
void FormatEntryPrefix(const std::tm& local, char* out);

// "0x%08x (message)": the system's message for a 0x8007xxxx code, our own text for the codes we
// name, "Unknown error" otherwise. Hexadecimal digits are lower case.
std::string FormatSystemError(HResult code);

// The base name of a source path: the text after the last "/" or "\".
std::string_view SourceBaseName(std::string_view sourcePath);

// Creates an ErrorLog, reports, destroys it and returns the code unchanged.
HResult ReportError(HResult code, int line, std::string_view sourcePath, std::string_view functionName);
// The same for a failure that concerns a data file: the entry names the file and the problem.
HResult ReportDamage(HResult code, int line, std::string_view sourcePath, std::string_view functionName,
                     std::string_view dataFile, std::string_view problem);

// Creates the missing folders of path, each with mode 0700 whatever the process's umask (which
// can only take bits from it); false when one cannot be made. Links on the way are followed.
bool MakeFoldersPrivate(const std::string& path);

}  // namespace Norik

// Reports code from the calling site with its own file and line; evaluates to the code.
#define NORIK_REPORT(code, functionName) ::Norik::ReportError((code), __LINE__, __FILE__, (functionName))
// Reports code for the data file dataFile, whose problem is described; evaluates to the code.
#define NORIK_REPORT_DAMAGE(code, functionName, dataFile, problem) \
    ::Norik::ReportDamage((code), __LINE__, __FILE__, (functionName), (dataFile), (problem))
