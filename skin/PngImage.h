#pragma once

// The PNG image type of the skin layer: RGB with alpha, 8 bits per channel, straight colour.
// Images cut out of the stripe are of this type; they convert to Qt images for the widgets.
// TPngImageList is the image list of such images that windows hand to their controls.

#include "skin/PngDecoder.h"

#include <QImage>
#include <QString>

#include <vector>

class QPainter;

namespace skin {

class TPngImage {
public:
    TPngImage() = default;
    TPngImage(int width, int height); // all pixels 0 (transparent black)

    int Width() const { return int(pixels_.width); }
    int Height() const { return int(pixels_.height); }
    bool Empty() const { return pixels_.rgba.empty(); }

    // Red, green, blue, alpha of one pixel.
    const uint8_t* Pixel(int x, int y) const { return pixels_.pixel(uint32_t(x), uint32_t(y)); }
    void SetPixel(int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a);

    // Decodes a PNG file on a Windows path; on failure the image stays empty and `error` (when
    // given) says why.
    bool LoadFromFile(const QString& windowsPath, QString* error = nullptr);
    bool LoadFromBytes(const QByteArray& bytes, QString* error = nullptr);

    const PngPixels& Pixels() const { return pixels_; }
    QImage ToQImage() const; // Format_RGBA8888, a deep copy

    static constexpr qint64 kMaxFileBytes = qint64(256) << 20;

private:
    PngPixels pixels_;
};

class TPngImageList {
public:
    TPngImageList(int width = 16, int height = 16) : width_(width), height_(height) {}

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Count() const { return int(items_.size()); }
    const TPngImage& Image(int index) const { return items_[size_t(index)]; }

    // The update bracket of the item collection: views of the list repaint once at the end.
    void BeginUpdate() { ++updateDepth_; }
    void EndUpdate() {
        if (updateDepth_ > 0)
            --updateDepth_;
    }
    bool Updating() const { return updateDepth_ > 0; }

    // Appends an empty item and returns it for filling.
    TPngImage& AddItem();

    // Draws image `index` with its transparency at (x, y); a bad index draws nothing.
    void Draw(QPainter& painter, int x, int y, int index) const;

private:
    int width_;
    int height_;
    int updateDepth_ = 0;
    std::vector<TPngImage> items_;
};

// Loads a skin picture (PNG through our decoder, BMP and the rest through Qt). A missing or
// unreadable file writes "*** Skin picture not loaded: " + reason + " ; " + path to the debug
// channel and gives a null image, so a window shows its plain design instead of failing.
QImage LoadSkinPicture(const QString& windowsPath);

} // namespace skin
