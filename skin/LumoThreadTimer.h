#pragma once

// TLumoThreadTimer: a non-visual timer whose OnTimer handler runs on the UI thread, paced by a
// worker thread of its own (TLumoTimerThread) instead of window-system timer messages.
//
// The period runs from the start of one tick to the start of the next: each wake-up the worker
// hands the tick to the UI thread, waits until the handler has run, and then sleeps
// Interval - elapsed, but at least 10 ms. So the cadence is max(Interval, elapsed + 10) ms, and
// a disabled timer still wakes every max(Interval, 10) ms to look at Enabled. Ticks never
// overlap and never pile up.
//
// The timer and its worker share a small state block that outlives whichever of them finishes
// last: destroying the timer neither waits for the worker nor lets the worker touch the timer
// afterwards, and no handler runs once destruction has begun.

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

using TNotifyEvent = std::function<void(QObject* sender)>;

struct TLumoTimerState;

// The worker. It starts at once, frees itself when its loop ends, and reaches its timer only
// through the shared state block.
class TLumoTimerThread {
public:
    // Starts the worker; false when no thread could be created (the timer then never ticks).
    static bool Start(std::shared_ptr<TLumoTimerState> tt, TThreadPriority priority);
    // Workers still running in this process (they end shortly after their timers).
    static int RunningCount();

private:
    explicit TLumoTimerThread(std::shared_ptr<TLumoTimerState> tt) : tt(std::move(tt)) {}
    void Execute();

    std::shared_ptr<TLumoTimerState> tt;
};

class TLumoThreadTimer : public QObject {
    Q_OBJECT

public:
    explicit TLumoThreadTimer(QObject* owner = nullptr);
    ~TLumoThreadTimer() override;
    TLumoThreadTimer(const TLumoThreadTimer&) = delete;
    TLumoThreadTimer& operator=(const TLumoThreadTimer&) = delete;

    // Ticks are delivered only while enabled; a change takes effect at the worker's next
    // wake-up. A tick already handed to the UI thread is still delivered.
    bool Enabled() const;
    void SetEnabled(bool enabled);

    // Period in milliseconds, used from the worker's next wait on; 0 or less means 10 ms.
    int32_t Interval() const;
    void SetInterval(int32_t milliseconds);

    // Stored only: the worker keeps the normal priority it was started with.
    TThreadPriority ThreadPriority() const { return FPriority; }
    void SetThreadPriority(TThreadPriority priority) { FPriority = priority; }

    const TNotifyEvent& OnTimer() const { return FOnTimer; }
    void SetOnTimer(TNotifyEvent handler) { FOnTimer = std::move(handler); }

    // Diagnostics: the scheduling nice value the worker runs at, as it last saw it, and how
    // often it has woken up so far.
    int WorkerNiceValue() const;
    uint64_t WorkerWakeUps() const;

protected:
    bool event(QEvent* e) override;

private:
    TThreadPriority FPriority = TThreadPriority::tpNormal;
    TNotifyEvent FOnTimer;
    std::shared_ptr<TLumoTimerState> FState; // bStop, FEnabled, FInterval live here
};
