#pragma once

// An image button that swaps between three pictures (normal, highlight, pressed) and can nudge
// itself one pixel right and down while pressed.

#include "skin/PaintedControl.h"

#include <QImage>

namespace skin {

class TTarviMouseImage3State : public TPaintedControl {
    Q_OBJECT
public:
    explicit TTarviMouseImage3State(QWidget* parent = nullptr);

    // The picture shown, as an image control shows it (stretched to the control when Stretch).
    const QImage& Picture() const { return FPicture; }
    void SetPicture(const QImage& value);
    bool Stretch() const { return FStretch; }
    void SetStretch(bool value);

    const QImage& Picture_Normal() const { return FPicture_Normal; }
    void SetPicture_Normal(const QImage& value); // also shows it at once
    const QImage& Picture_Highlight() const { return FPicture_Highlight; }
    void SetPicture_Highlight(const QImage& value) { FPicture_Highlight = value; }
    const QImage& Picture_Pressed() const { return FPicture_Pressed; }
    void SetPicture_Pressed(const QImage& value) { FPicture_Pressed = value; }
    bool Move_If_MousePressed() const { return FMove_If_MousePressed; }
    void SetMove_If_MousePressed(bool value) { FMove_If_MousePressed = value; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void MouseEntered() override;
    void MouseLeft() override;
    bool MousePressed() override;
    void MouseReleased() override;

private:
    QImage FPicture;
    bool FStretch = true;
    QImage FPicture_Normal;
    QImage FPicture_Highlight;
    QImage FPicture_Pressed;
    bool FMove_If_MousePressed = true;
    bool FMovedByPress = false;
};

} // namespace skin
