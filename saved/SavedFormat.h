#pragma once

// Our own format of a saved analysis (docs/saved-analysis-format.md describes it byte by byte):
// a header that says which drive and file system were analysed, when, with which verdict and
// totals, then every entry of the tree depth-first in zstd-compressed blocks. A reader needs one
// pass and memory for one block and the folders open on the way down, however large the tree.

#include "analysis/AnalysisOrigin.h"
#include "analysis/AnalysisTree.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace saved {

constexpr uint16_t kFormatMajor = 1;
constexpr uint16_t kFormatMinor = 0;
// The first bytes of every file of ours.
constexpr char kMagic[8] = {'\x89', 'O', 'R', 'B', 'S', 'A', 'V', '\n'};

struct TSavedHeader {
    uint16_t Major = kFormatMajor;
    uint16_t Minor = kFormatMinor;
    // Drive, totals, verdict; Origin carries what made the analysis, the program that wrote the
    // file, the times, the root and the file system. (Origin.Loaded and File describe a reading
    // of the file, not the file.)
    analysis::TAnalysisSummary Summary;
    // The volume's device as the tree records it (the tree's Device()).
    uint64_t Device = 0;
    // Entries in the tree, the top folder included.
    uint64_t Entries = 0;

    bool IsComplete() const { return Summary.Verdict.IsComplete(); }
};

// The header of an analysis about to be saved: the engine's summary and the tree's device, the
// program's version, and for a scan the drive's root folder and the identity of its file system
// as they are now (an analysis loaded from a file keeps what that file recorded).
TSavedHeader HeaderForSaving(const analysis::TAnalysisTree& tree,
                             const analysis::TAnalysisSummary& summary);

// Called now and then while a tree is written or read with the entries done so far; false stops
// the work (it then fails with "cancelled").
using TProgress = std::function<bool(uint64_t entries)>;

// Writes the tree with its header to fd (written from the current position on; the caller makes
// the file durable). False with the reason in error.
bool WriteSaved(int fd, const TSavedHeader& header, const analysis::TAnalysisTree& tree,
                QString* error, const TProgress& progress = {});

// Reads the header at the start of fd only: cheap enough to list many files. False, with the
// reason in error, for a file that is not ours, damaged, or of a newer major version.
bool ReadSavedHeader(int fd, TSavedHeader* header, QString* error);

// Reads a whole saved analysis from the start of fd into tree (cleared first). On failure the tree
// is left empty. Nothing in the file makes the reader touch any other file.
bool ReadSaved(int fd, analysis::TAnalysisTree& tree, TSavedHeader* header, QString* error,
               const TProgress& progress = {});

} // namespace saved
