#include "frame/qt/MainFrm.h"

#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <algorithm>

#include "Helpers/qt/QtText.h"
#include "frame/CommandIds.h"
#include "frame/CommandTable.h"
#include "frame/qt/ChildFrm.h"
#include "frame/qt/SplashWnd.h"
#include "platform/UserPort.h"

namespace Norik {

namespace {

QString Text(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

const char* const kIdleMessage = "Для справки, нажмите F1";
const char* const kNoListPosition = "Просмотр";

QIcon ToolBarIcon(const CommandInfo& command) {
    QIcon bundled(QStringLiteral(":/toolbar/%1.png").arg(Text(command.iconName)));
    if (command.themeIcon.empty()) return bundled;
    return QIcon::fromTheme(Text(command.themeIcon), bundled);
}

QList<QKeySequence> Shortcuts(std::string_view text) {
    QList<QKeySequence> sequences;
    for (const QString& part : Text(text).split(';', Qt::SkipEmptyParts))
        sequences.push_back(QKeySequence(part, QKeySequence::PortableText));
    return sequences;
}

}  // namespace

CMainFrame::CMainFrame(ICommandTarget& application, IUserPort& userPort)
    : m_application(application), m_userPort(userPort) {
    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setObjectName(QStringLiteral("childArea"));
    m_mdiArea->setAccessibleName(QStringLiteral("Окна документов"));
    setCentralWidget(m_mdiArea);
    connect(m_mdiArea, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* window) {
        if (auto* child = qobject_cast<CChildFrame*>(window)) child->view().widget()->setFocus();
        UpdateCommandStates();
    });
}

CMainFrame::~CMainFrame() {
    // The child windows close after this object is gone: nothing they report may reach it.
    m_mdiArea->disconnect(this);
    // Closed windows waiting for their deletion are no longer listed by the area: all are found.
    for (CChildFrame* child : findChildren<CChildFrame*>()) child->disconnect(this);
}

bool CMainFrame::Create(const QString& title) {
    BuildActions();
    BuildMenus();
    if (!BuildToolBar() || !BuildStatusBar()) return false;
    setWindowTitle(title);
    UpdateCommandStates();
    ShowSplashWindow();
    return true;
}

void CMainFrame::BuildActions() {
    for (const CommandInfo& command : CommandTable()) {
        const int id = command.id;
        auto* action = new QAction(Text(command.menuText), this);
        action->setObjectName(QStringLiteral("command%1").arg(id));
        action->setStatusTip(Text(command.prompt));
        action->setIconText(Text(CommandTip(command)));
        action->setToolTip(Text(CommandTip(command)));
        action->setShortcuts(Shortcuts(command.shortcuts));
        if (command.places & kPlaceToolBar) action->setIcon(ToolBarIcon(command));
        // A menu shows its item's icon in no place of this program: the table's texts are enough.
        action->setIconVisibleInMenu(false);
        connect(action, &QAction::triggered, this, [this, id] {
            RouteCommand(id);
            UpdateCommandStates();
        });
        // Shortcuts of commands in no menu work through the window itself.
        if (command.menu.empty()) addAction(action);
        m_actions[id] = action;
        if (command.places & kPlaceListMenu) {
            auto* menuAction = new QAction(Text(command.menuText), this);
            menuAction->setStatusTip(Text(command.prompt));
            connect(menuAction, &QAction::triggered, this, [this, id] {
                RouteCommand(id);
                UpdateCommandStates();
            });
            m_listMenuActions[id] = menuAction;
        }
    }
}

void CMainFrame::BuildMenus() {
    std::map<QString, QMenu*> menus;
    for (const std::string_view name : TopLevelMenus()) {
        QMenu* menu = menuBar()->addMenu(Text(name));
        menus[Text(name)] = menu;
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    }
    for (const CommandInfo& command : CommandTable()) {
        if (command.menu.empty()) continue;
        const QStringList path = Text(command.menu).split('/');
        QMenu* menu = menus[path.front()];
        bool firstInSubmenu = false;
        for (qsizetype level = 1; level < path.size(); ++level) {
            const QString key = path.mid(0, level + 1).join('/');
            auto found = menus.find(key);
            if (found == menus.end()) {
                QMenu* submenu = menu->addMenu(path[level]);
                found = menus.emplace(key, submenu).first;
                firstInSubmenu = true;
            }
            menu = found->second;
        }
        if (command.separatorBefore && !firstInSubmenu) menu->addSeparator();
        const auto listOnly = m_listMenuActions.find(command.id);
        menu->addAction(listOnly != m_listMenuActions.end() ? listOnly->second : m_actions[command.id]);
    }
    // The menu of the window commands also lists the open windows.
    m_windowMenu = menus[Text(FindCommand(Command::kWindowCascade)->menu)];
    // Commands offered in their own menu and again at the head of the windows menu.
    QAction* windowCommandsStart = m_windowMenu->actions().value(0);
    for (const CommandInfo& command : CommandTable()) {
        if (!(command.places & kPlaceWindowMenu)) continue;
        m_windowMenu->insertAction(windowCommandsStart, m_actions[command.id]);
    }
    if (windowCommandsStart) m_windowMenu->insertSeparator(windowCommandsStart);
    connect(m_windowMenu, &QMenu::aboutToShow, this, &CMainFrame::FillWindowList);
    // F10 opens the first menu: the menus' letters are Cyrillic, out of reach on a Latin layout.
    auto* menuKey = new QAction(this);
    menuKey->setShortcut(QKeySequence(Qt::Key_F10));
    connect(menuKey, &QAction::triggered, this, [this] {
        if (!menuBar()->actions().isEmpty()) menuBar()->setActiveAction(menuBar()->actions().front());
    });
    addAction(menuKey);
}

// The open child windows at the end of the windows menu, the active one checked.
void CMainFrame::FillWindowList() {
    for (QAction* action : m_windowListActions) {
        m_windowMenu->removeAction(action);
        action->deleteLater();
    }
    m_windowListActions.clear();
    const QList<CChildFrame*> children = childFrames();
    if (children.isEmpty()) return;
    m_windowListActions.push_back(m_windowMenu->addSeparator());
    int number = 0;
    for (CChildFrame* child : children) {
        ++number;
        QString label = child->windowTitle();
        label.replace('&', QStringLiteral("&&"));
        QAction* item = m_windowMenu->addAction(number < 10 ? QStringLiteral("&%1 %2").arg(number).arg(label) : label);
        item->setCheckable(true);
        item->setChecked(child == activeChild());
        QPointer<CChildFrame> target(child);
        connect(item, &QAction::triggered, this, [this, target] {
            if (target) ActivateChild(target);
        });
        m_windowListActions.push_back(item);
    }
}

bool CMainFrame::BuildToolBar() {
    m_toolBar = addToolBar(QStringLiteral("Стандартная"));
    if (!m_toolBar) return false;
    m_toolBar->setObjectName(QStringLiteral("standardToolBar"));
    m_toolBar->setIconSize(QSize(24, 24));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_toolBar->setContentsMargins(1, 1, 1, 1);
    for (const int id : ToolBarLayout()) {
        if (id == 0) {
            m_toolBar->addSeparator();
        } else {
            m_toolBar->addAction(m_actions[id]);
        }
    }
    return true;
}

bool CMainFrame::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    if (!bar) return false;
    auto pane = [this](int index, const QString& text, const QString& name) {
        auto* label = new QLabel(text, this);
        label->setObjectName(QStringLiteral("statusPane%1").arg(index));
        label->setAccessibleDescription(name);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setContentsMargins(3, 0, 3, 0);
        m_panes[index] = label;
        return label;
    };
    bar->addWidget(pane(0, QString::fromUtf8(kIdleMessage), QStringLiteral("Сообщение")), 1);
    QLabel* position = pane(1, QString::fromUtf8(kNoListPosition), QStringLiteral("Позиция в списке"));
    position->setAlignment(Qt::AlignCenter);
    position->setMinimumWidth(position->fontMetrics().horizontalAdvance(QStringLiteral("всего: 000000")) + 12);
    bar->addPermanentWidget(position);
    QLabel* empty = pane(2, QString(), QString());
    empty->setMinimumWidth(60);
    bar->addPermanentWidget(empty);
    const char* const locks[] = {"CAP", "NUM", "SCRL"};
    for (int i = 0; i < 3; ++i) {
        QLabel* lock = pane(3 + i, QString::fromLatin1(locks[i]), QStringLiteral("Состояние клавиши неизвестно"));
        lock->setEnabled(false);
        bar->addPermanentWidget(lock);
    }
    return true;
}

QLabel* CMainFrame::statusPane(int index) const { return index >= 0 && index < 6 ? m_panes[index] : nullptr; }

QAction* CMainFrame::action(int id) const {
    const auto found = m_actions.find(id);
    return found == m_actions.end() ? nullptr : found->second;
}

CChildFrame* CMainFrame::CreateChildFrame(std::unique_ptr<CDocument> document, CView* view) {
    auto* child = new CChildFrame(std::move(document), view);
    child->setWindowIcon(windowIcon());
    connect(child, &CChildFrame::stateChanged, this, [this, child] {
        if (child == activeChild()) UpdateCommandStates();
    });
    connect(child, &QObject::destroyed, this, &CMainFrame::ScheduleStateUpdate);
    // The window this one was opened from (a list's row, a text's link) comes back when it closes.
    child->SetOpener(activeChild());
    m_mdiArea->addSubWindow(child);
    child->showMaximized();
    view->OnInitialUpdate();
    ActivateChild(child);
    return child;
}

CChildFrame* CMainFrame::activeChild() const { return qobject_cast<CChildFrame*>(m_mdiArea->currentSubWindow()); }

QList<CChildFrame*> CMainFrame::childFrames() const {
    QList<CChildFrame*> children;
    for (QMdiSubWindow* window : m_mdiArea->subWindowList())
        if (auto* child = qobject_cast<CChildFrame*>(window)) children.push_back(child);
    return children;
}

void CMainFrame::ActivateChild(CChildFrame* child) {
    m_mdiArea->setActiveSubWindow(child);
    child->view().widget()->setFocus();
    UpdateCommandStates();
}

CommandState CMainFrame::QueryCommand(int id) {
    CommandState state;
    if (CChildFrame* child = activeChild()) {
        if (child->view().UpdateCommand(id, state)) return state;
        if (child->document().UpdateCommand(id, state)) return state;
        if (child->UpdateCommand(id, state)) return state;
    }
    if (UpdateCommand(id, state)) return state;
    if (m_application.UpdateCommand(id, state)) return state;
    return CommandState{false, false};
}

bool CMainFrame::RouteCommand(int id) {
    // The state decides: a disabled command is not carried out, whoever would handle it.
    if (!QueryCommand(id).enabled) return false;
    if (CChildFrame* child = activeChild()) {
        if (child->view().ExecuteCommand(id)) return true;
        if (child->document().ExecuteCommand(id)) return true;
        if (child->ExecuteCommand(id)) return true;
    }
    if (ExecuteCommand(id)) return true;
    return m_application.ExecuteCommand(id);
}

void CMainFrame::UpdateCommandStates() {
    m_updatePending = false;
    if (m_actions.empty()) return;
    for (const auto& [id, action] : m_actions) {
        const CommandState state = QueryCommand(id);
        action->setEnabled(state.enabled);
        if (state.checked && !action->isCheckable()) action->setCheckable(true);
        if (action->isCheckable()) action->setChecked(state.checked);
        const auto listOnly = m_listMenuActions.find(id);
        if (listOnly != m_listMenuActions.end()) {
            listOnly->second->setEnabled(state.enabled);
            if (action->isCheckable()) {
                listOnly->second->setCheckable(true);
                listOnly->second->setChecked(state.checked);
            }
        }
    }
    int count = 0;
    int selected = -1;
    CChildFrame* child = activeChild();
    if (!child) {
        m_menuState = MenuState::NoChild;
    } else {
        m_menuState = child->view().GetListPosition(count, selected) ? MenuState::List : MenuState::Text;
    }
    for (const auto& [id, action] : m_listMenuActions) action->setVisible(m_menuState == MenuState::List);
    UpdatePositionPane();
    UpdateMessagePane();
}

void CMainFrame::UpdatePositionPane() {
    if (!m_panes[1]) return;
    int count = 0;
    int selected = -1;
    CChildFrame* child = activeChild();
    QString text = QString::fromUtf8(kNoListPosition);
    if (child && child->view().GetListPosition(count, selected)) {
        text = selected + 1 != 0 ? QString::asprintf("%.6d:%.6d", selected + 1, count)
                                 : QString::fromUtf8("всего: ") + QString::asprintf("%.6d", count);
    }
    m_panes[1]->setText(text);
}

// For changes seen only while an object is being destroyed: the states are recomputed once the
// object is gone.
void CMainFrame::ScheduleStateUpdate() {
    if (m_updatePending) return;
    m_updatePending = true;
    QTimer::singleShot(0, this, [this] {
        if (m_updatePending) UpdateCommandStates();
    });
}

bool CMainFrame::UpdateCommand(int id, CommandState& state) {
    switch (id) {
        case Command::kAppExit:
        case Command::kSplash:
            state.enabled = true;
            return true;
        case Command::kWindowCascade:
        case Command::kWindowTile:
            state.enabled = activeChild() != nullptr;
            return true;
        default:
            return false;
    }
}

bool CMainFrame::ExecuteCommand(int id) {
    switch (id) {
        case Command::kAppExit:
            close();
            return true;
        case Command::kSplash:
            ShowSplashWindow();
            return true;
        case Command::kWindowCascade:
            Cascade();
            return true;
        case Command::kWindowTile:
            m_mdiArea->tileSubWindows();
            return true;
        default:
            return false;
    }
}

// Each window a title bar's height lower and to the right of the one before it, all as large as
// the area allows with the last one's shift; the active window ends on top.
void CMainFrame::Cascade() {
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* window : m_mdiArea->subWindowList(QMdiArea::StackingOrder))
        if (!window->isMinimized()) windows.push_back(window);
    if (windows.isEmpty()) return;
    QMdiSubWindow* active = m_mdiArea->activeSubWindow();
    const QRect area = m_mdiArea->viewport()->rect();
    const int step =
        std::max(windows.front()->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, windows.front()),
                 fontMetrics().height()) +
        4;
    // Shifts wrap round before a window would shrink below two thirds of the area.
    const int perRound = std::max(1, std::min(area.width(), area.height()) / 3 / step + 1);
    const int rounds = std::min<int>(static_cast<int>(windows.size()), perRound);
    const QSize size(area.width() - step * (rounds - 1), area.height() - step * (rounds - 1));
    int index = 0;
    for (QMdiSubWindow* window : windows) {
        if (window->isMaximized()) window->showNormal();
        const int shift = step * (index++ % perRound);
        window->setGeometry(QRect(area.topLeft() + QPoint(shift, shift), size));
        window->raise();
    }
    if (active) {
        active->raise();
        m_mdiArea->setActiveSubWindow(active);
    }
}

void CMainFrame::UpdateMessagePane() {
    if (!m_panes[0] || m_showingPrompt) return;
    CChildFrame* child = activeChild();
    const QString status = child ? child->view().StatusMessage() : QString();
    m_panes[0]->setText(status.isEmpty() ? QString::fromUtf8(kIdleMessage) : status);
}

void CMainFrame::ShowSplashWindow() { CSplashWnd::ShowSplashScreen(this); }

void CMainFrame::closeEvent(QCloseEvent* event) {
    const MessageAnswer answer = m_userPort.MessageBox(FromQString(QStringLiteral("Закрыть программу?")),
                                                       FromQString(QStringLiteral("База документов")),
                                                       MessageButtons::YesNo, MessageIcon::Question);
    if (answer != MessageAnswer::Yes) {
        event->ignore();
        return;
    }
    m_mdiArea->closeAllSubWindows();
    if (!m_mdiArea->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    event->accept();
}

bool CMainFrame::event(QEvent* event) {
    // Prompts go to the message pane, a label a screen reader can read, instead of being painted
    // over the status bar.
    if (event->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        m_showingPrompt = !tip.isEmpty();
        if (m_showingPrompt && m_panes[0]) m_panes[0]->setText(tip);
        // No prompt: the active window's own state, else the idle message.
        if (!m_showingPrompt) UpdateMessagePane();
        return true;
    }
    return QMainWindow::event(event);
}

}  // namespace Norik
