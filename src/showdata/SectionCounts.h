// How many documents each section of the classifier holds: the distinct documents filed under the
// section or under any section below it, each counted once however many of those sections file it.
//
// The counts come from the loaded classifier and document tables: the first question after the
// tables were (re)loaded counts every section at once, in one pass over the document table and the
// sections above each filing (sorting the pairs of document and section), and the answers are kept.
// User-interface thread only (the tables belong to it). Never fails: an unknown id counts 0.
#pragma once

#include <cstdint>
#include <optional>

namespace ShowData {

class CShowData;

int SectionDocumentCount(std::int32_t id);

// The count of the section on row of list, when list shows a classifier level (itself, or as the
// current list of a list window); none for a list of documents or a row out of range.
std::optional<int> SectionDocumentCountOfRow(CShowData& list, unsigned row);

}  // namespace ShowData
