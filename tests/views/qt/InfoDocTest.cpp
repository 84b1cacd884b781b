// The information card as the user sees it.
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

#include "ViewsFixture.h"
#include "views/InfoDoc.h"

namespace NorikTest {
namespace {

QStringList Lines(const QTextBrowser* field) {
    QStringList lines;
    for (const QString& line : field->document()->toPlainText().split(QChar('\n'))) {
        if (!line.trimmed().isEmpty()) lines << line.trimmed();
    }
    return lines;
}

TEST_F(ViewsTest, TheCardShowsTheDocumentWithEveryClassifierPath) {
    Norik::CInfoDoc card(2, nullptr);
    EXPECT_EQ(card.windowTitle(), QStringLiteral("Информация о документе"));
    EXPECT_TRUE(card.field()->isReadOnly());
    EXPECT_EQ(Lines(card.field()), (QStringList{
                                       "Письмо 03-05/12",
                                       "По вопросу уплаты земельного налога",
                                       "Дата введения:  02.07.2004 г.",
                                       "Статус: Недействующий",
                                       "Классификатор:",
                                       "- Налоги и сборы",
                                       "- Федеральные налоги",
                                       "- Налоги и сборы",
                                       "- Местные налоги",
                                       "Дата включения в базу:  07.07.2004 г.",
                                   }));
    card.show();
    QTest::mouseClick(card.closeButton(), Qt::LeftButton);
    EXPECT_FALSE(card.isVisible());
    EXPECT_EQ(card.result(), QDialog::Accepted);

    // Braces and slashes of a title show as written.
    Norik::CInfoDoc braces(7, nullptr);
    EXPECT_EQ(Lines(braces.field()).value(1), QStringLiteral("О порядке ../ввода/вывода: часть {1}"));
}

}  // namespace
}  // namespace NorikTest
