// The map pane in the analyser window on the sample drive M:: what it shows for each view, the
// folder and the filter, clicks and selections going both ways, a delete, and the toggle and
// splitter kept in the hive.

#include "ItemActionsSupport.h"

#include "settings/MapPane.h"
#include "settings/Registry.h"
#include "views/DirectoryListBox.h"
#include "views/TreemapView.h"

#include <QCheckBox>
#include <QSplitter>
#include <QTest>

namespace {

using namespace item_actions_test;
using views::RowId;
using views::TTreemapView;

class MapPane : public ItemActions {
protected:
    TTreemapView& map() const { return *Find<TTreemapView>(window.get(), "TreemapView_ORB"); }
    // Waits for the map of the current source.
    bool mapReady() const {
        return WaitFor([this] { return map().isVisible() && map().IsCurrent(); });
    }
    PNode node(const QString& path) const {
        const PNode folder = window->VirtualDrawTree1.FindByPath(path, true);
        return folder != PNode::None ? folder : window->VirtualDrawTree1.FindByPath(path, false);
    }
    // The centre of a node's tile, in the pane's pixels.
    QPoint centreOf(PNode n) const {
        const uint32_t tile = map().Map().TileOf(window->VirtualDrawTree1, n);
        EXPECT_NE(tile, views::TTreemap::kNoTile);
        if (tile == views::TTreemap::kNoTile)
            return {};
        const qreal dpr = map().devicePixelRatioF();
        return (map().Map().Tile(tile).Rect().center() / dpr).toPoint();
    }
    QString current() const {
        const RowId row = list().CurrentRow();
        return row == RowId::None ? QString() : list().RowPath(row);
    }
};

TEST_F(MapPane, ShowsTheFolderOfTheStructureViewTheDriveOfTheFilesViewAsFiltered) {
    TForm_ORB& w = openAndAnalyse();
    ASSERT_TRUE(mapReady());
    const PNode root = w.Orbisca->FindRootNodeForDir("M:\\");
    EXPECT_EQ(map().Map().Root(), root);
    EXPECT_EQ(map().Map().TotalBytes(), kBytes);

    Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->SetDirectory("M:\\music");
    ASSERT_TRUE(mapReady());
    EXPECT_EQ(map().Map().Root(), w.Orbisca->FindRootNodeForDir("M:\\music"));
    EXPECT_EQ(map().Map().TotalBytes(), 770);

    // The files view maps the whole drive; the filter leaves only what it shows.
    Find<skin::TLumoButton2>(&w, "LumoButton_Files")->Click();
    ASSERT_TRUE(mapReady());
    EXPECT_EQ(map().Map().Root(), root);
    Find<QComboBox>(&w, "ComboBox_ORB_Filter")->setEditText("*.mp3");
    w.ComboBox_ORB_FilterKeyPress(QChar(13));
    ASSERT_TRUE(mapReady());
    EXPECT_EQ(map().Map().TotalBytes(), 520);
    for (const views::TTreemapTile& t : map().Map().Tiles())
        if (t.kind == views::TTileKind::File) {
            EXPECT_TRUE(w.VirtualDrawTree1.Path(t.node).endsWith(".mp3"))
                << w.VirtualDrawTree1.Path(t.node).toStdString();
        }

    // The formats view has no map and no toggle.
    Find<skin::TLumoButton2>(&w, "LumoButton_Formats")->Click();
    EXPECT_FALSE(map().isVisible());
    EXPECT_FALSE(Find<QCheckBox>(&w, "CheckBox_ORB_Map")->isVisible());
}

TEST_F(MapPane, TilesSelectRowsAndRowsOutlineTiles) {
    TForm_ORB& w = openAndAnalyse();
    ASSERT_TRUE(mapReady());
    // A file of the folder shown: its own row; a file further down: the row of the folder
    // shown that holds it.
    QTest::mouseClick(&map(), Qt::LeftButton, {}, centreOf(node("M:\\pic.JPG")));
    EXPECT_EQ(current(), "M:\\pic.JPG");
    EXPECT_EQ(list().SelectedRows().size(), 1u);
    QTest::mouseClick(&map(), Qt::LeftButton, {}, centreOf(node("M:\\video\\b.MKV")));
    EXPECT_EQ(current(), "M:\\video");
    // Rows selected in the list are outlined on the map.
    select({"M:\\music", "M:\\docs"});
    std::vector<uint32_t> expected = {map().Map().TileOf(w.VirtualDrawTree1, node("M:\\music")),
                                      map().Map().TileOf(w.VirtualDrawTree1, node("M:\\docs"))};
    std::vector<uint32_t> outlined = map().HighlightedTiles();
    std::sort(expected.begin(), expected.end());
    std::sort(outlined.begin(), outlined.end());
    EXPECT_EQ(outlined, expected);

    // The files view: a file's own row.
    Find<skin::TLumoButton2>(&w, "LumoButton_Files")->Click();
    ASSERT_TRUE(mapReady());
    QTest::mouseClick(&map(), Qt::LeftButton, {}, centreOf(node("M:\\music\\s.mp3")));
    EXPECT_EQ(current(), "M:\\music\\s.mp3");

    // A double-click goes into the folder the tile lies in, in the structure view.
    QTest::mouseDClick(&map(), Qt::LeftButton, {}, centreOf(node("M:\\video\\a.mp4")));
    EXPECT_EQ(w.ListState.View, views::TListView::Structure);
    EXPECT_EQ(Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->Directory(), "M:\\video");
    ASSERT_TRUE(mapReady());
    EXPECT_EQ(map().Map().TotalBytes(), 4000);
}

TEST_F(MapPane, ADeleteLaysTheMapOutAgain) {
    TForm_ORB& w = openAndAnalyse();
    ASSERT_TRUE(mapReady());
    QTest::mouseClick(&map(), Qt::LeftButton, {}, centreOf(node("M:\\pic.JPG")));
    // The menu of the map is the list's, for the tile's row.
    const QPoint at = centreOf(node("M:\\pic.JPG"));
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, map().mapToGlobal(at));
    QApplication::sendEvent(&map(), &rightClick);
    QMenu* menu = Find<QMenu>(&w, "AdvPopupMenu_ORB");
    ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }));
    menu->hide();
    Find<QAction>(&w, "PopUp_Delete")->trigger();
    EXPECT_FALSE(exists(native("pic.JPG")));
    ASSERT_TRUE(mapReady());
    EXPECT_EQ(map().Map().TotalBytes(), kBytes - 300);
    EXPECT_NE(map().Map().TileOf(w.VirtualDrawTree1, node("M:\\video")), views::TTreemap::kNoTile);
}

TEST_F(MapPane, TheToggleAndTheSplitterAreKeptForTheNextWindow) {
    TForm_ORB& w = openAndAnalyse();
    ASSERT_TRUE(mapReady());
    auto* toggle = Find<QCheckBox>(&w, "CheckBox_ORB_Map");
    EXPECT_TRUE(toggle->isChecked()); // shown at first, about 40 % of the panel
    auto* splitter = Find<QSplitter>(&w, "Splitter_ORB_Map");
    const QList<int> first = splitter->sizes();
    EXPECT_NEAR(double(first[1]) / (first[0] + first[1]), 0.4, 0.05);

    // The splitter dragged: the list takes a quarter.
    QWidget* handle = splitter->handle(1);
    const int total = first[0] + first[1];
    const QPoint grip = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    QTest::mouseMove(handle, grip + QPoint(0, total / 4 - first[0]));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(0, total / 4 - first[0]));
    const int listPermille = settings::LoadMapPaneSettings().ListPermille;
    EXPECT_NEAR(listPermille, 250, 40);

    // Ctrl+M hides it, as the toggle does.
    QApplication::setActiveWindow(&w);
    list().setFocus();
    QTest::keyClick(&list(), Qt::Key_M, Qt::ControlModifier);
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(map().isVisible());
    EXPECT_FALSE(settings::LoadMapPaneSettings().Shown);

    // The next window starts as this one was left; showing it again brings the stored share.
    closeWindow();
    TForm_ORB& again = openAndAnalyse();
    auto* toggleAgain = Find<QCheckBox>(&again, "CheckBox_ORB_Map");
    EXPECT_FALSE(toggleAgain->isChecked());
    EXPECT_FALSE(map().isVisible());
    toggleAgain->click();
    ASSERT_TRUE(mapReady());
    const QList<int> sizes = Find<QSplitter>(&again, "Splitter_ORB_Map")->sizes();
    EXPECT_NEAR(double(sizes[0]) * 1000 / (sizes[0] + sizes[1]), listPermille, 20);

    // Values no window wrote fall back to the defaults.
    settings::RegWriteInteger(settings::HKEY_LOCAL_MACHINE, settings::OptionsKey,
                              "ORB_MapListPermille", 5);
    EXPECT_EQ(settings::LoadMapPaneSettings().ListPermille, 600);
}

} // namespace
