// Collects (key, document) pairs in any order and turns them into an index, for the programs
// that write index files.
//
// Ownership: the builder owns what it collected until Build. Threads: one at a time.
// Failures: Build refuses (kFail, reported once to the error log) a key carried by more documents
// than an index entry can hold; it then leaves the target index empty.
#pragma once

#include <unordered_map>
#include <vector>

#include "common/ResultCode.h"
#include "index/IndexSpace.h"

namespace Norik {

class IndexBuilder {
public:
    // Records that doc carries key. Repeats are harmless.
    void Add(IndexSpace::IndexKey key, IndexSpace::DocNumber doc);

    // Number of distinct keys recorded so far.
    std::size_t KeyCount() const { return m_lists.size(); }

    // Fills index (replacing its entries) with every key ascending, each list ascending and
    // without duplicates.
    HResult Build(IndexSpace::IndexImpl::IndexInt& index) const;

    // Build, then write the file at path.
    HResult WriteFile(const std::string& path) const;

private:
    std::unordered_map<IndexSpace::IndexKey, std::vector<IndexSpace::DocNumber>> m_lists;
};

}  // namespace Norik
