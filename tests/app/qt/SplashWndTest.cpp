#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTest>

#include "app/SplashWnd.h"

using namespace Norik;

namespace {

// Each splash window closes two seconds after it appeared, also when a second one was opened a
// second later; neither closes early. Upper bounds are generous: the machine may be busy.
TEST(SplashWnd, EachClosesTwoSecondsAfterItAppeared) {
    QMainWindow frame;
    frame.resize(800, 600);
    frame.show();
    QElapsedTimer clock;
    clock.start();
    CSplashWnd::ShowSplashScreen(&frame);
    CSplashWnd* first = CSplashWnd::Current();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(first->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_LE((first->geometry().center() - frame.frameGeometry().center()).manhattanLength(), 2);
    QPointer<CSplashWnd> firstAlive(first);

    QTest::qWait(1000);
    const qint64 secondShownAt = clock.elapsed();
    CSplashWnd::ShowSplashScreen(&frame);
    QPointer<CSplashWnd> second(CSplashWnd::Current());
    ASSERT_TRUE(second);
    EXPECT_NE(second.data(), first);
    EXPECT_TRUE(firstAlive && firstAlive->isVisible());  // the first one is not closed by the second

    ASSERT_TRUE(QTest::qWaitFor([&] { return firstAlive.isNull(); }, 4000));
    EXPECT_GE(clock.elapsed(), CSplashWnd::kShowMs);
    EXPECT_TRUE(second);
    EXPECT_EQ(CSplashWnd::Current(), second.data());  // the first one's end leaves the current one alone

    ASSERT_TRUE(QTest::qWaitFor([&] { return second.isNull(); }, 4000));
    EXPECT_GE(clock.elapsed() - secondShownAt, CSplashWnd::kShowMs);
    EXPECT_EQ(CSplashWnd::Current(), nullptr);
}

}  // namespace
