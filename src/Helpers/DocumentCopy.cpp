#include "Helpers/DocumentCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

#include "Helpers/Cp1251.h"
#include "Helpers/SUn7zFile.h"

namespace Norik {

namespace {

constexpr int kCopyBlockSize = 65536;
constexpr std::string_view kCopyFolderPrefix = "norik-copies-";
// mkdtemp's random part of the folder name.
constexpr std::size_t kCopyFolderRandomLength = 6;
constexpr const char* kCopyListName = ".norik-copies";
constexpr std::string_view kCopyExtension = ".rtf";
// A run makes a few copies of a document at most; past this many names something else is wrong.
constexpr int kMaxCopyNumber = 1000;
// Far more than the list of a run's copies ever holds (a line is under 320 bytes).
constexpr std::size_t kMaxCopyListBytes = std::size_t{4} << 20;

bool ForbiddenInFileName(unsigned char c) {
    switch (c) {
        case '/':
        case '\\':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return true;
        default:
            return c < 0x20 || c == 0x7F;
    }
}

bool TrimmedAtEnds(char c) { return c == ' ' || c == '.'; }

// The bytes the UTF-8 form of one Windows-1251 byte takes.
std::size_t Utf8Length(unsigned char c) {
    if (c < 0x80) return 1;
    return Cp1251ToUnicode(c) < 0x800 ? 2 : 3;
}

// The longest start of text (UTF-8) of at most maxBytes that ends between two characters.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

// What tells a copy still as it was written from one changed since.
struct CopyIdentity {
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
    bool operator==(const CopyIdentity&) const = default;
};

CopyIdentity IdentityOf(const struct stat& info) {
    return CopyIdentity{static_cast<std::uint64_t>(info.st_ino), static_cast<std::int64_t>(info.st_size),
                        static_cast<std::int64_t>(info.st_mtim.tv_sec),
                        static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
}

template <typename Number>
bool TakeNumber(std::string_view& text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data() + text.size() || *end != ' ') return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()) + 1);
    return true;
}

// A name the list may hold: a copy's file directly in the folder.
bool IsCopyName(std::string_view name) {
    return name.size() > kCopyExtension.size() && name.ends_with(kCopyExtension) &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::string ReadCopyList(int folder) {
    FileDescriptor list(::openat(folder, kCopyListName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    std::string text;
    if (!list) return text;
    char block[4096];
    while (text.size() < kMaxCopyListBytes) {
        const ssize_t count = ::read(list.get(), block, sizeof block);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        text.append(block, static_cast<std::size_t>(count));
    }
    return text;
}

// Removes the copies of the list in the folder folderName of parent that are still as written,
// then the list, then the folder when it is empty. Only a folder of the user's own is looked into.
bool RemoveCopyFolder(int parent, const std::string& folderName) {
    FileDescriptor folder(::openat(parent, folderName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!folder || ::fstat(folder.get(), &info) != 0 || info.st_uid != ::geteuid()) return false;
    const std::string list = ReadCopyList(folder.get());
    std::string_view rest = list;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        // A line cut short (the run ended while writing it) is not trusted.
        if (end == std::string_view::npos) break;
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        CopyIdentity listed;
        if (!TakeNumber(line, listed.inode) || !TakeNumber(line, listed.size) || !TakeNumber(line, listed.seconds) ||
            !TakeNumber(line, listed.nanoseconds) || !IsCopyName(line)) {
            continue;
        }
        const std::string name(line);
        struct stat copy {};
        if (::fstatat(folder.get(), name.c_str(), &copy, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(copy.st_mode) &&
            IdentityOf(copy) == listed) {
            (void)::unlinkat(folder.get(), name.c_str(), 0);
        }
    }
    (void)::unlinkat(folder.get(), kCopyListName, 0);
    return ::unlinkat(parent, folderName.c_str(), AT_REMOVEDIR) == 0;
}

// The process id in a copy folder's name, "norik-copies-<process id>-XXXXXX"; 0 for any other name.
pid_t CopyFolderProcess(std::string_view name) {
    if (!name.starts_with(kCopyFolderPrefix)) return 0;
    name.remove_prefix(kCopyFolderPrefix.size());
    pid_t process = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), process);
    if (error != std::errc() || process <= 0 || end == name.data() + name.size() || *end != '-') return 0;
    const std::string_view random = name.substr(static_cast<std::size_t>(end - name.data()) + 1);
    const bool alphanumeric = std::all_of(random.begin(), random.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
    return random.size() == kCopyFolderRandomLength && alphanumeric ? process : 0;
}

}  // namespace

std::string FileNameFromTitle(std::string_view title, std::string_view fallback) {
    constexpr std::size_t kMaxBytes = kMaxFileNameBytes - kFileNameExtensionBytes;
    std::string name;
    name.reserve(std::min(title.size(), kMaxTitleFileNameLength));
    std::size_t bytes = 0;
    for (const char c : title) {
        const char kept = ForbiddenInFileName(static_cast<unsigned char>(c)) ? '_' : c;
        bytes += Utf8Length(static_cast<unsigned char>(kept));
        if (name.size() == kMaxTitleFileNameLength || bytes > kMaxBytes) break;
        name.push_back(kept);
    }
    // Leading dots would hide the file, trailing ones vanish on some systems; "." and ".." end
    // up empty, so the name never leaves its folder.
    const auto first = std::find_if_not(name.begin(), name.end(), TrimmedAtEnds);
    name.erase(name.begin(), first);
    while (!name.empty() && TrimmedAtEnds(name.back())) name.pop_back();
    return name.empty() ? std::string(fallback) : name;
}

bool CopyEntryToFile(SUn7zFile& entry, FileDescriptor file) {
    if (!file) return false;
    try {
        std::unique_ptr<char[]> block(new char[kCopyBlockSize]);
        bool written = true;
        for (int count; written && (count = entry.Read(block.get(), kCopyBlockSize)) > 0;) {
            written = WriteAll(file.get(), block.get(), static_cast<std::size_t>(count));
        }
        // A damaged entry ends early: a shorter copy must not pass for the text.
        const bool whole = entry.delivered() == entry.length();
        return written && whole && file.Close();
    } catch (const std::bad_alloc&) {
        return false;
    }
}

TemporaryCopies::TemporaryCopies(std::string parentFolder) : m_parentFolder(std::move(parentFolder)) {}

TemporaryCopies::~TemporaryCopies() { RemoveAll(); }

std::optional<TemporaryCopies::NewCopy> TemporaryCopies::Create(std::string_view name) {
    if (m_folder.empty()) {
        std::string pattern = m_parentFolder + std::string(kCopyFolderPrefix) + std::to_string(::getpid()) + "-" +
                              std::string(kCopyFolderRandomLength, 'X');
        // mkdtemp makes the folder with mode 0700 under a name nobody could have taken before.
        if (::mkdtemp(pattern.data()) == nullptr) return std::nullopt;
        m_folder = pattern + "/";
    }
    for (int number = 1; number <= kMaxCopyNumber; ++number) {
        const std::string suffix =
            (number == 1 ? std::string() : " (" + std::to_string(number) + ")") + std::string(kCopyExtension);
        const std::string path = m_folder + std::string(CutUtf8(name, kMaxFileNameBytes - suffix.size())) + suffix;
        FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (file) return NewCopy{path, std::move(file)};
        if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
}

bool TemporaryCopies::Keep(const std::string& path) {
    const std::string name = path.substr(path.find_last_of('/') + 1);
    struct stat info {};
    bool listed = false;
    if (!m_folder.empty() && path == m_folder + name && IsCopyName(name) && name.find('\n') == std::string::npos &&
        ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        const CopyIdentity identity = IdentityOf(info);
        const std::string line = std::to_string(identity.inode) + " " + std::to_string(identity.size) + " " +
                                 std::to_string(identity.seconds) + " " + std::to_string(identity.nanoseconds) + " " +
                                 name + "\n";
        FileDescriptor list(
            ::open((m_folder + kCopyListName).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
        listed = list && WriteAll(list.get(), line.data(), line.size()) && list.Close();
    }
    if (!listed) Discard(path);
    return listed;
}

void TemporaryCopies::Discard(const std::string& path) {
    if (!m_folder.empty() && path.starts_with(m_folder)) (void)::unlink(path.c_str());
}

void TemporaryCopies::RemoveAll() {
    if (m_folder.empty()) return;
    const FileDescriptor parent(::open(m_parentFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent) {
        const std::string name = m_folder.substr(m_parentFolder.size(), m_folder.size() - m_parentFolder.size() - 1);
        (void)RemoveCopyFolder(parent.get(), name);
    }
    m_folder.clear();
}

int RemoveAbandonedCopyFolders(const std::string& parentFolder) {
    const FileDescriptor parent(::open(parentFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent) return 0;
    std::vector<std::string> candidates;
    std::error_code error;
    for (std::filesystem::directory_iterator it(parentFolder, error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        if (CopyFolderProcess(name) != 0) candidates.push_back(std::move(name));
    }
    int removed = 0;
    for (const std::string& name : candidates) {
        const pid_t process = CopyFolderProcess(name);
        struct stat info {};
        if (process == ::getpid() || ::fstatat(parent.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
            continue;
        }
        // A run still going (or a process of another user under that number) keeps its folder.
        if (::kill(process, 0) == 0 || errno != ESRCH) continue;
        if (RemoveCopyFolder(parent.get(), name)) ++removed;
    }
    return removed;
}

}  // namespace Norik
