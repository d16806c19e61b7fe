#pragma once

// Little-endian integers and LEB128 varints, as the saved-analysis format writes them. Readers
// work on a bounded span and report running off its end instead of reading past it.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace saved::bytes {

inline void PutU16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}
inline void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void PutU64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Appends v as LEB128: seven bits a byte, the lowest first, the high bit set on all but the last.
inline void PutVarint(std::string& out, uint64_t v) {
    char buffer[10];
    size_t n = 0;
    while (v >= 0x80) {
        buffer[n++] = static_cast<char>((v & 0x7F) | 0x80);
        v >>= 7;
    }
    buffer[n++] = static_cast<char>(v);
    out.append(buffer, n);
}

// Signed values as unsigned ones, small magnitudes small: 0, -1, 1, -2, 2 -> 0, 1, 2, 3, 4.
inline uint64_t ZigZag(int64_t v) {
    return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63);
}
inline int64_t UnZigZag(uint64_t v) {
    return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1);
}

inline uint16_t GetU16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t GetU32(const unsigned char* p) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}
inline uint64_t GetU64(const unsigned char* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

// A cursor over bytes. Every read fails (false) instead of passing the end; a varint longer than
// ten bytes, or one whose tenth byte carries more than the 64th bit, is malformed.
class Reader {
public:
    Reader(const unsigned char* data, size_t size) : p_(data), end_(data + size) {}
    explicit Reader(std::string_view s)
        : Reader(reinterpret_cast<const unsigned char*>(s.data()), s.size()) {}

    size_t Left() const { return static_cast<size_t>(end_ - p_); }
    bool AtEnd() const { return p_ == end_; }
    const unsigned char* Position() const { return p_; }

    bool Byte(uint8_t& v) {
        if (p_ == end_)
            return false;
        v = *p_++;
        return true;
    }
    bool Varint(uint64_t& v) {
        // The common case first: one byte.
        if (p_ != end_ && *p_ < 0x80) {
            v = *p_++;
            return true;
        }
        uint64_t result = 0;
        for (int shift = 0; shift < 70; shift += 7) {
            if (p_ == end_)
                return false;
            const uint8_t b = *p_++;
            if (shift == 63 && b > 1)
                return false;
            result |= static_cast<uint64_t>(b & 0x7F) << shift;
            if (!(b & 0x80)) {
                v = result;
                return true;
            }
        }
        return false;
    }
    bool Bytes(size_t n, std::string_view& out) {
        if (Left() < n)
            return false;
        out = {reinterpret_cast<const char*>(p_), n};
        p_ += n;
        return true;
    }
    bool Skip(size_t n) {
        if (Left() < n)
            return false;
        p_ += n;
        return true;
    }

private:
    const unsigned char* p_;
    const unsigned char* end_;
};

} // namespace saved::bytes
