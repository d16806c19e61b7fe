#pragma once

// Opening a saved analysis of any kind the program reads (ours, or an ncdu or gdu JSON export),
// and the checks that let a loaded analysis act on items again.
//
// Loading reads the file and nothing else: no item of the drive it describes is looked at, so a
// file handed in by anyone cannot make the program touch what it names. Acting on an item of a
// loaded analysis later is another matter: LoadedDriveIsHere and WayIsRecorded say whether the
// drive is still the file system the analysis was made of and whether the item's way has
// recorded identities for the usual check of each step.

#include "analysis/AnalysisOrigin.h"
#include "analysis/AnalysisTree.h"
#include "saved/SavedFormat.h"

#include <QString>
#include <QStringList>

#include <string>

namespace saved {

struct TOpenOptions {
    // For an ncdu or gdu export: the drive its top folder is shown as (see TImportOptions).
    // Ours keep the drive they recorded.
    QString Drive;
    TProgress Progress;
};

struct TOpened {
    // What the engine takes with AdoptAnalysis: Origin.Loaded is set and Origin.File is the path.
    analysis::TAnalysisSummary Summary;
    uint64_t Entries = 0;
    QString Format; // "orbisca", or "ncdu JSON" (also for gdu's exports)
    // Things worth saying about an import (English, one line each): mount points not walked,
    // folder totals of newer gdu that were not counted.
    QStringList Notes;
};

// Opens path (a regular file) into tree, cleared first; false with the reason in error and an
// empty tree. The caller then hands opened->Summary to TOrbisca::AdoptAnalysis (or swaps the
// tree into the one the engine owns first, for a tree loaded aside).
bool OpenAnalysisFile(const std::string& path, analysis::TAnalysisTree& tree, TOpened* opened,
                      QString* error, const TOpenOptions& options = {});

// Whether the drive of a loaded analysis is, now, the file system the analysis was made of: the
// drive letter maps to the recorded root folder, and that folder's file system has the recorded
// identity (UUID, else f_fsid, else device and mount point) and the tree's device. Looks at the
// drive's root folder, so call it when the user acts, not while loading. False with the reason in
// why (English).
bool LoadedDriveIsHere(const analysis::TAnalysisOrigin& origin, const QString& drive,
                       uint64_t treeDevice, QString* why);

// Whether node and every folder above it have a recorded inode, so that each step of the way to
// the item can be checked against what the analysis saw (platform::ListedItem takes a 0 for a
// step to be taken unchecked; a loaded analysis must never let it).
bool WayIsRecorded(const analysis::TAnalysisTree& tree, analysis::PNode node);

} // namespace saved
