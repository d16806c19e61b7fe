#pragma once

// What the last analysis can vouch for. A result is complete only when the snapshot read the
// whole volume; otherwise the windows and the report say so instead of presenting a part of the
// drive as the whole.

#include <QString>
#include <QStringList>

#include <cstdint>

namespace analysis {

struct TScanVerdict {
    // The snapshot ended before the whole volume was read (the service failed or ran out of a
    // resource); Reason says why in one English line.
    bool CutShort = false;
    QString Reason;
    // The scan was stopped on request (RequestStop) before it had walked every folder.
    bool Stopped = false;
    // Folders the service could not read (their contents are missing), and the Windows paths of
    // the first few of them.
    uint32_t UnreadableFolders = 0;
    QStringList UnreadableSamples;

    bool IsComplete() const { return !CutShort && !Stopped && UnreadableFolders == 0; }
};

} // namespace analysis
