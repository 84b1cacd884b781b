#include "views/Cvelda1View.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <QWheelEvent>
#include <algorithm>

#include "Helpers/Cp1251.h"
#include "Helpers/qt/QtText.h"
#include "frame/CommandIds.h"
#include "frame/CommandTable.h"
#include "platform/Profile.h"
#include "platform/UserPort.h"
#include "richtext/qt/RtfDocumentBuilder.h"
#include "showdata/ListDoc.h"
#include "views/ContentsPane.h"
#include "views/Cvelda1Doc.h"
#include "views/FindTextDialog.h"
#include "views/LapsedDocument.h"
#include "views/PartPrinting.h"
#include "views/TextHighlights.h"
#include "views/TextPage.h"
#include "views/TextPlace.h"
#include "views/TextPrinting.h"
#include "views/TextPrintout.h"
#include "views/TextZoom.h"

namespace Norik {

const char* const Cvelda1View::kBadLink = "Неправильная ссылка!";
const char* const Cvelda1View::kNotFound = "Текст «%1» не найден.";
const char* const Cvelda1View::kArticleNotFound = "Статья «%1» в тексте не найдена.";

namespace {

constexpr int kMaxFindLength = 512;
// The contents pane takes a quarter of the window, within these bounds.
constexpr int kMinContentsWidth = 160;
constexpr int kMaxContentsWidth = 320;

// The paragraphs of a text's heading looked at for the name of its issuer.
constexpr int kHeadingParagraphs = 8;

std::string Utf8Of(const QTextBlock& block) { return block.text().toStdString(); }

// The citation of the document number for a passage of text at position: "(type issuer от date
// № number «title», ч. N ст. M)", the issuer as the heading names it, the part as the last
// paragraph of the article before position that opens one.
QString Citation(std::int16_t number, const DocumentOutline& outline, const QTextDocument& text, int position) {
    CitationSource source;
    ShowData::DocItem row;
    if (ShowData::DocByNumber(number, row)) {
        std::string_view type = row.type;
        while (!type.empty() && type.front() == ' ') type.remove_prefix(1);
        while (!type.empty() && type.back() == ' ') type.remove_suffix(1);
        source.type = Cp1251ToUtf8(type);
        if (row.dateOfIntroduction != 0) {
            source.day = ShowData::DayOfCode(row.dateOfIntroduction);
            source.month = ShowData::MonthOfCode(row.dateOfIntroduction);
            source.year = ShowData::YearOfCode(row.dateOfIntroduction);
        }
        source.number = Cp1251ToUtf8(row.numberText);
        source.title = Cp1251ToUtf8(row.title);
        source.inForce = row.inForce;
        QTextBlock block = text.begin();
        for (int k = 0; k < kHeadingParagraphs && block.isValid() && source.issuer.empty(); ++k, block = block.next())
            source.issuer = IssuerInHeading(source.type, Utf8Of(block));
    }
    const OutlineEntry* article = EnclosingArticle(outline, position);
    std::string part;
    if (article && article->kind == OutlineKind::Article) {
        for (QTextBlock block = text.findBlock(position); block.isValid() && block.position() > article->position;
             block = block.previous()) {
            part = PartNumber(Utf8Of(block));
            if (!part.empty()) break;
        }
    }
    return QString::fromStdString(CitationText(source, article, part));
}

}  // namespace

Cvelda1View::Cvelda1View(Cvelda1Doc* doc, QWidget* parent) : QTextBrowser(parent), m_doc(doc) {
    setReadOnly(true);
    // The page keeps its width whether the text fits the window or not: a text that replaces its
    // first part, laid out ahead for the page, is laid out again when the page narrows.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    // A caret the keyboard moves and selects with, besides the mouse and the links.
    setTextInteractionFlags(Qt::TextBrowserInteraction | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    doc->SetView(this);
    m_zoom = new TextZoom(this, doc);
    if (IProfile* profile = doc->profile()) {
        m_zoom->Restore(profile->GetProfileInt(kSectionReading, kValueTextZoom, 100));
        m_contentsShown = profile->GetProfileInt(kSectionReading, kValueContents, 1) != 0;
    }
    if (doc->textDocument()) ShowText(doc->textDocument());
    m_lapsedBand = MakeLapsedBand(doc->number(), this);
    m_contents = new ContentsPane(this);
    m_contents->hide();
    connect(m_contents, &ContentsPane::jumpRequested, this, &Cvelda1View::JumpTo);
    connect(doc, &Cvelda1Doc::outlineChanged, this, &Cvelda1View::OutlineChanged);
    OutlineChanged();
    m_markTimer.setSingleShot(true);
    m_markTimer.setInterval(100);
    connect(&m_markTimer, &QTimer::timeout, this, [this] {
        if (m_contents->isVisible()) m_contents->MarkPosition(MarkedPosition());
    });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, &m_markTimer, qOverload<>(&QTimer::start));
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
    // A text laid out for the screen takes the zoom's device before its layout is made.
    if (text->documentLayout()->paintDevice() != m_zoom->device())
        text->documentLayout()->setPaintDevice(m_zoom->device());
    // Every text is laid out in slices: one never begun, or begun for another width than the
    // window has now, begins here.
    const int width = viewport()->width();
    if (text->pageSize().width() != width) BeginTextPage(*text, width, m_zoom->device());
    setDocument(text);
    if (PreparedCharacters(*text) < std::max(text->characterCount() - 1, 0)) {
        m_zoom->ContinueLayout();
    } else {
        EndKeepingPreparedPage(*text);
    }
    // A text laid out ahead takes over the layout made for it, which tells the window of no
    // change: what it shows is painted afresh here.
    viewport()->update();
}

void Cvelda1View::resizeEvent(QResizeEvent* event) {
    // The text edit would lay the whole text out again at once for a new width, the window frozen
    // until it ends (minutes for a long text in a narrow window): the page width is fitted here
    // instead, in slices.
    QResizeEvent sameWidth(event->size(), QSize(event->size().width(), event->oldSize().height()));
    QTextBrowser::resizeEvent(&sameWidth);
    PlaceContents();
}

void Cvelda1View::paintEvent(QPaintEvent* event) {
    // A window whose width changed while another covered it lays its text out once it shows.
    if (document()->pageSize().width() != viewport()->width()) FitPageWidth();
    QTextBrowser::paintEvent(event);
}

void Cvelda1View::FitPageWidth() {
    // A window on the screen waits for the events of the moment to end: a window brought to the
    // front maximised makes the area shrink the one it covers to that one's own size first.
    if (!isVisible()) {
        FitPageWidthNow();
    } else if (!m_fitQueued) {
        m_fitQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_fitQueued = false;
                FitPageWidthNow();
            },
            Qt::QueuedConnection);
    }
}

void Cvelda1View::FitPageWidthNow() {
    const int width = viewport()->width();
    // A window covered by another keeps its layout until it shows again, which is mostly at the
    // width it had (the area hides the text of a window it shrinks a moment).
    const bool covered = isVisible() && viewport()->visibleRegion().isEmpty();
    if (document()->pageSize().width() != width && !covered) {
        m_zoom->FitWidth();
    } else if (PreparedCharacters(*document()) < std::max(document()->characterCount() - 1, 0)) {
        // Laid out afresh for this width already, when the text edit asked: the slices go on.
        m_zoom->ContinueLayout();
    }
    // A long text still to come is laid out for the page shown.
    m_doc->SetPageWidth(static_cast<int>(document()->pageSize().width()));
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

void Cvelda1View::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QTextBrowser::wheelEvent(event);
        return;
    }
    if (event->angleDelta().y() != 0) SetZoom(TextZoom::NextPercent(m_zoom->percent(), event->angleDelta().y() > 0));
    event->accept();
}

void Cvelda1View::SetZoom(int percent) {
    m_zoom->SetPercent(percent);
    if (IProfile* profile = m_doc->profile())
        profile->WriteProfileInt(kSectionReading, kValueTextZoom, m_zoom->percent());
}

void Cvelda1View::OutlineChanged() {
    m_contents->SetOutline(m_doc->outline());
    PlaceContents();
}

void Cvelda1View::PlaceContents() {
    if (!m_contents) return;
    const bool visible = m_contentsShown && !m_doc->outline().empty();
    const int width = visible ? std::clamp(this->width() / 4, kMinContentsWidth, kMaxContentsWidth) : 0;
    const int frame = frameWidth();
    // The band of a lapsed document stands above the text and the contents, across the window.
    const int band = m_lapsedBand ? m_lapsedBand->heightForWidth(this->width() - 2 * frame) : 0;
    if (m_lapsedBand) m_lapsedBand->setGeometry(frame, frame, this->width() - 2 * frame, band);
    // A new margin lays the text out again for the new width: only when it changes.
    if (viewportMargins().left() != width || viewportMargins().top() != band) setViewportMargins(width, band, 0, 0);
    // A viewport resized while hidden (a window being shown, whose own resize placed the pane)
    // tells nothing: the width is compared here.
    FitPageWidth();
    if (!visible) {
        m_contents->hide();
        return;
    }
    m_contents->setGeometry(frame, frame + band, width, height() - 2 * frame - band);
    if (m_contents->isHidden()) {
        m_contents->show();
        m_contents->MarkPosition(MarkedPosition());
    }
}

void Cvelda1View::ShowContents(bool shown) {
    m_contentsShown = shown;
    if (IProfile* profile = m_doc->profile()) profile->WriteProfileInt(kSectionReading, kValueContents, shown ? 1 : 0);
    PlaceContents();
    NotifyStateChanged();
}

int Cvelda1View::TopPosition() const {
    if (m_zoom->isSettling()) return m_zoom->keptPosition();
    return FirstCharacterShown(*this);
}

void Cvelda1View::JumpTo(int position) {
    // A place past the first part of a long text: the whole text is needed now.
    if (position >= document()->characterCount() - 1 && !m_doc->EnsureWhole()) return;
    QTextDocument* text = document();
    position = std::clamp(position, 0, std::max(text->characterCount() - 1, 0));
    // The place left is where "Назад" returns.
    m_doc->RecordStep(ReadingPosition(*this), position);
    QTextCursor cursor(text);
    cursor.setPosition(position);
    setTextCursor(cursor);
    const QTextBlock block = text->findBlock(position);
    const int top = static_cast<int>(text->documentLayout()->blockBoundingRect(block).top());
    // The scroll range reaches the place laid out just now.
    AnnounceLaidOutSize(*text);
    verticalScrollBar()->setValue(top);
    m_jumpedTo = position;
    if (m_contents->isVisible()) m_contents->MarkPosition(position);
}

int Cvelda1View::MarkedPosition() {
    // The contents mark the part gone to while it is on the screen, not the one whose end shows
    // above it (a part near the end of the text cannot be scrolled to the top).
    if (m_jumpedTo >= 0) {
        QTextCursor jumped(document());
        jumped.setPosition(std::min(m_jumpedTo, std::max(document()->characterCount() - 1, 0)));
        if (viewport()->rect().intersects(cursorRect(jumped))) return m_jumpedTo;
        m_jumpedTo = -1;
    }
    return TopPosition();
}

bool Cvelda1View::focusNextPrevChild(bool next) {
    // Tab and Shift+Tab go to the next and the previous link from where the reader is: a link
    // chosen already, else the caret when it is on the screen, else the top of the screen. The
    // text edit starts from a selection, or from the beginning of the text without one: one
    // character beside the place is selected for it to start from.
    QTextCursor caret = textCursor();
    if (!caret.hasSelection()) {
        const bool caretShown = viewport()->rect().intersects(cursorRect(caret));
        const int place = caretShown ? caret.position() : TopPosition();
        const int end = std::max(document()->characterCount() - 1, 0);
        QTextCursor from(document());
        if (next && place > 0) {
            from.setPosition(place - 1);
            from.setPosition(place, QTextCursor::KeepAnchor);
        } else if (!next && place < end) {
            from.setPosition(place);
            from.setPosition(place + 1, QTextCursor::KeepAnchor);
        }
        if (from.hasSelection()) setTextCursor(from);
    }
    return QTextBrowser::focusNextPrevChild(next);
}

void Cvelda1View::SwitchPane() {
    if (!m_contents->isVisible()) return;
    if (m_contents->hasFocus()) {
        setFocus(Qt::OtherFocusReason);
    } else {
        m_contents->setFocus(Qt::OtherFocusReason);
    }
}

bool Cvelda1View::GoToArticle(const QString& asked) {
    // The outline comes with the whole text.
    if (m_doc->outline().empty() && !m_doc->EnsureWhole()) return false;
    const std::optional<OutlineTarget> target = ParseOutlineTarget(asked.toStdString());
    const OutlineEntry* entry = target ? FindOutlineEntry(m_doc->outline(), *target) : nullptr;
    if (!entry) {
        QApplication::beep();
        if (IUserPort* port = m_doc->userPort()) {
            const QString message = QString::fromUtf8(kArticleNotFound).arg(asked.trimmed().left(kMaxFindLength));
            port->MessageBox(FromQString(message), Utf8ToCp1251(Cvelda1Doc::kCaption), MessageButtons::Ok,
                             MessageIcon::Information);
        }
        return false;
    }
    JumpTo(entry->position);
    return true;
}

void Cvelda1View::OnGoToArticle() {
    bool ok = false;
    const QString asked = QInputDialog::getText(this, QStringLiteral("Перейти к статье"),
                                                QStringLiteral("Статья (220, 220.1), глава (глава 23) или раздел:"),
                                                QLineEdit::Normal, {}, &ok);
    if (ok && !asked.trimmed().isEmpty()) GoToArticle(asked);
}

QString Cvelda1View::SelectionWithCitation() const {
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) return {};
    QString selected = cursor.selectedText();
    selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n')).replace(QChar::LineSeparator, QLatin1Char('\n'));
    return selected + QLatin1Char('\n') +
           Citation(m_doc->number(), m_doc->outline(), *document(), cursor.selectionStart());
}

void Cvelda1View::CopyWithCitation() {
    if (!textCursor().hasSelection() || !m_doc->EnsureWhole()) return;
    const QTextCursor cursor = textCursor();
    const QString citation = Citation(m_doc->number(), m_doc->outline(), *document(), cursor.selectionStart());
    QString html = QTextDocumentFragment(cursor).toHtml();
    const qsizetype end = html.lastIndexOf(QStringLiteral("</body>"));
    html.insert(end < 0 ? html.size() : end, QStringLiteral("<p>") + citation.toHtmlEscaped() + QStringLiteral("</p>"));
    auto* data = new QMimeData;
    data->setText(SelectionWithCitation());
    data->setHtml(html);
    QApplication::clipboard()->setMimeData(data);
}

QString Cvelda1View::StatusMessage() const {
    QString loading = m_doc->LoadingMessage();
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
    return std::make_unique<TextPrintout>(*document(), m_doc->title(),
                                          QString::fromStdString(ShowData::DottedDayCode(ShowData::BaseDate())));
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
    // "Выделенный фрагмент" prints the selection alone.
    const QTextCursor selection = textCursor();
    dialog.setOption(QAbstractPrintDialog::PrintSelection, selection.hasSelection());
    if (dialog.exec() != QDialog::Accepted) return;
    if (printer.printRange() == QPrinter::Selection && selection.hasSelection()) {
        PrintRange(*this, printer, {selection.selectionStart(), selection.selectionEnd()});
        printer.setPrintRange(QPrinter::AllPages);
    } else if (prepared) {
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
    for (const int id : TextPopupLayout()) {
        if (id == 0) {
            menu->addSeparator();
            continue;
        }
        const CommandInfo* command = FindCommand(id);
        if (!command) continue;
        const std::string_view text = command->popupText;
        QAction* action = menu->addAction(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), this,
                                          [this, id] { ExecuteCommand(id); });
        CommandState state;
        if (UpdateCommand(id, state)) action->setEnabled(state.enabled);
    }
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
        case Command::kCopyWithCitation:
            state = CommandState{textCursor().hasSelection(), false};
            return true;
        case Command::kViewContents:
            state = CommandState{true, m_contentsShown};
            return true;
        case Command::kNextPane:
        case Command::kPreviousPane:
            state = CommandState{m_contents->isVisible(), false};
            return true;
        case Command::kGoToArticle:
        case Command::kZoomIn:
        case Command::kZoomOut:
        case Command::kZoomReset:
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
        case Command::kCopyWithCitation:
            CopyWithCitation();
            return true;
        case Command::kViewContents:
            ShowContents(!m_contentsShown);
            return true;
        case Command::kNextPane:
        case Command::kPreviousPane:
            SwitchPane();
            return true;
        case Command::kGoToArticle:
            OnGoToArticle();
            return true;
        case Command::kZoomIn:
        case Command::kZoomOut:
            SetZoom(TextZoom::NextPercent(m_zoom->percent(), id == Command::kZoomIn));
            return true;
        case Command::kZoomReset:
            SetZoom(100);
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
