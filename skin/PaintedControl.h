#pragma once

// The base of the painted controls (rounded buttons, text links, picture buttons, pictures). It
// follows the mouse over the control, keeps whether a button is held on it, and turns a left
// release inside the control into a click; the controls only paint and change their look in
// the hooks.
//
// A button reacts only while enabled, but keeps following the mouse while disabled, so that it
// shows the hover look at once when enabled again under the mouse. A picture (not clickable)
// reports the mouse entering and leaving even while disabled (tooltips hook those), and passes
// presses and releases it has no handler for on to its parent, as a plain widget does.

#include "skin/ControlTypes.h"

#include <QWidget>

class QKeyEvent;
class QMouseEvent;

namespace skin {

class TPaintedControl : public QWidget {
    Q_OBJECT
public:
    enum class TKind { Button, Picture };

    explicit TPaintedControl(QWidget* parent, TKind kind = TKind::Button);

    // Runs OnClick as a click would.
    void Click();

    // A button that takes the keyboard focus (Tab reaches it, Space and Enter click it) shows
    // the focus in its look; off by default, when only the mouse reaches it.
    void SetTakesFocus(bool value);

    bool MouseIsInside() const { return FMouseIsInside; }
    bool MouseIsPressed() const { return FMouseIsPressed; }

    TNotifyEvent OnClick;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;

protected:
    // The look of the states; called after the matching handler above.
    virtual void MouseEntered() {}
    virtual void MouseLeft() {}
    // True when the control takes the press for a look of its own.
    virtual bool MousePressed() { return false; }
    // Before OnMouseUp and the click.
    virtual void MouseReleased() {}

    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool reactsToHover() const { return isEnabled() || FKind == TKind::Picture; }

    TKind FKind;
    bool FMouseIsInside = false;
    bool FMouseIsPressed = false;
};

} // namespace skin
