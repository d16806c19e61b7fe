#include "skin/PngDecoder.h"

#include <zlib.h>

#include <array>
#include <cstring>

namespace skin {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;

enum ColorType : uint8_t { Grey = 0, Rgb = 2, Palette = 3, GreyAlpha = 4, Rgba = 6 };

uint32_t readBE32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

uint16_t readBE16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }

uint32_t chunkType(const char (&name)[5]) {
    return readBE32(reinterpret_cast<const uint8_t*>(name));
}

struct Header {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t depth = 0;
    uint8_t colorType = 0;
    bool interlaced = false;

    int channels() const {
        switch (colorType) {
        case Grey: return 1;
        case Rgb: return 3;
        case Palette: return 1;
        case GreyAlpha: return 2;
        default: return 4;
        }
    }
    uint32_t bitsPerPixel() const { return uint32_t(channels()) * depth; }
    // Bytes of one filtered row of `w` pixels, without the filter byte.
    uint64_t rowBytes(uint32_t w) const { return (uint64_t(w) * bitsPerPixel() + 7) / 8; }
    // Distance to the corresponding byte of the previous pixel, as the filters use it.
    uint32_t filterStride() const { return (bitsPerPixel() + 7) / 8; }
};

bool validDepth(uint8_t colorType, uint8_t depth) {
    switch (colorType) {
    case Grey: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case Palette: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case Rgb:
    case GreyAlpha:
    case Rgba: return depth == 8 || depth == 16;
    default: return false;
    }
}

struct Pass {
    uint32_t x0, y0, dx, dy;
};
constexpr std::array<Pass, 7> kAdam7 = {{{0, 0, 8, 8},
                                         {4, 0, 8, 8},
                                         {0, 4, 4, 8},
                                         {2, 0, 4, 4},
                                         {0, 2, 2, 4},
                                         {1, 0, 2, 2},
                                         {0, 1, 1, 2}}};
constexpr Pass kNoInterlace = {0, 0, 1, 1};

uint32_t passExtent(uint32_t full, uint32_t start, uint32_t step) {
    return full > start ? (full - start + step - 1) / step : 0;
}

uint8_t paeth(uint8_t a, uint8_t b, uint8_t c) {
    const int p = int(a) + int(b) - int(c);
    const int pa = p > a ? p - a : a - p;
    const int pb = p > b ? p - b : b - p;
    const int pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc)
        return a;
    return pb <= pc ? b : c;
}

// Undoes the filter of one row in place. `prev` is the previous unfiltered row of the same
// pass (all zero for the first row).
bool unfilterRow(uint8_t filter, uint8_t* row, const uint8_t* prev, size_t n, size_t bpp) {
    switch (filter) {
    case 0: return true;
    case 1:
        for (size_t i = bpp; i < n; ++i)
            row[i] = uint8_t(row[i] + row[i - bpp]);
        return true;
    case 2:
        for (size_t i = 0; i < n; ++i)
            row[i] = uint8_t(row[i] + prev[i]);
        return true;
    case 3:
        for (size_t i = 0; i < n; ++i) {
            const unsigned left = i >= bpp ? row[i - bpp] : 0;
            row[i] = uint8_t(row[i] + ((left + prev[i]) >> 1));
        }
        return true;
    case 4:
        for (size_t i = 0; i < n; ++i) {
            const uint8_t left = i >= bpp ? row[i - bpp] : 0;
            const uint8_t upLeft = i >= bpp ? prev[i - bpp] : 0;
            row[i] = uint8_t(row[i] + paeth(left, prev[i], upLeft));
        }
        return true;
    default: return false;
    }
}

uint8_t to8(uint16_t v16) { return uint8_t((uint32_t(v16) * 255 + 32767) / 65535); }

class Decoder {
public:
    Decoder(const PngLimits& limits) : limits_(limits) {}

    bool run(const uint8_t* data, size_t size, PngPixels& out) {
        if (!parseChunks(data, size))
            return false;
        if (!inflateAll())
            return false;
        out.width = hdr_.width;
        out.height = hdr_.height;
        out.rgba.assign(size_t(hdr_.width) * hdr_.height * 4, 0);
        return expand(out);
    }

    std::string error;

private:
    bool fail(const char* text) {
        error = text;
        return false;
    }

    bool parseChunks(const uint8_t* data, size_t size) {
        if (size < 8 || std::memcmp(data, kSignature, 8) != 0)
            return fail("not a PNG file (bad signature)");
        size_t pos = 8;
        bool haveHeader = false, havePalette = false, haveData = false, dataEnded = false;
        for (;;) {
            if (size - pos < 12)
                return fail("file is truncated");
            const uint32_t length = readBE32(data + pos);
            if (length > kMaxChunkLength)
                return fail("chunk length out of range");
            if (size - pos - 12 < length)
                return fail("file is truncated");
            const uint8_t* typeAndData = data + pos + 4;
            const uint32_t type = readBE32(typeAndData);
            const uint8_t* body = typeAndData + 4;
            const uint32_t storedCrc = readBE32(body + length);
            const uLong crc = crc32(crc32(0L, Z_NULL, 0), typeAndData, uInt(length + 4));
            if (crc != storedCrc)
                return fail("chunk CRC mismatch");
            for (int i = 0; i < 4; ++i) {
                const uint8_t c = typeAndData[i];
                if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
                    return fail("invalid chunk type");
            }
            pos += 12 + size_t(length);

            if (!haveHeader && type != chunkType("IHDR"))
                return fail("first chunk is not IHDR");
            if (type == chunkType("IHDR")) {
                if (haveHeader)
                    return fail("more than one IHDR chunk");
                if (!parseHeader(body, length))
                    return false;
                haveHeader = true;
            } else if (type == chunkType("PLTE")) {
                if (havePalette || haveData)
                    return fail("misplaced PLTE chunk");
                if (!parsePalette(body, length))
                    return false;
                havePalette = true;
            } else if (type == chunkType("tRNS")) {
                if (haveData)
                    return fail("misplaced tRNS chunk");
                if (!parseTransparency(body, length, havePalette))
                    return false;
            } else if (type == chunkType("IDAT")) {
                if (dataEnded)
                    return fail("IDAT chunks are not consecutive");
                if (hdr_.colorType == Palette && !havePalette)
                    return fail("palette image without PLTE chunk");
                compressed_.insert(compressed_.end(), body, body + length);
                haveData = true;
            } else if (type == chunkType("IEND")) {
                if (!haveData)
                    return fail("no image data");
                return true;
            } else if (!(typeAndData[0] & 0x20)) {
                return fail("unknown critical chunk");
            }
            if (haveData && type != chunkType("IDAT"))
                dataEnded = true;
        }
    }

    bool parseHeader(const uint8_t* p, uint32_t length) {
        if (length != 13)
            return fail("IHDR has the wrong length");
        hdr_.width = readBE32(p);
        hdr_.height = readBE32(p + 4);
        hdr_.depth = p[8];
        hdr_.colorType = p[9];
        if (hdr_.width == 0 || hdr_.height == 0 || hdr_.width > kMaxChunkLength ||
            hdr_.height > kMaxChunkLength)
            return fail("invalid image dimensions");
        if (hdr_.width > limits_.maxWidth || hdr_.height > limits_.maxHeight ||
            uint64_t(hdr_.width) * hdr_.height > limits_.maxPixels)
            return fail("image dimensions exceed the limit");
        if (!validDepth(hdr_.colorType, hdr_.depth))
            return fail("invalid colour type or bit depth");
        if (p[10] != 0 || p[11] != 0)
            return fail("unknown compression or filter method");
        if (p[12] > 1)
            return fail("unknown interlace method");
        hdr_.interlaced = p[12] == 1;
        return true;
    }

    bool parsePalette(const uint8_t* p, uint32_t length) {
        if (hdr_.colorType == Grey || hdr_.colorType == GreyAlpha)
            return fail("PLTE chunk in a grey image");
        if (length == 0 || length % 3 != 0 || length / 3 > 256)
            return fail("PLTE has an invalid length");
        paletteSize_ = length / 3;
        if (hdr_.colorType == Palette && paletteSize_ > (1u << hdr_.depth))
            return fail("PLTE has more entries than the bit depth allows");
        for (uint32_t i = 0; i < paletteSize_; ++i) {
            palette_[i][0] = p[3 * i];
            palette_[i][1] = p[3 * i + 1];
            palette_[i][2] = p[3 * i + 2];
            palette_[i][3] = 255;
        }
        return true;
    }

    bool parseTransparency(const uint8_t* p, uint32_t length, bool havePalette) {
        switch (hdr_.colorType) {
        case Palette:
            if (!havePalette)
                return fail("tRNS before PLTE");
            if (length > paletteSize_)
                return fail("tRNS has more entries than the palette");
            for (uint32_t i = 0; i < length; ++i)
                palette_[i][3] = p[i];
            return true;
        case Grey:
            if (length != 2)
                return fail("tRNS has the wrong length");
            transparentKey_ = {readBE16(p), 0, 0};
            hasKey_ = true;
            return true;
        case Rgb:
            if (length != 6)
                return fail("tRNS has the wrong length");
            transparentKey_ = {readBE16(p), readBE16(p + 2), readBE16(p + 4)};
            hasKey_ = true;
            return true;
        default: return fail("tRNS chunk in an image with an alpha channel");
        }
    }

    // Raw size of all passes including filter bytes; checked against 64-bit overflow by the
    // dimension limits (at most 2^31 x 2^31 pixels of 8 bytes).
    uint64_t passBytes(const Pass& pass) const {
        const uint32_t w = passExtent(hdr_.width, pass.x0, pass.dx);
        const uint32_t h = passExtent(hdr_.height, pass.y0, pass.dy);
        if (w == 0 || h == 0)
            return 0;
        return (hdr_.rowBytes(w) + 1) * h;
    }

    bool inflateAll() {
        uint64_t total = 0;
        if (hdr_.interlaced)
            for (const Pass& pass : kAdam7)
                total += passBytes(pass);
        else
            total = passBytes(kNoInterlace);
        if (total > SIZE_MAX / 2)
            return fail("image dimensions exceed the limit");
        raw_.resize(size_t(total));

        z_stream zs{};
        if (inflateInit(&zs) != Z_OK)
            return fail("cannot initialise the inflater");
        zs.next_in = compressed_.data();
        zs.avail_in = uInt(0);
        size_t inPos = 0, outPos = 0;
        int rc = Z_OK;
        bool outputFull = false; // the last call may hold output back for more room
        // Feed and drain in slices so that sizes beyond uInt never overflow.
        constexpr size_t kSlice = size_t(1) << 30;
        while (outPos < raw_.size()) {
            if (zs.avail_in == 0 && inPos < compressed_.size()) {
                const size_t n = std::min(kSlice, compressed_.size() - inPos);
                zs.next_in = compressed_.data() + inPos;
                zs.avail_in = uInt(n);
                inPos += n;
            } else if (zs.avail_in == 0 && !outputFull) {
                break; // all input used and nothing held back
            }
            const size_t n = std::min(kSlice, raw_.size() - outPos);
            zs.next_out = raw_.data() + outPos;
            zs.avail_out = uInt(n);
            rc = inflate(&zs, Z_NO_FLUSH);
            outPos += n - zs.avail_out;
            outputFull = zs.avail_out == 0;
            if (rc == Z_STREAM_END)
                break;
            if (rc != Z_OK && rc != Z_BUF_ERROR) {
                inflateEnd(&zs);
                return fail("corrupt compressed image data");
            }
            if (rc == Z_BUF_ERROR && zs.avail_in == 0 && inPos == compressed_.size() && !outputFull)
                break;
        }
        inflateEnd(&zs);
        compressed_.clear();
        compressed_.shrink_to_fit();
        if (outPos < raw_.size())
            return fail("compressed image data is truncated");
        return true;
    }

    // Sample of channel `c` of pixel `x` in an unfiltered row, at the file's bit depth.
    uint16_t sample(const uint8_t* row, uint32_t x, int c) const {
        const int channels = hdr_.channels();
        switch (hdr_.depth) {
        case 16: return readBE16(row + (size_t(x) * channels + c) * 2);
        case 8: return row[size_t(x) * channels + c];
        default: {
            const uint32_t bit = x * hdr_.depth; // sub-byte depths have one channel
            const uint8_t byte = row[bit / 8];
            const unsigned shift = 8 - hdr_.depth - bit % 8;
            return uint16_t((byte >> shift) & ((1u << hdr_.depth) - 1));
        }
        }
    }

    uint8_t scaled(uint16_t v) const {
        switch (hdr_.depth) {
        case 16: return to8(v);
        case 8: return uint8_t(v);
        default: return uint8_t(v * 255u / ((1u << hdr_.depth) - 1));
        }
    }

    bool storePixel(const uint8_t* row, uint32_t x, uint8_t* dst) {
        switch (hdr_.colorType) {
        case Grey: {
            const uint16_t v = sample(row, x, 0);
            dst[0] = dst[1] = dst[2] = scaled(v);
            dst[3] = hasKey_ && v == transparentKey_[0] ? 0 : 255;
            return true;
        }
        case Rgb: {
            const uint16_t r = sample(row, x, 0), g = sample(row, x, 1), b = sample(row, x, 2);
            dst[0] = scaled(r);
            dst[1] = scaled(g);
            dst[2] = scaled(b);
            dst[3] = hasKey_ && r == transparentKey_[0] && g == transparentKey_[1] &&
                             b == transparentKey_[2]
                         ? 0
                         : 255;
            return true;
        }
        case Palette: {
            const uint16_t i = sample(row, x, 0);
            if (i >= paletteSize_)
                return fail("palette index out of range");
            std::memcpy(dst, palette_[i].data(), 4);
            return true;
        }
        case GreyAlpha:
            dst[0] = dst[1] = dst[2] = scaled(sample(row, x, 0));
            dst[3] = scaled(sample(row, x, 1));
            return true;
        default:
            for (int c = 0; c < 4; ++c)
                dst[c] = scaled(sample(row, x, c));
            return true;
        }
    }

    bool expandPass(const Pass& pass, size_t& offset, PngPixels& out) {
        const uint32_t w = passExtent(hdr_.width, pass.x0, pass.dx);
        const uint32_t h = passExtent(hdr_.height, pass.y0, pass.dy);
        if (w == 0 || h == 0)
            return true;
        const size_t n = size_t(hdr_.rowBytes(w));
        const size_t bpp = hdr_.filterStride();
        std::vector<uint8_t> zero(n, 0);
        const uint8_t* prev = zero.data();
        for (uint32_t py = 0; py < h; ++py) {
            uint8_t* line = raw_.data() + offset;
            uint8_t* row = line + 1;
            if (!unfilterRow(line[0], row, prev, n, bpp))
                return fail("invalid row filter");
            const uint32_t y = pass.y0 + py * pass.dy;
            for (uint32_t px = 0; px < w; ++px) {
                const uint32_t x = pass.x0 + px * pass.dx;
                if (!storePixel(row, px, &out.rgba[(size_t(y) * hdr_.width + x) * 4]))
                    return false;
            }
            prev = row;
            offset += n + 1;
        }
        return true;
    }

    bool expand(PngPixels& out) {
        size_t offset = 0;
        if (hdr_.interlaced) {
            for (const Pass& pass : kAdam7)
                if (!expandPass(pass, offset, out))
                    return false;
            return true;
        }
        return expandPass(kNoInterlace, offset, out);
    }

    PngLimits limits_;
    Header hdr_;
    std::array<std::array<uint8_t, 4>, 256> palette_{};
    uint32_t paletteSize_ = 0;
    std::array<uint16_t, 3> transparentKey_{};
    bool hasKey_ = false;
    std::vector<uint8_t> compressed_;
    std::vector<uint8_t> raw_;
};

} // namespace

bool DecodePng(const uint8_t* data, size_t size, PngPixels& out, std::string& error,
               const PngLimits& limits) {
    out = PngPixels{};
    Decoder decoder(limits);
    if (data == nullptr || !decoder.run(data, size, out)) {
        error = data == nullptr ? "no data" : decoder.error;
        out = PngPixels{};
        return false;
    }
    error.clear();
    return true;
}

} // namespace skin
