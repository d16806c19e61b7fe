#pragma once

// ncdu's JSON export format (major version 1, minor 0 to 2; gdu writes the same with progname
// "gdu"), read into the analysis tree and written from it, for exchange with ncdu and gdu.
//
// Reading streams the file through a parser of our own: memory for the tree and for the folders
// open on the way down, never for the document. The tree comes out as our scan of the same
// folder builds it: files with their apparent sizes (asize), each hard-linked name counted, links
// and other entries that are no regular files without size (notreg), folders without a size of
// their own (their asize and dsize are never counted, whether a folder's own, as ncdu writes
// them, or a total, as newer gdu writes them beside "items"), mount points (excluded "othfs",
// "otherfs", "kernfs", "frmlnk", and folders on another device) as folder entries that are not
// walked. Folders with read_error are the unreadable folders of the verdict. dsize and mtime are
// read past: the tree keeps neither. Names are bytes: raw bytes that are not UTF-8 stay what
// they are (ncdu writes them so), escapes are decoded, and \udc80 to \udcff stand for the raw
// bytes 0x80 to 0xff.
//
// Writing produces version 1.2 that ncdu and gdu read: the root with its absolute native path
// and device, each entry with its name bytes and files with their asize, so that both count what
// our analysis counts. No ino: gdu takes entries of one inode for one (ncdu only those marked
// hlnkc), where our analysis counts every name of a hard-linked file. What the tree does not keep
// is left out (dsize, mtime, nlink); folder entries that are no nodes (mount points, links to
// folders) have no name in the tree and are not written. gdu gives every folder it reads from
// such a file 4096 bytes of its own.

#include "analysis/AnalysisOrigin.h"
#include "analysis/AnalysisTree.h"
#include "saved/SavedFormat.h"

#include <QString>

#include <cstdint>

namespace saved {

struct TImportOptions {
    // The drive the tree's top folder is shown as ("Z:\"). Empty: the drive whose root is the
    // file's root folder where there is one, else the first free letter from Z: down.
    QString Drive;
    TProgress Progress;
};

struct TImported {
    // Drive, totals and verdict as a scan of the same folder gives them; Origin says "ncdu" or
    // "gdu", the program and version, the export's time and root, and the root's device.
    analysis::TAnalysisSummary Summary;
    uint64_t Entries = 0;               // nodes of the tree
    uint16_t Minor = 0;                 // the format's minor version
    bool CumulativeFolderSizes = false; // folders gave totals with "items" (newer gdu)
    uint32_t MountPoints = 0;           // folder entries not walked: excluded or on another device
    uint32_t ExcludedByPattern = 0;
};

// Reads an ncdu or gdu JSON export from fd (from its current position) into tree, cleared first.
// False with the reason in error (and an empty tree) for a file that is not such an export, is
// cut off, holds names no file can have or numbers beyond what an analysis holds.
bool ImportNcduJson(int fd, analysis::TAnalysisTree& tree, TImported* result, QString* error,
                    const TImportOptions& options = {});

// Writes the analysis as ncdu JSON 1.2 to fd. The root's name is the native folder analysed.
bool ExportNcduJson(int fd, const analysis::TAnalysisTree& tree,
                    const analysis::TAnalysisSummary& summary, QString* error);

// The drive an imported analysis of the native folder root is shown as (see TImportOptions).
QString DriveForImportedRoot(const std::string& root);

} // namespace saved
