#include "FlagPainter.h"

#include <QPainter>

namespace flags {
namespace {

constexpr QRgb kTransparent = qRgb(255, 255, 255);
constexpr QRgb kOffWhite = qRgb(250, 250, 250);

// The flag occupies rows 2 to 13; rows 0, 1, 14 and 15 stay transparent.
constexpr int kTop = 2;
constexpr int kHeight = 12;

QImage blank() {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(kTransparent);
    return image;
}

QImage germany() {
    QImage image = blank();
    const QRgb bands[] = {qRgb(0, 0, 0), qRgb(221, 0, 0), qRgb(255, 206, 0)};
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < 16; ++x)
            image.setPixel(x, kTop + y, bands[y / 4]);
    return image;
}

QImage unitedStates() {
    QImage image = blank();
    const QRgb red = qRgb(178, 34, 52);
    const QRgb blue = qRgb(60, 59, 110);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < 16; ++x)
            image.setPixel(x, kTop + y, y % 2 == 0 ? red : kOffWhite);
    // The canton with a pattern of stars.
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x)
            image.setPixel(x, kTop + y, (x % 2 == 1 && y % 2 == 1) ? kOffWhite : blue);
    return image;
}

} // namespace

QStringList DrawnCodes() { return {QStringLiteral("de-de"), QStringLiteral("en-us")}; }

QImage DrawFlag(const QString& code) {
    if (code == u"de-de")
        return germany();
    if (code == u"en-us")
        return unitedStates();
    return {};
}

} // namespace flags
