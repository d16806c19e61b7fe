#pragma once

#include <QString>

#include <cstdint>

namespace analysis {

// The record of one node of the analysis tree; rows of the visible list are copies of it.
struct TNodeData {
    QString Path;             // folder without trailing backslash (drive roots keep it); file: full
    int64_t Size = 0;         // bytes; folders: sum below them after the size pass
    uint32_t FolderCount = 0; // folder entries below (direct ones right after the walk)
    uint32_t FileCount = 0;   // files below (direct ones right after the walk)
    uint8_t IsFolder = 0;     // 1 folder, 0 file
    int32_t ImageIndex = 0;   // > 0: drawn with this picture of the image list instead of an icon
    // The file name exactly as the volume lists it, kept only when trimming blanks and control
    // characters changed it; empty otherwise. Actions use ListedPath() to reach the real file.
    QString ListedName;
};

// Sizes never wrap: a sum beyond the largest size stays at the largest (and below the smallest at
// the smallest), so a volume of huge sparse files shows its real order of magnitude instead of a
// negative size.
constexpr int64_t kMaxSize = INT64_MAX;
constexpr int64_t AddSizes(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? kMaxSize : INT64_MIN;
    return sum;
}
// A byte count as a size: counts beyond the largest size are the largest.
constexpr int64_t SizeOfBytes(uint64_t bytes) {
    return bytes > static_cast<uint64_t>(kMaxSize) ? kMaxSize : static_cast<int64_t>(bytes);
}

// The path that reaches the entry on disk: Path, with the listed name in place of the trimmed
// one when they differ.
QString ListedPath(const TNodeData& data);

// Upper-case conversion used for every path comparison: only the letters a to z change.
QChar UpperAZ(QChar c);
QString UpperAZ(QStringView text);

} // namespace analysis
