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

QString TOrbisca::DisplayName(const TNodeData& d, bool wholePaths) {
    if (wholePaths)
        return d.Path;
    // The text after the last backslash; a backslash in the very last place is not a separator.
    QString name;
    if (d.Path.size() >= 2) {
        const qsizetype slash = d.Path.lastIndexOf(u'\\', d.Path.size() - 2);
        if (slash >= 0)
            name = d.Path.mid(slash + 1);
    }
    if (name.isEmpty() && d.ImageIndex > 0)
        return d.Path;
    return name;
}

} // namespace analysis
