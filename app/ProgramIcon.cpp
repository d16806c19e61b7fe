#include "app/ProgramIcon.h"

#include <QPainter>
#include <QPixmap>

#include <cmath>
#include <numbers>

namespace app {
namespace {

// Draws one slice from startDegrees (counter-clockwise from three o'clock) over spanDegrees,
// pulled out from the centre by `pull` pixels along its middle.
void slice(QPainter& p, const QRectF& disk, double startDegrees, double spanDegrees, double pull,
           const QColor& colour) {
    const double middle = (startDegrees + spanDegrees / 2) * std::numbers::pi / 180.0;
    const QRectF moved = disk.translated(pull * std::cos(middle), -pull * std::sin(middle));
    p.setBrush(colour);
    p.drawPie(moved, int(startDegrees * 16), int(spanDegrees * 16));
}

} // namespace

QImage DrawProgramIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const double s = size;
    const double margin = s * 0.08;
    const QRectF disk(margin, margin, s - 2 * margin, s - 2 * margin);
    p.setPen(QPen(Qt::white, std::max(1.0, s / 48.0)));
    const QColor blue(0x3A, 0x7B, 0xD5), orange(0xF0, 0x8A, 0x24), green(0x2E, 0xAD, 0x5B);
    slice(p, disk, 90, 90, 0, blue);
    slice(p, disk, 250, 110, 0, blue);
    slice(p, disk, 180, 70, s * 0.035, green);
    slice(p, disk, 0, 90, s * 0.06, orange);
    return image;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(DrawProgramIcon(size)));
    return icon;
}

} // namespace app
