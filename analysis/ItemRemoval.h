#pragma once

// Taking items out of an analysis once they have left the disk, without a new scan: each item
// leaves the tree with everything below it, and every folder above it, and the drive's totals,
// lose exactly what it held. The result equals a count of the reduced tree from the walk's
// direct counts, at the cost of each item's depth and subtree instead of the whole tree.

#include "analysis/AnalysisTree.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace analysis {

class TOrbisca;

// What left the analysis with one removal.
struct TRemovedTotals {
    size_t Items = 0;     // items removed
    int64_t Size = 0;     // bytes of the files below them (saturated like the counts)
    uint64_t Files = 0;   // file entries
    uint64_t Folders = 0; // folder entries, the items themselves included
};

// Removes the items (nodes of the engine's tree) with their subtrees. Each folder above an item
// loses the item's Size, FileCount and FolderCount (plus one for a folder item); TotalSize
// follows the root, TotalFiles and TotalFolders lose the entries removed, and *filterTotal (given
// while a filter is active) loses the sizes of the files the filter showed. Nodes that are no
// longer in the tree are skipped; an item given twice goes once, and an item inside another one
// given goes with that one.
TRemovedTotals RemoveItems(TOrbisca& engine, const std::vector<PNode>& items,
                           int64_t* filterTotal = nullptr);

} // namespace analysis
