#include "views/VirtualDrawTree.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFont>
#include <QHeaderView>
#include <QItemSelection>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include "analysis/NameOrder.h"
#include "analysis/PodArray.h"

#include <algorithm>
#include <thread>
#include <unordered_map>

namespace views {
namespace {

// Every row is 18 pixels high, so a 12-pixel text drawn two pixels down keeps its descenders.
class RowHeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(std::max(s.height(), kRowHeight));
        return s;
    }
    static constexpr int kRowHeight = 18;
};

} // namespace

// Below this many rows one thread sorts faster than two.
constexpr size_t kParallelSortRows = 50000;

// ---- model -----------------------------------------------------------------------------------

TVirtualDrawTreeModel::TVirtualDrawTreeModel(TVirtualDrawTree* owner)
    : QAbstractTableModel(owner), owner_(owner) {}

int TVirtualDrawTreeModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : owner_->VisibleRowCount();
}

int TVirtualDrawTreeModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : owner_->ColumnCount();
}

QVariant TVirtualDrawTreeModel::data(const QModelIndex&, int) const {
    return {}; // every cell is painted by the owner's callback
}

QVariant TVirtualDrawTreeModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o == Qt::Horizontal && role == Qt::DisplayRole)
        return owner_->ColumnCaption(section);
    return {};
}

bool TVirtualDrawTreeModel::setHeaderData(int section, Qt::Orientation o, const QVariant& value,
                                          int role) {
    if (o != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::EditRole) || section < 0 ||
        section >= owner_->ColumnCount())
        return false;
    owner_->SetColumnCaption(section, value.toString());
    return true;
}

// ---- list ------------------------------------------------------------------------------------

TVirtualDrawTree::TVirtualDrawTree(QWidget* parent) : QTreeView(parent) {
    model_ = new TVirtualDrawTreeModel(this);
    setModel(model_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(0);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false); // the list sorts itself by the engine's rule
    setItemDelegate(new RowHeightDelegate(this));
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(12);
    setFont(f);

    QHeaderView* h = header();
    h->setFont(f);
    h->setFixedHeight(20);
    h->setSectionsMovable(true);
    h->setSectionsClickable(true);
    h->setSectionResizeMode(QHeaderView::Interactive);
    h->setStretchLastSection(false);
    h->setSortIndicatorShown(true);
    connect(h, &QHeaderView::sectionClicked, this, [this](int column) {
        if (OnHeaderClick)
            OnHeaderClick(this, column);
    });
    connect(h, &QHeaderView::sectionDoubleClicked, this, [this](int column) {
        if (OnHeaderDblClick)
            OnHeaderDblClick(this, column);
    });
}

TVirtualDrawTree::~TVirtualDrawTree() = default;

void TVirtualDrawTree::SetColumns(const QStringList& captions, const std::vector<int>& widths) {
    captions_ = captions;
    model_->reset();
    for (int c = 0; c < captions_.size(); ++c)
        header()->resizeSection(c, c < static_cast<int>(widths.size()) ? widths[size_t(c)] : 100);
    header()->setSortIndicator(sortColumn_, direction_ == SortDirection::Ascending
                                                ? Qt::AscendingOrder
                                                : Qt::DescendingOrder);
}

void TVirtualDrawTree::SetColumnCaption(int column, const QString& caption) {
    if (column < 0 || column >= captions_.size())
        return;
    captions_[column] = caption;
    emit model_->headerDataChanged(Qt::Horizontal, column, column);
}

int TVirtualDrawTree::ColumnWidth(int column) const {
    return header()->sectionSize(column);
}
void TVirtualDrawTree::SetColumnWidth(int column, int width) {
    header()->resizeSection(column, width);
}
bool TVirtualDrawTree::IsColumnVisible(int column) const {
    return !header()->isSectionHidden(column);
}
void TVirtualDrawTree::SetColumnVisible(int column, bool visible) {
    header()->setSectionHidden(column, !visible);
}

RowId TVirtualDrawTree::appendRow(Row row) {
    const auto id = static_cast<uint32_t>(rows_.size());
    rows_.push_back(row);
    if (updateDepth_ > 0 || !AutoSort) {
        order_.push_back(id);
        if (updateDepth_ > 0) {
            dirty_ = true;
        } else {
            shown_.push_back(id);
            model_->insertedAt(static_cast<int>(shown_.size()) - 1);
        }
    } else {
        insertSorted(static_cast<RowId>(id));
    }
    return static_cast<RowId>(id);
}

void TVirtualDrawTree::ReserveRows(size_t count) {
    rows_.reserve(count);
    order_.reserve(count);
}

RowId TVirtualDrawTree::AddNodeRow(PNode node) {
    return appendRow({static_cast<uint32_t>(node), 0});
}

RowId TVirtualDrawTree::AddRow(const TNodeData& record) {
    owned_.push_back(record);
    return appendRow({kOwned, static_cast<uint32_t>(owned_.size() - 1)});
}

void TVirtualDrawTree::insertSorted(RowId id) {
    // Automatic sorting on insertion: the new row goes after every row that does not order
    // after it, so equal rows keep their order of arrival.
    const uint32_t i = static_cast<uint32_t>(id);
    const auto before = [&](uint32_t existing) {
        const int r = compare(i, existing, sortColumn_);
        return direction_ == SortDirection::Ascending ? r < 0 : r > 0;
    };
    const auto pos =
        std::partition_point(order_.begin(), order_.end(), [&](uint32_t e) { return !before(e); });
    order_.insert(pos, i);
    if (rows_[i].visible) {
        const auto spos = std::partition_point(shown_.begin(), shown_.end(),
                                               [&](uint32_t e) { return !before(e); });
        const int at = static_cast<int>(spos - shown_.begin());
        shown_.insert(spos, i);
        model_->insertedAt(at);
    }
}

void TVirtualDrawTree::DeleteRow(RowId row) {
    const uint32_t i = static_cast<uint32_t>(row);
    if (i >= rows_.size() || !rows_[i].used)
        return;
    rows_[i].used = false;
    ++freeRows_;
    shownDirty_ = true;
    if (updateDepth_ == 0)
        rebuildShown();
}

size_t TVirtualDrawTree::DeleteNodeRows(const std::function<bool(PNode)>& gone) {
    size_t deleted = 0;
    for (Row& r : rows_) {
        if (!r.used || r.node == kOwned || !gone(static_cast<PNode>(r.node)))
            continue;
        r.used = false;
        ++deleted;
    }
    if (deleted == 0)
        return 0;
    freeRows_ += deleted;
    shownDirty_ = true;
    if (updateDepth_ == 0)
        rebuildShown();
    return deleted;
}

void TVirtualDrawTree::Clear() {
    typed_.clear();
    rows_.clear();
    rows_.shrink_to_fit();
    owned_.clear();
    owned_.shrink_to_fit();
    order_.clear();
    order_.shrink_to_fit();
    shown_.clear();
    shown_.shrink_to_fit();
    freeRows_ = 0;
    if (updateDepth_ > 0)
        dirty_ = true;
    else
        model_->reset();
}

TNodeData TVirtualDrawTree::RowData(RowId row) const {
    const Row& r = rows_[static_cast<size_t>(row)];
    if (r.node == kOwned)
        return owned_[r.owned];
    return source_ ? source_->GetNodeData(static_cast<PNode>(r.node)) : TNodeData{};
}

int64_t TVirtualDrawTree::RowSize(RowId row) const {
    const Row& r = rows_[static_cast<size_t>(row)];
    return r.node == kOwned ? owned_[r.owned].Size : source_->Size(static_cast<PNode>(r.node));
}

uint32_t TVirtualDrawTree::RowFolderCount(RowId row) const {
    const Row& r = rows_[static_cast<size_t>(row)];
    return r.node == kOwned ? owned_[r.owned].FolderCount
                            : source_->FolderCount(static_cast<PNode>(r.node));
}

uint32_t TVirtualDrawTree::RowFileCount(RowId row) const {
    const Row& r = rows_[static_cast<size_t>(row)];
    return r.node == kOwned ? owned_[r.owned].FileCount
                            : source_->FileCount(static_cast<PNode>(r.node));
}

QString TVirtualDrawTree::RowPath(RowId row) const {
    const Row& r = rows_[static_cast<size_t>(row)];
    return r.node == kOwned ? owned_[r.owned].Path : source_->Path(static_cast<PNode>(r.node));
}

PNode TVirtualDrawTree::RowNode(RowId row) const {
    const Row& r = rows_[static_cast<size_t>(row)];
    return r.node == kOwned ? PNode::None : static_cast<PNode>(r.node);
}

bool TVirtualDrawTree::IsRowVisible(RowId row) const {
    return rows_[static_cast<size_t>(row)].visible;
}

void TVirtualDrawTree::SetRowVisible(RowId row, bool visible) {
    Row& r = rows_[static_cast<size_t>(row)];
    if (r.visible == visible)
        return;
    r.visible = visible;
    shownDirty_ = true;
    if (updateDepth_ == 0)
        rebuildShown();
}

RowId TVirtualDrawTree::VisibleRow(int position) const {
    if (position < 0 || position >= static_cast<int>(shown_.size()))
        return RowId::None;
    return static_cast<RowId>(shown_[static_cast<size_t>(position)]);
}

int TVirtualDrawTree::PositionOf(RowId row) const {
    const auto it = std::find(shown_.begin(), shown_.end(), static_cast<uint32_t>(row));
    return it == shown_.end() ? -1 : static_cast<int>(it - shown_.begin());
}

void TVirtualDrawTree::rebuildShown() {
    std::vector<RowId> selected = SelectedRows();
    order_.erase(
        std::remove_if(order_.begin(), order_.end(), [&](uint32_t i) { return !rows_[i].used; }),
        order_.end());
    shown_.clear();
    for (uint32_t i : order_)
        if (rows_[i].visible)
            shown_.push_back(i);
    shownDirty_ = false;
    model_->reset();
    if (selected.empty())
        return;
    // Select the rows again in one step: one lookup per row, however many rows were selected.
    std::vector<bool> wasSelected(rows_.size(), false);
    for (RowId r : selected)
        wasSelected[static_cast<size_t>(r)] = true;
    selectMarked(wasSelected);
}

void TVirtualDrawTree::selectMarked(const std::vector<bool>& marked) {
    // Runs of neighbours in the shown order become one range each.
    QItemSelection ranges;
    for (size_t p = 0; p < shown_.size();) {
        if (!marked[shown_[p]]) {
            ++p;
            continue;
        }
        const size_t first = p;
        while (p < shown_.size() && marked[shown_[p]])
            ++p;
        ranges.select(model_->index(static_cast<int>(first), 0),
                      model_->index(static_cast<int>(p - 1), 0));
    }
    if (!ranges.isEmpty())
        selectionModel()->select(ranges, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void TVirtualDrawTree::BeginUpdate() {
    if (updateDepth_++ == 0)
        setUpdatesEnabled(false);
}

void TVirtualDrawTree::EndUpdate() {
    if (updateDepth_ == 0 || --updateDepth_ > 0)
        return;
    if (dirty_ && AutoSort) {
        SortTree(sortColumn_, direction_);
    } else if (dirty_ || shownDirty_) {
        rebuildShown();
    }
    dirty_ = false;
    setUpdatesEnabled(true);
}

void TVirtualDrawTree::SetSortColumn(int column) {
    sortColumn_ = column;
    header()->setSortIndicator(
        column, direction_ == SortDirection::Ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void TVirtualDrawTree::SetDirection(SortDirection direction) {
    direction_ = direction;
    SetSortColumn(sortColumn_);
}

TCompareKey TVirtualDrawTree::CompareKey(RowId row) const {
    // Read once per row: the sort makes a key for every row.
    const Row& r = rows_[static_cast<size_t>(row)];
    TCompareKey k;
    if (r.node == kOwned) {
        const TNodeData& d = owned_[r.owned];
        k.Size = d.Size;
        k.FolderCount = d.FolderCount;
        k.FileCount = d.FileCount;
    } else {
        const auto n = static_cast<PNode>(r.node);
        k.Size = source_->Size(n);
        k.FolderCount = source_->FolderCount(n);
        k.FileCount = source_->FileCount(n);
    }
    return k;
}

int TVirtualDrawTree::compare(uint32_t a, uint32_t b, int column) const {
    if (!OnCompareNodes)
        return 0;
    TCompareKey ka = CompareKey(static_cast<RowId>(a)), kb = CompareKey(static_cast<RowId>(b));
    QString ua, ub;
    if (column == analysis::kColName) {
        ua = analysis::UpperForCompare(RowPath(static_cast<RowId>(a)));
        ub = analysis::UpperForCompare(RowPath(static_cast<RowId>(b)));
        ka.UpperPath = ua;
        kb.UpperPath = ub;
    }
    return OnCompareNodes(ka, kb, column);
}

bool TVirtualDrawTree::sortByNumbers(int column, SortDirection direction) {
    uint64_t probe = 0;
    if (!OnSortKey || !OnSortKey(column, TCompareKey{}, probe))
        return false;
    struct Numbered {
        uint64_t number;
        uint32_t id;
    };
    const bool ascending = direction == SortDirection::Ascending;
    std::vector<Numbered> rows;
    rows.reserve(order_.size());
    uint64_t all = 0, any = 0; // bits set in every number, bits set in some
    all = ~all;
    for (uint32_t id : order_) {
        if (!rows_[id].used)
            continue;
        uint64_t n = 0;
        OnSortKey(column, CompareKey(static_cast<RowId>(id)), n);
        n = ascending ? n : ~n;
        all &= n;
        any |= n;
        rows.push_back({n, id});
    }
    // A stable radix sort, eleven bits a pass from the lowest: rows with equal numbers keep
    // the order they had, as the comparison sort keeps them. Passes over bits that are the
    // same in every number are left out, so small counts and sizes take few passes.
    constexpr int kBits = 11;
    constexpr size_t kBuckets = size_t{1} << kBits;
    const uint64_t varying = any & ~all;
    std::vector<Numbered> spare(rows.size());
    std::vector<uint32_t> counts(kBuckets);
    for (int shift = 0; shift < 64; shift += kBits) {
        if (((varying >> shift) & (kBuckets - 1)) == 0)
            continue;
        std::fill(counts.begin(), counts.end(), 0u);
        for (const Numbered& r : rows)
            ++counts[(r.number >> shift) & (kBuckets - 1)];
        uint32_t start = 0;
        for (uint32_t& c : counts) {
            const uint32_t n = c;
            c = start;
            start += n;
        }
        for (const Numbered& r : rows)
            spare[counts[(r.number >> shift) & (kBuckets - 1)]++] = r;
        rows.swap(spare);
    }
    order_.resize(rows.size());
    for (size_t p = 0; p < rows.size(); ++p)
        order_[p] = rows[p].id;
    return true;
}

void TVirtualDrawTree::SortTree(int column, SortDirection direction) {
    direction_ = direction;
    SetSortColumn(column);
    if (OnCompareNodes && order_.size() > 1 && column == analysis::kColName &&
        NameOrderByUpperPaths) {
        // By name, the rows' paths are radix-sorted as keys that refer to their folders' text
        // instead of holding whole paths (analysis/NameOrder.h): the callback's order, without a
        // call per comparison.
        const bool ascending = direction == SortDirection::Ascending;
        const auto total = static_cast<uint32_t>(order_.size());
        analysis::PodArray<uint32_t> position;
        position.resize(rows_.size());
        for (uint32_t p = 0; p < total; ++p)
            position[order_[p]] = p;
        // Equal paths keep their order; a descending sort reverses the ascending one, so their
        // ranks count from the end.
        const auto rankOf = [&](uint32_t p) { return ascending ? p : total - 1 - p; };
        const auto previousOf = [&](const analysis::NameKey& k) {
            return ascending ? k.rank : total - 1 - k.rank;
        };

        analysis::PodArray<analysis::NameKey> keys;
        keys.reserve(total);
        std::u16string folderText; // upper-cased walk paths of the rows' folders
        std::unordered_map<uint32_t, std::pair<uint32_t, uint32_t>> folders;
        uint32_t lastFolder = kOwned;
        std::pair<uint32_t, uint32_t> lastText{0, 0};
        for (uint32_t i = 0; i < rows_.size(); ++i) { // row order follows the tree: folders repeat
            const Row& r = rows_[i];
            if (!r.used)
                continue;
            analysis::NameKey k;
            k.rank = rankOf(position[i]);
            if (r.node == kOwned) {
                const QString& path = owned_[r.owned].Path;
                k.SetOwn(path.utf16(), static_cast<size_t>(path.size()), true);
            } else {
                const auto pieces = source_->Pieces(static_cast<PNode>(r.node));
                k.SetOwn(pieces.own.data(), pieces.own.size(), pieces.own.wide());
                if (pieces.folder != PNode::None) {
                    const auto f = static_cast<uint32_t>(pieces.folder);
                    if (f != lastFolder) {
                        const auto [it, added] = folders.try_emplace(f);
                        if (added) {
                            const size_t from = folderText.size();
                            source_->AppendWalkPath(pieces.folder, folderText);
                            analysis::UpperForCompareInPlace(folderText.data() + from,
                                                             folderText.size() - from);
                            it->second = {static_cast<uint32_t>(from),
                                          static_cast<uint32_t>(folderText.size() - from)};
                        }
                        lastFolder = f;
                        lastText = it->second;
                    }
                    k.folder = lastText.first;
                    k.folderLength = lastText.second;
                }
            }
            keys.push_back(k);
        }
        analysis::SortNameKeys(keys.data(), keys.size(), folderText.data(),
                               keys.size() >= kParallelSortRows);
        if (!ascending)
            std::reverse(keys.begin(), keys.end());
        std::vector<uint32_t> sorted(keys.size());
        for (size_t p = 0; p < keys.size(); ++p)
            sorted[p] = order_[previousOf(keys[p])];
        order_.swap(sorted);
        rebuildShown(); // keeps the selection
        return;
    }
    if (OnCompareNodes && order_.size() > 1 && sortByNumbers(column, direction)) {
        rebuildShown(); // keeps the selection
        return;
    }
    if (OnCompareNodes && order_.size() > 1) {
        // The keys of all rows go into one contiguous array, made in row order (which follows
        // the tree, so paths share their parents' prefixes) and sorted in place: millions of
        // comparisons then touch memory in sequence instead of chasing rows and nodes.
        struct Keyed {
            TCompareKey key;
            uint32_t id;
            uint32_t previous; // position before this sort: equal rows keep their order
        };
        std::vector<uint32_t> position(rows_.size(), 0);
        for (uint32_t p = 0; p < order_.size(); ++p)
            position[order_[p]] = p;
        const bool byName = column == analysis::kColName;
        const bool ascending = direction == SortDirection::Ascending;
        const auto before = [&](const Keyed& x, const Keyed& y) {
            const int r = OnCompareNodes(x.key, y.key, column);
            if (r != 0)
                return ascending ? r < 0 : r > 0;
            return x.previous < y.previous;
        };
        // Keys of the rows with ids in [lo, hi), then sorted. The upper-cased paths of a name
        // sort live in `text`; the keys' views into it are taken once it is complete.
        const auto keysSorted = [&](uint32_t lo, uint32_t hi, std::vector<Keyed>& keys,
                                    std::u16string& text) {
            keys.reserve(hi - lo);
            std::vector<size_t> textStart;
            if (byName) {
                text.reserve(size_t{hi - lo} * 48);
                textStart.reserve(hi - lo + 1);
            }
            analysis::TAnalysisTree::PathBuilder builder(*source_, true);
            for (uint32_t i = lo; i < hi; ++i) {
                if (!rows_[i].used)
                    continue;
                keys.push_back({CompareKey(static_cast<RowId>(i)), i, position[i]});
                if (!byName)
                    continue;
                textStart.push_back(text.size());
                const Row& r = rows_[i];
                if (r.node == kOwned) {
                    const size_t from = text.size();
                    text.append(reinterpret_cast<const char16_t*>(owned_[r.owned].Path.utf16()),
                                static_cast<size_t>(owned_[r.owned].Path.size()));
                    analysis::UpperForCompareInPlace(text.data() + from, text.size() - from);
                } else {
                    builder.Append(static_cast<PNode>(r.node), text);
                }
            }
            if (byName) {
                textStart.push_back(text.size());
                for (size_t k = 0; k < keys.size(); ++k)
                    keys[k].key.UpperPath =
                        QStringView(text.data() + textStart[k],
                                    static_cast<qsizetype>(textStart[k + 1] - textStart[k]));
            }
            std::sort(keys.begin(), keys.end(), before);
        };
        // Two halves of the rows are keyed and sorted at once on two threads, then merged. The
        // tree and the rows are only read, and the compare callback only reads the two keys it
        // is given, so both may run on both threads.
        std::vector<Keyed> keyed, upper;
        std::u16string text, upperText;
        const auto rowCount = static_cast<uint32_t>(rows_.size());
        if (order_.size() >= kParallelSortRows) {
            const uint32_t mid = rowCount / 2;
            std::thread first([&] { keysSorted(0, mid, keyed, text); });
            keysSorted(mid, rowCount, upper, upperText);
            first.join();
            const size_t lowerCount = keyed.size();
            keyed.insert(keyed.end(), upper.begin(), upper.end());
            std::inplace_merge(keyed.begin(),
                               keyed.begin() + static_cast<std::ptrdiff_t>(lowerCount), keyed.end(),
                               before);
        } else {
            keysSorted(0, rowCount, keyed, text);
        }
        for (size_t p = 0; p < keyed.size(); ++p)
            order_[p] = keyed[p].id;
        order_.resize(keyed.size());
    }
    rebuildShown(); // keeps the selection
}

std::vector<int> TVirtualDrawTree::selectedPositions() const {
    // Straight from the selection's ranges: the model's own list of selected rows checks every
    // row against every range, which takes seconds once thousands of scattered rows are
    // selected. Rows are selected whole here, so each range stands for its rows; a range the
    // rows shown no longer reach (the list was cleared inside an update) stands for none.
    std::vector<int> positions;
    if (!selectionModel())
        return positions;
    const int shown = VisibleRowCount();
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        if (range.parent().isValid() || !range.isValid())
            continue;
        for (int row = std::max(0, range.top()); row <= range.bottom() && row < shown; ++row)
            positions.push_back(row);
    }
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    return positions;
}

std::vector<RowId> TVirtualDrawTree::SelectedRows() const {
    std::vector<RowId> out;
    for (int p : selectedPositions())
        out.push_back(VisibleRow(p));
    return out;
}

RowId TVirtualDrawTree::GetFirstSelected() const {
    const std::vector<int> positions = selectedPositions();
    return positions.empty() ? RowId::None : VisibleRow(positions.front());
}

int TVirtualDrawTree::SelectedCount() const {
    return static_cast<int>(selectedPositions().size());
}

void TVirtualDrawTree::SelectRow(RowId row, bool select) {
    const int p = PositionOf(row);
    if (p < 0)
        return;
    selectionModel()->select(model_->index(p, 0), (select ? QItemSelectionModel::Select
                                                          : QItemSelectionModel::Deselect) |
                                                      QItemSelectionModel::Rows);
}

void TVirtualDrawTree::SelectNodeRows(const std::function<bool(PNode)>& wanted) {
    std::vector<bool> marked(rows_.size(), false);
    bool any = false;
    for (uint32_t id : shown_) {
        const Row& r = rows_[id];
        if (r.node != kOwned && wanted(static_cast<PNode>(r.node)))
            marked[id] = any = true;
    }
    if (any)
        selectMarked(marked);
}

void TVirtualDrawTree::ClearSelection() {
    selectionModel()->clearSelection();
}

void TVirtualDrawTree::ScrollIntoViewCentered(RowId row) {
    const int p = PositionOf(row);
    if (p >= 0)
        scrollTo(model_->index(p, 0), QAbstractItemView::PositionAtCenter);
}

size_t TVirtualDrawTree::MemoryBytes() const {
    return rows_.capacity() * sizeof(Row) + order_.capacity() * sizeof(uint32_t) +
           shown_.capacity() * sizeof(uint32_t) + owned_.capacity() * sizeof(TNodeData);
}

void TVirtualDrawTree::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid() &&
        OnDblClick)
        OnDblClick(this);
}

void TVirtualDrawTree::contextMenuEvent(QContextMenuEvent* event) {
    if (!OnContextPopup) {
        QTreeView::contextMenuEvent(event);
        return;
    }
    event->accept();
    if (event->reason() == QContextMenuEvent::Keyboard)
        popupAtCurrentRow();
    else
        OnContextPopup(this, event->globalPos());
}

RowId TVirtualDrawTree::CurrentRow() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? VisibleRow(current.row()) : RowId::None;
}

void TVirtualDrawTree::MakeCurrent(RowId row) {
    const int p = PositionOf(row);
    if (p < 0)
        return;
    const QModelIndex index = model_->index(p, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
    scrollTo(index);
}

void TVirtualDrawTree::popupAtCurrentRow() {
    if (!OnContextPopup)
        return;
    // The menu acts on the selection: a current row outside it becomes the selection.
    const RowId current = CurrentRow();
    if (current != RowId::None && !selectionModel()->isRowSelected(currentIndex().row(), {}))
        MakeCurrent(current);
    QPoint at(0, 0);
    if (current != RowId::None) {
        scrollTo(currentIndex());
        const QRect r = visualRect(currentIndex());
        at = QPoint(std::min(r.left() + 24, viewport()->width() / 2), r.bottom());
    }
    OnContextPopup(this, viewport()->mapToGlobal(at));
}

void TVirtualDrawTree::keyPressEvent(QKeyEvent* event) {
    // Any key but letters ends a type-ahead word.
    if (event->text().isEmpty() || !event->text().front().isPrint())
        typed_.clear();
    if (OnKeyDown && OnKeyDown(this, event)) {
        event->accept();
        return;
    }
    const bool shiftF10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    if (event->key() == Qt::Key_Menu || shiftF10) {
        event->accept();
        popupAtCurrentRow();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void TVirtualDrawTree::keyboardSearch(const QString& search) {
    if (search.isEmpty() || shown_.empty())
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - typedAt_ > QApplication::keyboardInputInterval())
        typed_.clear();
    typedAt_ = now;
    typed_ += search;
    // The same letter again and again steps through the rows starting with it; a new run of
    // letters starts at the next row, a longer run stays on the current row while it matches.
    QString wanted = typed_;
    const bool repeated = typed_.size() > 1 && typed_.count(typed_.front()) == typed_.size();
    if (repeated)
        wanted = typed_.left(1);
    const int count = VisibleRowCount();
    const int current = currentIndex().isValid() ? currentIndex().row() : -1;
    const int from = (typed_.size() == 1 || repeated) ? current + 1 : std::max(current, 0);
    for (int step = 0; step < count; ++step) {
        const int p = (from + step) % count;
        const RowId row = VisibleRow(p);
        // The item's own name: the last part of its path (the files view shows whole paths).
        const QString path = RowPath(row);
        const QStringView name = QStringView(path).mid(path.lastIndexOf(u'\\') + 1);
        if (name.startsWith(wanted, Qt::CaseInsensitive)) {
            MakeCurrent(row);
            return;
        }
    }
}

void TVirtualDrawTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    // Selection background from the style, without the focus rectangle; then every cell from
    // the paint callback with the row's record built once.
    QStyleOptionViewItem opt = option;
    opt.state &= ~QStyle::State_HasFocus;
    QTreeView::drawRow(painter, opt, index);
    const RowId row = VisibleRow(index.row());
    // The keyboard's row, while the list has the focus: a dotted frame around the whole row,
    // drawn over the cells.
    const bool focusRow = hasFocus() && currentIndex().row() == index.row();
    const auto drawFocus = [&] {
        if (!focusRow)
            return;
        painter->save();
        const bool selected = selectionModel()->isRowSelected(index.row(), {});
        painter->setPen(QPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text),
                             0, Qt::DotLine));
        painter->setBrush(Qt::NoBrush);
        QRect r = option.rect;
        r.setLeft(0);
        r.setRight(std::max(r.right(), viewport()->width() - 1));
        painter->drawRect(r.adjusted(0, 0, -1, -1));
        painter->restore();
    };
    if (row == RowId::None || !OnDrawNode) {
        drawFocus();
        return;
    }
    const TNodeData record = RowData(row);
    for (int c = 0; c < ColumnCount(); ++c) {
        if (header()->isSectionHidden(c))
            continue;
        const int x = columnViewportPosition(c);
        const int w = header()->sectionSize(c);
        TPaintInfo info;
        info.Canvas = painter;
        info.Node = &record;
        info.Column = c;
        info.Left = x;
        info.Top = option.rect.top();
        info.Right = x + w;
        info.Bottom = option.rect.top() + option.rect.height();
        painter->save();
        painter->setPen(palette().color(QPalette::Text));
        painter->setFont(font());
        painter->setClipRect(QRect(x, info.Top, w, info.Bottom - info.Top));
        OnDrawNode(info);
        painter->restore();
    }
    drawFocus();
}

} // namespace views
