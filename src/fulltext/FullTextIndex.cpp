// Where an index lives, how it is stamped and checked, and how it is written.
#include "fulltext/FullTextIndex.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xapian.h>

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <unordered_map>

#include "Helpers/UserCache.h"
#include "fulltext/FullTextTerms.h"
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
constexpr int kFormatVersion = 2;
// Xapian holds the postings of the documents added since the last commit in memory: committing
// after about this many bytes of text bounds what a build holds, whatever the size of the texts.
constexpr std::size_t kTextBytesPerCommit = std::size_t{24} << 20;

struct Stamp {
    int format = 0;
    std::int32_t baseDate = 0;
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

std::optional<Stamp> ReadStamp(const fs::path& folder, std::string& why) {
    std::ifstream file(folder / kStampName);
    if (!file) {
        why = "no stamp " + std::string(kStampName);
        return std::nullopt;
    }
    std::string magic, formatWord, dateWord, countWord;
    Stamp stamp;
    std::getline(file, magic);
    if (magic != kStampMagic ||
        !(file >> formatWord >> stamp.format >> dateWord >> stamp.baseDate >> countWord >> stamp.documents) ||
        formatWord != "format" || dateWord != "base-date" || countWord != "documents") {
        why = "the stamp " + std::string(kStampName) + " is not one this program writes";
        return std::nullopt;
    }
    return stamp;
}

bool WriteStamp(const fs::path& folder, const Stamp& stamp, std::string& error) {
    std::ostringstream text;
    text << kStampMagic << "\nformat " << stamp.format << "\nbase-date " << stamp.baseDate << "\ndocuments "
         << stamp.documents << "\n";
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
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(folder, error))) return false;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code kind;
        if (!IsIndexFileName(it->path().filename().string()) || it->is_symlink(kind) || !it->is_regular_file(kind))
            return false;
    }
    return !error;
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

IndexCheck CheckIndex(const fs::path& folder, std::int32_t baseDate) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(folder, error);
    if (!fs::exists(status)) return {IndexState::Absent, {}};
    if (!fs::is_directory(status)) return {IndexState::Damaged, folder.string() + " is not a folder"};
    if (!IsIndexFolder(folder)) return {IndexState::Damaged, folder.string() + " holds files an index does not"};
    std::string why;
    const std::optional<Stamp> stamp = ReadStamp(folder, why);
    if (!stamp) return {IndexState::Damaged, folder.string() + ": " + why};
    if (stamp->format != kFormatVersion)
        return {IndexState::Stale, folder.string() + ": an index of format " + std::to_string(stamp->format) +
                                       ", this program writes format " + std::to_string(kFormatVersion)};
    if (stamp->baseDate != baseDate)
        return {IndexState::Stale, folder.string() + ": an index of the base of day " +
                                       std::to_string(stamp->baseDate) + ", the base is of day " +
                                       std::to_string(baseDate)};
    try {
        const Xapian::Database database(folder.string());
        if (database.get_doccount() != stamp->documents)
            return {IndexState::Damaged, folder.string() + ": holds " + std::to_string(database.get_doccount()) +
                                             " documents, its stamp says " + std::to_string(stamp->documents)};
    } catch (const Xapian::Error& e) {
        return {IndexState::Damaged, folder.string() + ": " + e.get_description()};
    }
    return {IndexState::Current, {}};
}

IndexChoice ChooseIndex(const fs::path& baseFolder, std::int32_t baseDate) {
    IndexChoice choice;
    const fs::path own = BaseIndexFolder(baseFolder);
    choice.own = CheckIndex(own, baseDate);
    if (choice.own.state == IndexState::Current) {
        choice.folder = own;
        return choice;
    }
    const fs::path cache = CacheIndexFolder(baseFolder, baseDate);
    choice.cache = CheckIndex(cache, baseDate);
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

struct IndexWriter::Impl {
    fs::path target;
    fs::path building;  // the private folder the index is written into
    std::int32_t baseDate = 0;
    std::optional<Xapian::WritableDatabase> database;
    std::size_t documents = 0;
    std::size_t uncommittedBytes = 0;
    std::uint64_t textBytes = 0;
    // How many documents hold each word, written to the spelling table once at the end: Xapian
    // rewrites the table's entries of every word a commit touches, so words added document by
    // document cost a rewrite per commit.
    std::unordered_map<std::string, Xapian::termcount> spelling;
    std::string error;
    bool finished = false;

    void Fail(const std::string& what) {
        if (error.empty()) error = what;
        database.reset();
    }
};

IndexWriter::IndexWriter(const fs::path& folder, std::int32_t baseDate) : m_impl(std::make_unique<Impl>()) {
    Impl& d = *m_impl;
    std::error_code code;
    d.target = fs::absolute(folder, code);
    d.baseDate = baseDate;
    const fs::path parent = d.target.parent_path();
    if (!MakePrivateFolders(parent, d.error)) return;
    // A new private folder beside the target: nothing is written through a link or over a file
    // someone else made.
    std::string pattern = (parent / ("." + d.target.filename().string() + ".building-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        d.error = parent.string() + ": a folder for the new index cannot be created";
        return;
    }
    d.building = pattern;
    try {
        // No term lists: nothing asks which words a document holds, and they would add a sixth
        // to the index.
        d.database.emplace(d.building.string(),
                           Xapian::DB_CREATE_OR_OVERWRITE | Xapian::DB_BACKEND_GLASS | Xapian::DB_NO_TERMLIST);
    } catch (const Xapian::Error& e) {
        d.Fail(d.building.string() + ": " + e.get_description());
    }
}

IndexWriter::~IndexWriter() {
    m_impl->database.reset();
    if (!m_impl->building.empty() && !m_impl->finished) RemoveIndexFolder(m_impl->building);
}

bool IndexWriter::ok() const { return m_impl->error.empty(); }
const std::string& IndexWriter::error() const { return m_impl->error; }

namespace {

// The terms, values and data of one document, and its text's pieces after the first, packed.
void Prepare(Xapian::TermGenerator& generator, Xapian::Document& document, const DocumentFields& fields,
             const DocumentText* text, std::vector<std::string>& packedPieces) {
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
    // cut at blanks, so the words and their positions are those of the whole text.
    std::vector<std::uint32_t> starts;
    const std::vector<std::string_view> pieces =
        text != nullptr ? SplitPieces(text->plain) : std::vector<std::string_view>();
    for (const std::string_view piece : pieces) {
        starts.push_back(generator.get_termpos());
        generator.index_text(std::string(piece));
    }

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
    if (!pieces.empty()) document.set_data(std::string(pieces.front()));
    if (pieces.size() > 1) {
        document.add_value(kPieceValueSlot, PackPositions(starts));
        for (std::size_t k = 1; k < pieces.size(); ++k) packedPieces.push_back(PackPiece(pieces[k]));
    }
}

}  // namespace

struct PreparedDocument::Impl {
    Xapian::Document document;
    std::vector<std::string> pieces;  // the text's pieces after the first, packed
    // The words of the document, once each, that spelling suggestions are made of; terms with a
    // prefix (capital Latin letters) and stems are not words.
    std::vector<std::string> words;
    unsigned id = 0;
    std::size_t textBytes = 0;
};

PreparedDocument::PreparedDocument(const DocumentFields& fields, const DocumentText* text)
    : m_impl(std::make_unique<Impl>()) {
    // One generator per thread: a stemmer is no object to share between threads.
    thread_local Xapian::TermGenerator generator = [] {
        Xapian::TermGenerator made;
        made.set_stemmer(Xapian::Stem("russian"));
        made.set_stemming_strategy(Xapian::TermGenerator::STEM_SOME);
        return made;
    }();
    Xapian::Document& document = m_impl->document;
    m_impl->id = DocumentIdOf(fields.number);
    try {
        Prepare(generator, document, fields, text, m_impl->pieces);
        for (auto term = document.termlist_begin(); term != document.termlist_end(); ++term) {
            const std::string& word = *term;
            if (!word.empty() && (word[0] < 'A' || word[0] > 'Z')) m_impl->words.push_back(word);
        }
    } catch (const Xapian::Error&) {
        // Nothing here reads outside data Xapian could refuse; a document it still refuses is
        // indexed with what it took.
    }
    // The generator holds the document it filled, and Xapian counts its holders without atomics:
    // the document goes to the writing thread, so this thread lets go of it here.
    generator.set_document(Xapian::Document());
    if (text != nullptr) m_impl->textBytes = text->plain.size();
}

PreparedDocument::~PreparedDocument() = default;
PreparedDocument::PreparedDocument(PreparedDocument&&) noexcept = default;
PreparedDocument& PreparedDocument::operator=(PreparedDocument&&) noexcept = default;

void IndexWriter::Add(const DocumentFields& fields, const DocumentText* text) {
    if (m_impl->database) Add(PreparedDocument(fields, text));
}

void IndexWriter::Add(PreparedDocument prepared) {
    Impl& d = *m_impl;
    if (!d.database || !prepared.m_impl) return;
    try {
        for (std::string& word : prepared.m_impl->words) ++d.spelling[std::move(word)];
        d.database->replace_document(prepared.m_impl->id, prepared.m_impl->document);
        for (std::size_t k = 0; k < prepared.m_impl->pieces.size(); ++k)
            d.database->set_metadata(PieceKey(prepared.m_impl->id, k + 1), prepared.m_impl->pieces[k]);
        ++d.documents;
        d.textBytes += prepared.m_impl->textBytes;
        d.uncommittedBytes += prepared.m_impl->textBytes + 256;
        if (d.uncommittedBytes > kTextBytesPerCommit) {
            d.database->commit();
            d.uncommittedBytes = 0;
        }
    } catch (const Xapian::Error& e) {
        d.Fail(d.building.string() + ": " + e.get_description());
    }
}

BuildResult IndexWriter::Finish() {
    Impl& d = *m_impl;
    BuildResult result;
    if (!d.database) {
        result.error = d.error.empty() ? "the index was not written" : d.error;
        return result;
    }
    // Written in many commits, the tables' blocks are partly empty: the index put in place is a
    // compacted copy, in another private folder, about a third smaller.
    std::string pattern = (d.target.parent_path() / ("." + d.target.filename().string() + ".compact-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        d.Fail(d.target.parent_path().string() + ": a folder for the new index cannot be created");
        result.error = d.error;
        return result;
    }
    const fs::path written = d.building;
    d.building = pattern;
    try {
        for (const auto& [word, count] : d.spelling) d.database->add_spelling(word, count);
        d.spelling.clear();
        d.database->commit();
        d.database->compact(d.building.string(), Xapian::DBCOMPACT_NO_RENUMBER);
        d.database->close();
    } catch (const Xapian::Error& e) {
        d.Fail(d.building.string() + ": " + e.get_description());
        RemoveIndexFolder(written);
        result.error = d.error;
        return result;
    }
    d.database.reset();
    RemoveIndexFolder(written);
    if (!WriteStamp(d.building, {kFormatVersion, d.baseDate, d.documents}, d.error)) {
        result.error = d.error;
        return result;
    }
    // Into place: swapped with an old index in one step where the system can, else the old one
    // steps aside first. Only a folder recognised as an index is ever replaced.
    std::error_code code;
    const fs::file_status old = fs::symlink_status(d.target, code);
    if (fs::exists(old)) {
        if (!IsIndexFolder(d.target)) {
            result.error = d.target.string() + " exists and is not an index folder; not replacing it";
            return result;
        }
        if (::renameat2(AT_FDCWD, d.building.c_str(), AT_FDCWD, d.target.c_str(), RENAME_EXCHANGE) != 0) {
            const fs::path aside = d.building.string() + ".old";
            if (::rename(d.target.c_str(), aside.c_str()) != 0 || ::rename(d.building.c_str(), d.target.c_str()) != 0) {
                (void)::rename(aside.c_str(), d.target.c_str());
                result.error = d.target.string() + ": cannot be replaced";
                return result;
            }
            RemoveIndexFolder(aside);
            d.finished = true;
        }
        // After an exchange the building folder holds the old index, which the writer removes.
    } else if (::rename(d.building.c_str(), d.target.c_str()) != 0) {
        result.error = d.target.string() + ": cannot be put in place";
        return result;
    } else {
        d.finished = true;
    }
    result.ok = true;
    result.documents = d.documents;
    result.textBytes = d.textBytes;
    return result;
}

BuildResult BuildIndex(const fs::path& folder, const std::vector<DocumentFields>& documents, const TextSource& textOf,
                       std::int32_t baseDate, const BuildProgress& progress) {
    IndexWriter writer(folder, baseDate);
    BuildResult result;
    if (!writer.ok()) {
        result.error = writer.error();
        return result;
    }
    // The workers read each text and find its words, taking the documents in order; the documents
    // are added here in order again. The workers stay at most a few documents ahead of the
    // writing, which bounds the texts held.
    struct Job {
        std::optional<PreparedDocument> prepared;
        bool done = false;
    };
    const std::size_t total = documents.size();
    const unsigned threadCount = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t window = std::size_t{threadCount} * 4;
    std::vector<Job> jobs(total);
    std::mutex mutex;
    std::condition_variable workerWake, writerWake;
    std::size_t taken = 0, added = 0;
    bool stop = false;
    std::string failure;  // why a worker gave up
    const auto work = [&] {
        for (;;) {
            std::size_t i = 0;
            {
                std::unique_lock lock(mutex);
                workerWake.wait(lock, [&] { return stop || taken >= total || taken < added + window; });
                if (stop || taken >= total) return;
                i = taken++;
            }
            std::optional<PreparedDocument> prepared;
            std::string failed;
            try {
                const std::optional<DocumentText> text = textOf ? textOf(documents[i].number) : std::nullopt;
                prepared.emplace(documents[i], text ? &*text : nullptr);
            } catch (const std::exception& error) {
                // Out of memory, most likely: the build is given up.
                failed = std::string("cannot be indexed: ") + error.what();
            }
            std::lock_guard lock(mutex);
            if (!failed.empty() && failure.empty())
                failure = "the text of document " + std::to_string(documents[i].number) + ": " + failed;
            jobs[i].prepared = std::move(prepared);
            jobs[i].done = true;
            writerWake.notify_all();
        }
    };
    std::vector<std::thread> workers;
    for (unsigned k = 0; k < threadCount; ++k) workers.emplace_back(work);
    const auto finishWorkers = [&] {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        workerWake.notify_all();
        for (std::thread& worker : workers) worker.join();
    };

    while (added < total) {
        std::optional<PreparedDocument> prepared;
        {
            std::unique_lock lock(mutex);
            writerWake.wait(lock, [&] { return jobs[added].done || !failure.empty(); });
            if (!failure.empty()) break;
            prepared = std::move(jobs[added].prepared);
            jobs[added].prepared.reset();
            ++added;
        }
        workerWake.notify_all();
        writer.Add(std::move(*prepared));
        if (!writer.ok()) break;
        if (progress && !progress(added, total)) {
            finishWorkers();
            result.cancelled = true;
            return result;
        }
    }
    finishWorkers();
    if (!failure.empty()) {
        result.error = failure;
        return result;
    }
    if (!writer.ok()) {
        result.error = writer.error();
        return result;
    }
    return writer.Finish();
}

}  // namespace Norik::FullText
