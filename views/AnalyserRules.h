#pragma once

// The rules of the analyser window that need no window: the extension of a file, extension
// lists and filters, the walks that apply a filter or sum up the file-format groups over the
// analysis tree, the status summary, which drives are offered and what the command line asks
// for at start-up. The window only sequences these and moves controls.

#include "analysis/AnalysisTree.h"
#include "analysis/ScanVerdict.h"
#include "analysis/SizeText.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace analysis {
class TProgressBar;
}

namespace views {

// ---- extensions and extension lists --------------------------------------------------------

// The extension of a path as written: the text after the last "." of the name (the text after
// the last backslash). In both steps a separator in the very last position does not count, so
// "a.b." has the extension "b." and ".profile" has "profile". Empty without a dot.
std::u16string_view RawExtension(std::u16string_view path);
// The extension upper-cased in the letters a to z, as every comparison of this window uses it.
QString FileExtension(QStringView path);

// Parses an extension list such as "mp3 ; OGG ;;wav ": upper-cased, split at ";", each part
// trimmed of blanks and control characters, empty parts dropped; order and duplicates kept. A
// leading "*." is not removed.
void Read_Filter_From_Edit(QStringList& Liste, const QString& Text);

// The one entry of a filter typed into the filter box: the text upper-cased, without a leading
// "*.". It is neither split at ";" nor trimmed.
QString TypedFilterEntry(const QString& text);

// The text form of a filter that the engine keeps in CURRENT_FILTER: every entry followed by
// CR LF; empty for no entries.
QString FilterText(const QStringList& entries);

// A set of upper-cased extensions for fast lookups during a walk over millions of files.
class TExtensionTable {
public:
    // Each extension gets the value of its first occurrence.
    void Add(const QString& upperExtension, int value);
    // The value of the extension of a path (upper-cased here), or -1.
    int Find(std::u16string_view path) const;
    bool Empty() const { return values_.empty(); }

private:
    std::unordered_map<std::u16string, int> values_;
    mutable std::u16string scratch_; // the upper-cased extension of the last lookup
};

// ---- walks over the analysis tree ---------------------------------------------------------

// Marks every node visible and then, when the filter has entries, hides every folder and every
// file whose extension is not one of them. The progress bar (when given) counts the nodes; the
// message loop is pumped as the walk goes. Returns the total size of the files that stayed
// visible.
int64_t ApplyExtensionFilter(analysis::TAnalysisTree& tree, const QStringList& entries,
                             analysis::TProgressBar* progress);

// The file-format groups in the order their lists are searched: a file counts in the first
// group whose list holds its extension, and in no other.
enum FormatGroup : int {
    kGroupVideo,
    kGroupAudio,
    kGroupPictures,
    kGroupDocuments,
    kGroupArchives,
    kGroupApplications,
    kGroupOwn,
    kGroupCount
};

struct TFormatTotals {
    std::array<uint32_t, kGroupCount> Count{};
    std::array<int64_t, kGroupCount> Size{};
    int64_t GrandTotal = 0; // of every file that counted in a group
};

// Sums the files of the tree into the groups whose extension lists are given (parsed lists,
// indexed by FormatGroup). Folders count nowhere. Progress and pumping as above.
TFormatTotals AggregateFormats(const analysis::TAnalysisTree& tree,
                               const std::array<QStringList, kGroupCount>& lists,
                               analysis::TProgressBar* progress);

// Adds up two sizes without overflowing: a sum beyond the largest size stays at the largest.
int64_t SaturatingAdd(int64_t a, int64_t b);

// ---- status line ---------------------------------------------------------------------------

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

// ---- drives and start-up -------------------------------------------------------------------

// Whether the analyse command offers a drive: never A:, network drives, optical drives or RAM
// disks, and only drives whose size can be read and is above 0 (a drive with a medium).
bool IsOfferedDrive(char16_t letter, unsigned driveType, bool sizeRead, uint64_t totalBytes);
// The same for a drive of the drive table.
bool IsOfferedDrive(char16_t letter);

// What the start-up timer does with the program's arguments.
struct TStartRequest {
    bool Analyse = false; // click the analyse command
    QChar Drive;          // make this the current drive first (null: keep the current one)
};
TStartRequest StartRequestFor(const QStringList& arguments);

} // namespace views
