// The item actions' rules without a window: the context menu's enabling table, the outermost
// items of a selection, the native path of a listed item, the message about items that stayed,
// and the list's removal and selection of rows by their nodes.

#include "analysis/AnalysisTree.h"
#include "i18n/ProjectMessages.h"
#include "platform/Paths.h"
#include "views/ItemActions.h"
#include "views/VirtualDrawTree.h"

#include <gtest/gtest.h>

using analysis::PNode;
using analysis::TAnalysisTree;
using analysis::TNodeData;
using views::TItemMenuState;

namespace {

TNodeData record(const QString& path, bool folder, int32_t picture = 0) {
    TNodeData d;
    d.Path = path;
    d.IsFolder = folder ? 1 : 0;
    d.ImageIndex = picture;
    return d;
}

TEST(ItemMenu, EnablingFollowsTheFirstRowAndTheCount) {
    const TNodeData file = record("M:\\a.txt", false);
    const TNodeData folder = record("M:\\docs", true);
    const TNodeData group = record("Video-Dateien", false, 8);
    const struct {
        const char* name;
        const TNodeData* first;
        int count;
        TItemMenuState expected; // open file, show folder, open folder, delete
    } cases[] = {
        {"nothing selected", nullptr, 0, {false, false, false, false}},
        {"one file", &file, 1, {true, true, false, true}},
        {"one folder", &folder, 1, {false, false, true, true}},
        {"several rows, a file first", &file, 3, {false, false, false, true}},
        {"several rows, a folder first", &folder, 2, {false, false, false, true}},
        {"a formats group", &group, 1, {false, false, false, false}},
        {"several formats groups", &group, 4, {false, false, false, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(views::ItemMenuState(c.first, c.count), c.expected);
    }
}

TEST(ItemMenu, OnlyTheOutermostSelectedItemsGo) {
    // M:\ { A { x, B { y } }, z, C { w } }
    TAnalysisTree tree;
    const PNode root = tree.AddChild(PNode::None, record("M:\\", true));
    const PNode a = tree.AddChild(root, record("M:\\A", true));
    const PNode x = tree.AddChild(a, record("M:\\A\\x", false));
    const PNode b = tree.AddChild(a, record("M:\\A\\B", true));
    const PNode y = tree.AddChild(b, record("M:\\A\\B\\y", false));
    const PNode z = tree.AddChild(root, record("M:\\z", false));
    const PNode c = tree.AddChild(root, record("M:\\C", true));
    const PNode w = tree.AddChild(c, record("M:\\C\\w", false));

    const struct {
        const char* name;
        std::vector<PNode> nodes;
        std::vector<PNode> items;
        std::vector<size_t> owners;
    } cases[] = {
        {"nothing nested", {z, x, w}, {z, x, w}, {0, 1, 2}},
        // The file deep inside comes first in the list: the folder that holds it still wins.
        {"inner rows before and after their folder", {y, a, z, x, b}, {a, z}, {0, 0, 1, 0, 0}},
        {"a folder and its subfolder", {b, a}, {a}, {0, 0}},
        {"a row twice", {z, z, w}, {z, w}, {0, 0, 1}},
        {"siblings of a selected folder's file", {w, x}, {w, x}, {0, 1}},
        {"the root takes everything", {y, root, w}, {root}, {0, 0, 0}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const views::TOutermostItems out = views::OutermostItems(tree, k.nodes);
        EXPECT_EQ(out.Items, k.items);
        EXPECT_EQ(out.OwnerOf, k.owners);
    }
}

TEST(ItemMenu, NativePathReachesTheListedBytes) {
    platform::SetDriveRoot(u'T', "/srv/t");
    TNodeData trimmed = record(QStringLiteral("T:\\d\\name.txt"), false);
    trimmed.ListedName = QStringLiteral("  name.txt\t ");
    const struct {
        const char* name;
        TNodeData record;
        std::string native;
    } cases[] = {
        {"plain", record(QStringLiteral("T:\\d\\a b.txt"), false), "/srv/t/d/a b.txt"},
        {"backslash in a name", record(QStringView(u"T:\\d\\a\uF05Cb").toString(), false),
         "/srv/t/d/a\\b"},
        {"bytes that are not UTF-8",
         record(QStringLiteral("T:\\caf") + QChar(0xDCE9) + u'\\' + QChar(0xDCFF), false),
         "/srv/t/caf\xE9/\xFF"},
        {"blanks the list trimmed", trimmed, "/srv/t/d/  name.txt\t "},
        {"a folder", record(QStringLiteral("T:\\d"), true), "/srv/t/d"},
        {"the drive root", record(QStringLiteral("T:\\"), true), "/srv/t"},
        {"a drive no longer mapped", record(QStringLiteral("Q:\\x"), false), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(views::NativePathOf(c.record), c.native);
    }
    platform::SetDriveRoot(u'T', "");
}

TEST(ItemMenu, FailureReasonsInTheProgramsLanguage) {
    using i18n::Message;
    using i18n::Msg;
    using K = platform::TrashFailure;
    const QString detail = "it is a mount point";
    const struct {
        K kind;
        QString expected;
    } cases[] = {
        {K::Vanished, Message(Msg::MESSAGE_ORB_DELETE_VANISHED)},
        {K::Denied, Message(Msg::MESSAGE_ORB_DELETE_DENIED)},
        {K::ReadOnly, Message(Msg::MESSAGE_ORB_DELETE_READONLY)},
        {K::NoTrash, QString(Message(Msg::MESSAGE_ORB_DELETE_NOTRASH)).replace("%1", detail)},
        {K::Refused, QString(Message(Msg::MESSAGE_ORB_DELETE_REFUSED)).replace("%1", detail)},
        {K::Other, QString(Message(Msg::MESSAGE_ORB_DELETE_ERROR)).replace("%1", detail)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        const QString reason = views::TrashFailureReason(c.kind, detail);
        EXPECT_EQ(reason, c.expected);
        EXPECT_FALSE(reason.contains("%1"));
    }
    // Without any detail an unknown failure names no reason rather than an empty one.
    EXPECT_TRUE(views::TrashFailureReason(K::Other, QString()).isEmpty());
}

TEST(ItemMenu, FailureMessageNamesEachItemAndWhy) {
    using i18n::Message;
    using i18n::Msg;
    std::vector<views::TTrashFailure> failures = {
        {"M:\\a <b>.txt", "it no longer exists"},
        {"M:\\" + QString(100, u'x') + "\\end.bin", "Read-only file system"},
        {"M:\\no reason", ""},
    };
    const QString text = views::TrashFailureMessage(failures);
    const QString head = Message(Msg::MESSAGE_ORB_DELETE_FAILED).section(u'%', 0, 0);
    EXPECT_TRUE(text.startsWith(head)) << text.toStdString();
    // Plain text: the first line holds nothing a rich-text guess could take for a tag.
    EXPECT_FALSE(text.section(u'\n', 0, 0).contains(u'<'));
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[lines.size() - 3], "M:\\a <b>.txt: it no longer exists");
    EXPECT_TRUE(lines[lines.size() - 2].startsWith("M:\\xxx"));
    EXPECT_TRUE(
        lines[lines.size() - 2].endsWith(QStringLiteral("x\\end.bin: Read-only file system")));
    EXPECT_LT(lines[lines.size() - 2].size(), 110) << "a long path is shortened in its middle";
    EXPECT_EQ(lines.back(), "M:\\no reason");

    // Many items: the first ones by name, the rest counted.
    failures.clear();
    for (int i = 0; i < 40; ++i)
        failures.push_back({QStringLiteral("M:\\f%1").arg(i), "why"});
    const QStringList many = views::TrashFailureMessage(failures).split(QStringLiteral("\r\n"));
    EXPECT_EQ(many.count(QStringLiteral("M:\\f0: why")), 1);
    EXPECT_EQ(many.count(QStringLiteral("M:\\f11: why")), 1);
    EXPECT_EQ(many.count(QStringLiteral("M:\\f12: why")), 0);
    EXPECT_EQ(
        many.back(),
        QString(Message(Msg::MESSAGE_ORB_DELETE_FAILED_MORE)).replace(QStringLiteral("%1"), "28"));
}

TEST(ListRows, DeleteAndSelectByNode) {
    TAnalysisTree tree;
    const PNode root = tree.AddChild(PNode::None, record("M:\\", true));
    std::vector<PNode> f;
    views::TVirtualDrawTree list;
    list.SetColumns({"Name"}, {200});
    list.SetSourceTree(&tree);
    for (int i = 0; i < 6; ++i) {
        f.push_back(tree.AddChild(root, record(QStringLiteral("M:\\f%1").arg(i), false)));
        list.AddNodeRow(f.back());
    }
    list.AddRow(record("group", false, 8)); // a row of its own: never a node's
    const auto shown = [&] {
        QStringList out;
        for (int i = 0; i < list.VisibleRowCount(); ++i)
            out << list.RowPath(list.VisibleRow(i));
        return out;
    };
    const auto selected = [&] {
        QStringList out;
        for (views::RowId r : list.SelectedRows())
            out << list.RowPath(r);
        return out;
    };
    list.SelectRow(list.VisibleRow(1), true);
    list.SelectRow(list.VisibleRow(4), true);
    list.SelectRow(list.VisibleRow(6), true);

    EXPECT_EQ(list.DeleteNodeRows([&](PNode n) { return n == f[1] || n == f[2]; }), 2u);
    EXPECT_EQ(shown(), QStringList({"M:\\f0", "M:\\f3", "M:\\f4", "M:\\f5", "group"}));
    EXPECT_EQ(selected(), QStringList({"M:\\f4", "group"}));
    EXPECT_EQ(list.TotalRowCount(), 5u);
    EXPECT_EQ(list.DeleteNodeRows([](PNode) { return false; }), 0u);

    list.SelectNodeRows([&](PNode n) { return n == f[0] || n == f[1]; });
    EXPECT_EQ(selected(), QStringList({"M:\\f0", "M:\\f4", "group"}));

    // Inside an update the rows go at its end.
    list.BeginUpdate();
    EXPECT_EQ(list.DeleteNodeRows([&](PNode n) { return n == f[0] || n == f[5]; }), 2u);
    list.EndUpdate();
    EXPECT_EQ(shown(), QStringList({"M:\\f3", "M:\\f4", "group"}));
    EXPECT_EQ(selected(), QStringList({"M:\\f4", "group"}));
}

} // namespace
