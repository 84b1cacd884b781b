#include "app/NavigationCommands.h"

#include <QMenu>

#include "Helpers/Cp1251.h"
#include "Helpers/qt/QtText.h"
#include "frame/CommandIds.h"
#include "frame/qt/ChildFrm.h"
#include "frame/qt/MainFrm.h"
#include "platform/UserPort.h"
#include "showdata/ListDoc.h"
#include "views/BookmarksWindow.h"
#include "views/Cvelda1Doc.h"
#include "views/Cvelda1View.h"
#include "views/ListDocView.h"
#include "views/ListDocument.h"
#include "views/TextPlace.h"

namespace Norik {

const char* const NavigationCommands::kCaption = "База документов";
const char* const NavigationCommands::kDocumentGone = "Этого документа больше нет в базе.";
const char* const NavigationCommands::kIndexNotReady = "Индекс ссылок ещё не готов.";
const char* const NavigationCommands::kIndexDamaged =
    "Индекс ссылок повреждён и не может ответить; подробности в журнале ошибок.";
const char* const NavigationCommands::kNotCited = "На этот документ не ссылается ни один документ базы.";

namespace {

const char* const kCitingTitle = "Ссылки на документ: %1";
const char* const kBookmarkNotKept = "Закладку не удалось сохранить в настройках.";

}  // namespace

NavigationCommands::NavigationCommands(CMainFrame& frame, IUserPort& userPort, IProfile& profile, Services services)
    : m_frame(frame), m_userPort(userPort), m_services(std::move(services)), m_bookmarks(profile) {}

void NavigationCommands::AttachBookmarksMenu(QMenu* menu) {
    if (!menu) return;
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { FillBookmarksMenu(menu); });
}

void NavigationCommands::FillBookmarksMenu(QMenu* menu) {
    for (QAction* action : m_bookmarkActions) {
        menu->removeAction(action);
        action->deleteLater();
    }
    m_bookmarkActions.clear();
    if (m_bookmarks.all().empty()) return;
    m_bookmarkActions.push_back(menu->addSeparator());
    for (std::size_t i = 0; i < m_bookmarks.all().size(); ++i) {
        QString label = QString::fromStdString(m_bookmarks.all()[i].name);
        label.replace('&', QStringLiteral("&&"));
        QAction* item = menu->addAction(label);
        connect(item, &QAction::triggered, this, [this, i] { OpenBookmark(i); });
        m_bookmarkActions.push_back(item);
    }
}

void NavigationCommands::RecordStep(const TextPlace& from, const TextPlace& to) {
    m_history.RecordStep(from, to);
    // A step may come after the frame last looked at the commands (a link opens its window first).
    m_frame.UpdateCommandStates();
}

Cvelda1View* NavigationCommands::ActiveText() const {
    CChildFrame* child = m_frame.activeChild();
    return child ? dynamic_cast<Cvelda1View*>(&child->view()) : nullptr;
}

std::optional<TextPlace> NavigationCommands::PlaceIn(const CDocument* document) const {
    for (CChildFrame* child : m_frame.childFrames()) {
        if (&child->document() != document) continue;
        if (auto* view = dynamic_cast<Cvelda1View*>(&child->view()))
            return TextPlace{view->GetDocument()->number(), ReadingPosition(*view)};
    }
    return std::nullopt;
}

std::optional<TextPlace> NavigationCommands::Here() const {
    Cvelda1View* view = ActiveText();
    if (!view) return std::nullopt;
    return TextPlace{view->GetDocument()->number(), ReadingPosition(*view)};
}

std::optional<std::int16_t> NavigationCommands::CommandDocument() const {
    CChildFrame* child = m_frame.activeChild();
    if (!child) return std::nullopt;
    if (auto* text = dynamic_cast<Cvelda1View*>(&child->view())) return text->GetDocument()->number();
    if (auto* list = dynamic_cast<CListDocView*>(&child->view())) {
        auto* document = dynamic_cast<CListDocument*>(list->GetDocument());
        const int row = list->SelectedRow();
        if (!document || row < 0 || document->model().IsFolder()) return std::nullopt;
        return static_cast<std::int16_t>(document->model().GetNumber(static_cast<unsigned>(row)));
    }
    return std::nullopt;
}

void NavigationCommands::Tell(const QString& text) {
    m_userPort.MessageBox(FromQString(text), Utf8ToCp1251(kCaption), MessageButtons::Ok, MessageIcon::Information);
}

bool NavigationCommands::GoTo(const TextPlace& place) {
    if (ShowData::DocRowsByNumber(place.number).empty()) {
        Tell(QString::fromUtf8(kDocumentGone));
        return false;
    }
    Cvelda1View* view = m_services.openText ? m_services.openText(place.number) : nullptr;
    if (!view) return false;
    ShowPosition(*view, place.position);
    return true;
}

void NavigationCommands::OpenBookmark(std::size_t index) {
    if (index >= m_bookmarks.all().size()) return;
    const Bookmark bookmark = m_bookmarks.all()[index];
    const std::optional<TextPlace> here = Here();
    if (GoTo(bookmark.place) && here) RecordStep(*here, bookmark.place);
}

void NavigationCommands::AddBookmark() {
    Cvelda1View* view = ActiveText();
    if (!view) return;
    const int position = ReadingPosition(*view);
    const QString offered = BookmarkName(view->GetDocument()->number(), HeadingAbove(*view->document(), position));
    const QString name = AskBookmarkName(&m_frame, offered);
    if (name.isEmpty()) return;
    if (!m_bookmarks.Add(Bookmark{TextPlace{view->GetDocument()->number(), position}, name.toStdString()}))
        Tell(QString::fromUtf8(kBookmarkNotKept));
}

void NavigationCommands::ShowBookmarksWindow() {
    CBookmarksWindow window(m_bookmarks, &m_frame);
    if (window.exec() == QDialog::Accepted && window.chosen()) OpenBookmark(*window.chosen());
}

void NavigationCommands::ShowCitingDocuments(std::int16_t number) {
    const CitingAnswer answer = m_services.citing ? m_services.citing(number) : CitingAnswer{};
    switch (answer.state) {
        case CitingAnswer::State::NotReady:
            Tell(QString::fromUtf8(kIndexNotReady));
            return;
        case CitingAnswer::State::Failed:
            Tell(QString::fromUtf8(kIndexDamaged));
            return;
        case CitingAnswer::State::Ready:
            break;
    }
    // Only the documents the tables list: an index older than a table may name one it lost.
    const std::vector<std::int16_t> numbers = ShowData::NumbersWithRows(answer.numbers);
    if (numbers.empty()) {
        Tell(QString::fromUtf8(kNotCited));
        return;
    }
    if (m_services.openList)
        m_services.openList(number, numbers,
                            QString::fromUtf8(kCitingTitle).arg(ToQString(ShowData::DocTitleByNumber(number))));
}

bool NavigationCommands::UpdateCommand(int id, CommandState& state) {
    switch (id) {
        case Command::kHistoryBack:
            state = CommandState{m_history.CanGoBack(), false};
            return true;
        case Command::kHistoryForward:
            state = CommandState{m_history.CanGoForward(), false};
            return true;
        case Command::kAddBookmark:
            state = CommandState{ActiveText() != nullptr, false};
            return true;
        case Command::kBookmarksWindow:
            state = CommandState{};
            return true;
        case Command::kCitedBy:
            state = CommandState{CommandDocument().has_value(), false};
            return true;
        default:
            return false;
    }
}

bool NavigationCommands::ExecuteCommand(int id) {
    switch (id) {
        case Command::kHistoryBack:
        case Command::kHistoryForward: {
            const std::optional<TextPlace> here = Here();
            const std::optional<TextPlace> target =
                id == Command::kHistoryBack ? m_history.Back(here) : m_history.Forward(here);
            if (target) GoTo(*target);
            return true;
        }
        case Command::kAddBookmark:
            AddBookmark();
            return true;
        case Command::kBookmarksWindow:
            ShowBookmarksWindow();
            return true;
        case Command::kCitedBy:
            if (const std::optional<std::int16_t> number = CommandDocument()) ShowCitingDocuments(*number);
            return true;
        default:
            return false;
    }
}

}  // namespace Norik
