// The thread timer's cadence, its enable switch and its destruction. The machine running these
// may be busy, so every bound on timing has room for scheduling delays, and the tests wait on
// the ticks themselves (with a deadline) rather than on fixed sleeps.

#include "skin/LumoThreadTimer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs the UI thread's event loop until quit() or the deadline.
void runLoop(QEventLoop& loop, int deadlineMs) {
    QTimer::singleShot(deadlineMs, &loop, &QEventLoop::quit);
    loop.exec();
}

// Records the start of every tick, on the UI thread, until `wanted` ticks have been seen.
struct TickLog {
    std::vector<double> starts;
    bool allOnUiThread = true;
    Clock::time_point origin = Clock::now();

    TNotifyEvent recorder(QEventLoop& loop, size_t wanted, int workMs,
                          TLumoThreadTimer* expectedSender) {
        return [this, &loop, wanted, workMs, expectedSender](QObject* sender) {
            starts.push_back(msSince(origin));
            allOnUiThread = allOnUiThread && QThread::currentThread() == qApp->thread() &&
                            sender == expectedSender;
            if (workMs > 0) // the handler's own work
                std::this_thread::sleep_for(std::chrono::milliseconds(workMs));
            if (starts.size() == wanted)
                loop.quit();
        };
    }
    std::vector<double> gaps() const {
        std::vector<double> g;
        for (size_t i = 1; i < starts.size(); ++i)
            g.push_back(starts[i] - starts[i - 1]);
        return g;
    }
    double medianGap() const {
        std::vector<double> g = gaps();
        if (g.empty())
            return -1;
        std::sort(g.begin(), g.end());
        return g[g.size() / 2];
    }
};

// Waits for all workers to end; they finish on their own shortly after their timers.
bool workersEnd(int baseline) {
    const auto start = Clock::now();
    while (TLumoTimerThread::RunningCount() > baseline) {
        if (msSince(start) > 3000)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1)); // polling, bounded above
    }
    return true;
}

TEST(ThreadTimer, HandlerShorterThanTheIntervalKeepsTheInterval) {
    // 200 ms period, 80 ms of work: starts stay 200 ms apart (not 280).
    TLumoThreadTimer timer;
    QEventLoop loop;
    TickLog log;
    timer.SetInterval(200);
    timer.SetOnTimer(log.recorder(loop, 6, 80, &timer));
    timer.SetEnabled(true);
    runLoop(loop, 10000);
    ASSERT_EQ(log.starts.size(), 6u);
    EXPECT_TRUE(log.allOnUiThread);
    EXPECT_GE(log.medianGap(), 190.0);
    EXPECT_LT(log.medianGap(), 260.0);
}

TEST(ThreadTimer, HandlerLongerThanTheIntervalGetsTenMillisecondsOfRest) {
    // 100 ms period, 150 ms of work: each start follows the previous one's end by the 10 ms
    // minimum sleep at least, so no two starts are less than 160 ms apart.
    TLumoThreadTimer timer;
    QEventLoop loop;
    TickLog log;
    timer.SetInterval(100);
    timer.SetOnTimer(log.recorder(loop, 6, 150, &timer));
    timer.SetEnabled(true);
    runLoop(loop, 10000);
    ASSERT_EQ(log.starts.size(), 6u);
    const std::vector<double> gaps = log.gaps();
    EXPECT_GE(*std::min_element(gaps.begin(), gaps.end()), 159.5);
    EXPECT_LT(log.medianGap(), 230.0); // not interval + work (250)
}

TEST(ThreadTimer, EnablingTakesEffectAtTheNextWakeUp) {
    // Once the disabled worker has gone to sleep for 400 ms, switching the timer on brings the
    // first tick when that sleep ends, not at once.
    QEventLoop loop;
    TickLog log;
    TLumoThreadTimer timer;
    timer.SetInterval(400);
    timer.SetOnTimer(log.recorder(loop, 1, 0, &timer));
    // The worker may have begun a short sleep before the interval was set; the second sleep
    // counted from here was certainly computed with the 400 ms interval.
    const uint64_t before = timer.WorkerSleeps();
    const auto created = Clock::now();
    while (timer.WorkerSleeps() < before + 2 && msSince(created) < 3000)
        std::this_thread::sleep_for(std::chrono::milliseconds(1)); // polling, bounded above
    ASSERT_GE(timer.WorkerSleeps(), before + 2);
    log.origin = Clock::now();
    timer.SetEnabled(true);
    runLoop(loop, 5000);
    ASSERT_EQ(log.starts.size(), 1u);
    EXPECT_GE(log.starts[0], 300.0); // the rest of the sleep, less how late we saw it begin
    EXPECT_LT(log.starts[0], 700.0);
}

TEST(ThreadTimer, TinyOrNoIntervalGivesTheMinimumCadence) {
    for (const int32_t interval : {0, -50, 3}) {
        SCOPED_TRACE(interval);
        TLumoThreadTimer timer;
        QEventLoop loop;
        TickLog log;
        timer.SetInterval(interval);
        timer.SetOnTimer(log.recorder(loop, 9, 0, &timer));
        timer.SetEnabled(true);
        runLoop(loop, 5000);
        ASSERT_EQ(log.starts.size(), 9u);
        EXPECT_GE(log.medianGap(), 9.5);
        EXPECT_LT(log.medianGap(), 45.0);
    }
}

TEST(ThreadTimer, DisablingStopsTheTicks) {
    TLumoThreadTimer timer;
    QEventLoop loop;
    int ticks = 0;
    timer.SetInterval(20);
    timer.SetOnTimer([&](QObject*) {
        if (++ticks == 3)
            timer.SetEnabled(false); // the worker waits for this tick, then sees the switch
    });
    timer.SetEnabled(true);
    // Long enough for well over ten ticks at 20 ms had the timer kept running.
    runLoop(loop, 400);
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(timer.Enabled());
}

TEST(ThreadTimer, DestroyedTimerNeverCallsItsHandler) {
    const int baseline = TLumoTimerThread::RunningCount();
    int ticks = 0;
    {
        auto* timer = new TLumoThreadTimer;
        QEventLoop loop;
        timer->SetInterval(5);
        timer->SetOnTimer([&](QObject*) {
            ++ticks;
            loop.quit();
        });
        timer->SetEnabled(true);
        runLoop(loop, 5000);
        ASSERT_EQ(ticks, 1);
        // Keep the UI thread busy so the next tick waits in its queue, then destroy the timer
        // with the tick due.
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        const auto start = Clock::now();
        delete timer;
        EXPECT_LT(msSince(start), 50.0); // destruction does not wait for the worker
        QEventLoop after;
        runLoop(after, 100);
        EXPECT_EQ(ticks, 1);
    }
    {
        // A worker asleep for a long interval neither holds up destruction nor outlives it long.
        auto* timer = new TLumoThreadTimer;
        timer->SetInterval(60000);
        timer->SetOnTimer([&](QObject*) { ++ticks; });
        const auto start = Clock::now();
        delete timer;
        EXPECT_LT(msSince(start), 50.0);
    }
    {
        // A handler may destroy its own timer.
        auto* timer = new TLumoThreadTimer;
        QEventLoop loop;
        timer->SetInterval(5);
        timer->SetOnTimer([&](QObject* sender) {
            ++ticks;
            delete static_cast<TLumoThreadTimer*>(sender);
            loop.quit();
        });
        timer->SetEnabled(true);
        runLoop(loop, 5000);
        QEventLoop after;
        runLoop(after, 60);
    }
    EXPECT_TRUE(workersEnd(baseline));
    EXPECT_EQ(ticks, 2);
}

TEST(ThreadTimer, ThreadPriorityIsStoredOnly) {
    TLumoThreadTimer timer;
    EXPECT_EQ(timer.ThreadPriority(), TThreadPriority::tpNormal);
    EXPECT_FALSE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 0);
    timer.SetThreadPriority(TThreadPriority::tpIdle);
    EXPECT_EQ(timer.ThreadPriority(), TThreadPriority::tpIdle);

    QEventLoop loop;
    TickLog log;
    timer.SetInterval(10);
    timer.SetOnTimer(log.recorder(loop, 3, 0, &timer));
    timer.SetEnabled(true);
    runLoop(loop, 5000);
    ASSERT_EQ(log.starts.size(), 3u);
    // The worker still runs at the nice value of the process that started it.
    EXPECT_EQ(timer.WorkerNiceValue(), getpriority(PRIO_PROCESS, 0));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
