// The full-text index of a base: ranked search over every document's title, attributes and text
// in any grammatical form, on Xapian (Russian stemming, BM25, phrases, passages, spelling).
//
// Where it lives. A base may carry its index in the folder "fulltext/" beside its tables, written
// by norik-tool build (or norik-tool fulltext) and stamped with the base it was built from (its
// BaseIdentity). The viewer never writes into a base: when the base's own index is absent, stamped
// with another base or damaged, it builds one in the background into the user's cache folder
// ($XDG_CACHE_HOME/Norik/fulltext/<key of the base folder>-<base date>/). An index that cannot be
// opened or does not match is set aside (logged) and rebuilt; it never gives an answer.
//
// How it is read. An index is opened as a glass database through its folder held open, never by
// a name Xapian would look up again: whatever the folder holds at any moment, no stub database
// (which could name a program to start) is ever followed. Before its first search an index passes
// Xapian's full structural check, remembered per state of its files (CheckRecord.h), so that an
// index of damaged blocks is refused instead of read out of bounds; what the search reads back
// from it (text pieces, positions, document ids) is checked again before use.
//
// What is indexed, per document (its number is the key): the title (weighted above the text),
// the type name, the number text, the date of introduction, the status, and the plain text of its
// RTF, and the documents it links to. Every text here is UTF-8.
//
// Threads: an index is built on a worker thread (plain data only); a Searcher belongs to the
// thread that opened it. Nothing here throws: failures come back as values.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Norik::FullText {

// The attributes of one document as indexed; plain data copied from the tables (UTF-8).
struct DocumentFields {
    std::int16_t number = 0;
    std::string title;
    std::string type;        // type name without the stored leading blank
    std::string numberText;  // e.g. "131-ФЗ"
    std::int32_t date = 0;   // day code of the date of introduction; 0: none
    bool inForce = false;
};

// What the index takes from a document's RTF: its plain text and the numbers of the documents its
// links lead to (LinkDocumentNumber, as the viewer follows them), which answer "who cites this".
struct DocumentText {
    std::string plain;
    std::vector<std::int16_t> links;
};

// The text of a document for the index; nullopt when its text cannot be read (the document is
// then indexed by its attributes alone). Called on the build's worker threads, several at once.
using TextSource = std::function<std::optional<DocumentText>(std::int16_t number)>;

// Called on the building thread as documents are done; returning false stops the build.
using BuildProgress = std::function<bool(std::size_t done, std::size_t total)>;

enum class IndexState { Current, Absent, Stale, Damaged };

// The base an index is made from: its date, and a key that tells one base from another of the
// same date (BaseKey). An index stamped with another date or key is Stale.
struct BaseIdentity {
    std::int32_t date = 0;
    std::string key;
};

// The key of a base: a digest of its document table's bytes (documentTable, the file "Items.ttx")
// and of its container's first and last 64 KiB (container, "Norik.sdb"), and the container's size.
// Content only: a copy of a base keeps the key, whatever times the copy gives its files. Empty,
// with why set, when either cannot be read or the table is larger than a base's document table
// may be.
std::string BaseKey(const std::filesystem::path& documentTable, const std::filesystem::path& container,
                    std::string& why);

struct IndexCheck {
    IndexState state = IndexState::Absent;
    std::string why;  // for Stale and Damaged: what is wrong, for the log
};

// The folder of the index a base carries: <baseFolder>/fulltext.
std::filesystem::path BaseIndexFolder(const std::filesystem::path& baseFolder);
// The viewer's own index of a base in the user's cache folder, one per base folder and date.
std::filesystem::path CacheIndexFolder(const std::filesystem::path& baseFolder, std::int32_t baseDate);

// Renames a damaged index folder of the cache out of the way, to "<folder>.damaged" (or
// ".damaged-2" and on when that is taken); the new name, or empty when it could not be moved.
std::filesystem::path SetIndexAside(const std::filesystem::path& folder);

// Removes the cache folder's index folders of the same base folder as current (a folder
// CacheIndexFolder names) that current supersedes: those of other base dates and those set
// aside as damaged. Only folders named so, real folders (never through a link) of the user's
// own holding nothing but the files of an index, are removed.
// How many were removed.
std::size_t RemoveSupersededIndexes(const std::filesystem::path& current);

// Whether folder holds a whole, sound index (its structure checked in full, in a child process of
// its own, the first time its files are met in their present state) stamped with base. Reads the
// folder and its files; takes about a second for an index of a hundred megabytes never checked
// before, so not on the window's thread.
IndexCheck CheckIndex(const std::filesystem::path& folder, const BaseIdentity& base);

// Which index of a base answers: the base's own when current, else the viewer's own in the cache
// when that is current, else none (folder empty). Both checks are kept for what is told of them.
struct IndexChoice {
    std::filesystem::path folder;
    IndexCheck own;
    IndexCheck cache;  // Absent when the base's own is current (the cache is not looked at then)
};
IndexChoice ChooseIndex(const std::filesystem::path& baseFolder, const BaseIdentity& base);

struct BuildResult {
    bool ok = false;
    bool cancelled = false;
    std::string error;  // when !ok and !cancelled
    std::size_t documents = 0;
    std::uint64_t textBytes = 0;  // plain text indexed, in bytes
};

// Builds the index of documents into folder: written into a new private folder beside it and
// put in place only when whole, so a stopped or failed build leaves what was there. Anything the
// build replaces is only an index folder it recognises as one. Threads of its own read the texts
// (textOf), find their words and write them; progress is called on the calling thread with the
// count of documents done, as they are done.
BuildResult BuildIndex(const std::filesystem::path& folder, const std::vector<DocumentFields>& documents,
                       const TextSource& textOf, const BaseIdentity& base, const BuildProgress& progress);

// Whether folder is an index folder as this program writes one: a real folder (no link) holding
// nothing but the files of an index. Only such a folder is ever replaced or removed.
bool IsIndexFolder(const std::filesystem::path& folder);

// The plain text and the links of one RTF document, read in one pass (PlainText.h's text).
DocumentText ReadDocumentText(std::string_view rtf);

// One document made ready for the index - its words found, stemmed and placed - on any thread,
// to be added by the thread that writes the index. Plain data; movable.
class PreparedDocument {
public:
    // text null: the document is indexed by its attributes alone.
    PreparedDocument(const DocumentFields& fields, const DocumentText* text);
    ~PreparedDocument();
    PreparedDocument(PreparedDocument&&) noexcept;
    PreparedDocument& operator=(PreparedDocument&&) noexcept;

private:
    friend class IndexWriter;
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Writes an index document by document, for a caller that has the texts at hand (the base
// builder); BuildIndex runs one over a TextSource. The index may be written in parts, each by one
// thread at a time and several at once; the parts are merged by Finish, and every document of a
// part must have a higher id (DocumentIdOf, FullTextTerms.h) than those of the parts before it
// (else Finish fails). The index is written into new private folders beside folder and put in
// place by Finish only, as BuildIndex does; an index never finished is removed with the writer.
// Construction, ok, error and Finish on one thread, with no part being written.
class IndexWriter {
public:
    IndexWriter(const std::filesystem::path& folder, std::int32_t baseDate, std::size_t parts = 1);
    ~IndexWriter();
    IndexWriter(const IndexWriter&) = delete;
    IndexWriter& operator=(const IndexWriter&) = delete;

    // False when the index cannot be written (error() says why); Add and Finish then do nothing.
    bool ok() const;
    const std::string& error() const;
    // Adds one document to the first part; text null: indexed by its attributes alone.
    void Add(const DocumentFields& fields, const DocumentText* text);
    void Add(PreparedDocument document, std::size_t part = 0);
    // Ends the writing of a part: what it holds in memory is written and let go.
    void EndPart(std::size_t part);
    // Writes the stamp, naming the base by the key it has once written (BaseKey), and puts the
    // index in place.
    BuildResult Finish(const std::string& baseKey);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

struct Hit {
    std::int16_t number = 0;
    double score = 0;
    // Up to the requested number of passages of the text, the query's words in any form marked
    // with "<b>" and "</b>" (the rest of the passage escaped as HTML).
    std::vector<std::string> passages;
};

// The most words (runs of letters and digits) a query is searched with; the words after them are
// left out, so that a pasted page costs no more than a long query.
inline constexpr std::size_t kMaxQueryWords = 64;
// The longest distance NEAR/n and ADJ/n may ask for.
inline constexpr unsigned kMaxNearDistance = 10000;

struct SearchResult {
    std::vector<Hit> hits;    // best first
    std::size_t matches = 0;  // how many documents match in all, counted exactly
    std::string suggestion;   // a corrected query when nothing matched, else empty
    // The words ending in "*" (as typed, lower case) that begin more indexed words than are taken
    // for them (kMaxWildcardWords, the most frequent).
    std::vector<std::string> cutWildcards;
    std::string error;             // a query that cannot be understood, or a damaged index
    std::size_t wordsLeftOut = 0;  // words of the query past kMaxQueryWords, not searched for
};

class Searcher {
public:
    // Opens the index in folder, checked as CheckIndex checks it (of any base); on failure error()
    // says why and Search answers nothing.
    explicit Searcher(const std::filesystem::path& folder);
    ~Searcher();
    Searcher(const Searcher&) = delete;
    Searcher& operator=(const Searcher&) = delete;

    bool ok() const;
    const std::string& error() const;

    // Runs query as a user typed it: words in any form, "phrases", a number as written
    // ("131-ФЗ", "№ 131-ФЗ"), a type, a date "06.10.2003" or a year (each also meeting the dates
    // written in the texts, "17.10.2016"), a word ending in "*" for every word it begins (at most
    // kMaxWildcardWords of them), -word to exclude. Ranking: the documents bearing a number typed
    // first, however often others cite it; then title, number and type above text; equal scores
    // put documents in force first, then the newest. among (ascending; null: every document)
    // restricts the search to those documents. passagesPerHit 0 gives no passages. Only the first
    // kMaxQueryWords words are searched for (wordsLeftOut tells the rest); NEAR/n or ADJ/n with n of
    // 0 or above kMaxNearDistance is a query that cannot be understood.
    SearchResult Search(std::string_view query, std::size_t maxHits, std::size_t passagesPerHit,
                        const std::vector<std::int16_t>* among = nullptr) const;
    static constexpr std::size_t kMaxWildcardWords = 4000;

    // Up to count passages of document number's text for query, as Search gives them; for a
    // window that shows the passages of one document at a time. Empty when the document does not
    // match or the index cannot answer.
    std::vector<std::string> Passages(std::string_view query, std::int16_t number, std::size_t count) const;

    // The documents whose texts link to number, ascending; error() set on a damaged index.
    std::vector<std::int16_t> CitedBy(std::int16_t number) const;

    // The numbers of every document indexed, ascending; error() set on a damaged index.
    std::vector<std::int16_t> DocumentNumbers() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Finds the words of a text that are forms of a query's words (same Russian or English stem),
// for marking them in a document: plain data, any thread.
class WordFormMatcher {
public:
    // The query as typed into the search line or the attribute search's word fields; operators,
    // quotes, numbers but years, excluded words and the short words a search does not require (IsStopWord)
    // are ignored; a word ending in "*" stands for every word it begins, and a year ("2016") for
    // itself, in a date too.
    explicit WordFormMatcher(std::string_view query);
    bool empty() const { return m_stems.empty() && m_prefixes.empty() && m_years.empty(); }
    // The [begin, end) offsets, in UTF-16 code units, of every matching word of text.
    std::vector<std::pair<std::size_t, std::size_t>> FindAll(std::u16string_view text) const;

private:
    std::vector<std::string> m_stems;
    std::vector<std::string> m_prefixes;  // lower case, "ё" kept
    std::vector<std::string> m_years;
};

}  // namespace Norik::FullText
