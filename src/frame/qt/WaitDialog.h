// The wait window shown while a document text opens: an animation and the words
// "Подождите, идёт загрузка документа ...", no caption, 350 x 80 pixels centred on the screen.
//
// Start shows it and returns at once: the document is decoded on a worker thread meanwhile and the
// user-interface thread keeps running its event loop, which plays the animation. While it shows,
// the other windows of the program take no input (it is application-modal), so the user cannot
// start a second opening or close the window the text is opening in. Start on a window that shows
// already does nothing. Stop stops the animation and hides it; the object can be started again.
// When the animation cannot be loaded the window shows without it.
//
// The keyboard stays where it was: the window shows without being activated, and Stop gives the
// keyboard back to the window that had it before Start (else the parent's window). A window manager
// may still activate it late, after it has gone; that activation is handed straight back as well,
// or the keys would go to a window nobody sees.
//
// A wait that can be given up offers it with SetCancel: the button "Отмена" shows, and it or Esc
// calls the function given; SetCancel with none takes the button away. User-interface thread only.
#pragma once

#include <QDialog>
#include <QPointer>
#include <functional>

class QLabel;
class QPushButton;

namespace Norik {

class CPictureEx;

class CWaitDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kWidth = 350;
    static constexpr int kHeight = 80;

    explicit CWaitDialog(QWidget* parent);

    void Start();
    void Stop();
    void SetCancel(std::function<void()> cancel);

    CPictureEx* Picture() const { return m_picture; }

protected:
    // Esc and the window manager's close do not take the window away: the opening goes on
    // whether it shows or not, and only Stop ends it. Esc gives the wait up where it can be.
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Place();
    // Gives the keyboard to the window that had it before Start, when it is still there.
    void ReturnKeyboard();

    CPictureEx* m_picture = nullptr;
    QLabel* m_text = nullptr;
    QPushButton* m_cancelButton = nullptr;
    std::function<void()> m_cancel;
    bool m_loaded = false;
    QPointer<QWidget> m_returnTo;
};

}  // namespace Norik
