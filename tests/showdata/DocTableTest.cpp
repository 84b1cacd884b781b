// The document table: loading "descript" and "Items", look-ups by number, statistics, document
// lists and the opening of a document's text.
#include <gtest/gtest.h>

#include <array>

#include "ModelFixture.h"
#include "index/IndexSpace.h"

namespace NorikTest {
namespace {

using ShowData::CShowDoc;
using ShowData::DocItem;

class DocTableTest : public ModelTest {
protected:
    void WriteItems(const std::string& utf8, const std::string& descript = "1 0\n") {
        WriteTable("descript", descript);
        WriteTable("Items", utf8);
    }
    std::string DocLoadMessage() const {
        return W("При загрузке данных были ошибки\nВышлите, пожалуйста лог-файл разработчику!");
    }
    int ReportsOf(const std::string& function) const {
        const std::string log = m_log.text();
        int count = 0;
        for (auto at = log.find(function); at != std::string::npos; at = log.find(function, at + 1)) ++count;
        return count;
    }
};

TEST_F(DocTableTest, RowFieldsAndTheMissingLastField) {
    WriteItems(
        "3\n"
        "5 3 100|Title|12-ФЗ|372|1|2\n"
        "6 3 101 Закон|T2|1|0|0\n"
        "7 4 -5 Указ|T3|2|10|x|9");  // last line without a line feed
    ASSERT_EQ(CShowDoc::Init(), Norik::kOk);
    const auto& table = ShowData::GetDocTable();
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].number, 5);
    EXPECT_EQ(table[0].classId, 3);
    EXPECT_EQ(table[0].dateAdded, 100);
    EXPECT_EQ(table[0].type, "");
    EXPECT_EQ(table[0].title, "Title");
    EXPECT_EQ(table[0].numberText, W("12-ФЗ"));
    EXPECT_EQ(table[0].dateOfIntroduction, ShowData::MakeDayCode(1901, 1, 1));
    EXPECT_TRUE(table[0].inForce);
    EXPECT_EQ(table[0].disk, 2);
    EXPECT_FALSE(table[0].marked);
    EXPECT_EQ(table[1].type, W(" Закон"));
    EXPECT_FALSE(table[1].inForce);
    EXPECT_EQ(table[1].disk, 0);
    EXPECT_EQ(table[2].dateAdded, -5);
    EXPECT_EQ(table[2].title, "T3");
    EXPECT_EQ(table[2].dateOfIntroduction, 10);
    EXPECT_FALSE(table[2].inForce);
    EXPECT_EQ(table[2].disk, 9);
    EXPECT_EQ(m_log.entryCount(), 0);
}

struct CountCase {
    const char* label;
    std::vector<int> numbers;
    int documents;
};

class DocumentCountTable : public DocTableTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(DocumentCountTable, CountsDistinctDocuments) {
    std::string items = std::to_string(GetParam().numbers.size()) + "\n";
    for (const int number : GetParam().numbers) items += std::to_string(number) + " 1 0 T|t|1|0|0|0\n";
    WriteItems(items);
    EXPECT_EQ(ShowData::DocumentCount(), GetParam().documents);
    EXPECT_EQ(ShowData::RecordCount(), static_cast<int>(GetParam().numbers.size()));
}

INSTANTIATE_TEST_SUITE_P(Rows, DocumentCountTable,
                         ::testing::Values(CountCase{"Repeated", {5, 5, 7}, 2},
                                           CountCase{"FirstNumberedZero", {0, 3}, 2}, CountCase{"OnlyZero", {0, 0}, 1},
                                           CountCase{"Groups", {7, 7, 9, 12, 12, 12}, 3},
                                           CountCase{"Negative", {-3, -3, 0, 4}, 3},
                                           CountCase{"Unordered", {5, 3, 5}, 2}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(DocTableTest, StatisticsFromTheWordIndex) {
    WriteItems(
        "6\n7 1 0 a|b|c|0|0|0\n7 2 0 a|b|c|0|0|0\n9 1 0 a|b|c|0|0|0\n"
        "12 1 0 a|b|c|0|0|0\n12 2 0 a|b|c|0|0|0\n12 3 0 a|b|c|0|0|0\n",
        "3 " + std::to_string(ShowData::MakeDayCode(2007, 3, 5)) + "\n");
    IndexSpace::IndexImpl::IndexInt words;
    std::vector<std::int16_t> docs(20);
    for (int key = 1; key <= 3; ++key) {
        for (int i = 0; i < 20; ++i) docs[i] = static_cast<std::int16_t>(key * 100 + i);
        ASSERT_TRUE(words.Append(key, docs));
    }
    ASSERT_EQ(words.WriteFile(m_dir.file("index.ttx")), Norik::kOk);

    EXPECT_EQ(ShowData::DocumentCount(), 3);
    EXPECT_EQ(ShowData::BaseDateText(), "5/3/2007");
    EXPECT_EQ(ShowData::IndexedWordCount(), 3);
    EXPECT_EQ(ShowData::AverageVocabulary(), 10u);
}

TEST_F(DocTableTest, EmptyTableStatisticsAndReloadWhileEmpty) {
    WriteItems("0\n", "1 " + std::to_string(ShowData::MakeDayCode(2004, 7, 1)) + "\n");
    EXPECT_EQ(ShowData::RecordCount(), 0);
    EXPECT_EQ(ShowData::DocumentCount(), 0);
    EXPECT_EQ(ShowData::AverageVocabulary(), 0u);
    EXPECT_EQ(ShowData::BaseDate(), 104 * 372 + 6 * 31);
    EXPECT_EQ(ShowData::BaseDateText(), "1/7/2004");
    // The table stayed empty, so the next statistics call loads again.
    WriteItems("1\n4 1 0 a|b|c|0|0|0\n");
    EXPECT_EQ(ShowData::RecordCount(), 1);
}

TEST_F(DocTableTest, InitBindsTheSevenIndexesInOrder) {
    WriteItems("1\n4 1 0 a|b|c|0|0|0\n");
    ASSERT_EQ(CShowDoc::Init(), Norik::kOk);
    for (const std::string_view name : IndexSpace::kIndexFileNames) {
        EXPECT_EQ(IndexSpace::IndexByName(name)->fileName(), m_dir.folder() + std::string(name) + ".ttx");
    }
}

TEST_F(DocTableTest, NoRowReadStillBindsTheIndexes) {
    WriteItems("3\nx 1 0 a|b|c|0|0|0\n");
    EXPECT_EQ(CShowDoc::Init(), Norik::kOk);
    EXPECT_TRUE(ShowData::GetDocTable().empty());
    EXPECT_EQ(IndexSpace::TextWordIndex().fileName(), m_dir.folder() + "index.ttx");
}

struct BrokenHeaderCase {
    const char* label;
    const char* descript;  // null: missing
    const char* items;     // null: missing
};

class BrokenDocHeader : public DocTableTest, public ::testing::WithParamInterface<BrokenHeaderCase> {};

TEST_P(BrokenDocHeader, ReportsShowsTheMessageAndLeavesTheIndexesUnbound) {
    IndexSpace::TextWordIndex().SetFile("unbound");
    if (GetParam().descript) WriteTable("descript", GetParam().descript);
    if (GetParam().items) WriteTable("Items", GetParam().items);
    CShowDoc list(m_port);
    list.SetParent(1, "");
    ASSERT_EQ(m_port.messages.size(), 1u);
    EXPECT_EQ(m_port.messages[0].text, DocLoadMessage());
    EXPECT_EQ(list.Count(), 0);
    EXPECT_GE(ReportsOf("ListDoc.cpp:ShowData::CShowDoc::Init()"), 1);
    EXPECT_EQ(IndexSpace::TextWordIndex().fileName(), "unbound");
    EXPECT_EQ(ShowData::DocumentCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Tables, BrokenDocHeader,
                         ::testing::Values(BrokenHeaderCase{"DescriptMissing", nullptr, "1\n1 1 0 a|b|c|0|0|0\n"},
                                           BrokenHeaderCase{"DescriptShort", "7", "1\n1 1 0 a|b|c|0|0|0\n"},
                                           BrokenHeaderCase{"DescriptEmpty", "", "1\n1 1 0 a|b|c|0|0|0\n"},
                                           BrokenHeaderCase{"ItemsMissing", "1 2", nullptr},
                                           BrokenHeaderCase{"ItemsEmpty", "1 2", ""},
                                           BrokenHeaderCase{"ItemsCountUnreadable", "1 2", "n\n1 1 0 a|b|c|0|0|0\n"}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(DocTableTest, MalformedRowStopsLoadingAndIsReported) {
    WriteItems("4\n1 1 0 a|b|c|0|0|0\n2 1 0 a|b|c|0|0|0\n3 x 0 a|b|c|0|0|0\n4 1 0 a|b|c|0|0|0\n");
    CShowDoc list(m_port);
    EXPECT_TRUE(m_port.messages.empty());
    EXPECT_EQ(ShowData::RecordCount(), 2);
    EXPECT_EQ(ReportsOf("ListDoc.cpp:ShowData::CShowDoc::LoadDocItem()"), 1);
}

TEST_F(DocTableTest, EndOfFileBeforeTheCountKeepsTheRowsWithoutAMessage) {
    WriteItems("2000000000\n1 1 0 a|b|c|0|0|0\n2 1 0 a|b|c|0|0|0\n");
    CShowDoc list(m_port);
    EXPECT_TRUE(m_port.messages.empty());
    EXPECT_EQ(ShowData::RecordCount(), 2);
}

// A table that does not hold what it announces: the rows before the damage stay, and the damage
// is kept for the caller and written to the log once, naming the file.
struct ItemsDamageCase {
    const char* label;
    std::string items;
    int rowsKept;
    const char* problem;  // empty: the table is whole
};

class ItemsDamage : public DocTableTest, public ::testing::WithParamInterface<ItemsDamageCase> {};

TEST_P(ItemsDamage, IsKeptAndLoggedOnceWithTheFile) {
    const ItemsDamageCase& c = GetParam();
    WriteItems(c.items);
    EXPECT_EQ(ShowData::RecordCount(), c.rowsKept);
    EXPECT_EQ(ShowData::DocumentCount(), c.rowsKept);  // a table that stays empty is read again
    const Norik::DataDamage* damage = ShowData::TableDamage(ShowData::ModelTable::Items);
    if (*c.problem == '\0') {
        EXPECT_EQ(damage, nullptr) << damage->problem;
        EXPECT_EQ(m_log.entryCount(), 0);
        return;
    }
    ASSERT_NE(damage, nullptr);
    EXPECT_EQ(damage->file, m_dir.file("Items.ttx"));
    EXPECT_EQ(damage->problem.rfind(c.problem, 0), 0u) << damage->problem;
    EXPECT_EQ(ReportsOf(m_dir.file("Items.ttx") + ": " + c.problem), 1) << m_log.text();
    EXPECT_EQ(ShowData::TableDamage(ShowData::ModelTable::Descript), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ItemsDamage,
    ::testing::Values(
        ItemsDamageCase{"Whole", "2\n1 1 0 a|b|c|0|0|0\n2 1 0 a|b|c|0|0|0", 2, ""},
        ItemsDamageCase{"CutInHalf", "300\n1 1 0 a|b|c|0|0|0\n2 1 0 a|b|c|0|0|0\n", 2,
                        "holds 2 of the 300 rows its first line announces"},
        ItemsDamageCase{"CountZeroWithRows", "0\n1 1 0 a|b|c|0|0|0\n", 0,
                        "holds more rows than the 0 its first line announces"},
        ItemsDamageCase{"CountBelowTheRows", "1\n1 1 0 a|b|c|0|0|0\n2 1 0 a|b|c|0|0|0\n", 1, "holds more rows"},
        ItemsDamageCase{"CutInsideTheFields", "2\n1 1 0 a|b|c|0|0|0\n2 1 0 a|Об", 2, "ends inside row 2 of 2"},
        ItemsDamageCase{"CutAfterTheNumbers", "2\n1 1 0 a|b|c|0|0|0\n2 1 0", 1, "ends inside row 2 of 2"},
        ItemsDamageCase{"NumberDoesNotParse", "3\n1 1 0 a|b|c|0|0|0\n2 x 0 a|b|c|0|0|0\n", 1,
                        "row 2 of 3: a number does not parse"},
        // No record is 64 KB long: reading stops at such a row rather than read it to its end.
        ItemsDamageCase{"RowLongerThanAnyRecord",
                        "3\n1 1 0 a|b|c|0|0|0\n2 1 0 a|" + std::string(70000, 'x') + "|c|0|0|0\n3 1 0 a|b|c|0|0|0\n", 1,
                        "row 2 of 3 is longer than 65536 bytes"},
        ItemsDamageCase{"LongRowWithinTheBound",
                        "2\n1 1 0 a|" + std::string(60000, 'x') + "|c|0|0|0\n2 1 0 a|b|c|0|0|0\n", 2, ""},
        ItemsDamageCase{"NulAfterTheFields", std::string("2\n1 1 0 a|b|c|0|0|0\0x\n2 1 0 a|b|c|0|0|0\n", 40), 0,
                        "row 1 of 2 holds a NUL byte"},
        // Written as the UTF-8 of the texts, which the fixture writes byte for byte.
        ItemsDamageCase{"WrittenInUtf8",
                        Norik::Cp1251ToUtf8("2\n1 1 0 Закон|О налогах|1|0|0|0\n2 1 0 Указ|Б|2|0|0|0\n"), 2,
                        "is written in UTF-8, not Windows-1251"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(DocTableTest, ABaseDateWithMoreThanDigitsIsDamage) {
    WriteItems("1\n1 1 0 a|b|c|0|0|0\n", std::string("1 46") + '\0' + "684\n");
    EXPECT_EQ(ShowData::RecordCount(), 1);
    const Norik::DataDamage* damage = ShowData::TableDamage(ShowData::ModelTable::Descript);
    ASSERT_NE(damage, nullptr);
    EXPECT_EQ(damage->problem, "holds more than digits in its base date");

    // A date at the very end of the file, without a line end, is whole.
    ShowData::ResetTablesForTests();
    WriteItems("1\n1 1 0 a|b|c|0|0|0\n", "1\n46684");
    EXPECT_EQ(ShowData::RecordCount(), 1);
    EXPECT_EQ(ShowData::BaseDate(), 46684);
    EXPECT_EQ(ShowData::TableDamage(ShowData::ModelTable::Descript), nullptr);
}

TEST_F(DocTableTest, LineLongerThanTheBufferDoesNotSpillIntoTheNextRow) {
    WriteItems("2\n1 1 0 T|" + std::string(600, 'x') + "|5|0|1|1\n2 1 0 U|short|6|0|1|1\n");
    ASSERT_EQ(CShowDoc::Init(), Norik::kOk);
    const auto& table = ShowData::GetDocTable();
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].title, std::string(511 - 3, 'x'));  // the line buffer holds " T|" and 508 letters
    EXPECT_EQ(table[1].number, 2);
    EXPECT_EQ(table[1].title, "short");
}

TEST_F(DocTableTest, UnorderedRowsAreReportedOnceAndStillFoundByNumber) {
    WriteItems(
        "4\n9 1 0 a|nine|N9|0|0|0\n3 1 0 a|three|N3|0|0|0\n9 2 0 a|nine again|N9|0|0|0\n"
        "-4 2 0 a|minus|N-4|0|0|0\n");
    CShowDoc list(m_port);
    EXPECT_EQ(m_log.entryCount(), 1);
    EXPECT_EQ(ReportsOf("ShowData::CShowDoc::Init()"), 1);
    const auto nines = ShowData::DocRowsByNumber(9);
    ASSERT_EQ(nines.size(), 2u);
    EXPECT_EQ(nines[0].title, "nine");
    EXPECT_EQ(nines[1].title, "nine again");
    EXPECT_EQ(ShowData::DocTitleByNumber(3), "three");
    EXPECT_EQ(ShowData::DocTitleByNumber(-4), "minus");
    EXPECT_EQ(ShowData::DocumentCount(), 3);
    // Table order is kept for everything that is not a look-up by number.
    EXPECT_EQ(ShowData::DocNumberTextAt(0), "N9");
    EXPECT_EQ(ShowData::DocNumberTextAt(3), "N-4");
}

TEST_F(DocTableTest, LookUpsByNumber) {
    WriteSmallBase();
    ASSERT_EQ(CShowDoc::Init(), Norik::kOk);
    EXPECT_EQ(ShowData::DocRowsByNumber(12).size(), 2u);
    EXPECT_TRUE(ShowData::DocRowsByNumber(8).empty());
    DocItem row;
    row.disk = 77;
    EXPECT_FALSE(ShowData::DocByNumber(8, row));
    EXPECT_EQ(row.disk, 77);
    ASSERT_TRUE(ShowData::DocByNumber(5, row));
    EXPECT_EQ(row.classId, 3);
    EXPECT_EQ(row.title, W("О налогах"));
    EXPECT_EQ(ShowData::DocTitleByNumber(9), W("О труде"));
    EXPECT_EQ(ShowData::DocTitleByNumber(10), "");
    EXPECT_EQ(ShowData::DocNumberTextAt(3), W("197-ФЗ"));
    EXPECT_EQ(ShowData::DocNumberTextAt(6), "");
    EXPECT_EQ(ShowData::DocNumberTextAt(-1), "");
}

TEST(DocFileNameTest, LowFourteenBitsPaddedToSixDigits) {
    EXPECT_EQ(ShowData::DocFileName(static_cast<std::int16_t>(0x4005)), "000005");
    EXPECT_EQ(ShowData::DocFileName(std::int16_t{0}), "000000");
    EXPECT_EQ(ShowData::DocFileName(std::int16_t{42}), "000042");
    EXPECT_EQ(ShowData::DocFileName(std::int16_t{-1}), "016383");
    EXPECT_EQ(ShowData::DocFileName(std::int16_t{16383}), "016383");
}

TEST(DayCodeTest, PartsAndText) {
    constexpr auto code = ShowData::MakeDayCode(2005, 3, 15);
    static_assert(code == 105 * 372 + 2 * 31 + 14);
    EXPECT_EQ(ShowData::DayOfCode(code), 15);
    EXPECT_EQ(ShowData::MonthOfCode(code), 3);
    EXPECT_EQ(ShowData::YearOfCode(code), 2005);
    EXPECT_EQ(ShowData::DayCodeText(0), "1/1/1900");
    EXPECT_EQ(ShowData::DayCodeText(ShowData::MakeDayCode(2007, 3, 5)), "5/3/2007");
}

TEST_F(DocTableTest, NodeListIsFilledNewestFirstWithTextsNamesAndTitle) {
    WriteSmallBase();
    CShowDoc list(m_port);
    list.SetParent(3, W("-Право"));
    EXPECT_EQ(list.GetTitle(), W("Список документов-Право"));
    EXPECT_FALSE(list.IsFolder());
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.GetNumber(0), 7);   // 1 February 2005
    EXPECT_EQ(list.GetNumber(1), 5);   // 1 January 2005
    EXPECT_EQ(list.GetNumber(2), 12);  // no date
    EXPECT_EQ(list.GetText(0), W("Указ 7 Об отпуске"));
    EXPECT_EQ(list.GetName(1), W("Имя файла - 000005"));
    EXPECT_EQ(list.GetNumber(3), -1);
    EXPECT_EQ(list.GetText(3), "");
    EXPECT_FALSE(list.GetMark(3));
    list.SetMark(1, true);
    EXPECT_TRUE(list.GetMark(1));
    EXPECT_FALSE(list.GetMark(0));
    // A second list of the same node has marks of its own.
    CShowDoc other(m_port);
    other.SetParent(3, "");
    EXPECT_FALSE(other.GetMark(1));
}

TEST_F(DocTableTest, FillFromNumbersTakesTheFirstRowOfEachNumber) {
    WriteItems(
        "4\n3 1 0 a|three|1|100|0|0\n3 2 0 a|three b|1|100|0|0\n9 1 0 a|nine|1|200|0|0\n"
        "11 1 0 a|eleven|1|50|0|0\n");
    CShowDoc list(m_port);
    list.FillFromNumbers({3, 4, 9});
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.GetNumber(0), 9);
    EXPECT_EQ(list.GetNumber(1), 3);
    EXPECT_EQ(list.rows()[1].classId, 1);
    EXPECT_TRUE(list.name().empty());
}

TEST_F(DocTableTest, OpenRetriesAfterInsertDiskUntilTheTextOpens) {
    WriteSmallBase();
    CShowDoc list(m_port);
    list.SetParent(3, "");
    m_port.openResults = {false, true};
    EXPECT_EQ(list.Open(1), nullptr);  // document 5 on disk 2
    const std::vector<std::string> expected{"BeginWait", "OpenDocumentText 000005", "EndWait",
                                            "BeginWait", "OpenDocumentText 000005", "EndWait"};
    EXPECT_EQ(m_port.calls, expected);
    ASSERT_EQ(m_port.messages.size(), 1u);
    EXPECT_EQ(m_port.messages[0].text, W("Вставьте диск 2"));
    EXPECT_EQ(m_port.messages[0].buttons, Norik::MessageButtons::OkCancel);
}

TEST_F(DocTableTest, OpenStopsWhenTheUserCancels) {
    WriteSmallBase();
    CShowDoc list(m_port);
    list.SetParent(3, "");
    m_port.openResults = {false, false};
    m_port.answers = {Norik::MessageAnswer::Cancel};
    EXPECT_EQ(list.Open(0), nullptr);
    EXPECT_EQ(m_port.openedTexts.size(), 1u);
    EXPECT_EQ(m_port.calls.back(), "EndWait");
    EXPECT_EQ(m_port.messages.size(), 1u);
    EXPECT_EQ(list.Open(3), nullptr);
    EXPECT_EQ(m_port.openedTexts.size(), 1u);
}

TEST_F(DocTableTest, FindStartsFromTheListWithItsNumbersAscending) {
    WriteSmallBase();
    CShowDoc list(m_port);
    list.SetParent(3, "");
    list.FillFromNumbers({-2, 12});
    list.request().titleWords = "x";
    list.Find();
    ASSERT_EQ(m_port.searches.size(), 1u);
    EXPECT_TRUE(m_port.searches[0].fromList);
    EXPECT_EQ(m_port.searches[0].listNumbers, (std::vector<std::int16_t>{5, 7, 12}));
    EXPECT_EQ(m_port.searches[0].request.titleWords, "x");
}

}  // namespace
}  // namespace NorikTest
