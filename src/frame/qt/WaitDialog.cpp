#include "frame/qt/WaitDialog.h"

#include <qpa/qwindowsysteminterface.h>

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include "frame/qt/PictureEx.h"

namespace Norik {

namespace {

const QString& WaitText() {
    static const QString text = QStringLiteral("Подождите, идёт загрузка документа ...");
    return text;
}

}  // namespace

CWaitDialog::CWaitDialog(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setWindowModality(Qt::ApplicationModal);
    // It only shows that the program is busy: the keyboard stays with the window below it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* focus) {
        if (focus && focus == windowHandle() && !isVisible()) ReturnKeyboard();
    });
    // A frameless window still has a name: the one a screen reader announces when it appears.
    setWindowTitle(WaitText());
    setAccessibleName(WaitText());

    // Without a caption the window would melt into the one below it; a raised panel edges it.
    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setLineWidth(2);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(panel);

    m_picture = new CPictureEx(panel);
    m_picture->setAccessibleName(QStringLiteral("Анимация загрузки"));
    m_text = new QLabel(WaitText(), panel);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(12, 6, 12, 6);
    row->setSpacing(10);
    row->addWidget(m_picture, 0, Qt::AlignCenter);
    row->addWidget(m_text, 1);
    m_cancelButton = new QPushButton(QStringLiteral("Отмена"), panel);
    // Enter held from the command that began the wait must not give it up.
    m_cancelButton->setAutoDefault(false);
    m_cancelButton->hide();
    row->addWidget(m_cancelButton, 0, Qt::AlignCenter);
    connect(m_cancelButton, &QPushButton::clicked, this, &CWaitDialog::reject);
}

void CWaitDialog::Start() {
    if (isVisible()) return;
    QWidget* active = QApplication::activeWindow();
    m_returnTo = active && active != this ? active : (parentWidget() ? parentWidget()->window() : nullptr);
    if (!m_loaded) m_loaded = m_picture->Load(QStringLiteral(":/wait/wait.gif"));
    if (m_loaded) m_picture->Draw();
    Place();
    show();
    raise();
}

void CWaitDialog::Place() {
    // 350 x 80 unless the fonts of this desktop need more room for the words (and the button).
    QSize size = QSize(kWidth, kHeight).expandedTo(minimumSizeHint());
    resize(size);
    QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen();
    if (screen) move(screen->geometry().center() - QPoint(size.width() / 2, size.height() / 2));
}

void CWaitDialog::SetCancel(std::function<void()> cancel) {
    m_cancel = std::move(cancel);
    m_cancelButton->setVisible(static_cast<bool>(m_cancel));
    if (isVisible()) Place();
}

void CWaitDialog::reject() {
    // Called from the function itself may take it away: a copy runs.
    if (const std::function<void()> cancel = m_cancel) cancel();
}

void CWaitDialog::Stop() {
    m_picture->Stop();
    if (!isVisible()) return;
    hide();
    ReturnKeyboard();
}

void CWaitDialog::ReturnKeyboard() {
    QWidget* target = m_returnTo ? m_returnTo.data() : (parentWidget() ? parentWidget()->window() : nullptr);
    if (!target || !target->isVisible()) return;
    // While this window is modal, the platform passes any activation of the window below on to it,
    // so it may still be named as the window with the keyboard once it has gone, while the window
    // manager has long given the keyboard back to the window below; asked to activate that window,
    // the manager then does nothing, and the keys would go nowhere. The program is told directly.
    QWindow* handle = target->windowHandle();
    if (handle && QGuiApplication::focusWindow() == windowHandle())
        QWindowSystemInterface::handleWindowActivated(handle, Qt::ActiveWindowFocusReason);
    // The window system is asked as well, whatever the program now takes for the active window:
    // the platform hands keys to the window the X server gave them to, which is still this one
    // (it took them while it was modal) until the window below asks; menu shortcuts, checked
    // against the program's active window, would work while no other key did.
    target->activateWindow();
}

void CWaitDialog::closeEvent(QCloseEvent* event) { event->ignore(); }

}  // namespace Norik
