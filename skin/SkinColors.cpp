#include "skin/SkinColors.h"

#include <array>

namespace skin {
namespace {

struct NamedColor {
    const char16_t* name;
    TColor value;
};

constexpr TColor sys(TColor index) { return kSystemColorFlag | index; }

constexpr NamedColor kColorNames[] = {
    {u"clBlack", 0x000000},
    {u"clMaroon", 0x000080},
    {u"clGreen", 0x008000},
    {u"clOlive", 0x008080},
    {u"clNavy", 0x800000},
    {u"clPurple", 0x800080},
    {u"clTeal", 0x808000},
    {u"clGray", 0x808080},
    {u"clSilver", 0xC0C0C0},
    {u"clRed", 0x0000FF},
    {u"clLime", 0x00FF00},
    {u"clYellow", 0x00FFFF},
    {u"clBlue", 0xFF0000},
    {u"clFuchsia", 0xFF00FF},
    {u"clAqua", 0xFFFF00},
    {u"clWhite", 0xFFFFFF},
    {u"clLtGray", 0xC0C0C0},
    {u"clDkGray", 0x808080},
    {u"clMoneyGreen", 0xC0DCC0},
    {u"clSkyBlue", 0xF0CAA6},
    {u"clCream", 0xF0FBFF},
    {u"clMedGray", 0xA4A0A0},
    {u"clScrollBar", sys(0)},
    {u"clBackground", sys(1)},
    {u"clActiveCaption", sys(2)},
    {u"clInactiveCaption", sys(3)},
    {u"clMenu", sys(4)},
    {u"clWindow", sys(5)},
    {u"clWindowFrame", sys(6)},
    {u"clMenuText", sys(7)},
    {u"clWindowText", sys(8)},
    {u"clCaptionText", sys(9)},
    {u"clActiveBorder", sys(10)},
    {u"clInactiveBorder", sys(11)},
    {u"clAppWorkSpace", sys(12)},
    {u"clHighlight", sys(13)},
    {u"clHighlightText", sys(14)},
    {u"clBtnFace", sys(15)},
    {u"clBtnShadow", sys(16)},
    {u"clGrayText", sys(17)},
    {u"clBtnText", sys(18)},
    {u"clInactiveCaptionText", sys(19)},
    {u"clBtnHighlight", sys(20)},
    {u"cl3DDkShadow", sys(21)},
    {u"cl3DLight", sys(22)},
    {u"clInfoText", sys(23)},
    {u"clInfoBk", sys(24)},
    {u"clHotLight", sys(26)},
    {u"clGradientActiveCaption", sys(27)},
    {u"clGradientInactiveCaption", sys(28)},
    {u"clMenuHighlight", sys(29)},
    {u"clMenuBar", sys(30)},
    {u"clNone", clNone},
    {u"clDefault", clDefault},
};

// The system colours of a default desktop, by number, as red, green, blue. Fixed values keep
// skins looking the same on every machine.
constexpr std::array<TColor, 31> kSystemColors = {
    RGB(200, 200, 200), RGB(0, 0, 0),       RGB(153, 180, 209), RGB(191, 205, 219),
    RGB(240, 240, 240), RGB(255, 255, 255), RGB(100, 100, 100), RGB(0, 0, 0),
    RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(180, 180, 180), RGB(244, 247, 252),
    RGB(171, 171, 171), RGB(0, 120, 215),   RGB(255, 255, 255), RGB(240, 240, 240),
    RGB(160, 160, 160), RGB(109, 109, 109), RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(255, 255, 255), RGB(105, 105, 105), RGB(227, 227, 227), RGB(0, 0, 0),
    RGB(255, 255, 225), RGB(0, 0, 0),       RGB(0, 102, 204),   RGB(185, 209, 234),
    RGB(215, 228, 242), RGB(0, 120, 215),   RGB(240, 240, 240),
};

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

std::optional<uint64_t> parseHex(QStringView digits) {
    if (digits.isEmpty())
        return std::nullopt;
    uint64_t v = 0;
    for (QChar c : digits) {
        const int d = hexDigit(c);
        if (d < 0 || v > 0xFFFFFFFFu)
            return std::nullopt;
        v = v * 16 + uint64_t(d);
    }
    return v;
}

// An integer as the colour reader takes it: decimal with an optional sign, or hexadecimal after
// "$" or "0x"; the result must fit 32 bits (signed or unsigned).
std::optional<TColor> parseInteger(QStringView text) {
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'-' || text.front() == u'+')) {
        negative = text.front() == u'-';
        text = text.sliced(1);
    }
    std::optional<uint64_t> magnitude;
    if (text.startsWith(u'$'))
        magnitude = parseHex(text.sliced(1));
    else if (text.startsWith(u"0x", Qt::CaseInsensitive))
        magnitude = parseHex(text.sliced(2));
    else if (!text.isEmpty()) {
        uint64_t v = 0;
        for (QChar c : text) {
            if (c < u'0' || c > u'9' || v > 0xFFFFFFFFu)
                return std::nullopt;
            v = v * 10 + uint64_t(c.unicode() - u'0');
        }
        magnitude = v;
    }
    if (!magnitude || *magnitude > 0xFFFFFFFFu)
        return std::nullopt;
    if (negative) {
        if (*magnitude > 0x80000000u)
            return std::nullopt;
        return TColor(uint32_t(0) - uint32_t(*magnitude));
    }
    return TColor(*magnitude);
}

} // namespace

std::optional<TColor> ColorFromName(QStringView name) {
    for (const NamedColor& c : kColorNames)
        if (name.compare(QStringView(c.name), Qt::CaseInsensitive) == 0)
            return c.value;
    return std::nullopt;
}

std::optional<TColor> StringToSkinColor(QStringView text) {
    if ((text.size() == 7 || text.size() == 9) && text.startsWith(u'$')) {
        const auto v = parseHex(text.sliced(1));
        if (!v)
            return std::nullopt;
        const uint32_t raw = uint32_t(*v); // 0xXXRRGGBB or 0xRRGGBB
        const uint8_t r = uint8_t(raw >> 16), g = uint8_t(raw >> 8), b = uint8_t(raw);
        return (raw & 0xFF000000u) | RGB(r, g, b);
    }
    if (const auto named = ColorFromName(text))
        return named;
    return parseInteger(text);
}

TColor ColorToRGB(TColor color) {
    if (color & kSystemColorFlag) {
        const uint32_t index = color & 0xFF;
        return index < kSystemColors.size() ? kSystemColors[index] : 0;
    }
    return color & 0x00FFFFFF;
}

QColor ToQColor(TColor color) {
    const TColor rgb = ColorToRGB(color);
    return QColor(int(rgb & 0xFF), int((rgb >> 8) & 0xFF), int((rgb >> 16) & 0xFF));
}

QColor ArgbToQColor(TColor value) { return QColor::fromRgba(QRgb(value)); }

} // namespace skin
