#include "views/FileFormats.h"

#include "analysis/NodeData.h"
#include "platform/Pump.h"
#include "views/FilterRules.h"

namespace views {

TFormatTotals AggregateFormats(const analysis::TAnalysisTree& tree,
                               const std::array<QStringList, kGroupCount>& lists,
                               analysis::TProgressBar* progress) {
    using analysis::PNode;
    TExtensionTable table;
    for (size_t g = 0; g < kGroupCount; ++g)
        for (const QString& e : lists[static_cast<size_t>(g)])
            table.Add(e, g); // an extension in two lists belongs to the first
    TFormatTotals totals;
    std::u16string path;
    analysis::TAnalysisTree::PathBuilder builder(tree);
    size_t visited = 0;
    for (PNode n = tree.GetFirst(); n != PNode::None; n = tree.GetNext(n)) {
        if (!tree.IsFolder(n) && !table.Empty()) {
            path.clear();
            builder.Append(n, path);
            const int g = table.Find(path);
            if (g >= 0) {
                const int64_t size = tree.Size(n);
                ++totals.Count[static_cast<size_t>(g)];
                totals.Size[static_cast<size_t>(g)] =
                    analysis::AddSizes(totals.Size[static_cast<size_t>(g)], size);
                totals.GrandTotal = analysis::AddSizes(totals.GrandTotal, size);
            }
        }
        AdvanceProgress(progress, ++visited);
        platform::PumpPoint();
    }
    return totals;
}

} // namespace views
