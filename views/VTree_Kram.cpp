#include "views/VTree_Kram.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace views {

constexpr int kScrollBarRoom = 28;

void TVTree_DefaultEvents::OnHeaderClick(TVirtualDrawTree* tree, int column) {
    if (!tree)
        return;
    const SortDirection direction =
        (column == tree->SortColumn() && tree->Direction() == SortDirection::Ascending)
            ? SortDirection::Descending
            : SortDirection::Ascending;
    tree->SortTree(column, direction);
    const RowId first = tree->GetFirstSelected();
    if (first != RowId::None)
        tree->ScrollIntoViewCentered(first);
}

void FitColumnsToWidth(TVirtualDrawTree* tree, const std::vector<int>& columns) {
    if (!tree || columns.empty())
        return;
    const auto listed = [&](int c) {
        return std::find(columns.begin(), columns.end(), c) != columns.end();
    };
    int free = tree->width() - kScrollBarRoom;
    for (int c = 0; c < tree->ColumnCount(); ++c)
        if (tree->IsColumnVisible(c) && !listed(c))
            free -= tree->ColumnWidth(c);
    long long sum = 0;
    for (int c : columns)
        sum += tree->ColumnWidth(c);
    if (sum <= 0)
        return; // nothing to share out in proportion
    std::vector<int> widths;
    for (int c : columns)
        widths.push_back(static_cast<int>(std::nearbyint(static_cast<double>(tree->ColumnWidth(c)) *
                                                         free / static_cast<double>(sum))));
    for (size_t i = 0; i < columns.size(); ++i)
        tree->SetColumnWidth(columns[i], widths[i]);
}

void ShowAllNodes(analysis::TAnalysisTree* tree) {
    if (!tree || tree->IsEmpty())
        return;
    tree->BeginUpdate();
    tree->SetAllVisible(true);
    tree->EndUpdate();
}

} // namespace views

#include "analysis/nogui_Orbisca.h"
#include "views/OrbiscaPainter.h"

namespace views {

void ConfigureAnalysisList(TVirtualDrawTree* list, analysis::TOrbisca* engine,
                           const TListState* state) {
    list->SetColumns({QStringLiteral("Name"), QStringLiteral("Ordner"), QStringLiteral("Dateien"),
                      QString::fromUtf8("Größe"), QString::fromUtf8("Größe % "),
                      QString::fromUtf8("Ordnergröße %")},
                     {236, 68, 68, 80, 92, 120});
    list->SetSourceTree(engine->FTree);
    list->SetDirection(SortDirection::Ascending);
    list->SetSortColumn(analysis::kColSharePercent);
    list->OnDrawNode = [painter = TOrbiscaPainter(*engine, *state)](const TPaintInfo& info) {
        painter.DrawNode(info);
    };
    list->OnCompareNodes = [](const TCompareKey& a, const TCompareKey& b, int column) {
        return TOrbiscaPainter::CompareNodes(a, b, column);
    };
    list->OnSortKey = &AnalysisSortNumber;
    list->NameOrderByUpperPaths = true; // the engine's name order
    list->OnHeaderClick = &TVTree_DefaultEvents::OnHeaderClick;
    list->OnHeaderDblClick = &TVTree_DefaultEvents::OnHeaderClick;
}

bool AnalysisSortNumber(int column, const analysis::TCompareKey& key, uint64_t& number) {
    switch (column) {
    case analysis::kColFolders:
        number = UINT32_MAX - uint64_t{key.FolderCount};
        return true;
    case analysis::kColFiles:
        number = UINT32_MAX - uint64_t{key.FileCount};
        return true;
    case analysis::kColSize:
    case analysis::kColSharePercent:
    case analysis::kColFolderPercent:
        // Signed sizes in unsigned order (the sign bit flipped), then the largest first.
        number = ~(static_cast<uint64_t>(key.Size) ^ (uint64_t{1} << 63));
        return true;
    default:
        return false;
    }
}

} // namespace views
