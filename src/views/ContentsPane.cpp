#include "views/ContentsPane.h"

#include <QHeaderView>
#include <QKeyEvent>

namespace Norik {

namespace {

constexpr int kIndexRole = Qt::UserRole;

}  // namespace

ContentsPane::ContentsPane(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setUniformRowHeights(true);
    setTextElideMode(Qt::ElideRight);
    setAccessibleName(QStringLiteral("Содержание"));
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { Jump(item); });
}

void ContentsPane::SetOutline(const DocumentOutline& outline) {
    clear();
    m_outline = outline;
    m_items.clear();
    m_items.reserve(m_outline.size());
    // The open parts, from the top: an entry goes under the last one less deep than it.
    std::vector<QTreeWidgetItem*> open;
    for (std::size_t i = 0; i < m_outline.size(); ++i) {
        const OutlineEntry& entry = m_outline[i];
        while (!open.empty() && static_cast<int>(open.size()) > entry.depth) open.pop_back();
        auto* item = open.empty() ? new QTreeWidgetItem(this) : new QTreeWidgetItem(open.back());
        const QString title = QString::fromUtf8(entry.title);
        item->setText(0, title);
        item->setToolTip(0, title);
        item->setData(0, kIndexRole, static_cast<int>(i));
        m_items.push_back(item);
        open.push_back(item);
    }
}

void ContentsPane::MarkPosition(int position) {
    const int index = OutlineEntryAt(m_outline, position);
    if (index < 0) {
        setCurrentItem(nullptr);
        return;
    }
    QTreeWidgetItem* item = m_items[static_cast<std::size_t>(index)];
    if (currentItem() == item) return;
    setCurrentItem(item);
    scrollToItem(item);
}

void ContentsPane::Jump(QTreeWidgetItem* item) {
    if (!item) return;
    const int index = item->data(0, kIndexRole).toInt();
    if (index < 0 || static_cast<std::size_t>(index) >= m_outline.size()) return;
    emit jumpRequested(m_outline[static_cast<std::size_t>(index)].position);
}

void ContentsPane::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Jump(currentItem());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

}  // namespace Norik
