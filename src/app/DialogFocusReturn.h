// Gives the keyboard back to the window below a dialog that closes (a message box, the wait
// window, the information card, any other dialog of the program). A desktop's window manager
// usually does this; without one the keyboard stays with nobody, and a user without a mouse could
// do nothing more. Installed on the application, it acts only when, once the dialog has gone, no
// visible window of the program is active, so it never takes the keyboard from where a window
// manager put it. User-interface thread only.
#pragma once

#include <QObject>

namespace Norik {

class DialogFocusReturn : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace Norik
