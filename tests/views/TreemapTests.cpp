// The map of the disk: layout invariants on tables of sizes, small entries gathered per folder,
// the filter, hit-testing, the picture, the skin's colours and the pane's worker.

#include "analysis/SizeText.h"
#include "platform/Paths.h"
#include "views/FilterRules.h"
#include "views/TreemapLayout.h"
#include "views/TreemapView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

using analysis::PNode;
using analysis::TAnalysisTree;
using views::TTileKind;
using views::TTreemap;
using views::TTreemapTile;

namespace {

// A tree of folders and files under C:\ whose folder sizes and file counts are summed as the
// engine's counts pass sums them.
class Fixture {
public:
    Fixture() : root(tree.AddTopFolder(u"C:\\")) {}

    PNode Folder(PNode parent, const std::u16string& name) { return tree.AddFolder(parent, name); }
    PNode File(PNode parent, const std::u16string& name, int64_t size) {
        return tree.AddFile(parent, name, size);
    }
    // Files named f0, f1, ... with the sizes given.
    std::vector<PNode> Files(PNode parent, const std::vector<int64_t>& sizes,
                             const std::u16string& extension = u".bin") {
        std::vector<PNode> files;
        for (size_t i = 0; i < sizes.size(); ++i) {
            const std::string number = std::to_string(i);
            files.push_back(File(
                parent, u"f" + std::u16string(number.begin(), number.end()) + extension, sizes[i]));
        }
        return files;
    }
    void Sum() { sum(root); }

    TAnalysisTree tree;
    PNode root;

private:
    void sum(PNode folder) {
        int64_t size = 0;
        uint32_t files = 0;
        for (PNode c = tree.GetFirstChild(folder); c != PNode::None; c = tree.GetNextSibling(c)) {
            if (tree.IsFolder(c))
                sum(c);
            size += tree.Size(c);
            files += tree.IsFolder(c) ? tree.FileCount(c) : 1;
        }
        tree.SetSize(folder, size);
        tree.SetFileCount(folder, files);
    }
};

// The groups by extension as the program's built-in lists start.
views::TGroupOf testGroups() {
    std::array<QStringList, views::kGroupCount> lists;
    using settings::FormatGroupId;
    lists[views::GroupIndex(FormatGroupId::Video)] = {"MP4", "MKV"};
    lists[views::GroupIndex(FormatGroupId::Audio)] = {"MP3", "WAV"};
    lists[views::GroupIndex(FormatGroupId::Pictures)] = {"JPG", "PNG"};
    lists[views::GroupIndex(FormatGroupId::Documents)] = {"TXT", "PDF"};
    return views::GroupsByExtension(lists);
}

TTreemap layout(const TAnalysisTree& tree, PNode root, QSize size, double minTileArea = 16,
                bool filtered = false, const views::TGroupOf& groups = testGroups()) {
    views::TTreemapOptions options;
    options.minTileArea = minTileArea;
    options.filtered = filtered;
    TTreemap map;
    EXPECT_TRUE(views::LayoutTreemap(tree, root, size, groups, nullptr, map, options));
    return map;
}

std::vector<uint32_t> childrenOf(const TTreemap& map, uint32_t tile) {
    std::vector<uint32_t> children;
    for (uint32_t c = tile + 1; c < map.Tile(tile).end; c = map.Tile(c).end)
        children.push_back(c);
    return children;
}

double overlap(const TTreemapTile& a, const TTreemapTile& b) {
    const double w = std::min(a.x2, b.x2) - std::max(a.x1, b.x1);
    const double h = std::min(a.y2, b.y2) - std::max(a.y1, b.y1);
    return w > 0 && h > 0 ? w * h : 0;
}

double aspect(const TTreemapTile& t) {
    const double w = t.x2 - t.x1, h = t.y2 - t.y1;
    return std::max(w / h, h / w);
}

// Every tile's area within a pixel of its share of the map, inside its folder's tile, apart
// from its siblings, and the children of a folder covering it.
void expectSoundLayout(const TTreemap& map) {
    ASSERT_FALSE(map.Empty());
    const double scale =
        double(map.Size().width()) * map.Size().height() / double(map.TotalBytes());
    const double eps = 1e-3;
    for (uint32_t i = 0; i < map.Tiles().size(); ++i) {
        const TTreemapTile& t = map.Tile(i);
        SCOPED_TRACE(testing::Message() << "tile " << i);
        EXPECT_NEAR(t.Area(), double(t.bytes) * scale, 1.0);
        EXPECT_GE(t.x1, -eps);
        EXPECT_GE(t.y1, -eps);
        EXPECT_LE(t.x2, map.Size().width() + eps);
        EXPECT_LE(t.y2, map.Size().height() + eps);
        const uint32_t parent = map.ParentTile(i);
        if (parent != TTreemap::kNoTile) {
            const TTreemapTile& p = map.Tile(parent);
            EXPECT_EQ(p.kind, TTileKind::Folder);
            EXPECT_TRUE(t.x1 >= p.x1 - eps && t.y1 >= p.y1 - eps && t.x2 <= p.x2 + eps &&
                        t.y2 <= p.y2 + eps);
            EXPECT_EQ(t.depth, std::min(p.depth + 1, 255)); // deeper nesting shades alike
        }
        if (t.kind != TTileKind::Folder)
            continue;
        const std::vector<uint32_t> children = childrenOf(map, i);
        double covered = 0;
        for (size_t a = 0; a < children.size(); ++a) {
            covered += map.Tile(children[a]).Area();
            for (size_t b = a + 1; b < children.size(); ++b)
                EXPECT_LT(overlap(map.Tile(children[a]), map.Tile(children[b])), 1e-3);
        }
        EXPECT_NEAR(covered, t.Area(), 1.0);
    }
}

std::vector<int64_t> randomSizes(size_t n, unsigned seed) {
    std::mt19937 rnd(seed);
    std::vector<int64_t> sizes;
    for (size_t i = 0; i < n; ++i)
        sizes.push_back(int64_t(std::exp2(double(rnd() % 2400) / 100.0)) + 1);
    return sizes;
}

} // namespace

// ---- layout ---------------------------------------------------------------------------------

TEST(TreemapLayout, TilesAreProportionalDisjointAndInsideTheirFolders) {
    std::vector<int64_t> powers;
    for (int i = 0; i < 13; ++i)
        powers.push_back(int64_t(1) << i);
    struct Case {
        const char* name;
        std::vector<int64_t> sizes;
        QSize size;
        double minTileArea;
    };
    const Case cases[] = {
        {"sixteen equal, square", std::vector<int64_t>(16, 1000), {400, 400}, 16},
        {"powers of two, wide", powers, {1600, 500}, 0},
        {"one dominant, tall", {1000000, 10, 20, 30, 40, 5000}, {300, 900}, 0},
        {"a strip", randomSizes(60, 1), {1000, 20}, 16},
        {"random, small gathered", randomSizes(3000, 2), {800, 300}, 16},
        {"huge sizes", {int64_t(1) << 60, int64_t(1) << 59, int64_t(1) << 58, 3}, {640, 480}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture fx;
        // The same sizes flat, and once more split into nested folders of up to 7 entries.
        fx.Files(fx.root, c.sizes);
        PNode nest = fx.Folder(fx.root, u"nest");
        for (size_t i = 0; i < c.sizes.size(); ++i) {
            if (i % 7 == 6)
                nest = fx.Folder(nest, u"deeper");
            fx.File(nest, u"n.bin", c.sizes[i]);
        }
        fx.Sum();
        const TTreemap map = layout(fx.tree, fx.root, c.size, c.minTileArea);
        expectSoundLayout(map);
        if (c.minTileArea == 0) {
            size_t files = 0;
            for (const TTreemapTile& t : map.Tiles())
                files += t.kind == TTileKind::File;
            EXPECT_EQ(files, 2 * c.sizes.size()); // every file has a tile of its own
        }
    }
}

TEST(TreemapLayout, SquarifiedTilesAreSquarerThanSlices) {
    struct Case {
        std::vector<int64_t> sizes;
        QSize size;
        double worstAllowed; // of any tile
    };
    const Case cases[] = {
        {std::vector<int64_t>(16, 7), {400, 400}, 1.0001}, // a grid of squares, not strips
        {{6, 6, 4, 3, 2, 2, 1}, {600, 400}, 3},
        {randomSizes(40, 3), {600, 400}, 1e9},
        {randomSizes(200, 4), {1600, 500}, 1e9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sizes.size() << " sizes");
        Fixture fx;
        fx.Files(fx.root, c.sizes);
        fx.Sum();
        const TTreemap map = layout(fx.tree, fx.root, c.size, 0);
        // Slice and dice: strips across the longer side, in proportion to the sizes.
        const double total = double(fx.tree.Size(fx.root));
        double squarified = 0, sliced = 0;
        for (uint32_t child : childrenOf(map, 0)) {
            const double ratio = aspect(map.Tile(child));
            squarified += ratio;
            EXPECT_LE(ratio, c.worstAllowed);
            const double strip = c.size.width() * double(map.Tile(child).bytes) / total;
            sliced += std::max(strip / c.size.height(), c.size.height() / strip);
        }
        EXPECT_LT(squarified, sliced / 2);
    }
}

TEST(TreemapLayout, ZeroSizesAndEmptyFoldersTakeNoArea) {
    Fixture fx;
    const PNode big = fx.File(fx.root, u"big.bin", 100);
    const PNode zero = fx.File(fx.root, u"zero.bin", 0);
    const PNode empty = fx.Folder(fx.root, u"empty");
    const PNode onlyZero = fx.Folder(fx.root, u"onlyzero");
    const PNode zeroInside = fx.File(onlyZero, u"z.bin", 0);
    const PNode some = fx.Folder(fx.root, u"some");
    const PNode fifty = fx.File(some, u"fifty.bin", 50);
    fx.Sum();
    const TTreemap map = layout(fx.tree, fx.root, {300, 200});
    expectSoundLayout(map);
    std::vector<PNode> drawn;
    for (const TTreemapTile& t : map.Tiles())
        drawn.push_back(t.node);
    EXPECT_EQ(drawn, (std::vector<PNode>{fx.root, big, some, fifty}));
    for (PNode n : {zero, empty, onlyZero, zeroInside}) // shown by the tile around them
        EXPECT_EQ(map.TileOf(fx.tree, n), 0u);

    // Nothing with a size: no tiles at all; a file as the top: one tile.
    Fixture none;
    none.File(none.Folder(none.root, u"a"), u"z", 0);
    none.Sum();
    EXPECT_TRUE(layout(none.tree, none.root, {300, 200}).Empty());
    const TTreemap single = layout(fx.tree, big, {30, 20});
    ASSERT_EQ(single.Tiles().size(), 1u);
    EXPECT_EQ(single.Tile(0).kind, TTileKind::File);
    EXPECT_TRUE(layout(fx.tree, fx.root, {0, 200}).Empty());
}

TEST(TreemapLayout, TinyEntriesGatherIntoOneSmallFilesTileWithoutDescending) {
    Fixture fx;
    const PNode huge = fx.File(fx.root, u"huge.mkv", 1000000000);
    std::vector<PNode> tiny;
    for (int i = 0; i < 3000; ++i)
        tiny.push_back(fx.File(fx.root, u"t.mp3", 10)); // 30,000 bytes of audio
    for (int i = 0; i < 2000; ++i)
        tiny.push_back(fx.File(fx.root, u"t.txt", 12)); // 24,000 bytes of documents
    const PNode deep = fx.Folder(fx.root, u"deep");
    PNode inside = PNode::None;
    for (int i = 0; i < 1000; ++i)
        inside = fx.File(fx.Folder(deep, u"d"), u"p.jpg", 40); // 40,000 bytes of pictures
    fx.Sum();

    // Count the lookups made inside the gathered folder: none, it is not entered.
    int lookupsInside = 0;
    const views::TGroupOf groups = testGroups();
    const views::TGroupOf counting = [&](const TAnalysisTree& tree, PNode n) {
        for (PNode p = n; p != PNode::None; p = tree.GetParent(p))
            lookupsInside += p == deep;
        return groups(tree, n);
    };
    const TTreemap map = layout(fx.tree, fx.root, {800, 300}, 16, false, counting);
    expectSoundLayout(map);
    EXPECT_EQ(lookupsInside, 0);
    ASSERT_EQ(map.Tiles().size(), 3u); // the top, the huge file, the small files
    EXPECT_EQ(map.Tile(1).node, huge);
    const TTreemapTile& small = map.Tile(2);
    EXPECT_EQ(small.kind, TTileKind::SmallFiles);
    EXPECT_EQ(small.node, PNode::None);
    EXPECT_EQ(small.bytes, 30000 + 24000 + 40000);
    EXPECT_EQ(small.count, 6000u);
    // The largest group among the files gathered directly; the folder's pictures are not counted.
    EXPECT_EQ(small.group, int(views::GroupIndex(settings::FormatGroupId::Audio)));
    EXPECT_EQ(map.OwnerFolder(2), fx.root);
    EXPECT_EQ(map.TileOf(fx.tree, tiny[4321]), 2u);
    EXPECT_EQ(map.TileOf(fx.tree, inside), 2u);
    EXPECT_EQ(map.TilesOf(fx.tree, {tiny[0], inside, huge, tiny[1]}),
              (std::vector<uint32_t>{1, 2}));
}

TEST(TreemapLayout, FilterCountsTheVisibleFilesOnly) {
    Fixture fx;
    const PNode music = fx.Folder(fx.root, u"music");
    const PNode songs = fx.Folder(music, u"songs");
    const std::vector<PNode> mp3 = fx.Files(songs, {400, 300, 100}, u".mp3");
    const PNode notes = fx.File(songs, u"notes.txt", 5000);
    const PNode docs = fx.Folder(fx.root, u"docs");
    fx.Files(docs, {7000, 2000}, u".txt");
    const PNode loud = fx.File(fx.root, u"loud.mp3", 200);
    fx.Sum();
    views::ApplyExtensionFilter(fx.tree, {"MP3"}, nullptr);

    const TTreemap map = layout(fx.tree, fx.root, {400, 250}, 0, true);
    expectSoundLayout(map);
    EXPECT_EQ(map.TotalBytes(), 1000);
    std::map<PNode, int64_t> bytes;
    for (const TTreemapTile& t : map.Tiles())
        bytes[t.node] = t.bytes;
    EXPECT_EQ(bytes, (std::map<PNode, int64_t>{{fx.root, 1000},
                                               {music, 800},
                                               {songs, 800},
                                               {mp3[0], 400},
                                               {mp3[1], 300},
                                               {mp3[2], 100},
                                               {loud, 200}}));
    EXPECT_EQ(map.Tile(map.TileOf(fx.tree, songs)).count, 3u);
    EXPECT_EQ(map.TileOf(fx.tree, notes), map.TileOf(fx.tree, songs));
    EXPECT_EQ(map.TileOf(fx.tree, docs), 0u);

    // Unfiltered, the tree's sizes count and every file is drawn.
    const TTreemap all = layout(fx.tree, fx.root, {400, 250}, 0, false);
    EXPECT_EQ(all.TotalBytes(), 15000);
    EXPECT_EQ(all.Tiles().size(), 11u);
}

TEST(TreemapLayout, HitTestFindsTheDeepestTile) {
    Fixture fx;
    const PNode a = fx.Folder(fx.root, u"a");
    fx.Files(a, randomSizes(50, 5));
    const PNode b = fx.Folder(a, u"b");
    fx.Files(b, randomSizes(30, 6));
    fx.Files(fx.root, randomSizes(2000, 7));
    fx.Sum();
    const TTreemap map = layout(fx.tree, fx.root, {700, 300});
    size_t leaves = 0;
    for (uint32_t i = 0; i < map.Tiles().size(); ++i) {
        const TTreemapTile& t = map.Tile(i);
        if (t.kind == TTileKind::Folder)
            continue;
        ++leaves;
        EXPECT_EQ(map.HitTest(t.Rect().center()), i);
        // A shared edge belongs to the tile on its right and below it.
        EXPECT_EQ(map.HitTest(QPointF(t.x1, t.y1)), i);
        if (t.node != PNode::None) {
            EXPECT_EQ(map.TileOf(fx.tree, t.node), i);
        }
    }
    EXPECT_GT(leaves, 50u);
    for (const QPointF outside : {QPointF(-0.1, 10), QPointF(700, 10), QPointF(10, 300)})
        EXPECT_EQ(map.HitTest(outside), TTreemap::kNoTile);
    const uint32_t inB = map.HitTest(map.Tile(map.TileOf(fx.tree, b)).Rect().center());
    EXPECT_EQ(map.OwnerFolder(inB), b);
    EXPECT_EQ(map.OwnerFolder(map.TileOf(fx.tree, b)), a);
    EXPECT_EQ(map.OwnerFolder(0), fx.root);
    EXPECT_EQ(map.TileOf(fx.tree, PNode::None), TTreemap::kNoTile);
    // A node outside the map's folder is not in it.
    EXPECT_EQ(layout(fx.tree, a, {300, 300}).TileOf(fx.tree, fx.root), TTreemap::kNoTile);
}

TEST(TreemapLayout, CancelledWorkLeavesNothing) {
    Fixture fx;
    fx.Files(fx.root, randomSizes(5000, 8));
    fx.Sum();
    std::atomic<bool> cancel{true};
    TTreemap map;
    EXPECT_FALSE(views::LayoutTreemap(fx.tree, fx.root, {800, 600}, testGroups(), &cancel, map));
    EXPECT_TRUE(map.Empty());
    map = layout(fx.tree, fx.root, {800, 600});
    views::TRenderOptions options;
    options.cancel = &cancel;
    QImage picture;
    EXPECT_FALSE(views::RenderTreemap(map, {}, picture, 1.0, QFont(), options));
}

// ---- picture --------------------------------------------------------------------------------

namespace {

double hueDistance(const QColor& a, const QColor& b) {
    const double d = std::abs(a.hsvHueF() - b.hsvHueF());
    return std::min(d, 1.0 - d);
}

} // namespace

TEST(TreemapPicture, TilesAreShadedInTheirGroupsColours) {
    Fixture fx;
    const PNode video = fx.File(fx.root, u"film.mp4", 4000);
    const PNode text = fx.File(fx.root, u"notes.pdf", 3000);
    const PNode plain = fx.File(fx.root, u"data.bin", 2000);
    for (int i = 0; i < 500; ++i)
        fx.File(fx.root, u"s.mp4", 1); // gathered, video
    fx.Sum();
    const TTreemap map = layout(fx.tree, fx.root, {400, 300});
    const views::TTreemapColours colours;
    views::TRenderOptions options;
    options.labels = false;
    QImage shaded, flat;
    ASSERT_TRUE(views::RenderTreemap(map, colours, shaded, 1.0, QFont(), options));
    options.cushions = false;
    ASSERT_TRUE(views::RenderTreemap(map, colours, flat, 1.0, QFont(), options));
    ASSERT_EQ(shaded.size(), QSize(400, 300));

    using settings::FormatGroupId;
    const struct {
        PNode node;
        QColor colour;
    } expected[] = {
        {video, colours.group[views::GroupIndex(FormatGroupId::Video)]},
        {text, colours.group[views::GroupIndex(FormatGroupId::Documents)]},
        {plain, colours.other},
        {PNode::None, views::MutedColour(colours.group[views::GroupIndex(FormatGroupId::Video)])},
    };
    for (const auto& e : expected) {
        uint32_t tile = TTreemap::kNoTile;
        for (uint32_t i = 0; i < map.Tiles().size(); ++i)
            if (map.Tile(i).node == e.node && map.Tile(i).kind != TTileKind::Folder)
                tile = i;
        ASSERT_NE(tile, TTreemap::kNoTile);
        const QRectF r = map.Tile(tile).Rect();
        const QPoint centre = r.center().toPoint();
        EXPECT_EQ(flat.pixel(centre), e.colour.rgb());
        if (e.colour.hsvSaturationF() > 0.3) {
            EXPECT_LT(hueDistance(QColor(shaded.pixel(centre)), e.colour), 0.02);
        }
        // The cushion: brighter at its middle than at its lower right corner.
        const QPoint corner = (r.bottomRight() - QPointF(1.5, 1.5)).toPoint();
        EXPECT_GT(qGray(shaded.pixel(centre)), qGray(shaded.pixel(corner)) + 20);
    }
    EXPECT_LT(views::MutedColour(colours.group[0]).hsvSaturationF(),
              colours.group[0].hsvSaturationF() / 2);
}

TEST(TreemapPicture, NamesStandOutAndStayInsideTheirTiles) {
    struct Case {
        QColor colour;
        qreal dpr;
        bool darkText;
    };
    const Case cases[] = {
        {QColor(0xF2, 0xF2, 0xEE), 1.0, true},
        {QColor(0x24, 0x26, 0x2A), 1.0, false},
        {QColor(0xF2, 0xF2, 0xEE), 2.0, true},
        {QColor(0x24, 0x26, 0x2A), 2.0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.colour.name().toStdString() << " at " << c.dpr);
        Fixture fx;
        const PNode folder = fx.Folder(fx.root, u"Projects");
        fx.File(folder, u"BIGFILE.bin", 2000000000);
        fx.File(folder, u"second.bin", 1000000000);
        fx.Files(fx.root, randomSizes(400, 9));
        fx.Sum();
        const QSize size = (QSizeF(500, 300) * c.dpr).toSize();
        views::TTreemapOptions options;
        options.minLabelSize = QSizeF(30, 14) * c.dpr;
        TTreemap map;
        ASSERT_TRUE(views::LayoutTreemap(fx.tree, fx.root, size, {}, nullptr, map, options));
        views::TTreemapColours colours;
        colours.other = c.colour;
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        QImage named, bare;
        views::TRenderOptions render;
        ASSERT_TRUE(views::RenderTreemap(map, colours, named, c.dpr, font, render));
        render.labels = false;
        ASSERT_TRUE(views::RenderTreemap(map, colours, bare, c.dpr, font, render));
        EXPECT_EQ(named.size(), size);
        EXPECT_EQ(named.devicePixelRatio(), c.dpr);

        // Text only where a labelled tile is, and in the colour that stands out there.
        const uint32_t big = map.TileOf(fx.tree, fx.tree.GetFirstChild(folder));
        ASSERT_NE(big, TTreemap::kNoTile);
        const QRect bigRect = map.Tile(big).Rect().toAlignedRect();
        int textPixels = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                if (named.pixel(x, y) == bare.pixel(x, y))
                    continue;
                bool inLabelled = false;
                for (const views::TTreemapLabel& l : map.Labels())
                    inLabelled = inLabelled || map.Tile(l.tile).Contains(QPointF(x + 0.5, y + 0.5));
                EXPECT_TRUE(inLabelled) << x << "," << y;
                if (bigRect.contains(x, y))
                    textPixels +=
                        c.darkText ? qGray(named.pixel(x, y)) < 60 : qGray(named.pixel(x, y)) > 200;
            }
        EXPECT_GT(textPixels, 20 * c.dpr * c.dpr);
    }
}

TEST(TreemapPicture, NamesLieInsideTheirTilesAndNeverOverlap) {
    // A folder with a long name in its parent's corner, whose name reaches over the folder
    // beside its first child; that one's first child would have its name moved onto it.
    Fixture corner;
    const PNode p = corner.Folder(corner.root, u"P");
    const PNode q = corner.Folder(p, u"a folder whose name is long enough to reach over the half");
    const PNode r1 = corner.Folder(q, u"R1");
    corner.Files(r1, {400000, 300000});
    const PNode r2 = corner.Folder(q, u"R2");
    corner.Files(corner.Folder(r2, u"S"), {300000, 100000});
    corner.Files(r2, {300000});
    corner.Sum();
    // Folders nested in each other's corners with large files, beside random trees.
    Fixture nested;
    PNode chain = nested.root;
    for (const char16_t* name : {u"Videos", u"Series", u"Season one", u"Extras"}) {
        chain = nested.Folder(chain, name);
        nested.File(chain, u"a rather long file name.mkv", 900000000);
        nested.Files(chain, randomSizes(30, 12), u".mp4");
    }
    std::mt19937 rnd(13);
    std::vector<PNode> folders{nested.root};
    for (int i = 0; i < 60; ++i) {
        const PNode f = nested.Folder(folders[rnd() % folders.size()], u"folder with a name");
        folders.push_back(f);
        nested.Files(f, randomSizes(1 + rnd() % 40, 14 + i), u".txt");
    }
    nested.Sum();

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    const QFontMetricsF metrics(font);
    for (const Fixture* fx : {&corner, &nested})
        for (const qreal dpr : {1.0, 2.0}) {
            SCOPED_TRACE(testing::Message() << "ratio " << dpr);
            views::TTreemapOptions options;
            options.minLabelSize = QSizeF(24, 14) * dpr;
            TTreemap map;
            ASSERT_TRUE(views::LayoutTreemap(fx->tree, fx->root, (QSizeF(600, 400) * dpr).toSize(),
                                             {}, nullptr, map, options));
            const std::vector<views::TPlacedLabel> labels =
                views::PlaceLabels(map, metrics, dpr, analysis::NumberFormat());
            int folderNames = 0, sizes = 0;
            for (size_t a = 0; a < labels.size(); ++a) {
                const TTreemapTile& t = map.Tile(labels[a].tile);
                const QRectF tile(t.x1 / dpr, t.y1 / dpr, (t.x2 - t.x1) / dpr, (t.y2 - t.y1) / dpr);
                EXPECT_TRUE(tile.adjusted(-1e-6, -1e-6, 1e-6, 1e-6).contains(labels[a].box))
                    << labels[a].text.toStdString();
                if (t.kind == TTileKind::Folder) {
                    ++folderNames;
                    EXPECT_LE(labels[a].box.top(), tile.top() + metrics.height() + 1e-6);
                }
                sizes += labels[a].text.contains(u'\n');
                for (size_t b = a + 1; b < labels.size(); ++b)
                    EXPECT_FALSE(labels[a].box.intersects(labels[b].box))
                        << labels[a].text.toStdString() << " / " << labels[b].text.toStdString();
            }
            EXPECT_GE(folderNames, 2);
            EXPECT_GE(sizes, 3);
        }
}

TEST(TreemapColours, SkinKeysReplaceDefaultsAndBrokenOnesAreIgnored) {
    QTemporaryDir dir;
    QFile ini(dir.filePath("skin.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Header]\nColor=$123456\n\n[Treemap]\nVideo=$FF0000\nAudio=clBlack\n"
              "Pictures=not a colour\nDocuments=\nOther=$00FF80\nBackground=$202020\n"
              "Hover=clNone\n");
    ini.close();
    const views::TTreemapColours defaults;
    const views::TTreemapColours read =
        views::TreemapColoursFromSkin(platform::WindowsPath(ini.fileName().toStdString()));
    using settings::FormatGroupId;
    EXPECT_EQ(read.group[views::GroupIndex(FormatGroupId::Video)], QColor(255, 0, 0));
    EXPECT_EQ(read.group[views::GroupIndex(FormatGroupId::Audio)], QColor(0, 0, 0));
    EXPECT_EQ(read.group[views::GroupIndex(FormatGroupId::Pictures)],
              defaults.group[views::GroupIndex(FormatGroupId::Pictures)]);
    EXPECT_EQ(read.group[views::GroupIndex(FormatGroupId::Documents)],
              defaults.group[views::GroupIndex(FormatGroupId::Documents)]);
    EXPECT_EQ(read.other, QColor(0x00, 0xFF, 0x80));
    EXPECT_EQ(read.background, QColor(0x20, 0x20, 0x20));
    EXPECT_EQ(read.hover, defaults.hover);
    EXPECT_EQ(read.selection, defaults.selection);

    const views::TTreemapColours missing = views::TreemapColoursFromSkin(
        platform::WindowsPath(dir.filePath("none.ini").toStdString()));
    EXPECT_EQ(missing.group, defaults.group);
    EXPECT_EQ(missing.background, defaults.background);
}

// ---- the pane -------------------------------------------------------------------------------

namespace {

// Runs the event loop until the pane shows a current picture, or ten seconds have passed.
bool waitForPicture(views::TTreemapView& view) {
    if (view.IsCurrent())
        return true;
    QEventLoop loop;
    QObject::connect(&view, &views::TTreemapView::PictureChanged, &loop, [&] {
        if (view.IsCurrent())
            loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    return view.IsCurrent();
}

QPoint centreOf(const views::TTreemapView& view, uint32_t tile) {
    return (view.Map().Tile(tile).Rect().center() / view.Picture().devicePixelRatio()).toPoint();
}

void click(QWidget& w, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent e(type, QPointF(at), w.mapToGlobal(QPointF(at)), button, button, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

} // namespace

TEST(TreemapView, ShowsTheMapAndReportsClicksOnTiles) {
    Fixture fx;
    const PNode docs = fx.Folder(fx.root, u"docs");
    const PNode report = fx.File(docs, u"report.pdf", 500000);
    const PNode tiny = fx.Files(docs, std::vector<int64_t>(3000, 3)).back();
    fx.File(fx.root, u"film.mp4", 700000);
    fx.Sum();

    views::TTreemapView view;
    view.resize(400, 250);
    std::vector<std::pair<std::string, PNode>> calls;
    view.OnTileClicked = [&](PNode n) { calls.emplace_back("click", n); };
    view.OnTileDoubleClicked = [&](PNode n) { calls.emplace_back("double", n); };
    view.OnContextMenu = [&](PNode n, QPoint) { calls.emplace_back("menu", n); };
    view.SetSource(&fx.tree, fx.root, false, testGroups());
    view.show();
    ASSERT_TRUE(waitForPicture(view));
    const qreal dpr = view.Picture().devicePixelRatio();
    EXPECT_EQ(view.Map().Size(), (QSizeF(400, 250) * dpr).toSize());
    EXPECT_EQ(view.Map().Root(), fx.root);

    const uint32_t reportTile = view.Map().TileOf(fx.tree, report);
    const uint32_t smallTile = view.Map().TileOf(fx.tree, tiny);
    ASSERT_EQ(view.Map().Tile(smallTile).kind, TTileKind::SmallFiles);
    click(view, QEvent::MouseButtonPress, centreOf(view, reportTile));
    click(view, QEvent::MouseButtonDblClick, centreOf(view, reportTile));
    click(view, QEvent::MouseButtonPress, centreOf(view, smallTile)); // the folder it lies in
    QContextMenuEvent menu(QContextMenuEvent::Mouse, centreOf(view, reportTile),
                           view.mapToGlobal(centreOf(view, reportTile)));
    QApplication::sendEvent(&view, &menu);
    click(view, QEvent::MouseButtonPress, centreOf(view, reportTile), Qt::RightButton);
    EXPECT_EQ(calls,
              (std::vector<std::pair<std::string, PNode>>{
                  {"click", report}, {"double", report}, {"click", docs}, {"menu", report}}));

    view.SetHighlighted({report, tiny, report});
    EXPECT_EQ(view.HighlightedTiles(), (std::vector<uint32_t>{reportTile, smallTile}));
}

TEST(TreemapView, ANewSourceOrSizeReplacesThePictureAndOldOnesNeverReturn) {
    Fixture fx;
    const PNode a = fx.Folder(fx.root, u"a");
    fx.Files(a, randomSizes(300, 10));
    const PNode b = fx.Folder(fx.root, u"b");
    fx.Files(b, randomSizes(300, 11));
    fx.Sum();
    views::TTreemapView view;
    view.resize(300, 200);
    view.show();
    int shown = 0;
    QObject::connect(&view, &views::TTreemapView::PictureChanged,
                     [&] { shown += view.IsCurrent(); });
    // Several sources in a row: only the last one's picture arrives.
    view.SetSource(&fx.tree, fx.root, false, testGroups());
    view.SetSource(&fx.tree, a, false, testGroups());
    view.SetSource(&fx.tree, b, false, testGroups());
    EXPECT_TRUE(view.Picture().isNull()); // no stale picture meanwhile
    ASSERT_TRUE(waitForPicture(view));
    EXPECT_EQ(view.Map().Root(), b);
    QApplication::processEvents();
    EXPECT_EQ(shown, 1);

    // A new size: the old picture waits dimmed, without pointer feedback, until the new one.
    view.resize(360, 220);
    QApplication::processEvents();
    EXPECT_TRUE(view.IsBuilding());
    EXPECT_EQ(view.TileAt(QPointF(10, 10)), TTreemap::kNoTile);
    ASSERT_TRUE(waitForPicture(view));
    EXPECT_EQ(view.Map().Size(), (QSizeF(360, 220) * view.Picture().devicePixelRatio()).toSize());

    view.Clear();
    EXPECT_TRUE(view.Picture().isNull());
    EXPECT_FALSE(view.IsBuilding());
}

TEST(TreemapView, CancelAndWaitLetsGoOfTheTree) {
    Fixture fx;
    for (int f = 0; f < 40; ++f)
        fx.Files(fx.Folder(fx.root, u"f"), randomSizes(5000, f));
    fx.Sum();
    views::TTreemapView view;
    view.resize(1200, 800);
    view.show();
    std::atomic<int> lookups{0};
    const views::TGroupOf groups = testGroups();
    int changes = 0;
    QObject::connect(&view, &views::TTreemapView::PictureChanged, [&] { ++changes; });
    view.SetSource(&fx.tree, fx.root, false, [&](const TAnalysisTree& t, PNode n) {
        ++lookups;
        return groups(t, n);
    });
    changes = 0;
    // Wait until the worker is under way, then stop it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (lookups == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_GT(lookups, 0);
    view.CancelAndWait();
    const int seen = lookups;
    EXPECT_FALSE(view.IsBuilding());
    EXPECT_FALSE(view.IsCurrent());
    // The tree may change now: nothing reads it, no picture of it arrives, the pointer is ignored.
    fx.tree.DeleteNode(fx.tree.GetFirstChild(fx.root));
    fx.Sum();
    QEventLoop loop;
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(lookups, seen);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(view.TileAt(QPointF(100, 100)), TTreemap::kNoTile);
    // A new source brings the map of the changed tree.
    view.SetSource(&fx.tree, fx.root, false, testGroups());
    ASSERT_TRUE(waitForPicture(view));
    EXPECT_EQ(view.Map().TotalBytes(), fx.tree.Size(fx.root));
}
