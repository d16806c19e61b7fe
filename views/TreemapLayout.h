#pragma once

// The map of the disk: a squarified treemap of one folder of the analysis tree, nested by folder
// down to single files, and its picture with shaded cushions coloured by the file-format groups.
//
// Laying out and painting are pure computations without widgets, so that the map pane can run
// them on a worker thread while the tree stays unchanged:
//
//     TTreemap map;
//     if (LayoutTreemap(tree, root, QSize(1600, 500), GroupsByExtension(lists), &cancel, map))
//         RenderTreemap(map, TTreemapColours(), image, 1.0, font);
//
// Areas are proportional to sizes. Entries whose tile would be too small to see are not laid
// out one by one: each folder gathers them into one tile of its own ("small files"), and the
// layout never descends below it, so its cost follows what is visible rather than the size of
// the tree.

#include "analysis/AnalysisTree.h"
#include "analysis/SizeText.h"
#include "views/FileFormats.h"

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

class QFont;
class QFontMetricsF;

namespace views {

// The format group of a file: GroupIndex of its group (0 .. kGroupCount - 1), or -1 for none.
// Called on the laying-out thread for every file drawn or gathered into a small-files tile.
// Lookups may keep scratch space, so each thread works with its own copy.
using TGroupOf = std::function<int(const analysis::TAnalysisTree&, analysis::PNode)>;

// The lookup of the formats view: the first group whose parsed list (indexed by GroupIndex)
// holds the file's extension.
TGroupOf GroupsByExtension(const std::array<QStringList, kGroupCount>& lists);

enum class TTileKind : uint8_t {
    Folder,     // the children's tiles cover it
    File,       // one file
    SmallFiles, // the entries of a folder whose own tiles would be too small to see
};

// One tile, in device pixels. Tiles are kept in paint order (pre-order): a folder, then every
// tile inside it, so that [index + 1, end) are the tiles inside a folder's tile.
struct TTreemapTile {
    int64_t bytes = 0;
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    analysis::PNode node = analysis::PNode::None; // None for a small-files tile
    uint32_t end = 0;                             // one past the last tile inside it
    uint32_t count = 0; // files it stands for (a folder's and a small-files tile's files below)
    uint8_t depth = 0;  // nesting level below the top, saturating at 255
    int8_t group = -1;  // a file's group; a small-files tile's largest group by bytes; else -1
    TTileKind kind = TTileKind::File;
    uint8_t reserved = 0;

    QRectF Rect() const { return QRectF(QPointF(x1, y1), QPointF(x2, y2)); }
    bool Contains(QPointF p) const {
        return p.x() >= x1 && p.x() < x2 && p.y() >= y1 && p.y() < y2;
    }
    double Area() const { return double(x2 - x1) * double(y2 - y1); }
};

// A name to write on a tile: folders and files whose tiles are large enough.
struct TTreemapLabel {
    uint32_t tile = 0;
    QString text;
};

struct TTreemapOptions {
    // Sizes from the visible files only (an extension filter is active): a folder then covers
    // the sum of its visible files, whatever its own visibility (the filter hides every folder).
    // Otherwise the tree's sizes count and visibility marks are not read.
    bool filtered = false;
    // Entries whose tile would cover less are gathered into their folder's small-files tile. At
    // 4 x 4 device pixels a cushion still shows its light and shadow side and a pointer can still
    // land on it; below that tiles read as noise and would cost as much to lay out as big ones.
    double minTileArea = 16.0;
    // Tiles that get a label candidate (device pixels); the painter decides what fits its font.
    QSizeF minLabelSize{36.0, 12.0};
};

class TTreemap {
public:
    static constexpr uint32_t kNoTile = 0xFFFFFFFFu;

    bool Empty() const { return tiles_.empty(); }
    const std::vector<TTreemapTile>& Tiles() const { return tiles_; }
    const TTreemapTile& Tile(uint32_t index) const { return tiles_[index]; }
    const std::vector<TTreemapLabel>& Labels() const { return labels_; }
    QSize Size() const { return size_; }               // device pixels laid out
    analysis::PNode Root() const { return root_; }     // the folder the map shows
    int64_t TotalBytes() const { return totalBytes_; } // what the whole map stands for

    // The deepest tile under a point in device pixels, or kNoTile outside every tile.
    uint32_t HitTest(QPointF devicePoint) const;
    // The tile showing a node: its own, or else the tile of the nearest ancestor drawn, or that
    // ancestor's small-files tile when the node's branch was gathered there. kNoTile when the
    // node is not inside the map. The tree must be the one laid out, unchanged since.
    uint32_t TileOf(const analysis::TAnalysisTree& tree, analysis::PNode node) const;
    // The tiles showing any of the nodes, ascending and each once: an index of the map's tiles
    // is made once, then a node costs a step or two (siblings share the walk up to a drawn
    // folder), so that large selections stay cheap.
    std::vector<uint32_t> TilesOf(const analysis::TAnalysisTree& tree,
                                  const std::vector<analysis::PNode>& nodes) const;
    // The folder tile a tile lies in; kNoTile for the top tile.
    uint32_t ParentTile(uint32_t tile) const;
    // The folder a tile lies in (its own node for the top tile).
    analysis::PNode OwnerFolder(uint32_t tile) const;

    // Bytes held: tiles and labels (capacity).
    size_t MemoryBytes() const;

private:
    friend class TTreemapBuilder;

    std::vector<TTreemapTile> tiles_;
    std::vector<TTreemapLabel> labels_;
    QSize size_;
    analysis::PNode root_ = analysis::PNode::None;
    int64_t totalBytes_ = 0;
    bool filtered_ = false;
};

// Lays out the map of root (a folder; a file makes a one-tile map) into size device pixels.
// The cancel flag (when given) is read often; false, with an empty map, once it is set. The tree
// must not change meanwhile.
bool LayoutTreemap(const analysis::TAnalysisTree& tree, analysis::PNode root, QSize size,
                   const TGroupOf& groupOf, const std::atomic<bool>* cancel, TTreemap& out,
                   const TTreemapOptions& options = {});

// The colours of the map: one per format group (by GroupIndex), files in no group, the
// background where nothing is drawn, and the outlines the pane draws for selected tiles and
// for the folder under the pointer.
struct TTreemapColours {
    std::array<QColor, kGroupCount> group;
    QColor other;
    QColor background;
    QColor selection;
    QColor hover;

    TTreemapColours(); // our defaults
};

// Our defaults, with the keys of section [Treemap] of a skin.ini (a Windows path) that are
// present and hold a colour: Video, Audio, Pictures, Documents, Archives, Applications, Own,
// Other, Background, Selection, Hover ("$RRGGBB" or any colour the skin's other keys take).
// A missing file or key keeps the default; a text that is no colour too, with a debug line.
TTreemapColours TreemapColoursFromSkin(const QString& iniFile);

// The colour a small-files tile of a group is painted with: the group's, greyed and a little
// darker, so that gathered files read as a texture of their folder rather than as items.
QColor MutedColour(const QColor& colour);

// A name as the picture writes it: the text (a file's size on a second line when there is room)
// and the box it takes, in logical pixels (device pixels / devicePixelRatio).
struct TPlacedLabel {
    uint32_t tile = 0;
    QRectF box;
    QString text;
};

// Where the names go: a folder's at its top left, a file's centred in what its tile keeps free
// of folder names. Outer folders come first; a folder whose name would cover an enclosing
// folder's moves a line down, and no further, so that nested folders sharing a corner show at
// most two names there. Names of which fewer than four characters would show are left out.
// Every box lies inside its tile, and no two overlap.
std::vector<TPlacedLabel> PlaceLabels(const TTreemap& map, const QFontMetricsF& metrics,
                                      qreal devicePixelRatio, const analysis::NumberFormat& format);

struct TRenderOptions {
    // Shaded cushions; without them tiles are flat (the plain squarified map).
    bool cushions = true;
    bool labels = true;
    // Separators of the size texts written under large files' names.
    analysis::NumberFormat numberFormat;
    // Read between tiles and rows; the picture is left unfinished once it is set.
    const std::atomic<bool>* cancel = nullptr;
};

// Paints the map into out: an image of map.Size() device pixels with devicePixelRatio set, the
// tiles shaded by nesting level (a cushion per folder and file adds to its parent's, so folder
// boundaries show without frames) and coloured by group, names clipped to their tiles in black
// or white, whichever the tile under them is brighter against. False when cancelled.
bool RenderTreemap(const TTreemap& map, const TTreemapColours& colours, QImage& out,
                   qreal devicePixelRatio, const QFont& font, const TRenderOptions& options = {});

} // namespace views
