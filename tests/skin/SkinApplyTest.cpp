#include "SkinTestSupport.h"

#include "inet/zel_inet2.h"
#include "platform/Shell.h"
#include "skin/Image.h"
#include "skin/LumoButton2.h"
#include "skin/Panel.h"
#include "skin/SkinApply.h"
#include "skin/SkinnedDialog.h"
#include "skin/TarviMouseImage3State.h"
#include "skin/ToolTips.h"

#include <QApplication>
#include <QEnterEvent>

#include <gtest/gtest.h>

using namespace skin;

namespace {

class RecordingPresenter : public TToolTipPresenter {
public:
    void Enter(QWidget* sender, const TToolTip& tip) override {
        entered.push_back(sender->objectName() + u'|' + tip.Caption);
    }
    void Leave() override { ++leaves; }
    QStringList entered;
    int leaves = 0;
};

void sendEnter(QWidget& w) {
    QEnterEvent e(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(&w, &e);
}
void sendLeave(QWidget& w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(&w, &e);
}

template <class T> T* make(QWidget* parent, const char* name) {
    auto* w = new T(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

class ToolTipRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        ToolTips().Reset();
        ToolTips().SetPresenter(&presenter);
    }
    void TearDown() override { ToolTips().Reset(); }
    RecordingPresenter presenter;
    TPanel form;
};

TEST_F(ToolTipRegistry, SwitchedOffRegistersAndHooksNothing) {
    bool on = false;
    ToolTips().SetRegistrationSwitch([&] { return on; });
    auto* button = make<TLumoButton2>(&form, "LumoButton_MainMenu");
    ToolTips().AddToList(button, "Back", "<b>back</b>");
    EXPECT_TRUE(ToolTips().List().empty());
    EXPECT_FALSE(button->OnMouseEnter);

    on = true;
    ToolTips().AddToList(button, "Back", "<b>back</b>");
    ASSERT_EQ(ToolTips().List().size(), 1u);
    EXPECT_EQ(ToolTips().List()[0].ParentClassName, "TPanel");
    EXPECT_EQ(ToolTips().List()[0].ControlName, "LumoButton_MainMenu");
}

TEST_F(ToolTipRegistry, SecondRegistrationKeepsFirstTextsButHooksAgain) {
    auto* button = make<TTarviMouseImage3State>(&form, "TarviMouseImage3State_options");
    ToolTips().AddToList(button, "First", "one");
    button->OnMouseEnter = nullptr;
    ToolTips().AddToList(button, "Second", "two");
    ASSERT_EQ(ToolTips().List().size(), 1u);
    EXPECT_EQ(ToolTips().List()[0].Caption, "First");
    ASSERT_TRUE(button->OnMouseEnter);

    sendEnter(*button);
    sendLeave(*button);
    EXPECT_EQ(presenter.entered, QStringList{"TarviMouseImage3State_options|First"});
    EXPECT_EQ(presenter.leaves, 1);
}

TEST_F(ToolTipRegistry, EnterFindsTheRecordByParentClassAndName) {
    auto* image = make<TImage>(&form, "Image_Help");
    auto* other = make<QWidget>(&form, "Plain");
    ToolTips().AddToList(image, "Help", "text");
    ToolTips().AddToList(other, "Plain", "registered, never hooked");
    EXPECT_EQ(ToolTips().List().size(), 2u);

    // A control of the same name under a parent of another class is not the registered one.
    QWidget elsewhere;
    auto* twin = make<TImage>(&elsewhere, "Image_Help");
    ToolTips().OnCustomOnMouseEnter(twin);
    ToolTips().OnCustomOnMouseEnter(other);
    ToolTips().OnCustomOnMouseEnter(nullptr);
    EXPECT_TRUE(presenter.entered.isEmpty());

    sendEnter(*image);
    EXPECT_EQ(presenter.entered, QStringList{"Image_Help|Help"});
}

class SkinOperations : public ::testing::Test {
protected:
    void SetUp() override {
        ToolTips().Reset();
        folder.Write("skins/default/skin.ini",
                     "[LumoButtons2]\nBorderColor=$102030\nBorderColor_Hover=$111111\n"
                     "BorderColor_Disabled=$121212\nFontColor_NormalEnabled=$131313\n"
                     "FontColor_NormalDisabled=$141414\nFontColor_ActionButton=$151515\n"
                     "FaceColor_Normal=$161616\nFaceColor_Normal_Hover=$171717\n"
                     "FaceColor_Disabled=$181818\nFaceColor_ActionButton=$191919\n"
                     "FaceColor_ActionButton_Hover=$1A1A1A\n[Infobar]\nColor=$ABCDEF\n");
        folder.Write("skins/back.png", StripePng(20, 20, [](uint32_t, uint32_t) {
                         return 0xFF0000FFu;
                     }));
    }
    void TearDown() override { ToolTips().Reset(); }
    TempProgramFolder folder;
};

TEST_F(SkinOperations, PanelButtonsTakeSkinColoursAndFontButNotNestedOnes) {
    TPanel panel;
    auto* direct = make<TLumoButton2>(&panel, "LumoButton_Analyse");
    auto* nestedPanel = make<TPanel>(&panel, "Panel_Inner");
    auto* nested = make<TLumoButton2>(nestedPanel, "LumoButton_Inner");
    SkinButtonsInPanel(&panel);

    EXPECT_EQ(direct->BorderColor(), RGB(0x10, 0x20, 0x30));
    EXPECT_EQ(direct->FaceColor_ActionButton_Hover(), RGB(0x1A, 0x1A, 0x1A));
    EXPECT_EQ(direct->FontColor_ActionButtonEnabled(), RGB(0x15, 0x15, 0x15));
    EXPECT_EQ(direct->Font().Font.family(), "Segoe UI");
    EXPECT_EQ(direct->Font().Font.pointSize(), 10);
    EXPECT_EQ(nested->BorderColor(), TLumoButton2().BorderColor());

    TPanel form;
    auto* formButton = make<TLumoButton2>(&form, "LumoButton_Ok");
    const QString designFamily = formButton->Font().Font.family();
    SkinButtonsInForm(&form);
    EXPECT_EQ(formButton->FaceColor_Normal(), RGB(0x16, 0x16, 0x16));
    EXPECT_EQ(formButton->Font().Font.family(), designFamily);
}

TEST_F(SkinOperations, OnlyTheCaptionlessBackButtonGetsGlyphAndTooltip) {
    TPanel panel;
    auto* back = make<TLumoButton2>(&panel, "lumobutton_MAINMENU");
    TPanel other;
    auto* captioned = make<TLumoButton2>(&other, "LumoButton_MainMenu");
    captioned->SetCaption("Menu");
    SkinButtonsInPanel(&panel);
    SkinButtonsInPanel(&other);

    EXPECT_EQ(back->Glyph().size(), QSize(20, 20));
    EXPECT_TRUE(captioned->Glyph().isNull());
    ASSERT_EQ(ToolTips().List().size(), 1u);
    EXPECT_EQ(ToolTips().List()[0].ControlName, "lumobutton_MAINMENU");
}

TEST_F(SkinOperations, InfobarTakesSkinColour) {
    TPanel bar;
    SkinInfobarPanel(&bar);
    EXPECT_EQ(bar.Color(), RGB(0xAB, 0xCD, 0xEF));
}

TEST(SizeGripCopy, SitsInTheCornerAndFollowsThePanel) {
    EXPECT_EQ(AddSizeGripCopy(nullptr, nullptr), nullptr);
    TPanel panel;
    panel.resize(300, 58);
    EXPECT_EQ(AddSizeGripCopy(&panel, nullptr), nullptr);

    TImage grip;
    grip.resize(12, 12);
    QImage picture(12, 12, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    grip.SetPicture(picture);
    grip.setCursor(Qt::SizeFDiagCursor);
    int downs = 0;
    grip.OnMouseDown = [&](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { ++downs; };

    TImage* copy = AddSizeGripCopy(&panel, &grip);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->geometry(), QRect(300 - 12 - 2, 58 - 12 - 2, 12, 12));
    EXPECT_EQ(copy->cursor().shape(), Qt::SizeFDiagCursor);
    EXPECT_EQ(copy->Picture().pixel(3, 3), picture.pixel(3, 3));
    copy->OnMouseDown(copy, Qt::LeftButton, {}, 0, 0);
    EXPECT_EQ(downs, 1);

    panel.resize(500, 80);
    QResizeEvent resize(QSize(500, 80), QSize(300, 58));
    QApplication::sendEvent(&panel, &resize);
    EXPECT_EQ(copy->pos(), QPoint(500 - 12 - 2, 80 - 12 - 2));
}

TEST(SkinnedDialog, RefusesCloseWhileAsked) {
    TSkinnedDialog dialog(nullptr, "Form_Test", QSize(460, 180), "Frage");
    bool waiting = true;
    dialog.RefuseClose = [&] { return waiting; };
    dialog.show();
    EXPECT_FALSE(dialog.close());
    EXPECT_TRUE(dialog.isVisible());
    waiting = false;
    EXPECT_TRUE(dialog.close());
    EXPECT_EQ(dialog.size(), QSize(460, 180));
}

class OnlineServices : public ::testing::Test {
protected:
    void SetUp() override {
        previous = platform::SetShellHandler([this](const platform::ShellRequest& r) {
            requests.push_back(r.url);
            return true;
        });
    }
    void TearDown() override {
        platform::SetShellHandler(previous);
        inet::zinet_Destroy();
    }
    platform::ShellHandler previous;
    QStringList requests;
    TempProgramFolder folder;
};

TEST_F(OnlineServices, LinkTargetsOpenShippedPagesInTheirLanguageOrEnglish) {
    folder.Write("help/en/eula.html", "<html>en</html>");
    folder.Write("help/de/eula.html", "<html>de</html>");
    folder.Write("help/en/privacy.html", "<html>en</html>");

    EXPECT_TRUE(inet::zinet_OpenLinkTargetInBrowser("eula", "1234", "01.00.00", 0, "de-de", ""));
    EXPECT_TRUE(inet::zinet_OpenLinkTargetInBrowser("privacypolicy", "1234", "01.00.00", 0,
                                                    "de-de", ""));
    EXPECT_FALSE(inet::zinet_OpenLinkTargetInBrowser("translation", "1234", "01.00.00", 0,
                                                     "fr-fr", ""));
    ASSERT_EQ(requests.size(), 2);
    EXPECT_TRUE(requests[0].startsWith("file://"));
    EXPECT_TRUE(requests[0].endsWith("/help/de/eula.html")) << requests[0];
    EXPECT_TRUE(requests[1].endsWith("/help/en/privacy.html")) << requests[1];
}

TEST_F(OnlineServices, MenuOffersLocalPagesAndNeverAsksToClose) {
    folder.Write("help/en/index.html", "<html>manual</html>");
    inet::zinet_Initialize(nullptr, "en-us");
    const int count = inet::zinet_GetMenuItemsCount(inet::kInternetMenu);
    ASSERT_GT(count, 1);
    EXPECT_EQ(inet::zinet_GetMenuItemsCount(2), 0);
    EXPECT_EQ(inet::zinet_GetMenuItemsText(inet::kInternetMenu, 0), "User manual");
    EXPECT_TRUE(inet::zinet_GetMenuItemsText(inet::kInternetMenu, 1).isEmpty()); // separator
    EXPECT_TRUE(inet::zinet_GetMenuItemsText(inet::kInternetMenu, count).isEmpty());

    for (int i = 0; i < count; ++i) {
        const int result = inet::zinet_ProcessMenuItem(
            nullptr, inet::zinet_GetMenuItemsID(inet::kInternetMenu, i));
        EXPECT_NE(result, inet::kResultCloseProgram);
        EXPECT_NE(result, inet::kResultCloseProgramAfterUpdate);
    }
    ASSERT_EQ(requests.size(), 1); // only the manual exists in this folder
    EXPECT_TRUE(requests[0].endsWith("/help/en/index.html"));
}

} // namespace
