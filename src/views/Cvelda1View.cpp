#include "views/Cvelda1View.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QTextBlock>
#include <algorithm>

#include "Helpers/Cp1251.h"
#include "app/CommandIds.h"
#include "platform/UserPort.h"
#include "platform/qt/QtText.h"
#include "richtext/qt/RtfDocumentBuilder.h"
#include "showdata/ListDoc.h"
#include "views/Cvelda1Doc.h"
#include "views/FindTextDialog.h"
#include "views/TextHighlights.h"
#include "views/TextPage.h"
#include "views/TextPrinting.h"
#include "views/TextPrintout.h"

namespace Norik {

const char* const Cvelda1View::kBadLink = "Неправильная ссылка!";
const char* const Cvelda1View::kNotFound = "Текст «%1» не найден.";

namespace {

constexpr int kMaxFindLength = 512;

}  // namespace

Cvelda1View::Cvelda1View(Cvelda1Doc* doc, QWidget* parent) : QTextBrowser(parent), m_doc(doc) {
    setReadOnly(true);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    // A caret the keyboard moves and selects with, besides the mouse and the links.
    setTextInteractionFlags(Qt::TextBrowserInteraction | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    doc->SetView(this);
    if (doc->textDocument()) ShowText(doc->textDocument());
    connect(doc, &Cvelda1Doc::textDocumentReplaced, this, &Cvelda1View::ReplaceText);
    // A text whose reading the user gave up closes its window, once the command that waited is over.
    connect(doc, &Cvelda1Doc::abandoned, this, &Cvelda1View::CloseWindow, Qt::QueuedConnection);
    if (doc->isAbandoned()) QMetaObject::invokeMethod(this, &Cvelda1View::CloseWindow, Qt::QueuedConnection);
    connect(this, &QTextBrowser::anchorClicked, this, &Cvelda1View::OnAnchorClicked);
    // Copy is enabled only with a selection: the frame recomputes the command states.
    connect(this, &QTextEdit::copyAvailable, this, [this] { NotifyStateChanged(); });
    setWindowTitle(doc->title());
    setAccessibleName(doc->title());
    connect(doc, &Cvelda1Doc::titleChanged, this, [this](const QString& title) {
        setWindowTitle(title);
        setAccessibleName(title);
    });
}

Cvelda1View::~Cvelda1View() = default;

void Cvelda1View::ShowText(QTextDocument* text) {
    SetTextPageMargins(*text);
    setDocument(text);
    EndKeepingPreparedPage(*text);
}

void Cvelda1View::resizeEvent(QResizeEvent* event) {
    QTextBrowser::resizeEvent(event);
    // A long text still to come is laid out for this width before it is shown.
    m_doc->SetPageWidth(viewport()->width());
}

void Cvelda1View::ReplaceText(QTextDocument* whole) {
    // The whole text lays out as its first part did up to the part's end, so the same scroll
    // offset and cursor positions show the same place.
    const QTextCursor old = textCursor();
    const int anchor = old.anchor();
    const int position = old.position();
    const int top = CharacterAt(QPoint(0, 0));
    const int scroll = verticalScrollBar()->value();
    const int horizontal = horizontalScrollBar()->value();
    // Marks belong to the text going away; they go while it is still there.
    setExtraSelections({});
    ShowText(whole);
    QTextCursor cursor(whole);
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    if (top >= 0) {
        // Lays the text out down to the old top so that the scroll range reaches it.
        whole->documentLayout()->blockBoundingRect(whole->findBlock(top));
    }
    verticalScrollBar()->setValue(scroll);
    horizontalScrollBar()->setValue(horizontal);
    if (m_endWhenWhole) {
        moveCursor(QTextCursor::End, *m_endWhenWhole);
        m_endWhenWhole.reset();
    }
    if (m_highlights) m_highlights->Apply();
}

void Cvelda1View::HighlightWords(const QString& query) {
    delete m_highlights;
    m_highlights = new TextHighlights(*this, query, this);
    if (!m_highlights->hasWords()) {
        delete m_highlights;
        return;
    }
    m_keysStepMatches = true;
    connect(m_highlights, &TextHighlights::changed, this, [this] { NotifyStateChanged(); });
    m_highlights->Apply();
}

void Cvelda1View::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool toEnd = event->key() == Qt::Key_End && (modifiers & Qt::ControlModifier) &&
                       !(modifiers & ~(Qt::ControlModifier | Qt::ShiftModifier));
    // Any other key that moves the caret replaces a wish to go to the end.
    if (event->key() != Qt::Key_Shift && event->key() != Qt::Key_Control) m_endWhenWhole.reset();
    if (toEnd && !m_doc->isWhole())
        m_endWhenWhole = (modifiers & Qt::ShiftModifier) ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
    QTextBrowser::keyPressEvent(event);
}

QString Cvelda1View::StatusMessage() const {
    const QString loading = m_doc->LoadingMessage();
    if (!loading.isEmpty() || !m_highlights) return loading;
    return m_highlights->StatusText();
}

int Cvelda1View::CharacterAt(const QPoint& viewportPosition) const {
    const QPoint inDocument = viewportPosition + QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    return document()->documentLayout()->hitTest(inDocument, Qt::ExactHit);
}

bool Cvelda1View::FindText(const QString& text, bool matchCase, bool wholeWord, bool forward) {
    const QString wanted = text.left(kMaxFindLength);
    if (wanted.isEmpty()) return false;
    QTextDocument::FindFlags flags;
    if (matchCase) flags |= QTextDocument::FindCaseSensitively;
    if (wholeWord) flags |= QTextDocument::FindWholeWords;
    if (!forward) flags |= QTextDocument::FindBackward;
    const QTextCursor found = document()->find(wanted, textCursor(), flags);
    if (found.isNull()) return false;
    setTextCursor(found);
    ensureCursorVisible();
    return true;
}

void Cvelda1View::FindAndTell(const QString& text, bool matchCase, bool wholeWord, bool forward) {
    if (FindText(text, matchCase, wholeWord, forward)) return;
    QApplication::beep();
    if (IUserPort* port = m_doc->userPort()) {
        const QString message = QString::fromUtf8(kNotFound).arg(text.left(kMaxFindLength));
        port->MessageBox(FromQString(message), Utf8ToCp1251(Cvelda1Doc::kCaption), MessageButtons::Ok,
                         MessageIcon::Information);
    }
}

void Cvelda1View::OnFind() {
    if (!m_doc->EnsureWhole()) return;
    QTextCursor start(document());
    start.movePosition(QTextCursor::Start);
    setTextCursor(start);
    if (!m_findDialog) {
        m_findDialog = new CFindTextDialog(this);
        connect(m_findDialog, &CFindTextDialog::findNext, this,
                [this](const QString& text, bool matchCase, bool wholeWord, bool forward) {
                    m_keysStepMatches = false;
                    m_findText = text;
                    m_findMatchCase = matchCase;
                    m_findWholeWord = wholeWord;
                    FindAndTell(text, matchCase, wholeWord, forward);
                });
    }
    m_findDialog->show();
    m_findDialog->raise();
    m_findDialog->activateWindow();
}

void Cvelda1View::OnFindAgain(bool forward) {
    if (m_findText.isEmpty()) {
        OnFind();
        return;
    }
    if (!m_doc->EnsureWhole()) return;
    FindAndTell(m_findText, m_findMatchCase, m_findWholeWord, forward);
}

std::unique_ptr<TextPrintout> Cvelda1View::MakePrintout() {
    // A load given up while waiting for the whole text leaves nothing to print.
    if (!m_doc->EnsureWhole()) return nullptr;
    return std::make_unique<TextPrintout>(*document(), m_doc->title(), ToQString(ShowData::BaseDateText()));
}

QPrinter& Cvelda1View::Printer() {
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        SetPrintMargins(*m_printer);
    }
    // The job is known by the document's title.
    m_printer->setDocName(m_doc->title());
    return *m_printer;
}

void Cvelda1View::PrintTo(QPrinter* printer) {
    const std::unique_ptr<TextPrintout> printout = MakePrintout();
    if (printout) PrintPages(*printout, *printer, this);
}

void Cvelda1View::PrintWithDialog(TextPrintout* prepared) {
    QPrinter& printer = Printer();
    QPrintDialog dialog(&printer, this);
    OfferPdfFileName(dialog, m_doc->OfferedFileName());
    if (dialog.exec() != QDialog::Accepted) return;
    if (prepared) {
        PrintPages(*prepared, printer, this);
    } else {
        PrintTo(&printer);
    }
}

void Cvelda1View::OnFilePrint() { PrintWithDialog(nullptr); }

void Cvelda1View::OnFilePrintPreview() {
    QPrinter& printer = Printer();
    const std::unique_ptr<TextPrintout> printout = MakePrintout();
    if (!printout) return;
    printout->SetPageSize(PrintableSize(printer));
    TextPrintPreview preview(*printout, printer, this);
    // "Печать" in the preview prints what it has laid out so far and the rest.
    if (preview.exec() == QDialog::Accepted) PrintWithDialog(printout.get());
}

QMenu* Cvelda1View::CreatePopupMenu() {
    auto* menu = new QMenu(this);
    QAction* copyAction = menu->addAction(QStringLiteral("Копировать"), this, &QTextEdit::copy);
    copyAction->setEnabled(textCursor().hasSelection());
    menu->addAction(QStringLiteral("Выделить вcё"), this, [this] { ExecuteCommand(Command::kEditSelectAll); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("Печатать"), this, &Cvelda1View::OnFilePrint);
    return menu;
}

void Cvelda1View::contextMenuEvent(QContextMenuEvent* event) {
    std::unique_ptr<QMenu> menu(CreatePopupMenu());
    menu->exec(event->globalPos());
}

void Cvelda1View::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) m_releasePosition = CharacterAt(event->position().toPoint());
    QTextBrowser::mouseReleaseEvent(event);
    m_releasePosition.reset();
}

void Cvelda1View::OnAnchorClicked(const QUrl&) {
    // A release of the left button, or a link chosen from the keyboard: it is then selected, unless
    // the view had no keyboard focus, when the selection is dropped and the caret left just after it.
    if (m_releasePosition) {
        FollowLinkAt(*m_releasePosition);
        return;
    }
    const QTextCursor caret = textCursor();
    FollowLinkAt(caret.hasSelection() ? caret.selectionStart() : std::max(caret.position() - 1, 0));
}

void Cvelda1View::FollowLinkAt(int position) {
    if (position < 0) return;
    const std::optional<LinkInfo> link = LinkAt(*document(), position);
    if (!link || !link->documentNumber) return;
    // A link leads where the document's file name leads: to the document with the number's low bits.
    const std::vector<ShowData::DocItem> rows =
        ShowData::DocRowsByNumber(ShowData::DocNumberByFileNumber(*link->documentNumber));
    if (rows.empty()) {
        if (IUserPort* port = m_doc->userPort()) {
            port->MessageBox(Utf8ToCp1251(kBadLink), Utf8ToCp1251(Cvelda1Doc::kCaption), MessageButtons::Ok,
                             MessageIcon::Exclamation);
        }
        return;
    }
    emit openDocumentRequested(QString::fromStdString(ShowData::DocFileName(rows.front())), position);
}

void Cvelda1View::CloseWindow() {
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (auto* frame = qobject_cast<QMdiSubWindow*>(w)) {
            frame->close();
            return;
        }
    }
    if (isWindow()) {
        close();
    } else {
        emit closeRequested();
    }
}

bool Cvelda1View::UpdateCommand(int id, CommandState& state) {
    switch (id) {
        case Command::kEditCopy:
            state = CommandState{textCursor().hasSelection(), false};
            return true;
        case Command::kEditSelectAll:
        case Command::kEditFind:
        case Command::kEditFindNext:
        case Command::kEditFindPrevious:
        case Command::kFilePrint:
        case Command::kFilePrintPreview:
        case Command::kBack:
            state = CommandState{};
            return true;
        case Command::kNextMatch:
        case Command::kPreviousMatch:
            state = CommandState{m_highlights && m_highlights->count() > 0, false};
            return true;
        case Command::kSortByDate:
        case Command::kSortByTitle:
        case Command::kSortByType:
        case Command::kSortByNumber:
            state = CommandState{false, false};
            return true;
        default:
            return false;
    }
}

bool Cvelda1View::ExecuteCommand(int id) {
    switch (id) {
        case Command::kEditCopy:
            copy();
            return true;
        case Command::kEditSelectAll:
            if (m_doc->EnsureWhole()) selectAll();
            return true;
        case Command::kEditFind:
            OnFind();
            return true;
        case Command::kEditFindNext:
        case Command::kEditFindPrevious:
            if (m_keysStepMatches && m_highlights) {
                m_highlights->Step(id == Command::kEditFindNext);
            } else {
                OnFindAgain(id == Command::kEditFindNext);
            }
            return true;
        case Command::kNextMatch:
        case Command::kPreviousMatch:
            if (m_highlights) m_highlights->Step(id == Command::kNextMatch);
            return true;
        case Command::kFilePrint:
            OnFilePrint();
            return true;
        case Command::kFilePrintPreview:
            OnFilePrintPreview();
            return true;
        case Command::kBack:
            CloseWindow();
            return true;
        case Command::kSortByDate:
        case Command::kSortByTitle:
        case Command::kSortByType:
        case Command::kSortByNumber:
            return true;
        default:
            return false;
    }
}

std::unique_ptr<Cvelda1View> OpenTextView(const std::string& path, const TextWindowContext& context) {
    auto doc = std::make_unique<Cvelda1Doc>(context);
    if (!doc->OnOpenDocument(ToQString(path))) return nullptr;
    auto view = std::make_unique<Cvelda1View>(doc.get());
    doc.release()->setParent(view.get());
    return view;
}

}  // namespace Norik
