#include "skin/LumoButton2.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>

namespace skin {

TLumoButton2::TLumoButton2(QWidget* parent) : TPaintedControl(parent) {
    FFont.Font = QFont(QStringLiteral("Segeo UI"));
    FFont.Font.setPointSize(10);
    FFont.Color = RGB(0, 0, 0);
    resize(100, 33);
    setCursor(Qt::PointingHandCursor);
}

void TLumoButton2::SetCaption(const QString& value) {
    if (value == FCaption)
        return;
    setAndRepaint(FCaption, value);
}

void TLumoButton2::SetGlyph(const QImage* value) {
    if (value)
        FGlyph = *value;
    update();
}

void TLumoButton2::SetFont(const TFont* value) {
    if (value)
        FFont = *value;
    update();
}

void TLumoButton2::SetDropDownArrow(bool value) {
    setAndRepaint(FDropDownArrow, value);
}
void TLumoButton2::SetDropDownArrowUp(bool value) {
    setAndRepaint(FDropDownArrowUp, value);
}
void TLumoButton2::SetActionButton(bool value) {
    setAndRepaint(FActionButton, value);
}
void TLumoButton2::SetFontColor_ActionButtonEnabled(TColor value) {
    setAndRepaint(FFontColor_ActionButtonEnabled, value);
}
void TLumoButton2::SetFontColor_NormalEnabled(TColor value) {
    setAndRepaint(FFontColor_NormalEnabled, value);
}
void TLumoButton2::SetFontColor_NormalDisabled(TColor value) {
    setAndRepaint(FFontColor_NormalDisabled, value);
}
void TLumoButton2::SetFaceColor_Normal(TColor value) {
    setAndRepaint(FFaceColor_Normal, value);
}
void TLumoButton2::SetFaceColor_Disabled(TColor value) {
    setAndRepaint(FFaceColor_Disabled, value);
}
void TLumoButton2::SetFaceColor_ActionButton(TColor value) {
    setAndRepaint(FFaceColor_ActionButton, value);
}
void TLumoButton2::SetRoundingX(int value) {
    setAndRepaint(FRoundingX, value);
}
void TLumoButton2::SetRoundingY(int value) {
    setAndRepaint(FRoundingY, value);
}

void TLumoButton2::PaintTo(QPainter& canvas, int L, int T) {
    const int W = width();
    const int H = height();
    QPaintDevice* device = canvas.device();
    const int dpiY = device ? device->logicalDpiY() : 96;

    canvas.save();
    canvas.setBackgroundMode(Qt::TransparentMode);
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.setFont(FFont.Font);
    const QFontMetrics metrics(FFont.Font, device);

    const int ty = (H - FontHeightPixels(FFont.Font, dpiY)) / 2 - 2;
    const int tw = metrics.horizontalAdvance(FCaption);
    const int gw = FGlyph.isNull() ? 0 : FGlyph.width();
    const int gh = FGlyph.isNull() ? 0 : FGlyph.height();
    const bool hasImage = FImageList && FImageIndex != -1;
    const int iw = hasImage ? FImageList->Width() : 0;
    const int ih = hasImage ? FImageList->Height() : 0;
    const bool hasCaption = !FCaption.isEmpty();

    if (FAutoWidth) {
        int w = tw + gw + 4 + 16 + (FDropDownArrow ? 16 : 0);
        if (w < FAutoWidthMin)
            w = FAutoWidthMin;
        if (w != width())
            resize(w, height()); // takes effect with the next paint
    }

    TColor pen, brush;
    if (!isEnabled()) {
        brush = FFaceColor_Disabled;
        pen = FBorderColorDisabled;
    } else if (!FActionButton) {
        pen = MouseIsInside() ? FBorderColor_Hover : FBorderColor;
        brush = MouseIsInside() ? FFaceColor_Normal_Hover : FFaceColor_Normal;
    } else {
        pen = brush = MouseIsInside() ? FFaceColor_ActionButton_Hover : FFaceColor_ActionButton;
    }
    // Aliased one-pixel outline of (L, T) - (L + W, T + H), right and bottom exclusive.
    canvas.setPen(QPen(ToQColor(pen), 0));
    canvas.setBrush(ToQColor(brush));
    canvas.drawRoundedRect(QRect(L, T, W - 1, H - 1), FRoundingX / 2.0, FRoundingY / 2.0);

    int gx = (W - tw) / 2;
    int tx = gx;
    if (hasCaption) {
        gx = (W - tw - gw - 8) / 2;
        tx = gx + gw + 4;
    } else {
        gx = (W - gw) / 2;
    }
    if (hasImage) {
        if (hasCaption) {
            gx = (W - tw - iw - 8) / 2;
            tx = gx + iw + 4;
        } else {
            gx = (W - iw) / 2;
        }
    }
    if (gx < 0)
        gx = 0;
    if (FDropDownArrow)
        tx -= 8;

    const int gy = (H - gh) / 2;
    if (!hasCaption && FDropDownArrow)
        gx -= 8;
    if (!FGlyph.isNull())
        canvas.drawImage(L + gx, T + gy, FGlyph);

    if (hasImage) {
        const int iy = (H - ih) / 2;
        if (!hasCaption && FDropDownArrow)
            gx -= 8;
        FImageList->Draw(canvas, L + gx, T + iy, FImageIndex);
    }

    TColor fontColor = FFont.Color;
    if (hasCaption) {
        if (!isEnabled())
            fontColor = FFontColor_NormalDisabled;
        else if (!FActionButton)
            fontColor = FFontColor_NormalEnabled;
        else
            fontColor = FFontColor_ActionButtonEnabled;
        canvas.setFont(FFont.Font);
        canvas.setPen(ToQColor(fontColor));
        canvas.drawText(L + tx, T + ty + metrics.ascent(), FCaption);
    }

    if (FDropDownArrow) {
        const int ay = H / 2 - 1 + T;
        int ax = hasCaption ? tx + tw - 2 : gw + 2;
        ax += L;
        const QColor color = ToQColor(fontColor);
        // Five rows of 8, 6, 4, 2 and 0 pixels, each [x1, x2) like a GDI line.
        for (int row = 0; row < 5; ++row) {
            const int x1 = ax + 8 + row;
            const int x2 = ax + 16 - row;
            const int y = FDropDownArrowUp ? ay + 4 - row : ay + row;
            if (x2 > x1)
                canvas.fillRect(x1, y, x2 - x1, 1, color);
        }
    }
    canvas.restore();
}

void TLumoButton2::paintEvent(QPaintEvent*) {
    if (!isVisible())
        return;
    QPainter painter(this);
    PaintTo(painter, 0, 0);
    if (!hasFocus())
        return;
    // The keyboard's place: a dotted ring inside the border, in the caption's colour.
    const TColor ring = !isEnabled()    ? FFontColor_NormalDisabled
                        : FActionButton ? FFontColor_ActionButtonEnabled
                                        : FFontColor_NormalEnabled;
    QPen pen(ToQColor(ring), 0, Qt::DotLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRect(3, 3, width() - 7, height() - 7),
                            std::max(0.0, FRoundingX / 2.0 - 2),
                            std::max(0.0, FRoundingY / 2.0 - 2));
}

} // namespace skin
