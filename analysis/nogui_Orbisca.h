#pragma once

// The disk-analysis engine: loads the snapshot service, turns a drive's record graph into the
// analysis tree, keeps the drive's totals and finds nodes by path.

#include "analysis/AnalysisOrigin.h"
#include "analysis/AnalysisTree.h"
#include "analysis/ListPresentation.h"
#include "analysis/Progress.h"
#include "analysis/ScanVerdict.h"
#include "analysis/UndelDLL.h"
#include "platform/Module.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>

namespace skin {
class TPngImageList; // the analyser window's 16-pixel image list
}

namespace analysis {

// Process-wide: set when the main window is asked to close. An analyse command started after it
// only asks the program to end. The scan itself reads its own engine's stop request.
extern bool ProgramClosing;

class TOrbisca {
public:
    explicit TOrbisca(TAnalysisTree* tree); // Create
    virtual ~TOrbisca();                    // Destroy
    TOrbisca(const TOrbisca&) = delete;
    TOrbisca& operator=(const TOrbisca&) = delete;

    void DO_Drive(const QString& drive);

    // Asks the analysis under way (or the next one) to stop: folders not yet entered stay out,
    // the service is told through its keep-alive answer, and the verdict says stopped. Safe from
    // any thread; the window asks when it closes during an analysis.
    void RequestStop() { stopRequested_.store(true, std::memory_order_relaxed); }
    bool StopRequested() const { return stopRequested_.load(std::memory_order_relaxed); }
    // The analyse command clears the request before each analysis.
    void ClearStopRequest() { stopRequested_.store(false, std::memory_order_relaxed); }

    PNode FindRootNodeForDir(const QString& dir) const;
    // The node of a file or folder by its whole path. The window reaches nodes through its rows;
    // this lookup by path is the engine's for callers without rows (the tests' way to name an
    // item).
    PNode FindNodeForThis(uint8_t is_Dir, const QString& fullPath) const;

    uint32_t CountDirsInTree(TAnalysisTree* tree, PNode startNode);
    uint32_t CountFilesInTree(TAnalysisTree* tree, PNode startNode);
    int64_t CountSizeInTree(TAnalysisTree* tree, PNode startNode);
    void Copy_All_Files(const TAnalysisTree* Source,
                        std::vector<PNode>& Target) const; // files view

    // The result of the last DO_Drive: the drive analysed ("C:\\"), its top node, its totals
    // (bytes of the files, file entries, folder entries with the top one) and what it can vouch
    // for.
    const QString& Analysed_Drive() const { return analysedDrive_; }
    PNode RootNode() const { return rootNode_; }
    int64_t TotalSize() const { return totalSize_; }
    uint32_t TotalFiles() const { return totalFiles_; }
    uint32_t TotalFolders() const { return totalFolders_; }
    const TScanVerdict& ScanVerdict() const { return scanVerdict_; }
    // Where the analysis came from: a scan (with its start and end) or a loaded file.
    const TAnalysisOrigin& Origin() const { return origin_; }
    TAnalysisSummary Summary() const;
    // Takes an analysis built into FTree by someone else (a saved analysis loaded, see saved/)
    // as the result, exactly as DO_Drive leaves one: drive, top node, totals, verdict, origin.
    // The service is not involved.
    void AdoptAnalysis(const TAnalysisSummary& summary);
    // For whoever changes the tree afterwards (a removal of items) or builds one by hand: the
    // totals that now hold.
    void SetTotals(int64_t size, uint32_t files, uint32_t folders) {
        totalSize_ = size;
        totalFiles_ = files;
        totalFolders_ = folders;
    }

    TAnalysisTree* FTree = nullptr;
    platform::HMODULE DLLHandle = nullptr;
    TUndeleteDLLEntryW Undeleter = nullptr;
    TProgressBar* ProgressBar = nullptr;
    const skin::TPngImageList* PNGImageList = nullptr;

    // The text the name column shows for a record.
    // wholePaths: the files view and filtered lists name every row by its whole path.
    static QString DisplayName(const TNodeData& record, bool wholePaths);

    static bool32 UNDEL_CALL ScanProgressCallback(int32_t cmd, const char16_t* amessage,
                                                  int32_t progress, uintptr_t userdata);

private:
    std::atomic<bool> stopRequested_{false};
    QString analysedDrive_;
    PNode rootNode_ = PNode::None;
    int64_t totalSize_ = 0;
    uint32_t totalFiles_ = 0;
    uint32_t totalFolders_ = 0;
    // What the last DO_Drive can vouch for (reset at its start).
    TScanVerdict scanVerdict_;
    TAnalysisOrigin origin_;
    // What the service said during the last UpdateSnapshot, and whether the scan answered its
    // keep-alive with a stop.
    QStringList serviceMessages_;
    bool stopAnswered_ = false;
    // The service's optional export of record identities (none: the tree records none).
    TUndeleteDLLGetRecordId getRecordId_ = nullptr;

    void LoadService();
    void ScanVolume(const QString& drive);
    void WalkFolder(TSnapshot snapshot, const TFILE_RECORD* record, const QString& path);
};

} // namespace analysis
