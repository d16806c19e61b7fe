#pragma once

// Colour values of skins: 32-bit Windows colour values (red in bits 0-7, green 8-15, blue
// 16-23, a high byte that is 0 for plain colours), their text forms in skin.ini, and their
// conversion to Qt colours.

#include <QColor>
#include <QString>

#include <cstdint>
#include <optional>

namespace skin {

using TColor = uint32_t;

constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr TColor kSystemColorFlag = 0x80000000;

constexpr TColor RGB(uint8_t r, uint8_t g, uint8_t b) {
    return TColor(r) | (TColor(g) << 8) | (TColor(b) << 16);
}

// Converts the text of a colour key (first matching rule wins):
//  1. "$RRGGBB" (7 characters): red, green, blue in HTML order;
//  2. "$XXRRGGBB" (9 characters): XX is the high byte, then as rule 1;
//  3. anything else: a colour name ("clBlack", "clBtnFace", "clNone", ...) or an integer in
//     decimal or in hexadecimal with a "$" prefix, taken as the raw 32-bit value.
// Nothing when the text fits none of the rules.
std::optional<TColor> StringToSkinColor(QStringView text);

// The colour-name table: the value of a name (case-insensitive), or nothing.
std::optional<TColor> ColorFromName(QStringView name);

// A plain colour as red, green and blue: a value with the top bit set is the system colour
// whose number is the low byte, any other value gives its low three bytes.
TColor ColorToRGB(TColor color);
QColor ToQColor(TColor color);

// The 32-bit value used unchanged as an ARGB word (alpha in bits 24-31, red 16-23, green 8-15,
// blue 0-7).
QColor ArgbToQColor(TColor value);

} // namespace skin
