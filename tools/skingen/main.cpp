// skingen: writes the skins installed with the program.
//
//   skingen OUTDIR     OUTDIR is assets/skins; writes stripe.png, ToolTips.bmp, back.png and the
//                      skins "default" and "Dark" below it.
#include "Icons.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <cstdio>

namespace {

constexpr int kCells = 256; // cells 0..255; the program addresses up to 254
constexpr int kPitch = 64;

struct Palette {
    QString name, display, line1, line2;
    QColor header, headerText, infobar;
    QColor naviBack, naviText, naviShadow, naviDownText, naviDownShadow, naviActive, naviHover;
    QColor border, borderHover, borderDisabled;
    QColor font, fontDisabled, fontAction;
    QColor face, faceHover, faceDisabled, faceAction, faceActionHover;
    QColor dialogTop, dialogBottom;
    QColor window, rowText;
    QColor mapBackground; // the map pane while it has no picture
};

// "$RRGGBB" for the plain colour keys.
QString plain(const QColor& c) {
    return QStringLiteral("$%1%2%3")
        .arg(c.red(), 2, 16, QChar('0'))
        .arg(c.green(), 2, 16, QChar('0'))
        .arg(c.blue(), 2, 16, QChar('0'))
        .toUpper();
}

// The ARGB keys: a 9-character text "$XXRRGGBB" becomes the colour value 0xXXBBGGRR, and that
// word is drawn as alpha XX, red BB, green GG, blue RR. So the text carries alpha, blue, green,
// red, in that order.
QString argb(const QColor& c) {
    return QStringLiteral("$%1%2%3%4")
        .arg(c.alpha(), 2, 16, QChar('0'))
        .arg(c.blue(), 2, 16, QChar('0'))
        .arg(c.green(), 2, 16, QChar('0'))
        .arg(c.red(), 2, 16, QChar('0'))
        .toUpper();
}

bool save(const QImage& img, const QString& path) {
    // Plain pictures without alpha go out as 8-bit BMPs: gradients need no more colours.
    const bool paletted = path.endsWith(".bmp") && !path.endsWith("head_logo.bmp");
    const QImage out = paletted ? img.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither)
                                : img;
    if (!out.save(path)) {
        std::fprintf(stderr, "skingen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QImage transparent(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    return img;
}

QImage stripe() {
    QImage img = transparent(kCells * kPitch, kPitch);
    for (int index : StripeCells()) {
        QImage cell = transparent(kPitch, kPitch);
        DrawStripeIcon(cell, index);
        QPainter p(&img);
        p.drawImage(index * kPitch, 0, cell);
    }
    return img;
}

QPen pen(const QColor& c, qreal w) { return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

// Caption-bar buttons: a thin glyph on a transparent field, a tinted field under the mouse.
enum class Caption { Close, Maximize, Unmax, Minimize, Help, Settings, Internet, Feedback };

QImage captionButton(Caption kind, bool hover, const Palette& pal) {
    const int w = 40, h = 30;
    QImage img = transparent(w, h);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    if (hover)
        p.fillRect(img.rect(), kind == Caption::Close ? QColor(0xD9, 0x3B, 0x34)
                                                     : QColor(255, 255, 255, 40));
    const QColor ink = hover && kind == Caption::Close ? Qt::white : pal.headerText;
    p.setPen(pen(ink, 1.6));
    p.setBrush(Qt::NoBrush);
    const QPointF c(w / 2.0, h / 2.0);
    switch (kind) {
    case Caption::Close:
        p.drawLine(c + QPointF(-5, -5), c + QPointF(5, 5));
        p.drawLine(c + QPointF(5, -5), c + QPointF(-5, 5));
        break;
    case Caption::Maximize: p.drawRect(QRectF(c.x() - 5, c.y() - 5, 10, 10)); break;
    case Caption::Unmax:
        p.drawRect(QRectF(c.x() - 5, c.y() - 3, 8, 8));
        p.drawPolyline(QPolygonF() << c + QPointF(-3, -3) << c + QPointF(-3, -5)
                                   << c + QPointF(5, -5) << c + QPointF(5, 3)
                                   << c + QPointF(3, 3));
        break;
    case Caption::Minimize: p.drawLine(c + QPointF(-5, 0.5), c + QPointF(5, 0.5)); break;
    case Caption::Help: {
        p.drawEllipse(c, 7, 7);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(10);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRectF(c.x() - 7, c.y() - 7, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case Caption::Settings: {
        QPainterPath gear;
        for (int i = 0; i < 16; ++i) {
            const qreal a = i * M_PI / 8, r = i % 2 == 0 ? 7.0 : 5.2;
            const QPointF pt = c + QPointF(std::cos(a) * r, std::sin(a) * r);
            i == 0 ? gear.moveTo(pt) : gear.lineTo(pt);
        }
        gear.closeSubpath();
        p.drawPath(gear);
        p.drawEllipse(c, 2.2, 2.2);
        break;
    }
    case Caption::Internet:
        p.drawEllipse(c, 7, 7);
        p.drawEllipse(QRectF(c.x() - 3, c.y() - 7, 6, 14));
        p.drawLine(c + QPointF(-7, 0), c + QPointF(7, 0));
        break;
    case Caption::Feedback: {
        QPainterPath b;
        b.addRoundedRect(QRectF(c.x() - 7, c.y() - 6, 14, 10), 2.5, 2.5);
        b.moveTo(c + QPointF(-3, 4));
        b.lineTo(c + QPointF(-4, 8));
        b.lineTo(c + QPointF(1, 4));
        p.drawPath(b);
        break;
    }
    }
    return img;
}

QImage grip(const Palette& pal) {
    QImage img = transparent(14, 14);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(pal.border.darker(130));
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col <= row; ++col)
            p.drawEllipse(QRectF(10 - col * 4, 2 + row * 4 + 0.5, 2.5, 2.5).translated(0, 0));
    return img;
}

QImage headLogo(const Palette& pal) {
    QImage img(230, 40, QImage::Format_RGB32);
    img.fill(pal.header);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QImage icon = transparent(64, 64);
    DrawStripeIcon(icon, 101);
    p.drawImage(QRectF(6, 6, 28, 28), icon);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(15);
    f.setBold(true);
    p.setFont(f);
    p.setPen(pal.headerText);
    p.drawText(QRectF(40, 0, 190, 40), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("Zelvano Orbisca 2024"));
    return img;
}

QImage naviOverlay(const QColor& c) {
    QImage img = transparent(200, 42);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(3, 2, 194, 38), 6, 6);
    return img;
}

QImage gradient(int w, int h, const QColor& top, const QColor& bottom, const QColor& frame) {
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(img.rect(), g);
    if (frame.isValid()) {
        p.setPen(frame);
        p.drawRect(0, 0, w - 1, h - 1);
    }
    return img;
}

QImage backGlyph() {
    QImage img = transparent(24, 24);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(pen(QColor(0x4F, 0x59, 0x67), 2.6));
    p.drawLine(QPointF(5, 12), QPointF(19, 12));
    p.drawPolyline(QPolygonF() << QPointF(11, 6) << QPointF(5, 12) << QPointF(11, 18));
    return img;
}

// A small picture of the program's window in this skin for the skin list.
QImage preview(const Palette& pal) {
    QImage img(128, 84, QImage::Format_ARGB32);
    img.fill(pal.window);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(QRect(0, 0, 128, 14), pal.header);
    p.setPen(pal.headerText);
    for (int x : {100, 110, 120})
        p.drawLine(x - 2, 7, x + 2, 7);
    p.fillRect(QRect(0, 14, 128, 10), pal.infobar);
    for (int row = 0; row < 4; ++row) {
        const int y = 30 + row * 9;
        p.fillRect(QRect(6, y, 40 + row * 10 % 30, 4), pal.rowText);
        p.fillRect(QRect(80, y, 40 - row * 8, 4), QColor(0x3A, 0x7B, 0xD5));
    }
    const auto button = [&](QRectF r, const QColor& face, const QColor& border) {
        p.setPen(border);
        p.setBrush(face);
        p.drawRoundedRect(r, 3, 3);
    };
    button(QRectF(6, 68, 40, 11), pal.face, pal.border);
    button(QRectF(82, 68, 40, 11), pal.faceAction, pal.faceAction);
    p.setPen(pal.border);
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, 127, 83);
    return img;
}

QString skinIni(const Palette& pal) {
    QString s;
    QTextStream out(&s);
    out << "; " << pal.display << " skin of Zelvano Orbisca 2024. Written by tools/skingen.\n"
        << "[SkinInfo]\nDisplayName=" << pal.display << "\nDisplay1=" << pal.line1
        << "\nDisplay2=" << pal.line2 << "\n\n"
        << "[Header]\nColor=" << plain(pal.header) << "\n\n"
        << "[Infobar]\nColor=" << plain(pal.infobar) << "\n\n"
        << "; ARGB words: alpha, blue, green, red\n"
        << "[Navi_Options]\nFont_Normal=" << argb(pal.naviText)
        << "\nFont_Normal_Shadow=" << argb(pal.naviShadow) << "\nFont_Down=" << argb(pal.naviDownText)
        << "\nFont_Down_Shadow=" << argb(pal.naviDownShadow) << "\n\n"
        << "[LumoButtons2]\nBorderColor=" << plain(pal.border)
        << "\nBorderColor_Hover=" << plain(pal.borderHover)
        << "\nBorderColor_Disabled=" << plain(pal.borderDisabled)
        << "\nFontColor_NormalEnabled=" << plain(pal.font)
        << "\nFontColor_NormalDisabled=" << plain(pal.fontDisabled)
        << "\nFontColor_ActionButton=" << plain(pal.fontAction)
        << "\nFaceColor_Normal=" << plain(pal.face)
        << "\nFaceColor_Normal_Hover=" << plain(pal.faceHover)
        << "\nFaceColor_Disabled=" << plain(pal.faceDisabled)
        << "\nFaceColor_ActionButton=" << plain(pal.faceAction)
        << "\nFaceColor_ActionButton_Hover=" << plain(pal.faceActionHover) << "\n\n"
        << "; The map of the disk; the format groups' colours (Video, Audio, Pictures, Documents,\n"
        << "; Archives, Applications, Own, Other), Selection and Hover may be set here too\n"
        << "[Treemap]\nBackground=" << plain(pal.mapBackground) << "\n";
    return s;
}

bool writeSkin(const QString& dir, const Palette& pal, bool ownStripe) {
    QDir().mkpath(dir);
    QFile ini(dir + "/skin.ini");
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    ini.write(skinIni(pal).toUtf8());
    ini.close();

    bool ok = save(preview(pal), dir + "/preview_small.png");
    if (ownStripe)
        ok = ok && save(stripe(), dir + "/stripe.png");
    ok = ok && save(grip(pal), dir + "/grip.png");
    ok = ok && save(headLogo(pal), dir + "/head_logo.bmp");
    const struct {
        const char* normal;
        const char* hover;
        Caption kind;
    } buttons[] = {
        {"but_close.png", "but_close_hover.png", Caption::Close},
        {"but_maximize.png", "but_maximize_hover.png", Caption::Maximize},
        {"but_unmax_normal.png", "but_unmax_hover.png", Caption::Unmax},
        {"but_minimize.png", "but_minimize_hover.png", Caption::Minimize},
        {"but_help_normal.png", "but_help_hover.png", Caption::Help},
        {"but_settings_normal.png", "but_settings_hover.png", Caption::Settings},
        {"but_internet_normal.png", "but_internet_hover.png", Caption::Internet},
        {"but_feedback_normal.png", "but_feedback_hover.png", Caption::Feedback},
    };
    for (const auto& b : buttons) {
        ok = ok && save(captionButton(b.kind, false, pal), dir + "/" + b.normal);
        ok = ok && save(captionButton(b.kind, true, pal), dir + "/" + b.hover);
    }
    ok = ok && save(naviOverlay(pal.naviActive), dir + "/menu_options_active.png");
    ok = ok && save(naviOverlay(pal.naviHover), dir + "/menu_options_hover.png");
    ok = ok && save(gradient(200, 640, pal.naviBack, pal.naviBack.darker(104), QColor()),
                    dir + "/navi_options.bmp");
    ok = ok && save(gradient(520, 260, pal.dialogTop, pal.dialogBottom, pal.border),
                    dir + "/Background_Asker.bmp");
    // Without a tooltip picture of its own a skin uses the shared one of the skins folder.
    if (pal.name == "default")
        ok = ok && save(gradient(320, 140, pal.dialogTop, pal.dialogBottom, pal.border),
                        dir + "/ToolTips.bmp");
    return ok;
}

Palette calm() {
    Palette p;
    p.name = "default";
    p.display = "Zelvano Calm";
    p.line1 = "Light and quiet: slate header, soft grey surfaces.";
    p.line2 = "The skin installed with the program.";
    p.header = QColor(0x2B, 0x3A, 0x55);
    p.headerText = QColor(0xF2, 0xF5, 0xF9);
    p.infobar = QColor(0xEE, 0xF2, 0xF7);
    p.naviBack = QColor(0xF4, 0xF6, 0xF9);
    p.naviText = QColor(0x2B, 0x3A, 0x55);
    p.naviShadow = QColor(255, 255, 255, 160);
    p.naviDownText = QColor(0xFF, 0xFF, 0xFF);
    p.naviDownShadow = QColor(0, 0, 0, 60);
    p.naviActive = QColor(0x2F, 0x6F, 0xB0, 235);
    p.naviHover = QColor(0x2F, 0x6F, 0xB0, 40);
    p.border = QColor(0xC9, 0xD1, 0xDC);
    p.borderHover = QColor(0x8F, 0xA6, 0xC2);
    p.borderDisabled = QColor(0xDD, 0xE2, 0xE8);
    p.font = QColor(0x1F, 0x29, 0x33);
    p.fontDisabled = QColor(0xA0, 0xA8, 0xB3);
    p.fontAction = QColor(0xFF, 0xFF, 0xFF);
    p.face = QColor(0xFF, 0xFF, 0xFF);
    p.faceHover = QColor(0xEE, 0xF3, 0xF9);
    p.faceDisabled = QColor(0xF4, 0xF6, 0xF8);
    p.faceAction = QColor(0x2F, 0x6F, 0xB0);
    p.faceActionHover = QColor(0x24, 0x5A, 0x91);
    p.dialogTop = QColor(0xFF, 0xFF, 0xFF);
    p.dialogBottom = QColor(0xF0, 0xF3, 0xF7);
    p.window = QColor(0xFF, 0xFF, 0xFF);
    p.rowText = QColor(0x8A, 0x94, 0xA3);
    p.mapBackground = QColor(0xDD, 0xE2, 0xE8);
    return p;
}

Palette dark() {
    Palette p;
    p.name = "Dark";
    p.display = "Zelvano Dark";
    p.line1 = "Dark surfaces with blue accents, easy on the eyes at night.";
    p.line2 = "Uses the tooltip picture shared by all skins.";
    p.header = QColor(0x11, 0x18, 0x27);
    p.headerText = QColor(0xE5, 0xE7, 0xEB);
    p.infobar = QColor(0x1F, 0x29, 0x37);
    p.naviBack = QColor(0x1A, 0x20, 0x2B);
    p.naviText = QColor(0xE5, 0xE7, 0xEB);
    p.naviShadow = QColor(0, 0, 0, 140);
    p.naviDownText = QColor(0xFF, 0xFF, 0xFF);
    p.naviDownShadow = QColor(0, 0, 0, 120);
    p.naviActive = QColor(0x3B, 0x82, 0xF6, 220);
    p.naviHover = QColor(0xFF, 0xFF, 0xFF, 24);
    p.border = QColor(0x3B, 0x46, 0x57);
    p.borderHover = QColor(0x60, 0x70, 0x88);
    p.borderDisabled = QColor(0x2C, 0x33, 0x40);
    p.font = QColor(0xE5, 0xE7, 0xEB);
    p.fontDisabled = QColor(0x6B, 0x72, 0x80);
    p.fontAction = QColor(0xFF, 0xFF, 0xFF);
    p.face = QColor(0x2A, 0x33, 0x42);
    p.faceHover = QColor(0x35, 0x40, 0x52);
    p.faceDisabled = QColor(0x23, 0x2A, 0x35);
    p.faceAction = QColor(0x3B, 0x82, 0xF6);
    p.faceActionHover = QColor(0x25, 0x63, 0xEB);
    p.dialogTop = QColor(0x24, 0x2C, 0x3A);
    p.dialogBottom = QColor(0x1A, 0x20, 0x2B);
    p.window = QColor(0x1A, 0x20, 0x2B);
    p.rowText = QColor(0x9C, 0xA3, 0xAF);
    p.mapBackground = QColor(0x23, 0x2A, 0x35);
    return p;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: skingen OUTDIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    if (out.endsWith(".sheet.png")) {
        SetDarkGround(out.contains("dark"));
        // A contact sheet of every icon at 64, 32 and 16 pixels on light and dark ground, for
        // checking the drawings by eye.
        const QImage strip = stripe();
        const int n = int(StripeCells().size());
        const int perRow = 11;
        QImage sheet(perRow * 68, ((n + perRow - 1) / perRow) * 2 * (64 + 32 + 16 + 16),
                     QImage::Format_ARGB32);
        sheet.fill(QColor(0xFF, 0xFF, 0xFF));
        QPainter p(&sheet);
        const int band = 64 + 32 + 16 + 16;
        for (int y = band; y < sheet.height(); y += 2 * band)
            p.fillRect(QRect(0, y, sheet.width(), band), QColor(0x1A, 0x20, 0x2B));
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        for (int i = 0; i < n; ++i) {
            const QImage cell = strip.copy(StripeCells()[i] * kPitch, 0, 63, 63);
            for (int half = 0; half < 2; ++half) {
                int y = (i / perRow) * 2 * band + half * band + 4;
                for (int size : {64, 32, 16}) {
                    p.drawImage(QRect((i % perRow) * 68 + 2, y, size, size), cell);
                    y += size + 4;
                }
            }
        }
        p.end();
        return sheet.save(out) ? 0 : 1;
    }
    QDir().mkpath(out);
    const Palette def = calm();
    bool ok = save(stripe(), out + "/stripe.png");
    ok = ok && save(gradient(320, 140, def.dialogTop, def.dialogBottom, def.border),
                    out + "/ToolTips.bmp");
    ok = ok && save(backGlyph(), out + "/back.png");
    ok = ok && writeSkin(out + "/default", def, true);
    SetDarkGround(true);
    ok = ok && writeSkin(out + "/Dark", dark(), true);
    if (!ok)
        return 1;
    std::printf("skingen: wrote %s\n", qPrintable(out));
    return 0;
}
