#include "views/ListDocView.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QWheelEvent>
#include <algorithm>

#include "Helpers/qt/QtText.h"
#include "frame/CommandIds.h"
#include "platform/Profile.h"
#include "platform/UserPort.h"
#include "showdata/DocSort.h"
#include "views/ListDocument.h"
#include "views/TextZoom.h"

namespace Norik {

namespace {

const char* const kEmptyList = "Список пуст";
// The rows' text at the usual size.
constexpr int kRowFontPixels = 14;

}  // namespace

CListDocView::CListDocView(CListDocument& document, IUserPort& userPort, ShowDocumentCard showCard)
    : m_document(document), m_userPort(userPort), m_showCard(std::move(showCard)), m_rows(document.model()) {
    setModel(&m_rows);
    setItemDelegate(&m_delegate);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A flat list: no branches to draw or expand.
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    // Every row has the same height: the view lays out a list of any length without asking for it.
    setUniformRowHeights(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideRight);
    // The view sorts through its commands, never through the model's sort: a click only asks.
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    connect(header(), &QHeaderView::sectionClicked, this, &CListDocView::OnHeaderClicked);
    setFrameShape(QFrame::Box);
    QFont rowFont;
    rowFont.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    rowFont.setPixelSize(kRowFontPixels);
    rowFont.setBold(true);
    setFont(rowFont);
    setAccessibleName(document.title());
    connect(&document, &CDocument::titleChanged, this, &QWidget::setAccessibleName);
    connect(&document, &CListDocument::refreshed, this, &CListDocView::GeneralUpdate);
}

CListDocView::~CListDocView() = default;

void CListDocView::SetProfile(IProfile* profile) {
    m_profile = profile;
    if (profile) SetZoom(profile->GetProfileInt(kSectionReading, kValueListZoom, 100));
}

void CListDocView::SetZoom(int percent) {
    m_zoom = std::clamp(percent, TextZoom::kMinPercent, TextZoom::kMaxPercent);
    QFont rowFont = font();
    rowFont.setPixelSize(kRowFontPixels * m_zoom / 100);
    setFont(rowFont);
    if (m_profile) m_profile->WriteProfileInt(kSectionReading, kValueListZoom, m_zoom);
}

void CListDocView::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QTreeView::wheelEvent(event);
        return;
    }
    if (event->angleDelta().y() != 0) SetZoom(TextZoom::NextPercent(m_zoom, event->angleDelta().y() > 0));
    event->accept();
}

CDocument* CListDocView::GetDocument() const { return &m_document; }

void CListDocView::OnInitialUpdate() { GeneralUpdate(); }

void CListDocView::GeneralUpdate() {
    m_rows.Reset();
    ShowColumns();
    const bool hasRows = m_rows.rowCount() > 0;
    const int wanted = std::clamp(m_rowAfterUpdate.value_or(0), 0, std::max(m_rows.rowCount() - 1, 0));
    m_rowAfterUpdate.reset();
    if (hasRows) {
        const QModelIndex row = m_rows.index(wanted, 0);
        selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollToTop();
        scrollTo(row);
    }
    setAccessibleDescription(hasRows ? QString() : QString::fromUtf8(kEmptyList));
    NotifyStateChanged();
}

int CListDocView::SelectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

bool CListDocView::GetListPosition(int& count, int& selected) {
    count = m_document.model().Count();
    selected = SelectedRow();
    return true;
}

void CListDocView::OpenSelectedRow() {
    const int row = SelectedRow();
    if (row < 0) return;
    if (row > 0) {
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
    const std::size_t depth = m_document.model().history().size();
    m_rowsLeft.resize(std::min(m_rowsLeft.size(), depth));
    m_document.model().Open(static_cast<unsigned>(row));
    // A classifier level was opened: its row is where "Назад" returns.
    if (m_document.model().history().size() > depth) m_rowsLeft.push_back(row);
    // A visited mark changed; a replaced list has refreshed the view already.
    viewport()->update();
    NotifyStateChanged();
}

void CListDocView::GoBack() {
    const std::size_t depth = m_document.model().history().size();
    if (depth == 0) return;
    // Only rows of levels the history still holds count; a level entered otherwise has none.
    if (m_rowsLeft.size() > depth) m_rowsLeft.resize(depth);
    if (m_rowsLeft.size() == depth) {
        m_rowAfterUpdate = m_rowsLeft.back();
        m_rowsLeft.pop_back();
    }
    m_document.model().Back();
}

void CListDocView::KeepRankOrder() {
    m_sortKey = kRankOrder;
    m_descending = false;
    ShowColumns();
}

void CListDocView::Sort(int key) {
    m_sortKey = key;
    m_document.model().Sort(m_sortKey, m_descending);
}

void CListDocView::OnHeaderClicked(int column) {
    const int key = column == CListDocModel::kTextColumn   ? ShowData::kSortByTitle
                    : column == CListDocModel::kDateColumn ? ShowData::kSortByDate
                                                           : -1;
    if (key >= 0 && !m_document.model().IsFolder())
        ExecuteCommand(key == m_sortKey ? Command::kSortDescending : Command::kSortByDate + key);
    // The header has turned its indicator by itself: it goes back to the order the commands chose
    // (a column no command stands for changes nothing).
    ShowColumns();
}

// Every refresh resets the model, and with it the header's sections: they are set up again.
void CListDocView::ShowColumns() {
    QHeaderView* columns = header();
    if (m_document.model().IsFolder()) {
        columns->hide();
        columns->setSectionResizeMode(0, QHeaderView::Stretch);
        return;
    }
    columns->show();
    columns->setSectionResizeMode(CListDocModel::kTextColumn, QHeaderView::Stretch);
    // The date and status columns as wide as their widest text: measured once, never row by row.
    const QFontMetrics metrics(font());
    const int padding = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 12;
    const int indicator = style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, this) + 8;
    const auto widthOf = [&](const QString& widest, int column) {
        const QString title = m_rows.headerData(column, Qt::Horizontal).toString();
        return std::max(metrics.horizontalAdvance(widest),
                        columns->fontMetrics().horizontalAdvance(title) + indicator) +
               padding;
    };
    columns->setSectionResizeMode(CListDocModel::kDateColumn, QHeaderView::Interactive);
    columns->setSectionResizeMode(CListDocModel::kStatusColumn, QHeaderView::Interactive);
    columns->resizeSection(CListDocModel::kDateColumn,
                           widthOf(QStringLiteral("00.00.0000"), CListDocModel::kDateColumn));
    columns->resizeSection(CListDocModel::kStatusColumn,
                           widthOf(QString::fromUtf8("не действует"), CListDocModel::kStatusColumn));

    // Without the descending flag dates run newest first and texts from A to Я. Type and number
    // have no column of their own, and a list in rank order no sort: no indicator then.
    if (m_sortKey == ShowData::kSortByDate)
        columns->setSortIndicator(CListDocModel::kDateColumn, m_descending ? Qt::AscendingOrder : Qt::DescendingOrder);
    else if (m_sortKey == ShowData::kSortByTitle)
        columns->setSortIndicator(CListDocModel::kTextColumn, m_descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    else
        columns->setSortIndicator(-1, Qt::AscendingOrder);
}

bool CListDocView::UpdateCommand(int id, CommandState& state) {
    const bool documents = !m_document.model().IsFolder();
    switch (id) {
        case Command::kSortByDate:
        case Command::kSortByTitle:
        case Command::kSortByType:
        case Command::kSortByNumber:
            state.enabled = documents;
            state.checked = documents && m_sortKey == id - Command::kSortByDate;
            return true;
        case Command::kSortDescending:
            // A list in rank order has no direction to turn until it is sorted.
            state.enabled = documents && m_sortKey != kRankOrder;
            state.checked = m_descending;
            return true;
        case Command::kDocumentInformation:
            state.enabled = documents;
            return true;
        case Command::kFileNumber:
            state.enabled = true;
            return true;
        case Command::kFileSave:
            state.enabled = false;
            return true;
        case Command::kZoomIn:
        case Command::kZoomOut:
        case Command::kZoomReset:
            state.enabled = true;
            return true;
        default:
            return false;
    }
}

bool CListDocView::ExecuteCommand(int id) {
    switch (id) {
        case Command::kSortByDate:
        case Command::kSortByTitle:
        case Command::kSortByType:
        case Command::kSortByNumber:
            Sort(id - Command::kSortByDate);
            return true;
        case Command::kSortDescending:
            if (m_sortKey == kRankOrder) return true;
            m_descending = !m_descending;
            m_document.model().Sort(m_sortKey, m_descending);
            return true;
        case Command::kDocumentInformation: {
            const int row = SelectedRow();
            if (row >= 0 && m_showCard) m_showCard(m_document.model().GetNumber(static_cast<unsigned>(row)));
            return true;
        }
        case Command::kFileNumber: {
            const int row = SelectedRow();
            if (row >= 0) {
                m_userPort.MessageBox(m_document.model().GetName(static_cast<unsigned>(row)),
                                      FromQString(QStringLiteral("База документов")), MessageButtons::Ok,
                                      MessageIcon::None);
            }
            return true;
        }
        case Command::kFileSave:
            return true;
        case Command::kZoomIn:
        case Command::kZoomOut:
            SetZoom(TextZoom::NextPercent(m_zoom, id == Command::kZoomIn));
            return true;
        case Command::kZoomReset:
            SetZoom(100);
            return true;
        case Command::kBack:
            // Whether it is enabled is the document's to say.
            GoBack();
            return true;
        default:
            return false;
    }
}

void CListDocView::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    if (m_rows.rowCount() > 0) return;
    QPainter painter(viewport());
    QRect area = viewport()->rect();
    area.setTop(area.top() + 10);
    painter.fillRect(area, palette().brush(QPalette::Base));
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, QString::fromUtf8(kEmptyList));
}

void CListDocView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QTreeView::mouseDoubleClickEvent(event);
        return;
    }
    event->accept();
    OpenSelectedRow();
}

void CListDocView::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        // Back from a text opened from a later row, nothing is selected and the view puts its cursor
        // on a row when it takes the keyboard: Enter opens the row the cursor is on.
        if (SelectedRow() < 0 && currentIndex().isValid())
            selectionModel()->select(currentIndex(), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        OpenSelectedRow();
        return;
    }
    // Backspace alone goes up a level as Ctrl+Backspace does.
    if (event->key() == Qt::Key_Backspace && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        if (m_document.model().CanGoBack()) GoBack();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CListDocView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    QTreeView::selectionChanged(selected, deselected);
    NotifyStateChanged();
}

void CListDocView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    // The focus frame spans the whole row: both rows are painted again, not only their first cells.
    for (const QModelIndex& row : {previous, current}) {
        if (!row.isValid()) continue;
        const QRect cell = visualRect(row);
        viewport()->update(QRect(0, cell.top(), viewport()->width(), cell.height()));
    }
    NotifyStateChanged();
}

}  // namespace Norik
