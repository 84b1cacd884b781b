#include "app/RecentCommands.h"

#include <QEvent>
#include <QMdiArea>

#include "app/NavigationCommands.h"
#include "frame/CommandIds.h"
#include "frame/qt/ChildFrm.h"
#include "frame/qt/MainFrm.h"
#include "views/Cvelda1Doc.h"
#include "views/Cvelda1View.h"
#include "views/RecentWindow.h"
#include "views/TextPlace.h"

namespace Norik {

RecentCommands::RecentCommands(CMainFrame& frame, IProfile& profile, NavigationCommands& navigation)
    : m_frame(frame), m_navigation(navigation), m_recent(profile) {
    if (QMdiArea* area = m_frame.mdiArea())
        connect(area, &QMdiArea::subWindowActivated, this, &RecentCommands::Activated);
}

RecentCommands::~RecentCommands() {
    // The places of the windows still open at the end of the run, the active one last (first in the list).
    for (CChildFrame* child : m_frame.childFrames())
        if (child != m_active) NoteWindow(child);
    NoteWindow(m_active);
}

void RecentCommands::NoteWindow(CChildFrame* child) {
    if (!child) return;
    auto* view = dynamic_cast<Cvelda1View*>(&child->view());
    // A text given up while loading was never read.
    if (!view || view->GetDocument()->isAbandoned()) return;
    const int position = ReadingPosition(*view);
    m_recent.Note(TextPlace{view->GetDocument()->number(), position},
                  HeadingAbove(*view->document(), position).toStdString());
}

void RecentCommands::Activated(QMdiSubWindow* window) {
    // The window left keeps the place it was left at.
    if (m_active && m_active != window) NoteWindow(m_active);
    m_active = qobject_cast<CChildFrame*>(window);
    if (!m_active || !dynamic_cast<Cvelda1View*>(&m_active->view())) return;
    // Closing a window is the last look at its place; the filter is installed once per window.
    m_active->removeEventFilter(this);
    m_active->installEventFilter(this);
    NoteWindow(m_active);
}

bool RecentCommands::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close) NoteWindow(qobject_cast<CChildFrame*>(watched));
    return QObject::eventFilter(watched, event);
}

void RecentCommands::ShowRecentWindow() {
    // The window shown now is read now: its place is the newest.
    NoteWindow(m_frame.activeChild());
    std::vector<QString> headings;
    for (const std::string& part : m_recent.parts()) headings.push_back(QString::fromStdString(part));
    CRecentWindow window(m_recent.all(), headings, &m_frame);
    if (window.exec() != QDialog::Accepted || !window.chosen()) return;
    const std::optional<TextPlace> here =
        m_navigation.PlaceIn(m_frame.activeChild() ? &m_frame.activeChild()->document() : nullptr);
    if (m_navigation.GoTo(*window.chosen()) && here) m_navigation.RecordStep(*here, *window.chosen());
}

bool RecentCommands::UpdateCommand(int id, CommandState& state) {
    if (id != Command::kRecentDocuments) return false;
    state = CommandState{};
    return true;
}

bool RecentCommands::ExecuteCommand(int id) {
    if (id != Command::kRecentDocuments) return false;
    ShowRecentWindow();
    return true;
}

}  // namespace Norik
