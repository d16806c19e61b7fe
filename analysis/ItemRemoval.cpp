#include "analysis/ItemRemoval.h"

#include "analysis/nogui_Orbisca.h"

#include <algorithm>
#include <unordered_set>

namespace analysis {
namespace {

bool saturated(int64_t size) {
    return size == kMaxSize || size == INT64_MIN;
}

// A folder's size as the size count makes it: the saturating sum of its children's sizes.
int64_t sumOfChildren(const TAnalysisTree& tree, PNode folder) {
    int64_t sum = 0;
    for (PNode c = tree.GetFirstChild(folder); c != PNode::None; c = tree.GetNextSibling(c))
        sum = AddSizes(sum, tree.Size(c));
    return sum;
}

// The sizes of the files below (and at) a node that the filter shows.
int64_t visibleFileSize(const TAnalysisTree& tree, PNode top) {
    if (!tree.IsFolder(top))
        return tree.IsVisible(top) ? tree.Size(top) : 0;
    int64_t sum = 0;
    std::vector<PNode> pending{tree.GetFirstChild(top)};
    while (!pending.empty()) {
        const PNode n = pending.back();
        if (n == PNode::None) {
            pending.pop_back();
            continue;
        }
        pending.back() = tree.GetNextSibling(n);
        if (tree.IsFolder(n))
            pending.push_back(tree.GetFirstChild(n));
        else if (tree.IsVisible(n))
            sum = AddSizes(sum, tree.Size(n));
    }
    return sum;
}

int64_t allVisibleFileSize(const TAnalysisTree& tree) {
    int64_t sum = 0;
    for (PNode n = tree.GetFirst(); n != PNode::None; n = tree.GetNext(n)) {
        if (!tree.IsFolder(n) && tree.IsVisible(n))
            sum = AddSizes(sum, tree.Size(n));
    }
    return sum;
}

} // namespace

TRemovedTotals RemoveItems(TOrbisca& engine, const std::vector<PNode>& items) {
    TRemovedTotals removed;
    TAnalysisTree* tree = engine.FTree;
    if (!tree)
        return removed;
    const bool filtered = !engine.CURRENT_FILTER.isEmpty();
    bool filterTotalLost = saturated(engine.CURRENT_FILTER_TOTALFILESIZE);
    std::unordered_set<PNode> gone;
    std::vector<PNode> ancestors;
    tree->BeginUpdate();
    for (PNode item : items) {
        if (item == PNode::None || gone.count(item))
            continue;
        // The folders above, nearest first; an item inside one removed before it went with it.
        ancestors.clear();
        bool inside = false;
        for (PNode p = tree->GetParent(item); p != PNode::None && !inside; p = tree->GetParent(p)) {
            inside = gone.count(p) > 0;
            ancestors.push_back(p);
        }
        if (inside)
            continue;
        gone.insert(item);

        const bool folder = tree->IsFolder(item);
        const int64_t size = tree->Size(item);
        // Counts are 32-bit and wrap as the count pass adds them, so subtracting undoes exactly.
        const uint32_t files = folder ? tree->FileCount(item) : 1u;
        const uint32_t folders = folder ? tree->FolderCount(item) + 1u : 0u;
        if (filtered && !filterTotalLost)
            engine.CURRENT_FILTER_TOTALFILESIZE -= visibleFileSize(*tree, item);

        tree->DeleteNode(item);
        for (PNode a : ancestors) {
            tree->SetFileCount(a, tree->FileCount(a) - files);
            tree->SetFolderCount(a, tree->FolderCount(a) - folders);
            // A sum that stayed below the limit is exact, so the item's share comes off; one
            // that reached it is summed again from the children, whose sizes are right by now.
            if (saturated(tree->Size(a)))
                tree->SetSize(a, sumOfChildren(*tree, a));
            else
                tree->SetSize(a, tree->Size(a) - size);
        }

        ++removed.Items;
        removed.Size = AddSizes(removed.Size, size);
        removed.Files += files;
        removed.Folders += folders;
        engine.TotalFiles -= std::min<uint32_t>(engine.TotalFiles, files);
        engine.TotalFolders -= std::min<uint32_t>(engine.TotalFolders, folders);
    }
    const PNode root = tree->GetFirst();
    engine.TotalSize = root == PNode::None ? 0 : tree->Size(root);
    if (filtered && filterTotalLost && removed.Items > 0)
        engine.CURRENT_FILTER_TOTALFILESIZE = allVisibleFileSize(*tree);
    tree->EndUpdate();
    return removed;
}

} // namespace analysis
