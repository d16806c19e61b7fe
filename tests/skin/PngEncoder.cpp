#include "PngEncoder.h"

#include <zlib.h>

#include <cstdlib>

namespace pngtest {
namespace {

void put32(QByteArray& out, uint32_t v) {
    out.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
}

uint8_t paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return uint8_t(a);
    return uint8_t(pb <= pc ? b : c);
}

// Packs one row of samples at the image's bit depth.
QByteArray packRow(const Image& img, const std::vector<uint32_t>& xs, uint32_t y) {
    const int ch = Channels(img.colorType);
    QByteArray row;
    uint32_t acc = 0;
    int bits = 0;
    for (uint32_t x : xs) {
        for (int c = 0; c < ch; ++c) {
            const uint16_t v = img.samples[(size_t(y) * img.width + x) * size_t(ch) + size_t(c)];
            if (img.depth == 16) {
                row.append(char(v >> 8)).append(char(v));
            } else if (img.depth == 8) {
                row.append(char(v));
            } else {
                acc = (acc << img.depth) | v;
                bits += img.depth;
                if (bits == 8) {
                    row.append(char(acc));
                    acc = 0;
                    bits = 0;
                }
            }
        }
    }
    if (bits > 0)
        row.append(char(acc << (8 - bits)));
    return row;
}

} // namespace

int Channels(uint8_t colorType) {
    switch (colorType) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
    }
}

QByteArray Chunk(const char* type, const QByteArray& body) {
    QByteArray out;
    put32(out, uint32_t(body.size()));
    QByteArray typed = QByteArray(type, 4) + body;
    out.append(typed);
    put32(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()),
                              uInt(typed.size()))));
    return out;
}

QByteArray Signature() { return QByteArray("\x89PNG\r\n\x1a\n", 8); }

QByteArray HeaderChunk(uint32_t w, uint32_t h, uint8_t depth, uint8_t colorType,
                       uint8_t interlace) {
    QByteArray body;
    put32(body, w);
    put32(body, h);
    body.append(char(depth)).append(char(colorType)).append('\0').append('\0').append(char(interlace));
    return Chunk("IHDR", body);
}

QByteArray RawScanlines(const Image& img) {
    struct Pass {
        uint32_t x0, y0, dx, dy;
    };
    static const Pass adam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                  {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    static const Pass whole[1] = {{0, 0, 1, 1}};
    const Pass* passes = img.interlaced ? adam7 : whole;
    const int count = img.interlaced ? 7 : 1;
    const int bpp = std::max(1, Channels(img.colorType) * img.depth / 8);
    QByteArray out;
    int rowNumber = 0;
    for (int p = 0; p < count; ++p) {
        std::vector<uint32_t> xs;
        for (uint32_t x = passes[p].x0; x < img.width; x += passes[p].dx)
            xs.push_back(x);
        if (xs.empty())
            continue;
        QByteArray prev;
        for (uint32_t y = passes[p].y0; y < img.height; y += passes[p].dy) {
            const QByteArray row = packRow(img, xs, y);
            if (prev.isEmpty())
                prev = QByteArray(row.size(), '\0');
            const int filter = rowNumber++ % 5;
            QByteArray f(row.size(), '\0');
            for (int i = 0; i < row.size(); ++i) {
                const int cur = uint8_t(row[i]);
                const int a = i >= bpp ? uint8_t(row[i - bpp]) : 0;
                const int b = uint8_t(prev[i]);
                const int c = i >= bpp ? uint8_t(prev[i - bpp]) : 0;
                int pred = 0;
                switch (filter) {
                case 1: pred = a; break;
                case 2: pred = b; break;
                case 3: pred = (a + b) / 2; break;
                case 4: pred = paeth(a, b, c); break;
                default: break;
                }
                f[i] = char(cur - pred);
            }
            out.append(char(filter)).append(f);
            prev = row;
        }
    }
    return out;
}

QByteArray Deflate(const QByteArray& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    QByteArray out(qsizetype(size), '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size,
              reinterpret_cast<const Bytef*>(raw.constData()), uLong(raw.size()), 9);
    out.resize(qsizetype(size));
    return out;
}

QByteArray Encode(const Image& img) {
    QByteArray out = Signature();
    out += HeaderChunk(img.width, img.height, img.depth, img.colorType, img.interlaced ? 1 : 0);
    if (!img.palette.empty()) {
        QByteArray pal;
        for (const auto& e : img.palette)
            pal.append(char(e[0])).append(char(e[1])).append(char(e[2]));
        out += Chunk("PLTE", pal);
    }
    if (!img.transparency.isEmpty())
        out += Chunk("tRNS", img.transparency);
    const QByteArray z = Deflate(RawScanlines(img));
    // Split the data over two IDAT chunks to exercise joining them.
    const qsizetype half = z.size() / 2;
    out += Chunk("IDAT", z.left(half));
    out += Chunk("IDAT", z.mid(half));
    out += Chunk("IEND", QByteArray());
    return out;
}

} // namespace pngtest
