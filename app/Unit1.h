#pragma once

// The main window: the only top-level window of a running program. It has no system frame; it
// draws its own header with the logo and a row of picture buttons (internet menu, options,
// help, minimise, maximise, close, feedback), a size grip, and below the header a host panel in
// which exactly one module window is embedded.
//
// The window itself builds and lays out the header and answers the modules (TMainHost); its
// other concerns live in their own classes:
//   TMainWindowChrome        what a system frame would give it: moving, resizing, maximising,
//                            the border along the top and the size grip (MainWindowChrome.h)
//   TModuleHost              the host panel, module switches and kept modules (ModuleHost.h)
//   TMainMenuSwitcherThread  carries out requested switches on the UI thread
//                            (MainMenuSwitcherThread.h)
//   TMainMenus               the header buttons' popup menus and the internet menu
//                            (MainMenus.h)

#include "skin/MainHost.h"
#include "skin/UiHandOver.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class TLumoThreadTimer;

namespace skin {
class TFormToolTips;
class TImage;
class TPanel;
class TStripeSkinner;
class TTarviMouseImage3State;
} // namespace skin

namespace app {

class TMainMenus;
class TMainMenuSwitcherThread;
class TMainWindowChrome;
class TModuleHost;

// A skin file of the current skin as the picture of a 32 x 32 header button: a picture of
// another size is scaled to fit, keeping its proportions, and centred, so that a glyph drawn
// for a wider button keeps its shape.
QImage HeaderButtonPicture(const QString& skinFile);

class TForm_QO7 : public QWidget, public skin::TMainHost {
    Q_OBJECT
public:
    static constexpr QSize kDesignClientSize{894, 712};
    static constexpr QSize kDesignMinimumSize{894, 631};
    static constexpr int kHeaderHeight = 58;

    explicit TForm_QO7(QWidget* parent = nullptr);
    ~TForm_QO7() override;

    // Second stage, once translation and skin are chosen: caption, translation, pictures,
    // picture stripe (decoded here unless one is handed over), menus, skin, tooltip window,
    // switcher thread.
    void Perform_EveryThingAfterOnCreate(std::unique_ptr<skin::TStripeSkinner> stripe = nullptr);
    // The tooltips of the options, internet and feedback buttons, in the language in use.
    void RegisterHeaderToolTips();

    // Request (through the switcher thread) / perform a module switch.
    void ShowMainmenu();
    void ShowMainmenu_Real();
    void ChangeModule(const QString& FormClass);
    // The class shown by ShowMainmenu (the analyser unless a test says otherwise).
    void SetMainModuleClass(const QString& formClass);

    void APPLY_Translation_and_Skin();
    void LoadHeaderLogo();

    // A second start asked for the window: restore it (also from minimised) and raise it.
    void RestoreFromSecondStart();

    TModuleHost& Modules() const { return *host_; }
    QWidget* CurrentModuleForm() const;
    TMainMenuSwitcherThread* SwitcherThread() const { return switcher_.get(); }

    // TMainHost
    QWidget* MainWindow() override { return this; }
    void EnableDisable_Modulwechsel(bool enable) override;
    void Show_Warning(const QString& text) override;
    void Show_Info(const QString& text) override;
    int AskYesOrNo(const QString& text, int defaultAnswer) override;
    void ClickOptionsMenuItem() override;
    void SetCurrentModuleForm_OnOptionsChanged(std::function<void()> handler) override;
    void INIT_INTERNETMENU() override;
    void BringToFront() override;
    const skin::TImage* SizeGrip() const override;
    QString CurrentModuleClassName() const override;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The header's picture buttons, right to left.
    enum HeaderButton { Close, Maximize, Minimize, Help, Options, Internet, Feedback, kHeaderButtons };

    void setupUi();
    void connectHeader();
    void layoutHeader();
    void Update_MaximizeButtons_and_Sizegrip();
    // The options menu item: reports the feature to the online services, runs the options
    // dialog (again while it asks to be made anew, then the restart hint), then the current
    // module's handler.
    void RunOptionsLoop(QObject* sender);
    void FeedbackClick();
    void redrawTimerTick();
    void FormCloseQuery();
    void FormClose();
    skin::TTarviMouseImage3State* button(HeaderButton which) const { return headerButtons_[which]; }

    // Whether the first show has placed the window; later shows (restoring) keep its place.
    bool fFirstOnShowDone = false;

    skin::TPanel* Shape_Header = nullptr;
    skin::TImage* Image_Logo = nullptr;
    skin::TPanel* Shape_AntiFlicker1 = nullptr;
    skin::TPanel* Shape_AntiFlicker2 = nullptr;
    std::array<skin::TTarviMouseImage3State*, kHeaderButtons> headerButtons_{};
    skin::TImage* Image_SizeGrip = nullptr;
    TLumoThreadTimer* LumoThreadTimer_Redraw = nullptr;
    skin::TFormToolTips* FormToolTips = nullptr;

    std::unique_ptr<TModuleHost> host_;
    std::unique_ptr<TMainWindowChrome> chrome_;
    std::unique_ptr<TMainMenus> menus_;
    std::unique_ptr<skin::TStripeSkinner> stripe_;
    std::unique_ptr<TMainMenuSwitcherThread> switcher_;

    skin::TUiHandOver handOver_; // last: goes first, so no helper step runs into a dying window
};

} // namespace app
