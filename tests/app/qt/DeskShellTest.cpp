// References both ways to the place, through the real application object: a citing document opens
// at its citing link, "Документ ссылается на…" lists the documents linked to in order, and a link
// into an article opens the article.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <set>

#include "QtTestSupport.h"
#include "TestSupport.h"
#include "app/FullTextService.h"
#include "app/QuickSearchShell.h"
#include "app/Velda1App.h"
#include "frame/CommandIds.h"
#include "frame/qt/ChildFrm.h"
#include "frame/qt/MainFrm.h"
#include "platform/Profile.h"
#include "showdata/ListDoc.h"
#include "views/Cvelda1View.h"
#include "views/ListDocModel.h"
#include "views/ListDocView.h"
#include "views/RecentWindow.h"

namespace NorikTest {
namespace {

using namespace Norik;

std::string Link(const std::string& target, const std::string& text) {
    return "{\\field{\\*\\fldinst{HYPERLINK \"" + target + "\"}}{\\fldrslt{\\ul " + text + "}}}";
}

class DeskShellTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_base = new TempDir;
        // Document 1 links to 5, then to 2 twice (the second time into its article 2), then to 5
        // again; 5 links to 1 after a paragraph of its own.
        MemorySource source = SmallSource();
        source.texts["000001.rtf"] =
            Rtf("Статья 1. Общие положения\\par См. " + Link("5", "закон о сборах") + " и " + Link("2", "письмо") +
                ".\\par Статья 2. Порядок\\par Как сказано в " + Link("2\" \\\\l \"ст. 2", "статье 2 письма") +
                ", снова " + Link("5", "закон") + ".");
        source.texts["000002.rtf"] =
            Rtf("Статья 1. Земельный налог\\par Уплачивается по месту нахождения.\\par Статья 2. Сроки\\par Не "
                "позднее 1 февраля.\\par Статья 3. Льготы\\par Нет.");
        source.texts["000005.rtf"] =
            Rtf("Местные сборы\\par Устанавливаются органами.\\par Как велит " + Link("1", "закон о налоге") + ".");
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
        m_profile.WriteProfileInt(kSectionDefault, kValueInstall, 1);
        Start();
    }
    // A session of the viewer: a new application object over the same settings.
    void Start() {
        m_app.reset();
        ShowData::ResetTablesForTests();
        Cvelda1App::Options options;
        options.baseFolder = s_base->file("base");
        m_app = std::make_unique<Cvelda1App>(m_profile);
        ASSERT_TRUE(m_app->InitInstance(options));
        // Shortcuts reach the active window only.
        frame().activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([this] { return QApplication::activeWindow() == &frame(); }));
    }
    void TearDown() override {
        m_app.reset();
        ShowData::ResetTablesForTests();
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
    void OpenRow(int row) {
        CListDocView* view = listView();
        ASSERT_NE(view, nullptr);
        view->setCurrentIndex(view->model()->index(row, 0));
        QTest::keyClick(view, Qt::Key_Return);
        QApplication::processEvents();
    }
    // The rows of the active list, as shown.
    QStringList Rows() {
        QStringList rows;
        for (int row = 0; listView() && row < listView()->model()->rowCount(); ++row)
            rows << listView()->model()->index(row, 0).data().toString();
        return rows;
    }
    // Opens a text window of document number through a list of the root's first section.
    void OpenText(const QString& title) {
        OpenRow(0);  // Налоги и сборы
        for (int section = 0; section < 2 && !textView(); ++section) {
            OpenRow(section);
            const int row = static_cast<int>(Rows().indexOf(QRegularExpression(".*" + title + ".*")));
            if (row >= 0) {
                OpenRow(row);
                return;
            }
            QTest::keyClick(listView(), Qt::Key_Backspace, Qt::ControlModifier);
        }
    }

    static inline TempDir* s_base = nullptr;
    ErrorLogCapture m_log;
    MemoryProfile m_profile;
    std::unique_ptr<Cvelda1App> m_app;
};

TEST_F(DeskShellTest, ACitingDocumentOpensAtItsCitingLinkMarked) {
    // The citing documents come from the full-text index the quick search makes ready.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return m_app->quickSearch()->service().state() == FullTextService::State::Ready; }, 120000));
    OpenText(QStringLiteral("О местных сборах"));
    ASSERT_NE(textView(), nullptr);
    frame().RouteCommand(Command::kCitedBy);
    ASSERT_NE(listView(), nullptr);
    ASSERT_EQ(listView()->model()->rowCount(), 1);
    OpenRow(0);
    Cvelda1View* citing = textView();
    ASSERT_NE(citing, nullptr);
    ASSERT_EQ(frame().activeChild()->document().pathName(), QStringLiteral("000001"));
    QTest::qWait(20);
    EXPECT_EQ(citing->textCursor().selectedText(), QStringLiteral("закон о сборах"));
}

TEST_F(DeskShellTest, TheDocumentsLinkedToAreListedInTheOrderOfTheirFirstLinks) {
    // From the list's row, and from the text's window.
    OpenRow(0);
    OpenRow(0);  // Федеральные налоги: documents 2 (newer) and 1
    listView()->setCurrentIndex(listView()->model()->index(1, 0));
    ASSERT_TRUE(frame().action(Command::kLinksFrom)->isEnabled());
    frame().RouteCommand(Command::kLinksFrom);
    const QStringList fromRow = Rows();
    m_app->OpenListWindow();
    OpenText(QStringLiteral("О налоге на добавленную"));
    ASSERT_NE(textView(), nullptr);
    ASSERT_TRUE(frame().action(Command::kLinksFrom)->isEnabled());
    frame().RouteCommand(Command::kLinksFrom);
    ASSERT_NE(listView(), nullptr);
    EXPECT_EQ(frame().activeChild()->windowTitle(),
              QStringLiteral("Документ ссылается на: О налоге на добавленную стоимость"));
    const QStringList rows = Rows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0].contains(QStringLiteral("О местных сборах"))) << rows[0].toStdString();
    EXPECT_TRUE(rows[1].contains(QStringLiteral("земельного налога"))) << rows[1].toStdString();
    EXPECT_EQ(fromRow, rows);
    OpenRow(1);
    ASSERT_NE(textView(), nullptr);
    EXPECT_EQ(textView()->textCursor().position(), 0);
}

TEST_F(DeskShellTest, ALinkIntoAnArticleOpensTheArticle) {
    OpenText(QStringLiteral("О налоге на добавленную"));
    Cvelda1View* view = textView();
    ASSERT_NE(view, nullptr);
    const QTextCursor found = view->document()->find(QStringLiteral("статье 2 письма"));
    ASSERT_FALSE(found.isNull());
    view->FollowLinkAt(found.selectionStart() + 1);
    QApplication::processEvents();
    QTest::qWait(20);
    ASSERT_EQ(frame().activeChild()->document().pathName(), QStringLiteral("000002"));
    const QTextCursor caret = textView()->textCursor();
    EXPECT_TRUE(caret.block().text().startsWith(QStringLiteral("Статья 2. Сроки")))
        << caret.block().text().toStdString();
}

TEST_F(DeskShellTest, ASectionCountsTheDocumentsReachableUnderItOnce) {
    ASSERT_NE(listView(), nullptr);
    const QModelIndex top = listView()->model()->index(0, 0);
    EXPECT_EQ(top.data(CListDocModel::kDocumentCountRole).toInt(), 3);
    EXPECT_TRUE(top.data(Qt::AccessibleTextRole).toString().endsWith(QStringLiteral(", документов: 3")));
    OpenRow(0);
    // Document 2 is filed under both subsections: each counts it, their parent once.
    std::set<QString> reachable;
    for (int section = 0; section < 2; ++section) {
        const int count = listView()->model()->index(section, 0).data(CListDocModel::kDocumentCountRole).toInt();
        OpenRow(section);
        EXPECT_FALSE(listView()->model()->index(0, 0).data(CListDocModel::kDocumentCountRole).isValid());
        EXPECT_EQ(Rows().size(), count);
        for (const QString& row : Rows()) reachable.insert(row);
        QTest::keyClick(listView(), Qt::Key_Backspace, Qt::ControlModifier);
    }
    EXPECT_EQ(reachable.size(), 3u);
}

TEST_F(DeskShellTest, TheDocumentsReadLatelyAreKeptWithTheirPlacesForTheNextSession) {
    OpenText(QStringLiteral("О местных сборах"));
    m_app->OpenListWindow();
    OpenText(QStringLiteral("О налоге на добавленную"));
    Cvelda1View* view = textView();
    ASSERT_NE(view, nullptr);
    const int place = static_cast<int>(view->document()->toPlainText().indexOf(QStringLiteral("Статья 2")));
    QTextCursor caret(view->document());
    caret.setPosition(place);
    view->setTextCursor(caret);
    Start();  // the run ends, the next begins

    std::vector<QString> shown;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* window = qobject_cast<CRecentWindow*>(QApplication::activeModalWidget());
        if (!window || !window->isVisible()) return;
        for (int row = 0; row < window->list()->count(); ++row) shown.push_back(window->list()->item(row)->text());
        QTest::keyClick(window->list(), Qt::Key_Return);
    });
    answer.start(5);
    QTest::keyClick(&frame(), Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    answer.stop();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], QStringLiteral("О налоге на добавленную стоимость — ст. 2"));
    EXPECT_EQ(shown[1], QStringLiteral("О местных сборах"));
    ASSERT_NE(textView(), nullptr);
    QApplication::processEvents();
    EXPECT_EQ(frame().activeChild()->document().pathName(), QStringLiteral("000001"));
    EXPECT_EQ(textView()->textCursor().position(), place);
}

}  // namespace
}  // namespace NorikTest
