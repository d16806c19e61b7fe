// Comparing two analyses: a table of tree pairs with the states and changes they must give, and
// for every pair the sums that must hold whatever changed (each folder's change is the sum of its
// entries' changes, and the changes of all items add up to the change of the totals).

#include "saved/Compare.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using analysis::PNode;
using analysis::TAnalysisSummary;
using analysis::TAnalysisTree;
using saved::TChange;
using saved::TCompared;
using saved::TComparison;

namespace {

// A side of a pair: one line an item, "path size" for a file and "path/" for a folder, with
// " #inode" after either. Folder sizes and counts are summed here as the engine sums them.
struct SideSpec {
    std::vector<std::string> items;
    bool sameFileSystem = true; // carries the identity both sides share
    bool cutShort = false;
    std::vector<std::string> unreadable; // folders named by the verdict
};

void sumUp(TAnalysisTree& t, PNode folder) {
    int64_t size = 0;
    uint32_t files = 0, folders = 0;
    for (PNode c = t.GetFirstChild(folder); c != PNode::None; c = t.GetNextSibling(c)) {
        if (t.IsFolder(c)) {
            sumUp(t, c);
            folders += 1 + t.FolderCount(c);
            files += t.FileCount(c);
        } else {
            ++files;
        }
        size += t.Size(c);
    }
    t.SetSize(folder, size);
    t.SetFileCount(folder, files);
    t.SetFolderCount(folder, folders);
}

QString windowsPath(const QString& drive, const std::string& path) {
    QString p = QString::fromStdString(path);
    if (p.endsWith(u'/'))
        p.chop(1);
    return drive + p.replace(u'/', u'\\');
}

void build(const SideSpec& spec, const QString& drive, TAnalysisTree& tree, TAnalysisSummary& s) {
    const PNode top = tree.AddTopFolder(drive.toStdU16String());
    std::map<std::string, PNode> folders{{"", top}};
    for (const std::string& line : spec.items) {
        std::istringstream in(line);
        std::string path, word;
        in >> path;
        int64_t size = 0;
        uint64_t inode = 0;
        while (in >> word) {
            if (word[0] == '#')
                inode = std::stoull(word.substr(1));
            else
                size = std::stoll(word);
        }
        const bool folder = path.back() == '/';
        const std::string name = folder ? path.substr(0, path.size() - 1) : path;
        const size_t slash = name.rfind('/');
        const PNode parent = folders.at(slash == std::string::npos ? "" : name.substr(0, slash));
        const std::u16string own = QString::fromStdString(name.substr(slash + 1)).toStdU16String();
        const PNode n = folder ? tree.AddFolder(parent, own) : tree.AddFile(parent, own, size);
        if (folder)
            folders[name] = n;
        tree.SetInode(n, inode);
    }
    sumUp(tree, top);
    s.Drive = drive;
    s.TotalSize = tree.Size(top);
    if (spec.sameFileSystem)
        s.Origin.FileSystem.uuid = "3c1e-fs";
    s.Verdict.CutShort = spec.cutShort;
    for (const std::string& u : spec.unreadable) {
        s.Verdict.UnreadableSamples.append(windowsPath(drive, u));
        ++s.Verdict.UnreadableFolders;
    }
}

struct Expect {
    std::string path; // as in the items; looked up in the new tree, else the old one
    TChange state;
    int64_t delta;
};

struct PairCase {
    const char* name;
    SideSpec oldSide, newSide;
    std::vector<Expect> expected;
    int64_t totalDelta;
    std::string movedFrom = {}; // "new path=old path" for the one moved item of the case
};

const std::vector<PairCase>& cases() {
    static const std::vector<PairCase> table = {
        {"growth and shrinkage side by side",
         {{"a/", "a/f 10", "a/g 30", "b/", "b/h 5"}},
         {{"a/", "a/f 15", "a/g 20", "b/", "b/h 5"}},
         {{"a/f", TChange::Grown, 5},
          {"a/g", TChange::Shrunk, -10},
          {"a", TChange::Shrunk, -5},
          {"b", TChange::Same, 0},
          {"b/h", TChange::Same, 0},
          {"", TChange::Shrunk, -5}},
         -5},
        {"a new subtree",
         {{"a/", "a/f 10"}},
         {{"a/", "a/f 10", "n/", "n/m/", "n/m/x 7", "n/y 3"}},
         {{"n", TChange::New, 10},
          {"n/m", TChange::New, 7},
          {"n/m/x", TChange::New, 7},
          {"a", TChange::Same, 0},
          {"", TChange::Grown, 10}},
         10},
        {"a removed subtree",
         {{"a/", "a/f 10", "r/", "r/s/", "r/s/x 7", "r/y 3"}},
         {{"a/", "a/f 10"}},
         {{"r", TChange::Gone, -10},
          {"r/s", TChange::Gone, -7},
          {"r/s/x", TChange::Gone, -7},
          {"", TChange::Shrunk, -10}},
         -10},
        {"a subtree moved elsewhere keeps its inode and its contents match below it",
         {{"x/ #100", "x/f 5 #101", "x/g 6 #102", "keep/ #1"}},
         {{"keep/ #1", "keep/deep/ #200", "keep/deep/x2/ #100", "keep/deep/x2/f 9 #101",
           "keep/deep/x2/g 6 #102"}},
         {{"keep/deep/x2", TChange::Moved, 4},
          {"keep/deep/x2/f", TChange::Grown, 4},
          {"keep/deep/x2/g", TChange::Same, 0},
          {"keep/deep", TChange::New, 4},
          {"keep", TChange::Grown, 4},
          {"", TChange::Grown, 4}},
         4,
         "keep/deep/x2=x"},
        {"a rename is a move on one file system",
         {{"d/", "d/old.txt 8 #50"}},
         {{"d/", "d/new.txt 8 #50"}},
         {{"d/new.txt", TChange::Moved, 0}, {"d", TChange::Same, 0}},
         0,
         "d/new.txt=d/old.txt"},
        {"a rename is gone and new without the same file-system identity",
         {{"d/", "d/old.txt 8 #50"}, false},
         {{"d/", "d/new.txt 8 #50"}},
         {{"d/new.txt", TChange::New, 8},
          {"d/old.txt", TChange::Gone, -8},
          {"d", TChange::Same, 0}},
         0},
        {"a reused inode under another name and size is another file",
         {{"d/", "d/deleted 300 #60"}},
         {{"d/", "d/made 77 #60"}},
         {{"d/made", TChange::New, 77}, {"d/deleted", TChange::Gone, -300}},
         -223},
        {"inode 0 never makes a move",
         {{"d/", "d/old.txt 8"}},
         {{"d/", "d/new.txt 8"}},
         {{"d/new.txt", TChange::New, 8}, {"d/old.txt", TChange::Gone, -8}},
         0},
        {"a file replaced by a folder of the same name",
         {{"c 4 #9"}},
         {{"c/ #9", "c/d 6 #10"}},
         {{"c", TChange::New, 6}, {"c/d", TChange::New, 6}, {"", TChange::Grown, 2}},
         2},
        {"hard links pair up one name for one name",
         {{"a/", "a/h1 10 #7", "b/", "b/h2 10 #7"}},
         {{"a/", "a/h1 10 #7", "b/", "c/", "c/h3 10 #7", "c/h4 10 #7"}},
         {{"a/h1", TChange::Same, 0},
          {"c/h3", TChange::Moved, 0},
          {"c/h4", TChange::New, 10},
          {"b", TChange::Same, 0},
          {"c", TChange::New, 10},
          {"", TChange::Grown, 10}},
         10,
         "c/h3=b/h2"},
        {"what a cut-short new side lacks is unknown, not gone",
         {{"a/", "a/f 10", "b/", "b/g 40"}},
         {{"a/", "a/f 12"}, true, true},
         {{"a/f", TChange::Grown, 2},
          {"b", TChange::Unknown, 0},
          {"b/g", TChange::Unknown, 0},
          {"", TChange::Grown, 2}},
         2},
        {"what a cut-short old side lacks is unknown, not new",
         {{"a/", "a/f 10"}, true, true},
         {{"a/", "a/f 10", "b/", "b/g 40"}},
         {{"b", TChange::Unknown, 0}, {"", TChange::Same, 0}},
         0},
        {"an item moved into a folder a cut-short old side lacks is unknown with it",
         {{"a/", "a/x 10 #70", "a/y 5"}, true, true},
         {{"a/", "a/y 6", "n/", "n/x 10 #70"}},
         {{"n", TChange::Unknown, 0},
          {"n/x", TChange::Unknown, 0},
          {"a", TChange::Grown, 1},
          {"", TChange::Grown, 1}},
         1},
        {"a folder the old side could not read stays unknown inside a moved folder",
         {{"x/ #100", "x/u/ #101", "x/f 4 #102"}, true, false, {"x/u"}},
         {{"y/ #100", "y/u/ #101", "y/u/big 900 #103", "y/f 4 #102"}},
         {{"y", TChange::Moved, 0},
          {"y/u", TChange::Unknown, 0},
          {"y/u/big", TChange::Unknown, 0},
          {"y/f", TChange::Same, 0},
          {"", TChange::Same, 0}},
         0,
         "y=x"},
        {"a folder either side could not read is unknown on both",
         {{"u/", "a/", "a/f 1"}, true, false, {"u"}},
         {{"u/", "u/big 900", "a/", "a/f 2"}},
         {{"u", TChange::Unknown, 0},
          {"u/big", TChange::Unknown, 0},
          {"a", TChange::Grown, 1},
          {"", TChange::Grown, 1}},
         1},
    };
    return table;
}

const PairCase& caseNamed(const std::string& name) {
    for (const PairCase& c : cases())
        if (c.name == name)
            return c;
    throw std::out_of_range(name);
}

struct Compared {
    TAnalysisTree oldTree, newTree;
    TAnalysisSummary oldSummary, newSummary;
    TComparison cmp;

    explicit Compared(const PairCase& c) {
        build(c.oldSide, QStringLiteral("E:\\"), oldTree, oldSummary);
        build(c.newSide, QStringLiteral("D:\\"), newTree, newSummary);
        EXPECT_TRUE(cmp.Run(oldTree, oldSummary, newTree, newSummary));
    }
    TCompared Row(const std::string& path) const {
        for (bool folder : {true, false}) {
            const PNode n = newTree.FindByPath(windowsPath(QStringLiteral("D:\\"), path), folder);
            if (n != PNode::None)
                return cmp.ForNew(n);
        }
        for (bool folder : {true, false}) {
            const PNode o = oldTree.FindByPath(windowsPath(QStringLiteral("E:\\"), path), folder);
            if (o != PNode::None)
                return cmp.ForOld(o);
        }
        ADD_FAILURE() << "no item " << path;
        return {};
    }
};

// Each folder's change is the sum of its entries' (its items now and the items gone from it),
// and all items' changes add up to the totals' change.
void expectSumsHold(const Compared& c) {
    std::map<PNode, int64_t> entries; // new folder -> sum of its entries' changes
    int64_t files = 0;
    const auto add = [&](PNode newFolder, const TCompared& row, bool isFile) {
        if (newFolder != PNode::None)
            entries[newFolder] += row.Delta();
        if (isFile)
            files += row.Delta();
    };
    for (PNode n = c.newTree.GetNext(c.newTree.GetFirst()); n != PNode::None;
         n = c.newTree.GetNext(n))
        add(c.newTree.GetParent(n), c.cmp.ForNew(n), !c.newTree.IsFolder(n));
    for (PNode o : c.cmp.GoneNodes()) {
        const PNode parent = c.oldTree.GetParent(o);
        const TCompared p = c.cmp.ForOld(parent);
        add(p.State == TChange::Gone ? PNode::None : p.NewNode, c.cmp.ForOld(o),
            !c.oldTree.IsFolder(o));
    }
    for (PNode n = c.newTree.GetFirst(); n != PNode::None; n = c.newTree.GetNext(n)) {
        if (c.newTree.IsFolder(n) && c.cmp.ForNew(n).State != TChange::Unknown) {
            EXPECT_EQ(c.cmp.ForNew(n).Delta(), entries[n]) << c.newTree.Path(n).toStdString();
        }
    }
    EXPECT_EQ(c.cmp.Totals().Delta(), files);
}

} // namespace

TEST(Compare, TreePairsGiveTheirStatesChangesAndConsistentSums) {
    for (const PairCase& pc : cases()) {
        SCOPED_TRACE(pc.name);
        const Compared c(pc);
        for (const Expect& e : pc.expected) {
            const TCompared row = c.Row(e.path);
            EXPECT_EQ(saved::ChangeName(row.State), std::string(saved::ChangeName(e.state)))
                << e.path;
            EXPECT_EQ(row.Delta(), e.delta) << e.path;
            if (e.state != TChange::Unknown) {
                EXPECT_EQ(row.Delta(), row.NewSize - row.OldSize) << e.path;
            }
        }
        EXPECT_EQ(c.cmp.Totals().Delta(), pc.totalDelta);
        if (!pc.movedFrom.empty()) {
            const size_t eq = pc.movedFrom.find('=');
            const TCompared moved = c.Row(pc.movedFrom.substr(0, eq));
            ASSERT_NE(moved.OldNode, PNode::None);
            EXPECT_EQ(c.oldTree.Path(moved.OldNode),
                      windowsPath(QStringLiteral("E:\\"), pc.movedFrom.substr(eq + 1)));
        }
        expectSumsHold(c);
    }
}

TEST(Compare, GoneItemsAreListedWithTheirOldNodesAndMovesOnlyOnce) {
    // b/h2 left and c/h3 took its inode: a move, not a gone item.
    const Compared c(caseNamed("hard links pair up one name for one name"));
    std::vector<std::string> gone;
    for (PNode o : c.cmp.GoneNodes())
        gone.push_back(c.oldTree.Path(o).toStdString());
    EXPECT_EQ(gone, std::vector<std::string>{});
    const Compared r(caseNamed("a removed subtree"));
    gone.clear();
    for (PNode o : r.cmp.GoneNodes())
        gone.push_back(r.oldTree.Path(o).toStdString());
    EXPECT_EQ(gone, (std::vector<std::string>{"E:\\r", "E:\\r\\s", "E:\\r\\s\\x", "E:\\r\\y"}));
}

TEST(Compare, ProgressCanCancelAndLeavesNothingBehind) {
    Compared c(caseNamed("a new subtree"));
    saved::TCompareOptions options;
    int calls = 0;
    options.Progress = [&](int permille) {
        EXPECT_GE(permille, 0);
        EXPECT_LE(permille, 1000);
        ++calls;
        return false;
    };
    EXPECT_FALSE(c.cmp.Run(c.oldTree, c.oldSummary, c.newTree, c.newSummary, options));
    EXPECT_GE(calls, 1);
    EXPECT_EQ(c.cmp.Totals().State, TChange::Unknown);
    EXPECT_EQ(c.cmp.MemoryBytes(), 0u);
}
