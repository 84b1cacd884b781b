#include "views/BookmarksWindow.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "Helpers/qt/QtText.h"
#include "frame/Bookmarks.h"
#include "showdata/ListDoc.h"

namespace Norik {

QString AskBookmarkName(QWidget* parent, const QString& offered) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Закладка"));
    dialog.setLabelText(QStringLiteral("Название закладки:"));
    dialog.setTextValue(offered);
    dialog.resize(dialog.fontMetrics().averageCharWidth() * 70, dialog.sizeHint().height());
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.textValue().simplified();
}

CBookmarksWindow::CBookmarksWindow(Bookmarks& bookmarks, QWidget* parent) : QDialog(parent), m_bookmarks(bookmarks) {
    setWindowTitle(QStringLiteral("Закладки"));
    m_list = new QListWidget(this);
    m_list->setAccessibleName(QStringLiteral("Закладки"));
    auto* label = new QLabel(QStringLiteral("&Закладки:"), this);
    label->setBuddy(m_list);
    m_go = new QPushButton(QStringLiteral("&Перейти"), this);
    m_rename = new QPushButton(QStringLiteral("П&ереименовать"), this);
    m_delete = new QPushButton(QStringLiteral("&Удалить"), this);
    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
    m_go->setDefault(true);
    connect(m_go, &QPushButton::clicked, this, &CBookmarksWindow::GoToSelected);
    connect(m_rename, &QPushButton::clicked, this, &CBookmarksWindow::RenameSelected);
    connect(m_delete, &QPushButton::clicked, this, &CBookmarksWindow::DeleteSelected);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemActivated, this, &CBookmarksWindow::GoToSelected);
    connect(m_list, &QListWidget::currentRowChanged, this, &CBookmarksWindow::UpdateButtons);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {m_go, m_rename, m_delete, close}) buttons->addWidget(button);
    buttons->addStretch();
    auto* side = new QHBoxLayout;
    side->addWidget(m_list, 1);
    side->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(side);
    resize(560, 360);
    Fill(0);
}

void CBookmarksWindow::Fill(int select) {
    m_list->clear();
    for (const Bookmark& bookmark : m_bookmarks.all()) {
        auto* item = new QListWidgetItem(QString::fromStdString(bookmark.name), m_list);
        const std::string title = ShowData::DocTitleByNumber(bookmark.place.number);
        item->setToolTip(title.empty() ? QStringLiteral("Документа нет в базе") : ToQString(title));
    }
    if (m_list->count() > 0) m_list->setCurrentRow(std::clamp(select, 0, m_list->count() - 1));
    UpdateButtons();
}

void CBookmarksWindow::UpdateButtons() {
    const bool any = Selected() >= 0;
    m_go->setEnabled(any);
    m_rename->setEnabled(any);
    m_delete->setEnabled(any);
}

int CBookmarksWindow::Selected() const { return m_list->currentRow(); }

void CBookmarksWindow::RenameSelected() {
    const int row = Selected();
    if (row < 0) return;
    const QString name = AskBookmarkName(this, m_list->item(row)->text());
    if (name.isEmpty()) return;
    m_bookmarks.Rename(static_cast<std::size_t>(row), name.toStdString());
    Fill(row);
}

void CBookmarksWindow::DeleteSelected() {
    const int row = Selected();
    if (row < 0) return;
    m_bookmarks.Remove(static_cast<std::size_t>(row));
    Fill(row);
}

void CBookmarksWindow::GoToSelected() {
    const int row = Selected();
    if (row < 0) return;
    m_chosen = static_cast<std::size_t>(row);
    accept();
}

void CBookmarksWindow::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_Delete) {
        DeleteSelected();
        return;
    }
    if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_F2) {
        RenameSelected();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace Norik
