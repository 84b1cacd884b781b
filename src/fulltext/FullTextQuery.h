// What a user types into the search line, made ready for Xapian's query parser: numbers, dates
// and years are turned into fields of their own, so that "131-ФЗ", "№ 131-ФЗ" and "N 131-ФЗ" are
// one number rather than a phrase of two words, and words are put in lower case, so that a word
// typed with a capital letter is still taken in any of its forms. Pure functions; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace Norik::FullText {

// The query fields the rewritten query uses; the search maps each to its attribute term.
inline constexpr const char* kQueryNumberField = "nrknumber";
inline constexpr const char* kQueryDateField = "nrkdate";
inline constexpr const char* kQueryYearField = "nrkyear";

// The query as the parser is to read it, and the numbers, dates and years taken out of it.
struct RewrittenQuery {
    // Every number written as "nrknumber:vK" (its sign "№" or "N" dropped), every date
    // "06.10.2003" as "nrkdate:vK", every year "2003" as "nrkyear:vK", where values[K] is the text
    // typed; the other words in lower case. Text in quotes, the operators AND, OR, NOT, XOR and
    // NEAR, and the signs + and - before a word are kept as they are. (The parser reads a field's
    // value only while it is a plain word, so the values themselves stand apart.)
    std::string text;
    std::vector<std::string> values;
    // Why the query cannot be understood (NEAR/n or ADJ/n with n of 0 or above
    // kMaxNearDistance, FullTextIndex.h); empty when it can.
    std::string error;
};
RewrittenQuery RewriteQuery(std::string_view query);

// The part of query a search takes: up to its kMaxQueryWords-th word (run of letters and digits)
// and no further than kMaxQueryBytes, cut before the first word left out; wordsLeftOut is set
// to how many words were left out.
inline constexpr std::size_t kMaxQueryBytes = 4096;
std::string_view LimitQuery(std::string_view query, std::size_t& wordsLeftOut);

}  // namespace Norik::FullText
