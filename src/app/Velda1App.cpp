#include "app/Velda1App.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include "Helpers/Cp1251.h"
#include "Helpers/DataDamage.h"
#include "Helpers/Folders.h"
#include "Helpers/qt/QtText.h"
#include "Helpers/qt/WorkerThread.h"
#include "app/AboutDlg.h"
#include "app/DeskCommands.h"
#include "app/DesktopLauncher.h"
#include "app/HelpLauncher.h"
#include "app/IndexCitingDocuments.h"
#include "app/NavigationCommands.h"
#include "app/QuickSearchShell.h"
#include "app/RecentCommands.h"
#include "app/Resources.h"
#include "diagnostics/CrashReport.h"
#include "frame/CommandIds.h"
#include "frame/CommandTable.h"
#include "frame/qt/ChildFrm.h"
#include "frame/qt/MainFrm.h"
#include "frame/qt/SplashWnd.h"
#include "platform/Profile.h"
#include "platform/qt/SettingsProfile.h"
#include "search/qt/CFindDialog.h"
#include "showdata/ListDoc.h"
#include "views/BaseInfo.h"
#include "views/Cvelda1Doc.h"
#include "views/Cvelda1View.h"
#include "views/InfoDoc.h"
#include "views/LinkPlaces.h"
#include "views/ListDocView.h"
#include "views/ListDocument.h"

namespace Norik {

namespace {

const char* const kListTypeName = "Список";

}  // namespace

Cvelda1App::Cvelda1App(IProfile& profile, const std::string& crashMessageHelper)
    : m_profile(profile), m_userPort(*this), m_temporaryCopies(GetTempFolder()) {
    // Numbers, dates and Qt's own texts follow the Russian conventions whatever the user's locale.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    // A crash from here on leaves its report in the error log and tells the user where it is.
    m_crashHandlerInstalled = CrashHandler::Install(crashMessageHelper);
    GiveSignalStacks(*QThreadPool::globalInstance());
    InitResources();
    if (QCoreApplication* application = QCoreApplication::instance())
        application->installEventFilter(&m_dialogFocusReturn);
}

Cvelda1App::~Cvelda1App() {
    if (QCoreApplication* application = QCoreApplication::instance())
        application->removeEventFilter(&m_dialogFocusReturn);
    m_userPort.SetDialogParent(nullptr);
    m_quickSearch.reset();
    // The windows go before the templates and the port they use.
    m_recent.reset();
    m_desk.reset();
    m_navigation.reset();
    m_mainFrame.reset();
    ConfigureFolders(FolderSettings{});
    if (m_crashHandlerInstalled) CrashHandler::Remove();
}

bool Cvelda1App::InitInstance(const Options& options) {
    // The settings: where the base lies, whether the launcher question was asked.
    QCoreApplication::setOrganizationName(QString::fromUtf8(kSettingsOrganisation));
    QCoreApplication::setApplicationName(QString::fromUtf8(kSettingsApplication));
    ConfigureFolders(FolderSettings{
        .profile = &m_profile, .userPort = &m_userPort, .programFolder = {}, .baseOverride = options.baseFolder});

    RemoveAbandonedCopyFolders(GetTempFolder());
    OfferDesktopLauncher(options.desktopFolder);

    // Texts first, then lists: the order in which a named file looks for its template.
    if (!RegisterTextTemplate() || !RegisterListTemplate()) return false;

    m_mainFrame = std::make_unique<CMainFrame>(*this, m_userPort);
    m_mainFrame->setObjectName(QStringLiteral("mainFrame"));
    if (!m_mainFrame->Create(LoadTextResource(QStringLiteral("IDS_BASE_NAME")))) return false;
    m_userPort.SetDialogParent(m_mainFrame.get());
    m_quickSearch = std::make_unique<QuickSearchShell>(
        *m_mainFrame, m_userPort, [this](int number) { ShowDocumentCard(number); }, new QSettings(m_mainFrame.get()));
    m_navigation = std::make_unique<NavigationCommands>(
        *m_mainFrame, m_userPort, m_profile,
        NavigationCommands::Services{
            .openText = [this](std::int16_t number) { return OpenText(number); },
            .openList = [this](std::int16_t cited, const std::vector<std::int16_t>& numbers,
                               const QString& title) { OpenCitingList(cited, numbers, title); },
            .citing = [index = std::make_shared<IndexCitingDocuments>([this] {
                           return m_quickSearch->ReadyIndexFolder();
                       })](std::int16_t number) { return (*index)(number); }});
    m_desk = std::make_unique<DeskCommands>(
        *m_mainFrame, m_userPort,
        [this](const std::vector<std::int16_t>& numbers, const QString& title) { OpenOrderedList(numbers, title); },
        [this] { return m_navigation->CommandDocument(); }, TextWaitHooks());
    m_recent = std::make_unique<RecentCommands>(*m_mainFrame, m_profile, *m_navigation);
    // The bookmarks are listed in the menu of the command that adds one.
    const std::string_view bookmarksMenu = FindCommand(Command::kAddBookmark)->menu;
    for (QAction* menu : m_mainFrame->menuBar()->actions()) {
        if (menu->menu() && menu->text() == QString::fromUtf8(bookmarksMenu.data(), std::ssize(bookmarksMenu)))
            m_navigation->AttachBookmarksMenu(menu->menu());
    }

    // A named file opens through the templates; without one no empty document is made.
    CDocument* named = options.fileName.isEmpty() ? nullptr : OpenDocumentFile(options.fileName);
    if (!options.fileName.isEmpty() && !named) return false;

    // Maximised; the screen's whole free area first, for a desktop without a window manager.
    if (QScreen* screen = m_mainFrame->screen()) m_mainFrame->setGeometry(screen->availableGeometry());
    m_mainFrame->showMaximized();
    // Active at once, so that the shortcuts work before the user has clicked into the window.
    m_mainFrame->activateWindow();
    m_mainFrame->repaint();

    // The splash window stays above the main window for its time, whatever the window manager did.
    if (CSplashWnd* splash = CSplashWnd::Current()) splash->raise();

    OpenListWindow();
    // The document the user named is what they came for: it is the active window, the classifier
    // behind it.
    if (named) {
        for (CChildFrame* child : m_mainFrame->childFrames())
            if (&child->document() == named) m_mainFrame->ActivateChild(child);
    }
    ReportDamagedTables();
    // The tables are loaded: the index is looked for, or its build started, once the window is up.
    QTimer::singleShot(0, m_quickSearch.get(), [this] { m_quickSearch->Prepare(OpenBaseIndexSource()); });
    return true;
}

// Tables read only in part still give lists; the user must know that they may be incomplete.
void Cvelda1App::ReportDamagedTables() {
    std::string damaged;
    for (int table = 0; table < ShowData::kModelTableCount; ++table)
        if (const DataDamage* damage = ShowData::TableDamage(static_cast<ShowData::ModelTable>(table)))
            damaged += "\n" + damage->UserText();
    if (damaged.empty()) return;
    m_userPort.MessageBox(Utf8ToCp1251("База данных повреждена, списки документов могут быть неполными:" + damaged),
                          Utf8ToCp1251("База документов"), MessageButtons::Ok, MessageIcon::Exclamation);
}

// The first-run question; whatever the answer, it is asked once per user.
void Cvelda1App::OfferDesktopLauncher(const QString& desktopFolder) {
    if (m_profile.GetProfileInt(kSectionDefault, kValueInstall, 0) == 0) {
        const MessageAnswer answer =
            ShowMessageBox(nullptr, QStringLiteral("Создать ярлык на рабочем столе?"), QStringLiteral("База данных"),
                           MessageButtons::YesNo, MessageIcon::None);
        if (answer == MessageAnswer::Yes) {
            const QString folder = desktopFolder.isEmpty()
                                       ? QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)
                                       : desktopFolder;
            // A launcher that cannot be written is skipped without a word.
            CreateDesktopLauncher(folder, QCoreApplication::applicationFilePath(),
                                  LoadTextResource(QStringLiteral("IDS_BASE_NAME")));
        }
    }
    m_profile.WriteProfileInt(kSectionDefault, kValueInstall, 1);
}

// The document-text windows: Cvelda1Doc and its view Cvelda1View. Their waits are the user
// port's, so that the wait window of a list's Open and the wait of the text's reading are one; a
// link opens through the application, activating the window that shows its document already. The
// copy for the word processor goes to the desktop's handler for RTF files (the document's default).
CDocTemplate* Cvelda1App::RegisterTextTemplate() {
    m_templates.push_back(std::make_unique<CDocTemplate>(
        129, QStringLiteral("\nДокумент\nДокумент\nДокументы Norik(*.rtf)\n.rtf\nvelda1.Document\nvelda1.Document"),
        [this] {
            TextWindowContext context;
            context.userPort = &m_userPort;
            context.profile = &m_profile;
            context.temporaryCopies = &m_temporaryCopies;
            context.wait = TextWaitHooks();
            context.showInformation = [this](std::int16_t number, QWidget* parent) {
                ShowDocumentCard(number, parent);
            };
            context.recordStep = [this](const TextPlace& from, const TextPlace& to) {
                if (m_navigation) m_navigation->RecordStep(from, to);
            };
            return std::make_unique<Cvelda1Doc>(std::move(context));
        },
        [this](CDocument& document) -> CView* {
            auto* text = static_cast<Cvelda1Doc*>(&document);
            auto* view = new Cvelda1View(text);
            // After the click that asked for it has been handled: the new window must not open
            // from inside the view's mouse handling. The link is a step from its own position.
            connect(
                view, &Cvelda1View::openDocumentRequested, this,
                [this, source = QPointer<Cvelda1Doc>(text)](const QString& fileName, int linkPosition) {
                    const std::optional<TextPlace> from =
                        source ? std::optional(TextPlace{source->number(), linkPosition}) : std::nullopt;
                    // A link into an article of the document leads to the article.
                    const QString place = source && source->textDocument()
                                              ? LinkPlaceAt(*source->textDocument(), linkPosition)
                                              : QString();
                    const CDocument* opened = OpenOrActivateDocument(fileName);
                    if (Cvelda1View* view = opened && !place.isEmpty() ? TextViewOf(opened) : nullptr)
                        ShowNamedPlace(*view, place);
                    if (!from || !opened || !m_navigation) return;
                    if (const std::optional<TextPlace> to = m_navigation->PlaceIn(opened))
                        m_navigation->RecordStep(*from, *to);
                },
                Qt::QueuedConnection);
            return view;
        }));
    m_textTemplate = m_templates.back().get();
    return m_textTemplate;
}

// A text is waited for in the user port's one wait window, which offers to give the wait up.
WaitHooks Cvelda1App::TextWaitHooks() {
    return WaitHooks{[this] { m_userPort.BeginWait(); }, [this] { m_userPort.EndWait(); },
                     [this](std::function<void()> cancel) { m_userPort.OfferCancel(std::move(cancel)); }};
}

CDocTemplate* Cvelda1App::RegisterListTemplate() {
    m_templates.push_back(std::make_unique<CDocTemplate>(
        159, QStringLiteral("\nСписок\nСписок\n\n\n"), [this] { return std::make_unique<CListDocument>(m_userPort); },
        [this](CDocument& document) -> CView* {
            auto* view = new CListDocView(static_cast<CListDocument&>(document), m_userPort,
                                          [this](int number) { ShowDocumentCard(number); });
            view->SetProfile(&m_profile);
            return view;
        }));
    return m_templates.back().get();
}

CDocument* Cvelda1App::OpenDocument(CDocTemplate& docTemplate, const QString& path) {
    if (!m_mainFrame) return nullptr;
    // A text takes its title, its links and its card from the tables; a text named on the command
    // line opens before any list has loaded them. A failure is the first list's to report.
    if (&docTemplate == m_textTemplate) ShowData::CShowClass::Init(m_userPort);
    std::unique_ptr<CDocument> document = docTemplate.CreateNewDocument();
    if (!document) return nullptr;
    if (path.isEmpty()) {
        document->SetTitle(docTemplate.NextUntitledTitle());
        if (!document->OnNewDocument()) return nullptr;
    } else {
        document->SetPathName(path);
        document->SetTitle(QFileInfo(path).fileName());
        if (!document->OnOpenDocument(path)) return nullptr;
    }
    CView* view = docTemplate.CreateView(*document);
    if (!view) return nullptr;
    CDocument* opened = document.get();
    m_mainFrame->CreateChildFrame(std::move(document), view);
    return opened;
}

CListDocument* Cvelda1App::NewListWindow() {
    for (const auto& docTemplate : m_templates) {
        if (docTemplate->GetDocString(CDocTemplate::kDocName) == QString::fromUtf8(kListTypeName)) {
            return static_cast<CListDocument*>(OpenDocument(*docTemplate, QString()));
        }
    }
    return nullptr;
}

void Cvelda1App::OpenListWindow() {
    if (CListDocument* list = NewListWindow()) list->model().ShowNode(0, std::string());
}

CDocument* Cvelda1App::OpenDocumentFile(const QString& path) {
    // The template whose extension the file has, else the first one (document texts).
    CDocTemplate* chosen = nullptr;
    for (const auto& docTemplate : m_templates) {
        if (docTemplate->MatchesExtension(path)) {
            chosen = docTemplate.get();
            break;
        }
    }
    if (!chosen && !m_templates.empty()) chosen = m_templates.front().get();
    return chosen ? OpenDocument(*chosen, path) : nullptr;
}

CDocument* Cvelda1App::OpenOrActivateDocument(const QString& path) {
    if (m_mainFrame) {
        for (CChildFrame* child : m_mainFrame->childFrames()) {
            if (!child->document().pathName().isEmpty() && child->document().pathName() == path) {
                m_mainFrame->ActivateChild(child);
                return &child->document();
            }
        }
    }
    return OpenDocumentFile(path);
}

Cvelda1View* Cvelda1App::OpenText(std::int16_t number) {
    return TextViewOf(OpenOrActivateDocument(QString::fromStdString(ShowData::DocFileName(number))));
}

Cvelda1View* Cvelda1App::TextViewOf(const CDocument* document) const {
    if (!document || !m_mainFrame) return nullptr;
    for (CChildFrame* child : m_mainFrame->childFrames())
        if (&child->document() == document) return dynamic_cast<Cvelda1View*>(&child->view());
    return nullptr;
}

void Cvelda1App::OpenCitingList(std::int16_t cited, const std::vector<std::int16_t>& numbers, const QString& title) {
    CListDocument* list = NewListWindow();
    if (!list) return;
    list->model().ShowSearchResult(numbers, ShowData::SearchRequest{});
    list->model().SetTitle(FromQString(title));
    // Its documents open at their link to cited.
    if (m_desk) m_desk->NoteCitingList(list, cited);
}

void Cvelda1App::OpenOrderedList(const std::vector<std::int16_t>& numbers, const QString& title) {
    CListDocument* list = NewListWindow();
    if (!list) return;
    list->model().ShowRankedResult(numbers);
    list->model().SetTitle(FromQString(title));
}

bool Cvelda1App::OpenDocumentText(const std::string& path) {
    if (!m_textTemplate) return false;
    const QString words = m_mainFrame ? QuickSearchShell::WordsToMark(m_mainFrame->activeChild()) : QString();
    const std::optional<std::int16_t> cited =
        m_mainFrame && m_desk ? m_desk->CitedThrough(m_mainFrame->activeChild()) : std::nullopt;
    CDocument* opened = OpenDocument(*m_textTemplate, ToQString(path));
    if (Cvelda1View* text = TextViewOf(opened)) {
        if (!words.isEmpty()) text->HighlightWords(words);
        // A document from the list of those citing another opens at its citing link.
        if (cited) ShowLinkTo(*text, *cited);
    }
    return opened != nullptr;
}

void Cvelda1App::RunAttributeSearch(ShowData::SearchRequest& request, const std::vector<std::int16_t>* listNumbers) {
    RunAttributeSearchDialog(request, listNumbers);
}

void Cvelda1App::OpenResultListWindow(const std::vector<std::int16_t>& numbers,
                                      const ShowData::SearchRequest& request) {
    if (CListDocument* list = NewListWindow()) list->model().ShowSearchResult(numbers, request);
}

bool Cvelda1App::UpdateCommand(int id, CommandState& state) {
    if (m_navigation && m_navigation->UpdateCommand(id, state)) return true;
    if (m_desk && m_desk->UpdateCommand(id, state)) return true;
    if (m_recent && m_recent->UpdateCommand(id, state)) return true;
    switch (id) {
        case Command::kClassifier:
        case Command::kAllDocuments:
        case Command::kAttributeSearch:
        case Command::kBaseInformation:
        case Command::kAppAbout:
        case Command::kHelp:
            state.enabled = true;
            return true;
        case Command::kQuickSearch:
            state.enabled = m_quickSearch != nullptr;
            return true;
        default:
            return false;
    }
}

bool Cvelda1App::ExecuteCommand(int id) {
    if (m_navigation && m_navigation->ExecuteCommand(id)) return true;
    if (m_desk && m_desk->ExecuteCommand(id)) return true;
    if (m_recent && m_recent->ExecuteCommand(id)) return true;
    switch (id) {
        case Command::kClassifier:
        case Command::kAllDocuments:
            OpenListWindow();
            return true;
        case Command::kAttributeSearch:
            m_userPort.RunAttributeSearch(m_searchRequest, nullptr);
            return true;
        case Command::kBaseInformation:
            ShowBaseInformation();
            return true;
        case Command::kAppAbout:
            ShowAboutBox();
            return true;
        case Command::kQuickSearch:
            if (m_quickSearch) m_quickSearch->FocusLine();
            return true;
        case Command::kHelp:
            OpenHelp();
            return true;
        default:
            return false;
    }
}

void Cvelda1App::ShowBaseInformation() {
    CBaseInfo dialog(m_mainFrame.get());
    dialog.exec();
}

void Cvelda1App::ShowAboutBox() {
    CAboutDlg dialog(m_mainFrame.get());
    dialog.exec();
}

void Cvelda1App::OpenHelp() { Norik::OpenHelp(m_mainFrame.get()); }

void Cvelda1App::ShowDocumentCard(int number, QWidget* parent) {
    CInfoDoc card(static_cast<std::int16_t>(number), parent ? parent : m_mainFrame.get());
    card.exec();
}

void Cvelda1App::RunAttributeSearchDialog(ShowData::SearchRequest& request,
                                          const std::vector<std::int16_t>* listNumbers) {
    RunFindDialog(m_mainFrame.get(), request, listNumbers, m_userPort);
}

}  // namespace Norik
