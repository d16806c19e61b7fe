#include "analysis/AnalysisTree.h"

#include "analysis/ListPresentation.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace analysis {
namespace {

inline char16_t upperAZ(char16_t u) {
    return (u >= u'a' && u <= u'z') ? char16_t(u - 32) : u;
}

// Blanks and control characters, as file names are trimmed of them.
inline bool isTrimmed(char16_t u) {
    return u <= 0x20;
}

std::u16string_view trimmed(std::u16string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && isTrimmed(s[b]))
        ++b;
    while (e > b && isTrimmed(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// Copies text a byte a unit when every unit is below U+0100; false (to partly written) when not.
// Eight or four units at a time: names are many and short.
bool narrowCopy(std::u16string_view from, uint8_t* to) {
    const size_t n = from.size();
    size_t k = 0;
#if defined(__SSE2__)
    for (; k + 8 <= n; k += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from.data() + k));
        const __m128i high = _mm_srli_epi16(units, 8);
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(high, _mm_setzero_si128())) != 0xFFFF)
            return false;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to + k), _mm_packus_epi16(units, units));
    }
#endif
    for (; k + 4 <= n; k += 4) {
        uint64_t w;
        std::memcpy(&w, from.data() + k, sizeof w);
        if (w & 0xFF00FF00FF00FF00ull)
            return false;
        const auto packed = static_cast<uint32_t>(
            (w & 0xFF) | ((w >> 8) & 0xFF00) | ((w >> 16) & 0xFF0000) | ((w >> 24) & 0xFF000000));
        std::memcpy(to + k, &packed, sizeof packed);
    }
    for (; k < n; ++k) {
        if (from[k] > 0xFF)
            return false;
        to[k] = static_cast<uint8_t>(from[k]);
    }
    return true;
}

std::u16string_view view(const QString& s) {
    return {reinterpret_cast<const char16_t*>(s.utf16()), static_cast<size_t>(s.size())};
}

QString toQString(std::u16string_view s) {
    return QString(reinterpret_cast<const QChar*>(s.data()), static_cast<qsizetype>(s.size()));
}

// Compares a segment with target[pos, pos + seg.size()): equal under UpperAZ, and exactly equal.
struct SegmentMatch {
    bool caseless = false;
    bool exact = false;
};
template <class Text>
SegmentMatch matchAt(const Text& seg, std::u16string_view target, size_t pos) {
    SegmentMatch m;
    if (pos > target.size() || seg.size() > target.size() - pos)
        return m;
    bool exact = true;
    for (size_t i = 0; i < seg.size(); ++i) {
        const char16_t a = seg[i], b = target[pos + i];
        if (a != b) {
            if (upperAZ(a) != upperAZ(b))
                return m;
            exact = false;
        }
    }
    m.caseless = true;
    m.exact = exact;
    return m;
}

} // namespace

void TAnalysisTree::Clear() {
    nodes_.release();
    text_.release();
    inodes_.release();
    device_ = 0;
    listedNames_.clear();
    images_.clear();
    firstTop_ = lastTop_ = kNone;
    liveCount_ = 0;
    irregular_ = false;
    markChanged();
}

void TAnalysisTree::Swap(TAnalysisTree& other) {
    nodes_.swap(other.nodes_);
    text_.swap(other.text_);
    inodes_.swap(other.inodes_);
    std::swap(device_, other.device_);
    listedNames_.swap(other.listedNames_);
    images_.swap(other.images_);
    std::swap(firstTop_, other.firstTop_);
    std::swap(lastTop_, other.lastTop_);
    std::swap(liveCount_, other.liveCount_);
    std::swap(irregular_, other.irregular_);
    markChanged();
    other.markChanged();
}

uint32_t TAnalysisTree::appendNode(PNode parent, uint8_t isFolder, std::u16string_view seg,
                                   uint8_t flags) {
    const auto i = static_cast<uint32_t>(nodes_.size());
    const auto offset = static_cast<uint32_t>(text_.size());
    if (text_.size() + 2 * seg.size() + 4 > UINT32_MAX)
        throw std::bad_alloc(); // beyond what a node's offset can address
    const bool wide = !narrowCopy(seg, text_.extend(seg.size()));
    if (wide) {
        text_.resize(offset);
        appendText(seg, true);
    }
    Node* n = nodes_.extend(1);
    *n = Node{};
    n->parent = index(parent);
    n->segOffset = offset;
    n->isFolder = isFolder;
    n->flags = static_cast<uint8_t>(flags | (wide ? kWide : 0));
    if (parent == PNode::None) {
        if (lastTop_ == kNone)
            firstTop_ = i;
        else
            nodes_[lastTop_].next = i;
        lastTop_ = i;
    } else {
        Node& p = nodes_[index(parent)];
        if (p.lastChild == kNone)
            p.firstChild = i;
        else
            nodes_[p.lastChild].next = i;
        p.lastChild = i;
    }
    ++liveCount_;
    markChanged();
    return i;
}

void TAnalysisTree::appendText(std::u16string_view text, bool wide) {
    if (!wide) {
        narrowCopy(text, text_.extend(text.size()));
        return;
    }
    if (text_.size() & 1)
        text_.push_back(0);
    text_.append(reinterpret_cast<const uint8_t*>(text.data()), text.size() * sizeof(char16_t));
}

PNode TAnalysisTree::AddTopFolder(std::u16string_view walkPath) {
    return node(appendNode(PNode::None, 1, walkPath, kAbsolute));
}

PNode TAnalysisTree::AddFolder(PNode parent, std::u16string_view name) {
    if (parent == PNode::None) {
        std::u16string p(name);
        p += u'\\';
        return AddTopFolder(p);
    }
    // The segment carries the backslash that separates the folder from its children.
    const auto i = appendNode(parent, 1, name, 0);
    appendText(u"\\", (nodes_[i].flags & kWide) != 0);
    return node(i);
}

PNode TAnalysisTree::AddFile(PNode parent, std::u16string_view listedName, int64_t size) {
    const std::u16string_view name = trimmed(listedName);
    const bool changed = name.size() != listedName.size();
    const auto i = appendNode(
        parent, 0, name,
        static_cast<uint8_t>((parent == PNode::None ? kAbsolute : 0) | (changed ? kTrimmed : 0)));
    nodes_[i].size = size;
    if (changed)
        listedNames_.emplace(i, toQString(listedName));
    return node(i);
}

PNode TAnalysisTree::AddChild(PNode parent, const TNodeData& data) {
    std::u16string full(view(data.Path));
    if (data.IsFolder && full.size() > 3)
        full += u'\\';
    std::u16string prefix;
    if (parent != PNode::None)
        appendPrefix(index(parent), prefix);
    uint8_t flags = 0;
    std::u16string_view seg = full;
    if (parent != PNode::None && full.size() > prefix.size() &&
        std::u16string_view(full).substr(0, prefix.size()) == prefix) {
        seg.remove_prefix(prefix.size());
    } else {
        flags |= kAbsolute;
        if (parent != PNode::None)
            irregular_ = true;
    }
    if (!data.ListedName.isEmpty())
        flags |= kTrimmed;
    const auto i = appendNode(parent, data.IsFolder ? 1 : 0, seg, flags);
    Node& n = nodes_[i];
    n.size = data.Size;
    n.folderCount = data.FolderCount;
    n.fileCount = data.FileCount;
    if (!data.ListedName.isEmpty())
        listedNames_.emplace(i, data.ListedName);
    SetImageIndex(node(i), data.ImageIndex);
    return node(i);
}

bool TAnalysisTree::DeleteNode(PNode target) {
    // A node that left the tree is unlinked already: looking for it among its old siblings
    // would run off the end of their list.
    if (!Contains(target))
        return false;
    const uint32_t t = index(target);
    const uint32_t parent = nodes_[t].parent;
    uint32_t& first = parent == kNone ? firstTop_ : nodes_[parent].firstChild;
    uint32_t& last = parent == kNone ? lastTop_ : nodes_[parent].lastChild;
    uint32_t prev = kNone;
    for (uint32_t c = first; c != t; c = nodes_[c].next)
        prev = c;
    if (prev == kNone)
        first = nodes_[t].next;
    else
        nodes_[prev].next = nodes_[t].next;
    if (last == t)
        last = prev;
    release(t);
    markChanged();
    return true;
}

size_t TAnalysisTree::DeleteNodes(const std::vector<PNode>& targets) {
    // Choose: nodes of the tree, each once, none inside another one chosen.
    std::vector<uint32_t> chosen;
    for (PNode n : targets) {
        if (!Contains(n) || (nodes_[index(n)].flags & kLeaving))
            continue;
        nodes_[index(n)].flags |= kLeaving;
        chosen.push_back(index(n));
    }
    std::vector<uint32_t> tops;
    for (uint32_t t : chosen) {
        bool inside = false;
        for (uint32_t p = nodes_[t].parent; p != kNone && !inside; p = nodes_[p].parent)
            inside = (nodes_[p].flags & kLeaving) != 0;
        if (!inside)
            tops.push_back(t);
    }
    // Unlink: every list of children that loses some is walked once.
    std::unordered_set<uint32_t> walked;
    for (uint32_t t : tops) {
        const uint32_t parent = nodes_[t].parent;
        if (!walked.insert(parent).second)
            continue;
        uint32_t& first = parent == kNone ? firstTop_ : nodes_[parent].firstChild;
        uint32_t& last = parent == kNone ? lastTop_ : nodes_[parent].lastChild;
        uint32_t prev = kNone;
        uint32_t kept = kNone;
        for (uint32_t c = first; c != kNone;) {
            const uint32_t next = nodes_[c].next;
            if (nodes_[c].flags & kLeaving) {
                nodes_[c].next = kNone;
            } else {
                if (prev == kNone)
                    kept = c;
                else
                    nodes_[prev].next = c;
                prev = c;
            }
            c = next;
        }
        if (prev != kNone)
            nodes_[prev].next = kNone;
        first = kept;
        last = prev;
    }
    for (uint32_t t : chosen)
        nodes_[t].flags &= static_cast<uint8_t>(~kLeaving);
    for (uint32_t t : tops)
        release(t);
    if (!tops.empty())
        markChanged();
    return tops.size();
}

void TAnalysisTree::release(uint32_t top) {
    // The slots stay unused until the tree is cleared; their parents stay recorded, so that a
    // stale node can still be told from a live one.
    std::vector<uint32_t> pending{top};
    while (!pending.empty()) {
        const uint32_t i = pending.back();
        pending.pop_back();
        for (uint32_t c = nodes_[i].firstChild; c != kNone; c = nodes_[c].next)
            pending.push_back(c);
        nodes_[i].flags |= kDeleted;
        nodes_[i].firstChild = nodes_[i].lastChild = kNone;
        listedNames_.erase(i);
        images_.erase(i);
        --liveCount_;
    }
    nodes_[top].next = kNone;
}

PNode TAnalysisTree::GetNext(PNode n) const {
    uint32_t i = index(n);
    if (nodes_[i].firstChild != kNone)
        return node(nodes_[i].firstChild);
    while (i != kNone) {
        if (nodes_[i].next != kNone)
            return node(nodes_[i].next);
        i = nodes_[i].parent;
    }
    return PNode::None;
}

void TAnalysisTree::appendPrefix(uint32_t folder, std::u16string& out) const {
    // Segments from the nearest absolute ancestor down to the folder.
    std::vector<uint32_t> chain;
    for (uint32_t i = folder; i != kNone; i = nodes_[i].parent) {
        chain.push_back(i);
        if (nodes_[i].flags & kAbsolute)
            break;
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        segment(*it).AppendTo(out);
}

QString TAnalysisTree::Path(PNode n) const {
    std::u16string p;
    PathBuilder(*this).Append(n, p);
    return toQString(p);
}

void TAnalysisTree::PathBuilder::Append(PNode n, std::u16string& out) {
    const Node& nd = tree_.at(n);
    const size_t start = out.size();
    if (nd.flags & kAbsolute || nd.parent == kNone) {
        tree_.segment(index(n)).AppendTo(out);
        if (upper_)
            UpperForCompareInPlace(out.data() + start, out.size() - start);
    } else {
        if (nd.parent != parent_) {
            prefix_.clear();
            tree_.appendPrefix(nd.parent, prefix_);
            if (upper_)
                UpperForCompareInPlace(prefix_.data(), prefix_.size());
            parent_ = nd.parent;
        }
        out += prefix_;
        const size_t own = out.size();
        tree_.segment(index(n)).AppendTo(out);
        if (upper_)
            UpperForCompareInPlace(out.data() + own, out.size() - own);
    }
    if (nd.isFolder && out.size() - start > 3)
        out.pop_back();
}

TAnalysisTree::PathPieces TAnalysisTree::Pieces(PNode n) const {
    const Node& nd = at(n);
    TTextRun own = segment(index(n));
    const bool whole = (nd.flags & kAbsolute) || nd.parent == kNone;
    // A folder's path drops the backslash its children extend, beyond three characters.
    if (nd.isFolder && !own.empty()) {
        size_t length = own.size();
        for (uint32_t i = nd.parent; !whole && length <= 3 && i != kNone; i = nodes_[i].parent) {
            length += segment(i).size();
            if (nodes_[i].flags & kAbsolute)
                break;
        }
        if (length > 3)
            own.remove_suffix(1);
    }
    return {whole ? PNode::None : node(nd.parent), own};
}

void TAnalysisTree::SetInode(PNode n, uint64_t inode) {
    const uint32_t i = index(n);
    if (i >= nodes_.size())
        return;
    if (i >= inodes_.size()) {
        if (inode == 0)
            return;
        const size_t from = inodes_.size();
        inodes_.resize(size_t{i} + 1);
        std::fill(inodes_.begin() + from, inodes_.end(), uint64_t{0});
    }
    inodes_[i] = inode;
}

int32_t TAnalysisTree::ImageIndex(PNode n) const {
    if (!(at(n).flags & kImage))
        return 0;
    const auto it = images_.find(index(n));
    return it == images_.end() ? 0 : it->second;
}

void TAnalysisTree::SetImageIndex(PNode n, int32_t v) {
    Node& nd = at(n);
    if (v == 0) {
        if (nd.flags & kImage)
            images_.erase(index(n));
        nd.flags = static_cast<uint8_t>(nd.flags & ~kImage);
        return;
    }
    images_[index(n)] = v;
    nd.flags = static_cast<uint8_t>(nd.flags | kImage);
}

QString TAnalysisTree::ListedName(PNode n) const {
    if (!(at(n).flags & kTrimmed))
        return {};
    const auto it = listedNames_.find(index(n));
    return it == listedNames_.end() ? QString() : it->second;
}

TNodeData TAnalysisTree::GetNodeData(PNode n) const {
    const Node& nd = at(n);
    TNodeData d;
    d.Path = Path(n);
    d.Size = nd.size;
    d.FolderCount = nd.folderCount;
    d.FileCount = nd.fileCount;
    d.IsFolder = nd.isFolder;
    d.ImageIndex = ImageIndex(n);
    d.ListedName = ListedName(n);
    return d;
}

void TAnalysisTree::SetVisible(PNode n, bool visible) {
    Node& nd = at(n);
    const uint8_t flags = visible ? uint8_t(nd.flags & ~kHidden) : uint8_t(nd.flags | kHidden);
    if (flags != nd.flags) {
        nd.flags = flags;
        markChanged();
    }
}

void TAnalysisTree::SetAllVisible(bool visible) {
    for (Node& nd : nodes_)
        nd.flags = visible ? uint8_t(nd.flags & ~kHidden) : uint8_t(nd.flags | kHidden);
    markChanged();
}

void TAnalysisTree::EndUpdate() {
    if (updateDepth_ == 0)
        return;
    if (--updateDepth_ == 0 && pendingChange_) {
        pendingChange_ = false;
        ++changes_;
    }
}

PNode TAnalysisTree::FindByPath(QStringView targetText, bool folder) const {
    const std::u16string_view target(reinterpret_cast<const char16_t*>(targetText.utf16()),
                                     static_cast<size_t>(targetText.size()));
    const uint8_t wanted = folder ? 1 : 0;
    uint32_t firstCaseless = kNone;

    if (irregular_) {
        // Paths that do not extend their parents' cannot be pruned by prefix: compare each one.
        for (PNode n = GetFirst(); n != PNode::None; n = GetNext(n)) {
            if (at(n).isFolder != wanted)
                continue;
            const QString p = Path(n);
            const SegmentMatch m = matchAt(view(p), target, 0);
            if (m.caseless && static_cast<size_t>(p.size()) == target.size()) {
                if (m.exact)
                    return n;
                if (firstCaseless == kNone)
                    firstCaseless = index(n);
            }
        }
        return node(firstCaseless);
    }

    // Pre-order walk that enters a folder only when its walk path is a prefix of the target
    // (under UpperAZ): no node below it could match otherwise.
    struct Level {
        uint32_t next; // next node to visit at this level
        uint32_t pos;  // length of the parent's walk path
        bool exact;    // the parent's walk path matches the target exactly
    };
    std::vector<Level> stack{{firstTop_, 0, true}};
    while (!stack.empty()) {
        Level& top = stack.back();
        const uint32_t i = top.next;
        if (i == kNone) {
            stack.pop_back();
            continue;
        }
        top.next = nodes_[i].next;
        const Node& nd = nodes_[i];
        if (nd.flags & kDeleted)
            continue;
        const bool absolute = (nd.flags & kAbsolute) || nd.parent == kNone;
        const size_t pos = absolute ? 0 : top.pos;
        const bool parentExact = absolute ? true : top.exact;
        const TTextRun seg = segment(i);
        const size_t end = pos + seg.size();
        // A folder's path drops the trailing backslash of its walk path beyond three characters.
        const size_t pathLen = (nd.isFolder && end > 3) ? end - 1 : end;

        if (nd.isFolder == wanted && pathLen == target.size() && pathLen >= pos) {
            const SegmentMatch m = matchAt(seg.substr(0, pathLen - pos), target, pos);
            if (m.caseless) {
                if (m.exact && parentExact)
                    return node(i);
                if (firstCaseless == kNone)
                    firstCaseless = i;
            }
        }
        if (nd.isFolder && nd.firstChild != kNone) {
            const SegmentMatch m = matchAt(seg, target, pos);
            if (m.caseless)
                stack.push_back(
                    {nd.firstChild, static_cast<uint32_t>(end), parentExact && m.exact});
        }
    }
    return node(firstCaseless);
}

size_t TAnalysisTree::MemoryBytes() const {
    size_t bytes =
        nodes_.capacity() * sizeof(Node) + text_.capacity() + inodes_.capacity() * sizeof(uint64_t);
    for (const auto& [k, v] : listedNames_)
        bytes += sizeof(k) + sizeof(v) + 2 * sizeof(void*) + static_cast<size_t>(v.capacity()) * 2;
    bytes += images_.size() * (sizeof(uint32_t) + sizeof(int32_t) + 2 * sizeof(void*));
    return bytes;
}

} // namespace analysis
