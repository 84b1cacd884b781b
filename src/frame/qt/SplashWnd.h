// The splash window: the picture ":/splash/splash.png" in a window without border or caption,
// centred over its parent when the parent is visible and on the screen otherwise, closing by
// itself kShowMs after it appeared. It stays above the other windows for its time: a window manager
// would otherwise put the main window, shown just after it, on top.
//
// ShowSplashScreen opens a new one each time it is called: one already on screen is not closed and
// still goes two seconds after it appeared, so two calls a second apart leave the second window on
// screen a second longer than the first. When the window closes, its parent is repainted. Current
// is the splash window opened last while it shows (null once it has closed). A missing picture
// means no splash window and no message. User-interface thread only.
#pragma once

#include <QPixmap>
#include <QTimer>
#include <QWidget>

namespace Norik {

class CSplashWnd : public QWidget {
    Q_OBJECT

public:
    static constexpr int kShowMs = 2000;

    static void ShowSplashScreen(QWidget* parent);
    static CSplashWnd* Current() { return s_current; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CSplashWnd(QWidget* parent, QPixmap picture);
    ~CSplashWnd() override;

    static CSplashWnd* s_current;

    QPixmap m_picture;
    QTimer m_closeTimer;
};

}  // namespace Norik
