#pragma once

// Application.ProcessMessages for long work on the UI thread. A pump point is cheap: it reads a
// coarse clock and really processes pending events at most every kPumpSliceMs milliseconds
// (or at once when forced), so a scan can have millions of pump points.

namespace platform {

constexpr int kPumpSliceMs = 15;

void ProcessMessages(bool force = false);

// Tests observe every pump point (sliced or not), e.g. to raise a close request mid-scan.
using PumpObserver = void (*)(void* context);
void SetPumpObserver(PumpObserver observer, void* context);

namespace detail {
extern PumpObserver g_observer;
extern void* g_observerContext;
extern unsigned g_pointCountdown;
constexpr unsigned kPointsPerClockRead = 16;
void PumpIfSliceElapsed();
} // namespace detail

// A pump point for per-entry loops: it reads the clock only every sixteenth time, so a loop
// over millions of entries spends about a nanosecond per point.
inline void PumpPoint() {
    if (detail::g_observer)
        detail::g_observer(detail::g_observerContext);
    if (--detail::g_pointCountdown == 0)
        detail::PumpIfSliceElapsed();
}

} // namespace platform
