#include "views/QuickSearchLine.h"

#include <QLineEdit>
#include <QSettings>

namespace Norik {

namespace {

const char* const kQueriesKey = "QuickSearch/Queries";

}  // namespace

QuickSearchLine::QuickSearchLine(QSettings* settings, QWidget* parent) : QComboBox(parent), m_settings(settings) {
    setObjectName(QStringLiteral("quickSearchLine"));
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxCount(kKeptQueries);
    setMinimumContentsLength(28);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setAccessibleName(QStringLiteral("Быстрый поиск"));
    setToolTip(QStringLiteral("Быстрый поиск (Ctrl+E): слова в любой форме, \"фраза\", номер, дата, -слово"));
    if (m_settings) {
        QStringList kept = m_settings->value(QString::fromUtf8(kQueriesKey)).toStringList();
        kept.removeAll(QString());
        addItems(kept.mid(0, kKeptQueries));
    }
    setCurrentIndex(-1);
    SetPreparing(-1);
    connect(lineEdit(), &QLineEdit::returnPressed, this, [this] {
        const QString query = currentText().trimmed();
        if (query.isEmpty()) return;
        Remember(query);
        emit queryEntered(query);
    });
}

QStringList QuickSearchLine::queries() const {
    QStringList list;
    for (int i = 0; i < count(); ++i) list.push_back(itemText(i));
    return list;
}

void QuickSearchLine::Remember(const QString& query) {
    const int existing = findText(query, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (existing >= 0) removeItem(existing);
    while (count() >= kKeptQueries) removeItem(count() - 1);
    insertItem(0, query);
    setCurrentIndex(0);
    Save();
}

void QuickSearchLine::Save() const {
    if (m_settings) m_settings->setValue(QString::fromUtf8(kQueriesKey), queries());
}

void QuickSearchLine::SetPreparing(int percent) {
    lineEdit()->setPlaceholderText(percent < 0 ? QStringLiteral("Быстрый поиск")
                                               : QStringLiteral("Индекс быстрого поиска готовится: %1%").arg(percent));
}

void QuickSearchLine::SetUnavailable(const QString& why) {
    lineEdit()->setPlaceholderText(QStringLiteral("Быстрый поиск недоступен"));
    setToolTip(why);
}

}  // namespace Norik
