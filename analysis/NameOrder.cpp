#include "analysis/NameOrder.h"

#include "analysis/ListPresentation.h"
#include "analysis/PodArray.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace analysis {
namespace {

// Groups smaller than this are sorted by comparing the rest of their paths; from kRadixGroup on
// by radix passes over the next four units, in between by comparing those units as integers.
constexpr size_t kCompareGroup = 16;
constexpr size_t kRadixGroup = 512;
constexpr size_t kUnitsPerWord = 4;

// A group of keys [first, last) whose paths agree on their first `depth` units.
struct Group {
    size_t first;
    size_t last;
    size_t depth;
    size_t size() const { return last - first; }
};

class Sorter {
public:
    Sorter(NameKey* keys, NameKey* spare, const char16_t* folderText)
        : keys_(keys), spare_(spare), folderText_(folderText) {}

    // Orders one group; the groups still to be ordered below it go to `pending`.
    void Order(const Group& g, std::vector<Group>& pending) const {
        NameKey* const lo = keys_ + g.first;
        NameKey* const hi = keys_ + g.last;
        size_t depth = g.depth;
        if (g.size() < kCompareGroup) {
            // Insertion sort: few keys, and usually a short rest to compare.
            for (NameKey* i = lo + 1; i < hi; ++i) {
                const NameKey k = *i;
                NameKey* j = i;
                for (; j > lo && before(k, j[-1], depth); --j)
                    *j = j[-1];
                *j = k;
            }
            return;
        }
        depth += commonUnits(lo, hi, depth);
        for (NameKey* k = lo; k < hi; ++k)
            k->word = word(*k, depth);
        if (g.size() >= kRadixGroup)
            radix(lo, hi, spare_ + g.first);
        else
            std::sort(lo, hi, [](const NameKey& a, const NameKey& b) { return a.word < b.word; });

        for (NameKey* a = lo; a < hi;) {
            NameKey* b = a + 1;
            while (b < hi && b->word == a->word)
                ++b;
            if (b - a > 1) {
                // A path that ends within these units is a beginning of the others of its run:
                // it comes first, shorter ones before longer (equal ones by rank).
                const size_t end = depth + kUnitsPerWord;
                NameKey* rest =
                    std::partition(a, b, [&](const NameKey& k) { return length(k) <= end; });
                if (rest - a > 1)
                    std::sort(a, rest, [&](const NameKey& x, const NameKey& y) {
                        const size_t lx = length(x), ly = length(y);
                        return lx != ly ? lx < ly : x.rank < y.rank;
                    });
                if (b - rest > 1)
                    pending.push_back(
                        {static_cast<size_t>(rest - keys_), static_cast<size_t>(b - keys_), end});
            }
            a = b;
        }
    }

    void OrderAll(std::vector<Group>& pending) const {
        while (!pending.empty()) {
            const Group g = pending.back();
            pending.pop_back();
            Order(g, pending);
        }
    }

private:
    static size_t length(const NameKey& k) { return size_t{k.folderLength} + k.OwnUnits(); }

    // Unit i (below the length) of the key's upper-cased path.
    char16_t unit(const NameKey& k, size_t i) const {
        return i < k.folderLength ? folderText_[k.folder + i]
                                  : UpperForCompareUnit(k.OwnUnit(i - k.folderLength));
    }

    // Units depth to depth + 3 as one integer that orders as they do; 0 past the end.
    uint64_t word(const NameKey& k, size_t depth) const {
        uint64_t w = 0;
        if (depth + kUnitsPerWord <= k.folderLength) {
            const char16_t* u = folderText_ + k.folder + depth;
            for (size_t i = 0; i < kUnitsPerWord; ++i)
                w = (w << 16) | u[i];
            return w;
        }
        const size_t len = length(k);
        if (depth >= k.folderLength && depth + kUnitsPerWord <= len) {
            const size_t from = depth - k.folderLength;
            if (k.OwnWide()) {
                const char16_t* u = static_cast<const char16_t*>(k.own) + from;
                for (size_t i = 0; i < kUnitsPerWord; ++i)
                    w = (w << 16) | UpperForCompareUnit(u[i]);
            } else {
                const uint8_t* u = static_cast<const uint8_t*>(k.own) + from;
                for (size_t i = 0; i < kUnitsPerWord; ++i)
                    w = (w << 16) | UpperForCompareUnit(u[i]);
            }
            return w;
        }
        for (size_t i = depth; i < depth + kUnitsPerWord; ++i)
            w = (w << 16) | (i < len ? unit(k, i) : 0u);
        return w;
    }

    // Does a come before b, both agreeing on their first `depth` units?
    bool before(const NameKey& a, const NameKey& b, size_t depth) const {
        const size_t la = length(a), lb = length(b), l = std::min(la, lb);
        for (size_t i = depth; i < l; ++i) {
            const char16_t x = unit(a, i), y = unit(b, i);
            if (x != y)
                return x < y;
        }
        return la != lb ? la < lb : a.rank < b.rank;
    }

    // How many units from depth on every key of [lo, hi) shares.
    size_t commonUnits(const NameKey* lo, const NameKey* hi, size_t depth) const {
        size_t common = length(*lo) - depth;
        for (const NameKey* k = lo + 1; k < hi && common > 0; ++k) {
            const size_t limit = std::min(common, length(*k) - depth);
            size_t i = 0;
            if (depth < lo->folderLength && depth < k->folderLength) {
                // Within both folders' texts: keys of one folder share it, others compare it
                // as it is (it is upper-cased already).
                const size_t both =
                    std::min(limit, size_t{std::min(lo->folderLength, k->folderLength)} - depth);
                if (k->folder == lo->folder) {
                    i = both;
                } else {
                    const char16_t* a = folderText_ + lo->folder + depth;
                    const char16_t* b = folderText_ + k->folder + depth;
                    while (i < both && a[i] == b[i])
                        ++i;
                    if (i < both) {
                        common = i;
                        continue;
                    }
                }
            }
            while (i < limit && unit(*lo, depth + i) == unit(*k, depth + i))
                ++i;
            common = i;
        }
        return common;
    }

    // Least significant digit first, a byte at a time; bytes that all keys share are skipped.
    static void radix(NameKey* lo, NameKey* hi, NameKey* spare) {
        const size_t n = static_cast<size_t>(hi - lo);
        uint64_t differs = 0;
        for (const NameKey* k = lo + 1; k < hi; ++k)
            differs |= k->word ^ lo->word;
        int bytes[8];
        int passes = 0;
        for (int b = 0; b < 8; ++b)
            if ((differs >> (8 * b)) & 0xFF)
                bytes[passes++] = b;
        std::vector<size_t> counts(size_t(passes) * 256, 0);
        for (const NameKey* k = lo; k < hi; ++k)
            for (int p = 0; p < passes; ++p)
                ++counts[size_t(p) * 256 + ((k->word >> (8 * bytes[p])) & 0xFF)];
        NameKey* from = lo;
        NameKey* to = spare;
        for (int p = 0; p < passes; ++p) {
            const int b = bytes[p];
            size_t* c = counts.data() + size_t(p) * 256;
            size_t sum = 0;
            for (int v = 0; v < 256; ++v) {
                const size_t here = c[v];
                c[v] = sum;
                sum += here;
            }
            for (const NameKey* k = from; k < from + n; ++k)
                to[c[(k->word >> (8 * b)) & 0xFF]++] = *k;
            std::swap(from, to);
        }
        if (from != lo)
            std::copy(from, from + n, lo);
    }

    NameKey* keys_;
    NameKey* spare_;
    const char16_t* folderText_;
};

} // namespace

void SortNameKeys(NameKey* keys, size_t count, const char16_t* folderText, bool twoThreads) {
    if (count < 2)
        return;
    PodArray<NameKey> spare;
    if (count >= kRadixGroup)
        spare.resize(count);
    const Sorter sorter(keys, spare.data(), folderText);
    std::vector<Group> pending{{0, count, 0}};
    if (!twoThreads) {
        sorter.OrderAll(pending);
        return;
    }
    // The largest groups are ordered here until none holds more than a quarter of the keys;
    // then the groups are dealt to two threads, the largest first to the one with less work.
    for (;;) {
        const auto largest =
            std::max_element(pending.begin(), pending.end(),
                             [](const Group& a, const Group& b) { return a.size() < b.size(); });
        if (largest == pending.end() || largest->size() * 4 <= count ||
            largest->size() < kRadixGroup)
            break;
        const Group g = *largest;
        *largest = pending.back();
        pending.pop_back();
        sorter.Order(g, pending);
    }
    std::sort(pending.begin(), pending.end(),
              [](const Group& a, const Group& b) { return a.size() > b.size(); });
    std::vector<Group> mine, theirs;
    size_t myKeys = 0, theirKeys = 0;
    for (const Group& g : pending) {
        if (myKeys <= theirKeys) {
            mine.push_back(g);
            myKeys += g.size();
        } else {
            theirs.push_back(g);
            theirKeys += g.size();
        }
    }
    std::exception_ptr failed;
    std::thread other;
    try {
        other = std::thread([&] {
            try {
                sorter.OrderAll(theirs);
            } catch (...) {
                failed = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        sorter.OrderAll(theirs); // no second thread to be had
    }
    try {
        sorter.OrderAll(mine);
    } catch (...) {
        if (other.joinable())
            other.join();
        throw;
    }
    if (other.joinable())
        other.join();
    if (failed)
        std::rethrow_exception(failed);
}

void AppendNameKeyText(const NameKey& key, const char16_t* folderText, std::u16string& out) {
    out.append(folderText + key.folder, key.folderLength);
    for (size_t i = 0; i < key.OwnUnits(); ++i)
        out += UpperForCompareUnit(key.OwnUnit(i));
}

} // namespace analysis
