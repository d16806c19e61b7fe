#pragma once

// Our PNG reader. It knows every standard colour type and bit depth, palettes with
// transparency, 16-bit channels and Adam7 interlacing, and checks every chunk's length and CRC.
// zlib does the inflating and nothing else. The result is always straight (not premultiplied)
// 8-bit RGBA; 16-bit channels are rounded to 8 bits.
//
// The reader trusts nothing in the file: a corrupt, truncated or oversized image gives an error
// text and leaves the output empty. The dimension limits keep a small file from asking for an
// enormous buffer; the inflater never writes more than the image needs.
//
// Deliberately free of Qt so that it can be fuzzed on its own.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace skin {

struct PngLimits {
    uint32_t maxWidth = 65536;
    uint32_t maxHeight = 65536;
    uint64_t maxPixels = uint64_t(64) << 20; // 256 MiB of RGBA
};

struct PngPixels {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgba; // width * height * 4 bytes, rows top to bottom

    const uint8_t* pixel(uint32_t x, uint32_t y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

// Decodes a whole PNG file held in memory. On failure returns false, sets `error` to a short
// English description and clears `out`.
bool DecodePng(const uint8_t* data, size_t size, PngPixels& out, std::string& error,
               const PngLimits& limits = {});

} // namespace skin
