#include "saved/Compare.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace saved {

using analysis::PNode;
using analysis::TAnalysisTree;
using analysis::TTextRun;

namespace {

PNode node(uint32_t i) {
    return static_cast<PNode>(i);
}
uint32_t index(PNode n) {
    return static_cast<uint32_t>(n);
}

// Names compare code unit by code unit: the exact native names.
bool lessText(const TTextRun& a, const TTextRun& b) {
    if (!a.wide() && !b.wide()) {
        const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
        return c != 0 ? c < 0 : a.size() < b.size();
    }
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return a[i] < b[i];
    return a.size() < b.size();
}

// The nodes of a tree in pre-order, and one past the highest node index.
std::vector<uint32_t> preOrder(const TAnalysisTree& tree, size_t& end) {
    std::vector<uint32_t> order;
    order.reserve(tree.NodeCount());
    end = 0;
    for (PNode n = tree.GetFirst(); n != PNode::None; n = tree.GetNext(n)) {
        order.push_back(index(n));
        end = std::max<size_t>(end, index(n) + size_t{1});
    }
    return order;
}

bool carriesIdentity(const platform::FileSystemIdentity& id) {
    return !id.uuid.empty() || id.fsid != 0 || id.device != 0;
}

// A side that may lack items anywhere, not only under the folders it names.
bool partial(const analysis::TScanVerdict& v) {
    return v.CutShort || v.Stopped ||
           v.UnreadableFolders > static_cast<uint32_t>(v.UnreadableSamples.size());
}

// Reports progress every so many nodes; false once cancelled.
class Pacer {
public:
    Pacer(const TCompareOptions& options, size_t total) : options_(options), total_(total) {}
    bool Step(size_t n = 1) {
        done_ += n;
        if (done_ < next_ || !options_.Progress)
            return !cancelled_;
        next_ = done_ + (size_t{1} << 16);
        const size_t permille = total_ ? std::min<size_t>(1000, done_ * 1000 / total_) : 1000;
        if (!options_.Progress(static_cast<int>(permille)))
            cancelled_ = true;
        return !cancelled_;
    }

private:
    const TCompareOptions& options_;
    size_t total_;
    size_t done_ = 0;
    size_t next_ = 0;
    bool cancelled_ = false;
};

} // namespace

const char* ChangeName(TChange change) {
    switch (change) {
    case TChange::Same:
        return "same";
    case TChange::Grown:
        return "grown";
    case TChange::Shrunk:
        return "shrunk";
    case TChange::New:
        return "new";
    case TChange::Gone:
        return "gone";
    case TChange::Moved:
        return "moved";
    case TChange::Unknown:
        return "unknown";
    }
    return "unknown";
}

void TComparison::Side::Reset(size_t n) {
    other.assign(n, kNone);
    slot.assign(n, kNone);
    state.assign(n, TChange::Unknown);
}

void TComparison::clear() {
    *this = TComparison(); // releases the arrays, not only empties them
}

bool TComparison::Run(const TAnalysisTree& oldTree, const analysis::TAnalysisSummary& oldSummary,
                      const TAnalysisTree& newTree, const analysis::TAnalysisSummary& newSummary,
                      const TCompareOptions& options) {
    clear();
    oldTree_ = &oldTree;
    newTree_ = &newTree;
    size_t oldEnd = 0, newEnd = 0;
    std::vector<uint32_t> oldOrder = preOrder(oldTree, oldEnd);
    std::vector<uint32_t> newOrder = preOrder(newTree, newEnd);
    old_.Reset(oldEnd);
    new_.Reset(newEnd);
    for (uint32_t i : oldOrder)
        old_.state[i] = TChange::Gone;
    for (uint32_t i : newOrder)
        new_.state[i] = TChange::New;
    Pacer pacer(options, 3 * (oldOrder.size() + newOrder.size()));
    const auto cancelled = [this] {
        clear();
        return false;
    };

    // The top folders stand for each other; below them, names decide.
    std::vector<uint32_t> folders; // pairs of matched folders still to match below
    const PNode oldTop = oldTree.GetFirst(), newTop = newTree.GetFirst();
    if (oldTop != PNode::None && newTop != PNode::None) {
        old_.other[index(oldTop)] = index(newTop);
        new_.other[index(newTop)] = index(oldTop);
        old_.state[index(oldTop)] = new_.state[index(newTop)] = TChange::Same;
        folders = {index(oldTop), index(newTop)};
    }
    while (!folders.empty()) {
        const uint32_t n = folders.back();
        folders.pop_back();
        const uint32_t o = folders.back();
        folders.pop_back();
        matchByPath(o, n, folders);
        if (!pacer.Step(2))
            return cancelled();
    }

    // What either side could not read is unknown on both.
    const std::pair<const analysis::TAnalysisSummary*, bool> sides[] = {{&oldSummary, false},
                                                                        {&newSummary, true}};
    for (const auto& [summary, isNew] : sides) {
        const TAnalysisTree& tree = isNew ? newTree : oldTree;
        Side& side = isNew ? new_ : old_;
        Side& other = isNew ? old_ : new_;
        for (const QString& folder : summary->Verdict.UnreadableSamples) {
            const PNode found = tree.FindByPath(folder, true);
            if (found == PNode::None)
                continue;
            const uint32_t counterpart = side.other[index(found)];
            markUnknown(tree, side, index(found));
            if (counterpart != kNone)
                markUnknown(isNew ? oldTree : newTree, other, counterpart);
        }
    }
    oldPartial_ = partial(oldSummary.Verdict);
    newPartial_ = partial(newSummary.Verdict);
    const platform::FileSystemIdentity& oldId = oldSummary.Origin.FileSystem;
    const platform::FileSystemIdentity& newId = newSummary.Origin.FileSystem;
    movesMatched_ = carriesIdentity(oldId) && carriesIdentity(newId) && oldId.SameFileSystem(newId);
    if (movesMatched_)
        matchMoves();
    if (!pacer.Step(oldOrder.size() + newOrder.size()))
        return cancelled();

    // Unmatched items: gone and new, unless the other side may simply have missed them.
    for (uint32_t i : oldOrder) {
        if (old_.state[i] == TChange::Gone && newPartial_)
            old_.state[i] = TChange::Unknown;
        if (old_.state[i] == TChange::Gone)
            gone_.push_back(node(i));
        else if (old_.state[i] == TChange::Unknown && old_.other[i] == kNone)
            unknownOld_.push_back(node(i));
    }
    for (uint32_t i : newOrder) {
        if (new_.state[i] == TChange::New && oldPartial_)
            new_.state[i] = TChange::Unknown;
        // Whatever lies in an unknown folder is unknown, an item moved into it included: its
        // new place counts nowhere, so its old one must not either.
        const PNode parent = newTree.GetParent(node(i));
        if (parent != PNode::None && new_.state[index(parent)] == TChange::Unknown) {
            new_.state[i] = TChange::Unknown;
            if (new_.other[i] != kNone)
                old_.state[new_.other[i]] = TChange::Unknown;
        }
    }

    // Sums, bottom up: gone entries first (into the folder they left), then the new tree.
    for (uint32_t i : newOrder)
        if (new_.state[i] != TChange::Unknown && newTree.IsFolder(node(i))) {
            new_.slot[i] = static_cast<uint32_t>(figures_.size());
            figures_.emplace_back();
        }
    for (PNode g : gone_)
        if (oldTree.IsFolder(g)) {
            old_.slot[index(g)] = static_cast<uint32_t>(figures_.size());
            figures_.emplace_back();
        }
    const auto addTo = [this](uint32_t slot, const Figures& f) {
        Figures& to = figures_[slot];
        to.oldSize = analysis::AddSizes(to.oldSize, f.oldSize);
        to.newSize = analysis::AddSizes(to.newSize, f.newSize);
        to.oldFiles += f.oldFiles;
        to.newFiles += f.newFiles;
    };
    for (auto it = gone_.rbegin(); it != gone_.rend(); ++it) {
        const uint32_t i = index(*it);
        const Figures f = old_.slot[i] != kNone ? figures_[old_.slot[i]] : fileFigures(false, i);
        const PNode parent = oldTree.GetParent(*it);
        if (parent == PNode::None)
            continue;
        const uint32_t p = index(parent);
        if (old_.state[p] == TChange::Gone)
            addTo(old_.slot[p], f);
        else if (old_.other[p] != kNone && new_.slot[old_.other[p]] != kNone)
            addTo(new_.slot[old_.other[p]], f);
        if (!pacer.Step())
            return cancelled();
    }
    for (auto it = newOrder.rbegin(); it != newOrder.rend(); ++it) {
        const uint32_t i = *it;
        if (!pacer.Step())
            return cancelled();
        if (new_.state[i] == TChange::Unknown)
            continue;
        const bool folder = new_.slot[i] != kNone;
        const Figures f = folder ? figures_[new_.slot[i]] : fileFigures(true, i);
        if (new_.state[i] == TChange::Same) {
            const TChange s = f.newSize > f.oldSize   ? TChange::Grown
                              : f.newSize < f.oldSize ? TChange::Shrunk
                                                      : TChange::Same;
            new_.state[i] = s;
            old_.state[new_.other[i]] = s;
        }
        const PNode parent = newTree.GetParent(node(i));
        if (parent != PNode::None && new_.slot[index(parent)] != kNone)
            addTo(new_.slot[index(parent)], f);
    }
    return true;
}

void TComparison::matchByPath(uint32_t oldFolder, uint32_t newFolder,
                              std::vector<uint32_t>& folders) {
    const TAnalysisTree& ot = *oldTree_;
    const TAnalysisTree& nt = *newTree_;
    using Named = std::pair<TTextRun, uint32_t>;
    const auto children = [](const TAnalysisTree& tree, uint32_t folder) {
        std::vector<Named> out;
        for (PNode c = tree.GetFirstChild(node(folder)); c != PNode::None;
             c = tree.GetNextSibling(c))
            out.emplace_back(tree.Pieces(c).own, index(c));
        std::sort(out.begin(), out.end(),
                  [](const Named& a, const Named& b) { return lessText(a.first, b.first); });
        return out;
    };
    const std::vector<Named> a = children(ot, oldFolder);
    const std::vector<Named> b = children(nt, newFolder);
    for (size_t i = 0, j = 0; i < a.size() && j < b.size();) {
        if (lessText(a[i].first, b[j].first)) {
            ++i;
        } else if (lessText(b[j].first, a[i].first)) {
            ++j;
        } else {
            const uint32_t o = a[i++].second, n = b[j++].second;
            const bool folder = ot.IsFolder(node(o));
            // A name now of the other type is another item; a node already paired as a move
            // keeps its pair.
            if (folder != nt.IsFolder(node(n)) || old_.other[o] != kNone || new_.other[n] != kNone)
                continue;
            old_.other[o] = n;
            new_.other[n] = o;
            // Below a moved folder, a folder one side could not read is unknown on both.
            if (old_.state[o] == TChange::Unknown || new_.state[n] == TChange::Unknown) {
                markUnknown(ot, old_, o);
                markUnknown(nt, new_, n);
                continue;
            }
            old_.state[o] = new_.state[n] = TChange::Same;
            if (folder) {
                folders.push_back(o);
                folders.push_back(n);
            }
        }
    }
}

void TComparison::markUnknown(const TAnalysisTree& tree, Side& side, uint32_t top) {
    const PNode stop = [&] {
        for (PNode n = node(top); n != PNode::None; n = tree.GetParent(n))
            if (tree.GetNextSibling(n) != PNode::None)
                return tree.GetNextSibling(n);
        return PNode::None;
    }();
    for (PNode n = node(top); n != stop; n = tree.GetNext(n))
        side.state[index(n)] = TChange::Unknown;
}

void TComparison::matchMoves() {
    const TAnalysisTree& ot = *oldTree_;
    const TAnalysisTree& nt = *newTree_;
    // The old items without a counterpart, by inode; one inode may have several names.
    std::vector<std::pair<uint64_t, uint32_t>> byInode;
    for (PNode n = ot.GetFirst(); n != PNode::None; n = ot.GetNext(n)) {
        const uint32_t i = index(n);
        if (old_.state[i] == TChange::Gone && ot.Inode(n) != 0)
            byInode.emplace_back(ot.Inode(n), i);
    }
    if (byInode.empty())
        return;
    std::sort(byInode.begin(), byInode.end());
    std::vector<uint32_t> folders;
    for (PNode n = nt.GetFirst(); n != PNode::None; n = nt.GetNext(n)) {
        const uint32_t i = index(n);
        const uint64_t inode = nt.Inode(n);
        if (new_.state[i] != TChange::New || inode == 0)
            continue;
        auto it = std::lower_bound(byInode.begin(), byInode.end(), std::make_pair(inode, 0u));
        for (; it != byInode.end() && it->first == inode; ++it) {
            const uint32_t o = it->second;
            if (old_.other[o] != kNone || old_.state[o] != TChange::Gone ||
                ot.IsFolder(node(o)) != nt.IsFolder(n))
                continue;
            // A file system hands the inode of a deleted file to the next one made: a file that
            // kept neither its name nor its size is taken for another file.
            if (!nt.IsFolder(n) && ot.Size(node(o)) != nt.Size(n) &&
                (lessText(ot.Pieces(node(o)).own, nt.Pieces(n).own) ||
                 lessText(nt.Pieces(n).own, ot.Pieces(node(o)).own)))
                continue;
            old_.other[o] = i;
            new_.other[i] = o;
            old_.state[o] = new_.state[i] = TChange::Moved;
            if (nt.IsFolder(n)) {
                folders = {o, i};
                while (!folders.empty()) {
                    const uint32_t nf = folders.back();
                    folders.pop_back();
                    const uint32_t of = folders.back();
                    folders.pop_back();
                    matchByPath(of, nf, folders);
                }
            }
            break;
        }
    }
}

TComparison::Figures TComparison::fileFigures(bool newSide, uint32_t i) const {
    Figures f;
    const uint32_t other = (newSide ? new_ : old_).other[i];
    const uint32_t o = newSide ? other : i;
    const uint32_t n = newSide ? i : other;
    if (o != kNone) {
        f.oldSize = oldTree_->Size(node(o));
        f.oldFiles = 1;
    }
    if (n != kNone) {
        f.newSize = newTree_->Size(node(n));
        f.newFiles = 1;
    }
    return f;
}

TCompared TComparison::ForNew(PNode newNode) const {
    TCompared r;
    if (!newTree_ || index(newNode) >= new_.state.size())
        return r;
    const uint32_t i = index(newNode);
    r.NewNode = newNode;
    r.OldNode = node(new_.other[i]);
    r.State = new_.state[i];
    if (new_.slot[i] != kNone) {
        const Figures& f = figures_[new_.slot[i]];
        r.OldSize = f.oldSize;
        r.NewSize = f.newSize;
        r.OldFiles = f.oldFiles;
        r.NewFiles = f.newFiles;
    } else if (r.State != TChange::Unknown && !newTree_->IsFolder(newNode)) {
        const Figures f = fileFigures(true, i);
        r.OldSize = f.oldSize;
        r.NewSize = f.newSize;
        r.OldFiles = f.oldFiles;
        r.NewFiles = f.newFiles;
    } else {
        // Unknown: what each side says, counted nowhere.
        r.NewSize = newTree_->Size(newNode);
        r.NewFiles = newTree_->IsFolder(newNode) ? newTree_->FileCount(newNode) : 1;
        if (r.OldNode != PNode::None) {
            r.OldSize = oldTree_->Size(r.OldNode);
            r.OldFiles = oldTree_->IsFolder(r.OldNode) ? oldTree_->FileCount(r.OldNode) : 1;
        }
    }
    return r;
}

TCompared TComparison::ForOld(PNode oldNode) const {
    TCompared r;
    if (!oldTree_ || index(oldNode) >= old_.state.size())
        return r;
    const uint32_t i = index(oldNode);
    if (old_.other[i] != kNone)
        return ForNew(node(old_.other[i]));
    r.OldNode = oldNode;
    r.State = old_.state[i];
    if (old_.slot[i] != kNone) {
        const Figures& f = figures_[old_.slot[i]];
        r.OldSize = f.oldSize;
        r.OldFiles = f.oldFiles;
    } else {
        r.OldSize = oldTree_->Size(oldNode);
        r.OldFiles = oldTree_->IsFolder(oldNode) ? oldTree_->FileCount(oldNode) : 1;
    }
    return r;
}

size_t TComparison::MemoryBytes() const {
    const auto side = [](const Side& s) {
        return s.other.capacity() * sizeof(uint32_t) + s.slot.capacity() * sizeof(uint32_t) +
               s.state.capacity() * sizeof(TChange);
    };
    return side(old_) + side(new_) + figures_.capacity() * sizeof(Figures) +
           (gone_.capacity() + unknownOld_.capacity()) * sizeof(PNode);
}

} // namespace saved
