#pragma once

// A way for helper threads to run a piece of work on the UI thread and wait until it has run.
// Helper threads never touch widgets themselves: the module switcher and the tooltip delay hand
// their step over through this.
//
// The hand-over belongs to a UI-side owner (a window). Helper threads hold only its Link, a
// small shared block, so they may outlive the owner: once the owner is destroyed, RunAndWait
// returns false at once, and a call that was already waiting is released (its work is dropped).

#include <functional>
#include <memory>

class QObject;

namespace skin {

class TUiHandOver {
public:
    struct Link;

    // Created on the UI thread; work runs on the thread that creates it.
    TUiHandOver();
    ~TUiHandOver();
    TUiHandOver(const TUiHandOver&) = delete;
    TUiHandOver& operator=(const TUiHandOver&) = delete;

    std::shared_ptr<Link> link() const { return link_; }

    // From a helper thread: runs `work` on the UI thread and waits until it has run. False when
    // the owner is gone, or went away before the work could run. Never call it from the UI
    // thread itself.
    static bool RunAndWait(const std::shared_ptr<Link>& link, std::function<void()> work);

private:
    std::shared_ptr<Link> link_;
    QObject* receiver_;
};

} // namespace skin
