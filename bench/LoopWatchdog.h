#pragma once

// Shared by the window benchmarks: a monotonic clock in seconds, and the longest stretch
// without a turn of the event loop.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <algorithm>
#include <chrono>

namespace bench {

inline double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The longest time between two turns of the event loop while armed: a posted event that posts
// itself again is handled once per turn.
class Watchdog : public QObject {
public:
    Watchdog() { QCoreApplication::postEvent(this, new QEvent(type())); }
    void Arm() {
        last_ = now();
        longest_ = 0;
        armed_ = true;
    }
    double Disarm() {
        longest_ = std::max(longest_, now() - last_);
        armed_ = false;
        return longest_;
    }

protected:
    bool event(QEvent* e) override {
        if (e->type() != type())
            return QObject::event(e);
        const double t = now();
        if (armed_)
            longest_ = std::max(longest_, t - last_);
        last_ = t;
        QCoreApplication::postEvent(this, new QEvent(type()));
        return true;
    }

private:
    static QEvent::Type type() {
        static const auto t = static_cast<QEvent::Type>(QEvent::registerEventType());
        return t;
    }
    bool armed_ = false;
    double last_ = 0;
    double longest_ = 0;
};

} // namespace bench
