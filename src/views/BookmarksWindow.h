// CBookmarksWindow: the window of the user's bookmarks. It lists them by name (the tool tip says
// which document and position), renames the selected one in place of its name ("Переименовать",
// F2), deletes it ("Удалить", Delete) and goes to it ("Перейти", Enter or a double click, which
// closes the window with the bookmark chosen). Every change is kept at once. User-interface thread
// only; bookmarks must outlive the window.
#pragma once

#include <QDialog>
#include <QString>
#include <cstddef>
#include <optional>

class QListWidget;
class QPushButton;

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
    QListWidget* list() const { return m_list; }

    void RenameSelected();
    void DeleteSelected();
    void GoToSelected();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Fill(int select);
    void UpdateButtons();
    int Selected() const;

    Bookmarks& m_bookmarks;
    QListWidget* m_list = nullptr;
    QPushButton* m_go = nullptr;
    QPushButton* m_rename = nullptr;
    QPushButton* m_delete = nullptr;
    std::optional<std::size_t> m_chosen;
};

}  // namespace Norik
