// Evaluation of an attribute search: each criterion a request holds is looked up in its index and
// the document lists are intersected.
//
// Ownership: the evaluation holds nothing between calls; the indexes belong to the caller (or are
// the process-wide handles). Threads: the user-interface thread, like the indexes it reads.
// Failures, and how a caller tells them apart:
// - a request without any criterion throws the message NoSearchCriteriaMessage() as a const char*
//   (Windows-1251 text);
// - an index the request consulted could not be read whole - its file is missing, unreadable or
//   damaged - throws SearchIndexDamaged naming the index and its file: the base cannot answer
//   the request, which is not the same as "nothing found" (the viewer shows a message box);
// - no document matching (an absent key, a word without an entry), or any other failure of a
//   lookup (a failed allocation), gives an empty result.
// Nothing else leaves EvaluateSearchRequest. Lookups stop at the first criterion that finds
// nothing, so an index consulted after it does not matter to the answer.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Helpers/DataDamage.h"
#include "index/IndexSpace.h"
#include "showdata/SearchRequest.h"

namespace ShowData {

// The seven indexes a request is evaluated against.
struct SearchIndexes {
    IndexSpace::IIndexInt& classes;         // "clasidx"
    IndexSpace::IIndexLongStr& titleWords;  // "titidx"
    IndexSpace::IIndexStr& numbers;         // "numbidx"
    IndexSpace::IIndexLongStr& textWords;   // "index"
    IndexSpace::IIndexStr& types;           // "typeidx"
    IndexSpace::IIndexInt& dates;           // "date_beg"
    IndexSpace::IIndexInt& inForce;         // "work_now"

    // The process-wide handles.
    static SearchIndexes ProcessWide();
};

// An index the request needed could not be read whole; what() is damage().Text().
class SearchIndexDamaged : public std::runtime_error {
public:
    SearchIndexDamaged(std::string indexName, Norik::DataDamage damage);
    // The index's file stem: "clasidx", "titidx", "numbidx", "index", "typeidx", "date_beg" or
    // "work_now".
    const std::string& indexName() const { return m_indexName; }
    // Its file and what is wrong with it.
    const Norik::DataDamage& damage() const { return m_damage; }

private:
    std::string m_indexName;
    Norik::DataDamage m_damage;
};

// Document numbers matching every criterion of request, ascending, without duplicates; possibly
// empty. Throws NoSearchCriteriaMessage() when the request holds no criterion, SearchIndexDamaged
// when an index it needed could not be read whole.
IndexSpace::DocNumberList EvaluateSearchRequest(const SearchRequest& request);
IndexSpace::DocNumberList EvaluateSearchRequest(const SearchRequest& request, const SearchIndexes& indexes);

// "Не заданы реквизиты поиска!" in Windows-1251; the pointer thrown is always this one.
const char* NoSearchCriteriaMessage();

// Numbers present in both ascending lists, ascending.
IndexSpace::DocNumberList IntersectDocLists(const IndexSpace::DocNumberList& left,
                                            const IndexSpace::DocNumberList& right);

}  // namespace ShowData
