#include "app/Unit1.h"

#include "analysis/nogui_Orbisca.h"
#include "app/FormAbout.h"
#include "app/FormYesNo.h"
#include "app/OnlineHelp.h"
#include "app/StartRules.h"
#include "dialogs/options/FormOptions.h"
#include "i18n/LanguageSelection.h"
#include "i18n/ProjectMessages.h"
#include "i18n/nLang3.h"
#include "inet/zel_inet2.h"
#include "platform/AppInfo.h"
#include "platform/CommandLine.h"
#include "platform/Debug.h"
#include "platform/ProgramFolder.h"
#include "platform/Pump.h"
#include "platform/Tick.h"
#include "settings/Environment.h"
#include "settings/Registry.h"
#include "skin/Form_ToolTips.h"
#include "skin/Image.h"
#include "skin/LumoThreadTimer.h"
#include "skin/Panel.h"
#include "skin/TarviMouseImage3State.h"
#include "skin/ToolTips.h"
#include "skin/stripeskins.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <QWindow>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace app {

using platform::OutputDebugStringW;

// ---------------------------------------------------------------------------------------------
// The frame edges: what is left of a system frame on a frameless window.

class TFrameEdge : public QWidget {
public:
    TFrameEdge(TForm_QO7* form, Qt::Edges edges, std::function<void(Qt::Edges)> onPress)
        : QWidget(form), form_(form), edges_(edges), onPress_(std::move(onPress)) {
        setCursor(edges & (Qt::TopEdge | Qt::BottomEdge) ? Qt::SizeVerCursor : Qt::SizeHorCursor);
    }
    Qt::Edges edges() const { return edges_; }

protected:
    void paintEvent(QPaintEvent*) override {
        // Darker while the window is active, lighter while another one is, as a system frame.
        const bool active = form_->isActiveWindow();
        QPainter(this).fillRect(rect(), active ? QColor(0x4A, 0x4A, 0x4A) : QColor(0xAA, 0xAA, 0xAA));
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && onPress_)
            onPress_(edges_);
    }

private:
    TForm_QO7* form_;
    Qt::Edges edges_;
    std::function<void(Qt::Edges)> onPress_;
};

namespace {

// Positions of the 16-pixel image list: stripe cells, in list order.
constexpr int kImageListCells[] = {26, 23, 24, 57, 2, 3, 55, 37, 76};
constexpr int kImageOptions = 1;
constexpr int kImageHelp = 4;
constexpr int kImageAbout = 5;

struct HeaderButton {
    skin::TTarviMouseImage3State* TForm_QO7::*field;
    const char* name;
    int designLeft;
    const char* normal;
    const char* hover;
};

// Design lefts at the design width of 894; every button keeps its distance to the right edge.
// The feedback button continues the row to the left.
constexpr HeaderButton kHeaderButtons[] = {
    {&TForm_QO7::TarviMouseImage3State_Close, "TarviMouseImage3State_Close", 858, "but_close.png",
     "but_close_hover.png"},
    {&TForm_QO7::TarviMouseImage3State_Maximize, "TarviMouseImage3State_Maximize", 822,
     "but_maximize.png", "but_maximize_hover.png"},
    {&TForm_QO7::TarviMouseImage3State_Minimize, "TarviMouseImage3State_Minimize", 786,
     "but_minimize.png", "but_minimize_hover.png"},
    {&TForm_QO7::TarviMouseImage3State_Help, "TarviMouseImage3State_Help", 750,
     "but_help_normal.png", "but_help_hover.png"},
    {&TForm_QO7::TarviMouseImage3State_options, "TarviMouseImage3State_options", 714,
     "but_settings_normal.png", "but_settings_hover.png"},
    {&TForm_QO7::TarviMouseImage3State_IM, "TarviMouseImage3State_IM", 678,
     "but_internet_normal.png", "but_internet_hover.png"},
    {&TForm_QO7::TarviMouseImage3State_Feedback, "TarviMouseImage3State_Feedback", 642,
     "but_feedback_normal.png", "but_feedback_hover.png"},
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

namespace {

// The look of every menu of the program: white, with a light selection and the window font.
void applyOfficeMenuStyle() {
    QPalette palette = QApplication::palette("QMenu");
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(0xCC, 0xE4, 0xF7));
    palette.setColor(QPalette::HighlightedText, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Text, Qt::black);
    QApplication::setPalette(palette, "QMenu");
    QFont font(QStringLiteral("Segoe UI"));
    font.setPointSize(9);
    QApplication::setFont(font, "QMenu");
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TMainMenuSwitcherThread

struct TMainMenuSwitcherThread::State {
    std::mutex lock;
    std::condition_variable wake;
    bool terminated = false;

    // Request flags: set by the UI thread, polled by the thread, cleared by the switch step.
    std::atomic<bool> flag_ShowMainMenuNow{false};
    std::atomic<bool> flag_ChangeModuleNow{false};
    std::atomic<TForm_QO7*> MainForm{nullptr};
    std::shared_ptr<skin::TUiHandOver::Link> ui;

    // The requested switch; only the UI thread reads and writes these.
    QString ChangeTo_FormClass;
    bool ChangeTo_isStartPage = false;
    QPointer<QWidget> ChangeTo_DontCreate_use_thisForm;
};

namespace {

// The switch steps, run on the UI thread. While module changes are locked (an analysis is
// running and pumping messages) a request stays pending: replacing the module now would free
// the window whose handler is still running.
void showMainMenuStep(TMainMenuSwitcherThread::State& s) {
    TForm_QO7* form = s.MainForm.load();
    if (!form || form->ModuleChangesLocked())
        return;
    s.flag_ShowMainMenuNow = false;
    form->ShowMainmenu_Real();
}

void changeModuleStep(TMainMenuSwitcherThread::State& s) {
    TForm_QO7* form = s.MainForm.load();
    if (!form || form->ModuleChangesLocked())
        return;
    s.flag_ChangeModuleNow = false;
    form->ChangeModule_Real(s.ChangeTo_FormClass, s.ChangeTo_isStartPage);
    s.ChangeTo_DontCreate_use_thisForm = nullptr;
}

void switcherLoop(const std::shared_ptr<TMainMenuSwitcherThread::State>& s) {
    std::unique_lock guard(s->lock);
    while (!s->terminated) {
        s->wake.wait_for(guard, std::chrono::milliseconds(TMainMenuSwitcherThread::kPollMs),
                         [&] { return s->terminated; });
        if (s->terminated)
            break;
        guard.unlock();
        if (s->flag_ShowMainMenuNow && s->MainForm.load())
            skin::TUiHandOver::RunAndWait(s->ui, [s] { showMainMenuStep(*s); });
        if (s->flag_ChangeModuleNow && s->MainForm.load())
            skin::TUiHandOver::RunAndWait(s->ui, [s] { changeModuleStep(*s); });
        guard.lock();
    }
}

} // namespace

TMainMenuSwitcherThread::TMainMenuSwitcherThread(TForm_QO7* mainForm,
                                                 std::shared_ptr<skin::TUiHandOver::Link> ui)
    : state_(std::make_shared<State>()) {
    state_->MainForm = mainForm;
    state_->ui = std::move(ui);
    try {
        std::thread([s = state_] { switcherLoop(s); }).detach();
    } catch (const std::system_error& e) {
        OutputDebugStringW(QStringLiteral("TMainMenuSwitcherThread could not start: ") +
                           QString::fromLocal8Bit(e.what()));
    }
}

TMainMenuSwitcherThread::~TMainMenuSwitcherThread() {
    state_->MainForm = nullptr;
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

void TMainMenuSwitcherThread::RequestChangeModule(const QString& formClass, bool isStartPage) {
    state_->ChangeTo_FormClass = formClass;
    state_->ChangeTo_isStartPage = isStartPage;
    state_->flag_ChangeModuleNow = true;
}

bool TMainMenuSwitcherThread::Pending() const {
    return state_->flag_ShowMainMenuNow || state_->flag_ChangeModuleNow;
}

// ---------------------------------------------------------------------------------------------
// TForm_QO7: creation

TForm_QO7::TForm_QO7(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("Form_QO7"));
    fFirstOnShowDone = false;
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
    skin::SetMainHost(this);
}

TForm_QO7::~TForm_QO7() {
    switcher_.reset();
    // Modules go while the host they may still call is complete.
    for (QWidget* module : Panel1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        delete module;
    CurrentModuleForm = nullptr;
    if (skin::MainHost() == this)
        skin::SetMainHost(nullptr);
    if (skin::ToolTips().Presenter() == FormToolTips)
        skin::ToolTips().SetPresenter(nullptr);
    if (skin::CurrentStripe() == stripe_.get())
        skin::SetCurrentStripe(nullptr);
}

void TForm_QO7::setupUi() {
    Shape_Header = new skin::TPanel(this);
    Shape_Header->setObjectName(QStringLiteral("Shape_Header"));
    Shape_Header->setGeometry(0, 0, width() + 1, kHeaderHeight);

    Image_Logo = new skin::TImage(this);
    Image_Logo->setObjectName(QStringLiteral("Image_Logo"));
    Image_Logo->move(0, 0);
    Image_Logo->SetAutoSize(true);

    Shape_AntiFlicker1 = new skin::TPanel(this);
    Shape_AntiFlicker1->setObjectName(QStringLiteral("Shape_AntiFlicker1"));
    Shape_AntiFlicker1->setGeometry(0, 0, 229, 6);
    Shape_AntiFlicker2 = new skin::TPanel(this);
    Shape_AntiFlicker2->setObjectName(QStringLiteral("Shape_AntiFlicker2"));
    Shape_AntiFlicker2->setGeometry(0, 0, 229, 6);

    for (const HeaderButton& b : kHeaderButtons) {
        auto* button = new skin::TTarviMouseImage3State(this);
        button->setObjectName(QLatin1String(b.name));
        button->setGeometry(b.designLeft, 2, 32, 32);
        button->setCursor(Qt::PointingHandCursor);
        this->*b.field = button;
    }

    Panel1 = new skin::TPanel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, kHeaderHeight, width(), height() - kHeaderHeight);
    Panel1->installEventFilter(this);

    Image_SizeGrip = new skin::TImage(this);
    Image_SizeGrip->setObjectName(QStringLiteral("Image_SizeGrip"));
    Image_SizeGrip->resize(14, 14);
    Image_SizeGrip->setCursor(Qt::SizeFDiagCursor);

    // The borders draw over the window's outermost pixels, as the frame does around a client
    // area that starts inside it; each is also a resize edge of its side.
    const auto edge = [this](const char* name, Qt::Edges side) {
        auto* e = new TFrameEdge(this, side, [this](Qt::Edges s) { beginResize(s, nullptr); });
        e->setObjectName(QLatin1String(name));
        FrameEdges.push_back(e);
        return e;
    };
    Frame_Top = edge("Frame_Top", Qt::TopEdge);
    if (!settings::IsWindows10OrLater) {
        edge("Frame_Left", Qt::LeftEdge);
        edge("Frame_Right", Qt::RightEdge);
        edge("Frame_Bottom", Qt::BottomEdge);
    }

    buildMenus();

    LumoThreadTimer_Redraw = new TLumoThreadTimer(this);
    LumoThreadTimer_Redraw->setObjectName(QStringLiteral("LumoThreadTimer_Redraw"));
    LumoThreadTimer_Redraw->SetInterval(400);
    LumoThreadTimer_Redraw->SetOnTimer([this](QObject*) { redrawTimerTick(); });

    layoutHeader();
}

void TForm_QO7::buildMenus() {
    AdvPopupMenu_Help = new QMenu(this);
    AdvPopupMenu_Help->setObjectName(QStringLiteral("AdvPopupMenu_Help"));
    MenuItem_help_Help = new QAction(QStringLiteral("Hilfe"), AdvPopupMenu_Help);
    MenuItem_help_Help->setObjectName(QStringLiteral("MenuItem_help_Help"));
    MenuItem_help_Help->setProperty("Tag", 1);
    AdvPopupMenu_Help->addAction(MenuItem_help_Help);
    AdvPopupMenu_Help->addSeparator();
    MenuItem_help_About = new QAction(QStringLiteral("Über diese Software"), AdvPopupMenu_Help);
    MenuItem_help_About->setObjectName(QStringLiteral("MenuItem_help_About"));
    MenuItem_help_About->setProperty("Tag", 1);
    AdvPopupMenu_Help->addAction(MenuItem_help_About);

    AdvPopupMenu_Options = new QMenu(this);
    AdvPopupMenu_Options->setObjectName(QStringLiteral("AdvPopupMenu_Options"));
    MenuItem_Options = new QAction(QStringLiteral("Einstellungen"), AdvPopupMenu_Options);
    MenuItem_Options->setObjectName(QStringLiteral("MenuItem_Options"));
    MenuItem_Options->setProperty("Tag", 1);
    AdvPopupMenu_Options->addAction(MenuItem_Options);

    // Built anew each time it opens; the design holds one placeholder item.
    AdvPopupMenu_IM = new QMenu(this);
    AdvPopupMenu_IM->setObjectName(QStringLiteral("AdvPopupMenu_IM"));
    auto* dummy = new QAction(QStringLiteral("dummy"), AdvPopupMenu_IM);
    dummy->setObjectName(QStringLiteral("MenuItem_IM_Dummy"));
    AdvPopupMenu_IM->addAction(dummy);
}

void TForm_QO7::connectHeader() {
    TarviMouseImage3State_Close->OnClick = [this](QObject*) { close(); };
    TarviMouseImage3State_Maximize->OnClick = [this](QObject*) {
        if (isMaximized())
            showNormal();
        else
            showMaximized();
        platform::ProcessMessages(true);
        Update_MaximizeButtons_and_Sizegrip();
    };
    TarviMouseImage3State_Minimize->OnClick = [this](QObject*) { showMinimized(); };
    TarviMouseImage3State_Help->OnClick = [this](QObject*) {
        popupBelow(AdvPopupMenu_Help, TarviMouseImage3State_Help);
    };
    TarviMouseImage3State_IM->OnClick = [this](QObject*) {
        popupBelow(AdvPopupMenu_IM, TarviMouseImage3State_IM);
    };
    TarviMouseImage3State_options->OnClick = [this](QObject* sender) { RunOptionsLoop(sender); };
    TarviMouseImage3State_Feedback->OnClick = [this](QObject*) { FeedbackClick(); };

    connect(MenuItem_Options, &QAction::triggered, this, [this] { RunOptionsLoop(MenuItem_Options); });
    connect(MenuItem_help_Help, &QAction::triggered, this, [this] { MenuItem_help_HelpClick(); });
    connect(MenuItem_help_About, &QAction::triggered, this, [this] { MenuItem_help_AboutClick(); });
    connect(AdvPopupMenu_IM, &QMenu::aboutToShow, this, [this] { INIT_INTERNETMENU(); });
    connect(AdvPopupMenu_IM, &QMenu::triggered, this, [this](QAction* item) {
        if (item->property("HelpContext").isValid())
            MenuItem_IM_DummyClick(item);
    });

    for (QWidget* source : {static_cast<QWidget*>(Shape_Header), static_cast<QWidget*>(Image_Logo),
                            static_cast<QWidget*>(Shape_AntiFlicker1),
                            static_cast<QWidget*>(Shape_AntiFlicker2)})
        source->installEventFilter(this);
    Image_SizeGrip->OnMouseDown = [this](QObject*, Qt::MouseButton button, Qt::KeyboardModifiers,
                                         int, int) {
        if (button == Qt::LeftButton && !isMaximized())
            beginResize(Qt::BottomEdge | Qt::RightEdge, nullptr);
    };

    // F1 anywhere in the window asks for help, as the help item does.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, MenuItem_help_Help, &QAction::trigger);
}

void TForm_QO7::Perform_EveryThingAfterOnCreate(std::unique_ptr<skin::TStripeSkinner> stripe) {
    CurrentModuleForm = nullptr;
    CurrentModuleForm_OnOptionsChanged = nullptr;
    LastHelpKeyword.clear();

    setWindowTitle(windowTitle() + QStringLiteral(" (Version ") + QLatin1String(kProductVersion) + u')');
    i18n::LOAD_TRANSLATION_TO_FORM(platform::ProgramFolder() + QStringLiteral("\\translation"),
                                   i18n::CurrentTranslationName(), this);

    Image_SizeGrip->SetPicture(skinPicture(QStringLiteral("grip.png")));
    if (!Image_SizeGrip->Picture().isNull())
        Image_SizeGrip->resize(Image_SizeGrip->Picture().size());

    stripe_ = stripe ? std::move(stripe) : skin::CreateSkinStripe();
    skin::SetCurrentStripe(stripe_.get());
    applyOfficeMenuStyle();

    fillImageList();
    MenuItem_help_Help->setIcon(menuIcon(kImageHelp));
    MenuItem_help_About->setIcon(menuIcon(kImageAbout));
    MenuItem_Options->setIcon(menuIcon(kImageOptions));

    APPLY_Translation_and_Skin();
    LoadHeaderLogo();
    Shape_AntiFlicker2->raise();
    const skin::TColor header = Shape_Header->Color();
    Shape_AntiFlicker1->SetColor(header);
    Shape_AntiFlicker2->SetColor(header);
    for (QWidget* e : FrameEdges)
        e->raise();

    FormToolTips = new skin::TFormToolTips(this);
    skin::ToolTips().SetPresenter(FormToolTips);

    switcher_ = std::make_unique<TMainMenuSwitcherThread>(this, handOver_.link());
    Update_MaximizeButtons_and_Sizegrip();
}

void TForm_QO7::fillImageList() {
    if (!stripe_)
        return;
    ImageList16.BeginUpdate();
    for (int cell : kImageListCells)
        stripe_->AddOneToImageList(ImageList16, cell, false, 1.0f);
    ImageList16.EndUpdate();
}

QIcon TForm_QO7::menuIcon(int index) const {
    if (index < 0 || index >= ImageList16.Count())
        return {};
    return QIcon(QPixmap::fromImage(ImageList16.Image(index).ToQImage()));
}

void TForm_QO7::APPLY_Translation_and_Skin() {
    i18n::LOAD_TRANSLATION_TO_FORM(platform::ProgramFolder() + QStringLiteral("\\translation"),
                                   i18n::CurrentTranslationName(), this);

    Shape_Header->setGeometry(0, 0, width() + 1, kHeaderHeight);
    Shape_Header->SetColor(skin::ReadSkinColor(skin::SkinFolder() + QStringLiteral("\\skin.ini"),
                                               QStringLiteral("Header"), QStringLiteral("Color")));
    Shape_Header->lower();

    for (const HeaderButton& b : kHeaderButtons) {
        skin::TTarviMouseImage3State* button = this->*b.field;
        const QImage normal = HeaderButtonPicture(QLatin1String(b.normal));
        button->SetPicture_Highlight(HeaderButtonPicture(QLatin1String(b.hover)));
        button->SetPicture_Pressed(normal);
        button->SetPicture_Normal(normal);
    }

    // The first module switch lays the host out anew.
    if (!hostLaidOut_)
        Panel1->setGeometry(0, 66, 800, 479);
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
    for (const HeaderButton& b : kHeaderButtons) {
        skin::TTarviMouseImage3State* button = this->*b.field;
        // A pressed button sits one pixel right and down; keep that offset.
        const int pressOffset = button->y() - 2;
        button->move(w - (kDesignClientSize.width() - b.designLeft) + pressOffset, button->y());
    }
    const int h = height();
    for (QWidget* e : FrameEdges) {
        switch (static_cast<TFrameEdge*>(e)->edges()) {
        case Qt::TopEdge: e->setGeometry(0, 0, w, kTopBorder); break;
        case Qt::LeftEdge: e->setGeometry(0, 0, kLeftBorder, h); break;
        case Qt::RightEdge: e->setGeometry(w - kRightBottomBorder, 0, kRightBottomBorder, h); break;
        default: e->setGeometry(0, h - kRightBottomBorder, w, kRightBottomBorder); break;
        }
    }
    if (Image_SizeGrip)
        Image_SizeGrip->move(w - Image_SizeGrip->width() - 2, height() - Image_SizeGrip->height() - 2);
}

void TForm_QO7::layoutHost() {
    if (const QScreen* screen = this->screen()) {
        const int maxHeight = std::min(screen->availableGeometry().height() + 12,
                                       screen->geometry().height() - 1);
        setMaximumSize(QWIDGETSIZE_MAX, maxHeight);
    }
    setMinimumSize(kHostedMinimumSize);
    Panel1->setGeometry(0, kHostTop, width(), height() - kHostTop);
    hostLaidOut_ = true;
}

void TForm_QO7::Update_MaximizeButtons_and_Sizegrip() {
    const bool maximized = isMaximized();
    Image_SizeGrip->move(width() - Image_SizeGrip->width() - 2,
                         height() - Image_SizeGrip->height() - 2);
    Image_SizeGrip->setVisible(!maximized);
    Image_SizeGrip->raise();
    if (QWidget* copy = findGripCopy(CurrentModuleForm))
        copy->setVisible(!maximized);

    // A maximised window has no frame to show, and no border to resize from.
    for (QWidget* e : FrameEdges)
        e->setVisible(!maximized);

    const QImage normal = HeaderButtonPicture(maximized ? QStringLiteral("but_unmax_normal.png")
                                                  : QStringLiteral("but_maximize.png"));
    TarviMouseImage3State_Maximize->SetPicture_Highlight(HeaderButtonPicture(
        maximized ? QStringLiteral("but_unmax_hover.png") : QStringLiteral("but_maximize_hover.png")));
    TarviMouseImage3State_Maximize->SetPicture_Pressed(normal);
    TarviMouseImage3State_Maximize->SetPicture_Normal(normal);
    TarviMouseImage3State_Maximize->setEnabled(true);
    platform::ProcessMessages(true);
}

QWidget* TForm_QO7::findGripCopy(QWidget* module) const {
    if (!module)
        return nullptr;
    for (skin::TImage* image : module->findChildren<skin::TImage*>())
        if (image->testAttribute(Qt::WA_SetCursor) && image->cursor().shape() == Qt::SizeFDiagCursor)
            return image;
    return nullptr;
}

void TForm_QO7::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutHeader();
    if (hostLaidOut_)
        Panel1->setGeometry(0, kHostTop, width(), height() - kHostTop);
}

bool TForm_QO7::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Panel1 && event->type() == QEvent::Resize) {
        // The module fills the host.
        if (CurrentModuleForm && CurrentModuleForm->parentWidget() == Panel1)
            CurrentModuleForm->setGeometry(Panel1->rect());
        return false;
    }
    if (event->type() == QEvent::MouseButtonPress && watched != Panel1) {
        auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::LeftButton) {
            beginMove(press);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm_QO7::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && Image_SizeGrip)
        Update_MaximizeButtons_and_Sizegrip();
    else if (event->type() == QEvent::ActivationChange)
        for (QWidget* e : FrameEdges)
            e->update();
}

void TForm_QO7::beginMove(QMouseEvent*) {
    if (QWindow* window = windowHandle(); window && window->startSystemMove())
        return;
    drag_ = {true, {}, QCursor::pos(), geometry()};
    grabMouse();
}

void TForm_QO7::beginResize(Qt::Edges edges, QMouseEvent*) {
    if (isMaximized())
        return;
    if (QWindow* window = windowHandle(); window && window->startSystemResize(edges))
        return;
    drag_ = {true, edges, QCursor::pos(), geometry()};
    grabMouse();
}

void TForm_QO7::mouseMoveEvent(QMouseEvent* event) {
    if (!drag_.active) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint delta = event->globalPosition().toPoint() - drag_.pressGlobal;
    QRect r = drag_.startGeometry;
    if (!drag_.edges) {
        move(r.topLeft() + delta);
        return;
    }
    if (drag_.edges & Qt::RightEdge)
        r.setWidth(std::max(minimumWidth(), r.width() + delta.x()));
    if (drag_.edges & Qt::BottomEdge)
        r.setHeight(std::clamp(r.height() + delta.y(), minimumHeight(), maximumHeight()));
    if (drag_.edges & Qt::LeftEdge) {
        const int width = std::max(minimumWidth(), r.width() - delta.x());
        r.setLeft(r.right() - width + 1);
    }
    if (drag_.edges & Qt::TopEdge) {
        const int height = std::clamp(r.height() - delta.y(), minimumHeight(), maximumHeight());
        r.setTop(r.bottom() - height + 1);
    }
    setGeometry(r);
}

void TForm_QO7::mouseReleaseEvent(QMouseEvent* event) {
    if (!drag_.active) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    drag_.active = false;
    releaseMouse();
}

void TForm_QO7::popupBelow(QMenu* menu, const QWidget* button) {
    menu->popup(mapToGlobal(QPoint(button->x(), button->y() + 32)));
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
// Module host

void TForm_QO7::ShowMainmenu() {
    skin::ToolTips().OnCustomOnMouseLeave(this);
    if (switcher_)
        switcher_->RequestShowMainMenu();
}

void TForm_QO7::ShowMainmenu_Real() { ChangeModule_Real(MainModuleClass, false); }

void TForm_QO7::ChangeModule(const QString& FormClass, bool isStartPage) {
    if (switcher_)
        switcher_->RequestChangeModule(FormClass, isStartPage);
}

void TForm_QO7::closeCurrentModule() {
    QWidget* module = CurrentModuleForm;
    CurrentModuleForm = nullptr;
    CurrentModuleFormClass.clear();
    CurrentModuleForm_OnOptionsChanged = nullptr;
    module->close(); // the module's own closing work
    module->hide();
    // Freed once control is back in the event loop: the switch may run inside a handler of
    // the module that is being replaced.
    module->deleteLater();
}

void TForm_QO7::ChangeModule_Real(const QString& FormClass, bool isStartPage) {
    skin::ToolTips().OnCustomOnMouseLeave(this);
    const uint32_t t0 = platform::timeGetTime();

    if (CurrentModuleForm) {
        if (KeepFormLoaded_isKeepForm(CurrentModuleForm) < 0) {
            OutputDebugStringW(QStringLiteral("Close: ") + CurrentModuleFormClass);
            closeCurrentModule();
        } else {
            OutputDebugStringW(QStringLiteral("DO NOT Close: ") + CurrentModuleFormClass);
            CurrentModuleForm->hide();
            CurrentModuleForm = nullptr;
        }
    }
    CurrentModuleForm_isStartPage = isStartPage;

    QWidget* module = nullptr;
    if (const int keep = KeepFormLoaded_isKeepFormClass(FormClass); keep >= 0) {
        module = KeepFormsLoaded[size_t(keep)].Form;
        OutputDebugStringW(QStringLiteral("KeepForm found: ") + FormClass +
                           QStringLiteral(" ; FormName=") + module->objectName());
    } else if (const TModuleClass* moduleClass = FindModuleClass(FormClass)) {
        module = moduleClass->Create(Panel1);
        if (module)
            OutputDebugStringW(QStringLiteral("Created: ") + FormClass +
                               QStringLiteral(" ; FormName=") + module->objectName());
    }
    if (!module) {
        OutputDebugStringW(QStringLiteral("No module of class ") + FormClass);
        return;
    }
    CurrentModuleForm = module;
    CurrentModuleFormClass = FormClass;

    // Embedded: a borderless child filling the host, in front.
    if (module->parentWidget() != Panel1)
        module->setParent(Panel1, Qt::Widget);
    module->setGeometry(Panel1->rect());
    module->show();
    module->raise();

    Update_MaximizeButtons_and_Sizegrip();
    layoutHost();
    platform::ProcessMessages(true);
    update();
    // The module's first show event comes with its first showing: now when the window is
    // already visible, else together with the window.
    OutputDebugStringW(QStringLiteral("ms for Creating new Module = ") +
                       QString::number(platform::timeGetTime() - t0));
}

int TForm_QO7::KeepFormLoaded_isKeepForm(const QWidget* Form) const {
    for (size_t i = 0; i < KeepFormsLoaded.size(); ++i)
        if (KeepFormsLoaded[i].Form && KeepFormsLoaded[i].Form == Form)
            return int(i);
    return -1;
}

int TForm_QO7::KeepFormLoaded_isKeepFormClass(const QString& FormClass) const {
    for (size_t i = 0; i < KeepFormsLoaded.size(); ++i)
        if (KeepFormsLoaded[i].Form && KeepFormsLoaded[i].FormClass == FormClass)
            return int(i);
    return -1;
}

void TForm_QO7::KeepFormLoaded_ClearAll() {
    OutputDebugStringW(QStringLiteral("KeepFormLoaded_ClearAll"));
    for (int i = int(KeepFormsLoaded.size()) - 1; i >= 0;) {
        QWidget* form = KeepFormsLoaded[size_t(i)].Form;
        if (!form) {
            --i;
            continue;
        }
        OutputDebugStringW(QStringLiteral("KeepFormLoaded_ClearAll ; Close=") + form->objectName());
        if (form == CurrentModuleForm) {
            OutputDebugStringW(QStringLiteral(
                "KeepFormLoaded_ClearAll ; this is the current MainForm ; clear currentmainform"));
            CurrentModuleForm = nullptr;
            CurrentModuleFormClass.clear();
        }
        form->close();
        form->hide();
        form->deleteLater();
        KeepFormsLoaded[size_t(i)] = {};
        i = int(KeepFormsLoaded.size()) - 1;
    }
    KeepFormsLoaded.clear();
}

void TForm_QO7::EnableDisable_Modulwechsel(bool enable) {
    skin::ToolTips().OnCustomOnMouseLeave(this);
    modulesLocked_ = !enable;
    OutputDebugStringW(enable ? QStringLiteral("Module changes allowed again")
                              : QStringLiteral("Module changes held back (long work runs)"));
    platform::ProcessMessages(true);
}

QString TForm_QO7::CurrentModuleClassName() const {
    return CurrentModuleForm ? CurrentModuleFormClass : QString();
}

const skin::TImage* TForm_QO7::SizeGrip() const { return Image_SizeGrip; }

// ---------------------------------------------------------------------------------------------
// Dialogs, options, internet menu

void TForm_QO7::Show_Warning(const QString& text) { ShowWarningDialog(text); }
void TForm_QO7::Show_Info(const QString& text) { ShowInfoDialog(text); }
int TForm_QO7::AskYesOrNo(const QString& text, int defaultAnswer) {
    return AskYesOrNoDialog(text, defaultAnswer);
}

void TForm_QO7::ClickOptionsMenuItem() { MenuItem_Options->trigger(); }

void TForm_QO7::SetCurrentModuleForm_OnOptionsChanged(std::function<void()> handler) {
    CurrentModuleForm_OnOptionsChanged = std::move(handler);
}

void TForm_QO7::RunOptionsLoop(QObject* sender) {
    inet::zinet_AnalyticsManagerAddFeature(QStringLiteral("QO12.OTHER.OPTIONS"), 1);
    settings::RunOptionsDialog(sender);
    if (CurrentModuleForm_OnOptionsChanged) {
        const std::function<void()> handler = CurrentModuleForm_OnOptionsChanged;
        handler();
    }
}

void TForm_QO7::MenuItem_help_HelpClick() {
    // A module's own topic once it names one; the shell's otherwise.
    const QString topic =
        !LastHelpKeyword.isEmpty() && CurrentModuleForm ? LastHelpKeyword : QStringLiteral("main");
    OpenOnlineHelp(topic);
}

void TForm_QO7::MenuItem_help_AboutClick() {
    TForm_About about(this);
    about.setWindowTitle(MenuItem_help_About->text().remove(u'&'));
    about.exec();
}

void TForm_QO7::INIT_INTERNETMENU() {
    if (platform::FirstArgumentUpper() == u"-SAVE")
        return;
    AdvPopupMenu_IM->clear();
    ImageList_IM.clear();
    const int count = inet::zinet_GetMenuItemsCount(inet::kInternetMenu);
    for (int i = 0; i < count; ++i) {
        const QString text = inet::zinet_GetMenuItemsText(inet::kInternetMenu, i);
        if (text.isEmpty()) {
            AdvPopupMenu_IM->addSeparator();
            continue;
        }
        auto* item = new QAction(text, AdvPopupMenu_IM);
        const QIcon icon = inet::zinet_GetMenuItemsImage(inet::kInternetMenu, i);
        if (!icon.isNull()) {
            ImageList_IM.push_back(icon);
            item->setIcon(icon);
        }
        item->setProperty("HelpContext", inet::zinet_GetMenuItemsID(inet::kInternetMenu, i));
        AdvPopupMenu_IM->addAction(item);
    }
}

void TForm_QO7::MenuItem_IM_DummyClick(QAction* item) {
    const int result = inet::zinet_ProcessMenuItem(this, item->property("HelpContext").toInt());
    OutputDebugStringW(QStringLiteral("zinet_ProcessMenuItem RETURNED = ") + QString::number(result));
    if (result == inet::kResultCloseProgram || result == inet::kResultCloseProgramAfterUpdate) {
        TarviMouseImage3State_Close->OnClick(TarviMouseImage3State_Close);
        return;
    }
    // Rebuilt once the menu has closed: the item that was clicked belongs to it.
    QMetaObject::invokeMethod(this, [this] { INIT_INTERNETMENU(); }, Qt::QueuedConnection);
}

void TForm_QO7::FeedbackClick() {
    // The stand-in for the online services has no feedback service; the link target leads to
    // the manual that ships with the program.
    OpenLinkTarget(QStringLiteral("feedback"));
}

// ---------------------------------------------------------------------------------------------
// Closing

void TForm_QO7::FormCloseQuery() {
    OutputDebugStringW(QStringLiteral("QO16: FormCloseQuery"));
    analysis::ProgramClosing = true;
    // The module shown stops its own work (an analysis under way ends early) as it closes.
    if (CurrentModuleForm)
        CurrentModuleForm->close();
    QThread::msleep(50);
    KeepFormLoaded_ClearAll();
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
