#pragma once

// Module switches are requested from anywhere, also from a handler of the module that is about
// to be replaced, and carried out later on the UI thread by a small thread that polls two
// request flags every 50 ms and runs each requested switch through the UI hand-over, waiting
// until it has run. A request made twice before a poll is carried out once; a request made
// while module changes are locked stays pending until they are unlocked.

#include "skin/UiHandOver.h"

#include <QString>

#include <memory>

namespace app {

class TModuleHost;

class TMainMenuSwitcherThread {
public:
    static constexpr int kPollMs = 50;

    struct State;

    TMainMenuSwitcherThread(TModuleHost* host, std::shared_ptr<skin::TUiHandOver::Link> ui);
    ~TMainMenuSwitcherThread(); // ends the thread (it stops within one poll)
    TMainMenuSwitcherThread(const TMainMenuSwitcherThread&) = delete;
    TMainMenuSwitcherThread& operator=(const TMainMenuSwitcherThread&) = delete;

    void RequestShowMainMenu();
    void RequestChangeModule(const QString& formClass);
    bool Pending() const;

private:
    std::shared_ptr<State> state_;
};

} // namespace app
