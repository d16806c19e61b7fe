#include "saved/OpenAnalysis.h"

#include "platform/DriveTable.h"
#include "platform/FileSystemIdentity.h"
#include "platform/UniqueFd.h"
#include "saved/NcduJson.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace saved {

bool OpenAnalysisFile(const std::string& path, analysis::TAnalysisTree& tree, TOpened* opened,
                      QString* error, const TOpenOptions& options) {
    tree.Clear();
    *opened = TOpened{};
    // Non-blocking, so that a fifo or a device given as the file cannot hold the program; only
    // a regular file is read.
    const platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = QStringLiteral("not a regular file");
        return false;
    }
    unsigned char head[16] = {};
    const ssize_t n = ::pread(fd.get(), head, sizeof head, 0);
    if (n < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (static_cast<size_t>(n) >= sizeof kMagic && std::memcmp(head, kMagic, sizeof kMagic) == 0) {
        TSavedHeader header;
        if (!ReadSaved(fd.get(), tree, &header, error, options.Progress))
            return false;
        opened->Summary = header.Summary;
        opened->Entries = header.Entries;
        opened->Format = QStringLiteral("orbisca");
    } else {
        ssize_t i = 0;
        while (i < n && (head[i] == ' ' || head[i] == '\n' || head[i] == '\r' || head[i] == '\t'))
            ++i;
        if (n >= 2 && head[0] == 0x1F && head[1] == 0x8B) {
            *error = QStringLiteral("it is compressed with gzip; unpack it first (gzip -d)");
            return false;
        }
        if (i == n || head[i] != '[') {
            *error = QStringLiteral(
                "it is neither a saved analysis of this program nor an ncdu or gdu export");
            return false;
        }
        TImportOptions importOptions;
        importOptions.Drive = options.Drive;
        importOptions.Progress = options.Progress;
        TImported imported;
        if (!ImportNcduJson(fd.get(), tree, &imported, error, importOptions)) {
            *error = QStringLiteral("it is no readable ncdu or gdu export: ") + *error;
            return false;
        }
        opened->Summary = imported.Summary;
        opened->Entries = imported.Entries;
        opened->Format = QStringLiteral("ncdu JSON");
        if (imported.MountPoints)
            opened->Notes.append(
                QStringLiteral("%1 folders on other file systems or excluded were not walked")
                    .arg(imported.MountPoints));
        if (imported.ExcludedByPattern)
            opened->Notes.append(
                QStringLiteral("%1 entries excluded by a pattern are listed without a size")
                    .arg(imported.ExcludedByPattern));
        if (imported.CumulativeFolderSizes)
            opened->Notes.append(QStringLiteral(
                "the export gave folder totals; they were left out and the files counted"));
    }
    opened->Summary.Origin.Loaded = true;
    opened->Summary.Origin.File = path;
    return true;
}

bool LoadedDriveIsHere(const analysis::TAnalysisOrigin& origin, const QString& drive,
                       uint64_t treeDevice, QString* why) {
    const std::string root =
        drive.isEmpty() ? std::string() : platform::DriveRoot(drive[0].unicode());
    if (root.empty()) {
        *why = QStringLiteral("the drive %1 is not there").arg(drive.left(2));
        return false;
    }
    if (origin.Root.empty() || root != origin.Root) {
        *why = QStringLiteral("the drive %1 is no longer the folder the analysis was made of")
                   .arg(drive.left(2));
        return false;
    }
    platform::FileSystemIdentity now;
    if (!platform::IdentifyFileSystem(root, &now)) {
        *why = QStringLiteral("the drive %1 cannot be examined: %2")
                   .arg(drive.left(2), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    const bool recorded = !origin.FileSystem.uuid.empty() || origin.FileSystem.fsid != 0 ||
                          origin.FileSystem.device != 0;
    if (!recorded || !now.SameFileSystem(origin.FileSystem) ||
        (treeDevice != 0 && now.device != treeDevice)) {
        *why = QStringLiteral("the drive %1 is not the file system the analysis was made of")
                   .arg(drive.left(2));
        return false;
    }
    return true;
}

bool WayIsRecorded(const analysis::TAnalysisTree& tree, analysis::PNode node) {
    if (!tree.Contains(node))
        return false;
    for (analysis::PNode n = node; n != analysis::PNode::None; n = tree.GetParent(n))
        if (tree.Inode(n) == 0)
            return false;
    return tree.Device() != 0;
}

} // namespace saved
