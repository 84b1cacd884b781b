// Commands on the active text window for desk work.
//
// References both ways, to the place. "Документ ссылается на…" lists the documents the text of the
// active window (or of the list's selected row) links to, in the order their first links appear, as a list window whose
// rows open each document at its top. The citing documents' list ("Ссылки на документ") is noted here with the document
// it was made for, so that a document opened from it shows its citing link, selected.
//
// "Печатать статью" (Ctrl+Shift+P) prints the article the caret is in (PartPrinting.h).
//
// The application asks this object about its commands after the history's. User-interface thread
// only; the frame and the port must outlive it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "frame/CommandTarget.h"
#include "views/DocumentTextLoader.h"

namespace Norik {

class CChildFrame;
class CDocument;
class CMainFrame;
class Cvelda1View;
class IUserPort;

class DeskCommands : public QObject, public ICommandTarget {
    Q_OBJECT
public:
    // Opens a list window of numbers in the order given, titled title.
    using OpenOrderedList = std::function<void(const std::vector<std::int16_t>& numbers, const QString& title)>;

    // commandDocument: the document of the active text window or of the list's selected row; wait:
    // shown while a text not open in a window is read.
    DeskCommands(CMainFrame& frame, IUserPort& userPort, OpenOrderedList openList,
                 std::function<std::optional<std::int16_t>()> commandDocument, WaitHooks wait);

    // list (a list window's document) lists the documents that cite cited.
    void NoteCitingList(const CDocument* list, std::int16_t cited);
    // The document the list in window was made to show the citations of; none for another window.
    std::optional<std::int16_t> CitedThrough(CChildFrame* window) const;

    // Lists the documents the text of document number links to (read from its window when one is
    // active, else from the base); false (the user told why) when there are none.
    bool ShowLinkedDocuments(std::int16_t number);

    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

    // The program's texts (UTF-8).
    static const char* const kLinksTitle;  // %1: the document's title
    static const char* const kNoLinks;

private:
    Cvelda1View* ActiveText() const;

    CMainFrame& m_frame;
    IUserPort& m_userPort;
    OpenOrderedList m_openList;
    std::function<std::optional<std::int16_t>()> m_commandDocument;
    WaitHooks m_wait;
    std::vector<std::pair<QPointer<const CDocument>, std::int16_t>> m_citingLists;
};

}  // namespace Norik
