#include "skin/Image.h"

#include <QPainter>

namespace skin {

TImage::TImage(QWidget* parent) : TPaintedControl(parent, TKind::Picture) {}

void TImage::SetPicture(const QImage& value) {
    FPicture = value;
    if (FAutoSize && !FPicture.isNull())
        resize(FPicture.size());
    update();
}

void TImage::SetStretch(bool value) {
    FStretch = value;
    update();
}

void TImage::SetAutoSize(bool value) {
    FAutoSize = value;
    if (FAutoSize && !FPicture.isNull())
        resize(FPicture.size());
}

void TImage::SetCenter(bool value) {
    FCenter = value;
    update();
}

void TImage::paintEvent(QPaintEvent*) {
    if (FPicture.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (FStretch) {
        painter.drawImage(rect(), FPicture);
    } else if (FCenter) {
        painter.drawImage((width() - FPicture.width()) / 2, (height() - FPicture.height()) / 2,
                          FPicture);
    } else {
        painter.drawImage(0, 0, FPicture);
    }
}

} // namespace skin
