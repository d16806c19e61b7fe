// The message dialog: answers, the default button under Enter, refused close requests, the
// layout with and without the remember box, and the shared background.

#include "AppTestSupport.h"

#include "app/FormYesNo.h"
#include "i18n/ProjectMessages.h"
#include "skin/HTMLabel.h"
#include "skin/Image.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QPushButton>

using namespace app;

namespace {

class FormYesNoTest : public apptest::ShippedProgram {
protected:
    void TearDown() override {
        ResetAskerBackground();
        ShippedProgram::TearDown();
    }
};

void press(QWidget* dialog, int key) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : dialog;
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &up);
}

TEST_F(FormYesNoTest, EnterAnswersWithTheDefaultButtonAndCloseRequestsChangeNothing) {
    struct Case {
        int defaultAnswer;
        uint32_t expected;
    };
    for (const Case c : {Case{7, kResultNo}, Case{6, kResultYes}}) {
        bool stillOpenAfterClose = false;
        uint32_t resultWhileOpen = 99;
        apptest::WhenModalOpens([&](QWidget* modal) {
            auto* dialog = qobject_cast<TForm_YesNo*>(modal);
            ASSERT_NE(dialog, nullptr);
            EXPECT_TRUE(apptest::Find<QPushButton>(dialog, "Button_Ja")->isVisible());
            EXPECT_TRUE(apptest::Find<QPushButton>(dialog, "Button_Nein")->isVisible());
            EXPECT_FALSE(apptest::Find<QPushButton>(dialog, "Button_Ok")->isVisible());
            EXPECT_EQ(apptest::Find<QPushButton>(dialog, "Button_Nein")->y(), apptest::Find<QPushButton>(dialog, "Button_Ja")->y());
            dialog->close();         // the close box / Alt+F4
            press(dialog, Qt::Key_Escape);
            stillOpenAfterClose = dialog->isVisible();
            resultWhileOpen = dialog->RESULT;
            press(dialog, Qt::Key_Return);
        });
        bool remember = true;
        EXPECT_EQ(Ask(QImage(), "Sure?", "Caption", c.defaultAnswer, &remember, false, ""), c.expected);
        EXPECT_TRUE(stillOpenAfterClose);
        EXPECT_EQ(resultWhileOpen, kResultOpen);
        EXPECT_FALSE(remember);
    }
}

TEST_F(FormYesNoTest, QuestionLayoutWithAndWithoutTheRememberBox) {
    apptest::WhenModalOpens([](QWidget* modal) {
        auto* dialog = static_cast<TForm_YesNo*>(modal);
        EXPECT_EQ(dialog->windowTitle(), "Frage?");
        EXPECT_EQ(apptest::Find<skin::THTMLabel>(dialog, "HTMLabel1")->height(), 113);
        EXPECT_FALSE(apptest::Find<QCheckBox>(dialog, "CheckBox_Remember")->isVisible());
        EXPECT_EQ(apptest::Find<QPushButton>(dialog, "Button_Ja")->text(), i18n::Message(i18n::Msg::MESSAGE_ASKER_YES));
        EXPECT_EQ(apptest::Find<QPushButton>(dialog, "Button_Nein")->text(), "Nein");
        apptest::Find<QPushButton>(dialog, "Button_Ja")->click();
    });
    EXPECT_EQ(Ask(QImage(), "<b>long</b> text", "Frage?", 0, nullptr, false, ""), kResultYes);

    apptest::WhenModalOpens([](QWidget* modal) {
        auto* dialog = static_cast<TForm_YesNo*>(modal);
        EXPECT_EQ(apptest::Find<skin::THTMLabel>(dialog, "HTMLabel1")->height(), 92);
        EXPECT_TRUE(apptest::Find<QCheckBox>(dialog, "CheckBox_Remember")->isVisible());
        EXPECT_EQ(apptest::Find<QCheckBox>(dialog, "CheckBox_Remember")->text(), "Nicht mehr fragen");
        apptest::Find<QCheckBox>(dialog, "CheckBox_Remember")->setChecked(true);
        apptest::Find<QPushButton>(dialog, "Button_Nein")->click();
    });
    bool remember = false;
    EXPECT_EQ(Ask(QImage(), "text", "c", 0, &remember, true, "Nicht mehr fragen"), kResultNo);
    EXPECT_TRUE(remember);
}

TEST_F(FormYesNoTest, MessageHasOnlyTheOkButtonWhereYesWasAndTheSharedBackground) {
    EXPECT_FALSE(AskerBackgroundLoaded());
    const QImage icon(64, 64, QImage::Format_ARGB32);
    apptest::WhenModalOpens([&](QWidget* modal) {
        auto* dialog = static_cast<TForm_YesNo*>(modal);
        EXPECT_TRUE(apptest::Find<QPushButton>(dialog, "Button_Ok")->isVisible());
        EXPECT_FALSE(apptest::Find<QPushButton>(dialog, "Button_Ja")->isVisible());
        EXPECT_FALSE(apptest::Find<QPushButton>(dialog, "Button_Nein")->isVisible());
        EXPECT_EQ(apptest::Find<QPushButton>(dialog, "Button_Ok")->y(), apptest::Find<QPushButton>(dialog, "Button_Ja")->y());
        EXPECT_EQ(apptest::Find<QPushButton>(dialog, "Button_Ok")->text(), "Ok");
        EXPECT_EQ(dialog->windowTitle(), "Zelvano Orbisca 2024");
        EXPECT_FALSE(apptest::Find<skin::TImage>(dialog, "Image_Back")->Picture().isNull());
        EXPECT_EQ(apptest::Find<skin::TImage>(dialog, "Image_Back")->size(), QSize(460, 180));
        EXPECT_EQ(apptest::Find<skin::TImage>(dialog, "Image1")->size(), QSize(64, 64));
        EXPECT_FALSE(dialog->windowFlags() & Qt::WindowCloseButtonHint);
        dialog->close();
        EXPECT_TRUE(dialog->isVisible());
        press(dialog, Qt::Key_Return);
    });
    ShowInfoDialog("Done.");
    EXPECT_TRUE(AskerBackgroundLoaded());
}

} // namespace
