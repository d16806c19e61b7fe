#include "skin/TarviMouseImage3State.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

namespace skin {

TTarviMouseImage3State::TTarviMouseImage3State(QWidget* parent) : QWidget(parent) {}

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

void TTarviMouseImage3State::enterEvent(QEnterEvent*) {
    FMouseIsInside = true;
    if (!isEnabled())
        return;
    if (OnMouseEnter)
        OnMouseEnter(this);
    SetPicture(FPicture_Highlight);
    repaint();
}

void TTarviMouseImage3State::leaveEvent(QEvent*) {
    FMouseIsInside = false;
    if (!isEnabled())
        return;
    if (OnMouseLeave)
        OnMouseLeave(this);
    SetPicture(FPicture_Normal);
    repaint();
}

void TTarviMouseImage3State::mousePressEvent(QMouseEvent*) {
    if (!isEnabled())
        return;
    if (FMove_If_MousePressed) {
        move(x() + 1, y() + 1);
        FMovedByPress = true;
    }
    SetPicture(FPicture_Pressed);
}

void TTarviMouseImage3State::mouseReleaseEvent(QMouseEvent* event) {
    if (!isEnabled())
        return;
    const bool clicked =
        event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    // Move back only what the press moved, so a switch of Move_If_MousePressed while the button
    // is held cannot walk the control away.
    if (FMovedByPress) {
        move(x() - 1, y() - 1);
        FMovedByPress = false;
    }
    if (FMouseIsInside)
        SetPicture(FPicture_Highlight);
    if (clicked && OnClick)
        OnClick(this);
}

} // namespace skin
