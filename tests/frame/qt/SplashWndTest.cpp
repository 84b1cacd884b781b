#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTest>

#include "frame/qt/SplashWnd.h"

using namespace Norik;

namespace {

// A second splash window a second after the first: each closes two seconds after it appeared, none
// early. Upper bounds are generous, the machine may be busy.
TEST(SplashWnd, EachClosesTwoSecondsAfterItAppeared) {
    QMainWindow frame;
    frame.resize(800, 600);
    frame.show();
    QElapsedTimer clock;
    clock.start();
    CSplashWnd::ShowSplashScreen(&frame);
    QPointer<CSplashWnd> first(CSplashWnd::Current());
    ASSERT_TRUE(first && first->isVisible());
    EXPECT_LE((first->geometry().center() - frame.frameGeometry().center()).manhattanLength(), 2);

    QTest::qWait(1000);
    const qint64 secondShownAt = clock.elapsed();
    CSplashWnd::ShowSplashScreen(&frame);
    QPointer<CSplashWnd> second(CSplashWnd::Current());
    ASSERT_TRUE(second && first && second != first);

    ASSERT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 4000));
    EXPECT_GE(clock.elapsed(), CSplashWnd::kShowMs);
    EXPECT_EQ(CSplashWnd::Current(), second.data());
    ASSERT_TRUE(QTest::qWaitFor([&] { return second.isNull(); }, 4000));
    EXPECT_GE(clock.elapsed() - secondShownAt, CSplashWnd::kShowMs);
    EXPECT_EQ(CSplashWnd::Current(), nullptr);
}

}  // namespace
