#pragma once

// The analysis list's columns and the name order of its rows, as the engine and the list share
// them (the painting of the cells is the views' part).

#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>

namespace analysis {

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

} // namespace analysis
