#include "views/ListDocModel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>

#include "platform/qt/QtText.h"
#include "showdata/ShowData.h"

namespace Norik {

CListDocModel::CListDocModel(ShowData::CShowData& list, QObject* parent) : QAbstractListModel(parent), m_list(list) {}

int CListDocModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return std::max(0, m_list.Count());
}

QVariant CListDocModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const auto row = static_cast<unsigned>(index.row());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return ToQString(m_list.GetText(row));
        case Qt::ToolTipRole: {
            // Plain text kept as it is broken: a title holding "<" must not turn into markup.
            const QString lines = WrapTipText(ToQString(m_list.GetText(row)));
            return QStringLiteral("<p style='white-space:pre'>") + lines.toHtmlEscaped() + QStringLiteral("</p>");
        }
        case kVisitedRole:
            return m_list.GetMark(row);
        case kFolderRole:
            return m_list.IsFolder();
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

CListRowDelegate::RowColours CListRowDelegate::ColoursOf(bool folder, bool visited, bool selectedOrFocused) {
    RowColours colours;
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
    const bool focused = view && view->currentIndex() == index;
    const bool selected = (item.state & QStyle::State_Selected) != 0;
    const RowColours colours = ColoursOf(index.data(CListDocModel::kFolderRole).toBool(),
                                         index.data(CListDocModel::kVisitedRole).toBool(), selected || focused);
    if (colours.text.isValid()) {
        item.palette.setColor(QPalette::Text, colours.text);
        item.palette.setColor(QPalette::HighlightedText, colours.text);
    }
    if (colours.background.isValid()) {
        item.backgroundBrush = colours.background;
        // Our colours replace the highlight; the frame below still marks the row.
        item.state &= ~QStyle::State_Selected;
    }
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, option.widget);

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
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
    }
    painter->restore();
}

QSize CListRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget))
        size.setWidth(view->viewport()->width());
    return size;
}

}  // namespace Norik
