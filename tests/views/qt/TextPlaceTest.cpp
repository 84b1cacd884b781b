// The name a bookmark is offered under: the document's short title and the heading of the part the
// place lies in.
#include <gtest/gtest.h>

#include <QTextDocument>

#include "views/TextPlace.h"

namespace NorikTest {
namespace {

using namespace Norik;

TEST(TextPlaceTest, TheHeadingAboveAPlaceAndTheShortTitleOfACode) {
    QTextDocument text;
    text.setPlainText(
        QStringLiteral("Глава 23. НАЛОГ НА ДОХОДЫ ФИЗИЧЕСКИХ ЛИЦ\n"
                       "Статья 220. Имущественные налоговые вычеты\n"
                       "1. При определении размера налоговой базы...\n"
                       "Статья 5 настоящего Кодекса применяется и здесь.\n"
                       "Статья\u00a0220.1. Инвестиционные налоговые вычеты\n"));
    const int inArticle = static_cast<int>(text.toPlainText().indexOf(QStringLiteral("Кодекса")));
    EXPECT_EQ(HeadingAbove(text, inArticle), QStringLiteral("ст. 220"));
    EXPECT_EQ(HeadingAbove(text, text.characterCount() - 2), QStringLiteral("ст. 220.1"));
    EXPECT_EQ(HeadingAbove(text, 3), QStringLiteral("гл. 23"));
    EXPECT_EQ(ShortTitle(QStringLiteral("Гражданский процессуальный кодекс Российской Федерации")),
              QStringLiteral("ГПК РФ"));
    EXPECT_EQ(ShortTitle(QStringLiteral("Об утверждении Налогового кодекса")),
              QStringLiteral("Об утверждении Налогового кодекса"));
}

}  // namespace
}  // namespace NorikTest
