// The documents read lately ("Недавние документы…", Ctrl+Shift+R). The place in a text window is
// noted when the window is opened, when another window takes its place as the active one and when
// it closes, and for every text window still open when the object goes (the end of the run); the
// list is kept between sessions (RecentDocuments). Choosing a document in the list goes to its
// place through the history of places. The application asks this object about its command.
// User-interface thread only; the frame, the profile and the navigation must outlive it.
#pragma once

#include <QObject>
#include <QPointer>

#include "frame/CommandTarget.h"
#include "frame/RecentDocuments.h"

class QMdiSubWindow;

namespace Norik {

class CChildFrame;
class CMainFrame;
class IProfile;
class NavigationCommands;

class RecentCommands : public QObject, public ICommandTarget {
    Q_OBJECT
public:
    RecentCommands(CMainFrame& frame, IProfile& profile, NavigationCommands& navigation);
    ~RecentCommands() override;

    const RecentDocuments& recent() const { return m_recent; }
    // Notes the place of the text window child (nothing for another kind of window).
    void NoteWindow(CChildFrame* child);
    void ShowRecentWindow();

    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Activated(QMdiSubWindow* window);

    CMainFrame& m_frame;
    NavigationCommands& m_navigation;
    RecentDocuments m_recent;
    QPointer<CChildFrame> m_active;
};

}  // namespace Norik
