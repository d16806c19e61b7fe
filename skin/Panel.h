#pragma once

// A plain panel of the windows: a filled background in a Windows colour and an optional
// one-pixel line along its top or bottom edge, as the bars of the analyser window have.

#include "skin/SkinColors.h"

#include <QWidget>

namespace skin {

class TPanel : public QWidget {
    Q_OBJECT
public:
    explicit TPanel(QWidget* parent = nullptr);

    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    // clNone: no line.
    TColor LineTopColor() const { return FLineTop; }
    void SetLineTopColor(TColor value);
    TColor LineBottomColor() const { return FLineBottom; }
    void SetLineBottomColor(TColor value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TColor FColor = RGB(240, 240, 240);
    TColor FLineTop = clNone;
    TColor FLineBottom = clNone;
};

} // namespace skin
