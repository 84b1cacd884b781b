#include "views/QuickSearchLine.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLineEdit>
#include <QSettings>
#include <algorithm>

namespace Norik {

namespace {

const char* const kQueriesKey = "QuickSearch/Queries";

QString PlaceholderText() { return QStringLiteral("Быстрый поиск"); }
QString PreparingText(int percent) { return QStringLiteral("Индекс быстрого поиска готовится: %1%").arg(percent); }
QString UnavailableText() { return QStringLiteral("Быстрый поиск недоступен"); }

}  // namespace

QuickSearchLine::QuickSearchLine(QSettings* settings, QWidget* parent) : QComboBox(parent), m_settings(settings) {
    setObjectName(QStringLiteral("quickSearchLine"));
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // The earlier queries are offered in the drop-down only: a completion typed into the line
    // would be run by Enter in place of what was typed.
    setCompleter(nullptr);
    setMaxCount(kKeptQueries);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    // At least as wide as its longest placeholder; wider as the window grows.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    FitPlaceholders();
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

void QuickSearchLine::FitPlaceholders() {
    // The combo box measures its least width in letters 'x'.
    const QFontMetrics metrics(font());
    int widest = 0;
    for (const QString& text : {PlaceholderText(), PreparingText(100), UnavailableText()})
        widest = std::max(widest, metrics.horizontalAdvance(text));
    const int letter = std::max(1, metrics.horizontalAdvance(QLatin1Char('x')));
    setMinimumContentsLength((widest + letter - 1) / letter + 2);
}

void QuickSearchLine::changeEvent(QEvent* event) {
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::FontChange) FitPlaceholders();
}

void QuickSearchLine::Save() const {
    if (m_settings) m_settings->setValue(QString::fromUtf8(kQueriesKey), queries());
}

void QuickSearchLine::SetPreparing(int percent) {
    lineEdit()->setPlaceholderText(percent < 0 ? PlaceholderText() : PreparingText(percent));
}

void QuickSearchLine::SetUnavailable(const QString& why) {
    lineEdit()->setPlaceholderText(UnavailableText());
    setToolTip(why);
}

}  // namespace Norik
