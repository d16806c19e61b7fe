#pragma once

// The lossless codec between native file-name bytes and display names (UTF-16), free of Qt so
// that the snapshot service library shares it with the platform layer:
//  - valid UTF-8 decodes to its characters, except that a backslash becomes U+F05C and a real
//    U+F05C in a name stays as escaped bytes (it would otherwise read back as a backslash);
//  - every byte that is not part of valid UTF-8 becomes U+DC80 + (byte - 0x80).
// EncodeNativeName is the exact inverse for every name DecodeNativeName produces.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

constexpr char16_t kBackslashInName = 0xF05C;

namespace codec_detail {

// Length of the valid UTF-8 sequence at s[i] (code point in cp), or 0 when the bytes there are
// not valid UTF-8 or spell U+F05C.
inline size_t sequenceLength(const unsigned char* s, size_t size, size_t i, char32_t& cp) {
    const unsigned char c = s[i];
    size_t len;
    char32_t min;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > size)
        return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((s[i + k] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || cp == kBackslashInName)
        return 0;
    return len;
}

inline void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace codec_detail

// Decodes a native name into out, which must hold name.size() code units (a name never needs
// more units than it has bytes). Returns the number of units written.
inline size_t DecodeNativeName(std::string_view name, char16_t* out) {
    const auto* s = reinterpret_cast<const unsigned char*>(name.data());
    const size_t size = name.size();
    size_t n = 0;
    for (size_t i = 0; i < size;) {
        const unsigned char c = s[i];
        if (c < 0x80 && c != '\\') { // the common case: plain ASCII
            out[n++] = c;
            ++i;
            continue;
        }
        char32_t cp = 0;
        const size_t len = codec_detail::sequenceLength(s, size, i, cp);
        if (len == 0) {
            out[n++] = static_cast<char16_t>(0xDC00 + c);
            ++i;
        } else if (cp == U'\\') {
            out[n++] = kBackslashInName;
            ++i;
        } else if (cp < 0x10000) {
            out[n++] = static_cast<char16_t>(cp);
            i += len;
        } else {
            cp -= 0x10000;
            out[n++] = static_cast<char16_t>(0xD800 + (cp >> 10));
            out[n++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
            i += len;
        }
    }
    return n;
}

inline std::u16string DecodeNativeName(std::string_view name) {
    std::u16string out(name.size(), u'\0');
    out.resize(DecodeNativeName(name, out.data()));
    return out;
}

// Display name -> native bytes, appended to out.
inline void EncodeNativeName(std::u16string_view name, std::string& out) {
    for (size_t i = 0; i < name.size(); ++i) {
        const char16_t u = name[i];
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u == kBackslashInName) {
            out += '\\';
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out += static_cast<char>(u - 0xDC00);
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
                   name[i + 1] <= 0xDFFF) {
            codec_detail::appendUtf8(
                out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (name[i + 1] - 0xDC00));
            ++i;
        } else {
            // A lone surrogate outside the escape range has no native form; U+FFFD keeps the
            // name printable (DecodeNativeName never produces one).
            codec_detail::appendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? 0xFFFD : u);
        }
    }
}

inline std::string EncodeNativeName(std::u16string_view name) {
    std::string out;
    out.reserve(name.size());
    EncodeNativeName(name, out);
    return out;
}

} // namespace platform
