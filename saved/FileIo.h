#pragma once

// Buffered writing to a descriptor and exact reads from one, for the writers and readers of saved
// analyses. Errors are kept as errno values; the callers turn them into messages.

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string>
#include <string_view>

namespace saved::io {

// Collects output and writes it in large pieces; the first failure is kept and later writes are
// dropped.
class FdWriter {
public:
    explicit FdWriter(int fd) : fd_(fd) { buffer_.reserve(kChunk); }
    FdWriter(const FdWriter&) = delete;
    FdWriter& operator=(const FdWriter&) = delete;

    std::string& Buffer() { return buffer_; }
    void Append(std::string_view s) {
        buffer_ += s;
        if (buffer_.size() >= kChunk)
            Flush();
    }
    // Writes what was appended directly, keeping the order; for large pieces already built.
    void Write(std::string_view s) {
        Flush();
        writeAll(s.data(), s.size());
    }
    bool Flush() {
        if (!buffer_.empty()) {
            writeAll(buffer_.data(), buffer_.size());
            buffer_.clear();
        }
        return err_ == 0;
    }
    int Error() const { return err_; }
    uint64_t Written() const { return written_; }

private:
    static constexpr size_t kChunk = size_t{1} << 18;

    void writeAll(const char* p, size_t n) {
        while (n > 0 && err_ == 0) {
            const ssize_t w = ::write(fd_, p, n);
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                err_ = errno;
                return;
            }
            if (w == 0) {
                err_ = EIO;
                return;
            }
            p += w;
            n -= static_cast<size_t>(w);
            written_ += static_cast<uint64_t>(w);
        }
    }

    int fd_;
    std::string buffer_;
    int err_ = 0;
    uint64_t written_ = 0;
};

// Reads up to n bytes at offset into out (resized to what was read); -1 with errno on failure.
inline ssize_t ReadAt(int fd, uint64_t offset, size_t n, std::string& out) {
    out.resize(n);
    size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, out.data() + got, n - got, static_cast<off_t>(offset + got));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (r == 0)
            break;
        got += static_cast<size_t>(r);
    }
    out.resize(got);
    return static_cast<ssize_t>(got);
}

} // namespace saved::io
