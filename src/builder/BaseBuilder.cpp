#include "builder/BaseBuilder.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "Helpers/Cp1251.h"
#include "builder/ContainerWriter.h"
#include "builder/DirectoryBalancer.h"
#include "builder/SourceTables.h"
#include "diagnostics/CrashReport.h"
#include "diagnostics/ErrorLog.h"
#include "fulltext/FullTextIndex.h"
#include "index/IndexBuilder.h"
#include "index/IndexSpace.h"
#include "showdata/ListDoc.h"

namespace Norik {

namespace fs = std::filesystem;

namespace {

// One document on its way from the source to the container.
struct DocumentJob {
    std::size_t row = 0;                     // first row of the document in Items
    std::string entry;                       // compressed entry
    std::vector<IndexSpace::IndexKey> keys;  // text word keys, ascending, distinct
    std::optional<FullText::PreparedDocument> fullText;
    std::uint64_t textBytes = 0;
    std::string problem;
    bool done = false;
};

bool WriteFileSynced(const std::string& path, const std::string& bytes, std::string& message) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        message = path + ": cannot be created";
        return false;
    }
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (n <= 0) {
            ::close(fd);
            message = path + ": cannot be written";
            return false;
        }
        at += static_cast<std::size_t>(n);
    }
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok ? true : (message = path + ": cannot be written", false);
}

bool SyncFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Removes a folder and everything in it when the object goes without being released.
class TemporaryFolder {
public:
    explicit TemporaryFolder(fs::path path) : m_path(std::move(path)) {}
    ~TemporaryFolder() {
        if (!m_path.empty()) {
            std::error_code error;
            fs::remove_all(m_path, error);
        }
    }
    void Release() { m_path.clear(); }

private:
    fs::path m_path;
};

// The files a base consists of: the four tables, the seven indexes and the container.
bool IsBaseFileName(const std::string& name) {
    for (const char* table : {"class.ttx", "typelist.ttx", "Items.ttx", "descript.ttx", "Norik.sdb"})
        if (name == table) return true;
    for (const std::string_view stem : IndexSpace::kIndexFileNames)
        if (name.size() == stem.size() + 4 && name.compare(0, stem.size(), stem) == 0 && name.ends_with(".ttx"))
            return true;
    return false;
}

// The first entry of folder, in name order, that is not a plain file of a base or its full-text
// index; empty when there is none. Replacing the folder removes whatever it holds, so anything
// else keeps it standing.
std::string FirstForeignEntry(const fs::path& folder) {
    std::error_code error;
    std::vector<std::string> foreign;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code kind;
        if (it->path() == FullText::BaseIndexFolder(folder) && FullText::IsIndexFolder(it->path())) continue;
        if (!IsBaseFileName(name) || it->is_symlink(kind) || !it->is_regular_file(kind)) foreign.push_back(name);
    }
    if (error) return "? (the folder cannot be listed: " + error.message() + ")";
    return foreign.empty() ? std::string() : *std::min_element(foreign.begin(), foreign.end());
}

// path made absolute with its symbolic links resolved as far as it exists, without a trailing "/".
std::string ResolvedPath(const fs::path& path) {
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(fs::absolute(path, error), error);
    if (error) resolved = fs::absolute(path, error).lexically_normal();
    std::string text = resolved.string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

// True when inner is outer or lies somewhere inside it (both as ResolvedPath gives them).
bool IsSameOrInside(const std::string& inner, const std::string& outer) {
    if (inner.compare(0, outer.size(), outer) != 0) return false;
    return inner.size() == outer.size() || outer == "/" || inner[outer.size()] == '/';
}

// Removes the temporary folders that builds of the same output folder left behind when they were
// killed: those whose process no longer runs. A process that still runs, or that runs under
// another user (kill answers EPERM), keeps its folder.
void RemoveAbandonedBuilds(const fs::path& parent, const std::string& outName) {
    const std::string prefix = "." + outName + ".building-";
    std::error_code error;
    std::vector<fs::path> abandoned;
    for (fs::directory_iterator it(parent, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        const char* digits = name.data() + prefix.size();
        const char* const last = name.data() + name.size();
        pid_t pid = 0;
        const auto [at, failure] = std::from_chars(digits, last, pid);
        if (failure != std::errc() || at != last || pid <= 0 || pid == ::getpid()) continue;
        if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
        std::error_code kind;
        if (it->is_directory(kind) && !it->is_symlink(kind)) abandoned.push_back(it->path());
    }
    for (const fs::path& folder : abandoned) fs::remove_all(folder, error);
}

}  // namespace

bool BuildBase(const BaseSource& source, const std::string& outFolder, const BuildOptions& options, BuildReport& report,
               std::vector<std::string>& problems) {
    const auto start = std::chrono::steady_clock::now();
    report = BuildReport{};
    std::error_code error;

    std::string outText = outFolder;
    while (outText.size() > 1 && outText.back() == '/') outText.pop_back();
    const fs::path out = fs::absolute(outText.empty() ? "." : outText, error);
    // A base written over its own source, into it or around it would remove the texts it is built
    // from when it replaces the output folder.
    if (const std::string sourceFolder = source.Folder(); !sourceFolder.empty()) {
        const std::string resolvedSource = ResolvedPath(sourceFolder);
        const std::string resolvedOut = ResolvedPath(out);
        if (IsSameOrInside(resolvedOut, resolvedSource) || IsSameOrInside(resolvedSource, resolvedOut)) {
            problems.push_back(out.string() + ": overlaps the source folder " + resolvedSource +
                               "; the base must be written outside it");
            return false;
        }
    }
    if (fs::exists(out, error)) {
        if (!fs::is_directory(out, error)) {
            problems.push_back(out.string() + ": exists and is not a folder");
            return false;
        }
        if (const std::string foreign = FirstForeignEntry(out); !foreign.empty()) {
            problems.push_back(out.string() + ": holds " + foreign +
                               ", which is not a file of a base; not replacing it");
            return false;
        }
    }

    SourceTables tables;
    const bool tablesRead = ReadSourceTables(source, tables, problems);
    report.warnings = tables.warnings;
    if (!tablesRead) return false;

    // One text per document, and no text without a document.
    const std::vector<std::size_t> firstRows = tables.DocumentFirstRows();
    const std::vector<std::string> textNames = source.TextNames();
    const std::set<std::string> present(textNames.begin(), textNames.end());
    std::set<std::string> expected;
    for (const std::size_t row : firstRows) {
        const SourceItem& item = tables.items[row];
        const std::string name = ShowData::DocFileName(item.number) + ".rtf";
        expected.insert(name);
        if (present.count(name) == 0)
            problems.push_back(source.Describe("texts/" + name) + ": missing (the text of document " +
                               std::to_string(item.number) + ", " + source.Describe("Items.ttx") + ":" +
                               std::to_string(item.line) + ")");
    }
    for (const std::string& name : textNames)
        if (expected.count(name) == 0)
            problems.push_back(source.Describe("texts/" + name) + ": no document of Items.ttx has this text");
    if (!problems.empty()) return false;

    const fs::path parent = out.parent_path();
    fs::create_directories(parent, error);
    RemoveAbandonedBuilds(parent, out.filename().string());
    const fs::path temporary = parent / ("." + out.filename().string() + ".building-" + std::to_string(::getpid()));
    fs::remove_all(temporary, error);
    if (!fs::create_directory(temporary, error)) {
        problems.push_back(temporary.string() + ": cannot be created: " + error.message());
        return false;
    }
    TemporaryFolder cleanup(temporary);
    const std::string folder = temporary.string() + "/";

    std::string message;
    const std::pair<const char*, const std::string*> tableFiles[] = {{"class.ttx", &tables.classText},
                                                                     {"typelist.ttx", &tables.typeListText},
                                                                     {"Items.ttx", &tables.itemsText},
                                                                     {"descript.ttx", &tables.descriptText}};
    for (const auto& [name, text] : tableFiles) {
        if (!WriteFileSynced(folder + name, *text, message)) {
            problems.push_back(message);
            return false;
        }
    }

    // Attribute indexes straight from the table.
    IndexBuilder classIndex, dateIndex, statusIndex, numberIndex, typeIndex, titleIndex, textIndex;
    for (const SourceItem& item : tables.items) classIndex.Add(item.classId, item.number);
    for (const std::size_t row : firstRows) {
        const SourceItem& item = tables.items[row];
        dateIndex.Add(item.dateOfIntroduction, item.number);
        statusIndex.Add(item.inForce ? 1 : 0, item.number);
        numberIndex.Add(IndexSpace::StrHash(item.numberText), item.number);
        typeIndex.Add(IndexSpace::StrHash(TypeWithoutLeadingBlanks(item.type)), item.number);
        for (const std::string& word : IndexSpace::SplitWords(item.title))
            if (const IndexSpace::IndexKey key = IndexSpace::WordHash(word); key != 0) titleIndex.Add(key, item.number);
    }

    // Texts: workers convert, index and compress; this thread writes the container in order.
    ContainerWriter container;
    if (!container.Create(folder + "Norik.sdb", message)) {
        problems.push_back(message);
        return false;
    }
    FullText::IndexWriter fullText(FullText::BaseIndexFolder(temporary), tables.baseDate);
    if (!fullText.ok()) {
        problems.push_back(fullText.error());
        return false;
    }
    const std::size_t total = firstRows.size();
    std::vector<DocumentJob> jobs(total);
    for (std::size_t i = 0; i < total; ++i) jobs[i].row = firstRows[i];
    const int threadCount =
        options.threads > 0 ? options.threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    // Workers stay at most this many documents ahead of the writer, which bounds the memory held.
    const std::size_t window = static_cast<std::size_t>(threadCount) * 4;
    std::mutex mutex;
    std::condition_variable workerWake, writerWake;
    std::size_t next = 0, written = 0;
    bool abort = false;

    const auto work = [&]() {
        const ThreadSignalStack signalStack;
        for (;;) {
            std::size_t i = 0;
            {
                std::unique_lock lock(mutex);
                workerWake.wait(lock, [&] { return abort || next >= total || next < written + window; });
                if (abort || next >= total) return;
                i = next++;
            }
            DocumentJob& job = jobs[i];
            const SourceItem& item = tables.items[job.row];
            const std::string name = ShowData::DocFileName(item.number) + ".rtf";
            try {
                std::string rtf;
                std::string readMessage;
                if (!source.ReadText(name, rtf, readMessage)) {
                    job.problem = readMessage;
                } else if (rtf.compare(0, 5, "{\\rtf") != 0) {
                    job.problem =
                        source.Describe("texts/" + name) + ": not an RTF text (it does not start with {\\rtf)";
                } else {
                    job.textBytes = rtf.size();
                    // One reading of the text serves both indexes: the word index takes its words
                    // in Windows-1251, as the tables hold them.
                    const FullText::DocumentText text = FullText::ReadDocumentText(rtf);
                    for (const std::string& word : IndexSpace::SplitWords(Utf8ToCp1251(text.plain)))
                        if (const IndexSpace::IndexKey key = IndexSpace::WordHash(word); key != 0)
                            job.keys.push_back(key);
                    std::sort(job.keys.begin(), job.keys.end());
                    job.keys.erase(std::unique(job.keys.begin(), job.keys.end()), job.keys.end());
                    job.entry = CompressEntry(rtf);
                    const FullText::DocumentFields fields{item.number,
                                                          Cp1251ToUtf8(item.title),
                                                          Cp1251ToUtf8(TypeWithoutLeadingBlanks(item.type)),
                                                          Cp1251ToUtf8(item.numberText),
                                                          item.dateOfIntroduction,
                                                          item.inForce};
                    job.fullText.emplace(fields, &text);
                }
            } catch (const std::exception& e) {
                job.problem = source.Describe("texts/" + name) + ": " + e.what();
            }
            std::lock_guard lock(mutex);
            job.done = true;
            writerWake.notify_all();
        }
    };
    std::vector<std::thread> workers;
    workers.reserve(static_cast<std::size_t>(threadCount));
    for (int k = 0; k < threadCount; ++k) workers.emplace_back(work);

    bool failed = false;
    for (std::size_t i = 0; i < total; ++i) {
        {
            std::unique_lock lock(mutex);
            writerWake.wait(lock, [&] { return jobs[i].done; });
        }
        DocumentJob& job = jobs[i];
        const SourceItem& item = tables.items[job.row];
        if (!job.problem.empty()) {
            problems.push_back(job.problem);
            failed = true;
        } else if (!failed) {
            if (!container.AddEntry(ShowData::DocFileName(item.number), job.entry, message)) {
                problems.push_back(message);
                failed = true;
            }
            for (const IndexSpace::IndexKey key : job.keys) textIndex.Add(key, item.number);
            report.textBytes += job.textBytes;
            if (job.fullText) fullText.Add(std::move(*job.fullText));
        }
        job.fullText.reset();
        std::string().swap(job.entry);
        std::vector<IndexSpace::IndexKey>().swap(job.keys);
        {
            std::lock_guard lock(mutex);
            written = i + 1;
            // A failed build stops early; the documents already taken finish first.
            if (failed) abort = true;
        }
        workerWake.notify_all();
        if (failed) break;
        if (options.progress) options.progress(i + 1, total);
    }
    {
        std::lock_guard lock(mutex);
        abort = abort || failed;
    }
    workerWake.notify_all();
    for (std::thread& worker : workers) worker.join();
    if (failed) {
        // Gather the problems of the documents that finished after the first failure.
        for (const DocumentJob& job : jobs)
            if (job.done && !job.problem.empty() &&
                std::find(problems.begin(), problems.end(), job.problem) == problems.end())
                problems.push_back(job.problem);
        return false;
    }
    if (!container.Close(message)) {
        problems.push_back(message);
        return false;
    }
    // libgsf links the root's entries as one long list; as a balanced tree, finding an entry costs
    // the tree's depth instead of a walk along every name before it.
    if (const HResult code = BalanceRootDirectory(folder + "Norik.sdb"); Failed(code)) {
        problems.push_back(folder + "Norik.sdb: the directory cannot be balanced: " + FormatSystemError(code));
        return false;
    }

    const std::pair<const char*, IndexBuilder*> indexes[] = {
        {"index", &textIndex},     {"titidx", &titleIndex},  {"clasidx", &classIndex},  {"typeidx", &typeIndex},
        {"numbidx", &numberIndex}, {"date_beg", &dateIndex}, {"work_now", &statusIndex}};
    for (const auto& [name, index] : indexes) {
        const std::string path = folder + name + ".ttx";
        if (Failed(index->WriteFile(path)) || !SyncFile(path)) {
            problems.push_back(path + ": cannot be written (see the error log)");
            return false;
        }
    }
    std::string unnamed;
    const std::string baseKey = FullText::BaseKey(folder + "Items.ttx", folder + "Norik.sdb", unnamed);
    if (baseKey.empty()) {
        problems.push_back(unnamed);
        return false;
    }
    if (const FullText::BuildResult built = fullText.Finish(baseKey); !built.ok) {
        problems.push_back(built.error);
        return false;
    }
    if (!SyncFile(folder + "Norik.sdb")) {
        problems.push_back(folder + "Norik.sdb: cannot be written");
        return false;
    }

    // Into place. An old base is swapped with the new one in one step where the system can; else
    // it steps aside first and is removed only when the new one stands.
    fs::path old;
    bool swapped = false;
    if (fs::exists(out, error)) {
        // Checked again: the build took a while, and the folder is removed once it is replaced.
        if (const std::string foreign = FirstForeignEntry(out); !foreign.empty()) {
            problems.push_back(out.string() + ": holds " + foreign +
                               ", which is not a file of a base; not replacing it");
            return false;
        }
        if (fs::is_empty(out, error)) {
            fs::remove(out, error);
        } else if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, out.c_str(), RENAME_EXCHANGE) == 0) {
            // The temporary folder now holds the old base; cleanup removes it.
            swapped = true;
        } else {
            old = parent / ("." + out.filename().string() + ".old-" + std::to_string(::getpid()));
            fs::remove_all(old, error);
            fs::rename(out, old, error);
            if (error) {
                problems.push_back(out.string() + ": cannot be replaced: " + error.message());
                return false;
            }
        }
    }
    if (!swapped) {
        fs::rename(temporary, out, error);
        if (error) {
            problems.push_back(out.string() + ": cannot be put in place: " + error.message());
            if (!old.empty()) fs::rename(old, out, error);
            return false;
        }
        cleanup.Release();
        if (!old.empty()) fs::remove_all(old, error);
    }

    report.documents = total;
    report.rows = tables.items.size();
    report.textWordKeys = textIndex.KeyCount();
    report.containerBytes = fs::file_size(out / "Norik.sdb", error);
    for (const auto& entry : fs::directory_iterator(out, error))
        if (entry.is_regular_file(error)) report.baseBytes += entry.file_size(error);
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
}

}  // namespace Norik
