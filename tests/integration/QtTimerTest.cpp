#include "platform/QtTimer.h"

#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {
using platform::QtTimer;

// How long a test watches for ticks that must not come.
constexpr int quietMs = 250;

// Enabled and the interval are two settings: ticks come only with both.
TEST(QtTimerTest, TicksOnlyWhileEnabledWithAPositiveInterval)
{
    QtTimer timer;
    int ticks = 0;
    timer.setHandler([&ticks] { ++ticks; });
    EXPECT_FALSE(timer.isEnabled());

    timer.setInterval(20); // interval alone does not start it
    EXPECT_FALSE(timer.isEnabled());
    EXPECT_FALSE(QTest::qWaitFor([&] { return ticks > 0; }, quietMs));

    timer.setInterval(0);
    timer.setEnabled(true); // enabled with interval 0: no ticks
    EXPECT_TRUE(timer.isEnabled());
    EXPECT_FALSE(QTest::qWaitFor([&] { return ticks > 0; }, quietMs));

    timer.setInterval(20);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 5000));

    timer.setInterval(0); // stops it, and it stays enabled
    const int afterStop = ticks;
    EXPECT_FALSE(QTest::qWaitFor([&] { return ticks > afterStop; }, quietMs));
    EXPECT_TRUE(timer.isEnabled());
    timer.setInterval(60000);
    timer.setEnabled(false);
    EXPECT_FALSE(timer.isEnabled());
}

TEST(QtTimerTest, SettingTheIntervalOrEnablingRestartsTheCount)
{
    for (const bool byEnabling : {false, true}) {
        QtTimer timer;
        QElapsedTimer clock;
        qint64 firstTick = -1;
        timer.setHandler([&] {
            if (firstTick < 0)
                firstTick = clock.elapsed();
        });
        clock.start();
        timer.setInterval(400);
        timer.setEnabled(true);
        // 250 ms into the count (time passing is what is tested here, so a
        // plain wait), starting it again postpones the tick to 400 ms from now.
        QTest::qWait(250);
        if (byEnabling)
            timer.setEnabled(true);
        else
            timer.setInterval(400);
        ASSERT_TRUE(QTest::qWaitFor([&] { return firstTick >= 0; }, 5000));
        EXPECT_GE(firstTick, 250 + 400 - 20) << (byEnabling ? "enabling" : "interval");
    }
}

TEST(QtTimerTest, HandlerCanStopTheTimer)
{
    QtTimer timer;
    int ticks = 0;
    timer.setHandler([&] {
        ++ticks;
        timer.setInterval(0);
        timer.setEnabled(false);
    });
    timer.setInterval(10);
    timer.setEnabled(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks > 0; }, 5000));
    EXPECT_FALSE(QTest::qWaitFor([&] { return ticks > 1; }, quietMs));
}

} // namespace
} // namespace vindel::test
