#include "views/TreemapView.h"

#include "analysis/SizeText.h"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <utility>

namespace views {

using analysis::PNode;

QString DefaultTreemapTipText(const TTreemapTip& tip, const analysis::NumberFormat& format) {
    const QString size = analysis::SizeText(tip.bytes, format);
    const QString share =
        analysis::FormatNumber(tip.share * 100.0, 1, format) + QStringLiteral(" %");
    const QString path = tip.path.toHtmlEscaped();
    if (tip.kind == TTileKind::SmallFiles)
        return QStringLiteral("<b>%1 small files</b><br>%2<br>%3 (%4)")
            .arg(QString::number(tip.files), path, size, share);
    return QStringLiteral("<b>%1</b><br>%2 (%3)").arg(path, size, share);
}

struct TTreemapView::Result {
    TTreemap map;
    QImage picture;
};

TTreemapView::TTreemapView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resizeTimer_.setSingleShot(true);
    resizeTimer_.setInterval(kResizeDelayMs);
    connect(&resizeTimer_, &QTimer::timeout, this, [this] { startBuild(); });
}

TTreemapView::~TTreemapView() {
    stopWorker();
}

void TTreemapView::SetSource(const analysis::TAnalysisTree* tree, PNode root, bool filtered,
                             TGroupOf groupOf) {
    stopWorker();
    tree_ = tree;
    root_ = root;
    filtered_ = filtered;
    groupOf_ = std::move(groupOf);
    // A picture of another source would mislead: the neutral background until the new one.
    map_ = TTreemap();
    picture_ = QImage();
    highlightedTiles_.clear();
    setHover(TTreemap::kNoTile);
    startBuild();
    emit PictureChanged();
}

void TTreemapView::Clear() {
    stopWorker();
    tree_ = nullptr;
    root_ = PNode::None;
    groupOf_ = nullptr;
    state_ = State::Empty;
    map_ = TTreemap();
    picture_ = QImage();
    highlightedTiles_.clear();
    setHover(TTreemap::kNoTile);
    update();
    emit PictureChanged();
}

void TTreemapView::CancelAndWait() {
    stopWorker();
    if (state_ == State::Empty)
        return;
    state_ = State::Stale;
    resizeTimer_.stop();
    pending_ = false;
    setHover(TTreemap::kNoTile);
    QToolTip::hideText();
    update();
}

void TTreemapView::SetColours(const TTreemapColours& colours) {
    colours_ = colours;
    if (state_ == State::Current || state_ == State::Building)
        startBuild();
    else
        update();
}

void TTreemapView::SetHighlighted(std::vector<PNode> nodes) {
    highlighted_ = std::move(nodes);
    updateHighlightedTiles();
    update();
}

void TTreemapView::updateHighlightedTiles() {
    highlightedTiles_.clear();
    if (state_ == State::Current && tree_)
        highlightedTiles_ = map_.TilesOf(*tree_, highlighted_);
}

// ---- the worker --------------------------------------------------------------------------------

void TTreemapView::stopWorker() {
    ++generation_; // whatever is on its way back is no longer wanted
    if (cancel_)
        cancel_->store(true);
    if (worker_.joinable())
        worker_.join();
    cancel_.reset();
}

void TTreemapView::startBuild() {
    stopWorker();
    resizeTimer_.stop();
    if (!tree_ || root_ == PNode::None) {
        state_ = State::Empty;
        update();
        return;
    }
    state_ = State::Building;
    update();
    const qreal dpr = devicePixelRatioF();
    const QSize size = (QSizeF(width(), height()) * dpr).toSize();
    if (!isVisible() || size.isEmpty()) {
        pending_ = true; // made when the pane is shown with a size
        return;
    }
    pending_ = false;

    const QFont font = this->font();
    const QFontMetricsF fm(font);
    TTreemapOptions options;
    options.filtered = filtered_;
    options.minLabelSize =
        QSizeF(fm.horizontalAdvance(QStringLiteral("Abc")) + 6, fm.height() + 2) * dpr;
    TRenderOptions render;
    render.numberFormat = analysis::UserNumberFormat();
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    render.cancel = cancel_.get();
    const uint64_t generation = generation_;
    // Everything the worker needs is copied here; it touches no member of the pane.
    worker_ = std::thread([this, tree = tree_, root = root_, groupOf = groupOf_, size, dpr, font,
                           colours = colours_, options, render, cancel = cancel_, generation] {
        auto result = std::make_shared<Result>();
        if (!LayoutTreemap(*tree, root, size, groupOf, cancel.get(), result->map, options))
            return;
        if (!RenderTreemap(result->map, colours, result->picture, dpr, font, render))
            return;
        QMetaObject::invokeMethod(
            this, [this, generation, result] { deliver(generation, result); },
            Qt::QueuedConnection);
    });
}

void TTreemapView::deliver(uint64_t generation, std::shared_ptr<Result> result) {
    if (generation != generation_ || state_ != State::Building)
        return;
    if (worker_.joinable())
        worker_.join(); // it has nothing left to do but return
    cancel_.reset();
    map_ = std::move(result->map);
    picture_ = std::move(result->picture);
    state_ = State::Current;
    updateHighlightedTiles();
    update();
    emit PictureChanged();
}

// ---- events ------------------------------------------------------------------------------------

void TTreemapView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (state_ != State::Current && state_ != State::Building)
        return;
    // The old picture stays, stretched and dimmed, until the pane has rested at its new size.
    stopWorker();
    state_ = State::Building;
    setHover(TTreemap::kNoTile);
    resizeTimer_.start();
}

void TTreemapView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (pending_)
        startBuild();
}

QRectF TTreemapView::logicalRect(const TTreemapTile& tile) const {
    const qreal dpr = picture_.isNull() ? 1.0 : picture_.devicePixelRatio();
    return QRectF(tile.x1 / dpr, tile.y1 / dpr, (tile.x2 - tile.x1) / dpr,
                  (tile.y2 - tile.y1) / dpr);
}

void TTreemapView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), colours_.background);
    if (picture_.isNull())
        return;
    if (state_ != State::Current) {
        painter.drawImage(QRectF(rect()), picture_);
        QColor veil = colours_.background;
        veil.setAlpha(150);
        painter.fillRect(rect(), veil);
        return;
    }
    painter.drawImage(QPointF(0, 0), picture_);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    // Each outline is a dark line under a light one, so that it shows on every colour.
    const auto outline = [&](const TTreemapTile& t, const QColor& colour, qreal width) {
        const QRectF r = logicalRect(t).adjusted(width / 2, width / 2, -width / 2, -width / 2);
        painter.setPen(QPen(QColor(0, 0, 0, 150), width + 2));
        painter.drawRect(r);
        painter.setPen(QPen(colour, width));
        painter.drawRect(r);
    };
    for (const uint32_t tile : highlightedTiles_)
        outline(map_.Tile(tile), colours_.selection, 1.5);
    if (hoverFolder_ != TTreemap::kNoTile)
        outline(map_.Tile(hoverFolder_), colours_.hover, 2.0);
    if (hover_ != TTreemap::kNoTile && hover_ != hoverFolder_) {
        painter.setPen(QPen(colours_.hover, 1.0));
        painter.drawRect(logicalRect(map_.Tile(hover_)).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

uint32_t TTreemapView::TileAt(QPointF pos) const {
    if (state_ != State::Current || picture_.isNull())
        return TTreemap::kNoTile;
    return map_.HitTest(pos * picture_.devicePixelRatio());
}

PNode TTreemapView::NodeOfTile(uint32_t tile) const {
    if (tile == TTreemap::kNoTile || tile >= map_.Tiles().size())
        return PNode::None;
    const TTreemapTile& t = map_.Tile(tile);
    return t.kind == TTileKind::SmallFiles ? map_.OwnerFolder(tile) : t.node;
}

void TTreemapView::setHover(uint32_t tile) {
    if (tile == hover_)
        return;
    hover_ = tile;
    uint32_t folder = TTreemap::kNoTile;
    if (tile != TTreemap::kNoTile)
        folder = map_.Tile(tile).kind == TTileKind::Folder ? tile : map_.ParentTile(tile);
    hoverFolder_ = folder;
    update();
}

void TTreemapView::mouseMoveEvent(QMouseEvent* event) {
    const uint32_t tile = TileAt(event->position());
    if (tile != hover_)
        QToolTip::hideText();
    setHover(tile);
}

void TTreemapView::leaveEvent(QEvent* event) {
    setHover(TTreemap::kNoTile);
    QWidget::leaveEvent(event);
}

void TTreemapView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    const PNode node = NodeOfTile(TileAt(event->position()));
    if (node != PNode::None && OnTileClicked)
        OnTileClicked(node);
}

void TTreemapView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseDoubleClickEvent(event);
    const PNode node = NodeOfTile(TileAt(event->position()));
    if (node != PNode::None && OnTileDoubleClicked)
        OnTileDoubleClicked(node);
}

void TTreemapView::contextMenuEvent(QContextMenuEvent* event) {
    const PNode node = NodeOfTile(TileAt(QPointF(event->pos())));
    if (node != PNode::None && OnContextMenu)
        OnContextMenu(node, event->globalPos());
}

bool TTreemapView::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const uint32_t tile = TileAt(QPointF(help->pos()));
    if (tile == TTreemap::kNoTile || !tree_) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    const TTreemapTile& t = map_.Tile(tile);
    TTreemapTip tip;
    tip.kind = t.kind;
    tip.node = NodeOfTile(tile);
    tip.path = tip.node == PNode::None ? QString() : tree_->Path(tip.node);
    tip.bytes = t.bytes;
    tip.files = t.count;
    tip.share = map_.TotalBytes() > 0 ? double(t.bytes) / double(map_.TotalBytes()) : 0;
    const QString text =
        TipText ? TipText(tip) : DefaultTreemapTipText(tip, analysis::UserNumberFormat());
    QToolTip::showText(help->globalPos(), text, this, logicalRect(t).toAlignedRect());
    return true;
}

} // namespace views
