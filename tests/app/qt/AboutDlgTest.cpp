#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "Version.h"
#include "app/AboutDlg.h"

using namespace Norik;

namespace {

TEST(AboutDlg, ShowsTheVersionAndTheBaseName) {
    CAboutDlg dialog(nullptr);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("О программе"));
    auto* version = dialog.findChild<QLabel*>(QStringLiteral("versionText"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QString::fromUtf8(Version::kCopyright) + "\n" +
                                   QString::fromUtf8(Version::kDescription) + " " +
                                   QString::fromUtf8(Version::kVersion));
    auto* baseName = dialog.findChild<QLabel*>(QStringLiteral("baseName"));
    ASSERT_NE(baseName, nullptr);
    EXPECT_EQ(baseName->text(), QStringLiteral("База документов"));

    auto* ok = dialog.findChild<QPushButton*>();
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("Да"));
    QTest::keyClick(&dialog, Qt::Key_Return);  // the default button closes the box
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

}  // namespace
