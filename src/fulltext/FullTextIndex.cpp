// Where an index lives, how it is stamped and checked, and how it is written.
#include "fulltext/FullTextIndex.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xapian.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <thread>
#include <unordered_map>

#include "Helpers/BaseLimits.h"
#include "Helpers/CheckRecord.h"
#include "Helpers/FileBytes.h"
#include "Helpers/FileDescriptor.h"
#include "Helpers/UserCache.h"
#include "diagnostics/CrashReport.h"
#include "fulltext/FullTextTerms.h"
#include "fulltext/IndexFolder.h"
#include "fulltext/TextWords.h"
#include "richtext/PlainText.h"
#include "richtext/RtfLinks.h"

namespace Norik::FullText {

namespace fs = std::filesystem;

namespace {

constexpr const char* kStampName = "norik-fulltext.stamp";
// What the name of a cache index folder set aside as damaged ends with (and a number after it).
constexpr const char* kDamagedMark = ".damaged";
constexpr const char* kStampMagic = "Norik full-text index";
// Raised whenever what is indexed, or how, changes: an index of another format is rebuilt.
constexpr int kFormatVersion = 4;
// A stamp is a few short lines; a larger file is no stamp of ours and is not read.
constexpr std::size_t kMaxStampBytes = 1024;
constexpr std::size_t kMaxBaseKeyBytes = 128;
// What the record of an index's structural check says of a sound index; else it holds why not.
constexpr std::string_view kSoundFinding = "sound";
constexpr std::size_t kMaxFindingBytes = 4096;
// Xapian holds the postings of the documents added since the last commit in memory, in ordered
// maps every word of every document is looked up in: committing after about this many bytes of
// text bounds what a build holds, whatever the size of the texts, and keeps those look-ups short
// (at 24 MB a build took a sixth longer).
constexpr std::size_t kTextBytesPerCommit = std::size_t{8} << 20;
// A build writes its index in parts of at least this many documents (a small base in one), and
// up to this many parts per thread.
constexpr std::size_t kMinDocumentsPerPart = 256;
constexpr std::size_t kPartsPerThread = 4;
constexpr std::size_t kDocumentsPerProgress = 16;

// How many threads a build reads, indexes and writes documents on.
std::size_t MaxWritingThreads() { return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8); }

struct Stamp {
    int format = 0;
    std::int32_t baseDate = 0;
    std::string baseKey;
    std::size_t documents = 0;
};

// The names of the files an index folder holds: the stamp and Xapian's own (glass) files.
bool IsIndexFileName(const std::string& name) {
    if (name == kStampName || name == "iamglass" || name == "flintlock") return true;
    for (const char* table : {"postlist", "termlist", "position", "docdata", "spelling", "synonym"}) {
        const std::string stem = table;
        if (name == stem + ".glass" || name == stem + ".tmp" || name == stem + ".baseA" || name == stem + ".baseB")
            return true;
    }
    return false;
}

// A digest of the content of the index files in the folder open as folderFd (each one's
// FileContentDigest, by name); nothing when one cannot be read.
std::optional<std::uint64_t> IndexFilesDigest(int folderFd) {
    std::vector<std::string> names;
    const int listFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* list = listFd < 0 ? nullptr : ::fdopendir(listFd);
    if (list == nullptr) {
        if (listFd >= 0) ::close(listFd);
        return std::nullopt;
    }
    while (const dirent* entry = ::readdir(list))
        if (IsIndexFileName(entry->d_name)) names.emplace_back(entry->d_name);
    ::closedir(list);
    std::sort(names.begin(), names.end());
    std::uint64_t digest = 0;
    for (const std::string& name : names) {
        const FileDescriptor file(::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        const std::optional<std::uint64_t> one = file ? FileContentDigest(file.get()) : std::nullopt;
        if (!one) return std::nullopt;
        digest = digest * 1099511628211ULL ^ *one;
    }
    return digest;
}

// The stamps of the folder open as folderFd and of its files, sorted by name, the folder's first;
// nothing when it holds anything but an index's files (regular files of the names an index has).
std::optional<std::vector<FileStamp>> IndexFileStamps(int folderFd) {
    struct stat info {};
    if (::fstat(folderFd, &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
    std::vector<std::pair<std::string, FileStamp>> files;
    const int listFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* list = listFd < 0 ? nullptr : ::fdopendir(listFd);
    if (list == nullptr) {
        if (listFd >= 0) ::close(listFd);
        return std::nullopt;
    }
    bool ok = true;
    while (const dirent* entry = ::readdir(list)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat file {};
        if (!IsIndexFileName(name) || ::fstatat(folderFd, name.c_str(), &file, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(file.st_mode)) {
            ok = false;
            break;
        }
        files.emplace_back(name, FileStampOfInfo(file));
    }
    ::closedir(list);
    if (!ok) return std::nullopt;
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    // The folder's own status-change time moves whenever the folder is renamed, which leaves what
    // it holds as it was; its modification time moves when a file is added, removed or renamed.
    std::vector<FileStamp> stamps{FileStampOfInfo(info)};
    stamps.front().changedNs = 0;
    for (const auto& file : files) stamps.push_back(file.second);
    return stamps;
}

// What Xapian's full structural check finds of the index open at path: kSoundFinding, or why not.
// The check runs in a child process of its own: it reads every block of a hostile index, and on
// some damaged tables Xapian's check itself reads past the blocks it holds; whatever it does there
// ends with the child, which only says sound or not. A child that has not finished after
// kCheckSeconds is stopped. lasting: whether the finding holds for these files whenever they are
// checked again (not so for a check that could not start or was stopped).
std::string CheckStructure(int folderFd, bool& lasting) {
    lasting = false;
    constexpr int kCheckSeconds = 300;
    // Xapian's check reads some damaged tables out of bounds itself: it runs as a program of its
    // own (xapian-check), started without a fork of this process's threads, on the folder already
    // open here (as its descriptor 3), its output thrown away.
    static const char* const kChecker = "/usr/bin/xapian-check";
    posix_spawn_file_actions_t actions;
    if (::posix_spawn_file_actions_init(&actions) != 0)
        return "its structure cannot be checked: no process can be started for it";
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ::posix_spawn_file_actions_adddup2(&actions, folderFd, 3);
    if (null >= 0) {
        ::posix_spawn_file_actions_adddup2(&actions, null, STDOUT_FILENO);
        ::posix_spawn_file_actions_adddup2(&actions, null, STDERR_FILENO);
    }
    std::string program = kChecker;
    std::string folder = "/proc/self/fd/3";
    char* const arguments[] = {program.data(), folder.data(), nullptr};
    char* const environment[] = {nullptr};
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, kChecker, &actions, nullptr, arguments, environment);
    ::posix_spawn_file_actions_destroy(&actions);
    if (null >= 0) ::close(null);
    if (spawned != 0) return "its structure cannot be checked: " + std::string(kChecker) + " cannot be started";
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kCheckSeconds);
    bool stopped = false;
    // Looked at often at first: the check of a small index ends within milliseconds.
    for (useconds_t pause = 200;; pause = std::min<useconds_t>(pause * 2, 50000)) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) break;
        if (done < 0 && errno != EINTR) return "its structure cannot be checked: the check was lost";
        if (!stopped && std::chrono::steady_clock::now() > deadline) stopped = ::kill(child, SIGKILL) == 0;
        ::usleep(pause);
    }
    lasting = !stopped;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::string(kSoundFinding);
    if (WIFEXITED(status)) return "Xapian's check of its structure finds faults";
    return "Xapian's check of its structure ends abnormally on it (signal " + std::to_string(WTERMSIG(status)) + ")";
}

// What was found of the index folder in the states stamps tell, this process or an earlier one.
// The process keeps the last few findings, for a folder checked and then opened again (a freshly
// written one is not recorded until it settles).
struct Finding {
    std::string folder;
    std::vector<FileStamp> stamps;
    std::uint64_t digest = 0;
    std::string finding;
};
std::mutex g_findingsMutex;
std::vector<Finding> g_findings;
constexpr std::size_t kFindingsKept = 8;
constexpr std::string_view kFindingKind = "fulltext";

std::optional<std::string> RecallFinding(const std::string& folder, const std::vector<FileStamp>& stamps,
                                         std::uint64_t digest) {
    {
        const std::lock_guard lock(g_findingsMutex);
        for (const Finding& known : g_findings)
            if (known.folder == folder && known.stamps == stamps && known.digest == digest) return known.finding;
    }
    return RecallRecord(folder, kFindingKind, stamps, digest, kMaxFindingBytes);
}

void RememberFinding(const std::string& folder, const std::vector<FileStamp>& stamps, std::uint64_t digest,
                     const std::string& finding) {
    {
        const std::lock_guard lock(g_findingsMutex);
        std::erase_if(g_findings, [&](const Finding& known) { return known.folder == folder; });
        if (g_findings.size() >= kFindingsKept) g_findings.erase(g_findings.begin());
        g_findings.push_back({folder, stamps, digest, finding});
    }
    RememberRecord(folder, kFindingKind, stamps, digest, finding.substr(0, kMaxFindingBytes));
}

// The stamp of the index folder open as folderFd, read no further than a stamp can reach.
std::optional<Stamp> ReadStamp(int folderFd, std::string& why) {
    const FileDescriptor file(::openat(folderFd, kStampName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!file || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        why = "no stamp " + std::string(kStampName);
        return std::nullopt;
    }
    std::string bytes(std::min<std::size_t>(static_cast<std::size_t>(info.st_size), kMaxStampBytes + 1), '\0');
    if (bytes.size() > kMaxStampBytes || !ReadAll(file.get(), bytes.data(), bytes.size())) {
        why = "the stamp " + std::string(kStampName) + " is not one this program writes";
        return std::nullopt;
    }
    std::istringstream text(bytes);
    std::string magic, formatWord, dateWord, keyWord, countWord;
    Stamp stamp;
    std::getline(text, magic);
    if (magic != kStampMagic || !(text >> formatWord >> stamp.format) || formatWord != "format") {
        why = "the stamp " + std::string(kStampName) + " is not one this program writes";
        return std::nullopt;
    }
    // A stamp of another format is told as such, whatever else it holds.
    if (stamp.format != kFormatVersion) return stamp;
    if (!(text >> dateWord >> stamp.baseDate >> keyWord >> stamp.baseKey >> countWord >> stamp.documents) ||
        dateWord != "base-date" || keyWord != "base-key" || countWord != "documents" ||
        stamp.baseKey.size() > kMaxBaseKeyBytes) {
        why = "the stamp " + std::string(kStampName) + " is not one this program writes";
        return std::nullopt;
    }
    return stamp;
}

bool WriteStamp(const fs::path& folder, const Stamp& stamp, std::string& error) {
    std::ostringstream text;
    text << kStampMagic << "\nformat " << stamp.format << "\nbase-date " << stamp.baseDate << "\nbase-key "
         << stamp.baseKey << "\ndocuments " << stamp.documents << "\n";
    const std::string bytes = text.str();
    const fs::path path = folder / kStampName;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    bool ok =
        fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && ::fsync(fd) == 0;
    if (fd >= 0) ok = ::close(fd) == 0 && ok;
    if (!ok) error = path.string() + ": cannot be written";
    return ok;
}

// Removes an index folder this program made: its known files, then the folder. The folder is
// opened without following a link and its files are removed through it, so nothing outside it
// is ever touched; anything else in it keeps the folder standing. ownerOnly: only a folder of
// the user's own. Whether the folder is gone.
bool RemoveIndexFolder(const fs::path& folder, bool ownerOnly = false) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || (ownerOnly && info.st_uid != ::getuid())) {
        ::close(fd);
        return false;
    }
    const int listFd = ::dup(fd);
    if (DIR* list = listFd < 0 ? nullptr : ::fdopendir(listFd)) {
        std::vector<std::string> names;
        while (const dirent* entry = ::readdir(list))
            if (IsIndexFileName(entry->d_name)) names.emplace_back(entry->d_name);
        ::closedir(list);
        for (const std::string& name : names) {
            struct stat file {};
            if (::fstatat(fd, name.c_str(), &file, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(file.st_mode))
                ::unlinkat(fd, name.c_str(), 0);
        }
    } else if (listFd >= 0) {
        ::close(listFd);
    }
    ::close(fd);
    return ::rmdir(folder.c_str()) == 0;
}

// The parts of a cache index folder's name "<key>-<base date>[.damaged[-N]]"; nothing for a
// name of another form.
struct CacheName {
    std::string key;
    std::string date;
    bool damaged = false;
};

std::optional<CacheName> ParseCacheName(const std::string& name) {
    constexpr std::size_t kKeyDigits = 16;
    const auto allOf = [](std::string_view text, auto test) {
        return !text.empty() && std::all_of(text.begin(), text.end(), [&](char c) { return test(c); });
    };
    const auto isHex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (name.size() < kKeyDigits + 2 || name[kKeyDigits] != '-' || !allOf(name.substr(0, kKeyDigits), isHex))
        return std::nullopt;
    CacheName parts;
    parts.key = name.substr(0, kKeyDigits);
    std::string_view rest = std::string_view(name).substr(kKeyDigits + 1);
    if (const std::size_t dot = rest.find('.'); dot != std::string_view::npos) {
        std::string_view mark = rest.substr(dot);
        rest = rest.substr(0, dot);
        if (!mark.starts_with(kDamagedMark)) return std::nullopt;
        mark.remove_prefix(std::string_view(kDamagedMark).size());
        if (!mark.empty() && !(mark.front() == '-' && allOf(mark.substr(1), isDigit))) return std::nullopt;
        parts.damaged = true;
    }
    if (!allOf(rest, isDigit)) return std::nullopt;
    parts.date = rest;
    return parts;
}

// Gathers the plain text of a document and the numbers of the documents its links lead to.
class IndexTextOutput : public PlainTextOutput {
public:
    IndexTextOutput() : PlainTextOutput(TextEncoding::Utf8) {}
    void Text(std::string_view utf8, const CharFormat& format) override {
        if (m_inLink) m_linkText.append(utf8);
        PlainTextOutput::Text(utf8, format);
    }
    void LinkStart(std::string_view target) override {
        m_inLink = true;
        m_target.assign(target);
        m_linkText.clear();
    }
    void LinkEnd() override {
        if (!m_inLink) return;
        m_inLink = false;
        if (const std::optional<int> number = LinkDocumentNumber(m_target, m_linkText))
            links.push_back(static_cast<std::int16_t>(static_cast<std::uint16_t>(*number)));
    }
    std::vector<std::int16_t> links;

private:
    bool m_inLink = false;
    std::string m_target;
    std::string m_linkText;
};

void AddAttributeTerm(Xapian::Document& document, const std::string& term, Xapian::termcount wdf = 1) {
    if (term.size() <= kMaxTermBytes) document.add_term(term, wdf);
}

void AddBooleanTerm(Xapian::Document& document, const std::string& term) {
    if (term.size() <= kMaxTermBytes) document.add_boolean_term(term);
}

}  // namespace

fs::path BaseIndexFolder(const fs::path& baseFolder) { return baseFolder / "fulltext"; }

fs::path CacheIndexFolder(const fs::path& baseFolder, std::int32_t baseDate) {
    std::string name = PathKey(baseFolder);
    name += '-';
    name += baseDate > 0 ? DateKey(baseDate) : std::string("0");
    return UserCacheFolder() / "fulltext" / name;
}

bool IsIndexFolder(const fs::path& folder) {
    const FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return fd && IndexFileStamps(fd.get()).has_value();
}

std::string BaseKey(const fs::path& documentTable, const fs::path& container, std::string& why) {
    // The container's first and last bytes: its header and the blocks written last.
    constexpr std::uint64_t kContainerEndBytes = std::uint64_t{64} * 1024;
    std::uint64_t digest = 14695981039346656037ULL;
    std::vector<char> buffer(std::size_t{64} * 1024);
    // Adds length bytes of fd from offset to the digest; false when they cannot all be read.
    const auto add = [&](int fd, std::uint64_t offset, std::uint64_t length) {
        while (length > 0) {
            const ssize_t got =
                ::pread(fd, buffer.data(), std::min<std::uint64_t>(length, buffer.size()), static_cast<off_t>(offset));
            if (got <= 0) return false;
            for (ssize_t k = 0; k < got; ++k) {
                digest ^= static_cast<unsigned char>(buffer[static_cast<std::size_t>(k)]);
                digest *= 1099511628211ULL;
            }
            offset += static_cast<std::uint64_t>(got);
            length -= static_cast<std::uint64_t>(got);
        }
        return true;
    };
    const FileDescriptor table(::open(documentTable.c_str(), O_RDONLY | O_CLOEXEC));
    const FileDescriptor box(::open(container.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat tableInfo {};
    struct stat boxInfo {};
    if (!table || ::fstat(table.get(), &tableInfo) != 0 || !S_ISREG(tableInfo.st_mode)) {
        why = documentTable.string() + ": cannot be read";
        return {};
    }
    if (!box || ::fstat(box.get(), &boxInfo) != 0 || !S_ISREG(boxInfo.st_mode)) {
        why = container.string() + ": cannot be read";
        return {};
    }
    const auto tableBytes = static_cast<std::uint64_t>(tableInfo.st_size);
    const auto boxBytes = static_cast<std::uint64_t>(boxInfo.st_size);
    if (tableBytes > MaxBaseFileBytes("Items.ttx")) {
        why = documentTable.string() + ": larger than a document table may be";
        return {};
    }
    // No further than the sizes said.
    if (!add(table.get(), 0, tableBytes)) {
        why = documentTable.string() + ": cannot be read";
        return {};
    }
    const std::uint64_t head = std::min(boxBytes, kContainerEndBytes);
    const std::uint64_t tail = std::min(boxBytes - head, kContainerEndBytes);
    if (!add(box.get(), 0, head) || !add(box.get(), boxBytes - tail, tail)) {
        why = container.string() + ": cannot be read";
        return {};
    }
    char key[64];
    std::snprintf(key, sizeof key, "%016llx-%llu", static_cast<unsigned long long>(digest),
                  static_cast<unsigned long long>(boxBytes));
    return key;
}

fs::path SetIndexAside(const fs::path& folder) {
    for (int attempt = 1; attempt <= 9; ++attempt) {
        fs::path aside = folder;
        aside += kDamagedMark + (attempt == 1 ? std::string() : "-" + std::to_string(attempt));
        std::error_code error;
        if (fs::exists(fs::symlink_status(aside, error))) continue;
        fs::rename(folder, aside, error);
        if (!error) return aside;
    }
    return {};
}

std::size_t RemoveSupersededIndexes(const fs::path& current) {
    const std::optional<CacheName> own = ParseCacheName(current.filename().string());
    if (!own || own->damaged) return 0;
    std::size_t removed = 0;
    std::error_code error;
    for (fs::directory_iterator it(current.parent_path(), error), end; !error && it != end; it.increment(error)) {
        const std::optional<CacheName> other = ParseCacheName(it->path().filename().string());
        if (!other || other->key != own->key || (other->date == own->date && !other->damaged)) continue;
        // A folder holding anything but an index's files is left whole.
        if (IsIndexFolder(it->path()) && RemoveIndexFolder(it->path(), true)) ++removed;
    }
    return removed;
}

IndexCheck OpenIndex(const fs::path& folder, const BaseIdentity* base, OpenedIndex& opened) {
    opened = OpenedIndex();
    std::error_code error;
    const fs::file_status status = fs::symlink_status(folder, error);
    if (!fs::exists(status)) return {IndexState::Absent, {}};
    if (!fs::is_directory(status)) return {IndexState::Damaged, folder.string() + " is not a folder"};
    // From here on the folder is read through this descriptor only: a folder renamed into its
    // place meanwhile is never looked at.
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return {IndexState::Damaged, folder.string() + " is not a folder that can be opened"};
    const std::optional<std::vector<FileStamp>> stamps = IndexFileStamps(fd.get());
    if (!stamps) return {IndexState::Damaged, folder.string() + " holds files an index does not"};
    std::string why;
    const std::optional<Stamp> stamp = ReadStamp(fd.get(), why);
    if (!stamp) return {IndexState::Damaged, folder.string() + ": " + why};
    if (stamp->format != kFormatVersion)
        return {IndexState::Stale, folder.string() + ": an index of format " + std::to_string(stamp->format) +
                                       ", this program writes format " + std::to_string(kFormatVersion)};
    if (base != nullptr && stamp->baseDate != base->date)
        return {IndexState::Stale, folder.string() + ": an index of the base of day " +
                                       std::to_string(stamp->baseDate) + ", the base is of day " +
                                       std::to_string(base->date)};
    if (base != nullptr && (base->key.empty() || stamp->baseKey != base->key))
        return {IndexState::Stale, folder.string() + ": an index of another base (made from another document " +
                                       "table or container: " + stamp->baseKey + ", the base is " +
                                       (base->key.empty() ? std::string("unknown") : base->key) + ")"};
    // Xapian reads the folder by the descriptor's name, as a glass database: no stub database is
    // looked for, so none can name a program to start.
    const std::string path = "/proc/self/fd/" + std::to_string(fd.get());
    const std::string name = fs::absolute(folder, error).lexically_normal().string();
    // What the files hold, by their heads and tails: a record of the same states for other content
    // is not taken.
    const std::optional<std::uint64_t> digest = IndexFilesDigest(fd.get());
    if (!digest) return {IndexState::Damaged, folder.string() + ": its files cannot be read"};
    std::optional<std::string> finding = RecallFinding(name, *stamps, *digest);
    bool lasting = false;
    const bool known = finding.has_value();
    if (!known) finding = CheckStructure(fd.get(), lasting);
    const std::string checked = *finding;
    if (*finding == kSoundFinding) {
        try {
            opened.database.emplace(path, Xapian::DB_BACKEND_GLASS);
            const Xapian::doccount count = opened.database->get_doccount();
            if (count != stamp->documents)
                finding =
                    "holds " + std::to_string(count) + " documents, its stamp says " + std::to_string(stamp->documents);
            else if (!NumberOfDocumentId(opened.database->get_lastdocid()) && count > 0)
                finding = "holds a document id no document number has";
        } catch (const Xapian::Error& e) {
            finding = e.get_description();
        }
    }
    // Files changed while they were checked or opened are not the files checked.
    if (IndexFileStamps(fd.get()) != stamps)
        finding = "its files changed while it was being read";
    else if (!known && lasting)
        RememberFinding(name, *stamps, *digest, checked);
    if (*finding != kSoundFinding) {
        opened = OpenedIndex();
        return {IndexState::Damaged, folder.string() + ": " + *finding};
    }
    opened.folder = std::move(fd);
    return {IndexState::Current, {}};
}

IndexCheck CheckIndex(const fs::path& folder, const BaseIdentity& base) {
    OpenedIndex opened;
    return OpenIndex(folder, &base, opened);
}

IndexChoice ChooseIndex(const fs::path& baseFolder, const BaseIdentity& base) {
    IndexChoice choice;
    const fs::path own = BaseIndexFolder(baseFolder);
    choice.own = CheckIndex(own, base);
    if (choice.own.state == IndexState::Current) {
        choice.folder = own;
        return choice;
    }
    const fs::path cache = CacheIndexFolder(baseFolder, base.date);
    choice.cache = CheckIndex(cache, base);
    if (choice.cache.state == IndexState::Current) choice.folder = cache;
    return choice;
}

DocumentText ReadDocumentText(std::string_view rtf) {
    IndexTextOutput output;
    ReadRtf(rtf, output);
    DocumentText text;
    text.plain = output.TakeText();
    text.links = std::move(output.links);
    return text;
}

namespace {

// The Russian stemmer, remembering the stems of the words it met: a text repeats its words, and
// the stemmer costs more than a look-up. Belongs to one thread; forgets all when it holds many.
class RememberingStemmer : public Xapian::StemImplementation {
public:
    std::string operator()(const std::string& word) override {
        if (const auto found = m_stems.find(word); found != m_stems.end()) return found->second;
        if (m_stems.size() >= kMaxRemembered) m_stems.clear();
        return m_stems.emplace(word, m_stemmer(word)).first->second;
    }
    std::string get_description() const override { return m_stemmer.get_description(); }

private:
    static constexpr std::size_t kMaxRemembered = 200000;
    Xapian::Stem m_stemmer{"russian"};
    std::unordered_map<std::string, std::string> m_stems;
};

// The terms and values of one document, and its text's pieces, packed.
void Prepare(Xapian::TermGenerator& generator, TextWords& words, Xapian::Document& document,
             const DocumentFields& fields, const DocumentText* text, std::vector<std::string>& packedPieces) {
    generator.set_document(document);
    // The heading, weighted above the text by the search.
    for (const std::string* part : {&fields.type, &fields.numberText, &fields.title}) {
        generator.index_text(*part, 1, kHeadingPrefix);
        generator.increase_termpos();
    }
    // Every word once more as a word of the document, so that a query finds any of them.
    for (const std::string* part : {&fields.type, &fields.numberText, &fields.title}) {
        generator.index_text(*part);
        generator.increase_termpos();
    }
    // The text piece by piece, each piece's words after the position noted for it; the pieces are
    // cut at blanks, so the words and their positions are those of the whole text. A piece of the
    // characters TextWords takes is indexed by it, the same way and quicker.
    std::vector<std::uint32_t> starts;
    const std::vector<std::string_view> pieces =
        text != nullptr ? SplitPieces(text->plain) : std::vector<std::string_view>();
    for (const std::string_view piece : pieces) {
        Xapian::termpos position = generator.get_termpos();
        starts.push_back(position);
        if (words.Index(piece, document, position))
            generator.set_termpos(position);
        else
            generator.index_text(Xapian::Utf8Iterator(piece.data(), piece.size()));
    }
    words.AddStems(document);

    const std::string number = NumberKey(fields.numberText);
    if (!number.empty()) AddAttributeTerm(document, kNumberPrefix + number);
    // A number text naming several numbers ("131-ФЗ, 132-ФЗ") also names each.
    std::string part;
    for (std::size_t at = 0; at <= fields.numberText.size(); ++at) {
        const char c = at < fields.numberText.size() ? fields.numberText[at] : ',';
        if (c == ',' || c == ';' || c == ' ') {
            if (const std::string key = NumberKey(part); !key.empty() && key != number)
                AddAttributeTerm(document, kNumberPrefix + key);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    if (fields.date > 0) {
        AddAttributeTerm(document, kDatePrefix + DateKey(fields.date));
        AddAttributeTerm(document, kYearPrefix + YearKey(fields.date));
    }
    AddBooleanTerm(document, std::string(kStatusPrefix) + (fields.inForce ? "1" : "0"));
    AddBooleanTerm(document, kKeyPrefix + std::to_string(fields.number));
    if (text != nullptr)
        for (const std::int16_t link : text->links) AddBooleanTerm(document, LinkTerm(link));
    document.add_value(kSortValueSlot, SortValue(fields.inForce, fields.date));
    if (pieces.size() > 1) document.add_value(kPieceValueSlot, PackPositions(starts));
    for (const std::string_view piece : pieces) packedPieces.push_back(PackPiece(piece));
}

}  // namespace

struct PreparedDocument::Impl {
    Xapian::Document document;
    std::vector<std::string> pieces;  // the text's pieces, packed
    unsigned id = 0;
    std::size_t textBytes = 0;
};

PreparedDocument::PreparedDocument(const DocumentFields& fields, const DocumentText* text)
    : m_impl(std::make_unique<Impl>()) {
    // One generator per thread: a stemmer is no object to share between threads.
    thread_local Xapian::TermGenerator generator = [] {
        Xapian::TermGenerator made;
        made.set_stemmer(Xapian::Stem(new RememberingStemmer()));
        made.set_stemming_strategy(Xapian::TermGenerator::STEM_SOME);
        return made;
    }();
    thread_local TextWords words;
    Xapian::Document& document = m_impl->document;
    m_impl->id = DocumentIdOf(fields.number);
    try {
        Prepare(generator, words, document, fields, text, m_impl->pieces);
    } catch (const Xapian::Error&) {
        // Nothing here reads outside data Xapian could refuse; a document it still refuses is
        // indexed with what it took, the stems of the words taken too (none are left counted for
        // the next document).
        words.AddStems(document);
    }
    // The generator holds the document it filled, and Xapian counts its holders without atomics:
    // the document goes to the writing thread, so this thread lets go of it here.
    generator.set_document(Xapian::Document());
    if (text != nullptr) m_impl->textBytes = text->plain.size();
}

PreparedDocument::~PreparedDocument() = default;
PreparedDocument::PreparedDocument(PreparedDocument&&) noexcept = default;
PreparedDocument& PreparedDocument::operator=(PreparedDocument&&) noexcept = default;

namespace {

// A new private folder beside target, for an index being written (kind "building") or merged
// ("compact"): nothing is written through a link or over a file someone else made. Empty, with
// error set, when none can be made.
fs::path MakeWorkFolder(const fs::path& target, const char* kind, std::string& error) {
    std::string pattern = (target.parent_path() / ("." + target.filename().string() + "." + kind + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        error = target.parent_path().string() + ": a folder for the new index cannot be created";
        return {};
    }
    return pattern;
}

// Puts the finished index in folder (stamped) at target: swapped with an old index in one step
// where the system can, else the old one steps aside first. Only a folder recognised as an index
// is ever replaced. Whatever is left of folder and of the old index is removed.
bool PutInPlace(const fs::path& folder, const fs::path& target, std::string& error) {
    std::error_code code;
    const fs::file_status old = fs::symlink_status(target, code);
    if (!fs::exists(old)) {
        if (::rename(folder.c_str(), target.c_str()) == 0) return true;
        error = target.string() + ": cannot be put in place";
    } else if (!IsIndexFolder(target)) {
        error = target.string() + " exists and is not an index folder; not replacing it";
    } else if (::renameat2(AT_FDCWD, folder.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        // folder now holds the old index.
        RemoveIndexFolder(folder);
        return true;
    } else {
        const fs::path aside = folder.string() + ".old";
        if (::rename(target.c_str(), aside.c_str()) == 0 && ::rename(folder.c_str(), target.c_str()) == 0) {
            RemoveIndexFolder(aside);
            return true;
        }
        (void)::rename(aside.c_str(), target.c_str());
        error = target.string() + ": cannot be replaced";
    }
    RemoveIndexFolder(folder);
    return false;
}

// One Xapian database written by one thread at a time: the whole index, or the part of it that
// holds the documents of one range of ids, merged with the others when the index is finished.
// Its private folder goes with it.
class IndexPart {
public:
    IndexPart(const fs::path& target, std::size_t bytesPerCommit) : m_bytesPerCommit(bytesPerCommit) {
        m_folder = MakeWorkFolder(target, "building", m_error);
        if (m_folder.empty()) return;
        try {
            // No term lists: nothing asks which words a document holds, and they would add a sixth
            // to the index. Not flushed to disk at each commit: a part is thrown away with its
            // folder unless the whole build finishes, and the merged index is written whole.
            m_database.emplace(m_folder.string(), Xapian::DB_CREATE_OR_OVERWRITE | Xapian::DB_BACKEND_GLASS |
                                                      Xapian::DB_NO_TERMLIST | Xapian::DB_NO_SYNC);
        } catch (const Xapian::Error& e) {
            Fail(e);
        }
    }
    ~IndexPart() {
        m_database.reset();
        if (!m_folder.empty()) RemoveIndexFolder(m_folder);
    }
    IndexPart(const IndexPart&) = delete;
    IndexPart& operator=(const IndexPart&) = delete;

    bool ok() const { return m_database.has_value(); }
    const std::string& error() const { return m_error; }
    Xapian::WritableDatabase& database() { return *m_database; }
    std::size_t documents() const { return m_documents; }
    std::uint64_t textBytes() const { return m_textBytes; }

    void Add(Xapian::Document& document, unsigned id, const std::vector<std::string>& pieces, std::size_t textBytes) {
        if (!m_database) return;
        try {
            m_database->replace_document(id, document);
            for (std::size_t k = 0; k < pieces.size(); ++k) m_database->set_metadata(PieceKey(id, k), pieces[k]);
            ++m_documents;
            m_textBytes += textBytes;
            m_uncommittedBytes += textBytes + 256;
            if (m_uncommittedBytes > m_bytesPerCommit) Commit();
        } catch (const Xapian::Error& e) {
            Fail(e);
        }
    }

    // Writes what Xapian holds of this part in memory.
    void Commit() {
        if (!m_database) return;
        try {
            m_database->commit();
            m_uncommittedBytes = 0;
        } catch (const Xapian::Error& e) {
            Fail(e);
        }
    }

private:
    void Fail(const Xapian::Error& e) {
        if (m_error.empty()) m_error = m_folder.string() + ": " + e.get_description();
        m_database.reset();
    }

    fs::path m_folder;
    std::string m_error;
    std::optional<Xapian::WritableDatabase> m_database;
    std::size_t m_bytesPerCommit;
    std::size_t m_uncommittedBytes = 0;
    std::size_t m_documents = 0;
    std::uint64_t m_textBytes = 0;
};

// The words of the index (its terms without a prefix of capital Latin letters: stems and attributes
// are not words), each with the number of documents holding it, go into first's spelling table,
// which suggestions are made of. Counted from the parts (all, of which first is one) once they are
// written: Xapian rewrites a word's spelling entries on every commit that touches it, and the
// parts' own term counts cost nothing more to read.
void AddSpelling(const Xapian::Database& all, Xapian::WritableDatabase& first) {
    std::vector<std::pair<std::string, Xapian::doccount>> words;
    const Xapian::TermIterator end = all.allterms_end();
    for (Xapian::TermIterator term = all.allterms_begin(); term != end;) {
        std::string word = *term;
        if (!word.empty() && word.front() >= 'A' && word.front() <= 'Z') {
            term.skip_to("[");  // past every prefixed term
            continue;
        }
        words.emplace_back(std::move(word), term.get_termfreq());
        ++term;
    }
    for (const auto& [word, count] : words) first.add_spelling(word, count);
}

}  // namespace

struct IndexWriter::Impl {
    fs::path target;
    std::int32_t baseDate = 0;
    std::vector<std::unique_ptr<IndexPart>> parts;
    std::string error;  // a part's or the finish's

    // Read only when no part is being written.
    const std::string& Error() {
        if (error.empty())
            for (const auto& part : parts)
                if (!part->ok()) error = part->error().empty() ? "the index was not written" : part->error();
        return error;
    }
};

IndexWriter::IndexWriter(const fs::path& folder, std::int32_t baseDate, std::size_t parts)
    : m_impl(std::make_unique<Impl>()) {
    Impl& d = *m_impl;
    std::error_code code;
    d.target = fs::absolute(folder, code);
    d.baseDate = baseDate;
    if (!MakePrivateFolders(d.target.parent_path(), d.error)) return;
    // Each part commits after its share of the text: what all the parts hold at once stays
    // within one commit's worth, as many threads as there are writing at once.
    const std::size_t writing = std::min<std::size_t>(std::max<std::size_t>(parts, 1), MaxWritingThreads());
    for (std::size_t k = 0; k < std::max<std::size_t>(parts, 1) && d.error.empty(); ++k) {
        d.parts.push_back(std::make_unique<IndexPart>(d.target, kTextBytesPerCommit / writing));
        if (!d.parts.back()->ok()) d.error = d.parts.back()->error();
    }
}

IndexWriter::~IndexWriter() = default;

bool IndexWriter::ok() const { return m_impl->Error().empty(); }
const std::string& IndexWriter::error() const { return m_impl->Error(); }

void IndexWriter::Add(const DocumentFields& fields, const DocumentText* text) {
    if (ok()) Add(PreparedDocument(fields, text));
}

void IndexWriter::Add(PreparedDocument prepared, std::size_t part) {
    Impl& d = *m_impl;
    if (!prepared.m_impl || part >= d.parts.size()) return;
    PreparedDocument::Impl& p = *prepared.m_impl;
    d.parts[part]->Add(p.document, p.id, p.pieces, p.textBytes);
}

void IndexWriter::EndPart(std::size_t part) {
    if (part >= m_impl->parts.size()) return;
    m_impl->parts[part]->Commit();
}

BuildResult IndexWriter::Finish(const std::string& baseKey) {
    Impl& d = *m_impl;
    BuildResult result;
    if (d.parts.empty() || !d.Error().empty()) {
        result.error = d.parts.empty() && d.error.empty() ? "the index was not written" : d.Error();
        return result;
    }
    // The key is one word of the stamp.
    if (baseKey.empty() || baseKey.size() > kMaxBaseKeyBytes || baseKey.find_first_of(" \t\r\n") != std::string::npos) {
        result.error = d.target.string() + ": the base it is made from cannot be named";
        return result;
    }
    // The spelling counts go into the first part; the parts are merged into one compacted index in
    // another private folder (written in many commits, a part's blocks are partly empty, and the
    // merged index is about a third smaller).
    const fs::path compact = MakeWorkFolder(d.target, "compact", d.error);
    if (compact.empty()) {
        result.error = d.error;
        return result;
    }
    try {
        Xapian::Database all;
        for (const auto& part : d.parts) {
            part->database().commit();
            all.add_database(part->database());
        }
        Xapian::WritableDatabase& first = d.parts.front()->database();
        AddSpelling(all, first);
        first.commit();
        all.compact(compact.string(), Xapian::DBCOMPACT_NO_RENUMBER);
        for (const auto& part : d.parts) part->database().close();
    } catch (const Xapian::Error& e) {
        d.error = compact.string() + ": " + e.get_description();
        RemoveIndexFolder(compact);
        result.error = d.error;
        return result;
    }
    for (const auto& part : d.parts) {
        result.documents += part->documents();
        result.textBytes += part->textBytes();
    }
    d.parts.clear();
    if (!WriteStamp(compact, {kFormatVersion, d.baseDate, baseKey, result.documents}, d.error) ||
        !PutInPlace(compact, d.target, d.error)) {
        RemoveIndexFolder(compact);
        result.error = d.error;
        return result;
    }
    result.ok = true;
    return result;
}

BuildResult BuildIndex(const fs::path& folder, const std::vector<DocumentFields>& documents, const TextSource& textOf,
                       const BaseIdentity& base, const BuildProgress& progress) {
    // The documents in the order of their ids, cut into ranges: each range is a part of the index
    // that one thread reads, indexes and writes whole, and the parts are merged at the end. There
    // are more ranges than threads, so that a thread that meets the few long texts of a base does
    // not hold up the end alone.
    std::vector<std::size_t> order(documents.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return DocumentIdOf(documents[a].number) < DocumentIdOf(documents[b].number);
    });
    const std::size_t threadCount = MaxWritingThreads();
    const std::size_t rangeCount =
        std::clamp<std::size_t>(documents.size() / kMinDocumentsPerPart, 1, threadCount * kPartsPerThread);
    IndexWriter writer(folder, base.date, rangeCount);
    BuildResult result;
    if (!writer.ok()) {
        result.error = writer.error();
        return result;
    }
    std::mutex mutex;
    std::condition_variable wake;
    std::size_t nextRange = 0, done = 0, running = threadCount;
    bool stop = false;
    std::string failure;  // why a thread gave up
    const auto work = [&] {
        const ThreadSignalStack signalStack;
        for (;;) {
            std::size_t range = 0;
            {
                const std::lock_guard lock(mutex);
                if (stop || nextRange >= rangeCount) break;
                range = nextRange++;
            }
            const std::size_t begin = order.size() * range / rangeCount;
            const std::size_t end = order.size() * (range + 1) / rangeCount;
            for (std::size_t k = begin; k < end; ++k) {
                const DocumentFields& fields = documents[order[k]];
                std::string failed;
                try {
                    const std::optional<DocumentText> text = textOf ? textOf(fields.number) : std::nullopt;
                    writer.Add(PreparedDocument(fields, text ? &*text : nullptr), range);
                } catch (const std::exception& error) {
                    // Out of memory, most likely: the build is given up.
                    failed =
                        "the text of document " + std::to_string(fields.number) + " cannot be indexed: " + error.what();
                }
                const std::lock_guard lock(mutex);
                if (!failed.empty() && failure.empty()) failure = failed;
                if (!failed.empty()) stop = true;
                // The progress is told every few documents: waking the telling thread for each
                // would take a core from the build thousands of times.
                if (++done % kDocumentsPerProgress == 0 || stop) wake.notify_all();
                if (stop) break;
            }
            writer.EndPart(range);
        }
        const std::lock_guard lock(mutex);
        --running;
        wake.notify_all();
    };
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < threadCount; ++k) threads.emplace_back(work);
    // Progress is told from here, as documents are done.
    for (std::size_t told = 0;;) {
        std::size_t now = 0;
        bool finished = false;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [&] { return running == 0 || done != told; });
            now = done;
            finished = running == 0;
        }
        if (now != told && progress && !progress(now, documents.size())) {
            const std::lock_guard lock(mutex);
            stop = true;
            result.cancelled = true;
        }
        told = now;
        if (finished) break;
    }
    for (std::thread& thread : threads) thread.join();
    if (result.cancelled) return result;
    if (!failure.empty()) {
        result.error = failure;
        return result;
    }
    if (!writer.ok()) {
        result.error = writer.error();
        return result;
    }
    return writer.Finish(base.key);
}

}  // namespace Norik::FullText
