#include "app/MainMenuSwitcherThread.h"

#include "app/ModuleHost.h"
#include "platform/Debug.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace app {

struct TMainMenuSwitcherThread::State {
    std::mutex lock;
    std::condition_variable wake;
    bool terminated = false;

    // Request flags: set by the UI thread, polled by the thread, cleared by the switch step.
    std::atomic<bool> flag_ShowMainMenuNow{false};
    std::atomic<bool> flag_ChangeModuleNow{false};
    std::atomic<TModuleHost*> Host{nullptr};
    std::shared_ptr<skin::TUiHandOver::Link> ui;

    // The requested class; only the UI thread reads and writes it.
    QString ChangeTo_FormClass;
};

namespace {

// The switch steps, run on the UI thread. While module changes are locked a request stays
// pending.
void showMainMenuStep(TMainMenuSwitcherThread::State& s) {
    TModuleHost* host = s.Host.load();
    if (!host || host->ChangesLocked())
        return;
    s.flag_ShowMainMenuNow = false;
    host->ShowMainmenu_Real();
}

void changeModuleStep(TMainMenuSwitcherThread::State& s) {
    TModuleHost* host = s.Host.load();
    if (!host || host->ChangesLocked())
        return;
    s.flag_ChangeModuleNow = false;
    host->ChangeModule_Real(s.ChangeTo_FormClass);
}

void switcherLoop(const std::shared_ptr<TMainMenuSwitcherThread::State>& s) {
    std::unique_lock guard(s->lock);
    while (!s->terminated) {
        s->wake.wait_for(guard, std::chrono::milliseconds(TMainMenuSwitcherThread::kPollMs),
                         [&] { return s->terminated; });
        if (s->terminated)
            break;
        guard.unlock();
        if (s->flag_ShowMainMenuNow && s->Host.load())
            skin::TUiHandOver::RunAndWait(s->ui, [s] { showMainMenuStep(*s); });
        if (s->flag_ChangeModuleNow && s->Host.load())
            skin::TUiHandOver::RunAndWait(s->ui, [s] { changeModuleStep(*s); });
        guard.lock();
    }
}

} // namespace

TMainMenuSwitcherThread::TMainMenuSwitcherThread(TModuleHost* host,
                                                 std::shared_ptr<skin::TUiHandOver::Link> ui)
    : state_(std::make_shared<State>()) {
    state_->Host = host;
    state_->ui = std::move(ui);
    try {
        std::thread([s = state_] { switcherLoop(s); }).detach();
    } catch (const std::system_error& e) {
        platform::OutputDebugStringW(QStringLiteral("TMainMenuSwitcherThread could not start: ") +
                                     QString::fromLocal8Bit(e.what()));
    }
}

TMainMenuSwitcherThread::~TMainMenuSwitcherThread() {
    state_->Host = nullptr;
    {
        std::lock_guard guard(state_->lock);
        state_->terminated = true;
    }
    state_->wake.notify_all();
}

void TMainMenuSwitcherThread::RequestShowMainMenu() {
    if (!state_->flag_ShowMainMenuNow)
        state_->flag_ShowMainMenuNow = true;
}

void TMainMenuSwitcherThread::RequestChangeModule(const QString& formClass) {
    state_->ChangeTo_FormClass = formClass;
    state_->flag_ChangeModuleNow = true;
}

bool TMainMenuSwitcherThread::Pending() const {
    return state_->flag_ShowMainMenuNow || state_->flag_ChangeModuleNow;
}

} // namespace app
