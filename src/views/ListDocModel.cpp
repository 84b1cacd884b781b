#include "views/ListDocModel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLocale>
#include <QPainter>

#include "Helpers/qt/QtText.h"
#include "showdata/DayCode.h"
#include "showdata/ListDoc.h"
#include "showdata/SectionCounts.h"
#include "showdata/ShowData.h"

namespace Norik {

namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

CListDocModel::CListDocModel(ShowData::CShowData& list, QObject* parent) : QAbstractTableModel(parent), m_list(list) {}

int CListDocModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return std::max(0, m_list.Count());
}

int CListDocModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return m_list.IsFolder() ? 1 : 3;
}

QVariant CListDocModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount()) return {};
    static const char* const titles[] = {"Документ", "Дата", "Статус"};
    return Q(titles[section]);
}

QVariant CListDocModel::DateAndStatus(unsigned row, int column, int role) const {
    const ShowData::DocItem* document = m_list.GetDocRow(row);
    if (document == nullptr) return {};
    const QString date = QString::fromStdString(ShowData::DottedDayCode(document->dateOfIntroduction));
    const QString status = document->inForce ? Q("действует") : Q("не действует");
    switch (role) {
        case Qt::DisplayRole:
            return column == kDateColumn ? date : status;
        case Qt::AccessibleTextRole:
            // A date alone does not say whose date it is.
            if (column == kStatusColumn) return status;
            return date.isEmpty() ? Q("без даты") : Q("дата ") + date;
        default:
            return {};
    }
}

QVariant CListDocModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const auto row = static_cast<unsigned>(index.row());
    switch (role) {
        case kVisitedRole:
            return m_list.GetMark(row);
        case kFolderRole:
            return m_list.IsFolder();
        case kDocumentCountRole: {
            const std::optional<int> count = ShowData::SectionDocumentCountOfRow(m_list, row);
            return count ? QVariant(*count) : QVariant();
        }
        case kOutOfForceRole: {
            const ShowData::DocItem* document = m_list.GetDocRow(row);
            return document != nullptr && !document->inForce;
        }
        default:
            break;
    }
    if (index.column() != kTextColumn && role != Qt::ToolTipRole) return DateAndStatus(row, index.column(), role);
    switch (role) {
        case Qt::DisplayRole:
            return ToQString(m_list.GetText(row));
        case Qt::AccessibleTextRole: {
            // The count a sighted reader sees at the row's end is read out too.
            const std::optional<int> count = ShowData::SectionDocumentCountOfRow(m_list, row);
            return ToQString(m_list.GetText(row)) + (count ? Q(", документов: ") + QString::number(*count) : QString());
        }
        case Qt::ToolTipRole: {
            // Plain text kept as it is broken: a title holding "<" must not turn into markup.
            const QString lines = WrapTipText(ToQString(m_list.GetText(row)));
            return QStringLiteral("<p style='white-space:pre'>") + lines.toHtmlEscaped() + QStringLiteral("</p>");
        }
        default:
            return {};
    }
}

void CListDocModel::Reset() {
    beginResetModel();
    endResetModel();
}

QString WrapTipText(QString text, int width) {
    qsizetype lineStart = 0;
    while (lineStart + width < text.size()) {
        qsizetype breakAt = lineStart + width;
        for (qsizetype i = lineStart + width; i > lineStart; --i) {
            if (text[i] == ' ') {
                breakAt = i;
                break;
            }
        }
        text[breakAt] = '\n';
        lineStart = breakAt + 1;
    }
    return text;
}

CListRowDelegate::RowColours CListRowDelegate::ColoursOf(bool folder, bool visited, bool selectedOrFocused,
                                                         bool outOfForce) {
    RowColours colours;
    // Grey dark enough to read on white and on the pale blue of visited rows; a selected row keeps
    // the selection's colours.
    if (outOfForce && !folder && !selectedOrFocused) colours.text = QColor(96, 96, 96);
    if (folder) {
        colours.text = QColor(0, 51, 204);
        // White on the dark blue: a lighter blue on it would be hard to read.
        if (selectedOrFocused) {
            colours.text = QColor(255, 255, 255);
            colours.background = QColor(0, 51, 204);
        }
    }
    // The selection shows on a visited row as on any other: the pale background marks only the rows
    // the cursor is not on, and the row's text stays readable on it.
    if (visited && !selectedOrFocused) colours.background = QColor(208, 224, 240);
    return colours;
}

void CListRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem item(option);
    initStyleOption(&item, index);
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    // The cursor is on a row: every cell of it counts as focused.
    const bool focused = view && view->currentIndex().isValid() && view->currentIndex().row() == index.row();
    const bool selected = (item.state & QStyle::State_Selected) != 0;
    const RowColours colours =
        ColoursOf(index.data(CListDocModel::kFolderRole).toBool(), index.data(CListDocModel::kVisitedRole).toBool(),
                  selected || focused, index.data(CListDocModel::kOutOfForceRole).toBool());
    if (colours.text.isValid()) {
        item.palette.setColor(QPalette::Text, colours.text);
        item.palette.setColor(QPalette::HighlightedText, colours.text);
    }
    if (colours.background.isValid()) {
        item.backgroundBrush = colours.background;
        // Our colours replace the highlight; the frame below still marks the row.
        item.state &= ~QStyle::State_Selected;
    }
    // The frame below marks the focused row as a whole; the style's own would mark one cell of it.
    item.state &= ~QStyle::State_HasFocus;
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, option.widget);
    // A section's count of documents at the row's right end, in the row's colour.
    if (const QVariant count = index.data(CListDocModel::kDocumentCountRole); count.isValid()) {
        painter->save();
        painter->setPen(
            item.palette.color((item.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(option.rect.adjusted(0, 0, -8, 0), Qt::AlignRight | Qt::AlignVCenter,
                          QLocale().toString(count.toInt()));
        painter->restore();
    }

    painter->save();
    painter->setPen(option.palette.color(QPalette::Midlight));
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    if (focused && view->hasFocus()) {
        // Dark on the pale background of visited rows, else the colour of the row's text.
        const bool visited = index.data(CListDocModel::kVisitedRole).toBool();
        const bool highlighted = (item.state & QStyle::State_Selected) != 0;
        QPen pen(visited       ? option.palette.color(QPalette::WindowText)
                 : highlighted ? option.palette.color(QPalette::HighlightedText)
                               : item.palette.color(QPalette::Text));
        pen.setStyle(Qt::DotLine);
        painter->setPen(pen);
        // One frame around the whole row: its top and bottom in every cell, its ends in the first
        // and the last.
        const QRect box = option.rect.adjusted(0, 0, -1, -1);
        painter->drawLine(box.topLeft(), box.topRight());
        painter->drawLine(box.bottomLeft(), box.bottomRight());
        if (index.column() == 0) painter->drawLine(box.topLeft(), box.bottomLeft());
        if (index.column() == index.model()->columnCount() - 1) painter->drawLine(box.topRight(), box.bottomRight());
    }
    painter->restore();
}

}  // namespace Norik
