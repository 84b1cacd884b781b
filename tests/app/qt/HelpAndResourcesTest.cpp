#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTextBrowser>

#include "TestSupport.h"
#include "app/HelpLauncher.h"
#include "app/HelpWindow.h"
#include "app/Resources.h"

using namespace Norik;

namespace {

TEST(Resources, EveryToolBarIconAndTheLauncherAreThere) {
    for (const char* name : {"save", "print-preview", "print", "copy-to-word", "back", "classifier", "attribute-search",
                             "find", "sort-date", "sort-title", "sort-number", "sort-type", "information", "help"}) {
        EXPECT_EQ(QImage(QStringLiteral(":/toolbar/%1.png").arg(QLatin1String(name))).size(), QSize(24, 24)) << name;
    }
    EXPECT_EQ(LoadTextResource(QStringLiteral("IDS_BASE_NAME")), QStringLiteral("База документов"));
    auto result = NorikTest::RunShell("desktop-file-validate " NORIK_SOURCE_DIR "/res/norik.desktop 2>&1");
    EXPECT_EQ(result.status, 0) << result.output;
}

// Every link and picture of the guide exists, so no page leads into an empty window.
TEST(Help, EveryLinkOfTheGuideLeadsSomewhere) {
    const QRegularExpression reference(QStringLiteral(R"re((?:href|src)="([^"#]+)")re"));
    for (QDirIterator it(QStringLiteral(":/help"), {QStringLiteral("*.html")}); it.hasNext();) {
        QFile page(it.next());
        ASSERT_TRUE(page.open(QIODevice::ReadOnly));
        for (auto m = reference.globalMatch(QString::fromUtf8(page.readAll())); m.hasNext();) {
            QUrl target = QUrl(QStringLiteral("qrc") + page.fileName()).resolved(QUrl(m.next().captured(1)));
            EXPECT_TRUE(QFile::exists(':' + target.path()))
                << page.fileName().toStdString() << " " << target.path().toStdString();
        }
    }
}

// Without nrhelp.chm beside the executable F1 opens the bundled guide; a second F1 reuses it.
TEST(Help, WithoutTheHelpFileTheBundledGuideOpens) {
    ASSERT_FALSE(QFile::exists(HelpFilePath()));
    OpenHelp(nullptr);
    CHelpWindow* window = CHelpWindow::Current();
    ASSERT_TRUE(window && window->isVisible());
    QTextBrowser* browser = window->Browser();
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Разделы справки")));
    browser->setSource(QUrl(QStringLiteral("keys.html")));
    EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("Клавиши")));
    browser->backward();
    EXPECT_EQ(browser->source(), QUrl(QStringLiteral("qrc:/help/index.html")));
    OpenHelp(nullptr);
    EXPECT_EQ(CHelpWindow::Current(), window);
    window->close();
}

}  // namespace
