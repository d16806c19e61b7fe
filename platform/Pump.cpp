#include "platform/Pump.h"

#include <QCoreApplication>

#include <ctime>

namespace platform {
namespace detail {
PumpObserver g_observer = nullptr;
void* g_observerContext = nullptr;
unsigned g_pointCountdown = kPointsPerClockRead;
} // namespace detail

namespace {

using detail::g_observer;
using detail::g_observerContext;
long long g_lastPumpMs = 0;

long long coarseMs() {
    // The coarse clock is a plain memory read in the vDSO, a few nanoseconds per call.
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void pump(bool force) {
    const long long now = coarseMs();
    if (!force && now - g_lastPumpMs < kPumpSliceMs)
        return;
    g_lastPumpMs = now;
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

} // namespace

void ProcessMessages(bool force) {
    if (g_observer)
        g_observer(g_observerContext);
    pump(force);
}

void detail::PumpIfSliceElapsed() {
    g_pointCountdown = kPointsPerClockRead;
    pump(false);
}

void SetPumpObserver(PumpObserver observer, void* context) {
    g_observer = observer;
    g_observerContext = context;
}

} // namespace platform
