#include <gtest/gtest.h>

#include <string>

#include "richtext/DocumentOutline.h"

using namespace Norik;

namespace {

// UTF-8 text as RTF: each non-ASCII character a \uN escape.
std::string Escaped(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const int code = ((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F);
        out += "\\u" + std::to_string(code) + "?";
        i += 2;
    }
    return out;
}

std::string Summary(const DocumentOutline& outline) {
    std::string out;
    for (const OutlineEntry& entry : outline)
        out += std::to_string(entry.depth) + ":" + entry.number + "@" + std::to_string(entry.position) + " ";
    return out;
}

// Lines of plain text, each a paragraph: offsets count each line and its end.
constexpr std::string_view kCode =
    "ГЛАВА 1. ОБЩИЕ ПОЛОЖЕНИЯ\n"        // 0, 25 characters
    "Статья 1. Сфера действия\n"        // 25
    "1. Статья 5 настоящего закона.\n"  // 50: an item and prose, not headings
    "Статья 220.1. Вычеты\n"            // 81
    "Глава 2\n"                         // 102
    "§ 3. Порядок\n"                    // 110
    "Статья 221 (утратила силу)\n"      // 123: no title after the number
    "Статья 222. Сроки\n"               // 150
    "Приложение N 1\n";                 // 168

}  // namespace

TEST(DocumentOutline, HeadingsByTheirWordsMakeATree) {
    const DocumentOutline outline = FindOutline(kCode);
    EXPECT_EQ(Summary(outline), "0:1@0 1:1@25 1:220.1@81 0:2@102 1:3@110 2:222@150 0:1@168 ");
    ASSERT_EQ(outline.size(), 7u);
    EXPECT_EQ(outline[1].title, "Статья 1. Сфера действия");
    EXPECT_EQ(outline[4].kind, OutlineKind::Paragraph);
    EXPECT_EQ(outline[6].kind, OutlineKind::Appendix);
}

TEST(DocumentOutline, NumberedItemsAreTheOutlineOfATextWithoutArticles) {
    const DocumentOutline outline =
        FindOutline("Приказываю:\nI. Общие положения\n1. Утвердить.\n2. Признать.\n2.1. Подпункт.\n");
    EXPECT_EQ(Summary(outline), "0:I@12 1:1@31 1:2@45 ");
}

TEST(DocumentOutline, OutlineLevelsTakePrecedenceOverWords) {
    // Style 1 is a heading of the top level; a paragraph may give its own level.
    const std::string rtf = "{\\rtf1{\\stylesheet{\\s1\\outlinelevel0 heading 1;}}" +
                            Escaped("\\pard\\s1 Раздел I\\par\\pard Статья 1. Текст\\par") + "\\pard\\outlinelevel1 " +
                            Escaped("Порядок\\par\\pard\\outlinelevel9 Глава 9\\par}");
    const DocumentOutline outline = FindOutline(rtf);
    EXPECT_EQ(Summary(outline), "0:I@0 1:@25 ");
    ASSERT_EQ(outline.size(), 2u);
    EXPECT_EQ(outline[0].kind, OutlineKind::Section);
    EXPECT_EQ(outline[1].title, "Порядок");
}

TEST(DocumentOutline, GoToArticleOrChapter) {
    const DocumentOutline outline = FindOutline(kCode);
    auto jump = [&](std::string_view asked) {
        const std::optional<OutlineTarget> target = ParseOutlineTarget(asked);
        const OutlineEntry* entry = target ? FindOutlineEntry(outline, *target) : nullptr;
        return entry ? entry->position : -1;
    };
    EXPECT_EQ(jump("220.1"), 81);
    EXPECT_EQ(jump(" ст. 222 "), 150);
    EXPECT_EQ(jump("Статья 1"), 25);
    EXPECT_EQ(jump("глава 2"), 102);
    EXPECT_EQ(jump("гл.1"), 0);
    EXPECT_EQ(jump("приложение № 1"), 168);
    EXPECT_EQ(jump("221"), -1);
    EXPECT_EQ(jump("статья"), -1);
}

TEST(DocumentOutline, CitationNamesTheArticleTheSelectionLiesIn) {
    const DocumentOutline outline = FindOutline(kCode);
    const CitationSource source{"Федеральный закон", "", 6, 10, 2003, "131-ФЗ", "Об общих принципах"};
    EXPECT_EQ(CitationText(source, EnclosingArticle(outline, 90)),
              "(Федеральный закон от 06.10.2003 № 131-ФЗ «Об общих принципах», ст. 220.1)");
    // In a chapter's heading, and before anything: no article.
    EXPECT_EQ(CitationText(source, EnclosingArticle(outline, 105)),
              "(Федеральный закон от 06.10.2003 № 131-ФЗ «Об общих принципах»)");
    EXPECT_EQ(CitationText(CitationSource{"Письмо", "", 0, 0, 0, "", "О сроках"}, EnclosingArticle(outline, -1)),
              "(Письмо «О сроках»)");
}

TEST(DocumentOutline, CitationNamesThePartTheIssuerAndAStatusAndNeverTheTypeTwice) {
    const DocumentOutline outline = FindOutline(kCode);
    const CitationSource code{"Кодекс", "", 29, 12, 2004, "190-ФЗ", "Градостроительный кодекс Российской Федерации"};
    EXPECT_EQ(CitationText(code, EnclosingArticle(outline, 90), "2"),
              "(Градостроительный кодекс Российской Федерации от 29.12.2004 № 190-ФЗ, ч. 2 ст. 220.1)");
    EXPECT_EQ(PartNumber("2. Налоговый агент обязан"), "2");
    EXPECT_EQ(PartNumber("\xC2\xA0"
                         "12.\xC2\xA0Текст"),
              "12");
    for (const char* none : {"2.1. Подпункт", "Статья 2. Сфера", "2 января", "1234. Текст", "2.", ""})
        EXPECT_EQ(PartNumber(none), "") << none;

    const std::string issuer = IssuerInHeading("Письмо", "ПИСЬМО МИНИСТЕРСТВА ФИНАНСОВ РОССИЙСКОЙ ФЕДЕРАЦИИ");
    EXPECT_EQ(issuer, "Министерства финансов Российской Федерации");
    EXPECT_EQ(IssuerInHeading("Письмо", "ПИСЬМО ФНС РОССИИ"), "ФНС России");
    EXPECT_EQ(IssuerInHeading("Информационное письмо",
                              "ИНФОРМАЦИОННОЕ ПИСЬМО ПРЕЗИДИУМА ВЫСШЕГО АРБИТРАЖНОГО СУДА РОССИЙСКОЙ ФЕДЕРАЦИИ"),
              "Президиума Высшего Арбитражного Суда Российской Федерации");
    for (const char* none : {"ПИСЬМО", "Письмо направляется в срок", "ПРИКАЗ МИНИСТЕРСТВА", "ПИСЬМОНОСЕЦ ФНС"})
        EXPECT_EQ(IssuerInHeading("Письмо", none), "") << none;
    CitationSource letter{"Письмо", issuer, 14, 5, 2025, "03-04-05/1", "О налоге", false};
    EXPECT_EQ(CitationText(letter, nullptr),
              "(Письмо Министерства финансов Российской Федерации от 14.05.2025 № 03-04-05/1 «О налоге»; не "
              "действует)");
}
