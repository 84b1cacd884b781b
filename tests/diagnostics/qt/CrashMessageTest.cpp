#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest/QTest>

#include "app/CrashMessage.h"

namespace {

TEST(CrashMessage, ShowsWhereTheReportIsAndClosesWithOk) {
    QString shown;
    QString caption;
    QTimer::singleShot(0, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible()) continue;
            shown = box->text();
            caption = box->windowTitle();
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    EXPECT_EQ(Norik::ShowCrashMessage("/home/пользователь/.local/state/Norik/Norik.err"), 0);
    EXPECT_EQ(shown, QString::fromUtf8("Программа выполнила недопустимую операцию.\n"
                                       "Вышлите, пожалуйста, разработчику информацию\n"
                                       "об ошибке которая находится:\n"
                                       "/home/пользователь/.local/state/Norik/Norik.err"));
    EXPECT_EQ(caption, QString::fromUtf8("База документов"));
}

}  // namespace
