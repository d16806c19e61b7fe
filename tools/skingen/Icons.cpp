// The program's icons, drawn with QPainter on a 64 x 64 grid. Shapes are bold and keep two
// pixels clear of the cell's last row and column (the stripe cuts 63 x 63 pixels per cell), so
// they stay readable down to 16 pixels.
#include "Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <functional>
#include <map>

namespace {

const QColor kBlue(0x3A, 0x7B, 0xD5), kBlueDark(0x28, 0x5A, 0x9E);
const QColor kYellow(0xF2, 0xB6, 0x30), kYellowDark(0xC0, 0x88, 0x10);
const QColor kRed(0xE0, 0x52, 0x4B), kRedDark(0xA8, 0x35, 0x30);
const QColor kGreen(0x3D, 0xAE, 0x6A), kGreenDark(0x2A, 0x7E, 0x4C);
const QColor kGrey(0x8A, 0x94, 0xA3);
const QColor kPaper(0xFF, 0xFF, 0xFF), kPaperEdge(0x8C, 0x97, 0xA6);
const QColor kPurple(0x8A, 0x5C, 0xD1), kPurpleDark(0x64, 0x3F, 0xA0);
const QColor kOrange(0xF0, 0x8A, 0x3C), kOrangeDark(0xB8, 0x60, 0x20);
const QColor kTeal(0x2B, 0xA8, 0xA0);
// Ink of outlines and marks: dark on light skins, light on dark ones.
QColor kGreyDark(0x4F, 0x59, 0x67);
QColor kInk(0x33, 0x3D, 0x4A);
// Marks on light fills (warning sign, clock face, zipper) stay dark on every ground.
const QColor kMark(0x33, 0x3D, 0x4A);

QPen edge(const QColor& c, qreal w = 3) {
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void glyphText(QPainter& p, const QRectF& r, const QString& text, const QColor& color, int px) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(px);
    f.setBold(true);
    p.setFont(f);
    p.setPen(color);
    p.drawText(r, Qt::AlignCenter, text);
}

void disc(QPainter& p, const QColor& fill, const QColor& ring) {
    p.setPen(edge(ring));
    p.setBrush(fill);
    p.drawEllipse(QRectF(6, 6, 50, 50));
}

void missing(QPainter& p) {
    p.setPen(QPen(kGrey, 3, Qt::DashLine));
    p.setBrush(QColor(0xF4, 0xF6, 0xF8));
    p.drawRoundedRect(QRectF(6, 8, 50, 46), 6, 6);
    p.setPen(edge(kRed, 6));
    p.drawLine(QPointF(20, 20), QPointF(42, 42));
    p.drawLine(QPointF(42, 20), QPointF(20, 42));
}

void question(QPainter& p) {
    disc(p, kBlue, kBlueDark);
    glyphText(p, QRectF(6, 5, 50, 50), QStringLiteral("?"), Qt::white, 36);
}

void information(QPainter& p) {
    disc(p, kBlue, kBlueDark);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(27, 14, 8, 8));
    p.drawRoundedRect(QRectF(27.5, 26, 7, 20), 2, 2);
}

void warning(QPainter& p) {
    QPainterPath tri;
    tri.moveTo(31, 6);
    tri.lineTo(58, 54);
    tri.lineTo(4, 54);
    tri.closeSubpath();
    p.setPen(edge(kYellowDark, 4));
    p.setBrush(kYellow);
    p.drawPath(tri);
    p.setPen(Qt::NoPen);
    p.setBrush(kMark);
    p.drawRoundedRect(QRectF(27.5, 20, 7, 20), 3, 3);
    p.drawEllipse(QRectF(27.5, 43, 7, 7));
}

void smallDownArrow(QPainter& p) {
    QPainterPath tri;
    tri.moveTo(17, 24);
    tri.lineTo(45, 24);
    tri.lineTo(31, 40);
    tri.closeSubpath();
    p.setPen(edge(kGreyDark, 2));
    p.setBrush(kGreyDark);
    p.drawPath(tri);
}

void trash(QPainter& p) {
    p.setPen(edge(kRedDark));
    p.setBrush(kRed);
    QPainterPath body;
    body.moveTo(16, 20);
    body.lineTo(46, 20);
    body.lineTo(42, 56);
    body.lineTo(20, 56);
    body.closeSubpath();
    p.drawPath(body);
    p.drawRoundedRect(QRectF(11, 12, 40, 7), 2, 2);
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(24, 6, 14, 7), 2, 2);
    p.setPen(edge(Qt::white, 3));
    for (int x : {25, 31, 37})
        p.drawLine(QPointF(x, 27), QPointF(x, 49));
}

void sliders(QPainter& p) {
    p.setPen(edge(kGreyDark, 4));
    for (int y : {16, 31, 46})
        p.drawLine(QPointF(8, y), QPointF(54, y));
    p.setPen(edge(kBlueDark, 2));
    p.setBrush(kBlue);
    const int knobs[] = {38, 20, 44};
    int i = 0;
    for (int y : {16, 31, 46})
        p.drawEllipse(QPointF(knobs[i++], y), 6.5, 6.5);
}

void gear(QPainter& p, const QColor& fill, const QColor& dark, QPointF c = {31, 31}, qreal r = 25) {
    QPainterPath path;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const qreal a0 = (i - 0.5) * M_PI / teeth, a1 = (i + 0.5) * M_PI / teeth;
        const qreal rr = i % 2 == 0 ? r : r * 0.76;
        const QPointF p0 = c + QPointF(std::cos(a0) * rr, std::sin(a0) * rr);
        const QPointF p1 = c + QPointF(std::cos(a1) * rr, std::sin(a1) * rr);
        if (i == 0)
            path.moveTo(p0);
        else
            path.lineTo(p0);
        path.lineTo(p1);
    }
    path.closeSubpath();
    path.addEllipse(c, r * 0.34, r * 0.34);
    path.setFillRule(Qt::OddEvenFill);
    p.setPen(edge(dark, 2.5));
    p.setBrush(fill);
    p.drawPath(path);
}

void settingsGear(QPainter& p) { gear(p, kGrey, kGreyDark); }

void pictures(QPainter& p) {
    p.setPen(edge(kPaperEdge));
    p.setBrush(QColor(0xD8, 0xEA, 0xFB));
    p.drawRoundedRect(QRectF(5, 10, 52, 42), 5, 5);
    p.setPen(Qt::NoPen);
    p.setBrush(kYellow);
    p.drawEllipse(QRectF(38, 16, 11, 11));
    QPainterPath hills;
    hills.moveTo(7, 50);
    hills.lineTo(22, 28);
    hills.lineTo(33, 42);
    hills.lineTo(40, 34);
    hills.lineTo(55, 50);
    hills.closeSubpath();
    p.setBrush(kGreen);
    p.drawPath(hills);
}

void bubble(QPainter& p, const QColor& fill, const QColor& dark) {
    QPainterPath b;
    b.addRoundedRect(QRectF(5, 7, 52, 38), 10, 10);
    QPainterPath tail;
    tail.moveTo(16, 42);
    tail.lineTo(12, 57);
    tail.lineTo(30, 43);
    tail.closeSubpath();
    b = b.united(tail);
    p.setPen(edge(dark));
    p.setBrush(fill);
    p.drawPath(b);
}

void tooltipInfo(QPainter& p) {
    bubble(p, kBlue, kBlueDark);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(27, 12, 7, 7));
    p.drawRoundedRect(QRectF(27.5, 22, 6, 16), 2, 2);
}

void okCheck(QPainter& p) {
    disc(p, kGreen, kGreenDark);
    p.setPen(edge(Qt::white, 6));
    p.setBrush(Qt::NoBrush);
    QPainterPath tick;
    tick.moveTo(19, 32);
    tick.lineTo(28, 41);
    tick.lineTo(44, 22);
    p.drawPath(tick);
}

void refresh(QPainter& p) {
    p.setPen(edge(kBlue, 6));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(12, 12, 38, 38), 30 * 16, 150 * 16);
    p.drawArc(QRectF(12, 12, 38, 38), 210 * 16, 150 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    QPainterPath a;
    a.moveTo(50, 8);
    a.lineTo(52, 26);
    a.lineTo(35, 20);
    a.closeSubpath();
    QPainterPath b;
    b.moveTo(12, 54);
    b.lineTo(10, 36);
    b.lineTo(27, 42);
    b.closeSubpath();
    p.drawPath(a);
    p.drawPath(b);
}

void globe(QPainter& p, const QColor& fill, const QColor& line) {
    p.setPen(edge(line));
    p.setBrush(fill);
    p.drawEllipse(QRectF(6, 6, 50, 50));
    p.setBrush(Qt::NoBrush);
    p.setPen(edge(Qt::white, 2.5));
    p.drawEllipse(QRectF(19, 7.5, 24, 47));
    p.drawLine(QPointF(31, 7.5), QPointF(31, 54.5));
    p.drawLine(QPointF(7.5, 31), QPointF(54.5, 31));
    p.drawLine(QPointF(11, 19), QPointF(51, 19));
    p.drawLine(QPointF(11, 43), QPointF(51, 43));
}

void language(QPainter& p) { globe(p, kBlue, kBlueDark); }

void drive(QPainter& p) {
    p.setPen(edge(kGreyDark));
    QLinearGradient g(0, 18, 0, 48);
    g.setColorAt(0, QColor(0xC9, 0xD0, 0xD9));
    g.setColorAt(1, QColor(0x98, 0xA2, 0xAF));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(5, 18, 52, 30), 6, 6);
    p.setPen(edge(kGreyDark, 2));
    p.drawLine(QPointF(9, 38), QPointF(53, 38));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3D, 0xD6, 0x72));
    p.drawEllipse(QRectF(44, 41, 5, 5));
    p.setBrush(kGreyDark);
    p.drawRoundedRect(QRectF(12, 41, 20, 4), 2, 2);
}

void folder(QPainter& p) {
    p.setPen(edge(kYellowDark));
    p.setBrush(QColor(0xE0, 0xA2, 0x20));
    QPainterPath back;
    back.moveTo(6, 16);
    back.lineTo(24, 16);
    back.lineTo(29, 21);
    back.lineTo(56, 21);
    back.lineTo(56, 52);
    back.lineTo(6, 52);
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(kYellow);
    p.drawRoundedRect(QRectF(6, 27, 50, 25), 3, 3);
}

void document(QPainter& p) {
    QPainterPath page;
    page.moveTo(13, 5);
    page.lineTo(38, 5);
    page.lineTo(51, 18);
    page.lineTo(51, 57);
    page.lineTo(13, 57);
    page.closeSubpath();
    p.setPen(edge(kPaperEdge));
    p.setBrush(kPaper);
    p.drawPath(page);
    QPainterPath fold;
    fold.moveTo(38, 5);
    fold.lineTo(38, 18);
    fold.lineTo(51, 18);
    p.setBrush(QColor(0xE3, 0xE8, 0xEE));
    p.drawPath(fold);
    p.setPen(edge(kGrey, 3));
    for (int y : {27, 35, 43, 50})
        p.drawLine(QPointF(20, y), QPointF(y == 50 ? 36 : 44, y));
}

void list(QPainter& p) {
    for (int i = 0; i < 4; ++i) {
        const qreal y = 13 + i * 12;
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(7, y - 3.5, 7, 7));
        p.setPen(edge(kGreyDark, 4));
        p.drawLine(QPointF(21, y), QPointF(54, y));
    }
}

void star(QPainter& p, QPointF c, qreal r, const QColor& fill, const QColor& dark) {
    QPolygonF poly;
    for (int i = 0; i < 10; ++i) {
        const qreal a = -M_PI / 2 + i * M_PI / 5;
        const qreal rr = i % 2 == 0 ? r : r * 0.45;
        poly << c + QPointF(std::cos(a) * rr, std::sin(a) * rr);
    }
    p.setPen(edge(dark, 2));
    p.setBrush(fill);
    p.drawPolygon(poly);
}

void ownGroup(QPainter& p) {
    QPainterPath tag;
    tag.moveTo(6, 12);
    tag.lineTo(32, 12);
    tag.lineTo(56, 36);
    tag.lineTo(34, 58);
    tag.lineTo(6, 32);
    tag.closeSubpath();
    p.setPen(edge(kPurpleDark));
    p.setBrush(kPurple);
    p.drawPath(tag);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(12, 17, 7, 7));
    star(p, QPointF(32, 36), 12, kYellow, kYellowDark);
}

void contextMenu(QPainter& p) {
    p.setPen(edge(kPaperEdge));
    p.setBrush(kPaper);
    p.drawRoundedRect(QRectF(12, 6, 44, 50), 4, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xCF, 0xE0, 0xF7));
    p.drawRect(QRectF(14, 22, 40, 10));
    p.setPen(edge(kGrey, 3));
    for (int y : {15, 27, 39, 48})
        p.drawLine(QPointF(19, y), QPointF(48, y));
    QPainterPath cursor;
    cursor.moveTo(5, 26);
    cursor.lineTo(5, 52);
    cursor.lineTo(11, 46);
    cursor.lineTo(15, 55);
    cursor.lineTo(19, 53);
    cursor.lineTo(15, 44);
    cursor.lineTo(23, 44);
    cursor.closeSubpath();
    p.setPen(edge(Qt::white, 2));
    p.setBrush(kInk);
    p.drawPath(cursor);
}

void magnifier(QPainter& p, QPointF c, qreal r, const QColor& ring) {
    p.setPen(edge(ring, r * 0.3));
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawEllipse(c, r, r);
    p.setPen(edge(ring, r * 0.45));
    const QPointF dir(0.7071, 0.7071);
    p.drawLine(c + dir * r * 1.15, c + dir * r * 2.1);
}

void search(QPainter& p) { magnifier(p, QPointF(26, 26), 15, kGreyDark); }

void clock(QPainter& p) {
    p.setPen(edge(kBlueDark));
    p.setBrush(kPaper);
    p.drawEllipse(QRectF(6, 6, 50, 50));
    p.setPen(edge(kMark, 4));
    p.drawLine(QPointF(31, 31), QPointF(31, 15));
    p.drawLine(QPointF(31, 31), QPointF(43, 37));
}

void analysis(QPainter& p) {
    // A pie of the drive with one slice pulled out toward the top right.
    const QRectF r(5, 9, 48, 48);
    p.setPen(edge(kBlueDark, 2.5));
    p.setBrush(kBlue);
    p.drawPie(r, 90 * 16, 270 * 16);
    p.setPen(edge(Qt::white, 2));
    p.setBrush(kGreen);
    p.drawPie(r, 200 * 16, 70 * 16);
    p.setPen(edge(kOrangeDark, 2.5));
    p.setBrush(kOrange);
    p.drawPie(r.translated(5, -5), 0, 90 * 16);
}

void archive(QPainter& p) {
    p.setPen(edge(kOrangeDark));
    p.setBrush(QColor(0xD9, 0x9A, 0x5B));
    p.drawRoundedRect(QRectF(8, 18, 46, 38), 4, 4);
    p.setBrush(QColor(0xE8, 0xB0, 0x72));
    p.drawRoundedRect(QRectF(5, 8, 52, 12), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(kMark);
    for (int y = 22; y < 48; y += 6) {
        p.drawRect(QRectF(27, y, 4, 3));
        p.drawRect(QRectF(31, y + 3, 4, 3));
    }
    p.setBrush(kGrey);
    p.drawRoundedRect(QRectF(26, 46, 10, 7), 2, 2);
}

void video(QPainter& p) {
    p.setPen(edge(QColor(0x22, 0x28, 0x33)));
    p.setBrush(QColor(0x3A, 0x42, 0x50));
    p.drawRoundedRect(QRectF(5, 10, 52, 42), 5, 5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xE8, 0xEC, 0xF0));
    for (int x = 10; x < 54; x += 9) {
        p.drawRect(QRectF(x, 13, 5, 4));
        p.drawRect(QRectF(x, 45, 5, 4));
    }
    QPainterPath play;
    play.moveTo(25, 21);
    play.lineTo(42, 31);
    play.lineTo(25, 41);
    play.closeSubpath();
    p.setBrush(kRed);
    p.drawPath(play);
}

void toggle(QPainter& p, qreal y, bool on) {
    p.setPen(Qt::NoPen);
    p.setBrush(on ? kGreen : kGrey);
    p.drawRoundedRect(QRectF(10, y, 42, 18), 9, 9);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(on ? 35 : 13, y + 2.5, 13, 13));
}

void generalSettings(QPainter& p) {
    p.setPen(edge(kPaperEdge));
    p.setBrush(QColor(0xF3, 0xF5, 0xF8));
    p.drawRoundedRect(QRectF(5, 5, 52, 52), 7, 7);
    toggle(p, 12, true);
    toggle(p, 33, false);
}

void application(QPainter& p) {
    p.setPen(edge(kBlueDark));
    p.setBrush(kPaper);
    p.drawRoundedRect(QRectF(5, 8, 52, 46), 5, 5);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(6.5, 9.5, 49, 10), 4, 4);
    p.drawRect(QRectF(6.5, 15, 49, 5));
    const QColor tiles[] = {kOrange, kGreen, kPurple, kTeal};
    int i = 0;
    for (qreal y : {25.0, 39.0})
        for (qreal x : {13.0, 33.0}) {
            p.setBrush(tiles[i++]);
            p.drawRoundedRect(QRectF(x, y, 16, 11), 2, 2);
        }
}

void barChart(QPainter& p) {
    p.setPen(edge(kGreyDark, 3));
    p.drawLine(QPointF(7, 55), QPointF(56, 55));
    p.setPen(Qt::NoPen);
    const struct {
        qreal x, top;
        QColor c;
    } bars[] = {{11, 30, kBlue}, {26, 14, kGreen}, {41, 38, kOrange}};
    for (const auto& b : bars) {
        p.setBrush(b.c);
        p.drawRoundedRect(QRectF(b.x, b.top, 11, 53 - b.top), 2, 2);
    }
}

void sizeBar(QPainter& p, qreal y, qreal fraction) {
    p.setPen(edge(kGreyDark, 2.5));
    p.setBrush(kPaper);
    p.drawRoundedRect(QRectF(5, y, 52, 16), 4, 4);
    if (fraction > 0) {
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawRoundedRect(QRectF(7.5, y + 2.5, 47 * fraction, 11), 2.5, 2.5);
    }
}

void barRelativeToDrive(QPainter& p) {
    p.save();
    p.translate(12, -6);
    p.scale(0.62, 0.62);
    drive(p);
    p.restore();
    sizeBar(p, 38, 0.62);
}

void noBar(QPainter& p) {
    sizeBar(p, 24, 0);
    p.setPen(edge(kRed, 5));
    p.drawLine(QPointF(12, 52), QPointF(50, 10));
}

void percent(QPainter& p) {
    disc(p, kTeal, QColor(0x1D, 0x7A, 0x74));
    p.setPen(edge(Qt::white, 4.5));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(21, 43), QPointF(41, 19));
    p.drawEllipse(QRectF(17, 17, 9, 9));
    p.drawEllipse(QRectF(36, 36, 9, 9));
}

void audio(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kPurple);
    p.drawEllipse(QRectF(8, 40, 16, 12));
    p.drawEllipse(QRectF(36, 34, 16, 12));
    p.setPen(edge(kPurple, 5));
    p.drawLine(QPointF(22, 46), QPointF(22, 12));
    p.drawLine(QPointF(50, 40), QPointF(50, 7));
    p.setPen(edge(kPurple, 8));
    p.drawLine(QPointF(22, 13), QPointF(50, 8));
}

const std::map<int, std::function<void(QPainter&)>>& icons() {
    static const std::map<int, std::function<void(QPainter&)>> map = {
        {1, missing},          {2, question},     {3, information},  {4, warning},
        {13, smallDownArrow},  {14, trash},       {22, sliders},     {23, settingsGear},
        {24, pictures},        {25, tooltipInfo}, {26, okCheck},     {37, refresh},
        {40, language},        {47, drive},       {48, folder},      {49, document},
        {55, list},            {57, ownGroup},    {66, contextMenu}, {76, search},
        {94, clock},           {101, analysis},   {106, archive},    {116, video},
        {127, generalSettings}, {137, application}, {166, barChart}, {167, barRelativeToDrive},
        {168, noBar},          {169, percent},    {186, audio},
    };
    return map;
}

} // namespace

void SetDarkGround(bool dark) {
    kGreyDark = dark ? QColor(0xB4, 0xBD, 0xC9) : QColor(0x4F, 0x59, 0x67);
    kInk = dark ? QColor(0xD5, 0xDB, 0xE3) : QColor(0x33, 0x3D, 0x4A);
}

bool DrawStripeIcon(QImage& cell, int index) {
    const auto it = icons().find(index);
    if (it == icons().end())
        return false;
    QPainter p(&cell);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    it->second(p);
    return true;
}

const QList<int>& StripeCells() {
    static const QList<int> cells = [] {
        QList<int> c;
        for (const auto& [index, draw] : icons())
            c << index;
        return c;
    }();
    return cells;
}
