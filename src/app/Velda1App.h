// Cvelda1App: the application object. It builds the viewer around the core at start and owns,
// for the whole run, the user port, the document templates, the main window and the criteria of
// the attribute search started from the application.
//
// Start-up (InitInstance), in this order: the settings and the folders of the base (--base DIR
// overrides them for the run), the first-run question about a desktop launcher, the templates
// of document texts and then of document lists, the main window, the file named on the command
// line (opened through the templates; none opens nothing), the main window shown maximised, and
// one list window at the classifier root.
//
// The application ends the command route: it opens list windows (161, 135), the attribute search
// when no list window is active (133), the quick-search line (400; QuickSearchShell.h, whose
// index is prepared once the first list has loaded the tables), the base information (134), the about box (57664) and
// the help (164). It also carries out what the data model asks of the windows: opening a document text, the attribute
// search dialog and a new window with a search result.
//
// Text windows: the text template makes a Cvelda1Doc and its Cvelda1View. A list's Open asks the
// template for a new window every time (OpenDocumentText); a link in a text goes through
// OpenOrActivateDocument, which brings the window already showing that document to the front.
// A text opened from a search's list marks the words searched for (QuickSearchShell::WordsToMark).
// A link followed, a bookmark or a jump inside a text is a step of the history of places
// (NavigationCommands), which also answers the commands of the bookmarks and of the citing documents.
// Every wait of a text window is the user port's one wait window, and the copies handed to the word
// processor are removed when the application object goes; those a run that was killed left behind
// go at the next start.
// User-interface thread only; one object per run (tests may make one after another).
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Helpers/DocumentCopy.h"
#include "app/DialogFocusReturn.h"
#include "frame/CommandTarget.h"
#include "frame/qt/Document.h"
#include "frame/qt/QtUserPort.h"
#include "showdata/SearchRequest.h"
#include "views/DocumentTextLoader.h"

namespace Norik {

class CListDocument;
class CMainFrame;
class Cvelda1View;
class IProfile;
class QuickSearchShell;
class NavigationCommands;
class DeskCommands;
class RecentCommands;

class Cvelda1App : public QObject, public ICommandTarget, private IDocumentWindows {
    Q_OBJECT
public:
    struct Options {
        std::optional<std::string> baseFolder;  // --base DIR (a path in the local encoding)
        QString fileName;                       // a file named on the command line; empty: none
        QString desktopFolder;                  // where the first-run launcher goes; empty: the desktop
    };

    // profile holds the settings and must outlive the object. The crash handler is installed for
    // the object's life; crashMessageHelper is the program it starts to tell the user where the
    // report went (empty: none).
    explicit Cvelda1App(IProfile& profile, const std::string& crashMessageHelper = {});
    ~Cvelda1App() override;

    // The start-up sequence; false when the program cannot start (the process then ends).
    bool InitInstance(const Options& options);

    // A new list window at the classifier root ("Классификатор").
    void OpenListWindow();
    // A new, empty list window (the first steps of OpenListWindow); null when none can be made.
    CListDocument* NewListWindow();
    // Opens path through the templates as a new window (the text template for document texts);
    // null when it cannot be opened.
    CDocument* OpenDocumentFile(const QString& path);
    // Activates a window that shows path already, else opens it as OpenDocumentFile does.
    CDocument* OpenOrActivateDocument(const QString& path);

    CMainFrame* mainFrame() const { return m_mainFrame.get(); }
    // The history of places, the bookmarks and the citing documents.
    NavigationCommands* navigation() const { return m_navigation.get(); }
    // "Документ ссылается на…" and the citing link a citing document opens at.
    DeskCommands* desk() const { return m_desk.get(); }
    // The documents read lately.
    RecentCommands* recent() const { return m_recent.get(); }
    IUserPort& userPort() { return m_userPort; }
    ShowData::SearchRequest& searchRequest() { return m_searchRequest; }
    const std::vector<std::unique_ptr<CDocTemplate>>& templates() const { return m_templates; }
    CDocTemplate* textTemplate() const { return m_textTemplate; }
    QuickSearchShell* quickSearch() const { return m_quickSearch.get(); }

    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

private:
    bool OpenDocumentText(const std::string& path) override;
    void RunAttributeSearch(ShowData::SearchRequest& request, const std::vector<std::int16_t>* listNumbers) override;
    void OpenResultListWindow(const std::vector<std::int16_t>& numbers,
                              const ShowData::SearchRequest& request) override;

    void OfferDesktopLauncher(const QString& desktopFolder);
    void ReportDamagedTables();
    CDocTemplate* RegisterTextTemplate();
    CDocTemplate* RegisterListTemplate();
    WaitHooks TextWaitHooks();
    CDocument* OpenDocument(CDocTemplate& docTemplate, const QString& path);
    // Opens or activates the text of a document number; its view, or null.
    Cvelda1View* OpenText(std::int16_t number);
    // The view of the text window of document; null for none or another kind of window.
    Cvelda1View* TextViewOf(const CDocument* document) const;
    void OpenCitingList(std::int16_t cited, const std::vector<std::int16_t>& numbers, const QString& title);
    void OpenOrderedList(const std::vector<std::int16_t>& numbers, const QString& title);

    void ShowAboutBox();
    void OpenHelp();
    void ShowBaseInformation();
    // The information card of a document, modal over parent (null: the main window).
    void ShowDocumentCard(int number, QWidget* parent = nullptr);
    void RunAttributeSearchDialog(ShowData::SearchRequest& request, const std::vector<std::int16_t>* listNumbers);

    IProfile& m_profile;
    CQtUserPort m_userPort;
    // The copies handed to the word processor; they go after every window that made them.
    TemporaryCopies m_temporaryCopies;
    DialogFocusReturn m_dialogFocusReturn;
    ShowData::SearchRequest m_searchRequest;
    std::vector<std::unique_ptr<CDocTemplate>> m_templates;
    CDocTemplate* m_textTemplate = nullptr;
    std::unique_ptr<CMainFrame> m_mainFrame;
    // The search line and its index; goes before the main window that holds its widgets.
    std::unique_ptr<QuickSearchShell> m_quickSearch;
    std::unique_ptr<NavigationCommands> m_navigation;
    std::unique_ptr<DeskCommands> m_desk;
    std::unique_ptr<RecentCommands> m_recent;
    bool m_crashHandlerInstalled = false;
};

}  // namespace Norik
