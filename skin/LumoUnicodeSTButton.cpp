#include "skin/LumoUnicodeSTButton.h"

#include <QFontMetrics>
#include <QPainter>

namespace skin {

TLumoUnicodeSTButton::TLumoUnicodeSTButton(QWidget* parent) : TPaintedControl(parent) {
    // The toolkit's default font until a window sets its own.
    FFont.Font = QFont(QStringLiteral("Tahoma"));
    FFont.Font.setPointSize(8);
    FFontHOT = FFont;
    resize(88, 25);
    setCursor(Qt::PointingHandCursor);
}

void TLumoUnicodeSTButton::SetGlyphRightSide(const QImage* value) {
    if (value)
        FRightSideGlyph = *value;
    update();
}

void TLumoUnicodeSTButton::SetGlyph(const QImage* value) {
    if (value)
        FGlyph = *value;
    update();
}

void TLumoUnicodeSTButton::SetFont(const TFont* value) {
    if (value)
        FFont = *value;
    update();
}

void TLumoUnicodeSTButton::SetFontHOT(const TFont* value) {
    if (value)
        FFontHOT = *value;
    update();
}

void TLumoUnicodeSTButton::SetAlignment(TAlignment value) {
    FAlignment = value;
    update();
}

void TLumoUnicodeSTButton::SetShadow(bool value) {
    FShadow = value;
    update();
}

void TLumoUnicodeSTButton::SetShadowColor(TColor value) {
    FShadowColor = value;
    update();
}

void TLumoUnicodeSTButton::paintEvent(QPaintEvent*) {
    if (!isVisible())
        return;
    QPainter canvas(this);
    canvas.setBackgroundMode(Qt::TransparentMode);
    const int W = width();
    const int H = height();
    const int ty = (H - FontHeightPixels(FFont.Font, logicalDpiY())) / 2 - 2;

    const TFont& drawFont = MouseIsInside() ? FFontHOT : FFont;
    const QFontMetrics metrics(drawFont.Font, this);
    const int tw = metrics.horizontalAdvance(FCaption) + (FShadow ? 1 : 0);
    const int gw = FGlyph.isNull() ? 0 : FGlyph.width();
    const int gh = FGlyph.isNull() ? 0 : FGlyph.height();
    const bool hasImage = FImageList && FImageIndex != -1;
    const int iw = hasImage ? FImageList->Width() : 0;
    const int ih = hasImage ? FImageList->Height() : 0;

    if (FAutoWidth && width() != tw + gw + 4)
        resize(tw + gw + 4, height());

    int x = gw + 4 + (hasImage ? iw + 4 : 0);
    switch (FAlignment) {
    case TAlignment::taRightJustify: x = W - tw; break;
    case TAlignment::taCenter:
        x = (W - tw) / 2 + gw / 2 + (hasImage ? iw / 2 : 0);
        if (x < 0)
            x = 0;
        break;
    case TAlignment::taLeftJustify: break;
    }

    if (!FGlyph.isNull())
        canvas.drawImage(x - gw - 4, (H - gh) / 2, FGlyph);
    if (hasImage)
        FImageList->Draw(canvas, x - iw - 4, (H - ih) / 2, FImageIndex);
    if (!FRightSideGlyph.isNull())
        canvas.drawImage(FGlyphRightSide_OffsetX, FGlyphRightSide_OffsetY, FRightSideGlyph);

    if (FCaption.isEmpty())
        return;
    canvas.setFont(drawFont.Font);
    const int baseline = ty + metrics.ascent();
    if (FShadow) {
        canvas.setPen(ToQColor(FShadowColor));
        canvas.drawText(x + 1, baseline + 1, FCaption);
    }
    canvas.setPen(ToQColor(drawFont.Color));
    canvas.drawText(x, baseline, FCaption);
}

} // namespace skin
