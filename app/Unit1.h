#pragma once

// The main window: the only top-level window of a running program. It has no system frame; it
// draws its own header with the logo and a row of picture buttons (internet menu, options,
// help, minimise, maximise, close, feedback), a size grip, and below the header a host panel in
// which exactly one module window is embedded. Module switches are requested from anywhere and
// carried out on the UI thread by a small polling thread, TMainMenuSwitcherThread.
//
// Without a system frame the window keeps what a framed one offers: it moves and resizes
// through the window manager (QWindow::startSystemMove / startSystemResize, so moves are smooth
// and snap like any other window's), draws a 2-pixel border along its top edge that follows the
// window's activation and is itself a resize edge, and hides that border while maximised.

#include "app/ModuleRegistry.h"
#include "skin/MainHost.h"
#include "skin/PngImage.h"
#include "skin/UiHandOver.h"

#include <QPointer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QMenu;
class TLumoThreadTimer;

namespace skin {
class TFormToolTips;
class TImage;
class TPanel;
class TStripeSkinner;
class TTarviMouseImage3State;
} // namespace skin

namespace app {

class TForm_QO7;

// A skin file of the current skin as the picture of a 32 x 32 header button: a picture of
// another size is scaled to fit, keeping its proportions, and centred, so that a glyph drawn
// for a wider button keeps its shape.
QImage HeaderButtonPicture(const QString& skinFile);

// Polls two request flags every 50 ms and runs each requested switch on the UI thread, waiting
// until it has run. A request made twice before a poll is carried out once; a request made
// while module changes are locked stays pending until they are unlocked.
class TMainMenuSwitcherThread {
public:
    static constexpr int kPollMs = 50;

    struct State;

    TMainMenuSwitcherThread(TForm_QO7* mainForm, std::shared_ptr<skin::TUiHandOver::Link> ui);
    ~TMainMenuSwitcherThread(); // ends the thread (it stops within one poll)
    TMainMenuSwitcherThread(const TMainMenuSwitcherThread&) = delete;
    TMainMenuSwitcherThread& operator=(const TMainMenuSwitcherThread&) = delete;

    void RequestShowMainMenu();
    void RequestChangeModule(const QString& formClass, bool isStartPage);
    bool Pending() const;

private:
    std::shared_ptr<State> state_;
};

class TForm_QO7 : public QWidget, public skin::TMainHost {
    Q_OBJECT
public:
    static constexpr QSize kDesignClientSize{894, 712};
    static constexpr QSize kDesignMinimumSize{894, 631};
    static constexpr QSize kHostedMinimumSize{1122, 737};
    static constexpr int kHeaderHeight = 58;
    static constexpr int kHostTop = 57;
    static constexpr int kTopBorder = 2;
    static constexpr int kLeftBorder = 2;       // before Windows 10 only
    static constexpr int kRightBottomBorder = 1; // before Windows 10 only

    explicit TForm_QO7(QWidget* parent = nullptr);
    ~TForm_QO7() override;

    // Second stage, once translation and skin are chosen: caption, translation, pictures,
    // picture stripe (decoded here unless one is handed over), menus, skin, tooltip window,
    // switcher thread.
    void Perform_EveryThingAfterOnCreate(std::unique_ptr<skin::TStripeSkinner> stripe = nullptr);

    // Request (through the switcher thread) / perform a module switch.
    void ShowMainmenu();
    void ShowMainmenu_Real();
    void ChangeModule(const QString& FormClass, bool isStartPage);
    void ChangeModule_Real(const QString& FormClass, bool isStartPage);

    struct TKeepForm {
        QString FormClass;
        QPointer<QWidget> Form;
    };
    std::vector<TKeepForm> KeepFormsLoaded;
    int KeepFormLoaded_isKeepForm(const QWidget* Form) const;
    int KeepFormLoaded_isKeepFormClass(const QString& FormClass) const;
    void KeepFormLoaded_ClearAll();

    void Update_MaximizeButtons_and_Sizegrip();
    void APPLY_Translation_and_Skin();
    void LoadHeaderLogo();

    // The options menu item: reports the feature to the online services, runs the options
    // dialog (again while it asks to be made anew, then the restart hint), then the current
    // module's handler.
    void RunOptionsLoop(QObject* sender);

    // A second start asked for the window: restore it (also from minimised) and raise it.
    void RestoreFromSecondStart();

    // The class shown by ShowMainmenu_Real (the analyser unless a test says otherwise).
    QString MainModuleClass = kMainModuleClass;

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

    bool ModuleChangesLocked() const { return modulesLocked_; }
    TMainMenuSwitcherThread* SwitcherThread() const { return switcher_.get(); }

    QWidget* CurrentModuleForm = nullptr;
    QString CurrentModuleFormClass;
    bool CurrentModuleForm_isStartPage = false;
    std::function<void()> CurrentModuleForm_OnOptionsChanged;
    QString LastHelpKeyword;
    bool fFirstOnShowDone = false;

    // Controls.
    skin::TPanel* Shape_Header = nullptr;
    skin::TImage* Image_Logo = nullptr;
    skin::TPanel* Shape_AntiFlicker1 = nullptr;
    skin::TPanel* Shape_AntiFlicker2 = nullptr;
    skin::TTarviMouseImage3State* TarviMouseImage3State_Close = nullptr;
    skin::TTarviMouseImage3State* TarviMouseImage3State_Maximize = nullptr;
    skin::TTarviMouseImage3State* TarviMouseImage3State_Minimize = nullptr;
    skin::TTarviMouseImage3State* TarviMouseImage3State_Help = nullptr;
    skin::TTarviMouseImage3State* TarviMouseImage3State_options = nullptr;
    skin::TTarviMouseImage3State* TarviMouseImage3State_IM = nullptr;
    skin::TTarviMouseImage3State* TarviMouseImage3State_Feedback = nullptr;
    skin::TImage* Image_SizeGrip = nullptr;
    skin::TPanel* Panel1 = nullptr;
    // What is left of a system frame: 2 pixels along the top; before Windows 10 also 2 on the
    // left and 1 on the right and bottom. Each is a resize edge.
    QWidget* Frame_Top = nullptr;
    std::vector<QWidget*> FrameEdges;

    QMenu* AdvPopupMenu_Help = nullptr;
    QAction* MenuItem_help_Help = nullptr;
    QAction* MenuItem_help_About = nullptr;
    QMenu* AdvPopupMenu_Options = nullptr;
    QAction* MenuItem_Options = nullptr;
    QMenu* AdvPopupMenu_IM = nullptr;
    skin::TPngImageList ImageList16{16, 16};
    std::vector<QIcon> ImageList_IM;
    TLumoThreadTimer* LumoThreadTimer_Redraw = nullptr;
    skin::TFormToolTips* FormToolTips = nullptr;

    // Handlers of the header buttons and menu items.
    void MenuItem_IM_DummyClick(QAction* item);
    void MenuItem_help_HelpClick();
    void MenuItem_help_AboutClick();
    void FeedbackClick();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void setupUi();
    void connectHeader();
    void buildMenus();
    void fillImageList();
    QIcon menuIcon(int index) const;
    void layoutHeader();
    void layoutHost();
    void popupBelow(QMenu* menu, const QWidget* button);
    void beginMove(QMouseEvent* press);
    void beginResize(Qt::Edges edges, QMouseEvent* press);
    void redrawTimerTick();
    void FormCloseQuery();
    void FormClose();
    void closeCurrentModule();
    QWidget* findGripCopy(QWidget* module) const;

    std::unique_ptr<skin::TStripeSkinner> stripe_;
    std::unique_ptr<TMainMenuSwitcherThread> switcher_;
    bool hostLaidOut_ = false;
    std::atomic<bool> modulesLocked_{false};

    // A move or resize done by hand where the window manager offers none.
    struct ManualDrag {
        bool active = false;
        Qt::Edges edges; // none: a move
        QPoint pressGlobal;
        QRect startGeometry;
    } drag_;

    skin::TUiHandOver handOver_; // last: goes first, so no helper step runs into a dying window
};

} // namespace app
