// libFuzzer target: the PNG decoder on arbitrary bytes. Built by tools/fuzz.sh.
#include "skin/PngDecoder.h"

#include <zlib.h>

#include <cstdlib>
#include <vector>

namespace {

void decodeAndCheck(const uint8_t* data, size_t size) {
    skin::PngLimits limits;
    limits.maxPixels = 1 << 22; // keep single inputs fast; the limit logic is the same
    skin::PngPixels out;
    std::string error;
    const bool ok = skin::DecodePng(data, size, out, error, limits);
    if (ok) {
        if (out.rgba.size() != size_t(out.width) * out.height * 4)
            abort();
        // Touch the last pixel: an undersized buffer shows up under the address sanitizer.
        volatile uint8_t last = out.rgba.back();
        (void)last;
    } else if (error.empty() || !out.rgba.empty()) {
        abort();
    }
}

// The same bytes with every chunk CRC made right, so that mutations reach past the CRC check.
std::vector<uint8_t> withFixedCrcs(const uint8_t* data, size_t size) {
    std::vector<uint8_t> v(data, data + size);
    size_t pos = 8;
    while (pos + 12 <= v.size()) {
        const uint32_t len = (uint32_t(v[pos]) << 24) | (uint32_t(v[pos + 1]) << 16) |
                             (uint32_t(v[pos + 2]) << 8) | v[pos + 3];
        if (len > v.size() - pos - 12)
            break;
        const uLong crc = crc32(0, v.data() + pos + 4, uInt(len + 4));
        uint8_t* c = v.data() + pos + 8 + len;
        c[0] = uint8_t(crc >> 24);
        c[1] = uint8_t(crc >> 16);
        c[2] = uint8_t(crc >> 8);
        c[3] = uint8_t(crc);
        pos += 12 + len;
    }
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    decodeAndCheck(data, size);
    const std::vector<uint8_t> fixed = withFixedCrcs(data, size);
    decodeAndCheck(fixed.data(), fixed.size());
    return 0;
}
