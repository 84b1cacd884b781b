// The view of a text window: the document's text, read-only, in a QTextBrowser with a margin of
// 30 pixels on either side of the text.
//
// The text is read from the keyboard as well as with the mouse: a caret moves with the arrows, PgUp,
// PgDn, Ctrl+Home and Ctrl+End, and Shift with them selects. Ctrl+End pressed while a long text is
// still loading goes to the end of what is shown and, once the whole text has come, to its true
// end; meanwhile the status bar says the text is still loading (StatusMessage).
//
// It handles the commands that work on what is shown: copy, select all, find (a small find dialog
// that starts from the beginning of the text every time it opens; F3 and Shift+F3 look for the
// last text found again, forward and backward from the caret; a text not found is said in a
// message), print and print preview (page
// margins of 720 twips), "Назад" (closes the QMdiSubWindow around the view, or the view when it is
// a window of its own, else emits closeRequested), and the sort commands, which are always
// disabled here. Its pop-up menu offers "Копировать", "Выделить вcё" and "Печатать".
//
// Tab and Shift+Tab choose the next and the previous link from where the reader is (the caret
// on the screen, else the top of the screen); Enter follows the link chosen. F6 and Shift+F6 move
// the keyboard between the text and its contents pane, where the arrows choose an entry and Enter
// goes there.
//
// Links: a left click on a link whose document number the rich-text reader knows (its target,
// else its visible text) looks the number up in the document table: a number with no row shows
// "Неправильная ссылка!", otherwise openDocumentRequested gives that document's file name and the
// link's position, for the shell to open through the application (activating a window that shows
// it already) and to record the step. Other
// buttons and links without a number do nothing.
//
// The words of a search can be marked in the text (HighlightWords, TextHighlights.h): the first
// is shown, "Следующее совпадение" and "Предыдущее совпадение" step through them, and F3 and
// Shift+F3 do the same until the find dialog is used, which takes those keys back. The status bar
// then says which match the caret is on.
//
// When the whole text of a long document replaces its first part, the view keeps its scroll
// position and selection. Commands that need the whole text (find, select all, print) wait for it.
// User-interface thread only.
#pragma once

#include <QPointer>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <memory>
#include <optional>

#include "frame/qt/Document.h"
#include "views/Cvelda1Doc.h"
#include "views/FindTextDialog.h"
#include "views/TextHighlights.h"

class QLabel;
class QPrinter;

namespace Norik {

class ContentsPane;
class TextPrintout;
class TextZoom;

class Cvelda1View : public QTextBrowser, public CView {
    Q_OBJECT
public:
    // Shows doc's text; doc must outlive the view.
    explicit Cvelda1View(Cvelda1Doc* doc, QWidget* parent = nullptr);
    ~Cvelda1View() override;

    Cvelda1Doc* GetDocument() const override { return m_doc; }
    QWidget* widget() override { return this; }

    // Searches the text from the caret (the end of the selection, or its start going backward),
    // for at most the first 512 characters of text; selects the match. False when none.
    bool FindText(const QString& text, bool matchCase, bool wholeWord, bool forward);
    // Puts the caret at the start of the text and opens the find dialog.
    void OnFind();
    // Looks for the text last asked for again, from the caret; opens the find dialog when nothing
    // has been asked for yet.
    void OnFindAgain(bool forward);
    CFindTextDialog* findDialog() const { return m_findDialog; }

    // Prints the whole text on printer with page margins of 720 twips, page by page, with the title
    // at the head of each page and the page number and the date of the base at its foot; the
    // printer's page range is kept. Waits (with a progress dialog) for a long text's layout.
    void PrintTo(QPrinter* printer);
    // The print dialog, then the printing; "Печать в файл (PDF)" offers the name Save offers.
    void OnFilePrint();
    // The pages as they will print, the first at once; "Печать" there goes on to OnFilePrint.
    void OnFilePrintPreview();

    // The pop-up menu of the view (the caller owns it).
    QMenu* CreatePopupMenu();

    // Acts on a click on the link at a character position, as described above.
    void FollowLinkAt(int position);

    // Marks every form of the words of query (as typed in a search) and shows the first.
    void HighlightWords(const QString& query);
    TextHighlights* highlights() const { return m_highlights; }
    // Reading a long text. The contents pane at the left shows the outline once the whole text has
    // come (when the user keeps it shown); a jump puts the caret at a position and its line at the
    // top of the window. "Перейти к статье…" asks for an article ("220", "220.1", "глава 23") and
    // goes there, or says it is not in the text. Each jump is a step of the history of places. Copy with citation puts
    // the selection on the clipboard followed by the document's citation and the article the selection starts in, as
    // plain text and as HTML.
    void ShowContents(bool shown);
    bool contentsShown() const { return m_contentsShown; }
    ContentsPane* contentsPane() const { return m_contents; }
    void JumpTo(int position);
    bool GoToArticle(const QString& asked);
    void OnGoToArticle();
    // The plain text copy with citation puts on the clipboard; empty without a selection.
    QString SelectionWithCitation() const;
    void CopyWithCitation();
    TextZoom& zoom() { return *m_zoom; }
    const TextZoom& zoom() const { return *m_zoom; }
    // The first character on the screen; while a new zoom is still on its way there, the one it
    // keeps (finding the character at a point lays the text out down to it, at once).
    int TopPosition() const;

    QString StatusMessage() const override;
    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

    static const char* const kBadLink;
    // "Текст «%1» не найден."
    static const char* const kNotFound;
    // "Статья «%1» в тексте не найдена."
    static const char* const kArticleNotFound;

signals:
    void openDocumentRequested(const QString& fileName, int linkPosition);
    // "Назад" in a view that sits neither in an MDI sub-window nor alone: its frame should close.
    void closeRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void ShowText(QTextDocument* text);
    void PlaceContents();
    // Lays the text out for the viewport's width when it has another one, in slices; at once for a
    // view not shown, else once the events of the moment are handled.
    void FitPageWidth();
    void FitPageWidthNow();
    // F6 and Shift+F6: the keyboard moves between the text and its contents, when they are shown.
    void SwitchPane();
    // The position whose part the contents mark.
    int MarkedPosition();
    void OutlineChanged();
    void SetZoom(int percent);
    void ReplaceText(QTextDocument* whole);
    void OnAnchorClicked(const QUrl& link);
    int CharacterAt(const QPoint& viewportPosition) const;
    void CloseWindow();
    std::unique_ptr<TextPrintout> MakePrintout();
    QPrinter& Printer();
    // Prints through the print dialog; prepared, when given, is a printout begun already.
    void PrintWithDialog(TextPrintout* prepared);
    // Finds text as FindText does and says so when it is not there.
    void FindAndTell(const QString& text, bool matchCase, bool wholeWord, bool forward);

    Cvelda1Doc* m_doc;
    QPointer<CFindTextDialog> m_findDialog;
    std::unique_ptr<QPrinter> m_printer;
    // The character a left-button release landed on, while the base class handles the release.
    std::optional<int> m_releasePosition;
    // The last search asked for, for F3 and Shift+F3.
    QString m_findText;
    bool m_findMatchCase = false;
    bool m_findWholeWord = false;
    // Ctrl+End (with Shift: selecting) was pressed before the whole text came: carried out again
    // when it comes.
    std::optional<QTextCursor::MoveMode> m_endWhenWhole;
    QPointer<TextHighlights> m_highlights;
    // F3 and Shift+F3 step through the marked words (until the find dialog is used).
    bool m_keysStepMatches = false;
    ContentsPane* m_contents = nullptr;
    // "Документ утратил силу" above the text of a lapsed document; null for one in force.
    QLabel* m_lapsedBand = nullptr;
    bool m_contentsShown = true;
    // Marks the contents' entry a moment after the text scrolled.
    QTimer m_markTimer;
    TextZoom* m_zoom = nullptr;
    bool m_fitQueued = false;
    // The position the last jump went to, while it is on the screen; -1 when none.
    int m_jumpedTo = -1;
};

// Opens the document text of path (a document file name) in a new document and a new view that
// owns it: what the text template does for every open. Null after "Failed to open document.".
std::unique_ptr<Cvelda1View> OpenTextView(const std::string& path, const TextWindowContext& context);

}  // namespace Norik
