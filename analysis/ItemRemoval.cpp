#include "analysis/ItemRemoval.h"

#include "analysis/nogui_Orbisca.h"

#include <algorithm>
#include <unordered_map>
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

TRemovedTotals RemoveItems(TOrbisca& engine, const std::vector<PNode>& items,
                           int64_t* filterTotal) {
    TRemovedTotals removed;
    TAnalysisTree* tree = engine.FTree;
    if (!tree)
        return removed;
    const bool filtered = filterTotal != nullptr;
    const bool filterTotalLost = filtered && saturated(*filterTotal);
    // The items: nodes of the tree, each once, none inside another one given (it goes with that
    // one, whichever comes first).
    std::unordered_set<PNode> given;
    for (PNode item : items) {
        if (tree->Contains(item))
            given.insert(item);
    }
    std::unordered_set<PNode> taken;
    std::vector<PNode> batch;
    std::vector<PNode> ancestors;
    // Folders whose size reached the limit, with their depth: summed again once the items are
    // out, the deepest first.
    std::unordered_map<PNode, size_t> resum;
    for (PNode item : items) {
        if (!given.count(item) || taken.count(item))
            continue;
        // The folders above, nearest first.
        ancestors.clear();
        bool inside = false;
        for (PNode p = tree->GetParent(item); p != PNode::None && !inside; p = tree->GetParent(p)) {
            inside = given.count(p) > 0;
            ancestors.push_back(p);
        }
        if (inside)
            continue;
        taken.insert(item);
        batch.push_back(item);

        const bool folder = tree->IsFolder(item);
        const int64_t size = tree->Size(item);
        // Counts are 32-bit and wrap as the count pass adds them, so subtracting undoes exactly.
        const uint32_t files = folder ? tree->FileCount(item) : 1u;
        const uint32_t folders = folder ? tree->FolderCount(item) + 1u : 0u;
        if (filtered && !filterTotalLost)
            *filterTotal -= visibleFileSize(*tree, item);
        for (size_t k = 0; k < ancestors.size(); ++k) {
            const PNode a = ancestors[k];
            tree->SetFileCount(a, tree->FileCount(a) - files);
            tree->SetFolderCount(a, tree->FolderCount(a) - folders);
            // A sum that stayed below the limit is exact, so the item's share comes off; one
            // that reached it is summed again from its children later.
            if (saturated(tree->Size(a)))
                resum.emplace(a, ancestors.size() - k);
            else
                tree->SetSize(a, tree->Size(a) - size);
        }
        ++removed.Items;
        removed.Size = AddSizes(removed.Size, size);
        removed.Files += files;
        removed.Folders += folders;
        engine.SetTotals(engine.TotalSize(),
                         engine.TotalFiles() - std::min<uint32_t>(engine.TotalFiles(), files),
                         engine.TotalFolders() -
                             std::min<uint32_t>(engine.TotalFolders(), folders));
    }
    tree->BeginUpdate();
    // One pass over the children of each folder that loses some, however many.
    tree->DeleteNodes(batch);
    std::vector<std::pair<size_t, PNode>> deepestFirst;
    for (const auto& [folder, depth] : resum)
        deepestFirst.push_back({depth, folder});
    std::sort(deepestFirst.begin(), deepestFirst.end(),
              [](const auto& x, const auto& y) { return x.first > y.first; });
    for (const auto& [depth, folder] : deepestFirst)
        tree->SetSize(folder, sumOfChildren(*tree, folder));
    tree->EndUpdate();

    const PNode root = tree->GetFirst();
    engine.SetTotals(root == PNode::None ? 0 : tree->Size(root), engine.TotalFiles(),
                     engine.TotalFolders());
    if (filtered && filterTotalLost && removed.Items > 0)
        *filterTotal = allVisibleFileSize(*tree);
    return removed;
}

} // namespace analysis
