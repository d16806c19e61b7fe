#pragma once

// The texts of the analyser window's status line and messages: sizes, the summary, shortened
// paths and what an incomplete analysis tells the user.

#include "analysis/ScanVerdict.h"
#include "analysis/SizeText.h"

#include <QString>

#include <cstdint>

namespace views {

// The size text of the status line: gigabytes with two decimals, megabytes with two, kilobytes
// with one, bytes as an integer ("0 Byte" ... "1.024,00 MB" ... "3,50 GB").
QString StatusSizeText(int64_t size, const analysis::NumberFormat& format);

// Replaces the first occurrence of placeholder (compared ignoring case) by value.
QString ReplaceFirstIgnoreCase(const QString& text, const QString& placeholder,
                               const QString& value);

// The summary: the template with "%1" := shown items, "%2" := the files of the drive,
// "%3" := the size text of size, each replaced at its first occurrence only.
QString StatusSummary(const QString& templateText, uint64_t shownItems, uint32_t totalFiles,
                      int64_t size, const analysis::NumberFormat& format);

// A long path shortened in its middle (drive and name stay), so that one sentence about it
// stays a line or two.
QString ElidedPath(const QString& path);

// What an incomplete analysis tells the user, one sentence per cause (HTML, names escaped);
// empty for a complete result.
QString IncompleteReasons(const analysis::TScanVerdict& verdict);

} // namespace views
