#include "skin/UiHandOver.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <condition_variable>
#include <mutex>

namespace skin {

struct TUiHandOver::Link {
    // Guards `receiver` while a helper posts to it; the owner clears it before the receiver goes.
    std::mutex postLock;
    QObject* receiver = nullptr;
    // Guards the completion flags of the calls in flight.
    std::mutex doneLock;
    std::condition_variable done;
};

namespace {

// One call handed to the UI thread. Whether it runs or is discarded with its receiver, its
// destruction marks the call as over and wakes the helper that waits for it.
class HandOverEvent : public QEvent {
public:
    HandOverEvent(std::shared_ptr<TUiHandOver::Link> link, std::function<void()> work,
                  std::shared_ptr<bool> finished)
        : QEvent(eventType()), link_(std::move(link)), work_(std::move(work)),
          finished_(std::move(finished)) {}
    ~HandOverEvent() override {
        {
            std::lock_guard guard(link_->doneLock);
            *finished_ = true;
        }
        link_->done.notify_all();
    }
    HandOverEvent(const HandOverEvent&) = delete;
    HandOverEvent& operator=(const HandOverEvent&) = delete;

    void run() {
        if (work_)
            work_();
    }

    static QEvent::Type eventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

private:
    std::shared_ptr<TUiHandOver::Link> link_;
    std::function<void()> work_;
    std::shared_ptr<bool> finished_;
};

class Receiver : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() != HandOverEvent::eventType())
            return QObject::event(e);
        static_cast<HandOverEvent*>(e)->run();
        return true;
    }
};

} // namespace

TUiHandOver::TUiHandOver() : link_(std::make_shared<Link>()), receiver_(new Receiver) {
    link_->receiver = receiver_;
}

TUiHandOver::~TUiHandOver() {
    {
        std::lock_guard guard(link_->postLock);
        link_->receiver = nullptr;
    }
    // Deleting the receiver discards calls still queued for it, which releases their helpers.
    delete receiver_;
}

bool TUiHandOver::RunAndWait(const std::shared_ptr<Link>& link, std::function<void()> work) {
    if (!link)
        return false;
    auto finished = std::make_shared<bool>(false);
    auto ran = std::make_shared<bool>(false);
    auto step = [ran, work = std::move(work)] {
        *ran = true;
        work();
    };
    {
        std::lock_guard guard(link->postLock);
        if (!link->receiver)
            return false;
        QCoreApplication::postEvent(link->receiver, new HandOverEvent(link, std::move(step), finished));
    }
    std::unique_lock guard(link->doneLock);
    link->done.wait(guard, [&] { return *finished; });
    return *ran;
}

} // namespace skin
