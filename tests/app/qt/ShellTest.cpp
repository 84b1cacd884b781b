// The viewer as the user meets it: start-up, the main frame's commands and panes, list windows,
// text windows opened from lists and by links, the information card, the close question and the
// first-run launcher, driven through the real application object.
#include <gtest/gtest.h>
#include <qpa/qwindowsysteminterface.h>

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMdiArea>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>

#include "../../../bench/RichTextCorpus.h"
#include "Helpers/Folders.h"
#include "QtTestSupport.h"
#include "TestSupport.h"
#include "Version.h"
#include "app/CommandLine.h"
#include "app/DesktopLauncher.h"
#include "app/NavigationCommands.h"
#include "app/QuickSearchShell.h"
#include "app/Velda1App.h"
#include "frame/Bookmarks.h"
#include "frame/CommandIds.h"
#include "frame/qt/ChildFrm.h"
#include "frame/qt/MainFrm.h"
#include "frame/qt/WaitDialog.h"
#include "platform/Profile.h"
#include "showdata/ListDoc.h"
#include "views/Cvelda1View.h"
#include "views/InfoDoc.h"
#include "views/ListDocView.h"
#include "views/ListDocument.h"
#include "views/QuickSearchLine.h"
#include "views/QuickSearchView.h"
#include "views/TextHighlights.h"
#include "views/TextPage.h"

namespace NorikTest {
namespace {

using namespace Norik;

// Answers the next message boxes in order, each with the button whose text is given, recording
// each box's text; a box shown after the script is used up stays for the test to fail on.
class ScriptedAnswers {
public:
    explicit ScriptedAnswers(std::vector<QString> buttons) : m_buttons(std::move(buttons)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start(5);
    }
    const std::vector<QString>& texts() const { return m_texts; }

private:
    void Poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || m_texts.size() >= m_buttons.size()) return;
        for (QAbstractButton* button : box->buttons()) {
            if (button->text().remove('&') == m_buttons[m_texts.size()]) {
                m_texts.push_back(box->text());
                button->click();
                return;
            }
        }
    }

    std::vector<QString> m_buttons;
    QTimer m_timer;
    std::vector<QString> m_texts;
};

// Counts the times a wait window appears.
class WaitWindowCounter : public QObject {
public:
    WaitWindowCounter() { qApp->installEventFilter(this); }
    ~WaitWindowCounter() override { qApp->removeEventFilter(this); }
    int shown = 0;

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Show && qobject_cast<CWaitDialog*>(object)) ++shown;
        return false;
    }
};

// The plain text of the information card that opens next, closed with its button.
class CardReader {
public:
    CardReader() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* card = qobject_cast<CInfoDoc*>(QApplication::activeModalWidget());
            // Read once it has the keyboard, as the user would.
            if (!card || !card->isVisible() || !card->isActiveWindow()) return;
            m_texts.push_back(card->field()->toPlainText());
            card->closeButton()->click();
        });
        m_timer.start(5);
    }
    const QStringList& texts() const { return m_texts; }

private:
    QTimer m_timer;
    QStringList m_texts;
};

std::string LinkField(const std::string& target, const std::string& text) {
    return "{\\field{\\*\\fldinst{HYPERLINK \"" + target + "\"}}{\\fldrslt{\\ul " + text + "}}}";
}

class ShellTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_base = new TempDir;
        // The small base; document 1 links to document 5 and to a number the base lacks.
        MemorySource source = SmallSource();
        source.texts["000001.rtf"] = Rtf("Статья 1. Налогоплательщики налога. См. " + LinkField("5", "закон о сборах") +
                                         " и " + LinkField("77", "неизвестный акт") + ".");
        Norik::BuildReport report;
        std::vector<std::string> problems;
        ASSERT_TRUE(Norik::BuildBase(source, s_base->file("base"), Norik::BuildOptions{.threads = 1}, report, problems))
            << (problems.empty() ? std::string() : problems.front());
    }
    static void TearDownTestSuite() {
        delete s_base;
        s_base = nullptr;
    }

    void SetUp() override {
        ShowData::ResetTablesForTests();
        m_profile.WriteProfileInt(kSectionDefault, kValueInstall, 1);
    }
    void TearDown() override {
        m_app.reset();
        ShowData::ResetTablesForTests();
    }

    bool Start(Cvelda1App::Options options = {}) {
        options.baseFolder = s_base->file("base");
        m_app = std::make_unique<Cvelda1App>(m_profile);
        if (!m_app->InitInstance(options)) return false;
        // Shortcuts reach the active window only, and the offscreen platform activates every window
        // it shows, the splash window too.
        frame().activateWindow();
        return QTest::qWaitFor([this] { return QApplication::activeWindow() == &frame(); });
    }
    CMainFrame& frame() { return *m_app->mainFrame(); }
    CListDocView* listView() {
        CChildFrame* child = frame().activeChild();
        return child ? dynamic_cast<CListDocView*>(&child->view()) : nullptr;
    }
    Cvelda1View* textView() {
        CChildFrame* child = frame().activeChild();
        return child ? dynamic_cast<Cvelda1View*>(&child->view()) : nullptr;
    }
    QString position() { return frame().statusPane(1)->text(); }
    // Whether the keys go to widget once the events of the moment have been handled.
    bool HasKeyboard(QWidget* widget) {
        return QTest::qWaitFor(
            [&] { return QApplication::activeWindow() == &frame() && QApplication::focusWidget() == widget; }, 1000);
    }
    bool enabled(int id) { return frame().action(id)->isEnabled(); }
    bool checked(int id) { return frame().action(id)->isChecked(); }
    // Selects row and presses Enter in the active list, as the user would.
    void OpenRow(int row) {
        CListDocView* view = listView();
        ASSERT_NE(view, nullptr);
        view->setCurrentIndex(view->model()->index(row, 0));
        QTest::keyClick(view, Qt::Key_Return);
    }
    // Activates the window whose document was opened with path (a list: an empty path).
    void Activate(const QString& path) {
        for (CChildFrame* child : frame().childFrames())
            if (child->document().pathName() == path) frame().ActivateChild(child);
    }
    // Follows the link whose visible text is text in the active text window, as a click does.
    void FollowLink(const QString& text) {
        Cvelda1View* view = textView();
        const QTextCursor found = view->document()->find(text);
        ASSERT_FALSE(found.isNull()) << text.toStdString();
        view->FollowLinkAt(found.selectionStart() + 1);
        // The window opens once the click has been handled.
        QApplication::processEvents();
    }

    static inline TempDir* s_base = nullptr;
    ErrorLogCapture m_log;
    MemoryProfile m_profile;
    std::unique_ptr<Cvelda1App> m_app;
};

TEST_F(ShellTest, StartsWithOneMaximisedClassifierWindow) {
    ASSERT_TRUE(Start());
    EXPECT_TRUE(frame().windowState() & Qt::WindowMaximized);
    const QList<CChildFrame*> children = frame().childFrames();
    ASSERT_EQ(children.size(), 1);
    EXPECT_TRUE(children[0]->isMaximized());
    EXPECT_EQ(children[0]->windowTitle(), QStringLiteral("Классификатор"));
    EXPECT_EQ(frame().menuState(), CMainFrame::MenuState::List);
    EXPECT_EQ(position(), QStringLiteral("000001:000001"));
    EXPECT_EQ(frame().statusPane(0)->text(), QStringLiteral("Для справки, нажмите F1"));
}

TEST_F(ShellTest, OpeningASectionRetitlesAndBackRestoresTheLevel) {
    ASSERT_TRUE(Start());
    EXPECT_FALSE(enabled(Command::kBack));
    OpenRow(0);  // Налоги и сборы
    EXPECT_EQ(frame().activeChild()->windowTitle(), QStringLiteral("Классификатор-Налоги и сборы"));
    EXPECT_EQ(position(), QStringLiteral("000001:000002"));
    EXPECT_TRUE(enabled(Command::kBack));
    QTest::keyClick(listView(), Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(frame().activeChild()->windowTitle(), QStringLiteral("Классификатор"));
    EXPECT_EQ(listView()->model()->rowCount(), 1);
    EXPECT_FALSE(enabled(Command::kBack));
    EXPECT_EQ(frame().childFrames().size(), 1);
}

TEST_F(ShellTest, SortCommandsFollowTheKindOfList) {
    ASSERT_TRUE(Start());
    for (int id : {Command::kSortByDate, Command::kSortByTitle, Command::kSortByType, Command::kSortByNumber,
                   Command::kSortDescending, Command::kDocumentInformation}) {
        EXPECT_FALSE(enabled(id)) << id;
        EXPECT_FALSE(checked(id)) << id;
    }
    EXPECT_TRUE(enabled(Command::kFileNumber));
    EXPECT_FALSE(enabled(Command::kFileSave));
    OpenRow(0);
    OpenRow(0);  // Федеральные налоги: documents 2 (newer) and 1
    ASSERT_FALSE(listView()->rowModel().data(listView()->model()->index(0, 0), CListDocModel::kFolderRole).toBool());
    EXPECT_TRUE(enabled(Command::kSortByTitle));
    EXPECT_TRUE(checked(Command::kSortByDate));
    EXPECT_FALSE(checked(Command::kSortDescending));
    const auto firstRow = [&] { return listView()->model()->index(0, 0).data().toString(); };
    EXPECT_TRUE(firstRow().contains(QStringLiteral("По вопросу")));

    frame().action(Command::kSortByTitle)->trigger();
    EXPECT_TRUE(checked(Command::kSortByTitle));
    EXPECT_FALSE(checked(Command::kSortByDate));
    EXPECT_TRUE(firstRow().contains(QStringLiteral("О налоге")));
    frame().action(Command::kSortDescending)->trigger();
    EXPECT_TRUE(checked(Command::kSortDescending));
    EXPECT_TRUE(firstRow().contains(QStringLiteral("По вопросу")));

    // The choice stays with the view; the list "Назад" leads to shows no sort state.
    frame().action(Command::kBack)->trigger();
    EXPECT_FALSE(checked(Command::kSortByTitle));
    EXPECT_FALSE(enabled(Command::kSortDescending));
}

TEST_F(ShellTest, PositionPaneFollowsTheSelection) {
    ASSERT_TRUE(Start());
    OpenRow(0);
    CListDocView* view = listView();
    view->setCurrentIndex(view->model()->index(1, 0));
    EXPECT_EQ(position(), QStringLiteral("000002:000002"));
    view->clearSelection();
    EXPECT_EQ(position(), QStringLiteral("всего: 000002"));
    frame().activeChild()->close();
    QApplication::processEvents();
    EXPECT_EQ(position(), QStringLiteral("Просмотр"));
}

TEST_F(ShellTest, WithoutAChildOnlyTheApplicationCommandsWork) {
    ASSERT_TRUE(Start());
    frame().activeChild()->close();
    QApplication::processEvents();
    EXPECT_TRUE(frame().childFrames().isEmpty());
    EXPECT_EQ(frame().menuState(), CMainFrame::MenuState::NoChild);
    for (int id : {Command::kFileSave, Command::kFilePrint, Command::kFilePrintPreview, Command::kEditCopy,
                   Command::kEditSelectAll, Command::kEditFind, Command::kCopyToWord, Command::kSortByDate,
                   Command::kSortByTitle, Command::kSortDescending, Command::kBack, Command::kDocumentInformation,
                   Command::kFileNumber, Command::kWindowCascade}) {
        EXPECT_FALSE(enabled(id)) << id;
    }
    for (int id : {Command::kClassifier, Command::kAttributeSearch, Command::kBaseInformation, Command::kHelp,
                   Command::kSplash, Command::kAppAbout, Command::kAppExit}) {
        EXPECT_TRUE(enabled(id)) << id;
    }
    // Both 161 and 135 open a classifier window, however many are open.
    QTest::keyClick(&frame(), Qt::Key_K, Qt::ControlModifier);
    EXPECT_TRUE(frame().RouteCommand(Command::kAllDocuments));
    ASSERT_EQ(frame().childFrames().size(), 2);
    for (CChildFrame* child : frame().childFrames()) EXPECT_EQ(child->windowTitle(), QStringLiteral("Классификатор"));
}

TEST_F(ShellTest, ASearchResultOpensAsAnUntitledListWithoutBack) {
    ASSERT_TRUE(Start());
    m_app->userPort().OpenResultListWindow({1, 5}, ShowData::SearchRequest{});
    ASSERT_EQ(frame().childFrames().size(), 2);
    EXPECT_EQ(frame().activeChild()->windowTitle(), QStringLiteral("Список2"));
    EXPECT_EQ(listView()->model()->rowCount(), 2);
    EXPECT_FALSE(enabled(Command::kBack));
    EXPECT_TRUE(enabled(Command::kSortByDate));
}

TEST_F(ShellTest, AListOpensANewTextWindowEveryTimeWithOneWaitWindowEach) {
    ASSERT_TRUE(Start());
    OpenRow(0);
    OpenRow(0);  // Федеральные налоги: documents 2 and 1
    WaitWindowCounter waits;
    OpenRow(1);
    ASSERT_NE(textView(), nullptr);
    EXPECT_EQ(waits.shown, 1);
    EXPECT_FALSE(QApplication::activeModalWidget());
    CChildFrame* first = frame().activeChild();
    EXPECT_TRUE(first->isMaximized());
    EXPECT_EQ(first->windowTitle(), QStringLiteral("О налоге на добавленную стоимость"));
    EXPECT_EQ(frame().windowTitle(), QStringLiteral("База документов - [О налоге на добавленную стоимость]"));
    EXPECT_TRUE(textView()->document()->toPlainText().contains(QStringLiteral("Налогоплательщики")));
    EXPECT_EQ(frame().menuState(), CMainFrame::MenuState::Text);
    EXPECT_EQ(position(), QStringLiteral("Просмотр"));
    for (int id : {Command::kSortByDate, Command::kSortByTitle, Command::kSortByType, Command::kSortByNumber,
                   Command::kSortDescending})
        EXPECT_FALSE(enabled(id)) << id;
    // The attribute search is the application's: the text window leaves it alone.
    CommandState state;
    EXPECT_FALSE(textView()->UpdateCommand(Command::kAttributeSearch, state));
    EXPECT_FALSE(first->document().UpdateCommand(Command::kAttributeSearch, state));
    EXPECT_TRUE(enabled(Command::kAttributeSearch));
    // Copy follows the selection made in the text.
    EXPECT_FALSE(enabled(Command::kEditCopy));
    textView()->selectAll();
    EXPECT_TRUE(enabled(Command::kEditCopy));

    Activate(QString());
    OpenRow(1);
    EXPECT_EQ(waits.shown, 2);
    ASSERT_EQ(frame().childFrames().size(), 3);
    EXPECT_NE(frame().activeChild(), first);
    EXPECT_EQ(frame().activeChild()->document().pathName(), QStringLiteral("000001"));

    // "Назад" closes the text window.
    frame().RouteCommand(Command::kBack);
    QApplication::processEvents();
    EXPECT_EQ(frame().childFrames().size(), 2);
}

TEST_F(ShellTest, ALinkActivatesTheWindowOfItsDocumentOrOpensOneOrSaysTheLinkIsWrong) {
    ASSERT_TRUE(Start());
    OpenRow(0);
    OpenRow(1);  // Местные налоги: documents 2 (newer) and 5
    OpenRow(1);
    ASSERT_EQ(frame().activeChild()->document().pathName(), QStringLiteral("000005"));
    CChildFrame* five = frame().activeChild();
    Activate(QString());
    frame().RouteCommand(Command::kBack);
    OpenRow(0);
    OpenRow(1);  // document 1
    ASSERT_EQ(frame().childFrames().size(), 3);

    WaitWindowCounter waits;
    FollowLink(QStringLiteral("закон о сборах"));
    EXPECT_EQ(frame().childFrames().size(), 3);
    EXPECT_EQ(frame().activeChild(), five);
    EXPECT_EQ(waits.shown, 0);

    // With that window closed, the link opens the document in a new one.
    five->close();
    QApplication::processEvents();
    Activate(QStringLiteral("000001"));
    FollowLink(QStringLiteral("закон о сборах"));
    ASSERT_EQ(frame().childFrames().size(), 3);
    EXPECT_EQ(frame().activeChild()->document().pathName(), QStringLiteral("000005"));
    EXPECT_EQ(frame().activeChild()->windowTitle(), QStringLiteral("О местных сборах"));
    EXPECT_EQ(waits.shown, 1);

    Activate(QStringLiteral("000001"));
    MessageBoxAnswerer ok(QStringLiteral("ОК"));
    FollowLink(QStringLiteral("неизвестный акт"));
    ASSERT_EQ(ok.texts().size(), 1u);
    EXPECT_EQ(ok.texts()[0], QStringLiteral("Неправильная ссылка!"));
    EXPECT_EQ(frame().childFrames().size(), 3);
}

TEST_F(ShellTest, BackAfterALinkReopensTheClosedTextAtTheLinkAndForwardReturns) {
    ASSERT_TRUE(Start());
    OpenRow(0);
    OpenRow(0);  // Федеральные налоги: documents 2 (newer) and 1
    OpenRow(1);
    ASSERT_NE(textView(), nullptr);
    const int link = textView()->document()->find(QStringLiteral("закон о сборах")).selectionStart() + 1;
    FollowLink(QStringLiteral("закон о сборах"));
    ASSERT_EQ(frame().activeChild()->document().pathName(), QStringLiteral("000005"));
    ASSERT_TRUE(HasKeyboard(textView()));
    QTest::keyClick(textView(), Qt::Key_Left, Qt::AltModifier);
    ASSERT_EQ(frame().activeChild()->document().pathName(), QStringLiteral("000001"));
    QTest::keyClick(textView(), Qt::Key_Right, Qt::AltModifier);
    ASSERT_EQ(frame().activeChild()->document().pathName(), QStringLiteral("000005"));

    Activate(QStringLiteral("000001"));
    frame().activeChild()->close();
    QApplication::processEvents();
    Activate(QStringLiteral("000005"));
    QTest::keyClick(textView(), Qt::Key_Left, Qt::AltModifier);
    QApplication::processEvents();
    ASSERT_EQ(frame().activeChild()->document().pathName(), QStringLiteral("000001"));
    EXPECT_EQ(textView()->textCursor().position(), link);
    // The list's own "Назад" is another command, still on Ctrl+Backspace.
    EXPECT_EQ(frame().action(Command::kBack)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Backspace));
}

TEST_F(ShellTest, ABookmarkOfADocumentTheBaseNoLongerHasSaysSo) {
    Bookmarks(m_profile).Add(Bookmark{TextPlace{77, 3}, "Отменённый акт"});
    ASSERT_TRUE(Start());
    MessageBoxAnswerer ok(QStringLiteral("ОК"));
    m_app->navigation()->OpenBookmark(0);
    ASSERT_EQ(ok.texts().size(), 1u);
    EXPECT_EQ(ok.texts()[0], QStringLiteral("Этого документа больше нет в базе."));
    EXPECT_EQ(frame().childFrames().size(), 1);
}

TEST_F(ShellTest, OpeningABookmarkIsAStepBackFromThePlaceLeft) {
    Bookmarks(m_profile).Add(Bookmark{TextPlace{5, 3}, "О местных сборах"});
    ASSERT_TRUE(Start());
    OpenRow(0);
    OpenRow(0);
    OpenRow(1);  // document 1
    ASSERT_NE(textView(), nullptr);
    m_app->navigation()->OpenBookmark(0);
    ASSERT_EQ(frame().activeChild()->document().pathName(), QStringLiteral("000005"));
    ASSERT_TRUE(HasKeyboard(textView()));
    QTest::keyClick(textView(), Qt::Key_Left, Qt::AltModifier);
    QApplication::processEvents();
    EXPECT_EQ(frame().activeChild()->document().pathName(), QStringLiteral("000001"));
}

TEST_F(ShellTest, TheDocumentsCitingTheSelectedRowOpenAsAList) {
    ASSERT_TRUE(Start());
    // The links are read from the index the search line prepares (checked off the window's thread).
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return m_app->quickSearch()->service().state() == FullTextService::State::Ready; }, 120000));
    OpenRow(0);
    OpenRow(1);  // Местные налоги: documents 2 (newer) and 5
    listView()->setCurrentIndex(listView()->model()->index(1, 0));
    MessageBoxAnswerer none(QStringLiteral("ОК"));  // a failure said instead of the list
    frame().RouteCommand(Command::kCitedBy);
    ASSERT_EQ(frame().childFrames().size(), 2);
    EXPECT_EQ(frame().activeChild()->windowTitle(), QStringLiteral("Ссылки на документ: О местных сборах"));
    ASSERT_EQ(listView()->model()->rowCount(), 1);
    EXPECT_TRUE(listView()->model()->index(0, 0).data().toString().contains(QStringLiteral("О налоге на добавленную")));
    EXPECT_EQ(position(), QStringLiteral("000001:000001"));
}

TEST_F(ShellTest, AMissingTextSaysSoThenAsksForTheDiskAndCancelLeavesNoWindow) {
    ASSERT_TRUE(Start());
    OpenRow(0);
    OpenRow(0);
    const QString title = frame().activeChild()->windowTitle();
    const std::string container = s_base->file("base") + "/Norik.sdb";
    std::filesystem::rename(container, container + ".away");
    WaitWindowCounter waits;
    {
        ScriptedAnswers answers({QStringLiteral("ОК"), QStringLiteral("Отмена")});
        OpenRow(1);
        EXPECT_EQ(answers.texts(), (std::vector<QString>{QStringLiteral("Failed to open document."),
                                                         QStringLiteral("Вставьте диск 1")}));
    }
    std::filesystem::rename(container + ".away", container);
    EXPECT_EQ(waits.shown, 1);
    EXPECT_EQ(frame().childFrames().size(), 1);
    EXPECT_EQ(frame().activeChild()->windowTitle(), title);
    EXPECT_TRUE(listView()->model()->index(1, 0).data(CListDocModel::kVisitedRole).toBool());
    // Opening a row after the first clears its selection before the model reacts.
    EXPECT_EQ(listView()->SelectedRow(), -1);
}

TEST_F(ShellTest, TheCardOfAListRowAndOfATextWindowShowsTheirDocument) {
    ASSERT_TRUE(Start());
    OpenRow(0);
    OpenRow(1);  // Местные налоги: documents 2 (newer) and 5
    CardReader cards;
    QTest::keyClick(listView(), Qt::Key_I, Qt::ControlModifier);
    OpenRow(1);
    ASSERT_NE(textView(), nullptr);
    frame().RouteCommand(Command::kDocumentInformation);
    ASSERT_EQ(cards.texts().size(), 2);
    EXPECT_TRUE(cards.texts()[0].contains(QStringLiteral("По вопросу уплаты земельного налога")));
    EXPECT_TRUE(cards.texts()[0].contains(QStringLiteral("Местные налоги")));
    EXPECT_TRUE(cards.texts()[1].contains(QStringLiteral("О местных сборах")));
    EXPECT_FALSE(cards.texts()[1].contains(QStringLiteral("земельного")));
    // The keyboard is back in the main window once the card has gone.
    EXPECT_TRUE(QTest::qWaitFor([this] { return QApplication::activeWindow() == &frame(); }, 1000));
}

TEST_F(ShellTest, AnsweringNoToTheCloseQuestionKeepsEveryWindow) {
    ASSERT_TRUE(Start());
    frame().RouteCommand(Command::kClassifier);
    {
        MessageBoxAnswerer no(QStringLiteral("Нет"));
        EXPECT_FALSE(frame().close());
        ASSERT_EQ(no.texts().size(), 1u);
        EXPECT_EQ(no.texts()[0], QStringLiteral("Закрыть программу?"));
    }
    EXPECT_TRUE(frame().isVisible());
    EXPECT_EQ(frame().childFrames().size(), 2);
    MessageBoxAnswerer yes(QStringLiteral("Да"));
    EXPECT_TRUE(frame().close());
    EXPECT_FALSE(frame().isVisible());
}

TEST_F(ShellTest, TheFirstRunAsksOnceAndWritesAValidLauncher) {
    MemoryProfile firstRun;
    TempDir desktop;
    const std::string folder = desktop.file("Рабочий стол");
    {
        MessageBoxAnswerer yes(QStringLiteral("Да"));
        m_app = std::make_unique<Cvelda1App>(firstRun);
        ASSERT_TRUE(m_app->InitInstance(
            {.baseFolder = s_base->file("base"), .fileName = {}, .desktopFolder = QString::fromStdString(folder)}));
        ASSERT_EQ(yes.texts().size(), 1u);
        EXPECT_EQ(yes.texts()[0], QStringLiteral("Создать ярлык на рабочем столе?"));
        EXPECT_EQ(yes.captions()[0], QStringLiteral("База данных"));
    }
    EXPECT_EQ(firstRun.GetProfileInt(kSectionDefault, kValueInstall, 0), 1);
    std::vector<std::filesystem::path> launchers;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) launchers.push_back(entry.path());
    ASSERT_EQ(launchers.size(), 1u);
    EXPECT_EQ(launchers[0].extension(), ".desktop");
    const auto perms = std::filesystem::status(launchers[0]).permissions();
    EXPECT_NE(perms & std::filesystem::perms::owner_exec, std::filesystem::perms::none);
    const CommandResult valid = RunShell("desktop-file-validate '" + launchers[0].string() + "' 2>&1");
    EXPECT_EQ(valid.status, 0) << valid.output;
    EXPECT_NE(ReadFile(launchers[0].string()).find("Exec="), std::string::npos);

    // The second start asks nothing.
    m_app.reset();
    MessageBoxAnswerer none(QStringLiteral("Да"));
    m_app = std::make_unique<Cvelda1App>(firstRun);
    ASSERT_TRUE(m_app->InitInstance({.baseFolder = s_base->file("base")}));
    EXPECT_TRUE(none.texts().empty());
}

TEST_F(ShellTest, ADocumentNamedOnTheCommandLineOpensWithItsTitleBeforeTheClassifierAndStaysInFront) {
    ASSERT_TRUE(Start({.baseFolder = {}, .fileName = QStringLiteral("000005")}));
    const QList<CChildFrame*> children = frame().childFrames();
    ASSERT_EQ(children.size(), 2);
    EXPECT_EQ(children[0]->windowTitle(), QStringLiteral("О местных сборах"));
    EXPECT_EQ(children[1]->windowTitle(), QStringLiteral("Классификатор"));
    EXPECT_EQ(frame().activeChild(), children[0]);
    EXPECT_TRUE(HasKeyboard(textView()));
}

// The keys go to each new text window at once, and come back to it when the window manager
// activates the wait window after it has gone.
TEST_F(ShellTest, TheKeyboardIsInEveryNewTextWindow) {
    ASSERT_TRUE(Start());
    OpenRow(0);
    OpenRow(0);  // Федеральные налоги: documents 2 and 1
    for (int row : {0, 1}) {
        Activate(QString());
        OpenRow(row);
        ASSERT_NE(textView(), nullptr);
        EXPECT_TRUE(HasKeyboard(textView())) << row;
    }
    auto* wait = frame().findChild<CWaitDialog*>();
    ASSERT_TRUE(wait && wait->windowHandle() && !wait->isVisible());
    QWindowSystemInterface::handleWindowActivated(wait->windowHandle(), Qt::ActiveWindowFocusReason);
    EXPECT_TRUE(HasKeyboard(textView()));
}

// Ctrl+F4, Ctrl+W and "Назад" close a window and bring back the one it was opened from, not the
// first window of the run.
TEST_F(ShellTest, ClosingAWindowReturnsToTheOneItWasOpenedFrom) {
    ASSERT_TRUE(Start());
    CChildFrame* first = frame().activeChild();
    QTest::keyClick(listView(), Qt::Key_K, Qt::ControlModifier);
    CChildFrame* second = frame().activeChild();
    ASSERT_NE(second, first);
    OpenRow(0);
    OpenRow(0);
    OpenRow(1);  // document 1, opened from the second classifier
    CChildFrame* text = frame().activeChild();
    FollowLink(QStringLiteral("закон о сборах"));  // document 5, opened from document 1
    ASSERT_EQ(frame().activeChild()->document().pathName(), QStringLiteral("000005"));
    ASSERT_TRUE(HasKeyboard(textView()));

    QTest::keyClick(textView(), Qt::Key_Backspace, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_EQ(frame().activeChild(), text);
    QTest::keyClick(textView(), Qt::Key_F4, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_EQ(frame().activeChild(), second);
    EXPECT_TRUE(HasKeyboard(listView()));
    QTest::keyClick(listView(), Qt::Key_W, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_EQ(frame().childFrames(), QList<CChildFrame*>{first});
}

// "Каскад" leaves every window most of the area, and every prompt of the status bar is Russian.
TEST_F(ShellTest, CascadeKeepsTheWindowsLargeAndThePromptsAreRussian) {
    ASSERT_TRUE(Start());
    frame().resize(1000, 800);
    frame().RouteCommand(Command::kClassifier);
    frame().RouteCommand(Command::kClassifier);
    frame().action(Command::kWindowCascade)->trigger();
    const QSize area = frame().mdiArea()->viewport()->size();
    QList<QPoint> corners;
    for (CChildFrame* child : frame().childFrames()) {
        EXPECT_FALSE(child->isMaximized());
        EXPECT_GE(child->width(), area.width() * 2 / 3);
        EXPECT_GE(child->height(), area.height() * 2 / 3);
        EXPECT_FALSE(corners.contains(child->pos()));
        corners.push_back(child->pos());
    }
    const QRegularExpression russian(QStringLiteral("^[^A-Za-z]*[А-Яа-яЁё][^A-Za-z]*( MS-Word)?$"));
    for (QAction* action : frame().findChildren<QAction*>()) {
        if (!action->statusTip().isEmpty())
            EXPECT_TRUE(action->statusTip().contains(russian)) << action->statusTip().toStdString();
    }
}

TEST_F(ShellTest, AFileNamedOnTheCommandLineThatCannotOpenEndsTheStart) {
    MessageBoxAnswerer ok(QStringLiteral("ОК"));
    EXPECT_FALSE(Start({.baseFolder = {}, .fileName = QStringLiteral("/nonexistent/000001.rtf")}));
}

TEST(CommandLineTest, ReadsTheBaseFolderAndOneFile) {
    struct Case {
        QStringList arguments;
        std::optional<QString> base;
        QString file;
        bool error;
    };
    const Case cases[] = {
        {{"norik"}, std::nullopt, "", false},
        {{"norik", "--base", "/b", "doc.rtf"}, "/b", "doc.rtf", false},
        {{"norik", "--base=/b b"}, "/b b", "", false},
        {{"norik", "--", "--base"}, std::nullopt, "--base", false},
        {{"norik", "--base"}, std::nullopt, "", true},
        {{"norik", "--verbose"}, std::nullopt, "", true},
        {{"norik", "a.rtf", "b.rtf"}, std::nullopt, "a.rtf", true},
    };
    for (const Case& c : cases) {
        const CommandLine line = ParseCommandLine(c.arguments);
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        EXPECT_EQ(!line.error.isEmpty(), c.error);
        if (c.error) continue;
        EXPECT_EQ(line.baseFolder, c.base);
        EXPECT_EQ(line.fileName, c.file);
    }
}

TEST(CommandLineTest, HelpAndVersionAreAnsweredWhereverTheyStandBeforeTheOptionsEnd) {
    EXPECT_TRUE(HelpOrVersionText({"norik"}).isEmpty());
    EXPECT_TRUE(HelpOrVersionText({"norik", "--base", "/b", "000042"}).isEmpty());
    EXPECT_TRUE(HelpOrVersionText({"norik", "--", "--help"}).isEmpty());
    EXPECT_TRUE(HelpOrVersionText({"norik", "-platform", "offscreen", "-h"}).startsWith("Usage: norik [--base DIR]"));
    EXPECT_EQ(HelpOrVersionText({"norik", "--version", "--help"}), QString("norik ") + Version::kVersion + "\n");
}

TEST(DesktopLauncherTest, QuotesTheExecutableAsTheDesktopReadsIt) {
    EXPECT_EQ(DesktopExecValue("/opt/norik/norik"), "/opt/norik/norik");
    EXPECT_EQ(DesktopExecValue("/home/u/My Apps/norik"), "\"/home/u/My Apps/norik\"");
    // Inside quotes $ and \ take a backslash; the value's own escaping doubles every backslash.
    EXPECT_EQ(DesktopExecValue("/a b/$x\\y%"), "\"/a b/\\\\$x\\\\\\\\y%%\"");
}

}  // namespace
}  // namespace NorikTest

namespace NorikTest {
namespace {

TEST_F(ShellTest, TheSearchLineRunsAQueryIntoARankedListWithPassages) {
    ASSERT_TRUE(Start());
    QuickSearchShell& quick = *m_app->quickSearch();
    ASSERT_TRUE(QTest::qWaitFor([&] { return quick.service().state() == FullTextService::State::Ready; }, 120000));
    // Ctrl+E reaches the line from a list window.
    QTest::keyClick(listView(), Qt::Key_E, Qt::ControlModifier);
    ASSERT_TRUE(HasKeyboard(&quick.line()));
    quick.line().lineEdit()->setText(QStringLiteral("налоги OR налогоплательщики"));
    QTest::keyClick(quick.line().lineEdit(), Qt::Key_Return);
    // The search runs off the window's thread, the pane saying so meanwhile.
    EXPECT_TRUE(quick.service().searching());
    EXPECT_TRUE(quick.progressPane().text().startsWith(QStringLiteral("Идёт поиск")));
    QuickSearchView* result = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (result = dynamic_cast<QuickSearchView*>(&frame().activeChild()->view())) != nullptr; }, 10000));
    EXPECT_EQ(frame().activeChild()->windowTitle(), QStringLiteral("Быстрый поиск: налоги OR налогоплательщики"));
    // Document 1 ranks above document 2, the newer one.
    const FullText::SearchResult ranked =
        FullText::Searcher(quick.service().folder()).Search("налоги OR налогоплательщики", 0x10000, 0);
    ASSERT_GE(ranked.hits.size(), 2u);
    std::vector<int> shown;
    int count = 0;
    int selected = 0;
    ASSERT_TRUE(result->GetListPosition(count, selected));
    for (int row = 0; row < count; ++row)
        shown.push_back(static_cast<CListDocument*>(result->GetDocument())->model().GetNumber(row));
    std::vector<int> expected;
    for (const FullText::Hit& hit : ranked.hits) expected.push_back(hit.number);
    EXPECT_EQ(shown, expected);
    // Ranked: no column says it is sorted, no sort command is checked, until the user sorts.
    EXPECT_EQ(result->list().header()->sortIndicatorSection(), -1);
    EXPECT_FALSE(checked(Command::kSortByDate));
    EXPECT_FALSE(enabled(Command::kSortDescending));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return result->preview().toHtml().contains(QStringLiteral("font-weight:700")); }, 5000));
    // Every hit is shown: the count and the time, nothing more.
    const QRegularExpression status(QStringLiteral("^Найдено документов: %1 \\(\\d+,\\d\\d с\\)$").arg(count));
    EXPECT_TRUE(status.match(frame().statusPane(0)->text()).hasMatch()) << frame().statusPane(0)->text().toStdString();
    EXPECT_EQ(quick.line().queries().value(0), QStringLiteral("налоги OR налогоплательщики"));

    // The document opened from the list has the words marked.
    result->list().setCurrentIndex(result->list().model()->index(0, 0));
    QTest::keyClick(&result->list(), Qt::Key_Return);
    Cvelda1View* text = textView();
    ASSERT_NE(text, nullptr);
    ASSERT_NE(text->highlights(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return text->highlights()->isComplete(); }, 5000));
    EXPECT_GT(text->highlights()->count(), 0u);
}

TEST_F(ShellTest, AQueryEnteredBeforeTheIndexIsReadyRunsOnceItIs) {
    m_app = std::make_unique<Cvelda1App>(m_profile);
    ASSERT_TRUE(m_app->InitInstance(Cvelda1App::Options{.baseFolder = s_base->file("base")}));
    QuickSearchShell& quick = *m_app->quickSearch();
    ASSERT_NE(quick.service().state(), FullTextService::State::Ready);
    QSignalSpy shown(&quick, &QuickSearchShell::resultShown);
    quick.Run(QStringLiteral("налоги"));
    EXPECT_EQ(shown.count(), 0);
    ASSERT_TRUE(shown.wait(120000));
    EXPECT_EQ(frame().activeChild()->windowTitle(), QStringLiteral("Быстрый поиск: налоги"));
}

}  // namespace
}  // namespace NorikTest

namespace NorikTest {
namespace {

TEST_F(ShellTest, TheSearchLineRunsWhatWasTypedAndTheFilterRowRestrictsTheSearch) {
    ASSERT_TRUE(Start());
    QuickSearchShell& quick = *m_app->quickSearch();
    ASSERT_TRUE(QTest::qWaitFor([&] { return quick.service().state() == FullTextService::State::Ready; }, 120000));
    const auto search = [&](const QString& typed) -> QuickSearchView* {
        QTest::keyClick(listView(), Qt::Key_E, Qt::ControlModifier);
        for (const QChar c : typed) QTest::sendKeyEvent(QTest::Click, quick.line().lineEdit(), Qt::Key_unknown, c, {});
        QuickSearchView* shown = nullptr;
        const QMetaObject::Connection connection =
            QObject::connect(&quick, &QuickSearchShell::resultShown, [&](QuickSearchView* view) { shown = view; });
        QTest::keyClick(quick.line().lineEdit(), Qt::Key_Return);
        QTest::qWaitFor([&] { return shown != nullptr; }, 10000);
        QObject::disconnect(connection);
        return shown;
    };
    const auto numbers = [](QuickSearchView* view) {
        std::vector<int> shown;
        int count = 0, selected = 0;
        view->GetListPosition(count, selected);
        for (int row = 0; row < count; ++row)
            shown.push_back(static_cast<CListDocument*>(view->GetDocument())->model().GetNumber(row));
        return shown;
    };
    // An earlier, longer query is offered, never completed into the line.
    quick.line().Remember(QStringLiteral("налоги и сборы"));
    QuickSearchView* all = search(QStringLiteral("налоги"));
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(quick.line().queries().value(0), QStringLiteral("налоги"));
    const std::vector<int> every = numbers(all);
    ASSERT_FALSE(every.empty());

    // Documents not in force alone, and a date that cannot be understood refused.
    quick.statusFilter().setCurrentIndex(2);
    QuickSearchView* notInForce = search(QStringLiteral("налоги"));
    ASSERT_NE(notInForce, nullptr);
    std::vector<int> expected;
    for (const int number : every)
        if (!ShowData::DocRowsByNumber(static_cast<std::int16_t>(number)).front().inForce) expected.push_back(number);
    ASSERT_LT(expected.size(), every.size());
    std::vector<int> shown = numbers(notInForce);
    std::sort(shown.begin(), shown.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(shown, expected);
    quick.dateFromFilter().setText(QStringLiteral("31.02.2020"));
    int results = 0;
    QObject::connect(&quick, &QuickSearchShell::resultShown, [&] { ++results; });
    quick.Run(QStringLiteral("налоги"));
    QTest::qWait(300);
    EXPECT_EQ(results, 0);
    EXPECT_TRUE(quick.progressPane().text().contains(QStringLiteral("31.02.2020")));
}

}  // namespace
}  // namespace NorikTest

namespace NorikTest {
namespace {

// The shell over a base whose document 5 ("О местных сборах") is a code of 3 MB, and document 1
// links to it.
class LongTextShellTest : public ShellTest {
protected:
    static void SetUpTestSuite() {
        s_base = new TempDir;
        MemorySource source = SmallSource();
        source.texts["000001.rtf"] = Rtf("См. " + LinkField("5", "закон о сборах") + ".");
        source.texts["000005.rtf"] = RichTextCorpus::MakeCode(std::size_t{3} * 1024 * 1024, false);
        Norik::BuildReport report;
        std::vector<std::string> problems;
        ASSERT_TRUE(Norik::BuildBase(source, s_base->file("base"), Norik::BuildOptions{.threads = 1}, report, problems))
            << (problems.empty() ? std::string() : problems.front());
    }

    // Opens the long text from the command line's path, as a link or a list does, and waits until
    // it is whole and laid out.
    Cvelda1View* OpenLongText() {
        m_app->OpenDocumentFile(QStringLiteral("000005"));
        Cvelda1View* view = textView();
        if (!view || !QTest::qWaitFor([&] { return view->GetDocument()->isWhole(); }, 300000)) return nullptr;
        if (!QTest::qWaitFor([&] { return PreparedPercent(*view->document()) == 100; }, 300000)) return nullptr;
        return view;
    }
};

// Another window opened in front of a long text (the area shrinks the window behind to its own
// small size) leaves its layout alone; a new width of the text shown is laid out in slices, the
// place being read kept.
TEST_F(LongTextShellTest, LeavingALongTextKeepsItsLayoutAndANewWidthIsLaidOutInSlices) {
    ASSERT_TRUE(Start());
    Cvelda1View* view = OpenLongText();
    ASSERT_NE(view, nullptr);
    CChildFrame* text = frame().activeChild();
    view->JumpTo(view->document()->characterCount() / 2);
    const int place = view->TopPosition();
    const qreal width = view->document()->pageSize().width();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_K, Qt::ControlModifier);
    ASSERT_NE(frame().activeChild(), text);
    QApplication::processEvents();
    EXPECT_NE(view->viewport()->width(), width);
    EXPECT_EQ(view->document()->pageSize().width(), width);
    frame().ActivateChild(text);
    QApplication::processEvents();
    EXPECT_EQ(view->TopPosition(), place);

    frame().resize(frame().width() - 100, frame().height());
    QApplication::processEvents();
    EXPECT_EQ(view->document()->pageSize().width(), view->viewport()->width());
    EXPECT_LT(PreparedPercent(*view->document()), 100);
    ASSERT_TRUE(QTest::qWaitFor([&] { return PreparedPercent(*view->document()) == 100; }, 300000));
    EXPECT_EQ(view->document()->findBlock(view->TopPosition()), view->document()->findBlock(place));
}

}  // namespace
}  // namespace NorikTest

namespace NorikTest {
namespace {

// The keys reach a text just opened, from a list's row and from a link chosen with Tab and Enter:
// PgDn reads on and Ctrl+End goes to the end, sent where the keyboard is.
TEST_F(LongTextShellTest, TheKeysReachATextJustOpened) {
    ASSERT_TRUE(Start());
    const auto press = [](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    };
    const auto readsOn = [&](Cvelda1View* view) {
        if (!view || !HasKeyboard(view)) return false;
        press(Qt::Key_PageDown);
        press(Qt::Key_PageDown);
        if (view->verticalScrollBar()->value() == 0) return false;
        press(Qt::Key_End, Qt::ControlModifier);
        return QTest::qWaitFor([&] { return view->GetDocument()->isWhole() && view->textCursor().atEnd(); }, 300000);
    };
    OpenRow(0);
    OpenRow(1);  // Местные налоги: documents 2 and 5
    CListDocView* list = listView();
    ASSERT_NE(list, nullptr);
    const int row = static_cast<CListDocument*>(list->GetDocument())->model().GetNumber(0) == 5 ? 0 : 1;
    list->setCurrentIndex(list->model()->index(row, 0));
    press(Qt::Key_Return);
    EXPECT_TRUE(readsOn(textView()));

    Activate(QString());
    m_app->OpenDocumentFile(QStringLiteral("000001"));
    ASSERT_TRUE(HasKeyboard(textView()));
    press(Qt::Key_Tab);
    press(Qt::Key_Return);
    QApplication::processEvents();
    ASSERT_EQ(frame().activeChild()->document().pathName(), QStringLiteral("000005"));
    EXPECT_TRUE(readsOn(textView()));
}

}  // namespace
}  // namespace NorikTest
