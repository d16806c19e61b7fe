#pragma once

// A 32-bit ARGB bitmap with straight 8-bit channels (0xAARRGGBB per pixel), the "over"
// compositing rule and a Lanczos-3 kernel resampler. The stripe of icons lives in one of these.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace skin {

struct PngPixels;

// A rectangle with exclusive right and bottom edges.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

class TArgbBitmap {
public:
    TArgbBitmap() = default;

    // Resizes and clears every pixel to 0 (transparent black).
    void SetSize(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }

    uint32_t Pixel(int x, int y) const { return pixels_[size_t(y) * size_t(width_) + size_t(x)]; }
    void SetPixel(int x, int y, uint32_t argb) {
        pixels_[size_t(y) * size_t(width_) + size_t(x)] = argb;
    }
    // Out-of-range coordinates read as transparent black.
    uint32_t PixelOrZero(int x, int y) const {
        return x < 0 || y < 0 || x >= width_ || y >= height_ ? 0 : Pixel(x, y);
    }

    // Composites the top `rows` rows of a straight RGBA image over this bitmap at (0, 0) with
    // the "over" rule (rows and columns beyond either image are ignored):
    //   channel: new = (old * (255 - a) + src * a + 127) / 255
    //   alpha:   new = 255 - ((255 - a) * (255 - oldAlpha) + 127) / 255
    void DrawOver(const PngPixels& src, int rows);

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint32_t> pixels_;
};

// Separable resampler with a Lanczos kernel of width 3. The kernel widens by the scale factor
// when shrinking, so downscaled icons do not alias. Samples beyond the source rectangle repeat its
// edge (neighbouring icons of a stripe never bleed into each other); parts of the rectangle that
// lie outside the source bitmap read as transparent black.
class TLanczosResampler {
public:
    static constexpr double kWidth = 3.0;

    // Copies (no blending) the source rectangle scaled to the destination rectangle; each
    // channel is filtered on its own and rounded to 8 bits. Destination pixels outside the
    // rectangle, or outside `dst`, are left as they are.
    static void Resample(const TArgbBitmap& src, const PixelRect& srcRect, TArgbBitmap& dst,
                         const PixelRect& dstRect);

    static double Kernel(double x);
};

} // namespace skin
