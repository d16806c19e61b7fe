#pragma once

// What the analysis list shows and how: one value, owned by the analyser window, changed by its
// handlers and read by the list's painter. The names of its fields are the window's and the
// painter's words for them.

#include "analysis/AnalysisTree.h"

#include <QString>

#include <cstdint>

namespace views {

enum class TListView {
    None,      // nothing analysed yet, or an analysis under way
    Structure, // the current folder's contents (flattened while a filter is active)
    Files,     // every file of the drive
    Formats,   // one row for each file-format group
};

struct TListState {
    TListView View = TListView::None;
    // The folder the structure view shows (and the base of the folder bars); none before one is.
    analysis::PNode Current_RootNode = analysis::PNode::None;
    // The active filter in its text form (FilterText), empty while all files show, and what the
    // files it shows take up.
    QString CURRENT_FILTER;
    int64_t CURRENT_FILTER_TOTALFILESIZE = 0;
    // What the formats view's groups take up together; the filter keeps its own total meanwhile.
    int64_t FormatsTotal = 0;
    // Bars in the name column: 0 none, 1 share of the drive, 2 share of the current folder.
    int32_t FLAG_NAMEBALKEN = 0;
    // The name column shows whole paths (the files view).
    bool FLAG_SHOW_FULLPATH = false;

    // The size the status line sums up for a chosen filter or group.
    int64_t ShownTotal() const {
        return View == TListView::Formats ? FormatsTotal : CURRENT_FILTER_TOTALFILESIZE;
    }
    // Names show as whole paths: in the files view and in every filtered (flattened) list.
    bool WholePaths() const { return FLAG_SHOW_FULLPATH || !CURRENT_FILTER.isEmpty(); }
};

} // namespace views
