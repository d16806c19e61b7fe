#pragma once

// What the list hands to its paint callback for one cell.

#include "analysis/NodeData.h"

class QPainter;

namespace views {

// One cell to paint. The rectangle is in Windows terms: right and bottom are exclusive.
struct TPaintInfo {
    QPainter* Canvas = nullptr;
    const analysis::TNodeData* Node = nullptr; // none: nothing is drawn
    int Column = 0;
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

} // namespace views
