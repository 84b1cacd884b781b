#include "views/LapsedDocument.h"

#include <QColor>
#include <QLabel>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <unordered_map>
#include <vector>

#include "Helpers/qt/QtText.h"
#include "richtext/qt/RtfDocumentBuilder.h"
#include "showdata/DocumentCard.h"
#include "showdata/ListDoc.h"

namespace Norik {

namespace {

const char* const kLapsed = "Документ утратил силу";

// Whether the document a link's number leads to has a row and is not in force.
bool LeadsToLapsed(int linkNumber, std::unordered_map<int, bool>& known) {
    const auto found = known.find(linkNumber);
    if (found != known.end()) return found->second;
    ShowData::DocItem row;
    const bool lapsed = ShowData::DocByNumber(ShowData::DocNumberByFileNumber(linkNumber), row) && !row.inForce;
    known.emplace(linkNumber, lapsed);
    return lapsed;
}

}  // namespace

QString LapsedDocumentText(std::int16_t number) {
    ShowData::DocItem row;
    if (!ShowData::DocByNumber(number, row) || row.inForce) return {};
    // The card's dates, each with its card's label: " 17.04.2024 г.", or "-" for none.
    const auto date = [](ShowData::DayCode code) {
        QString text = ToQString(CardDate(code));
        if (!text.startsWith(QLatin1Char(' '))) text.prepend(QLatin1Char(' '));
        return text.endsWith(QLatin1Char('.')) ? text : text + QLatin1Char('.');
    };
    return QString::fromUtf8(kLapsed) + QStringLiteral(". Дата введения:") + date(row.dateOfIntroduction) +
           QStringLiteral(" Дата включения в базу:") + date(row.dateAdded);
}

QLabel* MakeLapsedBand(std::int16_t number, QWidget* parent) {
    const QString text = LapsedDocumentText(number);
    if (text.isEmpty()) return nullptr;
    auto* band = new QLabel(text, parent);
    band->setObjectName(QStringLiteral("lapsedBand"));
    band->setWordWrap(true);
    band->setAccessibleName(text);
    band->setStyleSheet(QStringLiteral(
        "QLabel { background: #fde2e1; color: #7a1010; border-bottom: 1px solid #d08080; padding: 4px 8px; "
        "font-weight: bold; }"));
    return band;
}

void MarkLapsedLinks(QTextDocument& text) {
    std::unordered_map<int, bool> known;
    // The ranges first: changing a format while walking the fragments would split them under the walk.
    std::vector<std::pair<int, int>> lapsed;
    for (QTextBlock block = text.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QVariant number = fragment.charFormat().property(kLinkDocumentNumberProperty);
            if (!number.isValid() || !LeadsToLapsed(number.toInt(), known)) continue;
            if (!lapsed.empty() && lapsed.back().second == fragment.position())
                lapsed.back().second += fragment.length();
            else
                lapsed.emplace_back(fragment.position(), fragment.position() + fragment.length());
        }
    }
    if (lapsed.empty()) return;
    QTextCharFormat look;
    look.setForeground(QColor(0x80, 0x80, 0x80));
    look.setFontStrikeOut(true);
    look.setToolTip(QString::fromUtf8(kLapsed));
    QTextCursor cursor(&text);
    cursor.beginEditBlock();
    for (const auto& [start, end] : lapsed) {
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(look);
    }
    cursor.endEditBlock();
}

}  // namespace Norik
