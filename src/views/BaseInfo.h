// CBaseInfo: the modal dialog "Информация о базе" with four figures of the loaded base: the
// number of documents, the date of the last update, the number of indexed words and the average
// vocabulary of a document. The figures are read when the dialog opens (loading the document
// table and the word index first if they are not loaded yet). When the word index cannot be read
// whole, its two figures show "неизвестно" and a note below says which file and why. Each figure can be reached with
// the keyboard and is labelled by its caption for screen readers. User-interface thread only.
#pragma once

#include <QDialog>

class QLabel;

namespace Norik {

class CBaseInfo : public QDialog {
    Q_OBJECT
public:
    explicit CBaseInfo(QWidget* parent = nullptr);

    // The value field of a figure: 0 documents, 1 date, 2 indexed words, 3 average vocabulary.
    QLabel* valueField(int index) const { return m_values[index]; }
    // The note on a word index that cannot be read whole; null when it read whole.
    QLabel* damageNote() const { return m_damageNote; }

private:
    QLabel* m_values[4] = {};
    QLabel* m_damageNote = nullptr;
};

}  // namespace Norik
