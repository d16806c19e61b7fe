#include "skin/PaintedControl.h"

#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace skin {

TPaintedControl::TPaintedControl(QWidget* parent, TKind kind) : QWidget(parent), FKind(kind) {}

void TPaintedControl::Click() {
    if (OnClick)
        OnClick(this);
}

void TPaintedControl::SetTakesFocus(bool value) {
    setFocusPolicy(value && FKind == TKind::Button ? Qt::StrongFocus : Qt::NoFocus);
}

void TPaintedControl::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool clicks = key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
    if (focusPolicy() == Qt::NoFocus || !clicks || event->modifiers() != Qt::NoModifier ||
        event->isAutoRepeat()) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (isEnabled())
        Click();
}

void TPaintedControl::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void TPaintedControl::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void TPaintedControl::enterEvent(QEnterEvent*) {
    FMouseIsInside = true;
    if (!reactsToHover())
        return;
    if (OnMouseEnter)
        OnMouseEnter(this);
    MouseEntered();
}

void TPaintedControl::leaveEvent(QEvent*) {
    FMouseIsInside = false;
    if (!reactsToHover())
        return;
    if (OnMouseLeave)
        OnMouseLeave(this);
    MouseLeft();
}

void TPaintedControl::mousePressEvent(QMouseEvent* event) {
    if (!isEnabled())
        return;
    FMouseIsPressed = true;
    const QPoint pos = event->position().toPoint();
    if (OnMouseDown)
        OnMouseDown(this, event->button(), event->modifiers(), pos.x(), pos.y());
    const bool shown = MousePressed();
    if (!OnMouseDown && !shown)
        event->ignore();
}

void TPaintedControl::mouseReleaseEvent(QMouseEvent* event) {
    FMouseIsPressed = false;
    if (!isEnabled())
        return;
    const QPoint pos = event->position().toPoint();
    MouseReleased();
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->modifiers(), pos.x(), pos.y());
    if (FKind == TKind::Picture) {
        if (!OnMouseUp)
            event->ignore();
        return;
    }
    if (event->button() == Qt::LeftButton && rect().contains(pos))
        Click();
}

} // namespace skin
