#include "app/HelpWindow.h"

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>

namespace Norik {

QPointer<CHelpWindow> CHelpWindow::s_window;

CHelpWindow* CHelpWindow::ShowHelp(QWidget* parent) {
    if (!s_window) s_window = new CHelpWindow(parent);
    s_window->show();
    s_window->setWindowState(s_window->windowState() & ~Qt::WindowMinimized);
    s_window->raise();
    s_window->activateWindow();
    return s_window;
}

CHelpWindow::CHelpWindow(QWidget* parent) : QMainWindow(parent, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Справка — База документов"));

    m_browser = new QTextBrowser(this);
    m_browser->setAccessibleName(QStringLiteral("Текст справки"));
    m_browser->setOpenExternalLinks(true);
    m_browser->setSearchPaths({QStringLiteral(":/help")});
    setCentralWidget(m_browser);

    auto* bar = addToolBar(QStringLiteral("Переходы"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    auto* back = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), QStringLiteral("Назад"));
    back->setShortcut(QKeySequence::Back);
    back->setToolTip(QStringLiteral("Назад (Alt+Влево)"));
    auto* forward = bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), QStringLiteral("Вперёд"));
    forward->setShortcut(QKeySequence::Forward);
    forward->setToolTip(QStringLiteral("Вперёд (Alt+Вправо)"));
    auto* home = bar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), QStringLiteral("Содержание"));
    home->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Home));
    home->setToolTip(QStringLiteral("Содержание (Alt+Home)"));
    auto* close = new QAction(this);
    close->setShortcut(QKeySequence(Qt::Key_Escape));
    addAction(close);

    back->setEnabled(false);
    forward->setEnabled(false);
    connect(back, &QAction::triggered, m_browser, &QTextBrowser::backward);
    connect(forward, &QAction::triggered, m_browser, &QTextBrowser::forward);
    connect(home, &QAction::triggered, m_browser, &QTextBrowser::home);
    connect(close, &QAction::triggered, this, &QWidget::close);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    // The window's title follows the page shown.
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString page = m_browser->documentTitle();
        setWindowTitle(page.isEmpty() ? QStringLiteral("Справка — База документов")
                                      : page + QStringLiteral(" — Справка"));
    });

    m_browser->setSource(QUrl(QStringLiteral("qrc:/help/index.html")));
    m_browser->setFocus();

    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    QSize size(860, 680);
    if (screen) {
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
        resize(size);
        move(screen->availableGeometry().center() - QPoint(size.width() / 2, size.height() / 2));
    } else {
        resize(size);
    }
}

}  // namespace Norik
