#include <gtest/gtest.h>

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QUrl>

#include "TestSupport.h"
#include "app/HelpLauncher.h"
#include "app/HelpWindow.h"
#include "app/Resources.h"

using namespace Norik;

namespace {

TEST(Resources, EveryPictureTheShellAsksForIsBundled) {
    for (const char* name : {"save", "print-preview", "print", "copy-to-word", "back", "classifier", "attribute-search",
                             "find", "sort-date", "sort-title", "sort-number", "sort-type", "information", "help"}) {
        QImage icon(QStringLiteral(":/toolbar/%1.png").arg(QLatin1String(name)));
        EXPECT_EQ(icon.size(), QSize(24, 24)) << name;
    }
    EXPECT_FALSE(QImage(QStringLiteral(":/app/norik.png")).isNull());
    EXPECT_FALSE(QImage(QStringLiteral(":/splash/splash.png")).isNull());
    EXPECT_TRUE(QFile::exists(QStringLiteral(":/wait/wait.gif")));
    EXPECT_EQ(LoadTextResource(QStringLiteral("IDS_BASE_NAME")), QStringLiteral("База документов"));
    EXPECT_EQ(LoadTextResource(QStringLiteral("NO_SUCH_TEXT")), QString());
}

// Every link and picture of every help page points at something that exists, so no page of the
// guide leads the reader into an empty window.
TEST(Help, EveryLinkOfTheGuideLeadsSomewhere) {
    const QRegularExpression reference(QStringLiteral(R"re((?:href|src)="([^"#]+)")re"));
    int pages = 0;
    for (QDirIterator it(QStringLiteral(":/help"), {QStringLiteral("*.html")}); it.hasNext();) {
        const QString page = it.next();
        ++pages;
        QFile file(page);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        for (auto match = reference.globalMatch(html); match.hasNext();) {
            const QString target = match.next().captured(1);
            if (target.startsWith(QLatin1String("http"))) continue;
            const QUrl resolved = QUrl(QStringLiteral("qrc") + page).resolved(QUrl(target));
            EXPECT_TRUE(QFile::exists(QLatin1Char(':') + resolved.path()))
                << page.toStdString() << " -> " << target.toStdString();
        }
    }
    EXPECT_GE(pages, 8);
}

// Without nrhelp.chm beside the executable F1 opens the bundled guide, and a second F1 reuses the
// window; keyboard navigation goes to a page and back.
TEST(Help, WithoutTheHelpFileTheBundledGuideOpens) {
    ASSERT_FALSE(QFile::exists(HelpFilePath()));
    OpenHelp(nullptr);
    CHelpWindow* window = CHelpWindow::Current();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    QTextBrowser* browser = window->Browser();
    EXPECT_EQ(browser->source(), QUrl(QStringLiteral("qrc:/help/index.html")));
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Разделы справки")));

    browser->setSource(QUrl(QStringLiteral("keys.html")));
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Ctrl+Backspace")));
    EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("Клавиши")));
    browser->backward();
    EXPECT_EQ(browser->source(), QUrl(QStringLiteral("qrc:/help/index.html")));

    OpenHelp(nullptr);
    EXPECT_EQ(CHelpWindow::Current(), window);
    window->close();
}

TEST(Resources, TheLauncherIsAValidDesktopEntry) {
    const std::string file = std::string(NORIK_SOURCE_DIR) + "/res/norik.desktop";
    NorikTest::CommandResult result = NorikTest::RunShell("desktop-file-validate '" + file + "' 2>&1");
    EXPECT_EQ(result.status, 0) << result.output;
    const std::string text = NorikTest::ReadFile(file);
    EXPECT_NE(text.find("\nName=База документов\n"), std::string::npos);
    EXPECT_NE(text.find("\nExec=norik\n"), std::string::npos);
    EXPECT_NE(text.find("\nIcon=norik\n"), std::string::npos);
}

}  // namespace
