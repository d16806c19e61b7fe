// The drive picker on its own: what creation puts into it and how its buttons and keys end it.

#include "FormsTestSupport.h"

#include "i18n/ProjectMessages.h"
#include "skin/Image.h"
#include "skin/LumoButton2.h"
#include "views/DriveComboBoxEx.h"
#include "views/FormUNDELETE_Drive.h"

#include <QKeyEvent>

using forms_test::Find;
using views::TForm_UNDELETE_Drive;

namespace {

class DrivePicker : public forms_test::WindowTest {};

TEST_F(DrivePicker, CreationPutsPicturesCaptionsAndDesignPlaces) {
    i18n::LOAD_INTERNAL_ONLY(QStringLiteral("R:\\translation"), QStringLiteral("orb2024_en-us"));
    TForm_UNDELETE_Drive d;
    EXPECT_FALSE(d.OK);
    EXPECT_EQ(d.size(), QSize(460, 180));
    EXPECT_EQ(d.windowTitle(), "Please select a drive");
    auto* abort = Find<skin::TLumoButton2>(&d, "LumoButton_Abort");
    auto* ok = Find<skin::TLumoButton2>(&d, "LumoButton_Ok");
    auto* icon = Find<skin::TImage>(&d, "Image1");
    auto* background = Find<skin::TImage>(&d, "Image_Background");
    ASSERT_TRUE(abort && ok && icon);
    EXPECT_EQ(abort->Caption(), i18n::Message(i18n::Msg::MESSAGE_ABORT));
    EXPECT_EQ(ok->Caption(), i18n::Message(i18n::Msg::MESSAGE_OK));
    EXPECT_EQ(abort->geometry(), QRect(284, 138, 83, 33));
    EXPECT_EQ(ok->geometry(), QRect(372, 138, 80, 33));
    EXPECT_EQ(d.DriveComboBoxEx1->geometry(), QRect(152, 84, 240, 22));
    EXPECT_EQ(icon->geometry(), QRect(8, 58, 64, 64));
    EXPECT_EQ(icon->Picture().size(), QSize(64, 64));
    ASSERT_TRUE(background);
    EXPECT_FALSE(background->Picture().isNull());
    EXPECT_EQ(background->geometry(), d.rect());
}

TEST_F(DrivePicker, ButtonsKeysAndTheCloseBoxSetOk) {
    struct Case {
        const char* how;
        std::function<void(TForm_UNDELETE_Drive*)> act;
        bool ok;
    };
    const Case cases[] = {
        {"ok",
         [](TForm_UNDELETE_Drive* d) { Find<skin::TLumoButton2>(d, "LumoButton_Ok")->Click(); },
         true},
        {"abort",
         [](TForm_UNDELETE_Drive* d) { Find<skin::TLumoButton2>(d, "LumoButton_Abort")->Click(); },
         false},
        {"close box", [](TForm_UNDELETE_Drive* d) { d->close(); }, false},
        {"enter",
         [](TForm_UNDELETE_Drive* d) {
             QKeyEvent e(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
             QApplication::sendEvent(d->DriveComboBoxEx1, &e);
         },
         true},
        {"escape",
         [](TForm_UNDELETE_Drive* d) {
             QKeyEvent e(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(d, &e);
         },
         false},
    };
    for (const Case& c : cases) {
        TForm_UNDELETE_Drive d;
        forms_test::OnNextModal<TForm_UNDELETE_Drive>(c.act);
        d.exec();
        EXPECT_EQ(d.OK, c.ok) << c.how;
    }
}

} // namespace
