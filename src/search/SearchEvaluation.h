// Evaluation of an attribute search: each criterion a request holds is looked up in its index and
// the document lists are intersected.
//
// Ownership: the evaluation holds nothing between calls; the indexes belong to the caller (or are
// the process-wide handles). Threads: the user-interface thread, like the indexes it reads.
// Failures: a request without any criterion throws the message NoSearchCriteriaMessage() as a
// const char* (Windows-1251 text); any failure of a lookup (a missing index file, an absent key,
// even a failed allocation) gives an empty result. Nothing else leaves EvaluateSearchRequest.
#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// Document numbers matching every criterion of request, ascending, without duplicates; possibly
// empty. Throws NoSearchCriteriaMessage() when the request holds no criterion.
IndexSpace::DocNumberList EvaluateSearchRequest(const SearchRequest& request);
IndexSpace::DocNumberList EvaluateSearchRequest(const SearchRequest& request, const SearchIndexes& indexes);

// "Не заданы реквизиты поиска!" in Windows-1251; the pointer thrown is always this one.
const char* NoSearchCriteriaMessage();

// The words of a criterion: maximal runs of characters other than blank, tab, line feed,
// vertical tab, form feed and carriage return, in order. Punctuation stays with its word.
std::vector<std::string> SplitSearchWords(std::string_view text);

// Numbers present in both ascending lists, ascending.
IndexSpace::DocNumberList IntersectDocLists(const IndexSpace::DocNumberList& left,
                                            const IndexSpace::DocNumberList& right);

}  // namespace ShowData
