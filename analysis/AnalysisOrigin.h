#pragma once

// Where an analysis came from: a scan made now, or a saved analysis (ours, or an ncdu or gdu
// export) loaded from a file. A loaded analysis keeps the identity of the file system it was
// made of, so that an action on one of its items can first make sure the drive is still that
// file system; the device and inodes of its items are in the tree as after a scan.

#include "analysis/ScanVerdict.h"
#include "platform/FileSystemIdentity.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <string>

namespace analysis {

struct TAnalysisOrigin {
    bool Loaded = false;
    std::string File; // the file it was loaded from, native, as given; empty after a scan
    // What made the analysis: "scan" for a scan of ours (also one saved and loaded again), else
    // the program whose export it was imported from ("ncdu", "gdu").
    QString Source = QStringLiteral("scan");
    QString Program;   // the program (and version) that wrote the file, as it says
    QDateTime Started; // when the analysis began and ended (UTC); an export that records only
    QDateTime Ended;   // when it was written gives that time for both; invalid when unknown
    std::string Root;  // the native folder analysed (the drive's root when it was analysed)
    // As recorded in the file; empty after a scan (a saved analysis identifies the file system
    // when it is written).
    platform::FileSystemIdentity FileSystem;
};

// What the engine holds beside the tree once an analysis is done: the drive, its totals, what
// the result can vouch for and where it came from.
struct TAnalysisSummary {
    QString Drive; // "C:\"
    int64_t TotalSize = 0;
    uint32_t TotalFiles = 0;
    uint32_t TotalFolders = 0; // folder entries, the top one included
    TScanVerdict Verdict;
    TAnalysisOrigin Origin;
};

} // namespace analysis
