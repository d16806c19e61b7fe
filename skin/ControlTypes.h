#pragma once

// Small types shared by the custom-drawn controls.

#include "skin/SkinColors.h"

#include <QFont>
#include <QObject>

#include <functional>

namespace skin {

// A font together with its colour, as the controls hand fonts around.
struct TFont {
    QFont Font;
    TColor Color = 0;
};

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TMouseEvent = std::function<void(QObject* Sender, Qt::MouseButton Button,
                                       Qt::KeyboardModifiers Shift, int X, int Y)>;

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

// Character height in pixels of a font on a device of the given vertical resolution: the pixel
// size when the font has one, else its point size at that resolution, rounded.
int FontHeightPixels(const QFont& font, int dpiY);

} // namespace skin
