#include <gtest/gtest.h>

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "frame/qt/PictureEx.h"
#include "frame/qt/WaitDialog.h"

using namespace Norik;

namespace {

// The bundled animation plays while the event loop runs; Stop ends both, Start shows it again.
TEST(WaitDialog, PlaysTheAnimationWhileTheEventLoopRuns) {
    CWaitDialog dialog(nullptr);
    dialog.Start();
    EXPECT_TRUE(dialog.isVisible() && dialog.isModal());
    const QString text = QStringLiteral("Подождите, идёт загрузка документа ...");
    EXPECT_EQ(dialog.findChild<QLabel*>()->text(), text);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&dialog)->text(QAccessible::Name), text);
    CPictureEx* picture = dialog.Picture();
    ASSERT_GT(picture->FrameCount(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return picture->CurrentFrame() >= 2; }, 3000));

    dialog.Stop();
    EXPECT_FALSE(dialog.isVisible() || picture->IsAnimating());
    dialog.Start();
    EXPECT_TRUE(dialog.isVisible() && picture->IsAnimating());
    dialog.Stop();
}

// A wait that can be given up shows "Отмена"; the button and Esc give it up, the window stays.
TEST(WaitDialog, OffersToCancelOnlyWhileAWaitCanBeGivenUp) {
    CWaitDialog dialog(nullptr);
    dialog.Start();
    auto* button = dialog.findChild<QPushButton*>();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QStringLiteral("Отмена"));
    EXPECT_FALSE(button->isVisible());
    int cancelled = 0;
    dialog.SetCancel([&] { ++cancelled; });
    EXPECT_TRUE(button->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(cancelled, 2);
    EXPECT_TRUE(dialog.isVisible());
    dialog.SetCancel({});
    EXPECT_FALSE(button->isVisible());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(cancelled, 2);
    dialog.Stop();
}

}  // namespace
