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

// The about box's controls by their component names.
template <class Control> Control* find(const TForm_About& about, const char* name) {
    auto* control = about.findChild<Control*>(QLatin1String(name));
    if (!control)
        ADD_FAILURE() << "no control " << name;
    return control;
}
QLabel* versionLabel(const TForm_About& about) { return find<QLabel>(about, "Label_Version"); }
skin::THTMLabel* credits(const TForm_About& about) { return find<skin::THTMLabel>(about, "HTMLabel1"); }
skin::TLumoUnicodeSTButton* link(const TForm_About& about, const char* name) {
    return find<skin::TLumoUnicodeSTButton>(about, name);
}
skin::TLumoButton2* okButton(const TForm_About& about) { return find<skin::TLumoButton2>(about, "Button_Ok"); }

class FormAboutTest : public formstest::FormsFixture {};

TEST_F(FormAboutTest, ControlsSitAtTheirDesignPlacesAndShowTheVersion) {
    StartInLanguage("de_DE.UTF-8");
    TForm_About about(nullptr);
    formstest::ExpectTagsMatchList(&about, "TForm_About");
    EXPECT_EQ(about.size(), QSize(417, 372));
    EXPECT_TRUE(about.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(versionLabel(about)->text(), "Version: 01.00.00");
    EXPECT_EQ(versionLabel(about)->geometry(), QRect(301, 60, 108, 16));
    EXPECT_TRUE(versionLabel(about)->alignment() & Qt::AlignRight);
    EXPECT_EQ(credits(about)->geometry(), QRect(20, 100, 373, 157));
    EXPECT_TRUE(credits(about)->text().contains("Copyright"));
    EXPECT_EQ(link(about, "LumoUnicodeSTButton_EULA")->pos(), QPoint(20, 312));
    EXPECT_EQ(link(about, "LumoUnicodeSTButton_Privacy")->pos(), QPoint(20, 334));
    EXPECT_EQ(link(about, "LumoUnicodeSTButton_EULA")->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(link(about, "LumoUnicodeSTButton_EULA")->FontHOT().Font.underline());
    EXPECT_EQ(link(about, "LumoUnicodeSTButton_EULA")->FontHOT().Color, skin::RGB(0, 0, 128));
    EXPECT_EQ(okButton(about)->geometry(), QRect(309, 324, 88, 28));
    EXPECT_EQ(find<skin::TImage>(about, "Image2")->geometry(), about.rect());
    EXPECT_EQ(find<skin::TImage>(about, "Image2")->Picture().size(), QSize(417, 372));
}

TEST_F(FormAboutTest, EnglishTextsKeepTheVersionBehindTheTranslatedLabel) {
    StartInLanguage("en_US.UTF-8");
    TForm_About about(nullptr);
    EXPECT_EQ(about.windowTitle(), "About this software");
    EXPECT_EQ(versionLabel(about)->text(), "Version: 01.00.00");
    EXPECT_EQ(link(about, "LumoUnicodeSTButton_Privacy")->Caption(), "Privacy Policy");
    EXPECT_EQ(okButton(about)->Caption(), "OK");
    EXPECT_TRUE(credits(about)->text().contains("With thanks to"));
}

TEST_F(FormAboutTest, LegalLinksOpenTheShippedPagesInTheLanguageInUse) {
    StartInLanguage("de_DE.UTF-8");
    TForm_About about(nullptr);
    link(about, "LumoUnicodeSTButton_EULA")->Click();
    link(about, "LumoUnicodeSTButton_Privacy")->Click();
    ASSERT_EQ(opened.size(), 2);
    EXPECT_TRUE(opened[0].endsWith("/help/de/eula.html")) << opened[0].toStdString();
    EXPECT_TRUE(opened[1].endsWith("/help/de/privacy.html")) << opened[1].toStdString();

    i18n::ResetLocalisationState();
    StartInLanguage("en_US.UTF-8");
    link(about, "LumoUnicodeSTButton_Privacy")->Click();
    EXPECT_TRUE(opened.value(2).endsWith("/help/en/privacy.html")) << opened.value(2).toStdString();
}

TEST_F(FormAboutTest, OkClosesTheBox) {
    TForm_About about(nullptr);
    about.show();
    okButton(about)->Click();
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
