#pragma once

// How the analysis list paints a row's cells and orders two rows. The painter reads the engine
// (tree, totals, image list) and the window's list state (current folder, bars, whole paths) and
// changes nothing.

#include "analysis/ListPresentation.h"
#include "analysis/NodeData.h"
#include "views/ListState.h"
#include "views/PaintInfo.h"

namespace analysis {
class TOrbisca;
}

namespace views {

// The colour of every bar, RGB(96, 224, 96).
constexpr unsigned kBarColor = 0x60E060;

class TOrbiscaPainter {
public:
    TOrbiscaPainter(const analysis::TOrbisca& engine, const TListState& state)
        : engine_(&engine), state_(&state) {}

    // Paints one cell of a row.
    void DrawNode(const TPaintInfo& paintInfo) const;

    // Orders two rows by a column: negative when a comes first in ascending order.
    static int CompareNodes(const analysis::TCompareKey& a, const analysis::TCompareKey& b,
                            int column);
    static int CompareNodes(const analysis::TNodeData& a, const analysis::TNodeData& b, int column);

private:
    const analysis::TOrbisca* engine_;
    const TListState* state_;
};

} // namespace views
