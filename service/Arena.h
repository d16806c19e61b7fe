#pragma once

// The record arena of one snapshot: a single reservation of address space no larger than 2 GiB,
// so that any two addresses inside it are less than 2^31 bytes apart and every self-relative
// 32-bit reference between records fits. Pages are committed only when touched (MAP_NORESERVE).
// Worker threads carve private chunks out of it with one atomic add and bump-allocate inside.

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace service {

class Arena {
public:
    static constexpr size_t kMaxBytes = size_t{1} << 31;

    Arena() = default;
    ~Arena();
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    // Reserves bytes of address space (rounded to pages, at most kMaxBytes).
    bool Reserve(size_t bytes);
    // Reserves up to bytes, less when the process's address space does not allow as much: at
    // most half of what its limit leaves free, then halving after each refusal, but not below
    // least. Returns the bytes reserved; 0 with errno set when not even least could be had.
    size_t ReserveAtMost(size_t bytes, size_t least);
    void Release();
    // Gives back the address space beyond what is used (the records stay where they are).
    void Trim();

    // A block of bytes (multiple of 8) from the reservation; nullptr once it is used up.
    char* Grab(size_t bytes);

    size_t UsedBytes() const;
    size_t ReservedBytes() const { return reserved_; }
    // True when [p, p + bytes) lies within what has been handed out.
    bool Holds(const void* p, size_t bytes) const {
        const auto at = reinterpret_cast<uintptr_t>(p), base = reinterpret_cast<uintptr_t>(base_);
        const size_t used = UsedBytes();
        return base_ && at >= base && bytes <= used && at - base <= used - bytes;
    }

private:
    char* base_ = nullptr;
    size_t reserved_ = 0;
    std::atomic<size_t> used_{0};
};

// Per-thread bump allocation in chunks of the arena. Memory comes zeroed from the kernel.
class ArenaCursor {
public:
    static constexpr size_t kChunkBytes = 256 * 1024;

    explicit ArenaCursor(Arena& arena) : arena_(&arena) {}

    // At least bytes (less than a quarter chunk) of room at the cursor; nullptr when the arena
    // is used up. The room stays valid until Commit or the next Room call.
    char* Room(size_t bytes) {
        if (static_cast<size_t>(end_ - next_) >= bytes)
            return next_;
        return refill(bytes);
    }
    // Takes bytes (rounded up to 4) of the room just handed out.
    void Commit(size_t bytes) { next_ += (bytes + 3) & ~size_t{3}; }

    char* Alloc(size_t bytes) {
        // Large blocks (the entry array of a huge folder) get a piece of their own; the current
        // chunk stays in use for the small records that follow.
        if (bytes >= kChunkBytes / 4)
            return arena_->Grab(bytes);
        char* p = Room(bytes);
        if (p)
            Commit(bytes);
        return p;
    }

private:
    char* refill(size_t bytes);

    Arena* arena_;
    char* next_ = nullptr;
    char* end_ = nullptr;
};

} // namespace service
