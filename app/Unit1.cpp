#include "app/Unit1.h"

#include "analysis/nogui_Orbisca.h"
#include "app/FormYesNo.h"
#include "app/MainMenuSwitcherThread.h"
#include "app/MainMenus.h"
#include "app/MainWindowChrome.h"
#include "app/ModuleHost.h"
#include "inet/OnlineHelp.h"
#include "app/StartRules.h"
#include "dialogs/options/FormOptions.h"
#include "i18n/LanguageSelection.h"
#include "i18n/ProjectMessages.h"
#include "i18n/nLang3.h"
#include "inet/zel_inet2.h"
#include "platform/AppInfo.h"
#include "platform/Debug.h"
#include "platform/ProgramFolder.h"
#include "platform/Pump.h"
#include "skin/ControlBuilder.h"
#include "skin/Form_ToolTips.h"
#include "skin/Image.h"
#include "skin/LumoThreadTimer.h"
#include "skin/Panel.h"
#include "skin/TarviMouseImage3State.h"
#include "skin/ToolTips.h"
#include "skin/stripeskins.h"

#include <QCloseEvent>
#include <QPainter>
#include <QScreen>

namespace app {

using platform::OutputDebugStringW;

namespace {

struct HeaderButtonDesign {
    const char* name;
    int designLeft;
    const char* normal;
    const char* hover;
};

// In the order of the window's HeaderButton values. Design lefts at the design width of 894;
// every button keeps its distance to the right edge. The feedback button continues the row to
// the left.
constexpr HeaderButtonDesign kHeaderButtonDesigns[] = {
    {"TarviMouseImage3State_Close", 858, "but_close.png", "but_close_hover.png"},
    {"TarviMouseImage3State_Maximize", 822, "but_maximize.png", "but_maximize_hover.png"},
    {"TarviMouseImage3State_Minimize", 786, "but_minimize.png", "but_minimize_hover.png"},
    {"TarviMouseImage3State_Help", 750, "but_help_normal.png", "but_help_hover.png"},
    {"TarviMouseImage3State_options", 714, "but_settings_normal.png", "but_settings_hover.png"},
    {"TarviMouseImage3State_IM", 678, "but_internet_normal.png", "but_internet_hover.png"},
    {"TarviMouseImage3State_Feedback", 642, "but_feedback_normal.png", "but_feedback_hover.png"},
};

QImage skinPicture(const QString& name) {
    return skin::LoadSkinPicture(skin::SkinFolder() + u'\\' + name);
}

} // namespace

QImage HeaderButtonPicture(const QString& name) {
    const QImage picture = skinPicture(name);
    const QSize box(32, 32);
    if (picture.isNull() || picture.size() == box)
        return picture;
    const QImage scaled = picture.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QImage fitted(box, QImage::Format_ARGB32_Premultiplied);
    fitted.fill(Qt::transparent);
    QPainter painter(&fitted);
    painter.drawImage((box.width() - scaled.width()) / 2, (box.height() - scaled.height()) / 2, scaled);
    return fitted;
}

// ---------------------------------------------------------------------------------------------
// Creation

TForm_QO7::TForm_QO7(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("Form_QO7"));
    analysis::ProgramClosing = false;
    setWindowTitle(platform::ApplicationTitle());
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    resize(kDesignClientSize);
    setMinimumSize(kDesignMinimumSize);
    setupUi();
    connectHeader();
    skin::SetMainHost(this); // for the windows that do not get the host handed yet
}

TForm_QO7::~TForm_QO7() {
    switcher_.reset();
    // Modules go while the host they may still call is complete.
    host_->FreeModules();
    if (skin::MainHost() == this)
        skin::SetMainHost(nullptr);
    if (skin::ToolTips().Presenter() == FormToolTips)
        skin::ToolTips().SetPresenter(nullptr);
    if (skin::CurrentStripe() == stripe_.get())
        skin::SetCurrentStripe(nullptr);
}

void TForm_QO7::setupUi() {
    const skin::TControlBuilder build(this);
    Shape_Header = build.Add<skin::TPanel>("Shape_Header", {0, 0, width() + 1, kHeaderHeight});

    Image_Logo = build.Add<skin::TImage>("Image_Logo");
    Image_Logo->SetAutoSize(true);

    Shape_AntiFlicker1 = build.Add<skin::TPanel>("Shape_AntiFlicker1", {0, 0, 229, 6});
    Shape_AntiFlicker2 = build.Add<skin::TPanel>("Shape_AntiFlicker2", {0, 0, 229, 6});

    for (int i = 0; i < kHeaderButtons; ++i) {
        const HeaderButtonDesign& design = kHeaderButtonDesigns[i];
        auto* b = build.Add<skin::TTarviMouseImage3State>(design.name, {design.designLeft, 2, 32, 32});
        b->setCursor(Qt::PointingHandCursor);
        headerButtons_[size_t(i)] = b;
    }

    host_ = std::make_unique<TModuleHost>(this, *this, kHeaderHeight);

    Image_SizeGrip = build.Add<skin::TImage>("Image_SizeGrip", {0, 0, 14, 14});
    Image_SizeGrip->setCursor(Qt::SizeFDiagCursor);

    chrome_ = std::make_unique<TMainWindowChrome>(this, Image_SizeGrip, button(Maximize));
    menus_ = std::make_unique<TMainMenus>(this);

    LumoThreadTimer_Redraw = skin::Named(new TLumoThreadTimer(this), "LumoThreadTimer_Redraw");
    LumoThreadTimer_Redraw->SetInterval(400);
    LumoThreadTimer_Redraw->SetOnTimer([this](QObject*) { redrawTimerTick(); });

    layoutHeader();
}

void TForm_QO7::connectHeader() {
    button(Close)->OnClick = [this](QObject*) { close(); };
    button(Maximize)->OnClick = [this](QObject*) {
        chrome_->ToggleMaximized();
        Update_MaximizeButtons_and_Sizegrip();
    };
    button(Minimize)->OnClick = [this](QObject*) { showMinimized(); };
    button(Help)->OnClick = [this](QObject*) { menus_->PopupHelp(button(Help)); };
    button(Internet)->OnClick = [this](QObject*) { menus_->PopupInternet(button(Internet)); };
    button(Options)->OnClick = [this](QObject* sender) { RunOptionsLoop(sender); };
    button(Feedback)->OnClick = [this](QObject*) { FeedbackClick(); };

    menus_->OnOptions = [this](QObject* sender) { RunOptionsLoop(sender); };
    menus_->OnCloseProgram = [this] { button(Close)->Click(); };
    host_->OnModuleShown = [this] { Update_MaximizeButtons_and_Sizegrip(); };

    for (QWidget* source : {static_cast<QWidget*>(Shape_Header), static_cast<QWidget*>(Image_Logo),
                            static_cast<QWidget*>(Shape_AntiFlicker1),
                            static_cast<QWidget*>(Shape_AntiFlicker2)})
        chrome_->MoveWindowBy(source);
}

void TForm_QO7::Perform_EveryThingAfterOnCreate(std::unique_ptr<skin::TStripeSkinner> stripe) {
    setWindowTitle(windowTitle() + QStringLiteral(" (Version ") + QLatin1String(inet::kProductVersion) + u')');

    Image_SizeGrip->SetPicture(skinPicture(QStringLiteral("grip.png")));
    if (!Image_SizeGrip->Picture().isNull())
        Image_SizeGrip->resize(Image_SizeGrip->Picture().size());

    stripe_ = stripe ? std::move(stripe) : skin::CreateSkinStripe();
    skin::SetCurrentStripe(stripe_.get());
    TMainMenus::ApplyMenuStyle();
    if (stripe_)
        menus_->LoadIcons(*stripe_);

    APPLY_Translation_and_Skin();
    LoadHeaderLogo();
    Shape_AntiFlicker2->raise();
    const skin::TColor header = Shape_Header->Color();
    Shape_AntiFlicker1->SetColor(header);
    Shape_AntiFlicker2->SetColor(header);
    chrome_->RaiseEdges();

    FormToolTips = new skin::TFormToolTips(this);
    skin::ToolTips().SetPresenter(FormToolTips);

    switcher_ = std::make_unique<TMainMenuSwitcherThread>(host_.get(), handOver_.link());
    Update_MaximizeButtons_and_Sizegrip();
}

void TForm_QO7::RegisterHeaderToolTips() {
    using i18n::Msg;
    skin::TToolTips& tips = skin::ToolTips();
    tips.AddToList(button(Options), i18n::Message(Msg::MESSAGE_OPTIONS),
                   i18n::Message(Msg::MESSAGEHTML_TOOLTIPS_OPTIONS));
    tips.AddToList(button(Internet), i18n::Message(Msg::MESSAGE_TOOLTIPS_HEADER_IM),
                   i18n::Message(Msg::MESSAGEHTML_TOOLTIPS_IM));
    tips.AddToList(button(Feedback), i18n::Message(Msg::MESSAGE_TOOLTIPS_HEADER_FEEDBACK),
                   i18n::Message(Msg::MESSAGEHTML_TOOLTIPS_FEEDBACK));
}

void TForm_QO7::APPLY_Translation_and_Skin() {
    i18n::LOAD_TRANSLATION_TO_FORM(platform::ProgramFolder() + QStringLiteral("\\translation"),
                                   i18n::CurrentTranslationName(), this);

    Shape_Header->setGeometry(0, 0, width() + 1, kHeaderHeight);
    Shape_Header->SetColor(skin::ReadSkinColor(skin::SkinFolder() + QStringLiteral("\\skin.ini"),
                                               QStringLiteral("Header"), QStringLiteral("Color")));
    Shape_Header->lower();

    for (int i = 0; i < kHeaderButtons; ++i) {
        const HeaderButtonDesign& design = kHeaderButtonDesigns[i];
        skin::TTarviMouseImage3State* b = headerButtons_[size_t(i)];
        const QImage normal = HeaderButtonPicture(QLatin1String(design.normal));
        b->SetPicture_Highlight(HeaderButtonPicture(QLatin1String(design.hover)));
        b->SetPicture_Pressed(normal);
        b->SetPicture_Normal(normal);
    }
    host_->PlaceBeforeFirstModule();
}

void TForm_QO7::LoadHeaderLogo() {
    Image_Logo->SetAutoSize(true);
    Image_Logo->SetPicture(skinPicture(QStringLiteral("head_logo.bmp")));
    Image_Logo->raise();
}

// ---------------------------------------------------------------------------------------------
// Layout and window state

void TForm_QO7::layoutHeader() {
    const int w = width();
    Shape_Header->resize(w + 1, kHeaderHeight);
    for (int i = 0; i < kHeaderButtons; ++i) {
        skin::TTarviMouseImage3State* b = headerButtons_[size_t(i)];
        // A pressed button sits one pixel right and down; keep that offset.
        const int pressOffset = b->y() - 2;
        b->move(w - (kDesignClientSize.width() - kHeaderButtonDesigns[i].designLeft) + pressOffset,
                b->y());
    }
    chrome_->Layout();
}

void TForm_QO7::Update_MaximizeButtons_and_Sizegrip() {
    chrome_->ShowWindowState(host_->CurrentModule());
    platform::ProcessMessages(true);
}

void TForm_QO7::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutHeader();
    host_->FollowWindowSize();
}

void TForm_QO7::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (!chrome_)
        return;
    if (event->type() == QEvent::WindowStateChange)
        Update_MaximizeButtons_and_Sizegrip();
    else if (event->type() == QEvent::ActivationChange)
        chrome_->ShowActivation();
}

void TForm_QO7::mouseMoveEvent(QMouseEvent* event) {
    if (!chrome_->DragTo(event))
        QWidget::mouseMoveEvent(event);
}

void TForm_QO7::mouseReleaseEvent(QMouseEvent* event) {
    if (!chrome_->EndDrag())
        QWidget::mouseReleaseEvent(event);
}

void TForm_QO7::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (fFirstOnShowDone || analysis::ProgramClosing)
        return;
    fFirstOnShowDone = true;
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    BringToFront();
    OutputDebugStringW(QStringLiteral("MainForm -> OnShow Done"));
    LumoThreadTimer_Redraw->SetEnabled(true);
}

void TForm_QO7::redrawTimerTick() {
    LumoThreadTimer_Redraw->SetEnabled(false);
    if (windowState() == Qt::WindowNoState)
        setGeometry(geometry());
    show();
    update();
}

void TForm_QO7::BringToFront() {
    raise();
    activateWindow();
}

void TForm_QO7::RestoreFromSecondStart() {
    OutputDebugStringW(isMinimized() ? QStringLiteral("Second start: restoring the minimised window")
                                     : QStringLiteral("Second start: raising the window"));
    // Back to the state before minimising (normal or maximised).
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    BringToFront();
}

// ---------------------------------------------------------------------------------------------
// Modules

void TForm_QO7::ShowMainmenu() {
    skin::ToolTips().OnCustomOnMouseLeave(this);
    if (switcher_)
        switcher_->RequestShowMainMenu();
}

void TForm_QO7::ShowMainmenu_Real() { host_->ShowMainmenu_Real(); }

void TForm_QO7::ChangeModule(const QString& FormClass) {
    if (switcher_)
        switcher_->RequestChangeModule(FormClass);
}

void TForm_QO7::SetMainModuleClass(const QString& formClass) { host_->MainModuleClass = formClass; }

QWidget* TForm_QO7::CurrentModuleForm() const { return host_->CurrentModule(); }

void TForm_QO7::EnableDisable_Modulwechsel(bool enable) {
    skin::ToolTips().OnCustomOnMouseLeave(this);
    host_->LockChanges(!enable);
    OutputDebugStringW(enable ? QStringLiteral("Module changes allowed again")
                              : QStringLiteral("Module changes held back (long work runs)"));
    platform::ProcessMessages(true);
}

QString TForm_QO7::CurrentModuleClassName() const { return host_->CurrentModuleClassName(); }

const skin::TImage* TForm_QO7::SizeGrip() const { return Image_SizeGrip; }

// ---------------------------------------------------------------------------------------------
// Dialogs, options, internet menu

void TForm_QO7::Show_Warning(const QString& text) { ShowWarningDialog(text); }
void TForm_QO7::Show_Info(const QString& text) { ShowInfoDialog(text); }
int TForm_QO7::AskYesOrNo(const QString& text, int defaultAnswer) {
    return AskYesOrNoDialog(text, defaultAnswer);
}

void TForm_QO7::ClickOptionsMenuItem() { menus_->OptionsItem()->trigger(); }

void TForm_QO7::SetCurrentModuleForm_OnOptionsChanged(std::function<void()> handler) {
    host_->SetOnOptionsChanged(std::move(handler));
}

void TForm_QO7::RunOptionsLoop(QObject* sender) {
    inet::zinet_AnalyticsManagerAddFeature(QStringLiteral("QO12.OTHER.OPTIONS"), 1);
    settings::RunOptionsDialog(sender, this);
    // A copy: the handler may switch modules, which clears it.
    if (const std::function<void()> handler = host_->OnOptionsChanged())
        handler();
}

void TForm_QO7::INIT_INTERNETMENU() { menus_->INIT_INTERNETMENU(); }

void TForm_QO7::FeedbackClick() {
    // The stand-in for the online services has no feedback service; the link target leads to
    // the manual that ships with the program.
    inet::OpenLinkTarget(QStringLiteral("feedback"));
}

// ---------------------------------------------------------------------------------------------
// Closing

void TForm_QO7::FormCloseQuery() {
    OutputDebugStringW(QStringLiteral("QO16: FormCloseQuery"));
    analysis::ProgramClosing = true;
    // The module shown stops its own work as it closes: an analysis under way runs on this thread
    // further up the stack, ends at its next pump point once control returns to it, and the
    // analyser frees its engine when that run has unwound. Nothing here waits for it.
    if (QWidget* module = host_->CurrentModule())
        module->close();
    host_->KeepFormLoaded_ClearAll();
    OutputDebugStringW(QStringLiteral("QO16: FormCloseQuery DONE"));
}

void TForm_QO7::FormClose() {
    OutputDebugStringW(QStringLiteral("QO16: FormClose"));
    if (FormToolTips)
        FormToolTips->Leave();
    LumoThreadTimer_Redraw->SetEnabled(false);
    OutputDebugStringW(QStringLiteral("QO16: FormClose DONE"));
}

void TForm_QO7::closeEvent(QCloseEvent* event) {
    FormCloseQuery();
    FormClose();
    event->accept();
}

} // namespace app
