// The about box offscreen: its controls at their design places, the version, the translation,
// the two legal links and OK.

#include "tests/dialogs/options/FormsTestSupport.h"
#include "tests/dialogs/options/TranslatableCheck.h"

#include "app/FormAbout.h"
#include "skin/HTMLabel.h"
#include "skin/Image.h"
#include "skin/LumoButton2.h"
#include "skin/LumoUnicodeSTButton.h"

#include <QLabel>

using app::TForm_About;

namespace {

class FormAboutTest : public formstest::FormsFixture {};

TEST_F(FormAboutTest, ControlsSitAtTheirDesignPlacesAndShowTheVersion) {
    StartInLanguage("de_DE.UTF-8");
    TForm_About about(nullptr);
    formstest::ExpectTagsMatchList(&about, "TForm_About");
    EXPECT_EQ(about.size(), QSize(417, 372));
    EXPECT_TRUE(about.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(about.Label_Version->text(), "Version: 01.00.00");
    EXPECT_EQ(about.Label_Version->geometry(), QRect(301, 60, 108, 16));
    EXPECT_TRUE(about.Label_Version->alignment() & Qt::AlignRight);
    EXPECT_EQ(about.HTMLabel1->geometry(), QRect(20, 100, 373, 157));
    EXPECT_TRUE(about.HTMLabel1->text().contains("Copyright"));
    EXPECT_EQ(about.LumoUnicodeSTButton_EULA->pos(), QPoint(20, 312));
    EXPECT_EQ(about.LumoUnicodeSTButton_Privacy->pos(), QPoint(20, 334));
    EXPECT_EQ(about.LumoUnicodeSTButton_EULA->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(about.LumoUnicodeSTButton_EULA->FontHOT().Font.underline());
    EXPECT_EQ(about.LumoUnicodeSTButton_EULA->FontHOT().Color, skin::RGB(0, 0, 128));
    EXPECT_EQ(about.Button_Ok->geometry(), QRect(309, 324, 88, 28));
    EXPECT_EQ(about.Image2->geometry(), about.rect());
    EXPECT_EQ(about.Image2->Picture().size(), QSize(417, 372));
}

TEST_F(FormAboutTest, EnglishTextsKeepTheVersionBehindTheTranslatedLabel) {
    StartInLanguage("en_US.UTF-8");
    TForm_About about(nullptr);
    EXPECT_EQ(about.windowTitle(), "About this software");
    EXPECT_EQ(about.Label_Version->text(), "Version: 01.00.00");
    EXPECT_EQ(about.LumoUnicodeSTButton_Privacy->Caption(), "Privacy Policy");
    EXPECT_EQ(about.Button_Ok->Caption(), "OK");
    EXPECT_TRUE(about.HTMLabel1->text().contains("With thanks to"));
}

TEST_F(FormAboutTest, LegalLinksOpenTheShippedPagesInTheLanguageInUse) {
    StartInLanguage("de_DE.UTF-8");
    TForm_About about(nullptr);
    about.LumoUnicodeSTButton_EULA->Click();
    about.LumoUnicodeSTButton_Privacy->Click();
    ASSERT_EQ(opened.size(), 2);
    EXPECT_TRUE(opened[0].endsWith("/help/de/eula.html")) << opened[0].toStdString();
    EXPECT_TRUE(opened[1].endsWith("/help/de/privacy.html")) << opened[1].toStdString();

    i18n::ResetLocalisationState();
    StartInLanguage("en_US.UTF-8");
    about.LumoUnicodeSTButton_Privacy->Click();
    EXPECT_TRUE(opened.value(2).endsWith("/help/en/privacy.html")) << opened.value(2).toStdString();
}

TEST_F(FormAboutTest, OkClosesTheBox) {
    TForm_About about(nullptr);
    about.show();
    about.Button_Ok->Click();
    EXPECT_EQ(about.result(), QDialog::Accepted);
    EXPECT_FALSE(about.isVisible());
}

TEST(AboutPicture, BandBodyAndFooterWhereTheControlsSit) {
    const QImage picture = app::MakeAboutPicture();
    ASSERT_EQ(picture.size(), QSize(417, 372));
    // The version label's light text needs the dark band behind it, the credits a white body,
    // the links and the button the light footer.
    EXPECT_LT(qGray(picture.pixel(380, 68)), 100);
    EXPECT_EQ(picture.pixel(200, 180), qRgb(255, 255, 255));
    const QRgb footer = picture.pixel(250, 340);
    EXPECT_GT(qGray(footer), 230);
    EXPECT_NE(footer, qRgb(255, 255, 255));
}

} // namespace
