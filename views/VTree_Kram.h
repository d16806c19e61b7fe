#pragma once

// Handlers and helpers shared by the lists of the analysis views.

#include "analysis/AnalysisTree.h"
#include "views/VirtualDrawTree.h"

#include <vector>

namespace views {

namespace TVTree_DefaultEvents {
// Header click and double-click: the sort column's direction toggles; another column starts
// ascending. The list is sorted and the first selected row scrolled into the middle.
void OnHeaderClick(TVirtualDrawTree* tree, int column);
} // namespace TVTree_DefaultEvents

// Gives the listed columns the width left over by the other visible columns and the vertical
// scroll bar, in proportion to their widths now.
void FitColumnsToWidth(TVirtualDrawTree* tree, const std::vector<int>& columns);

// Marks every node of the analysis tree visible, in one update.
void ShowAllNodes(analysis::TAnalysisTree* tree);

} // namespace views

namespace analysis {
class TOrbisca;
}

namespace views {

struct TListState;

// The analysis list as the analyser window shows it: the six columns with their captions and
// design widths, sorted by the share of the volume, largest first; painting and ordering by the
// engine's painter over the window's list state, both header events by OnHeaderClick. Engine and
// state must outlive the list's use of them.
void ConfigureAnalysisList(TVirtualDrawTree* list, analysis::TOrbisca* engine,
                           const TListState* state);

// The order of the engine's comparison for the count and size columns as one number per row
// (larger counts and sizes first in ascending order); false for the name column.
bool AnalysisSortNumber(int column, const analysis::TCompareKey& key, uint64_t& number);

} // namespace views
