#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include "Version.h"
#include "app/AboutDlg.h"

using namespace Norik;

namespace {

TEST(AboutDlg, ShowsTheVersionAndTheBaseNameAndClosesOnEnter) {
    CAboutDlg dialog(nullptr);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("О программе"));
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("versionText"))->text(),
              QString::fromUtf8(Version::kCopyright) + "\n" + QString::fromUtf8(Version::kDescription) + " " +
                  QString::fromUtf8(Version::kVersion));
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("baseName"))->text(), QStringLiteral("База документов"));
    QTest::keyClick(&dialog, Qt::Key_Return);  // "Да", the default button
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

}  // namespace
