// CMainFrame: the main window. A menu, a tool bar, a status bar of six panes and an area of child
// windows (document lists and document texts, each in a CChildFrame).
//
// Commands. Every command of the command table (CommandTable.h) has one action here, shown in the
// menus and on the tool bar and reachable by its shortcuts. A command goes to the active view,
// its document, its child frame, this frame and the application object, in that order; the first
// that handles it decides whether it is enabled and checked and carries it out, and a command
// nobody handles is disabled. The states are recomputed when the active window, its content or
// its selection changes and after every command, never by polling.
//
// Status bar: the message pane (the prompt of the highlighted command, else the active view's
// message, such as a long text still loading, else "Для справки, нажмите F1"), the position pane (the row and count of
// the active list, else "Просмотр"), an empty pane and the CAP, NUM and SCRL panes. The keyboard's lock states cannot
// be read portably, so those three panes show their names greyed, as an indicator whose state is unknown.
//
// Closing asks "Закрыть программу?"; only "yes" closes the frame and its child windows.
// User-interface thread only.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <map>
#include <memory>

#include "frame/CommandTarget.h"
#include "frame/qt/Document.h"

class QLabel;
class QMdiArea;
class QMenu;
class QToolBar;

namespace Norik {

class CChildFrame;
class IUserPort;

class CMainFrame : public QMainWindow, public ICommandTarget {
    Q_OBJECT
public:
    // The window state that decides which menu items are shown.
    enum class MenuState { NoChild, Text, List };

    // application ends the command route; userPort asks the close question.
    CMainFrame(ICommandTarget& application, IUserPort& userPort);
    ~CMainFrame() override;

    // Builds the tool bar and the status bar, sets the title and shows the splash window. False
    // when a bar could not be made.
    bool Create(const QString& title);

    // Shows document through view in a new child window, maximised and active. The window that was
    // active is its opener: closing the new window returns there.
    CChildFrame* CreateChildFrame(std::unique_ptr<CDocument> document, CView* view);
    // The active child window, or null.
    CChildFrame* activeChild() const;
    QList<CChildFrame*> childFrames() const;
    void ActivateChild(CChildFrame* child);
    QMdiArea* mdiArea() const { return m_mdiArea; }

    // Command routing: the state of id along the route (disabled when nobody handles it), and
    // carrying id out; false when nobody handled it.
    CommandState QueryCommand(int id);
    bool RouteCommand(int id);
    // Recomputes every action's enabled and checked state, the menu state and the position pane.
    void UpdateCommandStates();

    QAction* action(int id) const;
    MenuState menuState() const { return m_menuState; }
    QToolBar* toolBar() const { return m_toolBar; }
    // Pane 0 to 5 of the status bar.
    QLabel* statusPane(int index) const;

    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void BuildActions();
    void BuildMenus();
    bool BuildToolBar();
    bool BuildStatusBar();
    void FillWindowList();
    void UpdatePositionPane();
    // The message pane when no command is highlighted: the active view's message, else the idle one.
    void UpdateMessagePane();
    void Cascade();
    void ScheduleStateUpdate();
    void ShowSplashWindow();

    ICommandTarget& m_application;
    IUserPort& m_userPort;
    QMdiArea* m_mdiArea = nullptr;
    QToolBar* m_toolBar = nullptr;
    QMenu* m_windowMenu = nullptr;
    QList<QAction*> m_windowListActions;
    std::map<int, QAction*> m_actions;
    // Menu items offered only while a list window is active (the tool bar keeps its button).
    std::map<int, QAction*> m_listMenuActions;
    QLabel* m_panes[6] = {};
    MenuState m_menuState = MenuState::NoChild;
    bool m_updatePending = false;
    // A highlighted command's prompt is in the message pane.
    bool m_showingPrompt = false;
};

}  // namespace Norik
