#include "views/TreemapLayout.h"

#include "analysis/NodeData.h"
#include "platform/Debug.h"
#include "skin/IniFile.h"
#include "skin/SkinColors.h"
#include "views/FilterRules.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>

namespace views {

using analysis::PNode;
using analysis::TAnalysisTree;

static_assert(sizeof(TTreemapTile) == 40, "a tile is kept small: maps hold up to a tile a pixel");

namespace {

bool isCancelled(const std::atomic<bool>* cancel) {
    return cancel && cancel->load(std::memory_order_relaxed);
}

// The name a node is listed with: the last part of its path (the whole path of a drive root).
QString nodeName(const TAnalysisTree& tree, PNode n) {
    std::u16string text;
    tree.Pieces(n).own.AppendTo(text);
    const size_t cut = text.rfind(u'\\');
    if (cut != std::u16string::npos && cut + 1 < text.size())
        text.erase(0, cut + 1);
    return QString::fromStdU16String(text);
}

struct Box {
    double x1, y1, x2, y2;
    double Width() const { return x2 - x1; }
    double Height() const { return y2 - y1; }
};

} // namespace

TGroupOf GroupsByExtension(const std::array<QStringList, kGroupCount>& lists) {
    TExtensionTable table;
    for (size_t g = 0; g < kGroupCount; ++g)
        for (const QString& e : lists[g])
            table.Add(e, static_cast<int>(g)); // an extension in two lists belongs to the first
    if (table.Empty())
        return [](const TAnalysisTree&, PNode) { return -1; };
    return [table, name = std::u16string()](const TAnalysisTree& tree, PNode n) mutable {
        // A file's own text ends with its name, which is all the extension needs.
        name.clear();
        tree.Pieces(n).own.AppendTo(name);
        return table.Find(name);
    };
}

// ---- layout -----------------------------------------------------------------------------------

class TTreemapBuilder {
public:
    TTreemapBuilder(const TAnalysisTree& tree, const TGroupOf& groupOf,
                    const std::atomic<bool>* cancel, const TTreemapOptions& options, TTreemap& out)
        : tree_(tree), groupOf_(groupOf), cancel_(cancel), options_(options), out_(out) {}

    bool Build(PNode root, QSize size);

private:
    // An entry of a folder to place: a file, a folder or the folder's gathered small entries.
    struct Item {
        int64_t bytes;
        PNode node; // None for the small entries
        uint32_t files;
        bool folder;
    };
    struct Visible {
        int64_t bytes = 0;
        uint32_t files = 0;
    };
    // Scratch of one nesting level, kept between folders so that a layout allocates little.
    struct Level {
        std::vector<Item> items;
        std::vector<double> areas;
        std::vector<Box> boxes;
    };

    int64_t bytesOf(PNode n) const;
    uint32_t filesOf(PNode n) const;
    int groupOf(PNode file) const;
    bool computeVisibleSizes(PNode root);
    bool layoutChildren(PNode folder, const Box& box, unsigned depth);
    uint32_t addTile(const Box& box, const Item& item, unsigned depth, int group);
    bool tick() { return (++steps_ & 1023) != 0 || !isCancelled(cancel_); }

    const TAnalysisTree& tree_;
    const TGroupOf& groupOf_;
    const std::atomic<bool>* cancel_;
    const TTreemapOptions& options_;
    TTreemap& out_;
    std::unordered_map<uint32_t, Visible> visible_; // folders, when filtered
    std::vector<Level> levels_;
    uint64_t steps_ = 0;
};

int64_t TTreemapBuilder::bytesOf(PNode n) const {
    if (!options_.filtered)
        return std::max<int64_t>(tree_.Size(n), 0);
    if (!tree_.IsFolder(n))
        return tree_.IsVisible(n) ? std::max<int64_t>(tree_.Size(n), 0) : 0;
    const auto it = visible_.find(static_cast<uint32_t>(n));
    return it == visible_.end() ? 0 : it->second.bytes;
}

int TTreemapBuilder::groupOf(PNode file) const {
    const int g = groupOf_ ? groupOf_(tree_, file) : -1;
    return g >= 0 && g < static_cast<int>(kGroupCount) ? g : -1;
}

uint32_t TTreemapBuilder::filesOf(PNode n) const {
    if (!tree_.IsFolder(n))
        return 1;
    if (!options_.filtered)
        return tree_.FileCount(n);
    const auto it = visible_.find(static_cast<uint32_t>(n));
    return it == visible_.end() ? 0 : it->second.files;
}

// The sizes of the folders below root counted over their visible files. Folders are listed
// parents first and summed in the reverse order, so that every folder's subfolders are done
// before it.
bool TTreemapBuilder::computeVisibleSizes(PNode root) {
    std::vector<PNode> folders;
    std::vector<PNode> pending{root};
    while (!pending.empty()) {
        const PNode f = pending.back();
        pending.pop_back();
        folders.push_back(f);
        for (PNode c = tree_.GetFirstChild(f); c != PNode::None; c = tree_.GetNextSibling(c)) {
            if (tree_.IsFolder(c))
                pending.push_back(c);
            if (!tick())
                return false;
        }
    }
    visible_.reserve(folders.size());
    for (auto f = folders.rbegin(); f != folders.rend(); ++f) {
        Visible sum;
        for (PNode c = tree_.GetFirstChild(*f); c != PNode::None; c = tree_.GetNextSibling(c)) {
            if (tree_.IsFolder(c)) {
                const Visible& v = visible_[static_cast<uint32_t>(c)];
                sum.bytes = analysis::AddSizes(sum.bytes, v.bytes);
                sum.files += v.files;
            } else if (tree_.IsVisible(c) && tree_.Size(c) > 0) {
                sum.bytes = analysis::AddSizes(sum.bytes, tree_.Size(c));
                ++sum.files;
            }
            if (!tick())
                return false;
        }
        visible_[static_cast<uint32_t>(*f)] = sum;
    }
    return true;
}

uint32_t TTreemapBuilder::addTile(const Box& box, const Item& item, unsigned depth, int group) {
    TTreemapTile t;
    t.bytes = item.bytes;
    t.x1 = static_cast<float>(box.x1);
    t.y1 = static_cast<float>(box.y1);
    t.x2 = static_cast<float>(box.x2);
    t.y2 = static_cast<float>(box.y2);
    t.node = item.node;
    t.count = item.files;
    t.depth = static_cast<uint8_t>(std::min(depth, 255u));
    t.group = static_cast<int8_t>(group);
    t.kind = item.node == PNode::None ? TTileKind::SmallFiles
             : item.folder            ? TTileKind::Folder
                                      : TTileKind::File;
    const uint32_t index = static_cast<uint32_t>(out_.tiles_.size());
    t.end = index + 1;
    out_.tiles_.push_back(t);
    if (item.node != PNode::None && depth > 0 && box.Width() >= options_.minLabelSize.width() &&
        box.Height() >= options_.minLabelSize.height())
        out_.labels_.push_back({index, nodeName(tree_, item.node)});
    return index;
}

namespace {

// The worst aspect ratio of a row of areas summing to sum along a side of length side, whose
// largest and smallest areas are given (Bruls, Huizing and van Wijk).
double worstRatio(double largest, double smallest, double sum, double side) {
    const double s2 = sum * sum;
    const double w2 = side * side;
    return std::max(w2 * largest / s2, s2 / (w2 * smallest));
}

// Places the areas (largest first, summing to the box's area) in rows along the shorter side of
// what is left of the box, each row taking items while that does not make its worst aspect
// ratio worse. The last row and each row's last item end exactly at the box's edges, so that
// rounding leaves neither gaps nor overlaps.
void squarify(const std::vector<double>& areas, const Box& whole, std::vector<Box>& boxes) {
    boxes.resize(areas.size());
    Box rest = whole;
    size_t i = 0;
    const size_t n = areas.size();
    while (i < n) {
        const bool columns = rest.Width() >= rest.Height(); // a column at the left, else a row
        const double side = columns ? rest.Height() : rest.Width();
        double sum = areas[i];
        double worst = worstRatio(areas[i], areas[i], sum, side);
        size_t j = i + 1;
        for (; j < n; ++j) {
            const double next = worstRatio(areas[i], areas[j], sum + areas[j], side);
            if (next > worst)
                break;
            sum += areas[j];
            worst = next;
        }
        const bool last = j == n;
        const double thickness = side > 0 ? sum / side : 0;
        double at = columns ? rest.y1 : rest.x1;
        if (columns) {
            const double x2 = last ? rest.x2 : std::min(rest.x2, rest.x1 + thickness);
            for (size_t k = i; k < j; ++k) {
                const double y2 =
                    k + 1 == j ? rest.y2 : std::min(rest.y2, at + areas[k] / thickness);
                boxes[k] = {rest.x1, at, x2, y2};
                at = y2;
            }
            rest.x1 = x2;
        } else {
            const double y2 = last ? rest.y2 : std::min(rest.y2, rest.y1 + thickness);
            for (size_t k = i; k < j; ++k) {
                const double x2 =
                    k + 1 == j ? rest.x2 : std::min(rest.x2, at + areas[k] / thickness);
                boxes[k] = {at, rest.y1, x2, y2};
                at = x2;
            }
            rest.y1 = y2;
        }
        i = j;
    }
}

} // namespace

bool TTreemapBuilder::layoutChildren(PNode folder, const Box& box, unsigned depth) {
    if (levels_.size() <= depth)
        levels_.resize(depth + 1);
    // The scratch of this level is reused by the folders nested below: take it over meanwhile.
    Level level = std::move(levels_[depth]);
    std::vector<Item>& items = level.items;
    items.clear();

    int64_t total = 0;
    for (PNode c = tree_.GetFirstChild(folder); c != PNode::None; c = tree_.GetNextSibling(c)) {
        if (!tick())
            return false;
        const int64_t bytes = bytesOf(c);
        if (bytes <= 0)
            continue; // zero-size files, empty folders and hidden files take no area
        items.push_back({bytes, c, filesOf(c), tree_.IsFolder(c)});
        total = analysis::AddSizes(total, bytes);
    }
    if (total <= 0) {
        levels_[depth] = std::move(level);
        return true;
    }

    // Entries below the smallest tile area go into one small-files tile, coloured after the
    // group that holds most of its bytes among its files (gathered folders are not entered).
    const double scale = box.Width() * box.Height() / static_cast<double>(total);
    const double minBytes = options_.minTileArea / scale;
    Item small{0, PNode::None, 0, false};
    std::array<int64_t, kGroupCount> groupBytes{};
    auto kept = items.begin();
    for (const Item& item : items) {
        if (static_cast<double>(item.bytes) >= minBytes) {
            *kept++ = item;
            continue;
        }
        small.bytes = analysis::AddSizes(small.bytes, item.bytes);
        small.files += item.files;
        if (!item.folder) {
            const int g = groupOf(item.node);
            if (g >= 0)
                groupBytes[static_cast<size_t>(g)] += item.bytes;
        }
        if (!tick())
            return false;
    }
    items.erase(kept, items.end());
    // Largest first; equal sizes in the order of the tree, so that a layout is reproducible.
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return a.bytes != b.bytes ? a.bytes > b.bytes
                                  : static_cast<uint32_t>(a.node) < static_cast<uint32_t>(b.node);
    });
    int smallGroup = -1;
    if (small.bytes > 0) {
        const auto most = std::max_element(groupBytes.begin(), groupBytes.end());
        if (*most > 0)
            smallGroup = static_cast<int>(most - groupBytes.begin());
        const auto at =
            std::lower_bound(items.begin(), items.end(), small.bytes,
                             [](const Item& item, int64_t bytes) { return item.bytes >= bytes; });
        items.insert(at, small);
    }

    level.areas.resize(items.size());
    for (size_t k = 0; k < items.size(); ++k)
        level.areas[k] = static_cast<double>(items[k].bytes) * scale;
    squarify(level.areas, box, level.boxes);

    for (size_t k = 0; k < items.size(); ++k) {
        const Item& item = items[k];
        const int group = item.node == PNode::None ? smallGroup
                          : item.folder            ? -1
                                                   : groupOf(item.node);
        const uint32_t tile = addTile(level.boxes[k], item, depth + 1, group);
        if (item.folder && item.node != PNode::None &&
            !layoutChildren(item.node, level.boxes[k], depth + 1))
            return false;
        out_.tiles_[tile].end = static_cast<uint32_t>(out_.tiles_.size());
    }
    levels_[depth] = std::move(level);
    return true;
}

bool TTreemapBuilder::Build(PNode root, QSize size) {
    out_ = TTreemap();
    out_.size_ = size;
    out_.root_ = root;
    out_.filtered_ = options_.filtered;
    if (root == PNode::None || size.isEmpty())
        return true;
    if (options_.filtered && tree_.IsFolder(root) && !computeVisibleSizes(root)) {
        out_ = TTreemap();
        return false;
    }
    const int64_t bytes = bytesOf(root);
    if (bytes <= 0)
        return true;
    out_.totalBytes_ = bytes;
    const Box whole{0, 0, double(size.width()), double(size.height())};
    const bool folder = tree_.IsFolder(root);
    const uint32_t top =
        addTile(whole, {bytes, root, filesOf(root), folder}, 0, folder ? -1 : groupOf(root));
    if (folder && !layoutChildren(root, whole, 0)) {
        out_ = TTreemap();
        return false;
    }
    out_.tiles_[top].end = static_cast<uint32_t>(out_.tiles_.size());
    if (folder) {
        // The map stands for what its tiles cover, should the folder's own size lag behind.
        int64_t covered = 0;
        for (uint32_t c = top + 1; c < out_.tiles_.size(); c = out_.tiles_[c].end)
            covered = analysis::AddSizes(covered, out_.tiles_[c].bytes);
        out_.tiles_[top].bytes = covered;
        out_.totalBytes_ = covered;
        if (covered == 0) {
            out_.tiles_.clear();
            out_.labels_.clear();
        }
    }
    return true;
}

bool LayoutTreemap(const TAnalysisTree& tree, PNode root, QSize size, const TGroupOf& groupOf,
                   const std::atomic<bool>* cancel, TTreemap& out, const TTreemapOptions& options) {
    return TTreemapBuilder(tree, groupOf, cancel, options, out).Build(root, size);
}

// ---- queries ----------------------------------------------------------------------------------

uint32_t TTreemap::HitTest(QPointF p) const {
    if (tiles_.empty() || !tiles_[0].Contains(p))
        return kNoTile;
    uint32_t at = 0;
    for (;;) {
        const TTreemapTile& t = tiles_[at];
        uint32_t inside = kNoTile;
        for (uint32_t c = at + 1; c < t.end; c = tiles_[c].end)
            if (tiles_[c].Contains(p)) {
                inside = c;
                break;
            }
        if (inside == kNoTile)
            return at;
        at = inside;
    }
}

uint32_t TTreemap::TileOf(const TAnalysisTree& tree, PNode node) const {
    const std::vector<uint32_t> tiles = TilesOf(tree, {node});
    return tiles.empty() ? kNoTile : tiles.front();
}

std::vector<uint32_t> TTreemap::TilesOf(const TAnalysisTree& tree,
                                        const std::vector<PNode>& nodes) const {
    std::vector<uint32_t> result;
    if (tiles_.empty() || nodes.empty())
        return result;
    // The drawn nodes' tiles, and each folder tile's small-files tile.
    std::unordered_map<uint32_t, uint32_t> drawn;
    std::unordered_map<uint32_t, uint32_t> smallIn;
    drawn.reserve(tiles_.size());
    std::vector<uint32_t> open;
    for (uint32_t i = 0; i < tiles_.size(); ++i) {
        while (!open.empty() && tiles_[open.back()].end <= i)
            open.pop_back();
        const TTreemapTile& t = tiles_[i];
        if (t.node != PNode::None)
            drawn.emplace(static_cast<uint32_t>(t.node), i);
        else if (!open.empty())
            smallIn.emplace(open.back(), i);
        if (t.kind == TTileKind::Folder)
            open.push_back(i);
    }
    const auto takesNoArea = [&](PNode n) {
        return tree.Size(n) <= 0 || (filtered_ && !tree.IsFolder(n) && !tree.IsVisible(n));
    };
    // Folders not drawn, by the tile they are shown in: siblings below one of them cost a step.
    std::unordered_map<uint32_t, uint32_t> resolved;
    std::vector<PNode> branch;
    for (const PNode node : nodes) {
        if (node == PNode::None || !tree.Contains(node))
            continue;
        branch.clear();
        uint32_t tile = kNoTile;
        bool final = false;
        for (PNode n = node; n != PNode::None; n = tree.GetParent(n)) {
            if (const auto d = drawn.find(static_cast<uint32_t>(n)); d != drawn.end()) {
                tile = d->second;
                break;
            }
            if (const auto r = resolved.find(static_cast<uint32_t>(n)); r != resolved.end()) {
                tile = r->second;
                final = true;
                break;
            }
            branch.push_back(n);
        }
        if (tile == kNoTile)
            continue; // not inside the map
        if (!final && !branch.empty()) {
            // The branch below the nearest drawn folder was gathered into its small-files tile,
            // unless it takes no area at all.
            const auto small = smallIn.find(tile);
            if (small != smallIn.end() && !takesNoArea(branch.back()))
                tile = small->second;
            for (const PNode n : branch)
                if (tree.IsFolder(n))
                    resolved.emplace(static_cast<uint32_t>(n), tile);
        }
        result.push_back(tile);
    }
    std::sort(result.begin(), result.end());
    result.erase(std::unique(result.begin(), result.end()), result.end());
    return result;
}

uint32_t TTreemap::ParentTile(uint32_t tile) const {
    if (tile == 0 || tile >= tiles_.size())
        return kNoTile;
    // Down from the top: each step goes to the child whose range holds the tile.
    uint32_t at = 0;
    for (;;) {
        uint32_t c = at + 1;
        while (tiles_[c].end <= tile)
            c = tiles_[c].end;
        if (c == tile)
            return at;
        at = c;
    }
}

PNode TTreemap::OwnerFolder(uint32_t tile) const {
    if (tile >= tiles_.size())
        return PNode::None;
    const uint32_t parent = ParentTile(tile);
    return tiles_[parent == kNoTile ? 0 : parent].node;
}

size_t TTreemap::MemoryBytes() const {
    size_t bytes =
        tiles_.capacity() * sizeof(TTreemapTile) + labels_.capacity() * sizeof(TTreemapLabel);
    for (const TTreemapLabel& l : labels_)
        bytes += static_cast<size_t>(l.text.capacity()) * sizeof(QChar);
    return bytes;
}

// ---- colours ----------------------------------------------------------------------------------

TTreemapColours::TTreemapColours() {
    // Hues far apart and of similar lightness, so that no group outshouts another and each keeps
    // room for the light and shadow sides of its cushions.
    group[GroupIndex(settings::FormatGroupId::Video)] = QColor(0xE0, 0x6C, 0x5A);
    group[GroupIndex(settings::FormatGroupId::Audio)] = QColor(0xE3, 0xA8, 0x38);
    group[GroupIndex(settings::FormatGroupId::Pictures)] = QColor(0x62, 0xB8, 0x5E);
    group[GroupIndex(settings::FormatGroupId::Documents)] = QColor(0x4F, 0x8C, 0xD9);
    group[GroupIndex(settings::FormatGroupId::Archives)] = QColor(0xA5, 0x7B, 0xD4);
    group[GroupIndex(settings::FormatGroupId::Applications)] = QColor(0x3B, 0xB3, 0xAC);
    group[GroupIndex(settings::FormatGroupId::Own)] = QColor(0xD4, 0x6F, 0xAE);
    other = QColor(0xB9, 0xBE, 0xC6);
    background = QColor(0x6B, 0x71, 0x7A);
    selection = QColor(0xFF, 0xFF, 0xFF);
    hover = QColor(0xFF, 0xD8, 0x3D);
}

TTreemapColours TreemapColoursFromSkin(const QString& iniFile) {
    TTreemapColours colours;
    const skin::TIniFile ini = skin::TIniFile::FromFile(iniFile);
    const QString section = QStringLiteral("Treemap");
    const auto read = [&](const char* key, QColor& colour) {
        const std::optional<QString> text = ini.Value(section, QString::fromLatin1(key));
        if (!text || text->isEmpty())
            return;
        const std::optional<skin::TColor> value = skin::StringToSkinColor(*text);
        if (!value || *value == skin::clNone || *value == skin::clDefault) {
            platform::OutputDebugStringW(
                QStringLiteral("*** Treemap colour is not a colour: [%1] %2=%3 ; %4")
                    .arg(section, QLatin1String(key), *text, iniFile));
            return;
        }
        colour = skin::ToQColor(*value);
    };
    using settings::FormatGroupId;
    read("Video", colours.group[GroupIndex(FormatGroupId::Video)]);
    read("Audio", colours.group[GroupIndex(FormatGroupId::Audio)]);
    read("Pictures", colours.group[GroupIndex(FormatGroupId::Pictures)]);
    read("Documents", colours.group[GroupIndex(FormatGroupId::Documents)]);
    read("Archives", colours.group[GroupIndex(FormatGroupId::Archives)]);
    read("Applications", colours.group[GroupIndex(FormatGroupId::Applications)]);
    read("Own", colours.group[GroupIndex(FormatGroupId::Own)]);
    read("Other", colours.other);
    read("Background", colours.background);
    read("Selection", colours.selection);
    read("Hover", colours.hover);
    return colours;
}

QColor MutedColour(const QColor& colour) {
    float h = 0, s = 0, v = 0;
    colour.getHsvF(&h, &s, &v);
    return QColor::fromHsvF(h, s * 0.35f, v * 0.88f);
}

// ---- picture ----------------------------------------------------------------------------------

namespace {

// A cushion surface z = ax x^2 + bx x + ay y^2 + by y (van Wijk and van de Wetering): every tile
// adds a parabolic ridge in both directions to the surface of the folder it lies in, so the
// light falls off towards the edges of each file, less so towards those of each folder.
struct Surface {
    double ax = 0, bx = 0, ay = 0, by = 0;
};

// Ridge height per pixel of width at the top, and its decay per nesting level. A ridge's slope at
// a tile's edges is 4 x its height whatever the tile's size; the slow decay keeps the edges of
// files deep in the tree visible (system trees nest ten levels and more).
constexpr double kRidgeHeight = 0.5;
constexpr double kRidgeDecay = 0.88;
// Light from the upper left, mostly from the front: how much is ambient, how much directed.
constexpr double kAmbient = 0.30;
constexpr double kDiffuse = 0.75;

Surface withRidge(Surface s, const TTreemapTile& t, double height) {
    const double w = double(t.x2) - double(t.x1);
    const double h = double(t.y2) - double(t.y1);
    if (w > 0) {
        s.bx += 4 * height * (double(t.x2) + double(t.x1)) / w;
        s.ax -= 4 * height / w;
    }
    if (h > 0) {
        s.by += 4 * height * (double(t.y2) + double(t.y1)) / h;
        s.ay -= 4 * height / h;
    }
    return s;
}

struct PixelSpan {
    int x1, y1, x2, y2;
};

// The pixels whose centres lie in the tile: neighbouring tiles share their edges exactly, so
// every pixel belongs to one of them.
PixelSpan pixelsOf(const TTreemapTile& t, const QSize& size) {
    const auto at = [](float v, int limit) {
        return std::clamp(static_cast<int>(std::lround(v)), 0, limit);
    };
    return {at(t.x1, size.width()), at(t.y1, size.height()), at(t.x2, size.width()),
            at(t.y2, size.height())};
}

void paintFlat(QImage& image, const PixelSpan& p, QRgb colour) {
    for (int y = p.y1; y < p.y2; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::fill(line + p.x1, line + p.x2, colour);
    }
}

// False when cancelled part way: a tile may cover the whole picture.
bool paintCushion(QImage& image, const PixelSpan& p, const Surface& s, const QColor& colour,
                  const std::atomic<bool>* cancel) {
    static const double kLength = std::sqrt(1.0 + 4.0 + 100.0);
    const double lx = -1.0 / kLength, ly = -2.0 / kLength, lz = 10.0 / kLength;
    const double r = colour.red(), g = colour.green(), b = colour.blue();
    for (int y = p.y1; y < p.y2; ++y) {
        if (((y - p.y1) & 63) == 63 && isCancelled(cancel))
            return false;
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const double cy = y + 0.5;
        const double ny = -(2 * s.ay * cy + s.by);
        const double nyTerm = ny * ly + lz;
        const double ny2 = ny * ny + 1.0;
        for (int x = p.x1; x < p.x2; ++x) {
            const double cx = x + 0.5;
            const double nx = -(2 * s.ax * cx + s.bx);
            const double cosine = (nx * lx + nyTerm) / std::sqrt(nx * nx + ny2);
            const double light = kAmbient + kDiffuse * std::max(0.0, cosine);
            const auto channel = [light](double c) {
                return static_cast<int>(std::min(255.0, c * light + 0.5));
            };
            line[x] = qRgb(channel(r), channel(g), channel(b));
        }
    }
    return true;
}

QColor tileColour(const TTreemapTile& t, const TTreemapColours& colours) {
    const QColor base = t.group >= 0 && t.group < static_cast<int>(kGroupCount)
                            ? colours.group[static_cast<size_t>(t.group)]
                            : colours.other;
    return t.kind == TTileKind::SmallFiles ? MutedColour(base) : base;
}

// Mean brightness (0..255) of a few pixels spread over a box of device pixels.
int meanGrey(const QImage& image, const QRectF& box) {
    const QRect area = box.toAlignedRect().intersected(image.rect());
    if (area.isEmpty())
        return 128;
    int sum = 0, n = 0;
    for (int iy = 0; iy < 3; ++iy)
        for (int ix = 0; ix < 5; ++ix) {
            const int x = area.left() + (area.width() - 1) * ix / 4;
            const int y = area.top() + (area.height() - 1) * iy / 2;
            sum += qGray(image.pixel(x, y));
            ++n;
        }
    return sum / n;
}

// Writes text in black or white, whichever stands out against the pixels under it, with a soft
// halo of the other, so that it reads on the light and the shadow side of a cushion alike.
void drawReadable(QPainter& painter, const QImage& image, qreal dpr, const QRectF& box, int flags,
                  const QString& text) {
    const QRectF device(box.left() * dpr, box.top() * dpr, box.width() * dpr, box.height() * dpr);
    const bool bright = meanGrey(image, device) >= 150;
    const QColor halo = bright ? QColor(255, 255, 255, 90) : QColor(0, 0, 0, 110);
    const qreal d = 1 / dpr;
    painter.setPen(halo);
    for (const QPointF offset : {QPointF(d, 0), QPointF(-d, 0), QPointF(0, d), QPointF(0, -d)})
        painter.drawText(box.translated(offset), flags, text);
    painter.setPen(bright ? QColor(0x11, 0x14, 0x18) : QColor(0xFF, 0xFF, 0xFF));
    painter.drawText(box, flags, text);
}

bool paintLabels(const TTreemap& map, QImage& image, qreal dpr, const QFont& font,
                 const TRenderOptions& options) {
    QPainter painter(&image);
    painter.setFont(font);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const std::vector<TPlacedLabel> labels =
        PlaceLabels(map, painter.fontMetrics(), dpr, options.numberFormat);
    for (const TPlacedLabel& label : labels) {
        if (isCancelled(options.cancel))
            return false;
        const TTreemapTile& t = map.Tile(label.tile);
        // The halo stays inside the tile as well.
        painter.setClipRect(
            QRectF(t.x1 / dpr, t.y1 / dpr, (t.x2 - t.x1) / dpr, (t.y2 - t.y1) / dpr));
        drawReadable(painter, image, dpr, label.box, Qt::AlignCenter, label.text);
    }
    return true;
}

// A folder's name placed on the map, with the end of the folder's tiles.
struct Band {
    uint32_t end;
    QRectF box;
};

// The top of what a tile keeps free of the names of the folders around it. Those names lie at
// the top of their folders, so whatever of a tile they cover is at its top.
qreal freeTop(const std::vector<Band>& around, const QRectF& tile) {
    qreal top = tile.top();
    for (const Band& outer : around)
        if (outer.box.intersects(tile))
            top = std::max(top, outer.box.bottom());
    return top;
}

// The elided name when enough of it shows to be recognised: all of it, or four characters.
QString fittedName(const QFontMetricsF& fm, const QString& name, qreal width) {
    if (width <= 0)
        return {};
    const QString text = fm.elidedText(name, Qt::ElideRight, width);
    if (text == name)
        return text;
    return text.size() >= 5 ? text : QString();
}

} // namespace

std::vector<TPlacedLabel> PlaceLabels(const TTreemap& map, const QFontMetricsF& fm,
                                      qreal devicePixelRatio,
                                      const analysis::NumberFormat& format) {
    const qreal dpr = devicePixelRatio;
    const qreal line = fm.height();
    const qreal pad = 3;
    std::vector<TPlacedLabel> placed;
    std::vector<Band> around; // names of the folders around the current tile
    for (const TTreemapLabel& label : map.Labels()) {
        const TTreemapTile& t = map.Tile(label.tile);
        while (!around.empty() && around.back().end <= label.tile)
            around.pop_back();
        const QRectF r(t.x1 / dpr, t.y1 / dpr, (t.x2 - t.x1) / dpr, (t.y2 - t.y1) / dpr);
        const qreal top = freeTop(around, r);
        const qreal free = r.bottom() - top;
        if (t.kind == TTileKind::Folder) {
            // At most two names share a corner, and a line of the contents stays visible below.
            if (top > r.top() + line || free < 2 * line)
                continue;
            const QString text = fittedName(fm, label.text, r.width() - 2 * pad);
            if (text.isEmpty())
                continue;
            const QRectF box(r.left() + pad, top, fm.horizontalAdvance(text), line);
            placed.push_back({label.tile, box, text});
            around.push_back({t.end, box});
            continue;
        }
        if (free < line)
            continue;
        const QString name = fittedName(fm, label.text, r.width() - 2 * pad);
        if (name.isEmpty())
            continue;
        const QString size = analysis::SizeText(t.bytes, format);
        const bool withSize =
            free >= 2 * line + 2 && fm.horizontalAdvance(size) <= r.width() - 2 * pad;
        const qreal w = withSize ? std::max(fm.horizontalAdvance(name), fm.horizontalAdvance(size))
                                 : fm.horizontalAdvance(name);
        const qreal h = withSize ? 2 * line : line;
        const QRectF box(r.center().x() - w / 2, top + (free - h) / 2, w, h);
        placed.push_back({label.tile, box, withSize ? name + u'\n' + size : name});
    }
    return placed;
}

namespace {} // namespace

bool RenderTreemap(const TTreemap& map, const TTreemapColours& colours, QImage& out,
                   qreal devicePixelRatio, const QFont& font, const TRenderOptions& options) {
    const QSize size = map.Size();
    out = QImage(size, QImage::Format_RGB32);
    if (out.isNull())
        return true;
    out.fill(colours.background);
    const std::vector<TTreemapTile>& tiles = map.Tiles();
    struct Open {
        uint32_t end;
        Surface surface;
    };
    std::vector<Open> open; // the folders around the current tile, with their surfaces
    for (uint32_t i = 0; i < tiles.size(); ++i) {
        const TTreemapTile& t = tiles[i];
        while (!open.empty() && open.back().end <= i)
            open.pop_back();
        if ((i & 63) == 0 && isCancelled(options.cancel))
            return false;
        if (t.kind == TTileKind::Folder) {
            if (options.cushions) {
                const Surface outer = open.empty() ? Surface() : open.back().surface;
                open.push_back(
                    {t.end, withRidge(outer, t, kRidgeHeight * std::pow(kRidgeDecay, t.depth))});
            }
            continue;
        }
        const PixelSpan pixels = pixelsOf(t, size);
        if (pixels.x1 >= pixels.x2 || pixels.y1 >= pixels.y2)
            continue;
        const QColor colour = tileColour(t, colours);
        if (!options.cushions) {
            paintFlat(out, pixels, colour.rgb());
            continue;
        }
        const Surface outer = open.empty() ? Surface() : open.back().surface;
        const Surface surface = withRidge(outer, t, kRidgeHeight * std::pow(kRidgeDecay, t.depth));
        if (!paintCushion(out, pixels, surface, colour, options.cancel))
            return false;
    }
    out.setDevicePixelRatio(devicePixelRatio);
    if (options.labels && !map.Labels().empty())
        return paintLabels(map, out, devicePixelRatio, font, options);
    return true;
}

} // namespace views
