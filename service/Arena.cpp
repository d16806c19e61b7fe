#include "service/Arena.h"

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace service {

Arena::~Arena() {
    Release();
}

bool Arena::Reserve(size_t bytes) {
    Release();
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    bytes = (bytes + page - 1) / page * page;
    if (bytes == 0 || bytes > kMaxBytes)
        bytes = kMaxBytes;
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED)
        return false;
    // The records are written densely from the start of the reservation: huge pages spare a
    // page fault per 4 KiB, which costs microseconds on a virtual machine (a tenth of the
    // snapshot's time there). Where transparent huge pages are off this changes nothing.
    ::madvise(p, bytes, MADV_HUGEPAGE);
    base_ = static_cast<char*>(p);
    reserved_ = bytes;
    used_.store(0, std::memory_order_relaxed);
    return true;
}

namespace {

// Address space the process may still map: its limit less what it maps now; SIZE_MAX when
// there is no limit or it cannot be told.
size_t freeAddressSpace() {
    rlimit lim{};
    if (::getrlimit(RLIMIT_AS, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY)
        return SIZE_MAX;
    size_t mappedPages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "re")) {
        if (std::fscanf(f, "%zu", &mappedPages) != 1)
            mappedPages = 0;
        std::fclose(f);
    }
    const size_t mapped = mappedPages * static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    return lim.rlim_cur > mapped ? static_cast<size_t>(lim.rlim_cur) - mapped : 0;
}

} // namespace

size_t Arena::ReserveAtMost(size_t bytes, size_t least) {
    if (bytes == 0 || bytes > kMaxBytes)
        bytes = kMaxBytes;
    least = std::min(least, bytes);
    // Half of the free address space at most: the rest of the program (the tree the records
    // become, thread stacks) needs room too.
    const size_t free = freeAddressSpace();
    if (free != SIZE_MAX)
        bytes = std::max(least, std::min(bytes, free / 2));
    for (;;) {
        if (Reserve(bytes))
            return reserved_;
        const int err = errno;
        if (bytes <= least) {
            errno = err;
            return 0;
        }
        bytes = std::max(least, bytes / 2);
    }
}

void Arena::Release() {
    if (base_)
        ::munmap(base_, reserved_);
    base_ = nullptr;
    reserved_ = 0;
    used_.store(0, std::memory_order_relaxed);
}

void Arena::Trim() {
    if (!base_)
        return;
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    const size_t keep = std::max(page, (UsedBytes() + page - 1) / page * page);
    if (keep < reserved_ && ::munmap(base_ + keep, reserved_ - keep) == 0) {
        reserved_ = keep;
        used_.store(std::min(used_.load(std::memory_order_relaxed), keep),
                    std::memory_order_relaxed);
    }
}

char* Arena::Grab(size_t bytes) {
    if (!base_)
        return nullptr;
    bytes = (bytes + 7) & ~size_t{7};
    const size_t offset = used_.fetch_add(bytes, std::memory_order_relaxed);
    if (offset > reserved_ || bytes > reserved_ - offset)
        return nullptr;
    return base_ + offset;
}

size_t Arena::UsedBytes() const {
    const size_t used = used_.load(std::memory_order_relaxed);
    return used < reserved_ ? used : reserved_;
}

char* ArenaCursor::refill(size_t /*bytes*/) {
    char* chunk = arena_->Grab(kChunkBytes);
    if (!chunk)
        return nullptr;
    next_ = chunk;
    end_ = chunk + kChunkBytes;
    return next_;
}

} // namespace service
