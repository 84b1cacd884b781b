#include "views/BookmarksWindow.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <map>

#include "Helpers/qt/QtText.h"
#include "frame/Bookmarks.h"
#include "showdata/ListDoc.h"

namespace Norik {

namespace {

constexpr int kIndexRole = Qt::UserRole + 1;

std::optional<QString> AskFolder(QWidget* parent, const QString& current, const QStringList& folders) {
    bool ok = false;
    QStringList offered{QString()};
    offered += folders;
    const QString folder =
        QInputDialog::getItem(parent, QStringLiteral("В папку"), QStringLiteral("Папка (пусто - без папки):"), offered,
                              std::max<int>(0, static_cast<int>(offered.indexOf(current))), true, &ok);
    if (!ok) return std::nullopt;
    return folder.simplified();
}

std::optional<QString> AskNote(QWidget* parent, const QString& current) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Заметка"));
    dialog.setLabelText(QStringLiteral("Заметка к закладке (Ctrl+Enter - сохранить):"));
    dialog.setOption(QInputDialog::UsePlainTextEditForTextInput);
    dialog.setTextValue(current);
    // Enter starts a new line of the note: Tab leaves the field and Ctrl+Enter keeps the note.
    if (auto* field = dialog.findChild<QPlainTextEdit*>()) field->setTabChangesFocus(true);
    auto* keep = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), &dialog);
    QObject::connect(keep, &QShortcut::activated, &dialog, &QDialog::accept);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue().trimmed();
}

}  // namespace

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
    askFolder = [this](const QString& current, const QStringList& folders) {
        return AskFolder(this, current, folders);
    };
    askNote = [this](const QString& current) { return AskNote(this, current); };
    m_tree = new QTreeWidget(this);
    m_tree->setAccessibleName(QStringLiteral("Закладки"));
    m_tree->setHeaderLabels({QStringLiteral("Закладка"), QStringLiteral("Заметка")});
    m_tree->header()->setStretchLastSection(true);
    m_tree->setColumnWidth(0, 320);
    m_tree->setRootIsDecorated(true);
    auto* label = new QLabel(QStringLiteral("&Закладки:"), this);
    label->setBuddy(m_tree);
    m_go = new QPushButton(QStringLiteral("&Перейти"), this);
    m_rename = new QPushButton(QStringLiteral("П&ереименовать (F2)"), this);
    m_note = new QPushButton(QStringLiteral("&Заметка (Ctrl+E)"), this);
    m_move = new QPushButton(QStringLiteral("В &папку (Ctrl+M)"), this);
    m_delete = new QPushButton(QStringLiteral("&Удалить (Del)"), this);
    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
    m_go->setDefault(true);
    connect(m_go, &QPushButton::clicked, this, &CBookmarksWindow::GoToSelected);
    connect(m_rename, &QPushButton::clicked, this, &CBookmarksWindow::RenameSelected);
    connect(m_note, &QPushButton::clicked, this, &CBookmarksWindow::EditNoteOfSelected);
    connect(m_move, &QPushButton::clicked, this, &CBookmarksWindow::MoveSelected);
    connect(m_delete, &QPushButton::clicked, this, &CBookmarksWindow::DeleteSelected);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_tree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        // Enter on a folder opens or closes it.
        if (item && !item->data(0, kIndexRole).isValid())
            item->setExpanded(!item->isExpanded());
        else
            GoToSelected();
    });
    connect(m_tree, &QTreeWidget::currentItemChanged, this, &CBookmarksWindow::UpdateButtons);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {m_go, m_rename, m_note, m_move, m_delete, close}) buttons->addWidget(button);
    buttons->addStretch();
    auto* side = new QHBoxLayout;
    side->addWidget(m_tree, 1);
    side->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(side);
    resize(760, 420);
    Fill(m_bookmarks.all().empty() ? std::nullopt : std::optional<std::size_t>(0));
}

void CBookmarksWindow::Fill(std::optional<std::size_t> select) {
    m_tree->clear();
    std::map<std::string, QTreeWidgetItem*> folders;
    for (const std::string& folder : m_bookmarks.Folders()) {
        auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(folder)});
        QFont bold = item->font(0);
        bold.setBold(true);
        item->setFont(0, bold);
        folders.emplace(folder, item);
    }
    QList<QTreeWidgetItem*> top;
    for (const auto& [name, item] : folders) top.push_back(item);
    QTreeWidgetItem* selected = nullptr;
    for (std::size_t i = 0; i < m_bookmarks.all().size(); ++i) {
        const Bookmark& bookmark = m_bookmarks.all()[i];
        QString note = QString::fromStdString(bookmark.note);
        auto* item = new QTreeWidgetItem(
            QStringList{QString::fromStdString(bookmark.name), note.replace(QLatin1Char('\n'), QLatin1Char(' '))});
        item->setData(0, kIndexRole, static_cast<qulonglong>(i));
        const std::string title = ShowData::DocTitleByNumber(bookmark.place.number);
        const QString where = title.empty() ? QStringLiteral("Документа нет в базе") : ToQString(title);
        item->setToolTip(0, where);
        item->setToolTip(1, QString::fromStdString(bookmark.note));
        if (bookmark.folder.empty())
            top.push_back(item);
        else
            folders.at(bookmark.folder)->addChild(item);
        if (select && *select == i) selected = item;
    }
    m_tree->addTopLevelItems(top);
    m_tree->expandAll();
    if (!selected && m_tree->topLevelItemCount() > 0) selected = m_tree->topLevelItem(0);
    if (selected) m_tree->setCurrentItem(selected);
    UpdateButtons();
}

void CBookmarksWindow::Select(std::size_t index) { Fill(index); }

void CBookmarksWindow::UpdateButtons() {
    const bool any = Selected().has_value();
    for (QPushButton* button : {m_go, m_rename, m_note, m_move, m_delete}) button->setEnabled(any);
}

std::optional<std::size_t> CBookmarksWindow::Selected() const {
    const QTreeWidgetItem* item = m_tree->currentItem();
    if (!item) return std::nullopt;
    const QVariant index = item->data(0, kIndexRole);
    if (!index.isValid()) return std::nullopt;
    return static_cast<std::size_t>(index.toULongLong());
}

void CBookmarksWindow::RenameSelected() {
    const std::optional<std::size_t> index = Selected();
    if (!index) return;
    const QString name = AskBookmarkName(this, QString::fromStdString(m_bookmarks.all()[*index].name));
    if (name.isEmpty()) return;
    m_bookmarks.Rename(*index, name.toStdString());
    Fill(index);
}

void CBookmarksWindow::EditNoteOfSelected() {
    const std::optional<std::size_t> index = Selected();
    if (!index || !askNote) return;
    const std::optional<QString> note = askNote(QString::fromStdString(m_bookmarks.all()[*index].note));
    if (!note) return;
    m_bookmarks.SetNote(*index, note->toStdString());
    Fill(index);
}

void CBookmarksWindow::MoveSelected() {
    const std::optional<std::size_t> index = Selected();
    if (!index || !askFolder) return;
    QStringList folders;
    for (const std::string& folder : m_bookmarks.Folders()) folders << QString::fromStdString(folder);
    const std::optional<QString> folder = askFolder(QString::fromStdString(m_bookmarks.all()[*index].folder), folders);
    if (!folder) return;
    m_bookmarks.Move(*index, folder->toStdString());
    Fill(index);
}

void CBookmarksWindow::DeleteSelected() {
    const std::optional<std::size_t> index = Selected();
    if (!index) return;
    m_bookmarks.Remove(*index);
    // The bookmark that took its place, else the one before it.
    std::optional<std::size_t> next;
    if (!m_bookmarks.all().empty()) next = std::min(*index, m_bookmarks.all().size() - 1);
    Fill(next);
}

void CBookmarksWindow::GoToSelected() {
    const std::optional<std::size_t> index = Selected();
    if (!index) return;
    m_chosen = *index;
    accept();
}

void CBookmarksWindow::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::NoModifier && event->key() == Qt::Key_Delete) {
        DeleteSelected();
        return;
    }
    if (modifiers == Qt::NoModifier && event->key() == Qt::Key_F2) {
        RenameSelected();
        return;
    }
    if (modifiers == Qt::ControlModifier && event->key() == Qt::Key_E) {
        EditNoteOfSelected();
        return;
    }
    if (modifiers == Qt::ControlModifier && event->key() == Qt::Key_M) {
        MoveSelected();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace Norik
