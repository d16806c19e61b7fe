#pragma once

// The host of the main window's modules: the panel below the header in which exactly one module
// window is embedded, filling it, and the switch from one module to another. A module is made by
// the factory registered for its class, which is handed the main window as the module's host.
//
// A switch closes the module shown and frees it once control is back in the event loop (the
// switch may run inside one of its handlers), unless it is kept loaded: a kept module is only
// hidden, and a switch to its class shows it again. Kept modules are freed when the window
// closes.

#include "app/ModuleRegistry.h"

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>

#include <functional>
#include <vector>

class QWidget;

namespace skin {
class TMainHost;
class TPanel;
} // namespace skin

namespace app {

class TModuleHost : public QObject {
public:
    // While a module is hosted the window is at least this large, and the panel starts here.
    static constexpr QSize kHostedMinimumSize{1122, 737};
    static constexpr int kHostTop = 57;

    // Makes the host panel Panel1 on the window, below a header of headerHeight pixels.
    TModuleHost(QWidget* window, skin::TMainHost& mainHost, int headerHeight);
    ~TModuleHost() override;
    TModuleHost(const TModuleHost&) = delete;
    TModuleHost& operator=(const TModuleHost&) = delete;

    // The class ShowMainmenu_Real shows (the analyser unless a test says otherwise).
    QString MainModuleClass = kMainModuleClass;

    void ShowMainmenu_Real() { ChangeModule_Real(MainModuleClass); }
    void ChangeModule_Real(const QString& FormClass);

    QWidget* CurrentModule() const { return current_; }
    // Class name of the module shown, empty without one.
    QString CurrentModuleClassName() const;

    // The current module's handler of changed options; cleared by every switch.
    const std::function<void()>& OnOptionsChanged() const { return onOptionsChanged_; }
    void SetOnOptionsChanged(std::function<void()> handler) {
        onOptionsChanged_ = std::move(handler);
    }

    // Locked while long work runs inside a module (an analysis pumping messages): replacing the
    // module then would free the window whose handler is still running.
    void LockChanges(bool locked) { locked_ = locked; }
    bool ChangesLocked() const { return locked_; }

    // Kept modules. The hosting rules let a module that is costly to build stay loaded across
    // switches; the analyser does not ask for it, so today only tests register one.
    void KeepFormLoaded(const QString& FormClass, QWidget* Form);
    int KeepFormLoaded_isKeepForm(const QWidget* Form) const;
    int KeepFormLoaded_isKeepFormClass(const QString& FormClass) const;
    int KeptFormCount() const { return int(kept_.size()); }
    void KeepFormLoaded_ClearAll();

    // Runs after a module has been shown (the window updates its grips).
    std::function<void()> OnModuleShown;

    // Before the first module the panel keeps its design place; afterwards it follows the
    // window's size.
    void PlaceBeforeFirstModule();
    void FollowWindowSize();

    // Frees every module now (the window is going).
    void FreeModules();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct KeptForm {
        QString FormClass;
        QPointer<QWidget> Form;
    };

    void closeCurrentModule();
    void layoutHost();

    QWidget* window_;
    skin::TMainHost& mainHost_;
    skin::TPanel* Panel1 = nullptr;
    QWidget* current_ = nullptr;
    QString currentClass_;
    std::function<void()> onOptionsChanged_;
    std::vector<KeptForm> kept_;
    bool laidOut_ = false;
    bool locked_ = false;
};

} // namespace app
