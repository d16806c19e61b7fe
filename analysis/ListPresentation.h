#pragma once

// What the list hands to the engine's paint and compare callbacks.

#include "analysis/NodeData.h"

#include <QStringView>

#include <cstddef>
#include <cstdint>

class QPainter;

namespace analysis {

// One cell to paint. The rectangle is in Windows terms: right and bottom are exclusive.
struct TPaintInfo {
    QPainter* Canvas = nullptr;
    const TNodeData* Node = nullptr; // none: nothing is drawn
    int Column = 0;
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// The fields of a row that the comparison reads; UpperPath is the path upper-cased.
struct TCompareKey {
    QStringView UpperPath;
    int64_t Size = 0;
    uint32_t FolderCount = 0;
    uint32_t FileCount = 0;
};

// The list's columns.
enum ListColumn : int {
    kColName = 0,
    kColFolders = 1,
    kColFiles = 2,
    kColSize = 3,
    kColSharePercent = 4,
    kColFolderPercent = 5,
    kColumnCount = 6
};

// The upper-casing of paths for the name order (locale-aware, unlike the a-to-z rule of finds).
// One code unit for one, like the system's upper-casing of a buffer: the length never changes.
QString UpperForCompare(QStringView path);
void UpperForCompareInPlace(char16_t* text, size_t length);
inline char16_t UpperForCompareUnit(char16_t c) {
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
    if (QChar::isSurrogate(c))
        return c;
    return static_cast<char16_t>(QChar::toUpper(static_cast<char32_t>(c)));
}

// The colour of every bar, RGB(96, 224, 96).
constexpr unsigned kBarColor = 0x60E060;

} // namespace analysis
