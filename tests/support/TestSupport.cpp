#include "TestSupport.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace NorikTest {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "norik-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Make read-only leftovers removable first.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ignored);
    }
    std::filesystem::remove_all(m_path, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

CommandResult RunShell(const std::string& command) {
    CommandResult result;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return result;
    char chunk[65536];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) result.output.append(chunk, got);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::u16string Utf8ToUtf16(const std::string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = [&](std::size_t k) { return i + k < text.size() ? text[i + k] & 0x3F : 0; };
        if (c < 0x80) {
            out.push_back(c);
            i += 1;
        } else if ((c & 0xE0) == 0xC0) {
            out.push_back(static_cast<char16_t>(((c & 0x1F) << 6) | next(1)));
            i += 2;
        } else {
            out.push_back(static_cast<char16_t>(((c & 0x0F) << 12) | (next(1) << 6) | next(2)));
            i += 3;
        }
    }
    return out;
}

ErrorLogCapture::ErrorLogCapture() {
    if (const char* previous = std::getenv("NORIK_ERROR_LOG")) {
        m_previous = previous;
        m_hadPrevious = true;
    }
    setenv("NORIK_ERROR_LOG", path().c_str(), 1);
}

ErrorLogCapture::~ErrorLogCapture() {
    if (m_hadPrevious) {
        setenv("NORIK_ERROR_LOG", m_previous.c_str(), 1);
    } else {
        unsetenv("NORIK_ERROR_LOG");
    }
}

std::string ErrorLogCapture::text() const { return ReadFile(path()); }

int ErrorLogCapture::entryCount() const {
    std::istringstream lines(text());
    int count = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("<Err>:", 0) == 0) ++count;
    }
    return count;
}

Norik::MessageAnswer RecordingUserPort::MessageBox(const std::string& text, const std::string& caption,
                                                   Norik::MessageButtons buttons, Norik::MessageIcon icon) {
    messages.push_back({text, caption, buttons, icon});
    if (!answers.empty()) {
        auto answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    return buttons == Norik::MessageButtons::YesNo ? Norik::MessageAnswer::Yes : Norik::MessageAnswer::Ok;
}

void RecordingUserPort::BeginWait() { calls.emplace_back("BeginWait"); }

void RecordingUserPort::EndWait() { calls.emplace_back("EndWait"); }

bool RecordingUserPort::OpenDocumentText(const std::string& path) {
    calls.push_back("OpenDocumentText " + path);
    openedTexts.push_back(path);
    if (openResults.empty()) return true;
    const bool result = openResults.front();
    openResults.erase(openResults.begin());
    return result;
}

void RecordingUserPort::RunAttributeSearch(ShowData::SearchRequest& request,
                                           const std::vector<std::int16_t>* listNumbers) {
    calls.emplace_back("RunAttributeSearch");
    searches.push_back({request, listNumbers != nullptr, listNumbers ? *listNumbers : std::vector<std::int16_t>{}});
    if (onSearch) onSearch(request);
}

void RecordingUserPort::OpenResultListWindow(const std::vector<std::int16_t>& numbers,
                                             const ShowData::SearchRequest& request) {
    calls.emplace_back("OpenResultListWindow");
    resultWindows.push_back({numbers, request});
}

std::string XzEntry(const std::string& text, const std::string& options, const TempDir& dir) {
    WriteFile(dir.file("plain"), text);
    const std::string command =
        "xz --format=lzma " + options + " -c '" + dir.file("plain") + "' > '" + dir.file("packed") + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("xz failed");
    std::string entry = ReadFile(dir.file("packed"));
    // Bytes 5-12: the decoded length, 64 bits little-endian.
    if (entry.size() < 13) throw std::runtime_error("xz wrote no header");
    std::uint64_t length = text.size();
    for (int i = 0; i < 8; ++i, length >>= 8) entry[5 + static_cast<std::size_t>(i)] = static_cast<char>(length & 0xFF);
    return entry;
}

}  // namespace NorikTest
