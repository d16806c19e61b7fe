#pragma once

// The file-format groups of the analyser window: which group a file counts in, and the walk
// that sums the files of the analysis tree into the groups.

#include "analysis/AnalysisTree.h"
#include "settings/FormatGroups.h"

#include <QStringList>

#include <array>
#include <cstddef>
#include <cstdint>

namespace analysis {
class TProgressBar;
}

namespace views {

// The groups are the program's file-format groups (settings/FormatGroups.h), searched in the order
// of their ids: a file counts in the first group whose list holds its extension, and in no other.
// Lists and totals are indexed by GroupIndex(id).
constexpr size_t kGroupCount = settings::kFormatGroupCount;
constexpr size_t GroupIndex(settings::FormatGroupId id) {
    return static_cast<size_t>(id);
}

struct TFormatTotals {
    std::array<uint32_t, kGroupCount> Count{};
    std::array<int64_t, kGroupCount> Size{};
    int64_t GrandTotal = 0; // of every file that counted in a group
};

// Sums the files of the tree into the groups whose extension lists are given (parsed lists,
// indexed by GroupIndex). Folders count nowhere. The progress bar (when given) counts the
// nodes; the message loop is pumped as the walk goes.
TFormatTotals AggregateFormats(const analysis::TAnalysisTree& tree,
                               const std::array<QStringList, kGroupCount>& lists,
                               analysis::TProgressBar* progress);

} // namespace views
