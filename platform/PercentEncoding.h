#pragma once

// Percent-encoding of raw file-name bytes, for file URIs and trash records. Every byte except
// the unreserved ASCII characters (A-Z a-z 0-9 - . _ ~) and, in paths, the slash becomes %XX, so
// names that are not UTF-8 and names with blanks, '#', '?', '%' or backslashes survive exactly.

#include <string>
#include <string_view>

namespace platform {

inline std::string PercentEncodeBytes(std::string_view bytes, bool keepSlashes) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        if (unreserved || (keepSlashes && c == '/')) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// "file://" and the encoded bytes of an absolute native path.
inline std::string FileUriOfPath(std::string_view absolutePath) {
    return "file://" + PercentEncodeBytes(absolutePath, true);
}

} // namespace platform
