// The commands that move the reader between places of the texts: the history of places ("Назад"
// Alt+Left, "Вперёд" Alt+Right), the bookmarks (Ctrl+D adds one, the "Закладки" menu lists them,
// the bookmarks window renames and deletes them) and "Ссылки на документ", the list of the
// documents that cite the document of the active text window or of the selected list row.
//
// Going to a place opens its document through the application (activating a window that shows it
// already, reopening one that was closed) and shows the position. A place whose document has no
// row in the base any more says so instead. The application asks this object about the commands
// before its own. User-interface thread only; the frame, the port and the profile must outlive it.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "app/CitingDocuments.h"
#include "frame/Bookmarks.h"
#include "frame/CommandTarget.h"
#include "frame/NavigationHistory.h"

class QAction;
class QMenu;

namespace Norik {

class CDocument;
class CMainFrame;
class Cvelda1View;
class IProfile;
class IUserPort;

class NavigationCommands : public QObject, public ICommandTarget {
    Q_OBJECT
public:
    struct Services {
        // Opens the text of a document number, or activates the window showing it; its view, or
        // null when it could not be opened (the user has been told).
        std::function<Cvelda1View*(std::int16_t number)> openText;
        // Opens a list window of the documents numbers that cite cited, titled title.
        std::function<void(std::int16_t cited, const std::vector<std::int16_t>& numbers, const QString& title)>
            openList;
        CitingDocuments citing;
    };

    NavigationCommands(CMainFrame& frame, IUserPort& userPort, IProfile& profile, Services services);

    // Lists the bookmarks at the end of menu each time it opens.
    void AttachBookmarksMenu(QMenu* menu);

    // The user went from one place to another (a link, a jump inside a text).
    void RecordStep(const TextPlace& from, const TextPlace& to);
    // Where the user is in the text window that shows document; none when no window shows it.
    std::optional<TextPlace> PlaceIn(const CDocument* document) const;

    // Opens the document of place and shows the position; false when the document is gone or
    // could not be opened.
    bool GoTo(const TextPlace& place);
    void OpenBookmark(std::size_t index);
    Bookmarks& bookmarks() { return m_bookmarks; }
    const NavigationHistory& history() const { return m_history; }

    // The document of the active text window or of the list's selected document row.
    std::optional<std::int16_t> CommandDocument() const;

    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

    // The program's texts (UTF-8).
    static const char* const kCaption;
    static const char* const kDocumentGone;
    static const char* const kIndexNotReady;
    static const char* const kIndexDamaged;
    static const char* const kNotCited;

private:
    Cvelda1View* ActiveText() const;
    std::optional<TextPlace> Here() const;
    void AddBookmark();
    void ShowBookmarksWindow();
    void ShowCitingDocuments(std::int16_t number);
    void FillBookmarksMenu(QMenu* menu);
    void Tell(const QString& text);

    CMainFrame& m_frame;
    IUserPort& m_userPort;
    Services m_services;
    NavigationHistory m_history;
    Bookmarks m_bookmarks;
    QList<QAction*> m_bookmarkActions;
};

}  // namespace Norik
