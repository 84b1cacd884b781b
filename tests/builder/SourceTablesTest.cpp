#include <gtest/gtest.h>

#include <functional>

#include "BuilderTestSupport.h"
#include "builder/SourceTables.h"

using NorikTest::MemorySource;
using NorikTest::W;

namespace {

std::string ReplaceOnce(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(SourceTables, ReadTheSmallSourceWithoutProblems) {
    const MemorySource source = NorikTest::SmallSource();
    Norik::SourceTables tables;
    std::vector<std::string> problems;
    ASSERT_TRUE(Norik::ReadSourceTables(source, tables, problems)) << (problems.empty() ? "" : problems[0]);
    ASSERT_EQ(tables.items.size(), 4u);
    EXPECT_EQ(tables.items[0].type, W(" Федеральный закон"));
    EXPECT_EQ(tables.items[1].numberText, "03-05/12");
    EXPECT_FALSE(tables.items[1].inForce);
    EXPECT_EQ(tables.classes[1].name, W("Федеральные налоги"));
    EXPECT_EQ(tables.baseDate, (2007 - 1900) * 372 + 2 * 31 + 4);
    EXPECT_EQ(tables.DocumentFirstRows(), (std::vector<std::size_t>{0, 1, 3}));
}

struct Damage {
    const char* name;
    const char* table;
    std::function<std::string(const std::string&)> change;
    const char* expected;  // part of the problem line, file and line included
    bool warning = false;  // read correctly by the viewer: a warning that does not stop a build
};

class SourceTablesDamage : public ::testing::TestWithParam<Damage> {};

TEST_P(SourceTablesDamage, NamesTheFileAndLine) {
    const Damage& damage = GetParam();
    MemorySource source = NorikTest::SmallSource();
    source.tables[damage.table] = damage.change(source.tables[damage.table]);
    Norik::SourceTables tables;
    std::vector<std::string> problems;
    EXPECT_EQ(Norik::ReadSourceTables(source, tables, problems), damage.warning);
    std::string all;
    for (const std::string& problem : damage.warning ? tables.warnings : problems) all += problem + "\n";
    // Problems are UTF-8 lines: the table's own words in them are converted.
    EXPECT_NE(all.find(damage.expected), std::string::npos) << "expected: " << damage.expected << "\nlines:\n" << all;
}

const Damage kDamages[] = {
    {"RowsOutOfOrder", "Items.ttx", [](const std::string& t) { return ReplaceOnce(t, "\n5 3 ", "\n0 3 "); },
     "Items.ttx:5: document 0 comes after document 2"},
    {"UnknownSection", "Items.ttx", [](const std::string& t) { return ReplaceOnce(t, "\n5 3 ", "\n5 9 "); },
     "Items.ttx:5: section id 9 is not in class.ttx"},
    {"SectionWithoutDocuments", "Items.ttx", [](const std::string& t) { return ReplaceOnce(t, "\n5 3 ", "\n5 1 "); },
     "Items.ttx:5: section 1 (class.ttx:2) does not hold documents"},
    {"FieldMissing", "Items.ttx", [](const std::string& t) { return ReplaceOnce(t, W("|12-ФЗ|"), "|"); },
     "Items.ttx:5: expected six fields"},
    {"StatusNotAnInteger", "Items.ttx", [](const std::string& t) { return ReplaceOnce(t, "|0|1\n5", "|y|1\n5"); },
     "Items.ttx:4: status \"y\" is not an integer"},
    {"StatusSeven", "Items.ttx", [](const std::string& t) { return ReplaceOnce(t, "|1|1\n2 2", "|7|1\n2 2"); },
     "Items.ttx:2: status 7 is neither 1 (in force) nor 0", true},
    {"BadDate", "Items.ttx", [](const std::string& t) { return ReplaceOnce(t, W("|12-ФЗ|"), W("|12-ФЗ|x")); },
     "Items.ttx:5: date of introduction \"x"},
    {"ImpossibleDate", "Items.ttx",
     [](std::string t) {
         const std::size_t date = t.find(W("|12-ФЗ|")) + W("|12-ФЗ|").size();
         return t.replace(date, t.find('|', date) - date, "39183");  // 31 April 2005
     },
     "Items.ttx:5: date of introduction 39183 is not 0 or the day code of a real date", true},
    {"UnknownType", "Items.ttx",
     [](const std::string& t) { return ReplaceOnce(t, W(" Федеральный закон|О местных"), W(" Закон|О местных")); },
     "Items.ttx:5: type \"Закон\" is not in typelist.ttx", true},
    {"EmptyType", "Items.ttx",
     [](const std::string& t) { return ReplaceOnce(t, W(" Федеральный закон|О местных"), W("|О местных")); },
     "Items.ttx:5: empty document type", true},
    {"RowsOfADocumentDiffer", "Items.ttx",
     [](const std::string& t) { return ReplaceOnce(t, "|03-05/12|", "|03-05/13|"); },
     "Items.ttx:4: the fields of document 2 differ from its row on line 3"},
    {"SameSectionTwice", "Items.ttx", [](const std::string& t) { return ReplaceOnce(t, "\n2 3 ", "\n2 2 "); },
     "Items.ttx:4: document 2 is filed under section 2 twice"},
    {"TooManyRows", "Items.ttx", [](const std::string& t) { return ReplaceOnce(t, "4\n", "3\n"); },
     "Items.ttx:5: more rows than the count 3"},
    {"TooFewRows", "Items.ttx", [](const std::string& t) { return ReplaceOnce(t, "4\n", "6\n"); },
     "Items.ttx: the first line announces 6 rows, the file holds 4"},
    {"LineTooLong", "Items.ttx",
     [](const std::string& t) { return ReplaceOnce(t, W("|12-ФЗ|"), "|" + std::string(600, 'x') + "|"); },
     "Items.ttx:5: line too long"},
    {"SharedTextName", "Items.ttx", [](const std::string& t) { return ReplaceOnce(t, "\n5 3 ", "\n16385 3 "); },
     "share the text 000001.rtf"},
    {"NumbersNotNumbers", "Items.ttx", [](const std::string& t) { return ReplaceOnce(t, "\n5 3 ", "\nfive 3 "); },
     "Items.ttx:5: expected three integers"},
    {"Utf8Table", "Items.ttx", [](const std::string& t) { return Norik::Cp1251ToUtf8(t); },
     "Items.ttx: the text is UTF-8"},
    {"MissingParent", "class.ttx", [](const std::string& t) { return ReplaceOnce(t, "3 1 1 0", "3 8 1 0"); },
     "class.ttx:4: parent id 8 names no node"},
    {"ParentCycle", "class.ttx", [](const std::string& t) { return ReplaceOnce(t, "1 0 0 0", "1 2 0 0"); },
     "class.ttx:2: node 1 is its own ancestor"},
    {"DuplicateId", "class.ttx", [](const std::string& t) { return ReplaceOnce(t, "3 1 1 0", "2 1 1 0"); },
     "class.ttx:4: id 2 repeats the id of line 3"},
    {"EmptyName", "class.ttx", [](const std::string& t) { return ReplaceOnce(t, W("0Местные налоги"), "0"); },
     "class.ttx:4: empty name"},
    {"CountNotAlone", "class.ttx", [](const std::string& t) { return ReplaceOnce(t, "3\n", "3 x\n"); },
     "class.ttx:1: expected the number of records"},
    {"DuplicateType", "typelist.ttx", [](const std::string& t) { return t + W("Письмо\n"); },
     "typelist.ttx:3: type repeats line 2", true},
    {"BaseDateNotADate", "descript.ttx", [](const std::string&) { return std::string("1\n60\n"); },
     "descript.ttx: the base date 60 is not a day code", true},
    {"DescriptNotNumbers", "descript.ttx", [](const std::string&) { return std::string("one two\n"); },
     "descript.ttx:1: expected two integers"},
};

INSTANTIATE_TEST_SUITE_P(EachCheck, SourceTablesDamage, ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

TEST(SourceTables, ATypeNameIsTheFirstFieldOfItsLine) {
    MemorySource source = NorikTest::SmallSource();
    source.tables["typelist.ttx"] = W("Федеральный закон|\nПисьмо|x\n");
    Norik::SourceTables tables;
    std::vector<std::string> problems;
    ASSERT_TRUE(Norik::ReadSourceTables(source, tables, problems)) << problems.at(0);
    EXPECT_EQ(tables.types, (std::vector<std::string>{W("Федеральный закон"), W("Письмо")}));
    EXPECT_TRUE(tables.warnings.empty());
}

TEST(SourceTables, Windows1251ThatLooksLikeOverlongUtf8IsNotRefusedAsUtf8) {
    // E0 80 AF ("аЂЇ") would be the overlong UTF-8 form of "/", which no UTF-8 writer makes.
    MemorySource source = NorikTest::SmallSource();
    source.tables["typelist.ttx"] = "Law\n\xE0\x80\xAF\n";
    Norik::SourceTables tables;
    std::vector<std::string> problems;
    ASSERT_TRUE(Norik::ReadSourceTables(source, tables, problems)) << problems.at(0);
    EXPECT_EQ(tables.types, (std::vector<std::string>{"Law", "\xE0\x80\xAF"}));
}

TEST(SourceTables, AcceptsCrLfLineEndsAndWritesLfCopies) {
    MemorySource source = NorikTest::SmallSource();
    std::string crlf;
    for (const char c : source.tables["class.ttx"]) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    source.tables["class.ttx"] = crlf;
    Norik::SourceTables tables;
    std::vector<std::string> problems;
    ASSERT_TRUE(Norik::ReadSourceTables(source, tables, problems));
    EXPECT_EQ(tables.classes[2].name, W("Местные налоги"));
    EXPECT_EQ(tables.classText.find('\r'), std::string::npos);
}

TEST(SourceTables, MissingTableIsNamed) {
    MemorySource source = NorikTest::SmallSource();
    source.tables.erase("typelist.ttx");
    Norik::SourceTables tables;
    std::vector<std::string> problems;
    EXPECT_FALSE(Norik::ReadSourceTables(source, tables, problems));
    ASSERT_EQ(problems.size(), 1u);
    // The source's own message names the file once.
    EXPECT_EQ(problems[0], "typelist.ttx: cannot be read");
}

// A day code is (year - 1900) * 372 + (month - 1) * 31 + (day - 1); 0 means no date.
TEST(DayCodes, ValidityFollowsTheCalendar) {
    const auto code = [](int year, int month, int day) { return (year - 1900) * 372 + (month - 1) * 31 + (day - 1); };
    const struct {
        int year, month, day;
        bool valid;
    } dates[] = {
        {2004, 2, 29, true},
        {2005, 2, 29, false},
        {2005, 4, 31, false},
        // Centuries are leap years only when the year divides by 400.
        {1900, 2, 29, false},
        {2100, 2, 29, false},
        {2000, 2, 29, true},
        {1900, 2, 28, true},
    };
    for (const auto& d : dates)
        EXPECT_EQ(Norik::IsValidDayCode(code(d.year, d.month, d.day)), d.valid)
            << d.day << "." << d.month << "." << d.year;
    EXPECT_TRUE(Norik::IsValidDayCode(0));
    EXPECT_FALSE(Norik::IsValidDayCode(-5));
}

}  // namespace
