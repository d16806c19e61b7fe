#pragma once

// Comparing two analyses of one drive or folder: an OLD one and a NEW one, each a tree with its
// summary (scanned now or loaded from a file). Qt Core only and no widgets, so a window can run
// it on a helper thread and then look rows up by node.
//
// Matching:
// - Items match by path: the two top folders stand for each other (they may carry different
//   drive letters), and below matched folders children match by their exact names (native names
//   compare code unit for code unit, as Linux does). A name whose type changed (file <-> folder)
//   is a gone item and a new item.
// - An item left without a counterpart on both sides whose inode matches is a move, but only
//   when both analyses carry the same file-system identity and the inode is not 0. A moved
//   folder's contents then match by name below it. Hard links (one inode under several names)
//   pair up one to one in order. A file must also keep its name or its size: file systems
//   reuse the inodes of deleted files at once, and a new file of another name and size under
//   an old inode is another file.
// - What an analysis could not see does not count as change. Everything under a folder either
//   side could not read (the verdict's named unreadable folders) is Unknown on both sides. A side
//   that is cut short, was stopped, or counts unreadable folders it does not name may miss any
//   item: an item it lacks is then Unknown, not gone (or new). Unknown rows keep their sizes but
//   show no change and stay out of every sum.
//
// Sums: a folder's figures are the sums of its entries: the items it holds now (a moved item
// with its size before the move) and the items gone from it. So a folder's delta is the sum of
// its entries' deltas, a move shows on the moved item and not as shrinkage of the folder it
// left, and the sums of all changes equal the change of the totals (the top folder's row).

#include "analysis/AnalysisOrigin.h"
#include "analysis/AnalysisTree.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace saved {

enum class TChange : uint8_t { Same, Grown, Shrunk, New, Gone, Moved, Unknown };

// "same", "grown", "shrunk", "new", "gone", "moved", "unknown".
const char* ChangeName(TChange change);

struct TCompared {
    int64_t OldSize = 0;
    int64_t NewSize = 0;
    uint32_t OldFiles = 0;
    uint32_t NewFiles = 0;
    TChange State = TChange::Unknown;
    analysis::PNode OldNode = analysis::PNode::None; // for Moved: the item before the move
    analysis::PNode NewNode = analysis::PNode::None; // None for a gone item
    int64_t Delta() const { return State == TChange::Unknown ? 0 : NewSize - OldSize; }
};

struct TCompareOptions {
    // Called now and then with the work done so far (0..1000); returning false cancels.
    std::function<bool(int permille)> Progress;
};

class TComparison {
public:
    // Compares; false when cancelled (the comparison is then empty). Both trees must outlive
    // the comparison and stay unchanged while it is looked at.
    bool Run(const analysis::TAnalysisTree& oldTree, const analysis::TAnalysisSummary& oldSummary,
             const analysis::TAnalysisTree& newTree, const analysis::TAnalysisSummary& newSummary,
             const TCompareOptions& options = {});

    // The row of a node of the NEW tree.
    TCompared ForNew(analysis::PNode newNode) const;
    // The row of a node of the OLD tree: a gone item's, or the row of its counterpart.
    TCompared ForOld(analysis::PNode oldNode) const;
    // The row of the two top folders: the totals compared.
    TCompared Totals() const {
        return ForNew(newTree_ ? newTree_->GetFirst() : analysis::PNode::None);
    }
    // Every gone item (each node of a gone subtree), in the OLD tree's order.
    const std::vector<analysis::PNode>& GoneNodes() const { return gone_; }
    // The unknown items of the OLD tree without a counterpart (what an incomplete new side
    // lacks), in the OLD tree's order.
    const std::vector<analysis::PNode>& UnknownOldNodes() const { return unknownOld_; }

    // Whether moves were looked for (both sides carry the same file-system identity).
    bool MovesMatched() const { return movesMatched_; }
    // Whether a side may miss items anywhere (see above).
    bool OldPartial() const { return oldPartial_; }
    bool NewPartial() const { return newPartial_; }

    // Bytes the comparison holds beside the two trees.
    size_t MemoryBytes() const;

private:
    struct Figures {
        int64_t oldSize = 0;
        int64_t newSize = 0;
        uint32_t oldFiles = 0;
        uint32_t newFiles = 0;
    };
    // Per node of one side: its counterpart, its state and, for folders, where its sums are.
    struct Side {
        std::vector<uint32_t> other;
        std::vector<uint32_t> slot; // into figures_, folders only
        std::vector<TChange> state;
        void Reset(size_t n);
    };
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    void clear();
    void matchByPath(uint32_t oldFolder, uint32_t newFolder, std::vector<uint32_t>& folders);
    void markUnknown(const analysis::TAnalysisTree& tree, Side& side, uint32_t top);
    void matchMoves();
    void settle();
    Figures fileFigures(bool newSide, uint32_t i) const;
    void sum();

    const analysis::TAnalysisTree* oldTree_ = nullptr;
    const analysis::TAnalysisTree* newTree_ = nullptr;
    Side old_, new_;
    std::vector<Figures> figures_;
    std::vector<analysis::PNode> gone_;
    std::vector<analysis::PNode> unknownOld_;
    bool movesMatched_ = false;
    bool oldPartial_ = false;
    bool newPartial_ = false;
};

} // namespace saved
