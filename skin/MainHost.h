#pragma once

// What the windows ask of the main window that hosts them: its message dialogs, the switch that
// locks module changes during long work, the options dialog, the internet menu and its own
// place on the screen. The main window registers itself at creation; a window without a host
// (tests, a window shown on its own) skips these calls.

#include <QString>

#include <functional>

class QWidget;

namespace skin {

class TImage;

class TMainHost {
public:
    virtual ~TMainHost() = default;

    // The main window itself: owner and anchor of dialogs.
    virtual QWidget* MainWindow() = 0;
    // Locks (false) or unlocks (true) switching to another module.
    virtual void EnableDisable_Modulwechsel(bool enable) = 0;
    virtual void Show_Warning(const QString& text) = 0;
    virtual void Show_Info(const QString& text) = 0;
    // 6 (yes) or 7 (no); defaultAnswer 6 or 7 chooses the focused button.
    virtual int AskYesOrNo(const QString& text, int defaultAnswer) = 0;
    // Runs the options menu item as if clicked: the options dialog, modally, then the handler
    // the current module set.
    virtual void ClickOptionsMenuItem() = 0;
    virtual void SetCurrentModuleForm_OnOptionsChanged(std::function<void()> handler) = 0;
    virtual void INIT_INTERNETMENU() = 0;
    virtual void BringToFront() = 0;
    // The main window's size grip, which modules copy into their bottom bar; may be null.
    virtual const TImage* SizeGrip() const = 0;
    // Class name of the module shown in the host panel ("TForm_ORB"), empty without one.
    virtual QString CurrentModuleClassName() const = 0;
};

TMainHost* MainHost();
void SetMainHost(TMainHost* host);

} // namespace skin
