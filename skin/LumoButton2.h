#pragma once

// The push button of every window: a rounded rectangle with a centred caption, an optional glyph
// or image-list image, an optional drop-down arrow, a hover colour, an "action" look for the
// default button of a dialog, and an automatic width. It paints on its parent's surface and has
// no look of its own for the pressed state.

#include "skin/ControlTypes.h"
#include "skin/PaintedControl.h"
#include "skin/PngImage.h"

#include <QImage>
#include <QMargins>

namespace skin {

class TLumoButton2 : public TPaintedControl {
    Q_OBJECT
    // The translation of a window writes captions through this property.
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
public:
    explicit TLumoButton2(QWidget* parent = nullptr);

    // Paints the whole button onto any painter with its top-left corner at (DrawLeft, DrawTop).
    void PaintTo(QPainter& DrawCanvas, int DrawLeft, int DrawTop);

    QString Caption() const { return FCaption; }
    void SetCaption(const QString& value);
    const QImage& Glyph() const { return FGlyph; }
    void SetGlyph(const QImage* value); // copies; nullptr only repaints
    const TFont& Font() const { return FFont; }
    void SetFont(const TFont* value); // copies; nullptr only repaints
    bool AutoWidth() const { return FAutoWidth; }
    void SetAutoWidth(bool value) { FAutoWidth = value; }
    int AutoWidthMin() const { return FAutoWidthMin; }
    void SetAutoWidthMin(int value) { FAutoWidthMin = value; }
    bool DropDownArrow() const { return FDropDownArrow; }
    void SetDropDownArrow(bool value);
    bool DropDownArrowUp() const { return FDropDownArrowUp; }
    void SetDropDownArrowUp(bool value);
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int value) { FImageIndex = value; }
    TPngImageList* ImageList() const { return FImageList; }
    void SetImageList(TPngImageList* value) { FImageList = value; }

    TColor BorderColor() const { return FBorderColor; }
    void SetBorderColor(TColor value) { FBorderColor = value; }
    TColor BorderColorDisabled() const { return FBorderColorDisabled; }
    void SetBorderColorDisabled(TColor value) { FBorderColorDisabled = value; }
    TColor BorderColor_Hover() const { return FBorderColor_Hover; }
    void SetBorderColor_Hover(TColor value) { FBorderColor_Hover = value; }
    bool ActionButton() const { return FActionButton; }
    void SetActionButton(bool value);
    TColor FontColor_ActionButtonEnabled() const { return FFontColor_ActionButtonEnabled; }
    void SetFontColor_ActionButtonEnabled(TColor value);
    TColor FontColor_NormalEnabled() const { return FFontColor_NormalEnabled; }
    void SetFontColor_NormalEnabled(TColor value);
    TColor FontColor_NormalDisabled() const { return FFontColor_NormalDisabled; }
    void SetFontColor_NormalDisabled(TColor value);
    TColor FaceColor_Normal() const { return FFaceColor_Normal; }
    void SetFaceColor_Normal(TColor value);
    TColor FaceColor_Normal_Hover() const { return FFaceColor_Normal_Hover; }
    void SetFaceColor_Normal_Hover(TColor value) { FFaceColor_Normal_Hover = value; }
    TColor FaceColor_Disabled() const { return FFaceColor_Disabled; }
    void SetFaceColor_Disabled(TColor value);
    TColor FaceColor_ActionButton() const { return FFaceColor_ActionButton; }
    void SetFaceColor_ActionButton(TColor value);
    TColor FaceColor_ActionButton_Hover() const { return FFaceColor_ActionButton_Hover; }
    void SetFaceColor_ActionButton_Hover(TColor value) { FFaceColor_ActionButton_Hover = value; }
    int RoundingX() const { return FRoundingX; }
    void SetRoundingX(int value);
    int RoundingY() const { return FRoundingY; }
    void SetRoundingY(int value);

    bool AlignWithMargins() const { return true; }
    QMargins Margins() const { return QMargins(4, 12, 4, 12); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void MouseEntered() override { update(); }
    void MouseLeft() override { update(); }

private:
    template <typename T> void setAndRepaint(T& field, const T& value) {
        field = value;
        update();
    }

    QString FCaption;
    QImage FGlyph;
    TFont FFont;
    bool FAutoWidth = true;
    int FAutoWidthMin = 80;
    bool FDropDownArrow = false;
    bool FDropDownArrowUp = false;
    int FImageIndex = -1;
    TPngImageList* FImageList = nullptr;
    TColor FBorderColor = RGB(204, 204, 204);
    TColor FBorderColorDisabled = RGB(204, 204, 204);
    TColor FBorderColor_Hover = RGB(204, 204, 204);
    bool FActionButton = false;
    TColor FFontColor_ActionButtonEnabled = RGB(255, 255, 255);
    TColor FFontColor_NormalEnabled = RGB(0, 0, 0);
    TColor FFontColor_NormalDisabled = RGB(192, 192, 192);
    TColor FFaceColor_Normal = RGB(255, 255, 255);
    TColor FFaceColor_Normal_Hover = RGB(232, 232, 232);
    TColor FFaceColor_Disabled = RGB(247, 247, 247);
    TColor FFaceColor_ActionButton = RGB(0, 103, 192);
    TColor FFaceColor_ActionButton_Hover = RGB(30, 91, 160);
    int FRoundingX = 10;
    int FRoundingY = 10;
};

} // namespace skin
