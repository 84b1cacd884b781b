#include "diagnostics/ErrorLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace Norik {

namespace {

constexpr std::size_t kMaxSystemMessage = 896;

std::string DefaultLogPath() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) {
        return std::string(state) + "/Norik/Norik.err";
    }
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/state/Norik/Norik.err";
}

// Texts of the non-system codes the program itself produces.
const char* OwnCodeText(HResult code) {
    switch (static_cast<std::uint32_t>(code)) {
        case 0x80004005u:
            return "Unspecified error";
        case 0x80030001u:
            return "Unable to perform requested operation.";
        case 0x80030002u:
            return "The file or stream could not be found.";
        case 0x80030003u:
            return "The path could not be found.";
        case 0x80030005u:
            return "Access denied.";
        case 0x80030008u:
            return "There is insufficient memory available to complete operation.";
        case 0x8003001Eu:
            return "A disk error occurred during a read operation.";
        case 0x800300FBu:
            return "The file is not a valid compound file.";
        case 0x800300FCu:
            return "The name is not valid.";
        case 0x80030104u:
            return "The compound file was produced with an incompatible version of storage.";
        case 0x80030109u:
            return "The compound file is corrupt.";
        case 0x80040200u:
            return "The data file is damaged.";
        case 0x80040201u:
            return "Not a regular file.";
        case 0x80040202u:
            return "The data is larger than any base holds.";
        default:
            return nullptr;
    }
}

}  // namespace

ErrorLog::ErrorLog() {
    const std::string logPath = path();
    const auto folder = std::filesystem::path(logPath).parent_path();
    if (!folder.empty()) MakeFoldersPrivate(folder.string());
    // The log tells what the user's bases hold: it is the user's alone.
    const int fd = ::open(logPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    m_file = ::fdopen(fd, "a");
    if (!m_file) ::close(fd);
}

bool MakeFoldersPrivate(const std::string& path) {
    std::error_code code;
    if (path.empty() || std::filesystem::is_directory(path, code)) return true;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty() && parent != path && !MakeFoldersPrivate(parent.string())) return false;
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

ErrorLog::~ErrorLog() {
    if (m_file) (void)std::fclose(m_file);
}

std::string ErrorLog::path() {
    if (const char* named = std::getenv("NORIK_ERROR_LOG"); named && *named) return named;
    return DefaultLogPath();
}

void ErrorLog::WriteEntry(std::string_view text) {
    if (!m_file) return;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char prefix[kEntryPrefixLength];
    FormatEntryPrefix(local, prefix);
    std::string entry(prefix, kEntryPrefixLength);
    entry.append(text);
    entry.push_back('\n');
    if (entry.size() > kMaxEntryLength) entry.resize(kMaxEntryLength);
    // A log that cannot be written has nowhere to say so: the entry is lost and the program goes
    // on, as it does without a log at all.
    (void)std::fwrite(entry.data(), 1, entry.size(), m_file);
    (void)std::fflush(m_file);
}

void ErrorLog::WriteRaw(std::string_view text) {
    if (!m_file) return;
    (void)std::fwrite(text.data(), 1, text.size(), m_file);
    (void)std::fflush(m_file);
}

void ErrorLog::ReportError(HResult code, int line, std::string_view sourcePath, std::string_view functionName) {
    ReportError(code, line, sourcePath, functionName, {}, {});
}

void ErrorLog::ReportError(HResult code, int line, std::string_view sourcePath, std::string_view functionName,
                           std::string_view dataFile, std::string_view problem) {
    std::string text;
    text.append(SourceBaseName(sourcePath));
    text.push_back(':');
    text.append(functionName);
    text.append("():");
    text.append(std::to_string(line));
    text.append("\n      ");
    text.append(FormatSystemError(code));
    if (!dataFile.empty() || !problem.empty()) {
        text.append("\n      ");
        text.append(dataFile);
        if (!dataFile.empty() && !problem.empty()) text.append(": ");
        text.append(problem);
    }
    WriteEntry(text);
}

void FormatEntryPrefix(const std::tm& local, char* out) {
    const auto twoDigits = [&out](int value) {
        value = value < 0 ? 0 : value % 100;
        *out++ = static_cast<char>('0' + value / 10);
        *out++ = static_cast<char>('0' + value % 10);
    };
    const auto text = [&out](const char* characters) {
        while (*characters) *out++ = *characters++;
    };
    text("<Err>:");
    twoDigits(local.tm_mon + 1);
    text("/");
    twoDigits(local.tm_mday);
    text("/");
    twoDigits(local.tm_year + 1900);
    text(" ");
    twoDigits(local.tm_hour);
    text(":");
    twoDigits(local.tm_min);
    text(":");
    twoDigits(local.tm_sec);
    text(": ");
}

std::string_view SourceBaseName(std::string_view sourcePath) {
    const auto slash = sourcePath.find_last_of("/\\");
    return slash == std::string_view::npos ? sourcePath : sourcePath.substr(slash + 1);
}

std::string FormatSystemError(HResult code) {
    const auto bits = static_cast<std::uint32_t>(code);
    std::string message;
    if ((bits & 0xFFFF0000u) == 0x80070000u) {
        char buffer[kMaxSystemMessage];
        // The GNU strerror_r returns the text, which may or may not live in the buffer.
        const char* text = strerror_r(static_cast<int>(bits & 0xFFFFu), buffer, sizeof buffer);
        if (text && std::strncmp(text, "Unknown error", 13) != 0)
            message.assign(text, strnlen(text, kMaxSystemMessage));
    } else if (const char* own = OwnCodeText(code)) {
        message = own;
    }
    if (message.empty()) message = "Unknown error";
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", bits);
    return std::string(hex) + " (" + message + ")";
}

HResult ReportError(HResult code, int line, std::string_view sourcePath, std::string_view functionName) {
    ErrorLog log;
    log.ReportError(code, line, sourcePath, functionName);
    return code;
}

HResult ReportDamage(HResult code, int line, std::string_view sourcePath, std::string_view functionName,
                     std::string_view dataFile, std::string_view problem) {
    ErrorLog log;
    log.ReportError(code, line, sourcePath, functionName, dataFile, problem);
    return code;
}

}  // namespace Norik
