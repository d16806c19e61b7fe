#pragma once

// The tooltip window: a borderless skinned window with a title line, an icon and a short
// formatted text. The registry (ToolTips.h) hands it the control under the mouse; it places
// itself centred below the control (above it when there is no room before the bottom of the
// main window) and shows itself only after the mouse has rested for 15 x 40 ms. A delay thread
// (TToolTipThread) waits; when the mouse leaves first, the thread is told to stop and the
// tooltip it was waiting for is never shown.

#include "skin/ToolTips.h"
#include "skin/UiHandOver.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QWidget>

#include <memory>
#include <mutex>

class QLabel;

namespace skin {

class TImage;
class THTMLabel;

// Showing and hiding the tooltip window happen under this lock.
std::mutex& ToolTipLock();

// Where the tooltip goes: centred under the control whose bottom-left corner is at
// senderBottomLeft (screen), 4 pixels below it; when the tooltip would then end less than 4
// pixels above limitY (the bottom of the main window), 4 pixels above the control instead.
QPoint ToolTipPosition(QPoint senderBottomLeft, QSize senderSize, QSize tipSize, int limitY);

// One delay: up to 15 waits of 40 ms, cut short when it is told to terminate; then, unless told
// to terminate, it hands the show step to the UI thread and waits for it. Runs at the lowest
// priority and frees itself when it ends.
class TToolTipThread {
public:
    static constexpr int kPolls = 15;
    static constexpr int kPollMs = 40;

    struct State;
    // Starts a delay whose show step is `show`; the returned state lets the UI thread tell it
    // to terminate. Nothing (and no thread) when none could be started.
    static std::shared_ptr<State> Start(std::shared_ptr<TUiHandOver::Link> ui,
                                        std::function<void(const std::shared_ptr<State>&)> show);
    static void Terminate(const std::shared_ptr<State>& state);
    // Delay threads still running in this process.
    static int RunningCount();
};

class TFormToolTips : public QWidget, public TToolTipPresenter {
    Q_OBJECT
public:
    static constexpr QSize kClientSize{360, 130};

    // The window belongs to the main window and lives as long as it does.
    explicit TFormToolTips(QWidget* mainWindow);
    ~TFormToolTips() override;

    void Enter(QWidget* sender, const TToolTip& tip) override;
    void Leave() override;

    // The colour of the texts on a background picture: white, but dark on a light picture.
    static QColor TextColourFor(const QImage& background);

    // Diagnostics for tests: a delay is pending (entered, not yet shown or left).
    bool Waiting() const { return current_ != nullptr; }

    TImage* Image_Background = nullptr;
    THTMLabel* HTMLabel1 = nullptr;
    TImage* Image_Down = nullptr;
    TImage* Image_Header = nullptr;
    QLabel* Label_InfoHover_Fixed1 = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setupUi();
    void fillPictures();
    void showStep(const std::shared_ptr<TToolTipThread::State>& delay);

    QWidget* mainWindow_;
    bool filled_ = false;
    std::shared_ptr<TToolTipThread::State> current_;
    TUiHandOver handOver_;
};

} // namespace skin
