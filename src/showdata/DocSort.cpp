#include "showdata/DocSort.h"

#include <algorithm>
#include <cstring>

namespace ShowData {

int CompareText(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    // memcmp compares as unsigned char, which is the order of Windows-1251 bytes we want.
    if (common != 0) {
        if (const int result = std::memcmp(a.data(), b.data(), common); result != 0) return result;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

namespace {

template <class Field>
void SortByText(std::vector<DocItem>& rows, Field field, bool descending) {
    if (descending) {
        std::stable_sort(rows.begin(), rows.end(),
                         [field](const DocItem& a, const DocItem& b) { return CompareText(a.*field, b.*field) > 0; });
    } else {
        std::stable_sort(rows.begin(), rows.end(),
                         [field](const DocItem& a, const DocItem& b) { return CompareText(a.*field, b.*field) < 0; });
    }
}

}  // namespace

void SortDocRows(std::vector<DocItem>& rows, int key, bool descending) {
    switch (key) {
        case kSortByDate:
            // Without the flag the newest date comes first; 0 (no date) sorts below every date.
            if (descending) {
                std::stable_sort(rows.begin(), rows.end(), [](const DocItem& a, const DocItem& b) {
                    return a.dateOfIntroduction < b.dateOfIntroduction;
                });
            } else {
                std::stable_sort(rows.begin(), rows.end(), [](const DocItem& a, const DocItem& b) {
                    return a.dateOfIntroduction > b.dateOfIntroduction;
                });
            }
            break;
        case kSortByTitle:
            SortByText(rows, &DocItem::title, descending);
            break;
        case kSortByType:
            SortByText(rows, &DocItem::type, descending);
            break;
        case kSortByNumber:
            SortByText(rows, &DocItem::numberText, descending);
            break;
        default:
            break;
    }
}

void SortNewestFirst(std::vector<DocItem>& rows) {
    std::sort(rows.begin(), rows.end(),
              [](const DocItem& a, const DocItem& b) { return a.dateOfIntroduction > b.dateOfIntroduction; });
}

}  // namespace ShowData
