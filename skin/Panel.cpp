#include "skin/Panel.h"

#include <QPainter>

namespace skin {

TPanel::TPanel(QWidget* parent) : QWidget(parent) {}

void TPanel::SetColor(TColor value) {
    FColor = value;
    update();
}

void TPanel::SetLineTopColor(TColor value) {
    FLineTop = value;
    update();
}

void TPanel::SetLineBottomColor(TColor value) {
    FLineBottom = value;
    update();
}

void TPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (FColor != clNone)
        painter.fillRect(rect(), ToQColor(FColor));
    if (FLineTop != clNone)
        painter.fillRect(0, 0, width(), 1, ToQColor(FLineTop));
    if (FLineBottom != clNone)
        painter.fillRect(0, height() - 1, width(), 1, ToQColor(FLineBottom));
}

} // namespace skin
