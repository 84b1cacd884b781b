// What a reader at the desk relies on: the status of a lapsed document where it is read, links
// both ways to the place, printing a part, bookmarks in folders and the documents read lately.
#include <QLabel>
#include <QSpinBox>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTreeWidget>
#include <sstream>

#include "ViewsFixture.h"
#include "frame/Bookmarks.h"
#include "platform/Profile.h"
#include "richtext/qt/RtfDocumentBuilder.h"
#include "views/BookmarksWindow.h"
#include "views/LapsedDocument.h"
#include "views/PartPrinting.h"
#include "views/TextPlace.h"
#include "views/TextPrinting.h"
#include "views/TextPrintout.h"

namespace NorikTest {
namespace {

using Norik::Cvelda1View;

// Document 1 (in force) cites 2 (lapsed) and 5 (in force), 2 twice and once into its article 2;
// 5 cites 1 in its second paragraph.
struct DeskBase {
    TempDir dir;
    std::string folder;

    DeskBase() {
        MemorySource source = SmallSource();
        source.texts["000001.rtf"] =
            Rtf("Статья 1. Общие положения\\par См. " + LinkField("5", "закон о сборах") + " и " +
                LinkField("2", "письмо") + ".\\par Статья 2. Порядок\\par Как сказано в " +
                LinkField("2\" \\\\l \"ст. 2", "статье 2 письма") + ", снова " + LinkField("5", "закон") + ".");
        source.texts["000002.rtf"] =
            Rtf("Статья 1. Земельный налог\\par Уплачивается по месту нахождения участка.\\par Статья 2. Сроки\\par "
                "Не позднее 1 февраля.\\par Статья 3. Льготы\\par Нет.");
        // Long enough for several printed pages.
        std::string sections;
        for (int i = 1; i <= 300; ++i) sections += "Сбор " + std::to_string(i) + " устанавливается решением.\\par ";
        source.texts["000005.rtf"] = Rtf("Местные сборы\\par " + sections + "По " + LinkField("1", "закону") + ".");
        folder = dir.folder() + "desk";
        Norik::BuildReport report;
        std::vector<std::string> problems;
        if (!Norik::BuildBase(source, folder, Norik::BuildOptions{1}, report, problems))
            ADD_FAILURE() << (problems.empty() ? std::string("build failed") : problems.front());
    }
};

DeskBase& Desk() {
    static DeskBase base;
    return base;
}

class DeskTest : public ViewsTest {
protected:
    void SetUp() override {
        ViewsTest::SetUp();
        Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = Desk().folder});
        ShowData::ResetTablesForTests();
        ASSERT_EQ(ShowData::CShowClass::Init(m_port), Norik::kOk);
    }
    // The character format of the first occurrence of text in view's document.
    static QTextCharFormat FormatOf(const Cvelda1View& view, const QString& text) {
        QTextCursor found = view.document()->find(text);
        EXPECT_FALSE(found.isNull()) << text.toStdString();
        return found.charFormat();
    }
};

TEST_F(DeskTest, ALapsedDocumentSaysSoAboveItsTextAndLinksToItAreStruckThrough) {
    Cvelda1View* lapsed = Open("000002");
    ASSERT_TRUE(lapsed);
    auto* band = lapsed->findChild<QLabel*>(QStringLiteral("lapsedBand"));
    ASSERT_TRUE(band);
    EXPECT_TRUE(band->isVisible());
    EXPECT_EQ(band->text().toStdString(),
              "Документ утратил силу. Дата введения: 02.07.2004 г. Дата включения в базу: 07.07.2004 г.");
    // The text starts below the band, not under it.
    EXPECT_GE(lapsed->viewport()->geometry().top(), band->geometry().bottom());

    Cvelda1View* inForce = Open("000001");
    ASSERT_TRUE(inForce);
    EXPECT_FALSE(inForce->findChild<QLabel*>(QStringLiteral("lapsedBand")));
    const QTextCharFormat toLapsed = FormatOf(*inForce, QStringLiteral("письмо"));
    EXPECT_TRUE(toLapsed.fontStrikeOut());
    EXPECT_EQ(toLapsed.toolTip().toStdString(), "Документ утратил силу");
    const QTextCharFormat toInForce = FormatOf(*inForce, QStringLiteral("закон о сборах"));
    EXPECT_FALSE(toInForce.fontStrikeOut());
    EXPECT_TRUE(toInForce.toolTip().isEmpty());
}

TEST_F(DeskTest, TheArticleOfTheCaretPrintsFromItsHeadingToTheNextArticle) {
    Cvelda1View* view = Open("000002");
    ASSERT_TRUE(view);
    QTextCursor caret = view->document()->find(QStringLiteral("февраля"));
    ASSERT_FALSE(caret.isNull());
    view->setTextCursor(caret);
    const std::optional<std::pair<int, int>> article = Norik::CaretArticle(*view);
    ASSERT_TRUE(article);
    TempDir out;
    PdfPrinter printer(out.file("article.pdf"));
    ASSERT_TRUE(Norik::PrintRange(*view, printer, *article));
    const CommandResult text = RunShell("pdftotext -layout '" + out.file("article.pdf") + "' -");
    ASSERT_EQ(text.status, 0);
    std::vector<std::string> lines;
    std::istringstream stream(text.output);
    for (std::string line; std::getline(stream, line);) {
        line.erase(0, line.find_first_not_of(" \f"));
        if (!line.empty()) lines.push_back(line);
    }
    // The head of the page is the title, its foot the page number: the article lies between.
    ASSERT_GE(lines.size(), 4u) << text.output;
    EXPECT_EQ(lines[1], "Статья 2. Сроки") << text.output;
    EXPECT_EQ(lines[2], "Не позднее 1 февраля.") << text.output;
    EXPECT_EQ(text.output.find("Статья 3"), std::string::npos) << text.output;
    EXPECT_EQ(text.output.find("Статья 1"), std::string::npos) << text.output;
}

TEST_F(DeskTest, ThePreviewGoesToThePageTypedAndSaysHowManyThereAre) {
    Cvelda1View* view = Open("000005");
    ASSERT_TRUE(view);
    ASSERT_TRUE(view->GetDocument()->EnsureWhole());
    Norik::TextPrintout printout(*view->document(), view->GetDocument()->title(), QString());
    PdfPrinter printer(m_tempFolder.file("preview.pdf"));
    printout.SetPageSize(Norik::PrintableSize(printer));
    Norik::TextPrintPreview preview(printout, printer, view);
    preview.show();
    preview.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&preview));
    ASSERT_TRUE(QTest::qWaitFor([&] { return preview.layoutComplete(); }, 60000));
    QApplication::processEvents();
    QSpinBox* field = preview.pageField();
    const int pages = printout.pageCount();
    ASSERT_GE(pages, 5);
    EXPECT_EQ(field->text(), QStringLiteral("1 из %1").arg(pages));
    QTest::keyClick(&preview, Qt::Key_G, Qt::ControlModifier);
    EXPECT_TRUE(field->hasFocus());
    QTest::keyClicks(field, QStringLiteral("3"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(field->text(), QStringLiteral("3 из %1").arg(pages));
    EXPECT_TRUE(preview.statusText().startsWith(QStringLiteral("Страница 3 из"))) << preview.statusText().toStdString();
}

TEST_F(DeskTest, BookmarksKeepTheirFolderAndNoteAcrossARestart) {
    Norik::MemoryProfile profile;
    {
        Norik::Bookmarks bookmarks(profile);
        bookmarks.Add({Norik::TextPlace{2, 40}, "Сроки"});
        bookmarks.Add({Norik::TextPlace{5, 0}, "Сборы"});
        Norik::CBookmarksWindow window(bookmarks);
        window.askFolder = [](const QString&, const QStringList&) { return std::optional(QStringLiteral("Земля")); };
        window.askNote = [](const QString&) { return std::optional(QStringLiteral("Сверить с письмом\nот марта")); };
        window.show();
        window.Select(0);
        QTest::keyClick(window.tree(), Qt::Key_M, Qt::ControlModifier);
        QTest::keyClick(window.tree(), Qt::Key_E, Qt::ControlModifier);
        // The bookmark left without a folder goes: Delete on it.
        window.Select(1);
        QTest::keyClick(window.tree(), Qt::Key_Delete);
    }
    // The next session reads them from the settings.
    Norik::Bookmarks again(profile);
    ASSERT_EQ(again.all().size(), 1u);
    EXPECT_EQ(again.all()[0].name, "Сроки");
    EXPECT_EQ(again.all()[0].folder, "Земля");
    EXPECT_EQ(again.all()[0].note, "Сверить с письмом\nот марта");
    Norik::CBookmarksWindow window(again);
    ASSERT_EQ(window.tree()->topLevelItemCount(), 1);
    QTreeWidgetItem* folder = window.tree()->topLevelItem(0);
    EXPECT_EQ(folder->text(0), QStringLiteral("Земля"));
    ASSERT_EQ(folder->childCount(), 1);
    EXPECT_EQ(folder->child(0)->text(1), QStringLiteral("Сверить с письмом от марта"));
}

TEST_F(DeskTest, ABookmarkIsOfferedUnderTheDocumentsTypeDateAndNumber) {
    EXPECT_EQ(Norik::BookmarkName(2, QStringLiteral("ст. 2")),
              QStringLiteral("Письмо от 02.07.2004 № 03-05/12, ст. 2"));
    EXPECT_EQ(Norik::BookmarkName(5, QString()), QStringLiteral("Федеральный закон от 01.07.2004 № 12-ФЗ"));
}

}  // namespace
}  // namespace NorikTest
