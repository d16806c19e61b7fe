#include "skin/Form_ToolTips.h"

#include "platform/Debug.h"
#include "platform/ProgramFolder.h"
#include "skin/HTMLabel.h"
#include "skin/Image.h"
#include "skin/PngImage.h"
#include "skin/SkinFiles.h"
#include "skin/stripeskins.h"

#include <QLabel>
#include <QPainter>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <system_error>
#include <thread>

namespace skin {

struct TToolTipThread::State {
    std::mutex lock;
    std::condition_variable wake;
    bool terminated = false;
};

namespace {

std::atomic<int> g_running{0};

// Shown when neither the skin nor the skins folder has a tooltip picture: the white texts stay
// readable on it.
const QColor kPlainBackground(45, 52, 64);

QFont segoeUi(int pixels) {
    QFont font(QStringLiteral("Segoe UI"));
    font.setPixelSize(pixels);
    return font;
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

} // namespace

std::mutex& ToolTipLock() {
    static std::mutex lock;
    return lock;
}

QPoint ToolTipPosition(QPoint senderBottomLeft, QSize senderSize, QSize tipSize, int limitY) {
    const int left = senderBottomLeft.x() + senderSize.width() / 2 - tipSize.width() / 2;
    int top = senderBottomLeft.y() + 4;
    if (tipSize.height() + top + 4 > limitY)
        top = top - tipSize.height() - senderSize.height() - 8;
    return {left, top};
}

std::shared_ptr<TToolTipThread::State>
TToolTipThread::Start(std::shared_ptr<TUiHandOver::Link> ui,
                      std::function<void(const std::shared_ptr<State>&)> show) {
    auto state = std::make_shared<State>();
    try {
        ++g_running;
        std::thread([state, ui = std::move(ui), show = std::move(show)] {
            // The lowest priority a thread of ours can take without privileges.
            setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
            bool terminated = false;
            {
                std::unique_lock guard(state->lock);
                for (int i = 0; i < kPolls && !state->terminated; ++i)
                    state->wake.wait_for(guard, std::chrono::milliseconds(kPollMs),
                                         [&] { return state->terminated; });
                terminated = state->terminated;
            }
            if (!terminated)
                TUiHandOver::RunAndWait(ui, [state, &show] { show(state); });
            --g_running;
        }).detach();
    } catch (const std::system_error& e) {
        --g_running;
        platform::OutputDebugStringW(QStringLiteral("TToolTipThread could not start: ") +
                                     QString::fromLocal8Bit(e.what()));
        return nullptr;
    }
    return state;
}

void TToolTipThread::Terminate(const std::shared_ptr<State>& state) {
    if (!state)
        return;
    {
        std::lock_guard guard(state->lock);
        state->terminated = true;
    }
    state->wake.notify_all();
}

int TToolTipThread::RunningCount() { return g_running.load(); }

TFormToolTips::TFormToolTips(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::ToolTip | Qt::FramelessWindowHint), mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("FormToolTips"));
    setWindowTitle(QStringLiteral("ToolTip"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(kClientSize);
    setupUi();
}

TFormToolTips::~TFormToolTips() {
    TToolTipThread::Terminate(current_);
    if (ToolTips().Presenter() == this)
        ToolTips().SetPresenter(nullptr);
}

void TFormToolTips::setupUi() {
    Image_Background = new TImage(this);
    Image_Background->setObjectName(QStringLiteral("Image_Background"));
    Image_Background->setGeometry(rect());
    Image_Background->SetStretch(true);

    HTMLabel1 = new THTMLabel(this);
    HTMLabel1->setObjectName(QStringLiteral("HTMLabel1"));
    HTMLabel1->setGeometry(36, 36, 316, 84);
    HTMLabel1->setFont(segoeUi(13));
    HTMLabel1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setTextColour(HTMLabel1, Qt::white);

    Image_Down = new TImage(this);
    Image_Down->setObjectName(QStringLiteral("Image_Down"));
    Image_Down->setGeometry(168, 106, 24, 24);
    Image_Down->SetStretch(true);
    Image_Down->hide();

    Image_Header = new TImage(this);
    Image_Header->setObjectName(QStringLiteral("Image_Header"));
    Image_Header->setGeometry(4, 52, 24, 24);
    Image_Header->SetStretch(true);

    Label_InfoHover_Fixed1 = new QLabel(QStringLiteral("Information"), this);
    Label_InfoHover_Fixed1->setObjectName(QStringLiteral("Label_InfoHover_Fixed1"));
    Label_InfoHover_Fixed1->setGeometry(36, 8, 316, 24);
    Label_InfoHover_Fixed1->setFont(segoeUi(16));
    setTextColour(Label_InfoHover_Fixed1, Qt::white);
}

void TFormToolTips::fillPictures() {
    if (filled_)
        return;
    filled_ = true;
    if (const TStripeSkinner* stripe = CurrentStripe()) {
        QImage picture;
        if (stripe->CopyToPicture(24, picture, 13, false, 1.0f))
            Image_Down->SetPicture(picture);
        if (stripe->CopyToPicture(24, picture, 25, false, 1.0f))
            Image_Header->SetPicture(picture);
    }
    const QString own = SkinFolder() + QStringLiteral("\\ToolTips.bmp");
    const QString shared = platform::ProgramFolder() + QStringLiteral("\\skins\\ToolTips.bmp");
    const QImage background = LoadSkinPicture(FileExists(own) ? own : shared);
    Image_Background->SetPicture(background);
    // The texts are white, made for a dark picture; on a light one they would vanish, so there
    // they take a dark colour instead.
    const QColor colour = TextColourFor(background);
    setTextColour(HTMLabel1, colour);
    setTextColour(Label_InfoHover_Fixed1, colour);
}

QColor TFormToolTips::TextColourFor(const QImage& background) {
    if (background.isNull())
        return Qt::white;
    const QColor average = background.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                               .pixelColor(0, 0);
    return average.lightness() > 150 ? QColor(0x1F, 0x29, 0x37) : QColor(Qt::white);
}

void TFormToolTips::paintEvent(QPaintEvent*) {
    // Under the background picture; visible only when there is none.
    QPainter(this).fillRect(rect(), kPlainBackground);
}

void TFormToolTips::Enter(QWidget* sender, const TToolTip& tip) {
    if (!sender)
        return;
    fillPictures();
    const QWidget* main = mainWindow_ ? mainWindow_ : sender->window();
    const QPoint bottomLeft = sender->mapToGlobal(QPoint(0, sender->height()));
    const int limitY = main->mapToGlobal(QPoint(main->width(), main->height())).y();
    move(ToolTipPosition(bottomLeft, sender->size(), size(), limitY));
    Label_InfoHover_Fixed1->setText(tip.Caption);
    HTMLabel1->SetHTMLText(tip.Text);
    SpaceFormattedLines(this);

    // The leave before this entry has stopped the previous delay; a stray one is stopped here.
    TToolTipThread::Terminate(current_);
    current_ = TToolTipThread::Start(
        handOver_.link(),
        [this](const std::shared_ptr<TToolTipThread::State>& delay) { showStep(delay); });
}

void TFormToolTips::showStep(const std::shared_ptr<TToolTipThread::State>& delay) {
    // A delay that is no longer the current one belongs to a control the mouse has left.
    if (delay != current_)
        return;
    current_.reset();
    std::lock_guard guard(ToolTipLock());
    show();
    raise();
}

void TFormToolTips::Leave() {
    if (current_) {
        TToolTipThread::Terminate(current_);
        current_.reset();
    }
    std::lock_guard guard(ToolTipLock());
    if (isVisible())
        hide();
}

} // namespace skin
