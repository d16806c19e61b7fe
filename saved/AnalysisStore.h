#pragma once

// The store of kept analyses: a folder only root may enter (0700), beside the machine hive
// (/var/lib/zelvano/orbisca-2024/analyses; with ORBISCA_HIVE set, "analyses" beside that file).
// Each kept analysis is one file of our format. They are grouped by drive: the identity of the
// file system and the analysed folder's place in it (platform::FileSystemIdentity::Key), so the
// same disk is one drive whatever letter or mount point it has today.
//
// Writing is fail-safe: a temporary file created exclusively in the store (O_EXCL, O_NOFOLLOW),
// written, made durable (fsync), renamed to its name and the folder made durable; a failure at
// any point (a full disk) removes the temporary file and leaves every analysis kept before as it
// was. Retention runs only after the new one is in place: the newest KeepPerDrive per drive, then
// the oldest of all go until the store holds at most MaxTotalBytes (the new one always stays).

#include "analysis/AnalysisOrigin.h"
#include "analysis/AnalysisTree.h"
#include "saved/SavedFormat.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace saved {

struct TRetention {
    int KeepPerDrive = 10;
    uint64_t MaxTotalBytes = uint64_t{1} << 30;
};

struct TKeptAnalysis {
    std::string File; // the file in the store (native path), for OpenAnalysisFile
    uint64_t FileBytes = 0;
    QDateTime FileTime; // the file's modification time
    TSavedHeader Header;

    // What the list of kept analyses shows.
    QString Drive() const { return Header.Summary.Drive; }
    QDateTime MadeAt() const; // when the analysis ended (else began; else the file's time)
    uint32_t Files() const { return Header.Summary.TotalFiles; }
    int64_t Size() const { return Header.Summary.TotalSize; }
    bool Complete() const { return Header.IsComplete(); }
    std::string DriveKey() const { return Header.Summary.Origin.FileSystem.Key(); }
};

// The store's folder (native path); not created here.
std::string StoreFolder();

// Keeps the analysis (tree and the engine's summary) in the store, on the calling thread; the
// tree must not change until it returns. A cut-short or stopped analysis is kept like any other
// and its header says so. kept (may be null) describes the new file. False with the reason.
bool KeepAnalysis(const analysis::TAnalysisTree& tree, const analysis::TAnalysisSummary& summary,
                  const TRetention& retention, TKeptAnalysis* kept, QString* error,
                  const TProgress& progress = {});

// The kept analyses, newest first, read from their headers only. Files of the store that are
// not readable analyses are left out. An empty list and no error when there is no store yet.
std::vector<TKeptAnalysis> ListKeptAnalyses(QString* error);

// Removes one kept analysis (a File of the list). False with the reason.
bool ForgetKeptAnalysis(const std::string& file, QString* error);

} // namespace saved
