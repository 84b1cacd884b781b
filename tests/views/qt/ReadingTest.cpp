// Reading a long text: the contents pane and "go to article", copy with citation, zoom.
#include <private/qtextdocumentlayout_p.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTreeWidgetItem>

#include "ViewsFixture.h"
#include "frame/CommandIds.h"
#include "platform/Profile.h"
#include "views/ContentsPane.h"
#include "views/TextPlace.h"
#include "views/TextZoom.h"

namespace NorikTest {
namespace {

using Norik::Cvelda1View;
namespace Command = Norik::Command;

class ReadingTest : public ViewsTest {
protected:
    void SetUp() override {
        ViewsTest::SetUp();
        m_port.context.profile = &m_profile;
    }
    // The first line of the text at the top of the window.
    static QString TopLine(const Cvelda1View& view) {
        return view.document()->findBlock(view.TopPosition()).text().left(16);
    }

    Norik::MemoryProfile m_profile;
};

TEST_F(ReadingTest, TheContentsAndGoToArticleLeadToTheArticle) {
    Cvelda1View* view = Open("000007");
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(view->GetDocument()->EnsureWhole());
    ASSERT_TRUE(view->contentsPane()->isVisible());
    EXPECT_GT(view->viewport()->x(), view->contentsPane()->width() - 1);

    ASSERT_TRUE(view->GoToArticle(QStringLiteral("ст. 12")));
    EXPECT_TRUE(TopLine(*view).startsWith(QStringLiteral("Статья 12. ")));
    ASSERT_NE(view->contentsPane()->currentItem(), nullptr);
    EXPECT_TRUE(view->contentsPane()->currentItem()->text(0).startsWith(QStringLiteral("Статья 12. ")));
    // The last article, too short to be scrolled to the top, stays the one marked.
    const Norik::OutlineEntry* last = nullptr;
    for (const Norik::OutlineEntry& entry : view->GetDocument()->outline())
        if (entry.kind == Norik::OutlineKind::Article) last = &entry;
    ASSERT_NE(last, nullptr);
    ASSERT_TRUE(view->GoToArticle(QString::fromStdString(last->number)));
    QTest::qWait(300);
    ASSERT_NE(view->contentsPane()->currentItem(), nullptr);
    EXPECT_EQ(view->contentsPane()->currentItem()->text(0).toStdString(), last->title);
    EXPECT_FALSE(view->GoToArticle(QStringLiteral("9999")));
    ASSERT_EQ(m_port.messages.size(), 1u);
    EXPECT_EQ(Norik::Cp1251ToUtf8(m_port.messages[0].text), "Статья «9999» в тексте не найдена.");

    // An entry chosen in the pane; the pane hidden stays hidden for the next window.
    QTreeWidgetItem* first = view->contentsPane()->topLevelItem(0);
    emit view->contentsPane()->itemClicked(first, 0);
    EXPECT_EQ(view->document()->findBlock(view->TopPosition()).text(), first->text(0));
    view->ExecuteCommand(Command::kViewContents);
    EXPECT_FALSE(view->contentsPane()->isVisible());
    EXPECT_EQ(view->viewport()->x(), view->frameWidth());
    EXPECT_EQ(m_profile.GetProfileInt(Norik::kSectionReading, Norik::kValueContents, 1), 0);
}

TEST_F(ReadingTest, TheTextWrapsToTheWidthLeftBesideTheContentsPane) {
    // A short text: shown at once, with the pane placed as the window first takes its size.
    Cvelda1View* view = Open("000001");
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(view->contentsPane()->isVisible());
    const auto wrapsToTheViewport = [view] {
        QApplication::processEvents();
        const qreal laidOut = view->document()->documentLayout()->documentSize().width();
        return view->document()->pageSize().width() == view->viewport()->width() &&
               laidOut <= view->viewport()->width() && view->horizontalScrollBar()->maximum() == 0;
    };
    EXPECT_TRUE(wrapsToTheViewport());
    view->ExecuteCommand(Command::kViewContents);
    ASSERT_FALSE(view->contentsPane()->isVisible());
    EXPECT_TRUE(wrapsToTheViewport());
    view->ExecuteCommand(Command::kViewContents);
    ASSERT_TRUE(view->contentsPane()->isVisible());
    EXPECT_TRUE(wrapsToTheViewport());
}

TEST_F(ReadingTest, AJumpFromTheContentsOrToAnArticleIsAStepFromThePlaceLeft) {
    std::vector<std::pair<Norik::TextPlace, Norik::TextPlace>> steps;
    m_port.context.recordStep = [&steps](const Norik::TextPlace& from, const Norik::TextPlace& to) {
        steps.emplace_back(from, to);
    };
    Cvelda1View* view = Open("000007");
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(view->GetDocument()->EnsureWhole());
    const int start = Norik::ReadingPosition(*view);
    ASSERT_TRUE(view->GoToArticle(QStringLiteral("12")));
    const int article = view->textCursor().position();
    EXPECT_FALSE(view->GoToArticle(QStringLiteral("9999")));
    emit view->contentsPane()->itemClicked(view->contentsPane()->topLevelItem(0), 0);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].first, (Norik::TextPlace{7, start}));
    EXPECT_EQ(steps[0].second, (Norik::TextPlace{7, article}));
    EXPECT_EQ(steps[1].first, (Norik::TextPlace{7, article}));
    EXPECT_EQ(steps[1].second, (Norik::TextPlace{7, view->textCursor().position()}));
    EXPECT_NE(article, start);
}

TEST_F(ReadingTest, CopyWithCitationNamesTheArticleOfTheSelection) {
    Cvelda1View* view = Open("000001");
    ASSERT_NE(view, nullptr);
    QTextCursor cursor(view->document());
    cursor.setPosition(10);
    cursor.setPosition(27, QTextCursor::KeepAnchor);
    view->setTextCursor(cursor);
    view->ExecuteCommand(Command::kCopyWithCitation);
    const QMimeData* copied = QApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    const QString text = copied->text();
    EXPECT_TRUE(text.startsWith(QStringLiteral("Налогоплательщики\n("))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral(", ст. 1)"))) << text.toStdString();
    EXPECT_TRUE(copied->html().contains(QStringLiteral(", ст. 1)")));

    // In the second part of an article of a letter no longer in force, issued by the body its
    // heading names.
    Cvelda1View* letter = Open("000002");
    ASSERT_NE(letter, nullptr);
    const QTextCursor words = letter->document()->find(QStringLiteral("Земельный налог"));
    ASSERT_FALSE(words.isNull());
    letter->setTextCursor(words);
    letter->ExecuteCommand(Command::kCopyWithCitation);
    EXPECT_EQ(QApplication::clipboard()->text(),
              QStringLiteral("Земельный налог\n(Письмо Министерства финансов Российской Федерации от 02.07.2004 № "
                             "03-05/12 «По вопросу уплаты земельного налога», ч. 2 ст. 3; не действует)"));
}

TEST_F(ReadingTest, ZoomKeepsThePlaceBeingReadAndIsKept) {
    Cvelda1View* view = Open("000007");
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(view->GetDocument()->EnsureWhole());
    // An article far in the text: the new layout takes several slices to get there.
    std::vector<std::string> articles;
    for (const Norik::OutlineEntry& entry : view->GetDocument()->outline())
        if (entry.kind == Norik::OutlineKind::Article) articles.push_back(entry.number);
    ASSERT_GT(articles.size(), 10u);
    const std::string last = articles[articles.size() * 3 / 4];
    const QString heading = QStringLiteral("Статья %1. ").arg(QString::fromStdString(last));
    ASSERT_TRUE(view->GoToArticle(QString::fromStdString(last)));
    const QTextBlock block = view->document()->findBlock(view->TopPosition());
    const qreal height = view->document()->documentLayout()->blockBoundingRect(block).height();
    QSignalSpy settled(&view->zoom(), &Norik::TextZoom::settled);
    const int top = view->TopPosition();
    view->ExecuteCommand(Command::kZoomIn);
    // Asking where the reader is while the new layout is on its way there (the contents pane does as
    // the window scrolls) lays nothing out at once.
    ASSERT_TRUE(view->zoom().isSettling());
    const auto* layout = qobject_cast<QTextDocumentLayout*>(view->document()->documentLayout());
    ASSERT_NE(layout, nullptr);
    const int laidOut = layout->layoutStatus();
    EXPECT_EQ(view->TopPosition(), top);
    EXPECT_EQ(Norik::ReadingPosition(*view), top);
    EXPECT_EQ(layout->layoutStatus(), laidOut);
    ASSERT_TRUE(settled.wait(20000));
    EXPECT_TRUE(TopLine(*view).startsWith(heading)) << TopLine(*view).toStdString();
    EXPECT_GT(view->document()->documentLayout()->blockBoundingRect(block).height(), height);
    EXPECT_EQ(m_profile.GetProfileInt(Norik::kSectionReading, Norik::kValueTextZoom, 100), 110);
    view->ExecuteCommand(Command::kZoomReset);
    ASSERT_TRUE(settled.wait(20000));
    EXPECT_TRUE(TopLine(*view).startsWith(heading)) << TopLine(*view).toStdString();
    EXPECT_EQ(view->document()->documentLayout()->blockBoundingRect(block).height(), height);
    view->ExecuteCommand(Command::kZoomOut);
    EXPECT_EQ(view->zoom().percent(), 90);
}

TEST(ContentsPaneTest, EntriesNestUnderTheLastEntryLessDeep) {
    using Norik::OutlineEntry;
    using Norik::OutlineKind;
    const Norik::DocumentOutline outline = {
        {OutlineKind::Section, 0, "I", "Раздел I", 0},    {OutlineKind::Chapter, 1, "1", "Глава 1", 10},
        {OutlineKind::Article, 2, "1", "Статья 1", 20},   {OutlineKind::Article, 2, "2", "Статья 2", 30},
        {OutlineKind::Chapter, 1, "2", "Глава 2", 40},    {OutlineKind::Article, 2, "3", "Статья 3", 50},
        {OutlineKind::Section, 0, "II", "Раздел II", 60},
    };
    Norik::ContentsPane pane;
    pane.SetOutline(outline);
    ASSERT_EQ(pane.topLevelItemCount(), 2);
    QTreeWidgetItem* part = pane.topLevelItem(0);
    ASSERT_EQ(part->childCount(), 2);
    EXPECT_EQ(part->child(0)->text(0), QStringLiteral("Глава 1"));
    ASSERT_EQ(part->child(0)->childCount(), 2);
    EXPECT_EQ(part->child(0)->child(1)->text(0), QStringLiteral("Статья 2"));
    ASSERT_EQ(part->child(1)->childCount(), 1);
    EXPECT_EQ(part->child(1)->child(0)->text(0), QStringLiteral("Статья 3"));
    EXPECT_EQ(pane.topLevelItem(1)->childCount(), 0);
}

// The first link at or after position, or the last one before it.
int LinkFrom(const QTextDocument& text, int position, bool next) {
    int found = -1;
    for (QTextBlock block = text.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (!it.fragment().charFormat().isAnchor()) continue;
            const int at = it.fragment().position();
            if (next && at >= position) return at;
            if (!next && at < position) found = at;
        }
    }
    return found;
}

// Tab and Shift+Tab choose the next and the previous link from the caret, and from the top of the
// screen once the caret has left it.
TEST_F(ReadingTest, TabChoosesTheLinksNextToThePlaceRead) {
    Cvelda1View* view = Open("000007");
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(view->GetDocument()->EnsureWhole());
    ASSERT_TRUE(view->GoToArticle(QStringLiteral("12")));
    const int place = view->textCursor().position();
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_EQ(view->textCursor().selectionStart(), LinkFrom(*view->document(), place, true));
    view->JumpTo(place);
    QTest::keyClick(view, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(view->textCursor().selectionStart(), LinkFrom(*view->document(), place, false));

    view->JumpTo(place);
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->value() + 5 * view->viewport()->height());
    const int top = view->TopPosition();
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_EQ(view->textCursor().selectionStart(), LinkFrom(*view->document(), top, true));
}

// F6 and Shift+F6 move the keyboard between the text and its contents, where the arrows and
// Enter lead to a part.
TEST_F(ReadingTest, F6MovesBetweenTheTextAndItsContents) {
    Cvelda1View* view = Open("000007");
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(view->GetDocument()->EnsureWhole());
    view->activateWindow();
    view->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == view; }));
    Norik::CommandState state;
    ASSERT_TRUE(view->UpdateCommand(Command::kNextPane, state) && state.enabled);
    view->ExecuteCommand(Command::kNextPane);
    ASSERT_EQ(QApplication::focusWidget(), view->contentsPane());
    view->contentsPane()->setCurrentItem(view->contentsPane()->topLevelItem(0));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTreeWidgetItem* chosen = view->contentsPane()->currentItem();
    ASSERT_NE(chosen, view->contentsPane()->topLevelItem(0));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(view->document()->findBlock(view->TopPosition()).text(), chosen->text(0));
    view->ExecuteCommand(Command::kPreviousPane);
    EXPECT_EQ(QApplication::focusWidget(), view);
}

}  // namespace
}  // namespace NorikTest
