// "Информация о документе": the information card of one document, composed by
// ComposeDocumentCard and shown read-only, with "Закрыть". Modal; opened for a row of a document
// list or for the document of a text window. The tables must be loaded (the number comes from a
// list row or an open document). User-interface thread only.
#pragma once

#include <QDialog>
#include <cstdint>

class QPushButton;
class QTextBrowser;

namespace Norik {

class CInfoDoc : public QDialog {
    Q_OBJECT
public:
    CInfoDoc(std::int16_t number, QWidget* owner);

    QTextBrowser* field() const { return m_field; }
    QPushButton* closeButton() const { return m_close; }

private:
    QTextBrowser* m_field;
    QPushButton* m_close;
};

}  // namespace Norik
