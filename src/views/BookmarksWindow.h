// CBookmarksWindow: the window of the user's bookmarks, filed in folders. Each folder is a branch
// (bookmarks in none stand at the top), each bookmark shows its name and the user's note (its tool
// tip says which document it is in). From the keyboard: Enter (or a double click) goes to the
// selected bookmark and closes the window with it chosen ("Перейти"), F2 renames it
// ("Переименовать"), Ctrl+E writes its note ("Заметка"), Ctrl+M files it in another folder, new or
// existing ("В папку"), Delete removes it ("Удалить"). Every change is kept at once. User-interface
// thread only; bookmarks must outlive the window.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <functional>
#include <optional>

class QPushButton;
class QTreeWidget;

namespace Norik {

class Bookmarks;

// Asks for the name of a bookmark, offering offered, in a field wide enough for a document's
// title; the name with its blanks tidied, empty when cancelled or left empty.
QString AskBookmarkName(QWidget* parent, const QString& offered);

class CBookmarksWindow : public QDialog {
    Q_OBJECT
public:
    explicit CBookmarksWindow(Bookmarks& bookmarks, QWidget* parent = nullptr);

    // The bookmark to go to once the window was accepted.
    std::optional<std::size_t> chosen() const { return m_chosen; }
    QTreeWidget* tree() const { return m_tree; }
    // Selects the bookmark of index.
    void Select(std::size_t index);

    void RenameSelected();
    void DeleteSelected();
    void GoToSelected();
    void EditNoteOfSelected();
    void MoveSelected();

    // How the window asks for a folder and a note; tests answer in their place. An empty optional
    // is a cancel.
    std::function<std::optional<QString>(const QString& current, const QStringList& folders)> askFolder;
    std::function<std::optional<QString>(const QString& current)> askNote;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Fill(std::optional<std::size_t> select);
    void UpdateButtons();
    std::optional<std::size_t> Selected() const;

    Bookmarks& m_bookmarks;
    QTreeWidget* m_tree = nullptr;
    QPushButton* m_go = nullptr;
    QPushButton* m_rename = nullptr;
    QPushButton* m_note = nullptr;
    QPushButton* m_move = nullptr;
    QPushButton* m_delete = nullptr;
    std::optional<std::size_t> m_chosen;
};

}  // namespace Norik
