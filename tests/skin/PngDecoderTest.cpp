#include "PngEncoder.h"

#include "skin/PngDecoder.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

#include <random>

using skin::DecodePng;
using skin::PngPixels;

namespace {

bool decode(const QByteArray& bytes, PngPixels& out, std::string& error,
            const skin::PngLimits& limits = {}) {
    return DecodePng(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), out,
                     error, limits);
}

pngtest::Image randomImage(uint8_t colorType, uint8_t depth, bool interlaced, uint32_t w,
                           uint32_t h, unsigned seed) {
    pngtest::Image img;
    img.width = w;
    img.height = h;
    img.colorType = colorType;
    img.depth = depth;
    img.interlaced = interlaced;
    std::mt19937 rng(seed);
    const uint32_t maxSample = (1u << depth) - 1;
    uint32_t limit = maxSample;
    if (colorType == 3) {
        const uint32_t entries = std::min<uint32_t>(1u << depth, 200);
        for (uint32_t i = 0; i < entries; ++i)
            img.palette.push_back({uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
        limit = entries - 1;
    }
    const size_t n = size_t(w) * h * size_t(pngtest::Channels(colorType));
    for (size_t i = 0; i < n; ++i)
        img.samples.push_back(uint16_t(rng() % (limit + 1)));
    return img;
}

struct FormatCase {
    uint8_t colorType;
    uint8_t depth;
    bool interlaced;
    bool transparency;
};

class PngFormats : public ::testing::TestWithParam<FormatCase> {};

// Every colour type and depth, plain and interlaced, with and without tRNS, decodes to the same
// RGBA pixels as Qt's own reader.
TEST_P(PngFormats, MatchesReferenceDecoder) {
    const FormatCase fc = GetParam();
    for (const auto& [w, h] : {std::pair{13u, 11u}, std::pair{1u, 1u}, std::pair{3u, 9u}}) {
        pngtest::Image img = randomImage(fc.colorType, fc.depth, fc.interlaced, w, h, w * 31 + h);
        if (fc.transparency) {
            if (fc.colorType == 3) {
                for (size_t i = 0; i < std::min<size_t>(img.palette.size(), 5); ++i)
                    img.transparency.append(char(i * 50));
            } else {
                // Make the first pixel's value the transparent key, so at least one matches.
                const int ch = pngtest::Channels(fc.colorType);
                for (int c = 0; c < ch; ++c) {
                    const uint16_t v = img.samples[size_t(c)];
                    img.transparency.append(char(v >> 8)).append(char(v & 0xFF));
                }
            }
        }
        const QByteArray file = pngtest::Encode(img);
        PngPixels ours;
        std::string error;
        ASSERT_TRUE(decode(file, ours, error)) << error;
        const QImage ref = QImage::fromData(file, "PNG").convertToFormat(QImage::Format_RGBA8888);
        ASSERT_FALSE(ref.isNull());
        ASSERT_EQ(ours.width, uint32_t(ref.width()));
        ASSERT_EQ(ours.height, uint32_t(ref.height()));
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                for (int c = 0; c < 4; ++c) {
                    const uint8_t* theirs = ref.constScanLine(int(y)) + x * 4;
                    // The colour of an invisible pixel carries no meaning.
                    if (c < 3 && ours.pixel(x, y)[3] == 0 && theirs[3] == 0)
                        continue;
                    ASSERT_EQ(ours.pixel(x, y)[c], theirs[c])
                        << "pixel " << x << "," << y << " channel " << c << " size " << w << "x"
                        << h;
                }
    }
}

// The transparent key of grey and RGB images compares whole samples, also at 16 bits, where a
// reader that first reduces to 8 bits would hide neighbouring values as well.
TEST(PngDecoder, TransparentKeyAtFullDepth) {
    for (const uint8_t colorType : {uint8_t(0), uint8_t(2)}) {
        const int ch = pngtest::Channels(colorType);
        pngtest::Image img;
        img.width = 3;
        img.height = 1;
        img.colorType = colorType;
        img.depth = 16;
        for (const uint16_t v : {uint16_t(0x1234), uint16_t(0x1235), uint16_t(0x1234)})
            for (int c = 0; c < ch; ++c)
                img.samples.push_back(v);
        for (int c = 0; c < ch; ++c)
            img.transparency.append('\x12').append('\x34');
        PngPixels out;
        std::string error;
        ASSERT_TRUE(decode(pngtest::Encode(img), out, error)) << error;
        EXPECT_EQ(out.pixel(0, 0)[3], 0);
        EXPECT_EQ(out.pixel(1, 0)[3], 255);
        EXPECT_EQ(out.pixel(2, 0)[3], 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllTypes, PngFormats,
    ::testing::Values(FormatCase{0, 1, false, false}, FormatCase{0, 2, true, false},
                      FormatCase{0, 4, false, true}, FormatCase{0, 8, true, true},
                      FormatCase{0, 16, false, true}, FormatCase{0, 16, true, false},
                      FormatCase{2, 8, false, true}, FormatCase{2, 8, true, false},
                      FormatCase{2, 16, true, false}, FormatCase{3, 1, false, true},
                      FormatCase{3, 2, true, false}, FormatCase{3, 4, false, false},
                      FormatCase{3, 8, true, true}, FormatCase{4, 8, false, false},
                      FormatCase{4, 16, true, false}, FormatCase{6, 8, true, false},
                      FormatCase{6, 16, false, false}));

TEST(PngDecoder, SixteenBitAndLowDepthScaling) {
    pngtest::Image img;
    img.width = 4;
    img.height = 1;
    img.colorType = 0;
    img.depth = 16;
    img.samples = {0x0000, 0x8100, 0x8101, 0xFFFF};
    PngPixels out;
    std::string error;
    ASSERT_TRUE(decode(pngtest::Encode(img), out, error)) << error;
    EXPECT_EQ(out.pixel(0, 0)[0], 0);
    EXPECT_EQ(out.pixel(1, 0)[0], 128); // 33024 / 257 = 128.498
    EXPECT_EQ(out.pixel(2, 0)[0], 129); // 33025 / 257 = 128.502
    EXPECT_EQ(out.pixel(3, 0)[0], 255);

    img.depth = 2;
    img.samples = {0, 1, 2, 3};
    ASSERT_TRUE(decode(pngtest::Encode(img), out, error)) << error;
    EXPECT_EQ(out.pixel(1, 0)[0], 85);
    EXPECT_EQ(out.pixel(2, 0)[0], 170);
    EXPECT_EQ(out.pixel(3, 0)[3], 255);
}

// A small valid file to break in many ways.
QByteArray smallRgba() {
    return pngtest::Encode(pngtest::Image{
        4, 3, 6, 8, false, std::vector<uint16_t>(4 * 3 * 4, 200), {}, {}});
}

QByteArray withChunks(const QByteArray& header, const QByteArray& middle, const QByteArray& data) {
    return pngtest::Signature() + header + middle + pngtest::Chunk("IDAT", data) +
           pngtest::Chunk("IEND", {});
}

TEST(PngDecoder, RejectsCorruptFiles) {
    using namespace pngtest;
    const QByteArray good = smallRgba();
    const QByteArray rgbaHeader = HeaderChunk(4, 3, 8, 6, 0);
    const QByteArray goodData = Deflate(RawScanlines(Image{4, 3, 6, 8, false,
                                                           std::vector<uint16_t>(48, 1), {}, {}}));
    QByteArray badCrc = good;
    badCrc[40] = char(badCrc[40] ^ 0x01); // inside the IDAT body
    QByteArray badFilter = RawScanlines(Image{4, 3, 6, 8, false, std::vector<uint16_t>(48, 1), {}, {}});
    badFilter[0] = 5;
    Image pal{2, 1, 3, 8, false, {0, 3}, {{1, 2, 3}, {4, 5, 6}}, {}};

    const struct {
        const char* what;
        QByteArray file;
        const char* error;
    } cases[] = {
        {"empty", QByteArray(), "signature"},
        {"bad signature", "\x89PNX" + good.mid(4), "signature"},
        {"crc", badCrc, "CRC"},
        {"no IEND", good.left(good.size() - 12), "truncated"},
        {"IHDR length", Signature() + Chunk("IHDR", QByteArray(12, '\1')), "IHDR"},
        {"IHDR not first", Signature() + Chunk("tEXt", "a") + good.mid(8), "IHDR"},
        {"zero width", withChunks(HeaderChunk(0, 3, 8, 6, 0), {}, goodData), "dimensions"},
        {"huge", withChunks(HeaderChunk(100000, 100000, 8, 6, 0), {}, goodData), "limit"},
        {"rgb depth 4", withChunks(HeaderChunk(4, 3, 4, 2, 0), {}, goodData), "bit depth"},
        {"colour type 5", withChunks(HeaderChunk(4, 3, 8, 5, 0), {}, goodData), "colour type"},
        {"interlace 2", withChunks(HeaderChunk(4, 3, 8, 6, 2), {}, goodData), "interlace"},
        {"critical chunk", withChunks(rgbaHeader, Chunk("ABCD", "x"), goodData), "critical"},
        {"bad chunk name", withChunks(rgbaHeader, Chunk("ab1d", "x"), goodData), "chunk type"},
        {"no data", Signature() + rgbaHeader + Chunk("IEND", {}), "no image data"},
        {"short data", withChunks(rgbaHeader, {}, goodData.left(goodData.size() - 8)),
         "compressed"},
        {"not zlib", withChunks(rgbaHeader, {}, QByteArray(30, '\x55')), "corrupt"},
        {"bad filter", withChunks(rgbaHeader, {}, Deflate(badFilter)), "filter"},
        {"palette missing", withChunks(HeaderChunk(2, 1, 8, 3, 0), {}, Deflate(RawScanlines(pal))),
         "PLTE"},
        {"palette index", withChunks(HeaderChunk(2, 1, 8, 3, 0), Chunk("PLTE", "\1\2\3\4\5\6"),
                                     Deflate(RawScanlines(pal))),
         "palette index"},
        {"palette length", withChunks(HeaderChunk(2, 1, 8, 3, 0), Chunk("PLTE", "\1\2\3\4"),
                                      Deflate(RawScanlines(pal))),
         "PLTE"},
        {"tRNS too long", withChunks(HeaderChunk(2, 1, 8, 3, 0),
                                     Chunk("PLTE", "\1\2\3\4\5\6") + Chunk("tRNS", "\1\2\3"),
                                     Deflate(RawScanlines(pal))),
         "tRNS"},
        {"tRNS with alpha", withChunks(rgbaHeader, Chunk("tRNS", "\0\0"), goodData), "tRNS"},
    };
    for (const auto& c : cases) {
        PngPixels out;
        std::string error;
        EXPECT_FALSE(decode(c.file, out, error)) << c.what;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
        EXPECT_TRUE(out.rgba.empty()) << c.what;
    }

    // Every prefix of a valid file fails cleanly.
    for (qsizetype n = 0; n < good.size(); ++n) {
        PngPixels out;
        std::string error;
        EXPECT_FALSE(decode(good.left(n), out, error)) << n;
    }
    PngPixels out;
    std::string error;
    EXPECT_TRUE(decode(good, out, error)) << error;
}

// A tiny file that claims a huge picture is stopped by the limits before any large buffer is
// made, and the inflater never writes beyond what the image needs.
TEST(PngDecoder, DimensionLimitStopsDecompressionBombs) {
    using namespace pngtest;
    const QByteArray zeros = Deflate(QByteArray(1 << 20, '\0'));
    const QByteArray bomb = withChunks(HeaderChunk(30000, 30000, 8, 0, 0), {}, zeros);
    PngPixels out;
    std::string error;
    EXPECT_FALSE(decode(bomb, out, error));
    EXPECT_NE(error.find("limit"), std::string::npos) << error;

    skin::PngLimits tight;
    tight.maxWidth = 64;
    EXPECT_FALSE(decode(withChunks(HeaderChunk(65, 1, 8, 0, 0), {}, zeros), out, error, tight));
    // More data than the image needs is ignored, not written anywhere.
    EXPECT_TRUE(decode(withChunks(HeaderChunk(64, 4, 8, 0, 0), {}, zeros), out, error, tight))
        << error;
    EXPECT_EQ(out.rgba.size(), size_t(64 * 4 * 4));
}

} // namespace

namespace {

// Every input of the fuzz corpus decodes or fails cleanly (under the sanitizer build this
// replays the corpus); the hand-made seeds, named *.png, all decode.
TEST(PngDecoder, FuzzCorpusReplays) {
    const QDir dir(QStringLiteral(ORBISCA_FUZZ_CORPUS "/png"));
    const QFileInfoList files = dir.entryInfoList(QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    int seeds = 0;
    for (const QFileInfo& info : files) {
        QFile f(info.filePath());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        PngPixels out;
        std::string error;
        const bool ok = decode(bytes, out, error);
        if (info.suffix() == u"png") {
            ++seeds;
            EXPECT_TRUE(ok) << info.fileName().toStdString() << ": " << error;
        }
        EXPECT_EQ(ok, error.empty());
        EXPECT_EQ(out.rgba.size(), size_t(out.width) * out.height * 4);
    }
    EXPECT_GE(seeds, 15);
}

} // namespace
