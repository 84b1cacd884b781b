// An index file read in place: the lookups of IndexInt answered from the file's bytes (read whole,
// see Helpers/FileBytes.h) without decoding its entries.
//
// Attach checks the bytes once, whole: the declared number of entries, each inside the data, keys
// strictly ascending, every list strictly ascending, nothing after the last entry. A file that
// passes is one IndexInt's load reads without finding any damage, and then both answer every
// lookup alike; any other file is refused, for the caller to load it into an IndexInt, which
// reads what it can and reports the damage. Attach keeps the key and place of one entry in every
// kStride, so that a lookup walks at most that many entries; every place read is checked against
// the size of the bytes all the same. AttachChecked takes the same bytes again with what a check
// of them found, without the pass.
//
// Ownership: the view does not own its bytes; they must outlive it. Threads: const lookups may
// run on several threads at once. Failures: Attach's false; Find and FindRange throw
// Value_Not_Found as IndexInt's do.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "index/IndexSpace.h"

namespace Norik {
class DocBitmap;
}

namespace IndexSpace::IndexImpl {

class IndexView {
public:
    // Entries between two kept places.
    static constexpr std::size_t kStride = 64;

    // Takes bytes in the index file format; false, with the view left empty, unless they are a
    // sound index file starting at an address aligned for document numbers.
    bool Attach(std::span<const unsigned char> bytes);

    // What Attach's check of a file found: the kept keys and places, the count and the total.
    // Remembered (IndexCheckMemo.h), it lets the same unchanged bytes be taken again unchecked.
    struct CheckResult {
        std::vector<IndexKey> markKeys;
        std::vector<std::uint64_t> markPlaces;
        std::uint64_t count = 0;
        std::int64_t total = 0;
    };
    CheckResult Checked() const;
    // Takes bytes Attach found sound before, with what it found then, checking only that the result
    // fits them: the count the bytes declare, one kept place per kStride entries, in order, inside
    // the bytes, the first and the last the start of an entry of its key. false, with the view left
    // empty, otherwise. Lookups read every place bounds-checked all the same.
    bool AttachChecked(std::span<const unsigned char> bytes, CheckResult checked);

    // As IndexInt's.
    DocNumberList Find(IndexKey key) const;
    DocNumberList FindRange(IndexKey low, IndexKey high) const;
    bool CollectRange(IndexKey low, IndexKey high, Norik::DocBitmap& bits) const;
    std::int32_t Count() const;
    std::uint32_t TotalRefs() const { return static_cast<std::uint32_t>(m_total); }
    // Whether any list holds doc.
    bool HoldsDocument(DocNumber doc) const;

    // The bytes of the file, as IndexInt's Save would write them.
    std::span<const unsigned char> bytes() const { return m_bytes; }

private:
    struct Entry {
        IndexKey key = 0;
        std::span<const DocNumber> list;
    };
    // Reads the entry at offset into entry and moves offset past it; false at the end of the
    // bytes or where the entry would pass it.
    inline bool Next(std::size_t& offset, Entry& entry) const;
    // Where the walk for keys from low on starts: a kept place at or before the first such entry.
    std::size_t StartFor(IndexKey low) const;
    // Calls visit(entry) for every entry whose key lies in [low, high], in order; how many.
    template <class Visit>
    std::size_t ForEachInRange(IndexKey low, IndexKey high, Visit&& visit) const;

    std::span<const unsigned char> m_bytes;
    std::vector<IndexKey> m_markKeys;       // the key of entry 0, kStride, 2 kStride, ...
    std::vector<std::size_t> m_markPlaces;  // where those entries start in m_bytes
    std::size_t m_count = 0;
    std::int64_t m_total = 0;
};

}  // namespace IndexSpace::IndexImpl
