#include "frame/qt/SplashWnd.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QScreen>

namespace Norik {

CSplashWnd* CSplashWnd::s_current = nullptr;

void CSplashWnd::ShowSplashScreen(QWidget* parent) {
    QPixmap picture(QStringLiteral(":/splash/splash.png"));
    if (picture.isNull()) return;
    auto* splash = new CSplashWnd(parent, std::move(picture));
    s_current = splash;
    splash->show();
    splash->repaint();
}

CSplashWnd::CSplashWnd(QWidget* parent, QPixmap picture)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_picture(std::move(picture)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::ArrowCursor);
    setAccessibleName(QStringLiteral("Заставка"));
    setAccessibleDescription(QStringLiteral("База документов"));
    QSize size = m_picture.deviceIndependentSize().toSize();
    setFixedSize(size);

    QRect area;
    if (parent && parent->isVisible()) {
        area = parent->window()->frameGeometry();
    } else {
        QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
        if (screen) area = screen->geometry();
    }
    if (area.isValid()) move(area.center() - QPoint(size.width() / 2, size.height() / 2));

    m_closeTimer.setParent(this);
    m_closeTimer.setSingleShot(true);
    // A coarse timer may fire a little early; the window stays its full two seconds.
    m_closeTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_closeTimer, &QTimer::timeout, this, [this] {
        QPointer<QWidget> owner = parentWidget();
        close();
        if (owner) owner->update();
    });
    m_closeTimer.start(kShowMs);
}

CSplashWnd::~CSplashWnd() {
    // A splash window opened later may be the current one by now; only this one's own entry goes.
    if (s_current == this) s_current = nullptr;
}

void CSplashWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}

}  // namespace Norik
