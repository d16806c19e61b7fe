#include "service/Arena.h"

#include <sys/mman.h>
#include <unistd.h>

namespace service {

Arena::~Arena() { Release(); }

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
    base_ = static_cast<char*>(p);
    reserved_ = bytes;
    used_.store(0, std::memory_order_relaxed);
    return true;
}

void Arena::Release() {
    if (base_)
        ::munmap(base_, reserved_);
    base_ = nullptr;
    reserved_ = 0;
    used_.store(0, std::memory_order_relaxed);
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
