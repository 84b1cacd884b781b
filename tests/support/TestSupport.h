// Helpers shared by the test programs: temporary folders, files, a captured error log and a
// recording user port.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/UserPort.h"
#include "showdata/SearchRequest.h"

namespace NorikTest {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    // The folder as a string ending with "/".
    std::string folder() const { return m_path.string() + "/"; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

void WriteFile(const std::string& path, const std::string& bytes);

// Runs a shell command and returns its exit status (-1 when it did not exit normally) and what it
// wrote to standard output.
struct CommandResult {
    int status = -1;
    std::string output;
};
CommandResult RunShell(const std::string& command);

// UTF-8 (as the gsf tool prints names) to UTF-16; characters of the basic plane only.
std::u16string Utf8ToUtf16(const std::string& text);
std::string ReadFile(const std::string& path);

// text compressed by the real xz (--format=lzma and options) as a container entry holds it: the
// header states the decoded length where xz writes the unknown-length marker. Throws when xz
// fails. Uses the files "plain" and "packed" of dir.
std::string XzEntry(const std::string& text, const std::string& options, const TempDir& dir);

// Points the error log at a file of its own for the lifetime of the object.
class ErrorLogCapture {
public:
    ErrorLogCapture();
    ~ErrorLogCapture();
    std::string text() const;
    // Number of entries (lines that start with "<Err>:").
    int entryCount() const;
    std::string path() const { return m_dir.file("Norik.err"); }

private:
    TempDir m_dir;
    std::string m_previous;
    bool m_hadPrevious = false;
};

// A user port that records every message and answers from a queue (Ok/Yes by default).
class RecordingUserPort : public Norik::IUserPort {
public:
    struct Message {
        std::string text;  // Windows-1251 as asked
        std::string caption;
        Norik::MessageButtons buttons;
        Norik::MessageIcon icon;
    };
    Norik::MessageAnswer MessageBox(const std::string& text, const std::string& caption, Norik::MessageButtons buttons,
                                    Norik::MessageIcon icon) override;
    std::vector<Message> messages;
    std::vector<Norik::MessageAnswer> answers;  // consumed front first

    // Every call of the other operations, in order, as one line each: "BeginWait", "EndWait",
    // "OpenDocumentText <path>", "RunAttributeSearch", "OpenResultListWindow".
    void BeginWait() override;
    void EndWait() override;
    bool OpenDocumentText(const std::string& path) override;
    void RunAttributeSearch(ShowData::SearchRequest& request, const std::vector<std::int16_t>* listNumbers) override;
    void OpenResultListWindow(const std::vector<std::int16_t>& numbers,
                              const ShowData::SearchRequest& request) override;

    std::vector<std::string> calls;
    // Results of OpenDocumentText, consumed front first; true when the queue is empty.
    std::vector<bool> openResults;
    std::vector<std::string> openedTexts;  // paths, in order
    // The last attribute search: the request as given, and whether it came with list numbers.
    struct Search {
        ShowData::SearchRequest request;
        bool fromList = false;
        std::vector<std::int16_t> listNumbers;
    };
    std::vector<Search> searches;
    // Applied to the caller's request during RunAttributeSearch, when set (as the dialog would).
    std::function<void(ShowData::SearchRequest&)> onSearch;
    struct ResultWindow {
        std::vector<std::int16_t> numbers;
        ShowData::SearchRequest request;
    };
    std::vector<ResultWindow> resultWindows;
};

}  // namespace NorikTest
