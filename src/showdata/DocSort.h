// The orders of a document list.
//
// Key 0 orders by date of introduction, newest first unless descending is set (the opposite of
// the other keys); keys 1, 2 and 3 order by title, type and number text, ascending unless
// descending is set. Texts compare byte by byte as unsigned Windows-1251 values, a text that is a
// prefix of another first: no case folding, no collation (digits and Latin before Cyrillic,
// capitals before small letters, Ё and ё before the other Cyrillic letters). All four sorts are
// stable; any other key leaves the rows as they are. Pure functions; any thread.
#pragma once

#include <string_view>
#include <vector>

#include "showdata/ListDoc.h"

namespace ShowData {

enum SortKey : int { kSortByDate = 0, kSortByTitle = 1, kSortByType = 2, kSortByNumber = 3 };

// < 0, 0, > 0 as a is before, equal to or after b in byte order.
int CompareText(std::string_view a, std::string_view b);

// Stable reordering of rows by key and direction.
void SortDocRows(std::vector<DocItem>& rows, int key, bool descending);

// The order of a freshly filled list: newest date of introduction first. Rows with equal dates
// may come in any order.
void SortNewestFirst(std::vector<DocItem>& rows);

}  // namespace ShowData
