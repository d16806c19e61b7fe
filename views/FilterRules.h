#pragma once

// Extensions, extension lists and filters of the analyser window, and the walk that applies a
// filter over the analysis tree.

#include "analysis/AnalysisTree.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace analysis {
class TProgressBar;
}

namespace views {

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

// Marks every node visible and then, when the filter has entries, hides every folder and every
// file whose extension is not one of them. The progress bar (when given) counts the nodes; the
// message loop is pumped as the walk goes. Returns the total size of the files that stayed
// visible.
int64_t ApplyExtensionFilter(analysis::TAnalysisTree& tree, const QStringList& entries,
                             analysis::TProgressBar* progress);

// The position a walk over the tree has reached, handed to the progress bar (when given).
void AdvanceProgress(analysis::TProgressBar* progress, size_t visited);

} // namespace views
