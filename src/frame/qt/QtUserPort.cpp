#include "frame/qt/QtUserPort.h"

#include <QMessageBox>
#include <QPushButton>

#include "Helpers/qt/QtText.h"
#include "frame/qt/WaitDialog.h"

namespace Norik {

namespace {

struct ButtonChoice {
    QMessageBox::StandardButton button;
    const char* text;
    MessageAnswer answer;
};

std::vector<ButtonChoice> ButtonsOf(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::Ok:
            return {{QMessageBox::Ok, "ОК", MessageAnswer::Ok}};
        case MessageButtons::YesNo:
            return {{QMessageBox::Yes, "&Да", MessageAnswer::Yes}, {QMessageBox::No, "&Нет", MessageAnswer::No}};
        case MessageButtons::RetryCancel:
            return {{QMessageBox::Retry, "&Повтор", MessageAnswer::Retry},
                    {QMessageBox::Cancel, "Отмена", MessageAnswer::Cancel}};
        case MessageButtons::OkCancel:
            return {{QMessageBox::Ok, "ОК", MessageAnswer::Ok}, {QMessageBox::Cancel, "Отмена", MessageAnswer::Cancel}};
    }
    return {{QMessageBox::Ok, "ОК", MessageAnswer::Ok}};
}

QMessageBox::Icon IconOf(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

MessageAnswer ShowMessageBox(QWidget* parent, const QString& text, const QString& caption, MessageButtons buttons,
                             MessageIcon icon) {
    QMessageBox box(IconOf(icon), caption, text, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    const std::vector<ButtonChoice> choices = ButtonsOf(buttons);
    for (const ButtonChoice& choice : choices) box.addButton(choice.button)->setText(QString::fromUtf8(choice.text));
    // The first button is the default, as on the desktop the texts were written for; Escape picks
    // the last one (No, Cancel) or the only one.
    box.setDefaultButton(choices.front().button);
    box.setEscapeButton(box.button(choices.back().button));
    // The caption alone does not reach every screen reader; the text is the dialog's description.
    box.setAccessibleName(caption);
    box.setAccessibleDescription(text);
    box.exec();
    const auto clicked = box.standardButton(box.clickedButton());
    for (const ButtonChoice& choice : choices)
        if (choice.button == clicked) return choice.answer;
    return choices.back().answer;
}

CQtUserPort::~CQtUserPort() { delete m_waitDialog; }

void CQtUserPort::SetDialogParent(QWidget* parent) {
    m_parent = parent;
    delete m_waitDialog;
}

MessageAnswer CQtUserPort::MessageBox(const std::string& text, const std::string& caption, MessageButtons buttons,
                                      MessageIcon icon) {
    // The wait window steps aside while the user reads and answers.
    if (m_waitDialog) m_waitDialog->Stop();
    return ShowMessageBox(m_parent, ToQString(text), ToQString(caption), buttons, icon);
}

void CQtUserPort::BeginWait() {
    ++m_waitDepth;
    if (!m_waitDialog) m_waitDialog = new CWaitDialog(m_parent);
    // Shown by the outermost wait, or again by an inner one after a message took its place.
    m_waitDialog->Start();
}

void CQtUserPort::OfferCancel(std::function<void()> cancel) {
    if (m_waitDialog) m_waitDialog->SetCancel(std::move(cancel));
}

void CQtUserPort::EndWait() {
    if (m_waitDepth == 0) return;
    if (--m_waitDepth == 0 && m_waitDialog) m_waitDialog->Stop();
}

}  // namespace Norik
