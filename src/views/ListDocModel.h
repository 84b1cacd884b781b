// The rows of a list window for Qt's item views: a table model that asks the list-window model for
// each row when a view needs it and holds no row data. Reset() is called after every change of
// the list (a refresh), which only resets the count and the columns.
//
// Columns: a classifier level has one, the row text; a document list has three, the row text,
// the date of introduction (DD.MM.YYYY) and the status ("действует", "не действует").
// Roles: the cell text (display; the accessible text of the date and status cells says what they
// are), the tool tip (the row text broken into lines of at most 100 characters), whether the row
// was visited, whether the rows are classifier nodes and whether the document is no longer in
// force. User-interface thread only.
#pragma once

#include <QAbstractTableModel>
#include <QStyledItemDelegate>

namespace ShowData {
class CShowData;
}

namespace Norik {

class CListDocModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // kDocumentCountRole: how many documents a classifier row's section holds (none for documents).
    enum Role { kVisitedRole = Qt::UserRole + 1, kFolderRole, kOutOfForceRole, kDocumentCountRole };
    enum Column { kTextColumn, kDateColumn, kStatusColumn };

    // list must outlive the model.
    explicit CListDocModel(ShowData::CShowData& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The list changed: views re-read the count and the rows they show.
    void Reset();

private:
    QVariant DateAndStatus(unsigned row, int column, int role) const;

    ShowData::CShowData& m_list;
};

// A row text broken into lines for its tool tip: while a line would pass width characters, the
// last space within it (after its first character) becomes a line break, or, without one, the
// character at the width does.
QString WrapTipText(QString text, int width = 100);

// Paints a list row in the colours of its kind: classifier rows in blue (selected or focused:
// white on dark blue), visited rows other than the selected or focused one on a pale blue
// background, documents no longer in force in grey unless selected or focused, other document rows
// in the system's colours; a line under every row and a frame around the focused one.
class CListRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The colours a row is painted in; invalid colours mean the system's.
    struct RowColours {
        QColor text;
        QColor background;
    };
    static RowColours ColoursOf(bool folder, bool visited, bool selectedOrFocused, bool outOfForce = false);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace Norik
