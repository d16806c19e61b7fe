#pragma once

// The map pane: the treemap of one folder of the analysis tree (TreemapLayout.h), laid out and
// painted on a worker thread whenever the source or the pane's size changes, then shown with
// the pointer's feedback (a tooltip, the outline of the folder under it) and the outlines of the
// tiles the window asks to be marked.
//
// Threads: one worker at a time reads the tree and paints into an image of its own; the finished
// map and picture come back to the UI thread by a queued call and replace what is shown. A new
// source, a new size (after the pane has rested for a moment) or CancelAndWait stops the worker
// through its cancel flag, which it reads every few thousand nodes and every few tiles, so that
// stopping it costs the UI thread about a millisecond. Whoever changes the tree calls
// CancelAndWait first: from then on nothing reads the tree, the worker nor the pane, until the
// next SetSource.

#include "analysis/AnalysisTree.h"
#include "views/TreemapLayout.h"

#include <QFont>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace views {

// What the tooltip of a tile tells: the node (a small-files tile's folder), its path, what it
// stands for and its share of the whole map.
struct TTreemapTip {
    TTileKind kind = TTileKind::File;
    analysis::PNode node = analysis::PNode::None;
    QString path;
    int64_t bytes = 0;
    uint32_t files = 0;
    double share = 0; // 0..1 of the map's total
};

// The default tooltip: the path, the size and the share in percent; for a small-files tile how
// many files it gathers and in which folder.
QString DefaultTreemapTipText(const TTreemapTip& tip, const analysis::NumberFormat& format);

class TTreemapView : public QWidget {
    Q_OBJECT
public:
    explicit TTreemapView(QWidget* parent = nullptr);
    ~TTreemapView() override; // stops and waits for the worker

    // Shows the map of root (a folder or a drive root); with filtered, only the visible files
    // count. The group lookup is copied for each build. The tree must not change until
    // CancelAndWait, Clear or the next SetSource.
    void SetSource(const analysis::TAnalysisTree* tree, analysis::PNode root, bool filtered,
                   TGroupOf groupOf);
    // No source: the neutral background.
    void Clear();
    // Stops the worker and waits until it has let go of the tree. The picture stays, dimmed and
    // without pointer feedback, until the next SetSource or Clear.
    void CancelAndWait();

    void SetColours(const TTreemapColours& colours);
    const TTreemapColours& Colours() const { return colours_; }
    // Outlines the tiles showing these nodes (a node's own tile, else the tile it is drawn in).
    void SetHighlighted(std::vector<analysis::PNode> nodes);

    // A click, a double click or a right click on a tile: its node, a small-files tile's folder.
    std::function<void(analysis::PNode node)> OnTileClicked;
    std::function<void(analysis::PNode node)> OnTileDoubleClicked;
    std::function<void(analysis::PNode node, QPoint globalPos)> OnContextMenu;
    // The tooltip text (rich text) of a tile; DefaultTreemapTipText when empty.
    std::function<QString(const TTreemapTip& tip)> TipText;

    // The state shown: a build is running, or the map and picture are those of the source.
    bool IsBuilding() const { return state_ == State::Building; }
    bool IsCurrent() const { return state_ == State::Current; }
    const TTreemap& Map() const { return map_; }
    const QImage& Picture() const { return picture_; }
    // The tile under a point of the pane (logical pixels), or TTreemap::kNoTile; only while the
    // picture is current.
    uint32_t TileAt(QPointF pos) const;
    // The node a tile stands for in the callbacks.
    analysis::PNode NodeOfTile(uint32_t tile) const;
    const std::vector<uint32_t>& HighlightedTiles() const { return highlightedTiles_; }

    // How long the pane rests after a resize before the map is made again.
    static constexpr int kResizeDelayMs = 150;

signals:
    // A new picture is shown, or none.
    void PictureChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    enum class State {
        Empty,    // no source
        Building, // a worker makes the picture of the source
        Current,  // map and picture are those of the source
        Stale,    // the tree may change: picture kept dimmed, the tree is not read
    };
    struct Result;

    void startBuild();
    void stopWorker();
    void deliver(uint64_t generation, std::shared_ptr<Result> result);
    void updateHighlightedTiles();
    void setHover(uint32_t tile);
    QRectF logicalRect(const TTreemapTile& tile) const;

    const analysis::TAnalysisTree* tree_ = nullptr;
    analysis::PNode root_ = analysis::PNode::None;
    bool filtered_ = false;
    TGroupOf groupOf_;
    TTreemapColours colours_;
    std::vector<analysis::PNode> highlighted_;

    State state_ = State::Empty;
    TTreemap map_;
    QImage picture_;
    std::vector<uint32_t> highlightedTiles_;
    uint32_t hover_ = TTreemap::kNoTile;
    uint32_t hoverFolder_ = TTreemap::kNoTile;

    std::thread worker_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    uint64_t generation_ = 0;
    bool pending_ = false; // a build is due once the pane is shown
    QTimer resizeTimer_;
};

} // namespace views
