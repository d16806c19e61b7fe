#include "skin/LumoThreadTimer.h"

#include "platform/Debug.h"
#include "platform/Tick.h"

#include <QCoreApplication>
#include <QEvent>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

// The block the timer and its worker share; each holds it by shared_ptr, so it lives until the
// later of the two lets go.
struct TLumoTimerState {
    // Guards bStop and the tick counters; the worker waits on `wake` for both.
    std::mutex lock;
    std::condition_variable wake;
    bool bStop = false;
    uint64_t ticksPosted = 0;
    uint64_t ticksDone = 0;

    // Guards `timer` while the worker posts a tick to it. The timer clears it first thing in
    // its destructor, so the worker never posts to a timer that is going away.
    std::mutex postLock;
    TLumoThreadTimer* timer = nullptr;

    // Written by the UI thread, read by the worker at each wake-up.
    std::atomic<bool> FEnabled{false};
    std::atomic<int32_t> FInterval{0};

    std::atomic<int> workerNice{0};
    std::atomic<uint64_t> wakeUps{0};
};

namespace {

constexpr int32_t kMinimumSleepMs = 10;

std::atomic<int> g_runningWorkers{0};

// One tick handed to the UI thread. However it ends, delivered or discarded with its receiver,
// its destruction tells the worker that the tick step is over.
class TickEvent : public QEvent {
public:
    explicit TickEvent(std::shared_ptr<TLumoTimerState> state)
        : QEvent(eventType()), state_(std::move(state)) {}
    ~TickEvent() override {
        {
            std::lock_guard guard(state_->lock);
            ++state_->ticksDone;
        }
        state_->wake.notify_all();
    }
    TickEvent(const TickEvent&) = delete;
    TickEvent& operator=(const TickEvent&) = delete;

    static QEvent::Type eventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

private:
    std::shared_ptr<TLumoTimerState> state_;
};

int currentNice() {
    errno = 0;
    return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
}

} // namespace

bool TLumoTimerThread::Start(std::shared_ptr<TLumoTimerState> tt, TThreadPriority /*priority*/) {
    // The only priority a worker is ever started with is normal, which a new thread inherits.
    auto* worker = new TLumoTimerThread(std::move(tt));
    try {
        ++g_runningWorkers;
        std::thread([worker] {
            worker->Execute();
            delete worker; // frees itself when it ends
            --g_runningWorkers;
        }).detach();
    } catch (const std::system_error& e) {
        --g_runningWorkers;
        delete worker;
        platform::OutputDebugStringW(QStringLiteral("TLumoTimerThread could not start: ") +
                                     QString::fromLocal8Bit(e.what()));
        return false;
    }
    return true;
}

int TLumoTimerThread::RunningCount() { return g_runningWorkers.load(); }

void TLumoTimerThread::Execute() {
    using Clock = std::chrono::steady_clock;
    std::unique_lock guard(tt->lock);
    while (!tt->bStop) {
        tt->workerNice = currentNice();
        ++tt->wakeUps;
        const uint32_t t0 = platform::timeGetTime();
        if (tt->FEnabled) {
            // Run the tick step on the UI thread and wait until it has run.
            const uint64_t ticket = ++tt->ticksPosted;
            guard.unlock();
            bool posted = false;
            {
                std::lock_guard post(tt->postLock);
                if (tt->timer) {
                    QCoreApplication::postEvent(tt->timer, new TickEvent(tt));
                    posted = true;
                }
            }
            guard.lock();
            if (!posted)
                break;
            tt->wake.wait(guard, [&] { return tt->bStop || tt->ticksDone >= ticket; });
            if (tt->bStop)
                break;
        }
        const uint32_t elapsed = platform::timeGetTime() - t0; // wraps like the clock
        const int64_t sleepMs =
            std::max<int64_t>(int64_t{tt->FInterval} - int64_t{elapsed}, kMinimumSleepMs);
        // Destruction cuts the sleep short; nothing else does.
        tt->wake.wait_until(guard, Clock::now() + std::chrono::milliseconds(sleepMs),
                            [&] { return tt->bStop; });
    }
}

TLumoThreadTimer::TLumoThreadTimer(QObject* owner)
    : QObject(owner), FState(std::make_shared<TLumoTimerState>()) {
    FState->timer = this;
    FState->workerNice = currentNice();
    TLumoTimerThread::Start(FState, FPriority);
}

TLumoThreadTimer::~TLumoThreadTimer() {
    {
        std::lock_guard post(FState->postLock);
        FState->timer = nullptr;
    }
    {
        std::lock_guard guard(FState->lock);
        FState->bStop = true;
    }
    FState->wake.notify_all();
    // A tick still queued for this object is discarded by QObject's destructor; discarding it
    // releases a worker that waits for it.
}

bool TLumoThreadTimer::Enabled() const { return FState->FEnabled; }
void TLumoThreadTimer::SetEnabled(bool enabled) { FState->FEnabled = enabled; }
int32_t TLumoThreadTimer::Interval() const { return FState->FInterval; }
void TLumoThreadTimer::SetInterval(int32_t milliseconds) { FState->FInterval = milliseconds; }
int TLumoThreadTimer::WorkerNiceValue() const { return FState->workerNice; }
uint64_t TLumoThreadTimer::WorkerWakeUps() const { return FState->wakeUps; }

bool TLumoThreadTimer::event(QEvent* e) {
    if (e->type() != TickEvent::eventType())
        return QObject::event(e);
    bool stopped;
    {
        std::lock_guard guard(FState->lock);
        stopped = FState->bStop;
    }
    if (!stopped && FOnTimer) {
        const TNotifyEvent handler = FOnTimer; // the handler may replace OnTimer
        handler(this);
    }
    return true;
}
