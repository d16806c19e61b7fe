// The tooltip window: where it goes, the delay before it shows, and a leave that cancels it.

#include "AppTestSupport.h"

#include "skin/Form_ToolTips.h"
#include "skin/HTMLabel.h"
#include "skin/Image.h"

#include <QLabel>

using namespace skin;

namespace {

TEST(ToolTipPlacement, CentredBelowOrFourPixelsAboveNearTheBottom) {
    const QSize tip(360, 130);
    // A control 100 wide at x = 500: 500 + 50 - 180.
    EXPECT_EQ(ToolTipPosition({500, 232}, {100, 32}, tip, 1000), QPoint(370, 236));
    // Room just enough below: tip bottom plus 4 reaches the limit exactly.
    EXPECT_EQ(ToolTipPosition({500, 232}, {100, 32}, tip, 236 + 130 + 4), QPoint(370, 236));
    // One pixel less: above the control, 4 pixels above its top edge (200).
    const QPoint above = ToolTipPosition({500, 232}, {100, 32}, tip, 236 + 130 + 3);
    EXPECT_EQ(above, QPoint(370, 200 - 4 - 130));
}

class ToolTipWindowTest : public apptest::ShippedProgram {
protected:
    void SetUp() override {
        ShippedProgram::SetUp();
        main_.setGeometry(100, 100, 800, 600);
        control_ = new QWidget(&main_);
        control_->setGeometry(300, 20, 100, 32);
        main_.show();
        tips_ = new TFormToolTips(&main_);
    }
    QWidget main_;
    QWidget* control_ = nullptr;
    TFormToolTips* tips_ = nullptr;
    const TToolTip tip_{"QWidget", "X", "Optionen", "<b>Einstellungen</b> anzeigen"};
};

TEST_F(ToolTipWindowTest, ShowsFilledAndPlacedAfterTheMouseRested) {
    QElapsedTimer clock;
    clock.start();
    tips_->Enter(control_, tip_);
    EXPECT_TRUE(tips_->Waiting());
    EXPECT_FALSE(tips_->isVisible());
    ASSERT_TRUE(apptest::WaitUntil([&] { return tips_->isVisible(); }, 3000));
    // 15 polls of 40 ms; the scheduler may add to it but never take away.
    EXPECT_GE(clock.elapsed(), 15 * 40 - 5);
    EXPECT_FALSE(tips_->Waiting());

    EXPECT_EQ(tips_->Label_InfoHover_Fixed1->text(), "Optionen");
    EXPECT_TRUE(tips_->HTMLabel1->HTMLText().contains(">" + tip_.Text + "<"));
    EXPECT_FALSE(tips_->Image_Background->Picture().isNull());
    // The shipped pictures are light: the texts are dark on them, not white.
    EXPECT_EQ(tips_->HTMLabel1->palette().color(QPalette::WindowText),
              TFormToolTips::TextColourFor(tips_->Image_Background->Picture()));
    EXPECT_NE(tips_->HTMLabel1->palette().color(QPalette::WindowText), QColor(Qt::white));
    const QPoint bottomLeft = control_->mapToGlobal(QPoint(0, control_->height()));
    EXPECT_EQ(tips_->pos(), QPoint(bottomLeft.x() + 50 - 180, bottomLeft.y() + 4));

    tips_->Leave();
    EXPECT_FALSE(tips_->isVisible());
}

TEST(ToolTipColours, WhiteOnDarkDarkOnLight) {
    QImage dark(40, 20, QImage::Format_RGB32), light(40, 20, QImage::Format_RGB32);
    dark.fill(QColor(30, 40, 60));
    light.fill(QColor(247, 248, 251));
    EXPECT_EQ(TFormToolTips::TextColourFor(dark), QColor(Qt::white));
    EXPECT_EQ(TFormToolTips::TextColourFor(QImage()), QColor(Qt::white));
    EXPECT_LT(TFormToolTips::TextColourFor(light).lightness(), 80);
}

TEST_F(ToolTipWindowTest, LeavingAfter300MsShowsNothingEver) {
    tips_->Enter(control_, tip_);
    apptest::PumpFor(300);
    tips_->Leave();
    EXPECT_FALSE(tips_->Waiting());
    apptest::PumpFor(700);
    EXPECT_FALSE(tips_->isVisible());
    // Its delay thread has ended rather than waiting on.
    EXPECT_TRUE(apptest::WaitUntil([] { return TToolTipThread::RunningCount() == 0; }, 1000));
}

TEST_F(ToolTipWindowTest, ControlNearTheBottomOfTheMainWindowGetsItAbove) {
    control_->move(300, 600 - 40);
    tips_->Enter(control_, tip_);
    const QPoint top = control_->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(tips_->y(), top.y() - 4 - TFormToolTips::kClientSize.height());
    tips_->Leave();
}

TEST_F(ToolTipWindowTest, WindowGoingAwayWhileADelayWaitsIsSafe) {
    tips_->Enter(control_, tip_);
    delete tips_;
    tips_ = nullptr;
    apptest::PumpFor(700);
    EXPECT_TRUE(apptest::WaitUntil([] { return TToolTipThread::RunningCount() == 0; }, 1000));
}

} // namespace
