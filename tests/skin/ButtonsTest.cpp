#include "skin/Image.h"
#include "skin/LumoButton2.h"
#include "skin/LumoUnicodeSTButton.h"
#include "skin/TarviMouseImage3State.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <gtest/gtest.h>

using namespace skin;

namespace {

constexpr QRgb kBackground = 0xFFFF00FF;

// Caption font without antialiasing, so text pixels have exactly the pen colour; positions
// depend on the font only through the widths measured here.
TFont testFont(TColor color = RGB(0, 0, 0)) {
    TFont f;
    f.Font = QFont(QStringLiteral("DejaVu Sans"));
    f.Font.setPixelSize(13);
    f.Font.setStyleStrategy(QFont::NoAntialias);
    f.Color = color;
    return f;
}

int textWidth(const TFont& f, const QString& text) {
    QImage probe(1, 1, QImage::Format_ARGB32);
    return QFontMetrics(f.Font, &probe).horizontalAdvance(text);
}

QImage render(TLumoButton2& b, int extra = 10) {
    QImage img(b.width() + extra, b.height() + extra, QImage::Format_ARGB32);
    img.fill(kBackground);
    QPainter p(&img);
    b.PaintTo(p, 0, 0);
    return img;
}

QImage solid(int w, int h, QRgb color) {
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(color);
    return img;
}

void enter(QWidget& w) {
    QEnterEvent e(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(&w, &e);
}
void leave(QWidget& w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(&w, &e);
}
void mouse(QWidget& w, QEvent::Type type, QPoint pos = {3, 3}, Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent e(type, QPointF(pos), w.mapToGlobal(QPointF(pos)), button,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::ShiftModifier);
    QApplication::sendEvent(&w, &e);
}

// Columns of a row that have exactly the colour.
std::vector<int> columnsOf(const QImage& img, int y, QRgb color) {
    std::vector<int> xs;
    for (int x = 0; x < img.width(); ++x)
        if (img.pixel(x, y) == color)
            xs.push_back(x);
    return xs;
}

QRect boundsOf(const QImage& img, QRgb color) {
    QRect r;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == color)
                r |= QRect(x, y, 1, 1);
    return r;
}

QRgb rgb(TColor c) { return ToQColor(c).rgb(); }

TEST(LumoButton2, Defaults) {
    TLumoButton2 b;
    EXPECT_EQ(b.size(), QSize(100, 33));
    EXPECT_EQ(b.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(b.Margins(), QMargins(4, 12, 4, 12));
    EXPECT_EQ(b.Caption(), QString());
    EXPECT_EQ(b.Font().Font.family(), QStringLiteral("Segeo UI"));
    EXPECT_EQ(b.Font().Font.pointSize(), 10);
    EXPECT_EQ(b.Font().Color, 0u);
    EXPECT_TRUE(b.AutoWidth());
    EXPECT_EQ(b.AutoWidthMin(), 80);
    EXPECT_EQ(b.BorderColor(), RGB(204, 204, 204));
    EXPECT_EQ(b.BorderColorDisabled(), RGB(204, 204, 204));
    EXPECT_EQ(b.BorderColor_Hover(), RGB(204, 204, 204));
    EXPECT_EQ(b.FontColor_ActionButtonEnabled(), RGB(255, 255, 255));
    EXPECT_EQ(b.FontColor_NormalEnabled(), 0u);
    EXPECT_EQ(b.FontColor_NormalDisabled(), RGB(192, 192, 192));
    EXPECT_EQ(b.FaceColor_Normal(), RGB(255, 255, 255));
    EXPECT_EQ(b.FaceColor_Normal_Hover(), RGB(232, 232, 232));
    EXPECT_EQ(b.FaceColor_Disabled(), RGB(247, 247, 247));
    EXPECT_EQ(b.FaceColor_ActionButton(), 12609280u);
    EXPECT_EQ(b.FaceColor_ActionButton_Hover(), 10509086u);
    EXPECT_FALSE(b.ActionButton() || b.DropDownArrow() || b.DropDownArrowUp());
    EXPECT_EQ(b.RoundingX(), 10);
    EXPECT_EQ(b.RoundingY(), 10);
    EXPECT_EQ(b.ImageIndex(), -1);
    EXPECT_EQ(b.ImageList(), nullptr);
    EXPECT_EQ(b.metaObject()->className(), QByteArray("skin::TLumoButton2"));
}

// Border and face colour of every visual state, and the exclusive right and bottom edges.
TEST(LumoButton2, BorderAndFacePerState) {
    TLumoButton2 b;
    b.SetAutoWidth(false);
    b.resize(60, 33);
    b.SetBorderColor(RGB(1, 0, 0));
    b.SetBorderColor_Hover(RGB(2, 0, 0));
    b.SetBorderColorDisabled(RGB(3, 0, 0));
    b.SetFaceColor_Normal(RGB(0, 10, 0));
    b.SetFaceColor_Normal_Hover(RGB(0, 20, 0));
    b.SetFaceColor_Disabled(RGB(0, 30, 0));
    b.SetFaceColor_ActionButton(RGB(0, 0, 40));
    b.SetFaceColor_ActionButton_Hover(RGB(0, 0, 50));

    const struct {
        const char* state;
        bool enabled, action, hover;
        TColor border, face;
    } cases[] = {
        {"normal", true, false, false, RGB(1, 0, 0), RGB(0, 10, 0)},
        {"hover", true, false, true, RGB(2, 0, 0), RGB(0, 20, 0)},
        {"disabled", false, false, false, RGB(3, 0, 0), RGB(0, 30, 0)},
        {"disabled hover", false, false, true, RGB(3, 0, 0), RGB(0, 30, 0)},
        {"action", true, true, false, RGB(0, 0, 40), RGB(0, 0, 40)},
        {"action hover", true, true, true, RGB(0, 0, 50), RGB(0, 0, 50)},
        {"disabled action", false, true, false, RGB(3, 0, 0), RGB(0, 30, 0)},
    };
    for (const auto& c : cases) {
        b.setEnabled(c.enabled);
        b.SetActionButton(c.action);
        if (c.hover)
            enter(b);
        else
            leave(b);
        const QImage img = render(b);
        EXPECT_EQ(img.pixel(30, 0), rgb(c.border)) << c.state;
        EXPECT_EQ(img.pixel(0, 16), rgb(c.border)) << c.state;
        EXPECT_EQ(img.pixel(59, 16), rgb(c.border)) << c.state;
        EXPECT_EQ(img.pixel(30, 32), rgb(c.border)) << c.state;
        EXPECT_EQ(img.pixel(30, 16), rgb(c.face)) << c.state;
        EXPECT_EQ(img.pixel(60, 16), kBackground) << c.state;
        EXPECT_EQ(img.pixel(30, 33), kBackground) << c.state;
        EXPECT_EQ(img.pixel(0, 0), kBackground) << c.state; // rounded corner
    }
}

TEST(LumoButton2, CaptionColourAndPosition) {
    TLumoButton2 b;
    const TFont font = testFont();
    b.SetFont(&font);
    b.SetAutoWidth(false);
    b.resize(120, 33);
    b.SetCaption(QStringLiteral("Hello"));
    b.SetFontColor_NormalEnabled(RGB(200, 0, 0));
    b.SetFontColor_NormalDisabled(RGB(0, 200, 0));
    b.SetFontColor_ActionButtonEnabled(RGB(0, 0, 200));
    const int tw = textWidth(font, b.Caption());
    const int tx = (120 - tw) / 2;
    const int ty = (33 - 13) / 2 - 2;

    const struct {
        bool enabled, action;
        TColor caption;
    } cases[] = {{true, false, RGB(200, 0, 0)},
                 {false, false, RGB(0, 200, 0)},
                 {true, true, RGB(0, 0, 200)},
                 {false, true, RGB(0, 200, 0)}};
    for (const auto& c : cases) {
        b.setEnabled(c.enabled);
        b.SetActionButton(c.action);
        const QRect text = boundsOf(render(b), rgb(c.caption));
        ASSERT_FALSE(text.isEmpty());
        EXPECT_GE(text.left(), tx);
        EXPECT_LE(text.left(), tx + 3);
        EXPECT_LE(text.right(), tx + tw);
        EXPECT_GE(text.top(), ty);
        EXPECT_LE(text.bottom(), ty + 13);
    }
}

TEST(LumoButton2, AutoWidth) {
    TLumoButton2 b;
    const TFont font = testFont();
    b.SetFont(&font);
    b.SetCaption(QStringLiteral("Ok"));
    ASSERT_LT(textWidth(font, b.Caption()) + 20, 80);
    render(b);
    EXPECT_EQ(b.width(), 80);

    b.SetCaption(QStringLiteral("A considerably longer caption"));
    const int tw = textWidth(font, b.Caption());
    render(b);
    EXPECT_EQ(b.width(), tw + 4 + 16);
    b.SetDropDownArrow(true);
    render(b);
    EXPECT_EQ(b.width(), tw + 4 + 16 + 16);
    const QImage glyph = solid(16, 16, 0xFF00FF00);
    b.SetGlyph(&glyph);
    render(b);
    EXPECT_EQ(b.width(), tw + 16 + 4 + 16 + 16);

    b.SetAutoWidth(false);
    b.resize(50, 33);
    render(b);
    EXPECT_EQ(b.width(), 50);
}

TEST(LumoButton2, GlyphAndArrowWithoutCaption) {
    TLumoButton2 b;
    b.SetAutoWidth(false);
    b.resize(40, 33);
    const QImage glyph = solid(16, 16, 0xFF00FF00);
    b.SetGlyph(&glyph);
    EXPECT_EQ(boundsOf(render(b), 0xFF00FF00), QRect(12, 8, 16, 16));

    b.SetDropDownArrow(true);
    QImage img = render(b);
    EXPECT_EQ(boundsOf(img, 0xFF00FF00), QRect(4, 8, 16, 16));
    // Down arrow in the font colour (black): rows 15..18 of 8, 6, 4, 2 pixels from x = 26.
    const std::vector<std::vector<int>> down = {{26, 27, 28, 29, 30, 31, 32, 33},
                                                {27, 28, 29, 30, 31, 32},
                                                {28, 29, 30, 31},
                                                {29, 30},
                                                {}};
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(columnsOf(img, 15 + row, 0xFF000000), down[size_t(row)]) << row;

    b.SetDropDownArrowUp(true);
    img = render(b);
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(columnsOf(img, 19 - row, 0xFF000000), down[size_t(row)]) << row;
}

TEST(LumoButton2, ArrowFollowsCaptionAndTakesItsColour) {
    TLumoButton2 b;
    const TFont font = testFont();
    b.SetFont(&font);
    b.SetAutoWidth(false);
    b.resize(120, 33);
    b.SetCaption(QStringLiteral("Menu"));
    b.SetDropDownArrow(true);
    b.SetFontColor_NormalEnabled(RGB(200, 0, 0));
    const int tw = textWidth(font, b.Caption());
    const int tx = (120 - tw) / 2 - 8;
    const int ax = tx + tw - 2;
    const QImage img = render(b);
    std::vector<int> top, arrow;
    for (int x = ax + 8; x < ax + 16; ++x)
        top.push_back(x);
    for (int x : columnsOf(img, 15, rgb(RGB(200, 0, 0))))
        if (x >= tx + tw) // right of the caption
            arrow.push_back(x);
    EXPECT_EQ(arrow, top);
}

TEST(LumoButton2, ImageListImage) {
    TPngImageList list(16, 16);
    TPngImage& item = list.AddItem();
    item = TPngImage(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            item.SetPixel(x, y, 0, 0, 255, 255);
    TLumoButton2 b;
    b.SetAutoWidth(false);
    b.resize(60, 33);
    b.SetImageList(&list);
    EXPECT_TRUE(boundsOf(render(b), 0xFF0000FF).isEmpty()); // index -1 draws nothing
    b.SetImageIndex(0);
    EXPECT_EQ(boundsOf(render(b), 0xFF0000FF), QRect(22, 8, 16, 16));
}

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

TEST(LumoButton2, RepaintRules) {
    QWidget parent;
    parent.resize(200, 60);
    TLumoButton2 b(&parent);
    b.SetAutoWidth(false);
    b.SetCaption(QStringLiteral("Same"));
    parent.show();
    QApplication::processEvents();
    PaintCounter counter;
    b.installEventFilter(&counter);

    const auto paintsAfter = [&](auto change) {
        QApplication::processEvents();
        counter.paints = 0;
        change();
        QApplication::processEvents();
        return counter.paints;
    };
    EXPECT_EQ(paintsAfter([&] { b.SetCaption(QStringLiteral("Same")); }), 0);
    EXPECT_GT(paintsAfter([&] { b.SetCaption(QStringLiteral("Other")); }), 0);
    EXPECT_EQ(paintsAfter([&] { b.SetBorderColor(RGB(1, 2, 3)); }), 0);
    EXPECT_EQ(paintsAfter([&] { b.SetFaceColor_Normal_Hover(RGB(1, 2, 3)); }), 0);
    EXPECT_GT(paintsAfter([&] { b.SetFaceColor_Normal(RGB(1, 2, 3)); }), 0);
    EXPECT_GT(paintsAfter([&] { b.SetGlyph(nullptr); }), 0);
    EXPECT_GT(paintsAfter([&] { b.SetActionButton(true); }), 0);
}

TEST(LumoButton2, MouseEvents) {
    TLumoButton2 b;
    QStringList log;
    b.OnMouseLeave = [&](QObject* s) { log << (s == &b ? "leave" : "?"); };
    enter(b);
    EXPECT_TRUE(b.MouseIsInside());
    leave(b);
    EXPECT_EQ(log, QStringList{"leave"});

    b.OnMouseLeave = nullptr;
    b.OnMouseEnter = [&](QObject*) { log << "enter"; };
    leave(b);
    EXPECT_EQ(log, QStringList{"leave"});
    enter(b);
    EXPECT_EQ(log, (QStringList{"leave", "enter"}));

    // Disabled: tracks the pointer, tells nobody; enabled again it shows the hover look.
    leave(b);
    b.setEnabled(false);
    enter(b);
    EXPECT_TRUE(b.MouseIsInside());
    EXPECT_EQ(log.size(), 2);
    b.SetFaceColor_Normal_Hover(RGB(9, 9, 9));
    b.setEnabled(true);
    EXPECT_EQ(render(b).pixel(50, 16), rgb(RGB(9, 9, 9)));

    b.OnMouseUp = [&](QObject*, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
        log << QStringLiteral("up %1 %2 %3,%4").arg(int(button)).arg(int(shift & Qt::ShiftModifier) != 0).arg(x).arg(y);
    };
    b.OnClick = [&](QObject*) { log << "click"; };
    mouse(b, QEvent::MouseButtonPress, {5, 6});
    mouse(b, QEvent::MouseButtonRelease, {5, 6});
    EXPECT_EQ(log.mid(2), (QStringList{"up 1 1 5,6", "click"}));
    mouse(b, QEvent::MouseButtonPress, {5, 6});
    mouse(b, QEvent::MouseButtonRelease, {500, 6}); // released outside: no click
    EXPECT_EQ(log.last(), QStringLiteral("up 1 1 500,6"));
}

TEST(LumoUnicodeSTButton, DefaultsAndLayout) {
    QWidget parent;
    parent.resize(200, 40);
    TLumoUnicodeSTButton b(&parent);
    EXPECT_EQ(b.size(), QSize(88, 25));
    EXPECT_EQ(b.Caption(), QStringLiteral("xxxxxx"));
    EXPECT_EQ(b.Alignment(), TAlignment::taLeftJustify);
    EXPECT_TRUE(b.AutoWidth());
    EXPECT_FALSE(b.Shadow());
    EXPECT_EQ(b.ShadowColor(), 0u);
    EXPECT_EQ(b.cursor().shape(), Qt::PointingHandCursor);

    const TFont normal = testFont(RGB(0, 0, 200));
    const TFont hot = testFont(RGB(200, 0, 0));
    b.SetFont(&normal);
    b.SetFontHOT(&hot);
    b.SetCaption(QStringLiteral("Link"));
    const QImage glyph = solid(10, 10, 0xFF00FF00);
    b.SetGlyph(&glyph);
    const int tw = textWidth(normal, b.Caption());
    parent.show();

    QImage img = b.grab().toImage();
    EXPECT_EQ(b.width(), tw + 10 + 4); // automatic width
    img = b.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(boundsOf(img, 0xFF00FF00), QRect(0, (25 - 10) / 2, 10, 10));
    const QRect text = boundsOf(img, rgb(RGB(0, 0, 200)));
    ASSERT_FALSE(text.isEmpty());
    EXPECT_GE(text.left(), 14);
    EXPECT_LE(text.left(), 14 + 3);

    // Under the mouse the hot font draws.
    enter(b);
    img = b.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_TRUE(boundsOf(img, rgb(RGB(0, 0, 200))).isEmpty());
    EXPECT_FALSE(boundsOf(img, rgb(RGB(200, 0, 0))).isEmpty());
    leave(b);

    // Shadow one pixel right and down, in the shadow colour; right alignment.
    b.SetAutoWidth(false);
    b.resize(100, 25);
    b.SetShadow(true);
    b.SetShadowColor(RGB(0, 120, 0));
    b.SetAlignment(TAlignment::taRightJustify);
    img = b.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QRect front = boundsOf(img, rgb(RGB(0, 0, 200)));
    const QRect shadow = boundsOf(img, rgb(RGB(0, 120, 0)));
    ASSERT_FALSE(shadow.isEmpty());
    EXPECT_EQ(shadow.right(), front.right() + 1);
    EXPECT_EQ(shadow.bottom(), front.bottom() + 1);
    EXPECT_GE(front.left(), 100 - (tw + 1));
    EXPECT_EQ(boundsOf(img, 0xFF00FF00).left(), 100 - (tw + 1) - 10 - 4);
}

TEST(TarviMouseImage3State, PicturesAndNudge) {
    QWidget parent;
    TTarviMouseImage3State b(&parent);
    b.setGeometry(10, 20, 8, 8);
    EXPECT_TRUE(b.Stretch());
    EXPECT_TRUE(b.Move_If_MousePressed());
    const QImage normal = solid(4, 4, 0xFF111111), high = solid(4, 4, 0xFF222222),
                 pressed = solid(4, 4, 0xFF333333);
    b.SetPicture_Highlight(high);
    b.SetPicture_Pressed(pressed);
    EXPECT_TRUE(b.Picture().isNull());
    b.SetPicture_Normal(normal);
    EXPECT_EQ(b.Picture(), normal);
    EXPECT_EQ(b.grab().toImage().pixel(7, 7), 0xFF111111); // stretched over the control

    int clicks = 0;
    b.OnClick = [&](QObject*) { ++clicks; };
    enter(b);
    EXPECT_EQ(b.Picture(), high);
    mouse(b, QEvent::MouseButtonPress);
    EXPECT_EQ(b.pos(), QPoint(11, 21));
    EXPECT_EQ(b.Picture(), pressed);
    mouse(b, QEvent::MouseButtonRelease);
    EXPECT_EQ(b.pos(), QPoint(10, 20));
    EXPECT_EQ(b.Picture(), high);
    EXPECT_EQ(clicks, 1);
    leave(b);
    EXPECT_EQ(b.Picture(), normal);

    // Released after the pointer left: no highlight.
    mouse(b, QEvent::MouseButtonPress);
    mouse(b, QEvent::MouseButtonRelease);
    EXPECT_EQ(b.Picture(), pressed);

    b.SetMove_If_MousePressed(false);
    b.SetPicture_Normal(normal);
    mouse(b, QEvent::MouseButtonPress);
    EXPECT_EQ(b.pos(), QPoint(10, 20));
    mouse(b, QEvent::MouseButtonRelease);

    // Disabled: no picture change, no move, no notification.
    b.SetMove_If_MousePressed(true);
    b.SetPicture_Normal(normal);
    bool entered = false;
    b.OnMouseEnter = [&](QObject*) { entered = true; };
    b.setEnabled(false);
    enter(b);
    mouse(b, QEvent::MouseButtonPress);
    EXPECT_FALSE(entered);
    EXPECT_EQ(b.pos(), QPoint(10, 20));
    EXPECT_EQ(b.Picture(), normal);
    EXPECT_TRUE(b.MouseIsInside());
}

// A picture is no button: presses and releases it has no handler for go on to its parent, and
// it reports the mouse even while disabled (the tooltips hook those).
TEST(Image, PassesUnhandledMouseButtonsOnAndReportsHoverWhileDisabled) {
    struct Parent : QWidget {
        QStringList seen;
        void mousePressEvent(QMouseEvent*) override { seen << "press"; }
        void mouseReleaseEvent(QMouseEvent*) override { seen << "release"; }
    } parent;
    TImage picture(&parent);
    picture.resize(10, 10);
    QStringList log;
    mouse(picture, QEvent::MouseButtonPress);
    mouse(picture, QEvent::MouseButtonRelease);
    EXPECT_EQ(parent.seen, (QStringList{"press", "release"}));

    picture.OnMouseDown = [&](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
        log << QStringLiteral("down %1,%2").arg(x).arg(y);
    };
    picture.OnMouseUp = [&](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { log << "up"; };
    mouse(picture, QEvent::MouseButtonPress, {4, 5});
    mouse(picture, QEvent::MouseButtonRelease, {4, 5});
    EXPECT_EQ(parent.seen.size(), 2);
    EXPECT_EQ(log, (QStringList{"down 4,5", "up"}));

    picture.OnMouseEnter = [&](QObject*) { log << "enter"; };
    picture.OnMouseLeave = [&](QObject*) { log << "leave"; };
    picture.setEnabled(false);
    enter(picture);
    EXPECT_TRUE(picture.MouseIsInside());
    leave(picture);
    EXPECT_EQ(log.mid(2), (QStringList{"enter", "leave"}));
}

} // namespace
