#pragma once

// A picture control: shows one picture, stretched over the control or at its natural size, and
// reports mouse presses and the mouse entering and leaving (the tooltips hook those).

#include "skin/PaintedControl.h"

#include <QImage>

namespace skin {

class TImage : public TPaintedControl {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

    const QImage& Picture() const { return FPicture; }
    // A null picture shows nothing. With AutoSize the control takes the picture's size.
    void SetPicture(const QImage& value);
    bool Stretch() const { return FStretch; }
    void SetStretch(bool value);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);
    bool Center() const { return FCenter; }
    void SetCenter(bool value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage FPicture;
    bool FStretch = false;
    bool FAutoSize = false;
    bool FCenter = false;
};

} // namespace skin
