#pragma once

// The hidden analysis tree: every folder and file of one analysis. Nodes live in one contiguous
// array linked by 32-bit indices (parent, first and last child, next sibling); a node's path is
// not stored whole but as its own segment in a shared text arena, and Path() joins the segments
// from the top. That keeps a node at 40 bytes plus its name (a byte a character for most names),
// whatever the depth.

#include "analysis/NodeData.h"
#include "analysis/PodArray.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace analysis {

enum class PNode : uint32_t { None = 0xFFFFFFFFu };

// A run of path text as the tree keeps it: a byte a code unit when every unit is below U+0100
// (most names), UTF-16 otherwise.
class TTextRun {
public:
    TTextRun() = default;
    TTextRun(const void* data, size_t length, bool wide)
        : data_(data), length_(static_cast<uint32_t>(length)), wide_(wide) {}
    size_t size() const { return length_; }
    bool empty() const { return length_ == 0; }
    bool wide() const { return wide_; }
    const void* data() const { return data_; }
    char16_t operator[](size_t i) const {
        return wide_ ? static_cast<const char16_t*>(data_)[i]
                     : static_cast<const uint8_t*>(data_)[i];
    }
    TTextRun substr(size_t from, size_t n) const {
        return {static_cast<const char*>(data_) + (wide_ ? 2 * from : from),
                std::min(n, size() - from), wide_};
    }
    void remove_suffix(size_t n) { length_ -= static_cast<uint32_t>(n); }
    void AppendTo(std::u16string& out) const {
        if (wide_) {
            out.append(static_cast<const char16_t*>(data_), length_);
        } else {
            const size_t at = out.size();
            out.resize(at + length_);
            const auto* from = static_cast<const uint8_t*>(data_);
            for (size_t i = 0; i < length_; ++i)
                out[at + i] = from[i];
        }
    }

private:
    const void* data_ = nullptr;
    uint32_t length_ = 0;
    bool wide_ = false;
};

class TAnalysisTree {
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

public:
    TAnalysisTree() = default;
    TAnalysisTree(const TAnalysisTree&) = delete;
    TAnalysisTree& operator=(const TAnalysisTree&) = delete;

    void Clear();
    // Exchanges the nodes, names and identities of two trees, so that a tree built aside (a
    // saved analysis loaded on a helper thread) replaces the shown one at once. Each tree keeps
    // its own update bracket and counts one change.
    void Swap(TAnalysisTree& other);
    bool IsEmpty() const { return firstTop_ == kNone; }
    size_t NodeCount() const { return liveCount_; }

    // Adds a child under parent (top level for PNode::None), with the record given.
    PNode AddChild(PNode parent, const TNodeData& data);
    // Removes a node with everything below it. A node that is not (or no longer) in the tree is
    // refused, with nothing changed: false.
    bool DeleteNode(PNode node);
    // Removes several nodes with everything below them; the children of each folder that loses
    // some are walked once, however many go. Nodes not in the tree, nodes given twice and nodes
    // inside another one given are skipped. Returns how many of the nodes given were removed.
    size_t DeleteNodes(const std::vector<PNode>& nodes);
    // True for a node of the tree: none of PNode::None, an index beyond the nodes, a node that
    // was deleted or one inside a folder that was.
    bool Contains(PNode n) const {
        return index(n) < nodes_.size() && !(nodes_[index(n)].flags & kDeleted);
    }

    // Scan fast paths. A top-level folder is given its walk path (with trailing backslash); a
    // subfolder and a file their names as listed (a file's name is trimmed here).
    PNode AddTopFolder(std::u16string_view walkPath);
    PNode AddFolder(PNode parent, std::u16string_view name);
    PNode AddFile(PNode parent, std::u16string_view listedName, int64_t size);

    // Navigation, in the order of the children as added.
    PNode GetFirst() const { return node(firstTop_); }
    PNode GetNext(PNode n) const; // pre-order: the node, its children, then its next sibling
    PNode GetFirstChild(PNode n) const { return node(at(n).firstChild); }
    PNode GetNextSibling(PNode n) const { return node(at(n).next); }
    PNode GetParent(PNode n) const { return node(at(n).parent); }

    // The node's record (a copy) and its fields.
    TNodeData GetNodeData(PNode n) const;
    QString Path(PNode n) const;
    QString ListedName(PNode n) const;
    int64_t Size(PNode n) const { return at(n).size; }
    uint32_t FolderCount(PNode n) const { return at(n).folderCount; }
    uint32_t FileCount(PNode n) const { return at(n).fileCount; }
    bool IsFolder(PNode n) const { return at(n).isFolder != 0; }
    int32_t ImageIndex(PNode n) const;
    void SetSize(PNode n, int64_t v) { at(n).size = v; }
    void SetFolderCount(PNode n, uint32_t v) { at(n).folderCount = v; }
    void SetFileCount(PNode n, uint32_t v) { at(n).fileCount = v; }
    void SetImageIndex(PNode n, int32_t v);

    // Which item a node stands for, as the snapshot saw it: the inode of the node's item and the
    // device (st_dev, a dev_t value) of the volume analysed; 0 where not known. An action on an
    // item first makes sure that what has its name now is still that item. A node keeps its
    // identity however the tree changes around it; the inodes cost 8 bytes a node once any is
    // set, nothing before.
    uint64_t Inode(PNode n) const { return index(n) < inodes_.size() ? inodes_[index(n)] : 0; }
    uint64_t Device() const { return device_; }
    void SetInode(PNode n, uint64_t inode);
    void SetDevice(uint64_t device) { device_ = device; }

    // Per-node visibility mark (the extension filter sets it); new nodes are visible.
    bool IsVisible(PNode n) const { return (at(n).flags & kHidden) == 0; }
    void SetVisible(PNode n, bool visible);
    void SetAllVisible(bool visible);

    // Bulk updates nest; observers see one change when the outermost update ends.
    void BeginUpdate() { ++updateDepth_; }
    void EndUpdate();
    bool IsUpdating() const { return updateDepth_ > 0; }
    uint64_t ChangeCount() const { return changes_; }

    // Size of the record reserved per node (kept for callers that configure lists alike).
    void SetNodeDataSize(size_t bytes) { nodeDataSize_ = bytes; }
    size_t NodeDataSize() const { return nodeDataSize_; }

    // First node in pre-order with the folder bit wanted whose path equals target. A node whose
    // path is exactly equal wins; otherwise the first one equal under UpperAZ.
    PNode FindByPath(QStringView target, bool folder) const;

    // Bytes held by nodes and path text (capacity), for the memory figures.
    size_t MemoryBytes() const;

    // A node's path in two pieces, for callers that handle millions of paths: the folder whose
    // walk path it extends (PNode::None when the node keeps its whole path) and its own text.
    // Path(n) is the folder's walk path followed by own.
    struct PathPieces {
        PNode folder;
        TTextRun own;
    };
    PathPieces Pieces(PNode n) const;
    // The path a folder's children extend: its own with the separating backslash.
    void AppendWalkPath(PNode folder, std::u16string& out) const {
        appendPrefix(index(folder), out);
    }

    // Builds many paths fast: the walk path of the last parent met is kept, so siblings taken
    // one after another cost only their own names. With upperCase the paths come out as the
    // name order compares them (UpperForCompareInPlace).
    class PathBuilder {
    public:
        explicit PathBuilder(const TAnalysisTree& tree, bool upperCase = false)
            : tree_(tree), upper_(upperCase) {}
        void Append(PNode n, std::u16string& out);

    private:
        const TAnalysisTree& tree_;
        bool upper_;
        uint32_t parent_ = kNone;
        std::u16string prefix_;
    };

private:
    enum : uint8_t {
        kHidden = 1,
        kAbsolute = 2,
        kDeleted = 4,
        kTrimmed = 8,
        kImage = 16,
        kWide = 32,
        kLeaving = 64 // chosen for removal by DeleteNodes, not yet unlinked
    };

    // 40 bytes. A node's text ends where the next node's begins (text is only ever appended,
    // UTF-16 text after a byte of padding when it would start at an odd offset), and the rare
    // picture number of a node lives beside the array.
    struct Node {
        uint32_t parent = kNone;
        uint32_t firstChild = kNone;
        uint32_t lastChild = kNone;
        uint32_t next = kNone;
        uint32_t segOffset = 0; // into text_
        uint32_t folderCount = 0;
        int64_t size = 0;
        uint32_t fileCount = 0;
        uint8_t isFolder = 0;
        uint8_t flags = 0;
    };

    static PNode node(uint32_t i) { return static_cast<PNode>(i); }
    static uint32_t index(PNode n) { return static_cast<uint32_t>(n); }
    Node& at(PNode n) { return nodes_[index(n)]; }
    const Node& at(PNode n) const { return nodes_[index(n)]; }

    uint32_t appendNode(PNode parent, uint8_t isFolder, std::u16string_view segment, uint8_t flags);
    // Marks a node and everything below it deleted and releases what they own.
    void release(uint32_t top);
    TTextRun segment(uint32_t i) const {
        const uint32_t end =
            i + 1 < nodes_.size() ? nodes_[i + 1].segOffset : static_cast<uint32_t>(text_.size());
        const uint32_t start = nodes_[i].segOffset;
        if (!(nodes_[i].flags & kWide))
            return {text_.data() + start, end - start, false};
        const uint32_t aligned = (start + 1) & ~1u;
        return {text_.data() + aligned, (end - aligned) / 2, true};
    }
    // Appends text in the encoding of the node just added.
    void appendText(std::u16string_view text, bool wide);
    // The walk path of a folder's children: its path with a trailing backslash.
    void appendPrefix(uint32_t folder, std::u16string& out) const;
    void markChanged() {
        if (updateDepth_ > 0)
            pendingChange_ = true;
        else
            ++changes_;
    }

    PodArray<Node> nodes_;
    PodArray<uint8_t> text_;
    PodArray<uint64_t> inodes_; // by node index; nodes beyond its end have none
    uint64_t device_ = 0;
    std::unordered_map<uint32_t, QString> listedNames_;
    std::unordered_map<uint32_t, int32_t> images_;
    uint32_t firstTop_ = kNone;
    uint32_t lastTop_ = kNone;
    size_t liveCount_ = 0;
    int updateDepth_ = 0;
    bool pendingChange_ = false;
    bool irregular_ = false; // some node's path does not extend its parent's: no pruning in finds
    uint64_t changes_ = 0;
    size_t nodeDataSize_ = sizeof(TNodeData);
};

} // namespace analysis
