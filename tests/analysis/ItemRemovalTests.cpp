// Taking items out of an analysis: on random trees and random removals, every remaining
// folder's size and counts and the engine's totals equal a count of the reduced tree made from
// scratch, including folders whose size reached the limit and entries the walk counted without
// a node.

#include "EngineFixture.h"

#include "analysis/AnalysisTree.h"
#include "analysis/ItemRemoval.h"
#include "analysis/nogui_Orbisca.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using analysis::PNode;
using analysis::TAnalysisTree;
using analysis::TNodeData;

namespace {

// The tree as the walk would have left it, kept beside the analysis tree: for every node its
// parent, kind, size and (folders) the entries the walk counted that have no node.
struct Model {
    struct Entry {
        int parent = -1;
        bool folder = false;
        int64_t size = 0;
        uint32_t phantoms = 0; // skipped subfolders (junctions): counted once, no node
        bool visible = true;
        bool removed = false;
        PNode node = PNode::None;
    };
    std::vector<Entry> entries;
    std::vector<std::vector<int>> children;

    bool live(int i) const {
        for (; i >= 0; i = entries[size_t(i)].parent)
            if (entries[size_t(i)].removed)
                return false;
        return true;
    }
    // Totals of a folder below it, counted from scratch.
    struct Totals {
        int64_t size = 0;
        uint32_t folders = 0, files = 0;
    };
    Totals count(int folder) const {
        Totals t;
        t.folders = entries[size_t(folder)].phantoms;
        for (int i : children[size_t(folder)]) {
            const Entry& e = entries[size_t(i)];
            if (e.removed)
                continue;
            if (e.folder) {
                const Totals c = count(i);
                t.size = analysis::AddSizes(t.size, c.size);
                t.folders += 1 + c.folders;
                t.files += c.files;
            } else {
                t.size = analysis::AddSizes(t.size, e.size);
                t.files += 1;
            }
        }
        return t;
    }
    int64_t visibleFiles() const {
        int64_t sum = 0;
        for (size_t i = 0; i < entries.size(); ++i)
            if (!entries[i].folder && entries[i].visible && live(int(i)))
                sum = analysis::AddSizes(sum, entries[i].size);
        return sum;
    }
};

class ItemRemoval : public EngineFixture {
protected:
    // A random tree of about n nodes, counted as a scan counts it; with huge sizes some folder
    // sums reach the limit.
    void build(std::mt19937& random, int n, bool hugeSizes) {
        model.entries.clear();
        model.children.assign(1, {});
        tree.Clear();
        model.entries.push_back({-1, true});
        model.entries[0].node = tree.AddChild(PNode::None, folder("M:\\"));
        std::vector<int> folders{0};
        for (int i = 1; i < n; ++i) {
            const int parent = folders[random() % folders.size()];
            Model::Entry e;
            e.parent = parent;
            e.folder = random() % 4 == 0;
            e.phantoms = e.folder && random() % 7 == 0 ? 1 + random() % 2 : 0;
            e.size = e.folder                          ? 0
                     : hugeSizes && random() % 50 == 0 ? analysis::kMaxSize / 3 + int64_t(random())
                                                       : int64_t(random() % 100000);
            const QString path = tree.Path(model.entries[size_t(parent)].node) +
                                 (parent == 0 ? "" : "\\") + QStringLiteral("n%1").arg(i);
            e.node = tree.AddChild(model.entries[size_t(parent)].node,
                                   e.folder ? folder(path) : file(path, e.size));
            model.entries.push_back(e);
            model.children.emplace_back();
            model.children[size_t(parent)].push_back(i);
            if (e.folder)
                folders.push_back(i);
        }
        // The walk's direct counts, then the three passes and the totals as a scan sets them.
        for (size_t i = 0; i < model.entries.size(); ++i) {
            const Model::Entry& e = model.entries[i];
            if (!e.folder)
                continue;
            uint32_t dirs = e.phantoms, files = 0;
            for (int c : model.children[i])
                (model.entries[size_t(c)].folder ? dirs : files) += 1;
            tree.SetFolderCount(e.node, dirs);
            tree.SetFileCount(e.node, files);
        }
        const PNode root = tree.GetFirst();
        engine->CountDirsInTree(&tree, root);
        engine->CountFilesInTree(&tree, root);
        engine->CountSizeInTree(&tree, root);
        engine->SetTotals(tree.Size(root), tree.FileCount(root), tree.FolderCount(root) + 1);
        // A filter that shows some files only.
        for (Model::Entry& e : model.entries) {
            e.visible = !e.folder && random() % 3 == 0;
            tree.SetVisible(e.node, e.visible);
        }
        filterTotal = model.visibleFiles();
    }

    void expectCountedFromScratch() {
        for (size_t i = 0; i < model.entries.size(); ++i) {
            const Model::Entry& e = model.entries[i];
            if (!e.folder || !model.live(int(i)))
                continue;
            const Model::Totals t = model.count(int(i));
            SCOPED_TRACE(tree.Path(e.node).toStdString());
            ASSERT_EQ(tree.Size(e.node), t.size);
            ASSERT_EQ(tree.FolderCount(e.node), t.folders);
            ASSERT_EQ(tree.FileCount(e.node), t.files);
        }
        const Model::Totals all = model.count(0);
        EXPECT_EQ(engine->TotalSize(), all.size);
        EXPECT_EQ(engine->TotalFiles(), all.files);
        EXPECT_EQ(engine->TotalFolders(), all.folders + 1);
        EXPECT_EQ(filterTotal, model.visibleFiles());
        size_t liveNodes = 0;
        for (size_t i = 0; i < model.entries.size(); ++i)
            liveNodes += model.live(int(i)) ? 1 : 0;
        EXPECT_EQ(tree.NodeCount(), liveNodes);
    }

    static TNodeData folder(const QString& path) {
        TNodeData d;
        d.Path = path;
        d.IsFolder = 1;
        return d;
    }
    static TNodeData file(const QString& path, int64_t size) {
        TNodeData d;
        d.Path = path;
        d.Size = size;
        return d;
    }

    Model model;
    int64_t filterTotal = 0; // of the filter build() sets up
};

TEST_F(ItemRemoval, TotalsEqualACountOfTheReducedTree) {
    for (const bool huge : {false, true}) {
        for (unsigned seed = 1; seed <= 6; ++seed) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << (huge ? ", huge sizes" : ""));
            std::mt19937 random(seed);
            build(random, 600, huge);
            if (huge) {
                ASSERT_EQ(tree.Size(tree.GetFirst()), analysis::kMaxSize) << "the limit is reached";
            }
            for (int round = 0; round < 5; ++round) {
                // Random items, now and then one inside another, in random order.
                std::vector<PNode> items;
                std::vector<int> picked;
                for (int k = 0; k < 12; ++k) {
                    const int i = 1 + int(random() % (model.entries.size() - 1));
                    if (!model.live(i))
                        continue;
                    items.push_back(model.entries[size_t(i)].node);
                    picked.push_back(i);
                }
                std::shuffle(items.begin(), items.end(), random);
                const analysis::TRemovedTotals removed =
                    analysis::RemoveItems(*engine, items, &filterTotal);
                // Expected: the distinct items with no picked folder above them.
                std::sort(picked.begin(), picked.end());
                picked.erase(std::unique(picked.begin(), picked.end()), picked.end());
                size_t outermost = 0;
                for (int i : picked) {
                    bool inside = false;
                    for (int p = model.entries[size_t(i)].parent; p >= 0;
                         p = model.entries[size_t(p)].parent)
                        inside = inside || std::binary_search(picked.begin(), picked.end(), p);
                    outermost += inside ? 0 : 1;
                }
                for (int i : picked)
                    model.entries[size_t(i)].removed = true;
                EXPECT_EQ(removed.Items, outermost);
                expectCountedFromScratch();
                if (HasFatalFailure())
                    return;
            }
        }
    }
}

TEST_F(ItemRemoval, AFileInTheRootAndTheLastItemOfAFolder) {
    // M:\ { f 10, D { g 5 }, junction (no node) }
    const PNode root = tree.AddChild(PNode::None, folder("M:\\"));
    const PNode f = tree.AddChild(root, file("M:\\f", 10));
    const PNode d = tree.AddChild(root, folder("M:\\D"));
    const PNode g = tree.AddChild(d, file("M:\\D\\g", 5));
    tree.SetFolderCount(root, 2); // D and the junction
    tree.SetFileCount(root, 1);
    tree.SetFileCount(d, 1);
    engine->CountDirsInTree(&tree, root);
    engine->CountFilesInTree(&tree, root);
    engine->CountSizeInTree(&tree, root);
    engine->SetTotals(15, 2, 3);

    analysis::RemoveItems(*engine, {f});
    EXPECT_EQ(tree.Size(root), 5);
    EXPECT_EQ(tree.FileCount(root), 1u);
    EXPECT_EQ(engine->TotalSize(), 5);
    EXPECT_EQ(engine->TotalFiles(), 1u);
    EXPECT_EQ(engine->TotalFolders(), 3u);

    analysis::RemoveItems(*engine, {g});
    EXPECT_EQ(tree.Size(d), 0);
    EXPECT_EQ(tree.FileCount(d), 0u);
    EXPECT_EQ(tree.GetFirstChild(d), PNode::None);
    EXPECT_EQ(tree.Size(root), 0);
    EXPECT_EQ(tree.FolderCount(root), 2u);
    EXPECT_EQ(engine->TotalFiles(), 0u);

    const analysis::TRemovedTotals removed = analysis::RemoveItems(*engine, {d});
    EXPECT_EQ(removed.Folders, 1u);
    EXPECT_EQ(tree.FolderCount(root), 1u) << "the junction is still counted";
    EXPECT_EQ(engine->TotalFolders(), 2u);
    EXPECT_EQ(tree.NodeCount(), 1u);
    // No filter: no total was given to change.
    EXPECT_EQ(filterTotal, 0);
}

// A node that left the tree, by itself or with a folder above it, is no node of it any more: the
// tree refuses to delete it again (which read beyond the nodes before) and finds do not return
// it, and a later removal skips it instead of taking its share off a second time.
TEST_F(ItemRemoval, NodesNoLongerInTheTreeAreRefused) {
    // M:\ { D { E { g 5 }, h 7 }, f 10 }
    const PNode root = tree.AddChild(PNode::None, folder("M:\\"));
    const PNode d = tree.AddChild(root, folder("M:\\D"));
    const PNode e = tree.AddChild(d, folder("M:\\D\\E"));
    const PNode g = tree.AddChild(e, file("M:\\D\\E\\g", 5));
    const PNode h = tree.AddChild(d, file("M:\\D\\h", 7));
    const PNode f = tree.AddChild(root, file("M:\\f", 10));
    tree.SetFolderCount(root, 1);
    tree.SetFileCount(root, 1);
    tree.SetFolderCount(d, 1);
    tree.SetFileCount(d, 1);
    tree.SetFileCount(e, 1);
    engine->CountDirsInTree(&tree, root);
    engine->CountFilesInTree(&tree, root);
    engine->CountSizeInTree(&tree, root);
    engine->SetTotals(22, 3, 3);

    EXPECT_EQ(analysis::RemoveItems(*engine, {e}).Items, 1u);
    for (PNode gone : {e, g}) {
        EXPECT_FALSE(tree.Contains(gone));
        EXPECT_FALSE(tree.DeleteNode(gone)) << "deleted already, or inside what was";
    }
    for (PNode none : {PNode::None, static_cast<PNode>(1000)}) {
        EXPECT_FALSE(tree.Contains(none));
        EXPECT_FALSE(tree.DeleteNode(none));
    }
    EXPECT_EQ(engine->FindRootNodeForDir("M:\\D\\E"), PNode::None);
    EXPECT_EQ(engine->FindNodeForThis(0, "M:\\D\\E\\g"), PNode::None);
    EXPECT_EQ(tree.NodeCount(), 4u);
    EXPECT_EQ(tree.GetFirstChild(d), h);
    EXPECT_TRUE(tree.Contains(h));
    EXPECT_EQ(tree.Size(root), 17);
    EXPECT_EQ(tree.FolderCount(root), 1u);

    // Asked again with what is there: what went is skipped, the rest goes once.
    const analysis::TRemovedTotals removed = analysis::RemoveItems(*engine, {g, e, f, f, h});
    EXPECT_EQ(removed.Items, 2u);
    EXPECT_EQ(tree.Size(root), 0);
    EXPECT_EQ(tree.FileCount(root), 0u);
    EXPECT_EQ(tree.FolderCount(root), 1u);
    EXPECT_EQ(tree.FolderCount(d), 0u);
    EXPECT_EQ(engine->TotalSize(), 0);
    EXPECT_EQ(engine->TotalFiles(), 0u);
    EXPECT_EQ(engine->TotalFolders(), 2u);
    EXPECT_EQ(tree.NodeCount(), 2u);
}

// Many nodes at once: the folders keep the others in their order and can take new children.
TEST_F(ItemRemoval, DeleteNodesKeepsTheOthersInOrder) {
    const PNode root = tree.AddChild(PNode::None, folder("M:\\"));
    std::vector<PNode> c;
    for (int i = 0; i < 8; ++i)
        c.push_back(tree.AddChild(root, file(QStringLiteral("M:\\c%1").arg(i), i)));
    const PNode sub = tree.AddChild(root, folder("M:\\sub"));
    const PNode inner = tree.AddChild(sub, file("M:\\sub\\inner", 1));
    const PNode top2 = tree.AddChild(PNode::None, folder("N:\\"));
    const PNode top3 = tree.AddChild(PNode::None, folder("O:\\"));
    ASSERT_TRUE(tree.DeleteNode(c[3]));

    // The first and last child, ones between, a folder with a node inside it given as well, a
    // node given twice, a node gone before, and a top-level node.
    EXPECT_EQ(tree.DeleteNodes({c[7], inner, c[0], c[3], sub, c[5], c[5], top3}), 5u);
    QStringList left;
    for (PNode n = tree.GetFirstChild(root); n != PNode::None; n = tree.GetNextSibling(n))
        left << tree.Path(n);
    EXPECT_EQ(left, QStringList({"M:\\c1", "M:\\c2", "M:\\c4", "M:\\c6"}));
    EXPECT_EQ(tree.GetNextSibling(tree.GetFirst()), top2);
    EXPECT_EQ(tree.GetNextSibling(top2), PNode::None);
    EXPECT_EQ(tree.NodeCount(), 6u);
    for (PNode n : {c[0], c[5], c[7], sub, inner, top3})
        EXPECT_FALSE(tree.Contains(n));
    // New children go after the last one kept.
    const PNode added = tree.AddChild(root, file("M:\\new", 1));
    const PNode addedTop = tree.AddChild(PNode::None, folder("P:\\"));
    EXPECT_EQ(tree.GetNextSibling(c[6]), added);
    EXPECT_EQ(tree.GetNextSibling(top2), addedTop);
    EXPECT_EQ(tree.DeleteNodes({}), 0u);
}

} // namespace
