// The viewer as the user meets it: start-up, the main frame's commands and panes, list windows,
// the close question and the first-run launcher, driven through the real application object.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QListView>
#include <QMdiArea>
#include <QTest>

#include "Helpers/Folders.h"
#include "QtTestSupport.h"
#include "TestSupport.h"
#include "app/ChildFrm.h"
#include "app/CommandIds.h"
#include "app/CommandLine.h"
#include "app/DesktopLauncher.h"
#include "app/MainFrm.h"
#include "app/Velda1App.h"
#include "platform/Profile.h"
#include "showdata/ListDoc.h"
#include "views/ListDocView.h"
#include "views/ListDocument.h"

namespace NorikTest {
namespace {

using namespace Norik;

class ShellTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_base = new TempDir;
        BuildSmallBase(s_base->file("base"));
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
    QString position() { return frame().statusPane(1)->text(); }
    bool enabled(int id) { return frame().action(id)->isEnabled(); }
    bool checked(int id) { return frame().action(id)->isChecked(); }
    // Selects row and presses Enter in the active list, as the user would.
    void OpenRow(int row) {
        CListDocView* view = listView();
        view->setCurrentIndex(view->model()->index(row, 0));
        QTest::keyClick(view, Qt::Key_Return);
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

TEST_F(ShellTest, ADocumentWhoseTextCannotOpenAsksForTheDiskAndIsMarkedVisited) {
    ASSERT_TRUE(Start());
    OpenRow(0);
    OpenRow(0);
    const QString title = frame().activeChild()->windowTitle();
    MessageBoxAnswerer cancel(QStringLiteral("Отмена"));
    OpenRow(1);
    ASSERT_EQ(cancel.texts().size(), 1u);
    EXPECT_TRUE(cancel.texts()[0].startsWith(QStringLiteral("Вставьте диск ")));
    EXPECT_EQ(frame().childFrames().size(), 1);
    EXPECT_EQ(frame().activeChild()->windowTitle(), title);
    EXPECT_TRUE(listView()->model()->index(1, 0).data(CListDocModel::kVisitedRole).toBool());
    // Opening a row after the first clears its selection before the model reacts.
    EXPECT_EQ(listView()->SelectedRow(), -1);
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

TEST(DesktopLauncherTest, QuotesTheExecutableAsTheDesktopReadsIt) {
    EXPECT_EQ(DesktopExecValue("/opt/norik/norik"), "/opt/norik/norik");
    EXPECT_EQ(DesktopExecValue("/home/u/My Apps/norik"), "\"/home/u/My Apps/norik\"");
    // Inside quotes $ and \ take a backslash; the value's own escaping doubles every backslash.
    EXPECT_EQ(DesktopExecValue("/a b/$x\\y%"), "\"/a b/\\\\$x\\\\\\\\y%%\"");
}

}  // namespace
}  // namespace NorikTest
