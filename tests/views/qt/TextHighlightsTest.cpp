// The words of a search marked in a text window: every form of them, stepped through with F3.
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

#include "ViewsFixture.h"
#include "frame/CommandIds.h"
#include "views/TextHighlights.h"

namespace NorikTest {
namespace {

using Norik::Cvelda1View;
namespace Command = Norik::Command;

// The start of every word of the view's characters that is one of words, whatever its case.
std::vector<std::size_t> Occurrences(Cvelda1View& view, const QStringList& words) {
    const QString text = view.document()->toRawText();
    std::vector<std::size_t> starts;
    for (qsizetype at = 0; at < text.size();) {
        if (!text[at].isLetterOrNumber()) {
            ++at;
            continue;
        }
        qsizetype end = at;
        while (end < text.size() && text[end].isLetterOrNumber()) ++end;
        if (words.contains(text.mid(at, end - at).toLower())) starts.push_back(static_cast<std::size_t>(at));
        at = end;
    }
    return starts;
}

std::vector<std::size_t> MarkedStarts(const Norik::TextHighlights& marks) {
    std::vector<std::size_t> starts;
    for (const auto& match : marks.matches()) starts.push_back(match.first);
    return starts;
}

// Whether the view marks the match that starts at start (the view marks those around the screen).
bool Marked(Cvelda1View& view, std::size_t start) {
    const auto marks = view.extraSelections();
    return std::any_of(marks.begin(), marks.end(), [start](const QTextEdit::ExtraSelection& mark) {
        return static_cast<std::size_t>(mark.cursor.selectionStart()) == start;
    });
}

// Every mark on the view is one of the matches.
void ExpectMarksAreMatches(Cvelda1View& view, const std::vector<std::size_t>& matches) {
    const auto marks = view.extraSelections();
    EXPECT_FALSE(marks.isEmpty());
    for (const QTextEdit::ExtraSelection& mark : marks)
        EXPECT_TRUE(std::binary_search(matches.begin(), matches.end(), mark.cursor.selectionStart()));
}

TEST_F(ViewsTest, TheSearchedWordsAreMarkedInEveryFormAndF3StepsThroughThemUntilAFind) {
    Cvelda1View* view = Open("000001");
    ASSERT_NE(view, nullptr);
    // "налогом" is not in the text; "налог" is, many times.
    view->HighlightWords(QStringLiteral("налогом"));
    Norik::TextHighlights* marks = view->highlights();
    ASSERT_NE(marks, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return marks->isComplete(); }, 5000));
    const std::vector<std::size_t> expected = Occurrences(*view, {QStringLiteral("налог")});
    ASSERT_GT(expected.size(), 3u);
    EXPECT_EQ(MarkedStarts(*marks), expected);
    ExpectMarksAreMatches(*view, expected);
    EXPECT_TRUE(Marked(*view, expected[0]));
    // The first is selected and shown.
    EXPECT_EQ(static_cast<std::size_t>(view->textCursor().selectionStart()), expected[0]);
    const QString total = QString::number(expected.size());
    EXPECT_EQ(view->StatusMessage(), QStringLiteral("Совпадение 1 из ") + total);

    view->ExecuteCommand(Command::kEditFindNext);
    view->ExecuteCommand(Command::kEditFindNext);
    EXPECT_EQ(view->StatusMessage(), QStringLiteral("Совпадение 3 из ") + total);
    EXPECT_EQ(static_cast<std::size_t>(view->textCursor().selectionStart()), expected[2]);
    view->ExecuteCommand(Command::kEditFindPrevious);
    EXPECT_EQ(view->StatusMessage(), QStringLiteral("Совпадение 2 из ") + total);
    // Before the first, the last.
    view->ExecuteCommand(Command::kPreviousMatch);
    view->ExecuteCommand(Command::kPreviousMatch);
    EXPECT_EQ(view->StatusMessage(), QStringLiteral("Совпадение %1 из %1").arg(total));

    // A search of the find dialog takes F3 over.
    view->OnFind();
    emit view->findDialog()->findNext(QStringLiteral("См."), false, false, true);
    const int found = view->textCursor().selectionStart();
    view->ExecuteCommand(Command::kEditFindPrevious);
    EXPECT_EQ(view->textCursor().selectedText(), QStringLiteral("См."));
    EXPECT_EQ(view->textCursor().selectionStart(), found);
    view->findDialog()->close();
    // The menu commands still step through the marks.
    view->ExecuteCommand(Command::kNextMatch);
    EXPECT_EQ(view->StatusMessage(), QStringLiteral("Совпадение 1 из ") + total);
}

TEST_F(ViewsTest, MarksAreFoundAgainWhenTheWholeTextReplacesItsFirstPart) {
    Cvelda1View* view = Open("000007");
    ASSERT_NE(view, nullptr);
    ASSERT_FALSE(view->GetDocument()->isWhole());
    QSignalSpy replaced(view->GetDocument(), &Norik::Cvelda1Doc::textDocumentReplaced);
    view->HighlightWords(QStringLiteral("федеральными законами"));
    ASSERT_TRUE(replaced.wait(20000));
    Norik::TextHighlights* marks = view->highlights();
    ASSERT_TRUE(QTest::qWaitFor([&] { return marks->isComplete(); }, 10000));
    const std::vector<std::size_t> expected =
        Occurrences(*view, {QStringLiteral("федеральный"), QStringLiteral("закон")});
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(MarkedStarts(*marks), expected);
    ExpectMarksAreMatches(*view, expected);
    EXPECT_EQ(view->extraSelections().back().cursor.document(), view->document());
    // Only the matches around the screen carry marks, and they follow the text as it scrolls.
    EXPECT_FALSE(Marked(*view, expected.back()));
    view->ExecuteCommand(Command::kPreviousMatch);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Marked(*view, expected.back()); }, 5000));
    ExpectMarksAreMatches(*view, expected);
}

}  // namespace
}  // namespace NorikTest
