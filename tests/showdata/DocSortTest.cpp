// The orders of a document list: byte order of Windows-1251 texts, directions, stability.
#include <gtest/gtest.h>

#include "ModelFixture.h"
#include "showdata/DocSort.h"

namespace NorikTest {
namespace {

using ShowData::DocItem;

struct OrderCase {
    const char* label;
    const char* before;  // UTF-8
    const char* after;   // UTF-8; equal to before when they compare equal
};

class TextOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(TextOrder, ComparesBytesUnsignedWithTheShorterPrefixFirst) {
    const std::string a = W(GetParam().before);
    const std::string b = W(GetParam().after);
    if (a == b) {
        EXPECT_EQ(ShowData::CompareText(a, b), 0);
        return;
    }
    EXPECT_LT(ShowData::CompareText(a, b), 0);
    EXPECT_GT(ShowData::CompareText(b, a), 0);

    // The same order through the title sort, in both directions.
    std::vector<DocItem> rows(2);
    rows[0].title = b;
    rows[1].title = a;
    ShowData::SortDocRows(rows, ShowData::kSortByTitle, false);
    EXPECT_EQ(rows[0].title, a);
    ShowData::SortDocRows(rows, ShowData::kSortByTitle, true);
    EXPECT_EQ(rows[0].title, b);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextOrder,
    ::testing::Values(OrderCase{"CapitalBeforeSmall", "Закон", "закон"}, OrderCase{"PrefixFirst", "Закон", "Законы"},
                      OrderCase{"EmptyFirst", "", "а"}, OrderCase{"NumbersAsText", "10", "9"},
                      OrderCase{"DigitsBeforeLatin", "9", "A"}, OrderCase{"LatinCapitalBeforeSmall", "Z", "a"},
                      OrderCase{"LatinBeforeCyrillic", "z", "А"}, OrderCase{"CapitalYoBeforeCapitalA", "Ёлка", "Ангар"},
                      OrderCase{"SmallYoBeforeCapitalA", "ёж", "Ангар"}, OrderCase{"CapitalYaBeforeSmallA", "Я", "а"},
                      OrderCase{"SmallYaLast", "а", "я"}, OrderCase{"BlankBeforeLetters", "О правах", "Об отпуске"},
                      OrderCase{"Equal", "Указ", "Указ"}),
    [](const auto& info) { return std::string(info.param.label); });

DocItem Row(std::int16_t number, ShowData::DayCode date, std::string_view title = {}, std::string_view type = {},
            std::string_view numberText = {}) {
    DocItem row;
    row.number = number;
    row.dateOfIntroduction = date;
    row.title = title;
    row.type = type;
    row.numberText = numberText;
    return row;
}

std::vector<int> Numbers(const std::vector<DocItem>& rows) {
    std::vector<int> numbers;
    for (const DocItem& row : rows) numbers.push_back(row.number);
    return numbers;
}

TEST(DocSortTest, DateKeyRunsNewestFirstWithoutTheFlag) {
    const auto january = ShowData::MakeDayCode(2005, 1, 1);
    const auto february = ShowData::MakeDayCode(2005, 2, 1);
    std::vector<DocItem> rows{Row(1, january), Row(2, 0), Row(3, february), Row(4, -7)};
    ShowData::SortDocRows(rows, ShowData::kSortByDate, false);
    EXPECT_EQ(Numbers(rows), (std::vector<int>{3, 1, 2, 4}));
    ShowData::SortDocRows(rows, ShowData::kSortByDate, true);
    EXPECT_EQ(Numbers(rows), (std::vector<int>{4, 2, 1, 3}));
}

TEST(DocSortTest, EveryKeyAndDirectionIsStable) {
    // Rows that are equal under each key, in a known order.
    std::vector<DocItem> base{Row(1, 5, "A", "T", "N"), Row(2, 5, "A", "T", "N"), Row(3, 5, "A", "T", "N")};
    for (int key = 0; key < 4; ++key) {
        for (const bool descending : {false, true}) {
            auto rows = base;
            ShowData::SortDocRows(rows, key, descending);
            EXPECT_EQ(Numbers(rows), (std::vector<int>{1, 2, 3})) << key << descending;
        }
    }
}

TEST(DocSortTest, SortByTypeAfterDateKeepsEachTypesDocumentsInDateOrder) {
    std::vector<DocItem> rows{Row(1, 10, "x", "Указ"), Row(2, 30, "x", "Закон"), Row(3, 20, "x", "Указ"),
                              Row(4, 40, "x", "Закон")};
    for (auto& row : rows) row.type = row.type == "Указ" ? std::string_view("U") : std::string_view("Z");
    ShowData::SortDocRows(rows, ShowData::kSortByDate, false);
    ShowData::SortDocRows(rows, ShowData::kSortByType, false);
    EXPECT_EQ(Numbers(rows), (std::vector<int>{3, 1, 4, 2}));
}

TEST(DocSortTest, SortByTitleAfterTypeGroupsEqualTitlesInTypeOrder) {
    std::vector<DocItem> rows{Row(1, 0, "B", "t2"), Row(2, 0, "A", "t2"), Row(3, 0, "B", "t1"), Row(4, 0, "A", "t1")};
    ShowData::SortDocRows(rows, ShowData::kSortByType, false);
    ShowData::SortDocRows(rows, ShowData::kSortByTitle, false);
    EXPECT_EQ(Numbers(rows), (std::vector<int>{4, 2, 3, 1}));
    ShowData::SortDocRows(rows, ShowData::kSortByTitle, true);
    EXPECT_EQ(Numbers(rows), (std::vector<int>{3, 1, 4, 2}));
}

TEST(DocSortTest, NumberKeyComparesTextAndOtherKeysChangeNothing) {
    std::vector<DocItem> rows{Row(1, 0, "", "", "9"), Row(2, 0, "", "", "10"), Row(3, 0, "", "", "1")};
    ShowData::SortDocRows(rows, 4, false);
    ShowData::SortDocRows(rows, -1, true);
    EXPECT_EQ(Numbers(rows), (std::vector<int>{1, 2, 3}));
    ShowData::SortDocRows(rows, ShowData::kSortByNumber, false);
    EXPECT_EQ(Numbers(rows), (std::vector<int>{3, 2, 1}));
    ShowData::SortDocRows(rows, ShowData::kSortByNumber, true);
    EXPECT_EQ(Numbers(rows), (std::vector<int>{1, 2, 3}));
}

TEST(DocSortTest, InitialOrderIsNewestFirst) {
    std::vector<DocItem> rows{Row(1, 3), Row(2, 9), Row(3, 0), Row(4, 9), Row(5, 4)};
    ShowData::SortNewestFirst(rows);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_GE(rows[i - 1].dateOfIntroduction, rows[i].dateOfIntroduction);
    }
    EXPECT_EQ(rows.back().number, 3);
}

}  // namespace
}  // namespace NorikTest
