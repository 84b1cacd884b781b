#include <gtest/gtest.h>

#include <QAccessible>
#include <QLabel>
#include <QMainWindow>
#include <QTest>

#include "app/PictureEx.h"
#include "app/WaitDialog.h"

using namespace Norik;

namespace {

// While it shows, the event loop keeps playing the bundled animation; Stop ends both.
TEST(WaitDialog, PlaysTheAnimationWhileTheEventLoopRuns) {
    QMainWindow frame;
    frame.show();
    CWaitDialog dialog(&frame);
    dialog.Start();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.isModal());
    EXPECT_GE(dialog.width(), CWaitDialog::kWidth);
    EXPECT_GE(dialog.height(), CWaitDialog::kHeight);
    const QString text = QStringLiteral("Подождите, идёт загрузка документа ...");
    auto* label = dialog.findChild<QLabel*>();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), text);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&dialog)->text(QAccessible::Name), text);

    CPictureEx* picture = dialog.Picture();
    ASSERT_GT(picture->FrameCount(), 1);
    EXPECT_TRUE(picture->IsAnimating());
    ASSERT_TRUE(QTest::qWaitFor([&] { return picture->CurrentFrame() >= 2; }, 3000));

    dialog.Stop();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(picture->IsAnimating());
    dialog.Start();  // a second opening shows it again
    EXPECT_TRUE(dialog.isVisible() && picture->IsAnimating());
    dialog.Stop();
}

}  // namespace
