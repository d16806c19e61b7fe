#pragma once

// A text link: the caption in one font normally and in a "hot" font under the mouse, an
// optional one-pixel shadow, an optional glyph left of the caption and a free-standing glyph.

#include "skin/ControlTypes.h"
#include "skin/PaintedControl.h"
#include "skin/PngImage.h"

#include <QImage>

namespace skin {

class TLumoUnicodeSTButton : public TPaintedControl {
    Q_OBJECT
    // The translation of a window writes captions through this property.
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
public:
    explicit TLumoUnicodeSTButton(QWidget* parent = nullptr);

    const QImage& GlyphRightSide() const { return FRightSideGlyph; }
    void SetGlyphRightSide(const QImage* value); // copies; nullptr only repaints
    int GlyphRightSide_OffsetX() const { return FGlyphRightSide_OffsetX; }
    void SetGlyphRightSide_OffsetX(int value) { FGlyphRightSide_OffsetX = value; }
    int GlyphRightSide_OffsetY() const { return FGlyphRightSide_OffsetY; }
    void SetGlyphRightSide_OffsetY(int value) { FGlyphRightSide_OffsetY = value; }
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& value) { FCaption = value; } // no repaint
    const QImage& Glyph() const { return FGlyph; }
    void SetGlyph(const QImage* value);
    const TFont& Font() const { return FFont; }
    void SetFont(const TFont* value);
    const TFont& FontHOT() const { return FFontHOT; }
    void SetFontHOT(const TFont* value);
    bool AutoWidth() const { return FAutoWidth; }
    void SetAutoWidth(bool value) { FAutoWidth = value; }
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);
    bool Shadow() const { return FShadow; }
    void SetShadow(bool value);
    TColor ShadowColor() const { return FShadowColor; }
    void SetShadowColor(TColor value);
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int value) { FImageIndex = value; }
    TPngImageList* ImageList() const { return FImageList; }
    void SetImageList(TPngImageList* value) { FImageList = value; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void MouseEntered() override { update(); }
    void MouseLeft() override { update(); }

private:
    QImage FRightSideGlyph;
    int FGlyphRightSide_OffsetX = 0;
    int FGlyphRightSide_OffsetY = 0;
    QString FCaption = QStringLiteral("xxxxxx");
    QImage FGlyph;
    TFont FFont;
    TFont FFontHOT;
    bool FAutoWidth = true;
    TAlignment FAlignment = TAlignment::taLeftJustify;
    bool FShadow = false;
    TColor FShadowColor = RGB(0, 0, 0);
    int FImageIndex = -1;
    TPngImageList* FImageList = nullptr;
};

} // namespace skin
