#pragma once

// A growable array of plain elements for arrays of millions: the analysis tree's nodes and path
// text, the keys of a large sort. Small arrays live on the heap. From kMapBytes on an array has a
// memory mapping of its own that grows by moving its pages (mremap) instead of copying them, so
// growth never holds the old and the new copy at once, and that asks for transparent huge pages:
// a page fault costs microseconds on a virtual machine, and a large array written for the first
// time pays one per 4 KiB page otherwise. Failures throw std::bad_alloc, like a vector.

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace analysis {

namespace podarray_detail {

constexpr size_t kMapBytes = size_t{1} << 20;
constexpr size_t kHugePage = size_t{2} << 20;

inline size_t roundUp(size_t n, size_t to) {
    return (n + to - 1) / to * to;
}

// bytes (a multiple of kHugePage) of fresh mapping whose start is a multiple of kHugePage, or
// nullptr. When old is given, its oldBytes of pages move there (old is then gone).
inline void* mapAligned(size_t bytes, void* old = nullptr, size_t oldBytes = 0) {
    const size_t span = bytes + kHugePage;
    void* p = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
        // No room for the alignment slack: take the mapping unaligned (fewer huge pages).
        p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return nullptr;
        ::madvise(p, bytes, MADV_HUGEPAGE);
        if (old &&
            ::mremap(old, oldBytes, oldBytes, MREMAP_MAYMOVE | MREMAP_FIXED, p) == MAP_FAILED) {
            std::memcpy(p, old, oldBytes);
            ::munmap(old, oldBytes);
        }
        return p;
    }
    auto* base = static_cast<char*>(p);
    char* aligned = reinterpret_cast<char*>(roundUp(reinterpret_cast<uintptr_t>(base), kHugePage));
    if (aligned > base)
        ::munmap(base, static_cast<size_t>(aligned - base));
    const size_t tail = static_cast<size_t>(base + span - (aligned + bytes));
    if (tail)
        ::munmap(aligned + bytes, tail);
    ::madvise(aligned, bytes, MADV_HUGEPAGE);
    if (old &&
        ::mremap(old, oldBytes, oldBytes, MREMAP_MAYMOVE | MREMAP_FIXED, aligned) == MAP_FAILED) {
        std::memcpy(aligned, old, oldBytes);
        ::munmap(old, oldBytes);
    }
    return aligned;
}

} // namespace podarray_detail

template <class T> class PodArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    PodArray() = default;
    ~PodArray() { release(); }
    PodArray(const PodArray&) = delete;
    PodArray& operator=(const PodArray&) = delete;

    size_t size() const { return size_; }
    size_t capacity() const { return capacity_; }
    bool empty() const { return size_ == 0; }
    T* data() { return data_; }
    const T* data() const { return data_; }
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }
    T* begin() { return data_; }
    T* end() { return data_ + size_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }
    T& back() { return data_[size_ - 1]; }

    void push_back(const T& v) {
        if (size_ == capacity_)
            grow(size_ + 1);
        data_[size_++] = v;
    }
    // n more elements at the end, uninitialised (zero when the pages are new); returns the first.
    T* extend(size_t n) {
        if (capacity_ - size_ < n)
            grow(size_ + n);
        T* p = data_ + size_;
        size_ += n;
        return p;
    }
    void append(const T* p, size_t n) {
        if (n)
            std::memcpy(static_cast<void*>(extend(n)), p, n * sizeof(T));
    }
    void pop_back() { --size_; }
    void resize(size_t n) {
        if (n > size_)
            extend(n - size_);
        else
            size_ = n;
    }
    void reserve(size_t n) {
        if (n > capacity_)
            grow(n, n);
    }
    void clear() { size_ = 0; }
    void swap(PodArray& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        std::swap(mappedBytes_, other.mappedBytes_);
    }
    // Gives the memory back.
    void release() {
        if (mappedBytes_)
            ::munmap(data_, mappedBytes_);
        else
            std::free(data_);
        data_ = nullptr;
        size_ = capacity_ = 0;
        mappedBytes_ = 0;
    }

private:
    void grow(size_t need, size_t exact = 0) {
        using namespace podarray_detail;
        if (need > SIZE_MAX / sizeof(T) / 2)
            throw std::bad_alloc();
        size_t cap = exact ? exact : std::max({need, capacity_ * 2, size_t{16}});
        size_t bytes = cap * sizeof(T);
        if (bytes < kMapBytes && !mappedBytes_) {
            void* p = std::realloc(data_, bytes);
            if (!p)
                throw std::bad_alloc();
            data_ = static_cast<T*>(p);
            capacity_ = cap;
            return;
        }
        bytes = roundUp(bytes, kHugePage);
        cap = bytes / sizeof(T);
        void* p;
        if (mappedBytes_) {
            const size_t oldBytes = mappedBytes_;
            // Grow in place when the addresses after the mapping are free, else move the pages.
            p = ::mremap(data_, oldBytes, bytes, 0);
            if (p == MAP_FAILED) {
                p = mapAligned(bytes, data_, oldBytes);
                if (!p)
                    throw std::bad_alloc();
            } else {
                ::madvise(static_cast<char*>(p) + oldBytes, bytes - oldBytes, MADV_HUGEPAGE);
            }
        } else {
            p = mapAligned(bytes);
            if (!p)
                throw std::bad_alloc();
            if (size_)
                std::memcpy(p, static_cast<const void*>(data_), size_ * sizeof(T));
            std::free(data_);
        }
        data_ = static_cast<T*>(p);
        capacity_ = cap;
        mappedBytes_ = bytes;
    }

    T* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    size_t mappedBytes_ = 0; // the mapping's size; 0: on the heap
};

} // namespace analysis
