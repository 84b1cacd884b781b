// The program's own help window: the bundled user's guide (":/help/index.html" and the pages it
// links) in a browser with "Назад", "Вперёд" and "Содержание", usable from the keyboard alone
// (Alt+Left, Alt+Right, Alt+Home, Tab through the links and Enter to follow one, Esc closes).
// Links to other sites open in the desktop's browser. There is one help window: asking for it
// again brings the open one to the front. User-interface thread only.
#pragma once

#include <QMainWindow>
#include <QPointer>

class QTextBrowser;

namespace Norik {

class CHelpWindow : public QMainWindow {
    Q_OBJECT

public:
    static CHelpWindow* ShowHelp(QWidget* parent);
    static CHelpWindow* Current() { return s_window; }

    QTextBrowser* Browser() const { return m_browser; }

private:
    explicit CHelpWindow(QWidget* parent);

    static QPointer<CHelpWindow> s_window;
    QTextBrowser* m_browser = nullptr;
};

}  // namespace Norik
