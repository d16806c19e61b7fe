// The navigation entries' three pictures, checked by pixels, and the tab bar filled from pages.

#include "FormsTestSupport.h"

#include "skin/TarviMouseImage3State.h"

#include <QBuffer>
#include <QImage>
#include <QStackedWidget>
#include <QTabBar>

namespace {

constexpr QRgb kBackground = 0xFFC8D2DC;
constexpr QRgb kActive = 0xFF2060A0;
constexpr QRgb kHover = 0xFF90E090;
constexpr QRgb kIcon = 0xFFE03020;
constexpr int kCell = 127;

QByteArray png(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QImage solid(int w, int h, QRgb color) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

class SkinNaviTest : public formstest::FormsFixture {
protected:
    void SetUp() override {
        FormsFixture::SetUp();
        WriteFile("skins/Test/menu_options_active.png", png(solid(200, 42, kActive)));
        WriteFile("skins/Test/menu_options_hover.png", png(solid(200, 42, kHover)));
        // A stripe whose cell 127 is opaque and every other cell transparent.
        QImage cells(64 * 128, 64, QImage::Format_ARGB32);
        cells.fill(Qt::transparent);
        for (int y = 0; y < 64; ++y)
            for (int x = 64 * kCell; x < 64 * (kCell + 1); ++x)
                cells.setPixel(x, y, kIcon);
        WriteFile("skins/Test/stripe.png", png(cells));
        skin::SetSkinFolder("P:\\skins\\Test");
        stripe_.LoadFromStripeFile("P:\\skins\\Test\\stripe.png");
        skin::SetCurrentStripe(&stripe_);
        background_ = solid(181, 472, kBackground);
    }

    void WriteColours(const char* normal, const char* down) {
        WriteFile("skins/Test/skin.ini",
                  QByteArray("[Navi_Options]\r\nFont_Normal=") + normal +
                      "\r\nFont_Normal_Shadow=$00000000\r\nFont_Down=" + down +
                      "\r\nFont_Down_Shadow=$00000000\r\n");
    }

    // Every pixel of the caption's area that is not the picture's ground there.
    static QList<QRgb> captionInk(const QImage& picture, QRgb ground) {
        QList<QRgb> ink;
        const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
        for (int y = 9; y < 34; ++y)
            for (int x = 41; x < image.width(); ++x)
                if (image.pixel(x, y) != ground)
                    ink.append(image.pixel(x, y));
        return ink;
    }

    static QRgb at(const QImage& picture, int x, int y) {
        return picture.convertToFormat(QImage::Format_ARGB32).pixel(x, y);
    }

    skin::TStripeSkinner stripe_;
    QImage background_;
};

TEST_F(SkinNaviTest, ThreePicturesFromBackgroundOverlaysIconAndOpaqueCaption) {
    WriteColours("$FF102030", "$FF405060");
    QWidget parent;
    skin::TTarviMouseImage3State entry(&parent);
    entry.setGeometry(0, 8, 181, 40);
    skin::MakeNaviImage(background_, &entry, "Allgemein", kCell);

    EXPECT_EQ(entry.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(entry.Move_If_MousePressed());
    EXPECT_EQ(entry.Picture(), entry.Picture_Normal());
    for (const QImage* picture :
         {&entry.Picture_Normal(), &entry.Picture_Highlight(), &entry.Picture_Pressed()}) {
        ASSERT_EQ(picture->size(), QSize(181, 40));
        // The icon is drawn at 32 pixels into (8, 5) - (40, 37).
        const QRgb icon = at(*picture, 24, 21);
        EXPECT_NEAR(qRed(icon), qRed(kIcon), 2);
        EXPECT_NEAR(qGreen(icon), qGreen(kIcon), 2);
        EXPECT_NEAR(qBlue(icon), qBlue(kIcon), 2);
    }
    // Only the pressed and the highlight picture carry an overlay.
    EXPECT_EQ(at(entry.Picture_Normal(), 178, 37), kBackground);
    EXPECT_EQ(at(entry.Picture_Highlight(), 178, 37), kHover);
    EXPECT_EQ(at(entry.Picture_Pressed(), 178, 37), kActive);

    // $FF102030 is an ARGB word: opaque, red 0x30, green 0x20, blue 0x10.
    EXPECT_TRUE(captionInk(entry.Picture_Normal(), kBackground).contains(qRgb(0x30, 0x20, 0x10)));
    EXPECT_TRUE(captionInk(entry.Picture_Highlight(), kHover).contains(qRgb(0x30, 0x20, 0x10)));
    const QList<QRgb> pressed = captionInk(entry.Picture_Pressed(), kActive);
    EXPECT_TRUE(pressed.contains(qRgb(0x60, 0x50, 0x40)));
    EXPECT_FALSE(pressed.contains(qRgb(0x30, 0x20, 0x10)));
}

TEST_F(SkinNaviTest, SevenCharacterColourHasNoAlphaAndDrawsNothing) {
    WriteColours("$102030", "$405060");
    QWidget parent;
    skin::TTarviMouseImage3State entry(&parent);
    entry.setGeometry(0, 48, 181, 40);
    skin::MakeNaviImage(background_, &entry, "Orbisca", 101);
    EXPECT_TRUE(captionInk(entry.Picture_Normal(), kBackground).isEmpty());
    EXPECT_TRUE(captionInk(entry.Picture_Pressed(), kActive).isEmpty());
}

TEST_F(SkinNaviTest, BackgroundIsTakenUnscaledAtTheButtonsPlace) {
    WriteColours("$102030", "$102030");
    QImage striped = background_;
    for (int x = 0; x < striped.width(); ++x)
        striped.setPixel(x, 48 + 39, 0xFF000000 | uint(x)); // the entry's last row
    QWidget parent;
    skin::TTarviMouseImage3State entry(&parent);
    entry.setGeometry(0, 48, 181, 40);
    skin::MakeNaviImage(striped, &entry, "x", kCell);
    for (int x : {60, 120, 180})
        EXPECT_EQ(at(entry.Picture_Normal(), x, 39), 0xFF000000 | uint(x)) << x;
    EXPECT_EQ(at(entry.Picture_Normal(), 60, 38), kBackground);
}

TEST_F(SkinNaviTest, OverlaysAreReadOncePerRun) {
    WriteColours("$102030", "$102030");
    QWidget parent;
    skin::TTarviMouseImage3State first(&parent), second(&parent), third(&parent);
    for (auto* entry : {&first, &second, &third})
        entry->setGeometry(0, 8, 181, 40);
    skin::MakeNaviImage(background_, &first, "1", kCell);
    WriteFile("skins/Test/menu_options_hover.png", png(solid(200, 42, 0xFF000080)));
    skin::MakeNaviImage(background_, &second, "2", kCell);
    EXPECT_EQ(at(second.Picture_Highlight(), 178, 37), kHover);
    skin::ResetNaviOverlays();
    skin::MakeNaviImage(background_, &third, "3", kCell);
    EXPECT_EQ(at(third.Picture_Highlight(), 178, 37), 0xFF000080);
}

TEST_F(SkinNaviTest, TabBarTakesTheListedPagesWithCaptionsInListOrder) {
    QStackedWidget pages;
    const char* names[] = {"TabSheet_A", "TabSheet_B", "TabSheet_NoCaption", "TabSheet_C"};
    for (const char* name : names) {
        auto* page = new skin::TTabSheet(&pages);
        page->setObjectName(name);
        if (QByteArray(name) != "TabSheet_NoCaption")
            page->SetCaption(QString(name).mid(9));
        pages.addWidget(page);
    }
    QTabBar tabs;
    tabs.addTab("left over");
    skin::FillTabSetFromPages(&tabs, &pages,
                              {"TabSheet_C", "TabSheet_Missing", "TabSheet_NoCaption", "TabSheet_A"});
    ASSERT_EQ(tabs.count(), 2);
    EXPECT_EQ(tabs.tabText(0), "C");
    EXPECT_EQ(tabs.tabData(0).toInt(), 3);
    EXPECT_EQ(tabs.tabText(1), "A");
    EXPECT_EQ(tabs.tabData(1).toInt(), 0);
    EXPECT_EQ(pages.currentWidget()->objectName(), "TabSheet_C");

    skin::FillTabSetFromPages(&tabs, &pages, {"TabSheet_B"});
    ASSERT_EQ(tabs.count(), 1);
    EXPECT_EQ(tabs.tabText(0), "B");
    EXPECT_EQ(pages.currentIndex(), 1);
}

} // namespace
