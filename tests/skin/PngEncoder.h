#pragma once

// A small PNG writer for the tests: any colour type and bit depth, all five row filters in turn,
// optional Adam7 interlacing and free chunk sequences, so that the decoder meets every form of
// file without a pile of fixture files.

#include <QByteArray>

#include <array>
#include <cstdint>
#include <vector>

namespace pngtest {

struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t colorType = 6;
    uint8_t depth = 8;
    bool interlaced = false;
    std::vector<uint16_t> samples; // channels per pixel, at the file's bit depth
    std::vector<std::array<uint8_t, 3>> palette;
    QByteArray transparency; // body of a tRNS chunk, empty for none
};

int Channels(uint8_t colorType);

QByteArray Chunk(const char* type, const QByteArray& body);
QByteArray Signature();
QByteArray HeaderChunk(uint32_t w, uint32_t h, uint8_t depth, uint8_t colorType, uint8_t interlace);
// The raw scanlines (filter byte + filtered row, per pass) for an image.
QByteArray RawScanlines(const Image& image);
QByteArray Deflate(const QByteArray& raw);
QByteArray Encode(const Image& image);

} // namespace pngtest
