#include "skin/PngImage.h"

#include "platform/Debug.h"
#include "skin/SkinFiles.h"

#include <QPainter>

#include <cstring>

namespace skin {

TPngImage::TPngImage(int width, int height) {
    if (width <= 0 || height <= 0)
        return;
    pixels_.width = uint32_t(width);
    pixels_.height = uint32_t(height);
    pixels_.rgba.assign(size_t(width) * size_t(height) * 4, 0);
}

void TPngImage::SetPixel(int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    uint8_t* p = &pixels_.rgba[(size_t(y) * pixels_.width + size_t(x)) * 4];
    p[0] = r;
    p[1] = g;
    p[2] = b;
    p[3] = a;
}

bool TPngImage::LoadFromBytes(const QByteArray& bytes, QString* error) {
    std::string why;
    if (!DecodePng(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()),
                   pixels_, why)) {
        if (error)
            *error = QString::fromStdString(why);
        return false;
    }
    return true;
}

bool TPngImage::LoadFromFile(const QString& windowsPath, QString* error) {
    QByteArray bytes;
    if (!ReadFileBytes(windowsPath, bytes, kMaxFileBytes)) {
        pixels_ = PngPixels{};
        if (error)
            *error = FileExists(windowsPath) ? QStringLiteral("file cannot be read")
                                             : QStringLiteral("file not found");
        return false;
    }
    return LoadFromBytes(bytes, error);
}

QImage TPngImage::ToQImage() const {
    if (Empty())
        return {};
    QImage image(Width(), Height(), QImage::Format_RGBA8888);
    const size_t rowBytes = size_t(Width()) * 4;
    for (int y = 0; y < Height(); ++y)
        std::memcpy(image.scanLine(y), Pixel(0, y), rowBytes);
    return image;
}

TPngImage& TPngImageList::AddItem() {
    items_.emplace_back();
    return items_.back();
}

void TPngImageList::Draw(QPainter& painter, int x, int y, int index) const {
    if (index < 0 || index >= Count())
        return;
    painter.drawImage(x, y, items_[size_t(index)].ToQImage());
}

QImage LoadSkinPicture(const QString& windowsPath) {
    QString why;
    QImage image;
    QByteArray bytes;
    if (!ReadFileBytes(windowsPath, bytes, TPngImage::kMaxFileBytes)) {
        why = FileExists(windowsPath) ? QStringLiteral("file cannot be read")
                                      : QStringLiteral("file not found");
    } else if (bytes.startsWith("\x89PNG")) {
        TPngImage png;
        if (png.LoadFromBytes(bytes, &why))
            image = png.ToQImage();
    } else if (!image.loadFromData(bytes)) {
        why = QStringLiteral("unknown or corrupt picture format");
    }
    if (image.isNull())
        platform::OutputDebugStringW(QStringLiteral("*** Skin picture not loaded: ") + why +
                                     QStringLiteral(" ; ") + windowsPath);
    return image;
}

} // namespace skin
