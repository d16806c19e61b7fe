// The analysis tree and the count passes on trees built by hand.

#include "EngineFixture.h"

#include "analysis/AnalysisTree.h"
#include "analysis/nogui_Orbisca.h"

#include <gtest/gtest.h>

#include <QStringList>

using analysis::PNode;
using analysis::TAnalysisTree;
using analysis::TNodeData;

namespace {

TNodeData folder(const QString& path, uint32_t dirs = 0, uint32_t files = 0) {
    TNodeData d;
    d.Path = path;
    d.IsFolder = 1;
    d.FolderCount = dirs;
    d.FileCount = files;
    return d;
}

TNodeData file(const QString& path, int64_t size) {
    TNodeData d;
    d.Path = path;
    d.Size = size;
    return d;
}

using TreeTest = EngineFixture;

TEST_F(TreeTest, CountPassesTurnDirectCountsIntoSubtreeTotals) {
    // Root with subfolders A and B; A has subfolder C. The walk stored 2, 1, 0, 0.
    const PNode root = tree.AddChild(PNode::None, folder("C:\\", 2, 2));
    tree.AddChild(root, file("C:\\f10", 10));
    const PNode a = tree.AddChild(root, folder("C:\\A", 1, 0));
    const PNode c = tree.AddChild(a, folder("C:\\A\\C", 0, 1));
    tree.AddChild(c, file("C:\\A\\C\\f5", 5));
    const PNode b = tree.AddChild(root, folder("C:\\B", 0, 0));
    tree.AddChild(root, file("C:\\f20", 20));
    tree.SetSize(root, 999); // sizes are replaced, not added to

    EXPECT_EQ(engine->CountDirsInTree(&tree, root), 3u);
    EXPECT_EQ(engine->CountFilesInTree(&tree, root), 3u);
    EXPECT_EQ(engine->CountSizeInTree(&tree, root), 35);
    EXPECT_EQ((std::vector<uint32_t>{tree.FolderCount(root), tree.FolderCount(a),
                                     tree.FolderCount(c), tree.FolderCount(b)}),
              (std::vector<uint32_t>{3, 1, 0, 0}));
    EXPECT_EQ(tree.FileCount(a), 1u);
    EXPECT_EQ(tree.Size(a), 5);
    EXPECT_EQ(tree.Size(c), 5);
    EXPECT_EQ(tree.Size(b), 0);
    EXPECT_EQ(tree.Size(root), 35);
    // A file as start node keeps its size.
    EXPECT_EQ(engine->CountSizeInTree(&tree, tree.GetFirstChild(root)), 10);
    EXPECT_EQ(tree.Size(tree.GetFirstChild(root)), 10);
}

TEST_F(TreeTest, NavigationIsPreOrderInInsertionOrder) {
    const PNode root = tree.AddChild(PNode::None, folder("C:\\"));
    const PNode a = tree.AddChild(root, folder("C:\\A"));
    tree.AddChild(a, file("C:\\A\\1", 1));
    tree.AddChild(root, file("C:\\2", 2));
    const PNode b = tree.AddChild(root, folder("C:\\B"));
    tree.AddChild(b, file("C:\\B\\3", 3));
    QStringList order;
    for (PNode n = tree.GetFirst(); n != PNode::None; n = tree.GetNext(n))
        order << tree.Path(n);
    EXPECT_EQ(order, (QStringList{"C:\\", "C:\\A", "C:\\A\\1", "C:\\2", "C:\\B", "C:\\B\\3"}));
    EXPECT_EQ(tree.GetParent(b), root);
    EXPECT_EQ(tree.GetNextSibling(b), PNode::None);
    EXPECT_EQ(tree.NodeCount(), 6u);
}

TEST_F(TreeTest, DeleteNodeRemovesTheSubtreeAndKeepsSiblingsLinked) {
    const PNode root = tree.AddChild(PNode::None, folder("C:\\"));
    const PNode a = tree.AddChild(root, folder("C:\\A"));
    tree.AddChild(a, file("C:\\A\\1", 1));
    const PNode mid = tree.AddChild(root, file("C:\\2", 2));
    const PNode last = tree.AddChild(root, file("C:\\3", 3));
    tree.DeleteNode(mid);
    tree.DeleteNode(last);
    tree.AddChild(root, file("C:\\4", 4)); // appends after the new last child
    tree.DeleteNode(a);
    QStringList order;
    for (PNode n = tree.GetFirst(); n != PNode::None; n = tree.GetNext(n))
        order << tree.Path(n);
    EXPECT_EQ(order, (QStringList{"C:\\", "C:\\4"}));
    EXPECT_EQ(tree.NodeCount(), 2u);
    EXPECT_EQ(engine->FindNodeForThis(0, "C:\\A\\1"), PNode::None);
    EXPECT_EQ(engine->CountSizeInTree(&tree, root), 4);
    tree.Clear();
    EXPECT_TRUE(tree.IsEmpty());
    EXPECT_EQ(tree.NodeCount(), 0u);
}

TEST_F(TreeTest, RecordsRoundTripThroughTheTree) {
    const PNode root = tree.AddChild(PNode::None, folder("D:\\"));
    TNodeData d = file("D:\\odd name", 42);
    d.ImageIndex = 5;
    d.ListedName = " odd name";
    const PNode n = tree.AddChild(root, d);
    const TNodeData back = tree.GetNodeData(n);
    EXPECT_EQ(back.Path, d.Path);
    EXPECT_EQ(back.Size, 42);
    EXPECT_EQ(back.ImageIndex, 5);
    EXPECT_EQ(back.IsFolder, 0);
    EXPECT_EQ(analysis::ListedPath(back), "D:\\ odd name");
    // A path that does not extend its parent's is kept as given, and still found.
    const PNode stray = tree.AddChild(root, folder("E:\\elsewhere"));
    EXPECT_EQ(tree.Path(stray), "E:\\elsewhere");
    EXPECT_EQ(engine->FindRootNodeForDir("e:\\ELSEWHERE"), stray);
    EXPECT_EQ(engine->FindNodeForThis(0, "d:\\ODD NAME"), n);
    EXPECT_EQ(tree.NodeDataSize(), sizeof(TNodeData));
}

TEST_F(TreeTest, LargeTreesKeepEveryNodeAndPathAsTheyGrow) {
    // Enough nodes and text for the storage to leave the heap and grow several times by moving
    // its pages; every path read back afterwards (and found), and the same again after a Clear.
    // Each node's path is also its two pieces: the walk path of the folder it extends and its
    // own text.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        tree.Clear();
        std::vector<std::pair<PNode, QString>> expected;
        const PNode top = tree.AddTopFolder(u"C:\\");
        expected.push_back({top, "C:\\"});
        std::vector<std::pair<PNode, QString>> folders{{top, "C:\\"}};
        for (int i = 0; i < 120000; ++i) {
            const auto& [parent, path] = folders[size_t(i * 7919) % folders.size()];
            // Names of every kind of storage: bytes, bytes beyond ASCII, and UTF-16 (of odd and
            // even lengths, so that some start at odd offsets).
            const QString name = i % 5 == 0   ? QString::fromUtf16(u"entry %1 \u0100\u0101").arg(i)
                                 : i % 5 == 1 ? QString::fromUtf16(u"\u00e9ntry %1").arg(i)
                                 : i % 5 == 2 ? QString::fromUtf16(u"\U0001F600 %1").arg(i)
                                              : QStringLiteral("entry %1 of a longer name").arg(i);
            const std::u16string name16 = name.toStdU16String();
            if (i % 9 == 0) {
                const PNode f = tree.AddFolder(parent, name16);
                const QString p = (path.size() > 3 ? path + '\\' : path) + name;
                expected.push_back({f, p});
                folders.push_back({f, p});
            } else {
                const PNode f = tree.AddFile(parent, name16, i);
                expected.push_back({f, (path.size() > 3 ? path + '\\' : path) + name});
            }
        }
        ASSERT_EQ(tree.NodeCount(), expected.size());
        for (size_t k = 0; k < expected.size(); ++k) {
            const auto& [n, path] = expected[k];
            ASSERT_EQ(tree.Path(n), path);
            if (k % 997 == 0) { // found under another case of a to z
                QString lower = path;
                for (QChar& c : lower)
                    if (c >= u'A' && c <= u'Z')
                        c = QChar(c.unicode() + 32);
                ASSERT_EQ(engine->FindNodeForThis(tree.IsFolder(n) ? 1 : 0, lower), n)
                    << path.toStdString();
            }
            const TAnalysisTree::PathPieces pieces = tree.Pieces(n);
            std::u16string joined;
            if (pieces.folder != PNode::None)
                tree.AppendWalkPath(pieces.folder, joined);
            pieces.own.AppendTo(joined);
            ASSERT_EQ(QString::fromStdU16String(joined), path);
        }
        EXPECT_EQ(tree.Size(expected.back().first), 119999);
    }
    // Records added whole, and a path that extends nothing, in pieces too.
    tree.Clear();
    const PNode root = tree.AddChild(PNode::None, folder("D:\\"));
    const PNode sub = tree.AddChild(root, folder("D:\\sub"));
    const PNode stray = tree.AddChild(sub, folder("E:\\x"));
    const PNode leaf = tree.AddChild(sub, file("D:\\sub\\f", 1));
    for (PNode n : {root, sub, stray, leaf}) {
        const TAnalysisTree::PathPieces pieces = tree.Pieces(n);
        std::u16string joined;
        if (pieces.folder != PNode::None)
            tree.AppendWalkPath(pieces.folder, joined);
        pieces.own.AppendTo(joined);
        EXPECT_EQ(QString::fromStdU16String(joined), tree.Path(n));
    }
}

TEST_F(TreeTest, IdentitiesStayWithTheirNodes) {
    // Enough nodes for the inodes to leave the heap and grow by moving their pages; the first
    // inode is set only at the 1000th node (the ones before have none), a few nodes never get
    // one, and removals, growth and a Clear take nothing from the nodes that stay.
    constexpr uint32_t kNodes = 300000;
    const auto inodeOf = [](uint32_t i) -> uint64_t {
        return i < 1000 || i % 7 == 0 ? 0 : (uint64_t{i} << 33) + i;
    };
    const PNode top = tree.AddTopFolder(u"C:\\");
    tree.SetDevice(0x10300000042ull);
    std::vector<PNode> nodes{top};
    PNode folder = top;
    for (uint32_t i = 1; i < kNodes; ++i) {
        const std::u16string name = u"n" + QString::number(i).toStdU16String();
        const PNode n = i % 50 == 0 ? tree.AddFolder(top, name) : tree.AddFile(folder, name, 1);
        if (i % 50 == 0)
            folder = n;
        tree.SetInode(n, inodeOf(i));
        nodes.push_back(n);
    }
    tree.SetInode(nodes[5], 0); // none, and still none
    EXPECT_EQ(tree.Inode(PNode::None), 0u);
    std::vector<PNode> leaving;
    for (uint32_t i = 50; i < kNodes; i += 5000)
        leaving.push_back(nodes[i]); // folders, with their files
    ASSERT_EQ(tree.DeleteNodes(leaving), leaving.size());
    ASSERT_TRUE(tree.DeleteNode(nodes[kNodes - 1]));
    for (uint32_t i = 0; i < kNodes; ++i) {
        if (tree.Contains(nodes[i])) {
            ASSERT_EQ(tree.Inode(nodes[i]), inodeOf(i)) << i;
        }
    }
    EXPECT_LT(tree.NodeCount(), size_t{kNodes} - leaving.size() * 49);
    EXPECT_EQ(tree.Device(), 0x10300000042ull);
    EXPECT_GE(tree.MemoryBytes(), size_t{kNodes} * (40 + 8));

    tree.Clear();
    EXPECT_EQ(tree.Device(), 0u);
    const PNode again = tree.AddTopFolder(u"D:\\");
    const PNode child = tree.AddFile(again, u"x", 1);
    EXPECT_EQ(tree.Inode(again), 0u);
    EXPECT_EQ(tree.Inode(child), 0u);
    tree.SetInode(child, 77);
    EXPECT_EQ(tree.Inode(again), 0u);
    EXPECT_EQ(tree.Inode(child), 77u);
}

TEST_F(TreeTest, SwapExchangesWholeTreesAndEachCountsAChange) {
    // One tree large enough for its arrays to be mappings of their own, one on the heap.
    const PNode top = tree.AddTopFolder(u"C:\\");
    tree.SetDevice(7);
    for (int i = 0; i < 100000; ++i)
        tree.SetInode(tree.AddFile(top, u"f" + QString::number(i).toStdU16String(), i), i + 1);
    tree.AddFile(top, u" trimmed ", 1);
    TAnalysisTree other;
    const PNode otherTop = other.AddTopFolder(u"D:\\");
    other.AddFile(otherTop, u"only", 5);
    const uint64_t changes = tree.ChangeCount(), otherChanges = other.ChangeCount();

    tree.Swap(other);
    EXPECT_EQ(tree.NodeCount(), 2u);
    EXPECT_EQ(tree.Path(tree.GetFirstChild(tree.GetFirst())), "D:\\only");
    EXPECT_EQ(tree.Device(), 0u);
    EXPECT_EQ(other.NodeCount(), 100002u);
    EXPECT_EQ(other.Device(), 7u);
    PNode last = other.GetFirstChild(other.GetFirst());
    while (other.GetNextSibling(last) != PNode::None)
        last = other.GetNextSibling(last);
    EXPECT_EQ(other.ListedName(last), " trimmed ");
    EXPECT_EQ(other.Inode(other.GetNextSibling(other.GetFirstChild(other.GetFirst()))), 2u);
    EXPECT_EQ(tree.ChangeCount(), changes + 1);
    EXPECT_EQ(other.ChangeCount(), otherChanges + 1);
    // Both go on growing as trees of their own.
    tree.AddFile(tree.GetFirst(), u"more", 1);
    other.AddFile(other.GetFirst(), u"more", 1);
    EXPECT_EQ(tree.NodeCount(), 3u);
    EXPECT_EQ(other.NodeCount(), 100003u);
}

TEST_F(TreeTest, VisibilityMarksAndBulkUpdates) {
    const PNode root = tree.AddChild(PNode::None, folder("C:\\"));
    const PNode f = tree.AddChild(root, file("C:\\x", 1));
    EXPECT_TRUE(tree.IsVisible(f));
    const uint64_t before = tree.ChangeCount();
    tree.BeginUpdate();
    tree.BeginUpdate();
    tree.SetVisible(f, false);
    tree.AddChild(root, file("C:\\y", 1));
    tree.EndUpdate();
    EXPECT_EQ(tree.ChangeCount(), before); // nothing is announced inside the bracket
    tree.EndUpdate();
    EXPECT_EQ(tree.ChangeCount(), before + 1);
    EXPECT_FALSE(tree.IsVisible(f));
    EXPECT_TRUE(tree.IsVisible(root));
    tree.SetAllVisible(true);
    EXPECT_TRUE(tree.IsVisible(f));
    tree.SetAllVisible(false);
    EXPECT_FALSE(tree.IsVisible(root));
}

TEST(UpperAZ, ChangesOnlyLettersAToZ) {
    EXPECT_EQ(analysis::UpperAZ(u"c:\\windows\u00e4\u00df{z}"), u"C:\\WINDOWS\u00e4\u00df{Z}");
}

} // namespace
