// The skins installed with the program (assets/skins) are complete and readable.
#include "SkinTestSupport.h"

#include "platform/Debug.h"
#include "skin/IniFile.h"

#include <QListWidget>
#include <QPainter>

using namespace skin;

namespace {

class InstalledSkins : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = platform::ProgramFolder();
        platform::SetProgramFolder(platform::WindowsPath(ORBISCA_ASSETS));
    }
    void TearDown() override {
        platform::SetProgramFolder(previous_);
        SetSkinFolder(SkinsFolder() + "default");
    }
    QString previous_;
};

TEST_F(InstalledSkins, ListedAndComplete) {
    QListWidget list;
    SetSkinFolder(SkinsFolder() + "default");
    FillSkinList(&list);
    QStringList names;
    for (int i = 0; i < list.count(); ++i)
        names << list.item(i)->text();
    names.sort();
    ASSERT_EQ(names, (QStringList{"Dark", "default"}));

    const char* const colorKeys[][2] = {
        {"Header", "Color"},
        {"Infobar", "Color"},
        {"Navi_Options", "Font_Normal"},
        {"Navi_Options", "Font_Normal_Shadow"},
        {"Navi_Options", "Font_Down"},
        {"Navi_Options", "Font_Down_Shadow"},
        {"LumoButtons2", "BorderColor"},
        {"LumoButtons2", "BorderColor_Hover"},
        {"LumoButtons2", "BorderColor_Disabled"},
        {"LumoButtons2", "FontColor_NormalEnabled"},
        {"LumoButtons2", "FontColor_NormalDisabled"},
        {"LumoButtons2", "FontColor_ActionButton"},
        {"LumoButtons2", "FaceColor_Normal"},
        {"LumoButtons2", "FaceColor_Normal_Hover"},
        {"LumoButtons2", "FaceColor_Disabled"},
        {"LumoButtons2", "FaceColor_ActionButton"},
        {"LumoButtons2", "FaceColor_ActionButton_Hover"},
    };
    const char* const pictures[] = {
        "preview_small.png",       "stripe.png",             "grip.png",
        "head_logo.bmp",           "but_close.png",          "but_close_hover.png",
        "but_maximize.png",        "but_maximize_hover.png", "but_unmax_normal.png",
        "but_unmax_hover.png",     "but_minimize.png",       "but_minimize_hover.png",
        "but_help_normal.png",     "but_help_hover.png",     "but_settings_normal.png",
        "but_settings_hover.png",  "but_internet_normal.png", "but_internet_hover.png",
        "but_feedback_normal.png", "but_feedback_hover.png", "menu_options_active.png",
        "menu_options_hover.png",  "navi_options.bmp",       "Background_Asker.bmp",
    };
    for (const QString& name : names) {
        const QString dir = SkinsFolder() + name;
        const TIniFile ini = TIniFile::FromFile(dir + "\\skin.ini");
        EXPECT_FALSE(ini.ReadString(u"SkinInfo", u"DisplayName", {}).isEmpty()) << name;
        EXPECT_FALSE(ini.ReadString(u"SkinInfo", u"Display1", {}).isEmpty()) << name;
        platform::DebugCapture capture;
        for (const auto& key : colorKeys) {
            EXPECT_TRUE(ini.ValueExists(QString(key[0]), QString(key[1])))
                << name << " " << key[0] << "/" << key[1];
            ReadSkinColor(dir + "\\skin.ini", key[0], key[1]);
        }
        // Captions of the navigation use ARGB words: every one must be visible.
        EXPECT_EQ(ArgbToQColor(ReadSkinColor(dir + "\\skin.ini", "Navi_Options", "Font_Normal"))
                      .alpha(),
                  255)
            << name;
        for (const char* picture : pictures)
            EXPECT_FALSE(LoadSkinPicture(dir + "\\" + picture).isNull()) << name << " " << picture;
        EXPECT_TRUE(capture.lines().isEmpty()) << capture.lines().join("\n").toStdString();
    }
    for (const char* shared : {"stripe.png", "ToolTips.bmp", "back.png"})
        EXPECT_FALSE(LoadSkinPicture(SkinsFolder() + shared).isNull()) << shared;
    EXPECT_FALSE(LoadSkinPicture(SkinsFolder() + "default\\ToolTips.bmp").isNull());
}

// Every cell the program uses shows an icon; the others are transparent.
TEST_F(InstalledSkins, StripeCells) {
    const std::vector<int> used = {1,  2,  3,  4,  13, 14, 22,  23,  24,  25,  26,  37,  40,  47,
                                   48, 49, 55, 57, 66, 76, 94,  101, 106, 116, 127, 137, 166, 167,
                                   168, 169, 186};
    for (const QString skin : {"default", "Dark"}) {
        SetSkinFolder(SkinsFolder() + skin);
        const auto stripe = CreateSkinStripe();
        ASSERT_GE(stripe->Images(), 255) << skin.toStdString();
        EXPECT_EQ(stripe->ImageSize(), 64);
        for (int cell = 0; cell < 255; ++cell) {
            const auto img = stripe->GetOnePngImage(64, cell, false, 1.0f);
            int opaque = 0;
            for (int y = 0; y < 64; ++y)
                for (int x = 0; x < 64; ++x)
                    opaque += img->Pixel(x, y)[3] > 200;
            const bool wanted = std::find(used.begin(), used.end(), cell) != used.end();
            if (wanted)
                EXPECT_GT(opaque, 150) << "cell " << cell;
            else
                EXPECT_EQ(opaque, 0) << "cell " << cell;
        }
    }
}

} // namespace

namespace {

// A skin with most pieces missing (fixture): everything a window asks of it comes back as a
// neutral value with a debug line, never a crash.
TEST(PartialSkin, LoadsWithFallbacks) {
    const QString previous = platform::ProgramFolder();
    platform::SetProgramFolder(platform::WindowsPath(ORBISCA_SKIN_FIXTURES));
    SetSkinFolder(SkinsFolder() + "Partial");
    const QString ini = SkinFolder() + "\\skin.ini";

    platform::DebugCapture capture;
    EXPECT_EQ(ReadSkinColor(ini, "Header", "Color"), RGB(0x33, 0x66, 0x99));
    EXPECT_EQ(ReadSkinColor(ini, "Infobar", "Color"), 0u);
    EXPECT_EQ(ReadSkinColor(ini, "LumoButtons2", "FaceColor_Normal"), 0u);
    EXPECT_TRUE(capture.contains("not a colour: [LumoButtons2] FaceColor_Normal=notacolour"));

    // No stripe in the skin nor in the skins folder: transparent icons.
    const auto stripe = CreateSkinStripe();
    EXPECT_TRUE(capture.contains("*** No stripe found: "));
    TPngImageList list(16, 16);
    EXPECT_EQ(stripe->AddOneToImageList(list, 48, false, 1.0f), 0);
    EXPECT_EQ(list.Image(0).Pixel(8, 8)[3], 0);

    EXPECT_TRUE(LoadSkinPicture(SkinFolder() + "\\but_close.png").isNull()); // truncated
    EXPECT_TRUE(LoadSkinPicture(SkinFolder() + "\\grip.png").isNull());      // missing
    EXPECT_TRUE(capture.contains("but_close.png"));

    QListWidget skins;
    FillSkinList(&skins);
    ASSERT_EQ(skins.count(), 1);
    EXPECT_EQ(skins.item(0)->text(), QStringLiteral("Partial"));
    QImage img(300, kSkinListItemHeight, QImage::Format_ARGB32);
    QPainter p(&img);
    DrawSkinListItem(&skins, 0, img.rect(), p);
    DrawSkinListItem(&skins, 5, img.rect(), p); // no such item: nothing happens

    platform::SetProgramFolder(previous);
    SetSkinFolder(SkinsFolder() + "default");
}

} // namespace
