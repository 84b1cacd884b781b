// CBaseInfo: the modal dialog "Информация о базе" with four figures of the loaded base: the
// number of documents, the date of the last update, the number of indexed words and the average
// vocabulary of a document. The figures are read when the dialog opens (loading the document
// table and the word index first if they are not loaded yet). Each figure can be reached with
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

private:
    QLabel* m_values[4] = {};
};

}  // namespace Norik
