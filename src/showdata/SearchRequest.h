// The criteria of an attribute search, carried by every list and edited by the search dialog.
// A plain record; texts are Windows-1251 bytes.
#pragma once

#include <cstdint>
#include <string>

namespace ShowData {

struct SearchRequest {
    std::int16_t classId = -1;             // classifier node; -1 = any
    std::string type;                      // document type; empty = any
    std::string numberText;                // document number or its beginning; empty = any
    std::string titleWords;                // words of the title; empty = none
    std::string textWords;                 // words of the text; empty = none
    std::int32_t dateOfIntroduction = -1;  // day code; -1 = any
    std::int32_t inForce = -1;             // 1 in force, 0 not in force, -1 = any
    std::int32_t allWords = 1;             // non-zero: every word must occur; 0: any one word suffices
    std::int32_t searchArea = 0;           // 0 whole base, 1 within the list the search started from
    // Dates of introduction from introducedFrom to introducedTo, both days included; -1 leaves that
    // end open. Documents without a date fall in no range.
    std::int32_t introducedFrom = -1;  // day code; -1 = from the earliest
    std::int32_t introducedTo = -1;    // day code; -1 = to the latest

    bool operator==(const SearchRequest&) const = default;
};

}  // namespace ShowData
