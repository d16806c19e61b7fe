#pragma once

// Sorting millions of paths by the name order of the list (paths upper-cased one code unit for
// one, then compared code unit by code unit) without comparing whole paths again and again.
//
// A key does not hold its path: it refers to the upper-cased text of its folder, shared by all
// rows of the folder, and to its own text as stored (a byte a unit, or UTF-16), upper-cased as
// it is read. The sort is a
// radix sort on the paths' code units four at a time, as 64-bit integers: a group of keys whose
// next four units are equal is sorted on the four after them, and the units every key of a
// group shares are skipped first, so the long common beginnings of paths are read once per group.

#include <cstddef>
#include <cstdint>
#include <string>

namespace analysis {

struct NameKey {
    static constexpr uint32_t kWide = 0x80000000u; // in ownLength: own text is UTF-16

    uint64_t word = 0;         // the sort's working space
    const void* own = nullptr; // own text, as stored: bytes (units below U+0100) or UTF-16
    uint32_t folder = 0;       // start of the folder's text in the sort's folder text
    uint32_t folderLength = 0;
    uint32_t ownLength = 0; // units, with kWide for UTF-16
    uint32_t rank = 0;      // keys with equal paths come out by rank

    void SetOwn(const void* text, size_t units, bool wide) {
        own = text;
        ownLength = static_cast<uint32_t>(units) | (wide ? kWide : 0);
    }
    uint32_t OwnUnits() const { return ownLength & ~kWide; }
    bool OwnWide() const { return (ownLength & kWide) != 0; }
    char16_t OwnUnit(size_t i) const {
        return OwnWide() ? static_cast<const char16_t*>(own)[i]
                         : static_cast<const uint8_t*>(own)[i];
    }
};

// Sorts keys by their paths (folderText: the upper-cased folder texts they refer to), equal
// paths by rank. With twoThreads the groups after the first pass are shared by two threads.
void SortNameKeys(NameKey* keys, size_t count, const char16_t* folderText, bool twoThreads);

// The key's upper-cased path, appended to out.
void AppendNameKeyText(const NameKey& key, const char16_t* folderText, std::u16string& out);

} // namespace analysis
