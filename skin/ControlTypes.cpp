#include "skin/ControlTypes.h"

#include <cmath>

namespace skin {

int FontHeightPixels(const QFont& font, int dpiY) {
    if (font.pixelSize() > 0)
        return font.pixelSize();
    return int(std::lround(font.pointSizeF() * dpiY / 72.0));
}

} // namespace skin
