#include "skin/TarviMouseImage3State.h"

#include <QPainter>

namespace skin {

TTarviMouseImage3State::TTarviMouseImage3State(QWidget* parent) : TPaintedControl(parent) {}

void TTarviMouseImage3State::SetPicture(const QImage& value) {
    FPicture = value;
    update();
}

void TTarviMouseImage3State::SetStretch(bool value) {
    FStretch = value;
    update();
}

void TTarviMouseImage3State::SetPicture_Normal(const QImage& value) {
    FPicture_Normal = value;
    SetPicture(FPicture_Normal);
}

void TTarviMouseImage3State::paintEvent(QPaintEvent*) {
    if (FPicture.isNull())
        return;
    QPainter painter(this);
    if (FStretch)
        painter.drawImage(rect(), FPicture);
    else
        painter.drawImage(0, 0, FPicture);
}

void TTarviMouseImage3State::MouseEntered() {
    SetPicture(FPicture_Highlight);
    repaint();
}

void TTarviMouseImage3State::MouseLeft() {
    SetPicture(FPicture_Normal);
    repaint();
}

bool TTarviMouseImage3State::MousePressed() {
    if (FMove_If_MousePressed) {
        move(x() + 1, y() + 1);
        FMovedByPress = true;
    }
    SetPicture(FPicture_Pressed);
    return true;
}

void TTarviMouseImage3State::MouseReleased() {
    // Move back only what the press moved, so a switch of Move_If_MousePressed while the button
    // is held cannot walk the control away.
    if (FMovedByPress) {
        move(x() - 1, y() - 1);
        FMovedByPress = false;
    }
    if (MouseIsInside())
        SetPicture(FPicture_Highlight);
}

} // namespace skin
