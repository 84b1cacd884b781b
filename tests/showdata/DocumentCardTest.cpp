// The information card's RTF: classifier paths, dates, status, wrapping and escaping.
#include <gtest/gtest.h>

#include "ModelFixture.h"
#include "showdata/DocumentCard.h"

namespace NorikTest {
namespace {

using Norik::CardDate;
using Norik::ComposeDocumentCard;
using Norik::WrapCardText;

class DocumentCardTest : public ModelTest {};

TEST_F(DocumentCardTest, EveryFilingGivesItsPathFromTheTop) {
    WriteSmallBase();
    ASSERT_EQ(ShowData::CShowClass::Init(m_port), Norik::kOk);
    // Document 5 is filed under Налоги (below Право) and under Экономика.
    const std::string card = ComposeDocumentCard(5);
    const std::string paths =
        W("{\\fs20\n"
          "\\pard\\fs20 \\nowidctlpar\\fi200\n- Право\\par\n"
          "\\pard\\fs20 \\nowidctlpar\\fi300\n- Налоги\\par\n"
          "\\pard\\fs20 \\nowidctlpar\\fi200\n- Экономика\\par\n"
          "}\\par{\\fs20\\b Дата включения в базу:}");
    EXPECT_NE(card.find(paths), std::string::npos) << card;
    EXPECT_EQ(card.rfind(W("{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049\\deflangfe1049{\\fonttbl"), 0), 0u);
    EXPECT_NE(card.find(W("{\\fs20\\b\nЗакон 12-ФЗ}\\par\n{\\fs20\nО налогах}\n")), std::string::npos);
    EXPECT_NE(card.find(W("Статус:}{\\fs20\n Действующий}")), std::string::npos);
    // Document 12 has no date of introduction and is in force; added on day code 100.
    const std::string undated = ComposeDocumentCard(12);
    EXPECT_NE(undated.find(W("Дата введения:}{\\fs20\n -}")), std::string::npos) << undated;
    EXPECT_NE(undated.find(W(" ") + CardDate(100) + "}"), std::string::npos);
}

TEST(DocumentCardDate, DayCodeZeroIsADashOtherwiseDayMonthFourDigitYear) {
    EXPECT_EQ(CardDate(0), "-");
    EXPECT_EQ(CardDate((2005 - 1900) * 372 + 2 * 31 + 14), W(" 15.03.2005 г."));
    EXPECT_EQ(CardDate(ShowData::MakeDayCode(1991, 12, 31)), W(" 31.12.1991 г."));
}

TEST(DocumentCardWrap, CutsAtTheLastBlankWithinTheWidthOrInsideALongRun) {
    const std::string words = std::string(70, 'a') + " bbb " + std::string(60, 'c') + " " + std::string(13, 'd');
    struct Case {
        std::string text;
        std::string wrapped;
    } cases[] = {
        {std::string(73, 'x'), std::string(73, 'x')},
        // The blank after the a's (position 70) is the last at or before 73; the next cut is at 135.
        {words, std::string(70, 'a') + "\\par\n" + "bbb " + std::string(60, 'c') + "\\par\n" + std::string(13, 'd')},
        {std::string(150, 'z'), std::string(73, 'z') + "\\par\n" + std::string(73, 'z') + "\\par\n" + "zzzz"},
        {"{a\\b}", "\\{a\\\\b\\}"},
    };
    for (const Case& c : cases) EXPECT_EQ(WrapCardText(c.text, 2), c.wrapped) << c.text;
}

TEST_F(DocumentCardTest, BracesAndBackslashesInTextsAreEscaped) {
    WriteTable("class", "1\n1 0 1 0Налоги {местные}\n");
    WriteTable("typelist", "Закон\n");
    WriteTable("descript", "1 0\n");
    WriteTable("Items", "1\n4 1 100 Закон|О сборах {и} \\пошлинах|1\\2|0|0|1\n");
    ASSERT_EQ(ShowData::CShowClass::Init(m_port), Norik::kOk);
    const std::string card = ComposeDocumentCard(4);
    EXPECT_NE(card.find(W("Закон 1\\\\2}")), std::string::npos) << card;
    EXPECT_NE(card.find(W("О сборах \\{и\\} \\\\пошлинах}")), std::string::npos);
    EXPECT_NE(card.find(W("- Налоги \\{местные\\}\\par")), std::string::npos);
    // A type stored with a leading blank shows without it, the status of a document not in force.
    EXPECT_NE(card.find(W("{\\fs20\\b\nЗакон")), std::string::npos);
    EXPECT_NE(card.find(W(" Недействующий}")), std::string::npos);
}

// A table that files one document 2,000 times is damaged; the card still shows each section once.
TEST_F(DocumentCardTest, AFilingRepeatedPastAnySaneCountIsDamageShownOnce) {
    WriteTable("class", "2\n1 0 1 0Налоги\n2 0 1 0Земля\n");
    WriteTable("typelist", "Закон\n");
    WriteTable("descript", "1 0\n");
    std::string items = "2001\n4 2 100 Закон|О сборах|1|0|0|1\n";
    for (int i = 0; i < 2000; ++i) items += "4 1 100 Закон|О сборах|1|0|0|1\n";
    WriteTable("Items", items);
    ASSERT_EQ(ShowData::CShowClass::Init(m_port), Norik::kOk);
    const std::string card = ComposeDocumentCard(4);
    const std::string paths = W("- Земля\\par\n\\pard\\fs20 \\nowidctlpar\\fi200\n- Налоги\\par\n}");
    EXPECT_NE(card.find(paths), std::string::npos) << card.substr(0, 2000);
    const Norik::DataDamage* damage = ShowData::TableDamage(ShowData::ModelTable::Items);
    ASSERT_NE(damage, nullptr);
    EXPECT_EQ(damage->problem.rfind("document 4 is filed 2001 times", 0), 0u) << damage->problem;
}

}  // namespace
}  // namespace NorikTest
