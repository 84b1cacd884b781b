// The inverted indexes of the base: each maps a signed 64-bit key to the ascending list of the
// (signed 16-bit) numbers of the documents that carry it.
//
// IndexImpl::IndexInt holds one index in memory and reads and writes the index file format:
//     N (uint32 LE), then N entries { key (int64 LE), n (int16 LE), n document numbers (int16 LE) }.
// The index handles IIndexInt, IIndexStr and IIndexLongStr bind an IndexInt to a file and read the
// file on the first lookup: a sound file is read whole and looked up in place (IndexView.h), which
// costs a pass over its bytes instead of decoding them, and no pass at all while it is the file an
// earlier process checked (IndexCheckMemo.h); any other is loaded into the IndexInt, which
// reads what it can and reports the damage. A file read in place is compared with the state it was
// read in at every lookup: once it changed (a newer base copied over the open one) the handle
// answers nothing and its damage says the base changed, until it is bound to its file again. A handle whose file fails
// to open stays unloaded, answers from its (empty) index and tries the file again at the next lookup. The seven
// process-wide handles are reached by the accessors at the end of this header; the document table gives them their
// files.
//
// Keys: StrHash (number and type texts) and WordHash (the SplitWords of titles and texts) turn
// Windows-1251 text into keys; the text's first character fills the top five bits, so the keys
// of all texts that start alike lie in one contiguous range.
//
// Ownership: a handle owns its IndexInt. Results are returned by value.
// Threads: none of this is locked; every call belongs to one thread (the user-interface thread).
// Failures: a lookup that finds nothing throws IndexSpace::Value_Not_Found. A damaged index file
// is read up to the first byte that cannot belong to a whole entry; what was read before stays
// usable and the damage is reported once to the error log. Nothing reserves more memory than the
// file could fill. A handle keeps what kept its file from being read whole (damage()), so that a
// caller can tell "no document has this key" from "the index cannot be read".
//
// Writing index files (for the base builder):
//     IndexSpace::IndexImpl::IndexInt index;
//     index.Append(key, docs);            // keys strictly ascending, docs ascending, 1..32767 of them
//     index.WriteFile(path);              // HResult; a failure is reported to the error log
// or, when keys and documents arrive in any order, Norik::IndexBuilder (IndexBuilder.h) collects
// (key, document) pairs and produces the IndexInt.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Helpers/DataDamage.h"
#include "Helpers/FileBytes.h"
#include "common/ResultCode.h"

namespace Norik {
class SFile;
class DocBitmap;
}  // namespace Norik

namespace IndexSpace {

// A document number: signed 16-bit, compared as signed.
using DocNumber = std::int16_t;
// Document numbers ascending in signed order, without duplicates: the result of every lookup.
using DocNumberList = std::vector<DocNumber>;
// An index key, compared as a signed 64-bit value.
using IndexKey = std::int64_t;

// Thrown by value when a lookup finds no key.
class Value_Not_Found {};

// The key of a number or type text: the 5-bit codes of its first 13 characters, first character
// in the top bits, the 13th cut to its upper four bits. No character is skipped; "" gives 0.
IndexKey StrHash(std::string_view text);

// The key of one word: trailing vowels, signs and punctuation stripped, hard and soft signs,
// quotes and a few separators skipped, a doubled letter counted once. 0 when the stripped word
// has fewer than three characters (such a word yields no key).
IndexKey WordHash(std::string_view word);

// The words of a text as the word indexes take them: maximal runs of characters other than blank,
// tab, line feed, vertical tab, form feed and carriage return, in order; punctuation stays with
// its word (WordHash strips it). The builder splits titles and texts with it and a search splits
// its criteria with it, so that a word found in a document is always a word that can be asked for.
std::vector<std::string> SplitWords(std::string_view text);

// The 16 asterisks whose hash sets every key bit after a text's own characters: hashing
// text + kPrefixRangeSuffix gives the largest key that starts with the text's characters.
inline constexpr std::string_view kPrefixRangeSuffix = "****************";

// Character tables of the key functions, indexed by the Windows-1251 byte.
extern const std::array<std::uint8_t, 256> LetterCode;  // 5-bit code of each byte (0 when not listed)
extern const std::array<bool, 256> SkipChars;           // bytes WordHash ignores
extern const std::array<bool, 256> EndingChars;         // bytes WordHash strips from the end of a word

namespace IndexImpl {

// Whether an entry ends the reading of an index file: an empty list under a key that does not
// follow the one before adds nothing to any answer, and no writer makes one; it is what a run of
// zeros (the hole of a sparse file) reads as. Stopping there makes a count of billions over zeros
// cost nothing. The loader and the verifier both stop by it.
inline bool EndsTheEntries(bool hasPrevious, IndexKey previous, IndexKey key, std::int16_t length) {
    return length == 0 && hasPrevious && key <= previous;
}

// The interface of an index, shared by the in-memory implementation and the handles.
class Index {
public:
    virtual ~Index() = default;

    // Reads an index file from stream, positioned at its start, replacing the current entries.
    virtual void Load(Norik::SFile& stream) = 0;
    // The same from a binary standard stream.
    virtual void LoadStream(std::istream& stream) = 0;
    // Writes the entries in the file format.
    virtual void Save(std::ostream& stream) = 0;
    // Union of the lists of every key k with low <= k <= high, ascending without duplicates.
    // Throws Value_Not_Found when no key lies in the range (also when low > high).
    virtual DocNumberList FindRange(IndexKey low, IndexKey high) = 0;
    // The list of key. Throws Value_Not_Found when key is absent.
    virtual DocNumberList Find(IndexKey key) = 0;
    // Number of entries.
    virtual std::int32_t Count() = 0;
    // Sum of the list lengths read by the last load, low 32 bits.
    virtual std::uint32_t TotalRefs() = 0;
    // Removes every entry; TotalRefs keeps its value.
    virtual void Clear() = 0;
    // The wrapped implementation, or null for an implementation.
    virtual Index* GetImpl() = 0;
};

// The in-memory index. Entries are stored flat: one array of keys, one array of list starts and
// one array holding every list back to back, so a loaded index takes 12 bytes per key plus the
// lists themselves (the file takes 10 bytes per key plus the lists).
class IndexInt : public Index {
public:
    // The longest list an entry can carry (its length is a signed 16-bit count in the file).
    static constexpr std::size_t kMaxListLength = 32767;

    IndexInt() = default;

    void Load(Norik::SFile& stream) override;
    void LoadStream(std::istream& stream) override;
    void Save(std::ostream& stream) override;
    DocNumberList FindRange(IndexKey low, IndexKey high) override;
    DocNumberList Find(IndexKey key) override;
    std::int32_t Count() override;
    std::uint32_t TotalRefs() override;
    void Clear() override;
    Index* GetImpl() override;

    // Marks in bits the documents of every key in [low, high]; true when at least one key lies
    // in the range (its list may be empty). Costs time linear in the postings read.
    bool CollectRange(IndexKey low, IndexKey high, Norik::DocBitmap& bits) const;

    // Appends an entry after the last one. Refused (false, nothing changed) unless key is greater
    // than the last key, docs is strictly ascending and holds 1 to kMaxListLength numbers.
    bool Append(IndexKey key, std::span<const DocNumber> docs);

    // Writes the index file at path (created or truncated). A failure is reported to the error log
    // and returned; a partly written file may remain.
    Norik::HResult WriteFile(const std::string& path) const;

    // What the last load found wrong with the file ("ends inside entry 5 of 300; keys are out of
    // order from entry 3"); empty when it read whole. A damaged file is read up to the damage and
    // reported once to the error log, naming the file where the stream knows it.
    const std::string& damage() const { return m_damage; }
    // What a user is told of that damage: Cut when the file ends inside an entry.
    Norik::DamageKind damageKind() const { return m_damageKind; }

    // Read-only access to the entries, in stored order.
    std::size_t EntryCount() const { return m_keys.size(); }
    IndexKey KeyAt(std::size_t entry) const { return m_keys[entry]; }
    std::span<const DocNumber> ListAt(std::size_t entry) const;
    // Bytes held by the entries (capacity of the three arrays).
    std::size_t MemoryBytes() const;

    // Where a load takes its bytes from (a stream of the storage layer or a standard stream).
    class Source;

private:
    void LoadFrom(Source& source);
    // [first, last) of the entries whose key lies in [low, high]; first == last when none.
    std::pair<std::size_t, std::size_t> RangeOf(IndexKey low, IndexKey high) const;

    std::vector<IndexKey> m_keys;
    // m_starts[i] is where entry i's list begins in m_postings; one more element marks the end.
    std::vector<std::uint32_t> m_starts{0};
    std::vector<DocNumber> m_postings;
    std::int64_t m_total = 0;
    std::string m_damage;
    Norik::DamageKind m_damageKind = Norik::DamageKind::Damaged;
};

class IndexView;

}  // namespace IndexImpl

// An index bound to its file, read on first use.
class IIndexInt : public IndexImpl::Index {
public:
    IIndexInt();
    ~IIndexInt() override;
    IIndexInt(const IIndexInt&) = delete;
    IIndexInt& operator=(const IIndexInt&) = delete;

    // Forwarded at once; they neither test nor change the loaded state (a file read in place is
    // let go: what they load is what later lookups answer from).
    void Load(Norik::SFile& stream) override;
    void LoadStream(std::istream& stream) override;
    void Save(std::ostream& stream) override;
    void Clear() override;
    // Ensure the file is loaded, then forwarded.
    DocNumberList FindRange(IndexKey low, IndexKey high) override;
    DocNumberList Find(IndexKey key) override;
    std::int32_t Count() override;
    std::uint32_t TotalRefs() override;
    Index* GetImpl() override;

    // Binds the handle to path and marks it unloaded (the entries already held stay).
    virtual void SetFile(const std::string& path);
    // Writes the index to path; a path that cannot be created writes nothing and reports nothing.
    virtual void SaveToFile(const std::string& path);

    const std::string& fileName() const { return m_fileName; }
    bool isLoaded() const { return m_loaded; }
    // What kept the file from being read whole at the last attempt: it could not be opened, it is
    // larger than any index of its name (MaxBaseFileBytes; then nothing of it is read), or its load
    // found damage (IndexInt::damage). Null while the file read whole or was not tried.
    const Norik::DataDamage* damage() const { return m_damage ? &*m_damage : nullptr; }

    // Whether a list of the file holds doc; nullopt when the file cannot be read whole (damage()
    // says why), so that a caller can look elsewhere. Costs a pass over the lists.
    std::optional<bool> HoldsDocument(DocNumber doc);

protected:
    // Reads the file when it has not been read yet (see the header's contract).
    void EnsureLoaded();
    // IndexInt::CollectRange on what was read.
    bool CollectRange(IndexKey low, IndexKey high, Norik::DocBitmap& bits) const;

private:
    // Reads the file and takes it in place when it is sound; false (nothing reported) otherwise.
    bool ReadInPlace();
    // Lets a file read in place go.
    void DropView();
    // Whether the file read in place is no longer the one read; then the handle is emptied and
    // damage() says the base changed.
    bool FileChanged();

    bool m_loaded = false;
    std::string m_fileName;
    std::unique_ptr<IndexImpl::IndexInt> m_impl;
    std::optional<Norik::DataDamage> m_damage;
    // A sound file read in place: lookups answer from it while it is held, m_impl stays empty.
    std::vector<unsigned char> m_bytes;
    Norik::FileStamp m_stamp;
    std::unique_ptr<IndexImpl::IndexView> m_view;
};

// An index keyed by StrHash.
class IIndexStr : public IIndexInt {
public:
    // Every document whose key starts with the characters of text. An empty list (no exception)
    // when text hashes to 0; Value_Not_Found when no key starts so.
    DocNumberList FindPrefix(const std::string& text);
};

// An index keyed by WordHash.
class IIndexLongStr : public IIndexInt {
public:
    // Documents whose keys start with the stems of words: all of them (allWords) or any one.
    // Words that yield no key are skipped. Throws Value_Not_Found when nothing qualifies: with
    // allWords, as soon as one word has no key in the index or the documents run out.
    DocNumberList FindWords(const std::vector<std::string>& words, bool allWords);
};

// The seven process-wide handles, created empty on first use and living until the process ends.
IIndexLongStr& TextWordIndex();   // "index": words of document texts
IIndexLongStr& TitleWordIndex();  // "titidx": words of titles
IIndexInt& ClassIndex();          // "clasidx": classifier node id
IIndexStr& TypeIndex();           // "typeidx": StrHash of the type name
IIndexStr& NumberIndex();         // "numbidx": StrHash of the number text
IIndexInt& DateIndex();           // "date_beg": day code of the date of introduction
IIndexInt& InForceIndex();        // "work_now": 1 in force, 0 not in force

// The file stems of the seven indexes, in the order above.
inline constexpr std::string_view kIndexFileNames[7] = {"index",   "titidx",   "clasidx", "typeidx",
                                                        "numbidx", "date_beg", "work_now"};
// The process-wide handle of a file stem, or null for any other name.
IIndexInt* IndexByName(std::string_view fileStem);

}  // namespace IndexSpace
