#include "Helpers/BaseUpdate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>

#include "Helpers/BaseLimits.h"
#include "Helpers/Cp1251.h"
#include "Helpers/DataFile.h"
#include "Helpers/FileDescriptor.h"
#include "diagnostics/ErrorLog.h"
#include "platform/UserPort.h"

namespace Norik {

namespace {

constexpr const char* kDescriptorName = "descript.ttx";

bool HasTableExtension(const std::string& name) {
    if (name.size() < 4) return false;
    std::string extension = name.substr(name.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".ttx";
}

// A new file at path for writing, mode 0644. What an earlier, interrupted run left at that name
// goes first: the file is made afresh, never written through whatever stands there (a link).
FileDescriptor CreateAfresh(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return FileDescriptor();
    return FileDescriptor(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
}

// Copies the descriptor in to target (created or overwritten) and flushes it to disk; false with
// errno set. More than limit bytes (0: no limit) is a failure (EFBIG).
bool CopyDescriptorDurably(int in, const std::string& target, std::uint64_t limit) {
    FileDescriptor out = CreateAfresh(target);
    if (!out) return false;
    char buffer[1 << 16];
    std::uint64_t copied = 0;
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) break;
        copied += static_cast<std::uint64_t>(got);
        if (limit > 0 && copied > limit) {
            errno = EFBIG;
            return false;
        }
        if (!WriteAll(out.get(), buffer, static_cast<std::size_t>(got))) return false;
    }
    return ::fsync(out.get()) == 0 && out.Close();
}

// Copies the data file source to target, as CopyDescriptorDurably.
bool CopyFileDurably(const std::string& source, const std::string& target) {
    int fd = -1;
    if (const HResult code = OpenDataFile(source, fd); Failed(code)) {
        // The update reports the system error; a FIFO or a device has none of its own.
        if (code == kNotRegularFile) errno = EINVAL;
        return false;
    }
    const FileDescriptor in(fd);
    return CopyDescriptorDurably(in.get(), target, 0);
}

// Opens a table of an update folder into table: only a regular file that is itself no symbolic
// link (a link would let the folder hand over any file the user can read), of at most limit bytes
// (a sparse file of gigabytes takes a few kilobytes of the folder). False with errno set, and with
// refused set when the file is there but refused.
bool OpenUpdateTable(const std::string& path, std::uint64_t limit, FileDescriptor& table,
                     std::optional<DataDamage>& refused) {
    int fd = -1;
    const HResult code = OpenDataFile(path, fd, DataFileLinks::Refuse);
    if (code == SystemErrorCode(ELOOP)) {
        refused = DataDamage{path, "is a symbolic link, not a file of the update", DamageKind::NotAFile};
        return false;
    }
    if (code == kNotRegularFile) {
        refused = DataDamage{path, "is not a regular file", DamageKind::NotAFile};
        errno = EINVAL;
        return false;
    }
    if (Failed(code)) return false;  // an ordinary failure: the system's error is reported
    table.reset(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) return false;
    if (static_cast<std::uint64_t>(info.st_size) > limit) {
        refused = DataDamage{path,
                             "is " + std::to_string(info.st_size) + " bytes, more than the " + std::to_string(limit) +
                                 " a table of its kind may have",
                             DamageKind::TooLarge};
        errno = EFBIG;
        return false;
    }
    return true;
}

// Makes the renames done in folder durable; false with errno set.
bool SyncFolder(const std::string& folder) {
    const FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir && ::fsync(dir.get()) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The journal of an update in progress: the tables it replaces, each with whether an old table
// was there. It exists from before the first rename until every rename is durable, so a process
// that dies in between leaves it behind for the next update to undo what was done.
constexpr const char* kJournalName = "update.journal";

// A table of the replace phase, and whether the table it replaces is kept as name + ".old".
struct Replaced {
    std::string name;
    bool keptOld = false;
};

// Writes the journal durably: a temporary file, flushed, renamed into place, the folder flushed.
// Records are "1name" or "0name" ended by a NUL, which no file name holds.
bool WriteJournal(const std::string& folder, const std::vector<Replaced>& steps) {
    std::string records;
    for (const Replaced& step : steps) records.append(step.keptOld ? "1" : "0").append(step.name).push_back('\0');
    const std::string path = folder + kJournalName;
    FileDescriptor out = CreateAfresh(path + ".tmp");
    if (!out || !WriteAll(out.get(), records.data(), records.size()) || ::fsync(out.get()) != 0 || !out.Close())
        return false;
    return ::rename((path + ".tmp").c_str(), path.c_str()) == 0 && SyncFolder(folder);
}

// The records of the journal of folder; false when it cannot be read.
bool ReadJournal(const std::string& folder, std::vector<Replaced>& steps) {
    int fd = -1;
    if (Failed(OpenDataFile(folder + kJournalName, fd))) return false;
    const FileDescriptor in(fd);
    std::string bytes;
    char buffer[4096];
    for (ssize_t got; (got = ::read(in.get(), buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    for (std::size_t start = 0, end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1) {
        const std::string record = bytes.substr(start, end - start);
        const std::string name = record.empty() ? std::string() : record.substr(1);
        // Only plain names of this folder: nothing a damaged journal holds leads elsewhere.
        if ((record[0] != '0' && record[0] != '1') || name.empty() || name == "." || name == ".." ||
            name.find('/') != std::string::npos)
            continue;
        steps.push_back({name, record[0] == '1'});
    }
    return true;
}

// Puts the old tables of the journaled steps back. A step whose temporary copy is still there
// was never renamed into place: its table is the old one. A step whose copy is gone was: the
// table it replaced comes back from name + ".old", or, when there was none, the new table goes.
// Nothing is lost either way. Failures are reported; the journal is removed only when every step
// was undone.
void PutOldTablesBack(const std::string& folder, const std::vector<Replaced>& steps) {
    bool undone = true;
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        const std::string target = folder + step->name;
        const std::string temporary = target + ".tmp";
        const std::string old = target + ".old";
        if (::access(temporary.c_str(), F_OK) == 0) {
            ::unlink(temporary.c_str());
            if (step->keptOld) ::unlink(old.c_str());
            continue;
        }
        const bool restored = step->keptOld ? ::rename(old.c_str(), target.c_str()) == 0 || errno == ENOENT
                                            : ::unlink(target.c_str()) == 0 || errno == ENOENT;
        if (!restored) {
            undone = false;
            NORIK_REPORT(LastSystemErrorCode(), "CopyTransaction::Rollback");
        }
    }
    if (!SyncFolder(folder)) undone = false;
    if (undone) {
        ::unlink((folder + kJournalName).c_str());
        SyncFolder(folder);
    }
}

}  // namespace

void RecoverInterruptedUpdate(const std::string& folder) {
    if (::access((folder + kJournalName).c_str(), F_OK) != 0) return;
    std::vector<Replaced> steps;
    if (!ReadJournal(folder, steps)) {
        // Kept for the next start rather than dropped with the steps it names.
        const HResult code = LastSystemErrorCode();
        NORIK_REPORT_DAMAGE(Failed(code) ? code : kDataDamaged, "CopyTransaction::Rollback", folder + kJournalName,
                            "cannot be read");
        return;
    }
    PutOldTablesBack(folder, steps);
}

int ReadBaseDate(const std::string& folder) {
    int fd = -1;
    if (Failed(OpenDataFile(folder + kDescriptorName, fd))) return 0;
    std::FILE* file = ::fdopen(fd, "r");
    if (!file) {
        ::close(fd);
        return 0;
    }
    // The descriptor is a line or two; what lies past its first 4 KiB is no part of the date.
    std::array<char, 4096> text{};
    const std::size_t length = std::fread(text.data(), 1, text.size() - 1, file);
    (void)std::fclose(file);  // read only: nothing to lose
    text[length] = '\0';
    // The first integer is skipped; the second is the base date. strtol, unlike fscanf, gives a
    // defined value for a number out of range.
    char* end = nullptr;
    (void)std::strtol(text.data(), &end, 10);
    if (end == text.data()) return 0;
    const char* secondStart = end;
    const long second = std::strtol(secondStart, &end, 10);
    if (end == secondStart) return 0;
    return static_cast<int>(second);
}

bool IsUpdateNewer(const std::string& source, const std::string& target) {
    return ReadBaseDate(target) < ReadBaseDate(source);
}

std::string GetFileBaseName(const std::string& fileName) {
    const auto slash = fileName.find_last_of("/\\");
    std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

HResult UpdateBase(const std::string& source, const std::string& target, IUserPort* userPort) {
    RecoverInterruptedUpdate(target);
    if (!IsUpdateNewer(source, target)) return kOk;
    CopyTransaction transaction;
    transaction.sourceFolder = source;
    transaction.targetFolder = target;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(source, error)) {
        const std::string found = entry.path().filename().string();
        if (!HasTableExtension(found)) continue;
        const std::string name = GetFileBaseName(found) + ".ttx";
        // Only the tables and indexes a base reads: anything else would stay in the data folder
        // for good, since nothing there ever removes it.
        if (MaxBaseFileBytes(name) == 0) continue;
        // Where names are case-sensitive one table may come under several spellings of its
        // extension; it is copied once, from the spelling greatest in byte order: the lower-case
        // one when it is there.
        const bool listed =
            std::find(transaction.names.begin(), transaction.names.end(), name) != transaction.names.end();
        if (!listed) transaction.names.push_back(name);
        const auto spelled = transaction.sourceNames.find(name);
        const std::string& chosen = spelled != transaction.sourceNames.end() ? spelled->second : name;
        if (listed && found <= chosen) continue;
        if (found == name)
            transaction.sourceNames.erase(name);
        else
            transaction.sourceNames[name] = found;
    }
    if (transaction.Commit() != kOk && userPort) {
        std::string text =
            "Не удалось обновить базу данных!\nпри следующем запуске будет произведена ещё одна попытка обновления.";
        if (transaction.refused) text += "\n\nФайл не принят: " + transaction.refused->UserText();
        userPort->MessageBox(Utf8ToCp1251(text), Utf8ToCp1251("База документов"), MessageButtons::Ok,
                             MessageIcon::Exclamation);
    }
    return kOk;
}

void CopyTransaction::CopyToTemporary(const std::string& name) {
    const auto renamed = sourceNames.find(name);
    const std::string source = sourceFolder + (renamed == sourceNames.end() ? name : renamed->second);
    const std::string temporary = targetFolder + name + ".tmp";
    // A name the base does not know has no bound, and is copied as it is (a caller's own list).
    const std::uint64_t limit = MaxBaseFileBytes(name);
    FileDescriptor in;
    if (!OpenUpdateTable(source, limit > 0 ? limit : UINT64_MAX, in, refused)) throw AbortTrans{};
    if (!CopyDescriptorDurably(in.get(), temporary, limit)) {
        if (errno == EFBIG)
            refused = DataDamage{source, "grew past its bound while it was copied", DamageKind::TooLarge};
        throw AbortTrans{};
    }
    // Copies from read-only media arrive read-only; the table must be replaceable next time.
    if (::chmod(temporary.c_str(), 0644) != 0) throw AbortTrans{};
}

HResult CopyTransaction::Commit() {
    try {
        for (const auto& name : names) {
            CopyToTemporary(name);
            copied.push_back(name);
        }
    } catch (const AbortTrans&) {
        HResult code = LastSystemErrorCode();
        if (code == kOk) code = kFail;
        Rollback();
        // A refused file is named with the reason; any other failure is the system's.
        if (refused) return NORIK_REPORT_DAMAGE(code, "CopyTransaction::Commit", refused->file, refused->problem);
        return NORIK_REPORT(code, "CopyTransaction::Commit");
    }
    // Each table is replaced by one atomic rename, never deleted first, and the table it replaces
    // is kept as name + ".old" (a second link, or a copy) until every rename is durable. The
    // journal written before the first rename names every step, so that the old tables come back
    // both when a step fails here and when the process dies between two renames (the next update
    // undoes the steps first). The descriptor, which carries the base date, goes last.
    // A name listed twice is replaced once.
    std::vector<std::string> order;
    for (const std::string& name : copied)
        if (std::find(order.begin(), order.end(), name) == order.end()) order.push_back(name);
    std::stable_partition(order.begin(), order.end(), [](const std::string& name) { return name != kDescriptorName; });
    std::vector<Replaced> steps;
    steps.reserve(order.size());
    for (const auto& name : order) steps.push_back({name, IsRegularFile(targetFolder + name)});
    HResult failure = kOk;
    if (!WriteJournal(targetFolder, steps)) {
        failure = LastSystemErrorCode();
        ::unlink((targetFolder + kJournalName + ".tmp").c_str());
    }
    for (std::size_t i = 0; failure == kOk && i < steps.size(); ++i) {
        const std::string target = targetFolder + steps[i].name;
        const std::string old = target + ".old";
        if (steps[i].name == kDescriptorName && !SyncFolder(targetFolder)) {
            failure = LastSystemErrorCode();
            break;
        }
        if (steps[i].keptOld) {
            ::unlink(old.c_str());
            if (::link(target.c_str(), old.c_str()) != 0 && !CopyFileDurably(target, old)) {
                failure = LastSystemErrorCode();
                break;
            }
        }
        if (std::rename((target + ".tmp").c_str(), target.c_str()) != 0) {
            failure = LastSystemErrorCode();
            break;
        }
        if (betweenRenames) betweenRenames(steps[i].name);
    }
    if (failure == kOk && !SyncFolder(targetFolder)) failure = LastSystemErrorCode();
    // Removing the journal is the moment the update is done.
    if (failure == kOk && ::unlink((targetFolder + kJournalName).c_str()) != 0 && errno != ENOENT)
        failure = LastSystemErrorCode();
    if (failure != kOk) {
        PutOldTablesBack(targetFolder, steps);
        Rollback();
        return NORIK_REPORT(failure == kOk ? kFail : failure, "CopyTransaction::Commit");
    }
    SyncFolder(targetFolder);
    for (const Replaced& step : steps)
        if (step.keptOld) ::unlink((targetFolder + step.name + ".old").c_str());
    return kOk;
}

void CopyTransaction::Rollback() {
    // Removing a copy that was renamed into place already fails harmlessly.
    for (const auto& name : copied) (void)std::remove((targetFolder + name + ".tmp").c_str());
    copied.clear();
}

}  // namespace Norik
