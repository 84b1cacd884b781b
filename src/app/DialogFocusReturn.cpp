#include "app/DialogFocusReturn.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QTimer>

namespace Norik {

bool DialogFocusReturn::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::WindowDeactivate) return false;
    auto* dialog = qobject_cast<QDialog*>(watched);
    // Only a dialog that loses the keyboard because it is being hidden: one that stays up lost it to
    // another window the user chose.
    if (!dialog || !dialog->isWindow() || !dialog->testAttribute(Qt::WA_WState_Hidden) || !dialog->parentWidget())
        return false;
    QPointer<QWidget> below = dialog->parentWidget()->window();
    // Once the platform has told where the keyboard went.
    QTimer::singleShot(0, this, [below] {
        const QWidget* active = QApplication::activeWindow();
        if (below && below->isVisible() && (!active || !active->isVisible())) below->activateWindow();
    });
    return false;
}

}  // namespace Norik
