#pragma once

// The owner-drawn list of the analyser window: a flat, multi-column list whose rows behave as
// copies of node records. A row either refers to a node of an analysis tree (the common case:
// eight bytes a row, the record read when painted) or owns its record (rows made by a view,
// such as format groups). Painting and comparing are callbacks (the analysis painter provides
// them); the list keeps the rows, their order, their visibility, the selection and the header
// state.

#include "analysis/AnalysisTree.h"
#include "analysis/ListPresentation.h"
#include "views/PaintInfo.h"

#include <QAbstractTableModel>
#include <QTreeView>

#include <cstdint>
#include <functional>
#include <vector>

class QKeyEvent;
class QPainter;

namespace views {

using analysis::PNode;
using analysis::TNodeData;

enum class RowId : uint32_t { None = 0xFFFFFFFFu };

using analysis::TCompareKey;

enum class SortDirection { Ascending, Descending };

class TVirtualDrawTree;

class TVirtualDrawTreeModel : public QAbstractTableModel {
public:
    explicit TVirtualDrawTreeModel(TVirtualDrawTree* owner);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    // The translation of a window sets the captions through the model.
    bool setHeaderData(int section, Qt::Orientation o, const QVariant& value, int role) override;
    void reset() {
        beginResetModel();
        endResetModel();
    }
    void insertedAt(int position) {
        beginInsertRows({}, position, position);
        endInsertRows();
    }

private:
    TVirtualDrawTree* owner_;
};

class TVirtualDrawTree : public QTreeView {
    Q_OBJECT
public:
    explicit TVirtualDrawTree(QWidget* parent = nullptr);
    ~TVirtualDrawTree() override;

    // Columns: caption and design width; the header keeps order, widths and hidden state.
    void SetColumns(const QStringList& captions, const std::vector<int>& widths);
    int ColumnCount() const { return static_cast<int>(captions_.size()); }
    QString ColumnCaption(int column) const { return captions_.value(column); }
    void SetColumnCaption(int column, const QString& caption);
    int ColumnWidth(int column) const;
    void SetColumnWidth(int column, int width);
    bool IsColumnVisible(int column) const;
    void SetColumnVisible(int column, bool visible);

    // Rows. The source tree of node rows must outlive them (the list is cleared with it).
    void SetSourceTree(const analysis::TAnalysisTree* tree) { source_ = tree; }
    const analysis::TAnalysisTree* SourceTree() const { return source_; }
    // Room for this many rows in all, so that a bulk fill does not grow the arrays row by row.
    void ReserveRows(size_t count);
    RowId AddNodeRow(PNode node);
    RowId AddRow(const TNodeData& record);
    void DeleteRow(RowId row);
    // Deletes every row whose node gone() answers true for, in one pass over the rows; the
    // others keep their order and their selection. Returns how many went.
    size_t DeleteNodeRows(const std::function<bool(PNode)>& gone);
    void Clear();
    size_t TotalRowCount() const { return rows_.size() - freeRows_; }
    TNodeData RowData(RowId row) const;
    int64_t RowSize(RowId row) const;
    uint32_t RowFolderCount(RowId row) const;
    uint32_t RowFileCount(RowId row) const;
    QString RowPath(RowId row) const;
    PNode RowNode(RowId row) const; // None for rows that own their record

    // Per-row visibility: hidden rows keep their place in the order but are not shown.
    bool IsRowVisible(RowId row) const;
    void SetRowVisible(RowId row, bool visible);

    // Shown rows in display order.
    int VisibleRowCount() const { return static_cast<int>(shown_.size()); }
    RowId VisibleRow(int position) const;
    int PositionOf(RowId row) const; // -1 when hidden

    // Update brackets nest. Inside, rows are added without repaint and without sorting; the
    // outermost end applies the automatic sort and refreshes the view once.
    void BeginUpdate();
    void EndUpdate();
    bool IsUpdating() const { return updateDepth_ > 0; }
    bool AutoSort = true;

    // Sorting by the compare callback's rule.
    int SortColumn() const { return sortColumn_; }
    SortDirection Direction() const { return direction_; }
    void SetSortColumn(int column);
    void SetDirection(SortDirection direction);
    void SortTree(int column, SortDirection direction);

    // Selection.
    std::vector<RowId> SelectedRows() const; // in display order
    RowId GetFirstSelected() const;
    int SelectedCount() const;
    void SelectRow(RowId row, bool select);
    // Selects every shown row whose node wanted() answers true for, in one step.
    void SelectNodeRows(const std::function<bool(PNode)>& wanted);
    void ClearSelection();
    void ScrollIntoViewCentered(RowId row);
    // The keyboard's row (the focus row): the row the arrow keys move from, RowId::None when
    // there is none. Making a row current selects it alone and scrolls it into view.
    RowId CurrentRow() const;
    void MakeCurrent(RowId row);

    // Callbacks: the engine paints every cell and orders the rows.
    std::function<void(const TPaintInfo&)> OnDrawNode;
    // Order of two rows: negative when a comes before b in ascending order. Large sorts call it
    // from two threads at once: it must only read the keys it is given.
    std::function<int(const TCompareKey& a, const TCompareKey& b, int column)> OnCompareNodes;
    // Optional: a row's fields as one unsigned number that orders, for a column, exactly as
    // OnCompareNodes does (a smaller number first in ascending order); false for a column
    // without such a number. Large sorts then sort numbers instead of calling back.
    std::function<bool(int column, const TCompareKey& key, uint64_t& number)> OnSortKey;
    // Set when the callback orders the name column as the engine's does: by the upper-cased
    // paths (analysis::UpperForCompare) compared code unit by code unit, nothing else. Name
    // sorts then order the paths themselves, without a callback per comparison.
    bool NameOrderByUpperPaths = false;
    // Header click and double-click (same handler by default in the analyser window).
    std::function<void(TVirtualDrawTree*, int column)> OnHeaderClick;
    std::function<void(TVirtualDrawTree*, int column)> OnHeaderDblClick;
    // A double-click on a row, and a request for the context menu at a global position. A
    // right click selects the row under the mouse first, unless that row is already selected
    // (then the whole selection stays for the menu).
    std::function<void(TVirtualDrawTree*)> OnDblClick;
    std::function<void(TVirtualDrawTree*, const QPoint& globalPos)> OnContextPopup;
    // A key pressed in the list, before the list's own handling; true when it was taken. The
    // menu key and Shift+F10 ask for the context menu at the current row; letters typed jump to
    // the next row whose item's name starts with them (type-ahead).
    std::function<bool(TVirtualDrawTree*, QKeyEvent*)> OnKeyDown;

    // The numeric fields of a row's comparison key (the path is added by the sort).
    TCompareKey CompareKey(RowId row) const;

    // Bytes held per row by the list's own structures (capacity), for the memory figures.
    size_t MemoryBytes() const;

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyboardSearch(const QString& search) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;

private:
    friend class TVirtualDrawTreeModel;
    struct Row {
        uint32_t node;  // tree node, or kOwned
        uint32_t owned; // index into owned_, when owned
        bool visible = true;
        bool used = true;
    };
    static constexpr uint32_t kOwned = 0xFFFFFFFFu;

    RowId appendRow(Row row);
    void insertSorted(RowId id);
    void rebuildShown();
    // Positions of the selected rows among the shown ones, in order, each once.
    std::vector<int> selectedPositions() const;
    // Selects the shown rows marked (indexed by row id), as runs of neighbours.
    void selectMarked(const std::vector<bool>& marked);
    bool sortByNumbers(int column, SortDirection direction);
    int compare(uint32_t a, uint32_t b, int column) const;
    // Opens the context menu at the current row, for the keyboard.
    void popupAtCurrentRow();

    TVirtualDrawTreeModel* model_;
    const analysis::TAnalysisTree* source_ = nullptr;
    QStringList captions_;
    std::vector<Row> rows_;
    std::vector<TNodeData> owned_;
    std::vector<uint32_t> order_; // every row id in sort order
    std::vector<uint32_t> shown_; // visible ids in sort order
    size_t freeRows_ = 0;
    int updateDepth_ = 0;
    bool dirty_ = false;
    bool shownDirty_ = false;
    int sortColumn_ = 0;
    SortDirection direction_ = SortDirection::Ascending;
    QString typed_;      // the type-ahead's letters so far
    qint64 typedAt_ = 0; // when the last letter came (ms since the epoch)
};

} // namespace views
