// The engine's part in the analyser window's views.

#include "analysis/nogui_Orbisca.h"

namespace analysis {

// The rows of the files view: every file of the tree in depth-first order, whether or not a
// filter hid it. Target is replaced; the rows refer to the nodes, so each carries the node's
// whole record.
void TOrbisca::Copy_All_Files(const TAnalysisTree* Source, std::vector<PNode>& Target) const {
    Target.clear();
    if (!Source)
        return;
    for (PNode n = Source->GetFirst(); n != PNode::None; n = Source->GetNext(n))
        if (!Source->IsFolder(n))
            Target.push_back(n);
}

} // namespace analysis
