// The classifier: loading "class" and "typelist", paths, look-ups and classifier levels.
#include <gtest/gtest.h>

#include <algorithm>

#include "ModelFixture.h"
#include "index/IndexSpace.h"

namespace NorikTest {
namespace {

using ShowData::CShowClass;
using ShowData::CShowDoc;

class ClassifierTest : public ModelTest {
protected:
    // Writes "class" (and an empty "typelist" and a minimal document table unless told not to).
    void WriteClass(const std::string& utf8, bool withOthers = true) {
        WriteTable("class", utf8);
        if (withOthers) {
            WriteTable("typelist", "");
            WriteTable("descript", "0 0\n");
            WriteTable("Items", "1\n1 1 0 T|t|1|0|0|0\n");
        }
    }
    std::string ClassLoadMessage() const {
        return W("При загрузке данных были ошибки.\nВышлите, пожалуйста лог-файл разработчику!");
    }
};

TEST_F(ClassifierTest, LoadsNodesTypesAndPaths) {
    WriteSmallBase();
    CShowClass root(m_port);
    root.SetParent(0, "");

    EXPECT_TRUE(m_port.messages.empty());
    ASSERT_EQ(ShowData::GetClassTable().size(), 4u);
    ASSERT_EQ(root.Count(), 2);
    EXPECT_EQ(root.GetText(0), W("Право"));
    EXPECT_EQ(root.GetText(1), W("Экономика"));
    EXPECT_EQ(ShowData::ClassPath(3), W("Право-Налоги"));
    EXPECT_EQ(ShowData::ClassPath(4), W("Право-Труд"));
    EXPECT_EQ(ShowData::ClassName(4), W("Труд"));
    EXPECT_EQ(ShowData::ClassParentId(3), 1);
    EXPECT_EQ(ShowData::ClassIndexById(2), 2);
    EXPECT_EQ(ShowData::ClassIndexById(99), -1);
    EXPECT_EQ(ShowData::ClassName(0), "");
    EXPECT_EQ(ShowData::ClassPath(0), "");

    // Field splitting and empty lines of the type list.
    ASSERT_EQ(ShowData::TypeCount(), 3);
    EXPECT_EQ(ShowData::TypeName(0), W("Закон"));
    EXPECT_EQ(ShowData::TypeName(1), W("Указ"));
    EXPECT_EQ(ShowData::TypeName(2), W("Постановление"));
    EXPECT_EQ(ShowData::TypeName(3), "");

    // The first classifier level also loads the document table.
    EXPECT_EQ(ShowData::GetDocTable().size(), 6u);
}

TEST_F(ClassifierTest, NameKeepsTheBlankAfterTheFourthNumberAndChildBeforeParentGetsFullPath) {
    WriteClass("2\n7 3 1 0 Налоги\n3 0 0 0 Право\n");
    CShowClass list(m_port);
    EXPECT_EQ(ShowData::ClassName(7), W(" Налоги"));
    EXPECT_EQ(ShowData::ClassPath(7), W(" Право- Налоги"));
    EXPECT_EQ(ShowData::GetClassTable()[0].path, W(" Право- Налоги"));
}

TEST_F(ClassifierTest, EmptyNameStopsLoadingWithoutMessage) {
    WriteClass("5\n1 0 0 0 A\n2 0 0 0 B\n3 0 0 0\n4 0 0 0 D\n");
    CShowClass list(m_port);
    EXPECT_EQ(ShowData::GetClassTable().size(), 2u);
    EXPECT_TRUE(m_port.messages.empty());
}

TEST_F(ClassifierTest, MalformedRecordStopsLoadingAndIsReported) {
    WriteClass("3\n1 0 0 0 A\n2 x 0 0 B\n3 0 0 0 C\n");
    CShowClass list(m_port);
    EXPECT_EQ(ShowData::GetClassTable().size(), 1u);
    EXPECT_TRUE(m_port.messages.empty());
    EXPECT_NE(m_log.text().find("ListDoc.cpp:ShowData::CShowClass::LoadClassItem()"), std::string::npos);
}

TEST_F(ClassifierTest, CountLargerThanRowsLoadsWhatIsThere) {
    WriteClass("2147483647\n1 0 0 0 A\n2 0 0 0 B");
    CShowClass list(m_port);
    EXPECT_EQ(ShowData::GetClassTable().size(), 2u);
    EXPECT_TRUE(m_port.messages.empty());
}

TEST_F(ClassifierTest, NegativeCountLoadsNothingButIsNoFailure) {
    WriteClass("-5\n1 0 0 0 A\n");
    CShowClass list(m_port);
    EXPECT_TRUE(ShowData::GetClassTable().empty());
    EXPECT_TRUE(m_port.messages.empty());
}

struct ClassDamageCase {
    const char* label;
    std::string classText;
    std::size_t rowsKept;
    const char* problem;
};

class ClassDamage : public ClassifierTest, public ::testing::WithParamInterface<ClassDamageCase> {};

TEST_P(ClassDamage, KeepsTheRecordsBeforeItAndNamesTheFile) {
    WriteClass(GetParam().classText);
    CShowClass list(m_port);
    EXPECT_EQ(ShowData::GetClassTable().size(), GetParam().rowsKept);
    EXPECT_TRUE(m_port.messages.empty());
    const Norik::DataDamage* damage = ShowData::TableDamage(ShowData::ModelTable::Class);
    ASSERT_NE(damage, nullptr);
    EXPECT_EQ(damage->problem, GetParam().problem);
    EXPECT_NE(m_log.text().find(m_dir.file("class.ttx") + ": " + GetParam().problem), std::string::npos);
    EXPECT_EQ(ShowData::TableDamage(ShowData::ModelTable::TypeList), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ClassDamage,
    ::testing::Values(ClassDamageCase{"CutAfterTheFirstName", "178\n1 0 0 0Кон", 1,
                                      "holds 1 of the 178 records its first line announces"},
                      ClassDamageCase{"NamelessRecord", "4\n1 0 0 0 A\n2 0 0 0 B\n3 0 0 0\n4 0 0 0 D\n", 2,
                                      "record 3 of 4 has no name"},
                      ClassDamageCase{"NegativeCountWithRecords", "-5\n1 0 0 0 A\n", 0,
                                      "holds more records than the -5 its first line announces"},
                      ClassDamageCase{"NulInAName", std::string("3\n1 0 0 0A\n2 0 0 0B\0x\n3 0 0 0C\n", 31), 1,
                                      "record 2 of 3 holds a NUL byte"},
                      // Written as the UTF-8 of the names, which the fixture writes byte for byte.
                      ClassDamageCase{"WrittenInUtf8", Norik::Cp1251ToUtf8("2\n1 0 0 0Право\n2 0 0 0Налоги\n"), 2,
                                      "is written in UTF-8, not Windows-1251"}),
    [](const auto& info) { return std::string(info.param.label); });

struct BrokenClassCase {
    const char* label;
    bool writeClass;
    const char* classText;
    bool writeTypes;
    std::size_t rowsKept;
};

class BrokenClassTable : public ClassifierTest, public ::testing::WithParamInterface<BrokenClassCase> {};

TEST_P(BrokenClassTable, ReportsShowsTheMessageAndKeepsWhatWasRead) {
    const auto& param = GetParam();
    if (param.writeClass) WriteTable("class", param.classText);
    if (param.writeTypes) WriteTable("typelist", "Закон\n");
    CShowClass list(m_port);
    list.SetParent(0, "");

    ASSERT_EQ(m_port.messages.size(), 1u);
    EXPECT_EQ(m_port.messages[0].text, ClassLoadMessage());
    EXPECT_EQ(m_port.messages[0].buttons, Norik::MessageButtons::Ok);
    EXPECT_NE(m_log.text().find("ListDoc.cpp:ShowData::CShowClass::Init()"), std::string::npos);
    EXPECT_EQ(ShowData::GetClassTable().size(), param.rowsKept);
    EXPECT_EQ(list.Count(), static_cast<int>(param.rowsKept));
    EXPECT_TRUE(ShowData::GetTypeList().empty());
}

INSTANTIATE_TEST_SUITE_P(Tables, BrokenClassTable,
                         ::testing::Values(BrokenClassCase{"ClassMissing", false, "", true, 0},
                                           BrokenClassCase{"ClassEmpty", true, "", true, 0},
                                           BrokenClassCase{"CountUnreadable", true, "many\n1 0 0 0 A\n", true, 0},
                                           BrokenClassCase{"TypeListMissing", true, "2\n1 0 0 0 A\n2 0 0 0 B\n", false,
                                                           2}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(ClassifierTest, DocumentTableFailureShowsOnlyItsOwnMessage) {
    WriteClass("2\n1 0 0 0 A\n2 0 1 0 B\n", false);
    WriteTable("typelist", "T\n");
    WriteTable("descript", "1 2\n");  // "Items" is missing
    CShowClass root(m_port);
    root.SetParent(0, "");
    ASSERT_EQ(m_port.messages.size(), 1u);
    EXPECT_EQ(m_port.messages[0].text,
              W("При загрузке данных были ошибки\nВышлите, пожалуйста лог-файл разработчику!"));
    EXPECT_EQ(m_log.text().find("ShowData::CShowClass::Init"), std::string::npos);
    EXPECT_EQ(root.Count(), 2);
    // The classifier stays loaded; a document node opens an empty list that tries the table again.
    auto documents = root.Open(1);
    ASSERT_NE(documents, nullptr);
    EXPECT_EQ(documents->Count(), 0);
    EXPECT_EQ(m_port.messages.size(), 2u);
}

TEST_F(ClassifierTest, ConstructionRetriesWhileTheClassifierIsEmptyAndNeverReloads) {
    CShowClass first(m_port);
    EXPECT_EQ(m_port.messages.size(), 1u);
    WriteClass("1\n1 0 0 0 A\n");
    CShowClass second(m_port);
    EXPECT_EQ(ShowData::GetClassTable().size(), 1u);
    WriteClass("2\n1 0 0 0 A\n2 0 0 0 B\n");
    CShowClass third(m_port);
    EXPECT_EQ(ShowData::GetClassTable().size(), 1u);
    EXPECT_EQ(m_port.messages.size(), 1u);
}

TEST_F(ClassifierTest, AnEmptyClassifierLoadsAgainWithoutRepeatingTheTypes) {
    WriteClass("0\n");
    WriteTable("typelist", "A\nB\n");
    CShowClass first(m_port);
    CShowClass second(m_port);
    EXPECT_TRUE(ShowData::GetClassTable().empty());
    EXPECT_EQ(ShowData::TypeCount(), 2);
}

TEST_F(ClassifierTest, LineLongerThanTheBufferDoesNotSpillIntoTheNextRecord) {
    const std::string longName(400, 'x');
    WriteClass("2\n1 0 0 0 " + longName + "\n2 0 0 0 B\n");
    CShowClass list(m_port);
    ASSERT_EQ(ShowData::GetClassTable().size(), 2u);
    // 255 characters fit the line buffer: the blank and 254 letters.
    EXPECT_EQ(ShowData::ClassName(1), " " + std::string(254, 'x'));
    EXPECT_EQ(ShowData::ClassName(2), " B");
}

TEST_F(ClassifierTest, LongTypeLineDoesNotBecomeASecondType) {
    WriteClass("1\n1 0 0 0 A\n", false);
    WriteTable("typelist", std::string(700, 'y') + "\nZ");
    WriteTable("descript", "0 0\n");
    WriteTable("Items", "0\n");
    CShowClass list(m_port);
    ASSERT_EQ(ShowData::TypeCount(), 2);
    EXPECT_EQ(ShowData::TypeName(0), std::string(499, 'y'));
    EXPECT_EQ(ShowData::TypeName(1), "Z");
}

TEST_F(ClassifierTest, CrLfLinesOfTheTypeListGiveNoCarriageReturnAndNoEmptyType) {
    WriteClass("1\n1 0 0 0 A\n", false);
    WriteTable("typelist", "Закон\r\n\r\nУказ\r\n\r\n");
    WriteTable("descript", "0 0\n");
    WriteTable("Items", "0\n");
    CShowClass list(m_port);
    ASSERT_EQ(ShowData::TypeCount(), 2);
    EXPECT_EQ(ShowData::TypeName(0), W("Закон"));
    EXPECT_EQ(ShowData::TypeName(1), W("Указ"));
}

TEST_F(ClassifierTest, MissingParentAndCyclesGiveFinitePathsAndParentChains) {
    WriteClass(
        "6\n"
        "10 99 0 0Orphan\n"  // parent that no node has
        "11 10 0 0Child\n"
        "20 22 0 0A\n"  // 20 -> 22 -> 21 -> 20
        "21 20 0 0B\n"
        "22 21 0 0C\n"
        "30 30 0 0Self\n");
    CShowClass list(m_port);
    EXPECT_EQ(ShowData::ClassPath(10), "Orphan");
    EXPECT_EQ(ShowData::ClassPath(11), "Orphan-Child");
    EXPECT_EQ(ShowData::ClassPath(30), "Self");
    EXPECT_EQ(ShowData::ClassParentId(10), 0);
    EXPECT_EQ(ShowData::ClassParentId(30), 0);
    // The cycle is cut at one link; every node's path ends with its own name.
    for (const std::int32_t id : {20, 21, 22}) {
        const std::string path = ShowData::ClassPath(id);
        EXPECT_EQ(path.back(), ShowData::ClassName(id).back()) << id;
        int steps = 0;
        for (std::int32_t at = id; at != 0 && steps < 10; at = ShowData::ClassParentId(at)) ++steps;
        EXPECT_LT(steps, 4) << id;
    }
    // Levels list by the same parents: each node appears under the parent its path names, so the
    // orphan, the self-parented node and one node of the cycle are listed at the top.
    auto levelTexts = [&](std::int32_t parent) {
        CShowClass level(m_port);
        level.SetParent(parent, "");
        std::vector<std::string> texts;
        for (int i = 0; i < level.Count(); ++i) texts.push_back(level.GetText(static_cast<unsigned>(i)));
        return texts;
    };
    for (const std::int32_t id : {10, 11, 20, 21, 22, 30}) {
        const auto texts = levelTexts(ShowData::ClassParentId(id));
        EXPECT_EQ(std::count(texts.begin(), texts.end(), ShowData::ClassName(id)), 1) << id;
    }
    EXPECT_EQ(levelTexts(0).size(), 3u);
}

TEST_F(ClassifierTest, AChainDeeperThanThirtyTwoLevelsStartsANewTopLevel) {
    std::string table = "40\n";
    for (int id = 1; id <= 40; ++id) table += std::to_string(id) + " " + std::to_string(id - 1) + " 0 0n\n";
    WriteClass(table);
    CShowClass list(m_port);
    EXPECT_EQ(ShowData::ClassPath(32).size(), 32u * 2 - 1);
    EXPECT_EQ(ShowData::ClassParentId(33), 0);
    EXPECT_EQ(ShowData::ClassPath(33), "n");
    EXPECT_EQ(ShowData::ClassPath(40), "n-n-n-n-n-n-n-n");
}

TEST_F(ClassifierTest, LevelsNamesTitlesAndOpening) {
    WriteSmallBase();
    auto root = std::make_shared<CShowClass>(m_port);
    root->SetParent(0, "");
    EXPECT_EQ(root->GetTitle(), W("Классификатор"));
    EXPECT_EQ(root->GetName(0), W("Номер классификатора - 1"));
    EXPECT_EQ(root->GetNumber(0), -1);
    EXPECT_TRUE(root->IsFolder());
    EXPECT_EQ(root->Open(5), nullptr);

    auto law = root->Open(0);
    ASSERT_NE(law, nullptr);
    EXPECT_TRUE(law->IsFolder());
    EXPECT_EQ(law->id(), 1);
    EXPECT_EQ(law->name(), W("-Право"));
    EXPECT_EQ(law->GetTitle(), W("Классификатор-Право"));
    ASSERT_EQ(law->Count(), 2);

    auto taxes = law->Open(0);
    ASSERT_NE(taxes, nullptr);
    EXPECT_FALSE(taxes->IsFolder());
    EXPECT_EQ(taxes->GetTitle(), W("Список документов-Право-Налоги"));
    EXPECT_EQ(taxes->Count(), 3);
    EXPECT_TRUE(m_port.messages.empty());
}

TEST_F(ClassifierTest, SortDoesNothingAndMarksAreSharedByEveryLevelShowingTheNode) {
    WriteSmallBase();
    CShowClass one(m_port);
    CShowClass two(m_port);
    one.SetParent(1, "");
    two.SetParent(1, "");
    one.Sort(1, true);
    EXPECT_EQ(one.GetText(0), W("Налоги"));
    EXPECT_FALSE(two.GetMark(1));
    one.SetMark(1, true);
    EXPECT_TRUE(two.GetMark(1));
    EXPECT_FALSE(two.GetMark(0));
    EXPECT_FALSE(two.GetMark(7));
    two.SetMark(1, false);
    EXPECT_FALSE(one.GetMark(1));
}

TEST_F(ClassifierTest, FindSearchesTheWholeBaseWithTheLevelsRequest) {
    WriteSmallBase();
    CShowClass level(m_port);
    level.SetParent(0, "");
    m_port.onSearch = [](ShowData::SearchRequest& request) { request.classId = 3; };
    level.Find();
    ASSERT_EQ(m_port.searches.size(), 1u);
    EXPECT_FALSE(m_port.searches[0].fromList);
    EXPECT_EQ(m_port.searches[0].request, ShowData::SearchRequest{});
    EXPECT_EQ(level.request().classId, 3);
}

}  // namespace
}  // namespace NorikTest
