#include "skin/ArgbBitmap.h"

#include "skin/PngDecoder.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace skin {

void TArgbBitmap::SetSize(int width, int height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    if (width_ == 0 || height_ == 0)
        width_ = height_ = 0;
    pixels_.assign(size_t(width_) * size_t(height_), 0);
}

void TArgbBitmap::DrawOver(const PngPixels& src, int rows) {
    const int w = std::min<int64_t>(width_, src.width);
    const int h = std::min<int64_t>({int64_t(height_), int64_t(src.height), int64_t(rows)});
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t* s = src.pixel(uint32_t(x), uint32_t(y));
            const uint32_t a = s[3];
            const uint32_t old = Pixel(x, y);
            const uint32_t oldA = old >> 24;
            const auto blend = [&](uint32_t oldC, uint32_t srcC) {
                return (oldC * (255 - a) + srcC * a + 127) / 255;
            };
            const uint32_t r = blend((old >> 16) & 0xFF, s[0]);
            const uint32_t g = blend((old >> 8) & 0xFF, s[1]);
            const uint32_t b = blend(old & 0xFF, s[2]);
            const uint32_t na = 255 - ((255 - a) * (255 - oldA) + 127) / 255;
            SetPixel(x, y, (na << 24) | (r << 16) | (g << 8) | b);
        }
    }
}

double TLanczosResampler::Kernel(double x) {
    x = std::fabs(x);
    if (x < 1e-12)
        return 1.0;
    if (x >= kWidth)
        return 0.0;
    const double px = std::numbers::pi * x;
    return kWidth * std::sin(px) * std::sin(px / kWidth) / (px * px);
}

namespace {

struct Tap {
    int index; // absolute source coordinate
    double weight;
};

// Filter taps of every destination position for one axis.
std::vector<std::vector<Tap>> axisTaps(int srcStart, int srcLen, int dstLen) {
    std::vector<std::vector<Tap>> taps{size_t(dstLen)};
    const double scale = double(srcLen) / double(dstLen);
    const double stretch = std::max(scale, 1.0);
    const double radius = TLanczosResampler::kWidth * stretch;
    for (int i = 0; i < dstLen; ++i) {
        const double centre = (i + 0.5) * scale - 0.5;
        const int first = int(std::ceil(centre - radius));
        const int last = int(std::floor(centre + radius));
        double sum = 0;
        std::vector<Tap>& list = taps[size_t(i)];
        for (int j = first; j <= last; ++j) {
            const double w = TLanczosResampler::Kernel((j - centre) / stretch);
            // Weights of a few 1e-16 at whole-pixel offsets are noise; dropping them keeps a
            // 1:1 copy exact.
            if (std::fabs(w) < 1e-9)
                continue;
            list.push_back({srcStart + std::clamp(j, 0, srcLen - 1), w});
            sum += w;
        }
        if (sum != 0)
            for (Tap& t : list)
                t.weight /= sum;
    }
    return taps;
}

uint32_t channelByte(double v) {
    const double r = std::floor(v + 0.5);
    return uint32_t(std::clamp(r, 0.0, 255.0));
}

} // namespace

void TLanczosResampler::Resample(const TArgbBitmap& src, const PixelRect& srcRect,
                                 TArgbBitmap& dst, const PixelRect& dstRect) {
    const int sw = srcRect.width(), sh = srcRect.height();
    const int dw = dstRect.width(), dh = dstRect.height();
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
        return;
    const auto xTaps = axisTaps(srcRect.left, sw, dw);
    const auto yTaps = axisTaps(srcRect.top, sh, dh);

    // Horizontal pass over every source row of the rectangle, kept in floating point.
    std::vector<double> rows(size_t(sh) * size_t(dw) * 4, 0.0);
    for (int y = 0; y < sh; ++y) {
        for (int i = 0; i < dw; ++i) {
            double acc[4] = {0, 0, 0, 0};
            for (const Tap& t : xTaps[size_t(i)]) {
                const uint32_t p = src.PixelOrZero(t.index, srcRect.top + y);
                for (int c = 0; c < 4; ++c)
                    acc[c] += t.weight * double((p >> (24 - 8 * c)) & 0xFF);
            }
            double* out = &rows[(size_t(y) * size_t(dw) + size_t(i)) * 4];
            std::copy(acc, acc + 4, out);
        }
    }

    // Vertical pass into the destination.
    for (int k = 0; k < dh; ++k) {
        const int dy = dstRect.top + k;
        if (dy < 0 || dy >= dst.Height())
            continue;
        for (int i = 0; i < dw; ++i) {
            const int dx = dstRect.left + i;
            if (dx < 0 || dx >= dst.Width())
                continue;
            double acc[4] = {0, 0, 0, 0};
            for (const Tap& t : yTaps[size_t(k)]) {
                const double* in = &rows[(size_t(t.index - srcRect.top) * size_t(dw) + size_t(i)) * 4];
                for (int c = 0; c < 4; ++c)
                    acc[c] += t.weight * in[c];
            }
            uint32_t argb = 0;
            for (int c = 0; c < 4; ++c)
                argb |= channelByte(acc[c]) << (24 - 8 * c);
            dst.SetPixel(dx, dy, argb);
        }
    }
}

} // namespace skin
