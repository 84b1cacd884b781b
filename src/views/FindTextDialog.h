// The find dialog of a text window: the text to find (at most 512 characters), "whole word" and
// "match case" options, the direction, "Найти далее" and "Отмена". Modeless; each "Найти далее"
// emits findNext for the view to search from its caret. User-interface thread only.
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace Norik {

class CFindTextDialog : public QDialog {
    Q_OBJECT
public:
    explicit CFindTextDialog(QWidget* parent);

    QLineEdit* textField() const { return m_text; }
    QPushButton* findNextButton() const { return m_findNext; }

signals:
    void findNext(const QString& text, bool matchCase, bool wholeWord, bool forward);

private:
    QLineEdit* m_text;
    QCheckBox* m_wholeWord;
    QCheckBox* m_matchCase;
    QRadioButton* m_up;
    QRadioButton* m_down;
    QPushButton* m_findNext;
};

}  // namespace Norik
