#include "views/InfoDoc.h"

#include <QFontMetrics>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextDocument>

#include "richtext/qt/RtfDocumentBuilder.h"
#include "showdata/DocumentCard.h"

namespace Norik {

CInfoDoc::CInfoDoc(std::int16_t number, QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Информация о документе"));
    // The layout is given in dialog units: a quarter of the average character width across, an
    // eighth of the character height down.
    const QFontMetrics metrics(font());
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const qreal unitX = metrics.horizontalAdvance(alphabet) / qreal(alphabet.size()) / 4.0;
    const qreal unitY = metrics.height() / 8.0;
    const auto box = [&](int x, int y, int width, int height) {
        return QRect(qRound(x * unitX), qRound(y * unitY), qRound(width * unitX), qRound(height * unitY));
    };
    setFixedSize(box(0, 0, 368, 205).size());

    m_field = new QTextBrowser(this);
    m_field->setGeometry(box(7, 7, 354, 170));
    m_field->setOpenLinks(false);
    m_field->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_field->setAccessibleName(windowTitle());
    std::unique_ptr<QTextDocument> card = BuildTextDocument(ComposeDocumentCard(number));
    card->setParent(m_field);
    m_field->setDocument(card.release());

    m_close = new QPushButton(QStringLiteral("Закрыть"), this);
    m_close->setGeometry(box(311, 184, 50, 14));
    m_close->setDefault(true);
    m_close->setFocus();
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace Norik
