#include "platform/Timer.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QStringList>

TEST(ManualClock, FiresDueTicksInTimeOrderAndRestartsOnChange) {
    ManualClock clock;
    QStringList fired;
    Timer a(nullptr, 30, true), b(nullptr, 20, true);
    QObject::connect(&a, &Timer::tick, [&] { fired << QString("a%1").arg(clock.now()); });
    QObject::connect(&b, &Timer::tick, [&] { fired << QString("b%1").arg(clock.now()); });
    clock.advance(60);
    EXPECT_EQ(fired, (QStringList{"b20", "a30", "b40", "a60", "b60"}));

    // Enabling again or changing the interval restarts the count from now.
    fired.clear();
    clock.advance(10);  // now 70: a due 90, b due 80
    a.setEnabled(true); // a now due 100
    b.setInterval(5);   // b now due 75, 80, ...
    clock.advance(30);
    EXPECT_EQ(fired, (QStringList{"b75", "b80", "b85", "b90", "b95", "a100", "b100"}));
}

TEST(ManualClock, OneShotTimersThatStopThemselvesFireOnce) {
    ManualClock clock;
    int ticks = 0;
    Timer t(nullptr, 7500, true);
    QObject::connect(&t, &Timer::tick, [&] {
        ++ticks;
        t.setEnabled(false);
    });
    clock.advance(7499);
    EXPECT_EQ(ticks, 0);
    clock.advance(1);
    EXPECT_EQ(ticks, 1);
    clock.advance(60000);
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(t.Enabled());
}

TEST(ManualClock, DestroyedTimerNeverFires) {
    ManualClock clock;
    int ticks = 0;
    auto* t = new Timer(nullptr, 10, true);
    QObject::connect(t, &Timer::tick, [&] { ++ticks; });
    clock.advance(10);
    delete t;
    clock.advance(100);
    EXPECT_EQ(ticks, 1);
}

TEST(ManualClock, TimerDeletingAnotherDuringItsTickIsSafe) {
    ManualClock clock;
    auto* victim = new Timer(nullptr, 10, true);
    int victimTicks = 0;
    QObject::connect(victim, &Timer::tick, [&] { ++victimTicks; });
    Timer killer(nullptr, 10, true);
    QObject::connect(&killer, &Timer::tick, [&] {
        delete victim;
        victim = nullptr;
        killer.setEnabled(false);
    });
    clock.advance(50);
    // The victim was started first, so it ticked once at 10 before the killer's tick.
    EXPECT_EQ(victimTicks, 1);
    EXPECT_EQ(victim, nullptr);
}

TEST(ManualClock, ATimerOutlivingItsClockIsHarmless) {
    auto* clock = new ManualClock;
    auto* t = new Timer(nullptr, 10, true);
    delete clock; // e.g. a window deleted later than the test that made it
    t->setEnabled(false);
    t->setInterval(5);
    EXPECT_FALSE(t->Enabled());
    EXPECT_EQ(t->Interval(), 5);
    delete t;
}

// A floor given to a running timer holds at once, not from its next start: a fallback tick set up
// after its timer began must not go on waking the program at the event loop's pace.
TEST(EventLoopClock, ARealIntervalFloorSlowsARunningTimerAtOnce) {
    Timer t(nullptr, 1, true);
    int ticks = 0;
    QObject::connect(&t, &Timer::tick, [&] { ++ticks; });
    t.setRealIntervalFloor(200);
    QEventLoop loop;
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();
    // About 30 at the loop's pace; two (at 200 and 400 ms) with the floor, three at the most.
    EXPECT_GE(ticks, 1);
    EXPECT_LE(ticks, 3);
    EXPECT_TRUE(t.Enabled());
}
