#include "views/AnalyserRules.h"

#include "analysis/NodeData.h"
#include "analysis/Progress.h"
#include "i18n/ProjectMessages.h"
#include "platform/DriveTable.h"
#include "platform/Pump.h"

#include <limits>

namespace views {
namespace {

constexpr char16_t kBackslash = u'\\';

inline char16_t upperAZ(char16_t c) {
    return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}

// Blanks and control characters, which trimming removes.
inline bool isTrimmed(QChar c) {
    return c.unicode() <= 0x20;
}

QString trimmed(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && isTrimmed(s[b]))
        ++b;
    while (e > b && isTrimmed(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

// The text after the last separator, where a separator in the very last position does not
// count; the whole text when there is none.
std::u16string_view afterLast(std::u16string_view text, char16_t separator) {
    if (text.size() < 2)
        return separator == u'.' ? std::u16string_view() : text;
    const size_t at = text.find_last_of(separator, text.size() - 2);
    if (at == std::u16string_view::npos)
        return separator == u'.' ? std::u16string_view() : text;
    return text.substr(at + 1);
}

std::u16string_view view(QStringView s) {
    return {reinterpret_cast<const char16_t*>(s.utf16()), static_cast<size_t>(s.size())};
}

// The position a walk has reached, handed to the progress bar.
inline void advance(analysis::TProgressBar* progress, size_t visited) {
    if (progress)
        progress->SetPosition(static_cast<int>(visited));
}

} // namespace

std::u16string_view RawExtension(std::u16string_view path) {
    return afterLast(afterLast(path, kBackslash), u'.');
}

QString FileExtension(QStringView path) {
    const std::u16string_view ext = RawExtension(view(path));
    QString out(static_cast<qsizetype>(ext.size()), Qt::Uninitialized);
    for (size_t i = 0; i < ext.size(); ++i)
        out[static_cast<qsizetype>(i)] = QChar(upperAZ(ext[i]));
    return out;
}

void Read_Filter_From_Edit(QStringList& Liste, const QString& Text) {
    Liste.clear();
    QString rest = trimmed(analysis::UpperAZ(Text));
    while (!rest.isEmpty()) {
        const qsizetype semicolon = rest.indexOf(u';');
        const QString part = trimmed(semicolon < 0 ? rest : rest.left(semicolon));
        if (!part.isEmpty())
            Liste.append(part);
        rest = semicolon < 0 ? QString() : rest.mid(semicolon + 1);
    }
}

QString TypedFilterEntry(const QString& text) {
    QString s = analysis::UpperAZ(text);
    if (s.startsWith(QStringLiteral("*.")))
        s.remove(0, 2);
    return s;
}

QString FilterText(const QStringList& entries) {
    QString text;
    for (const QString& e : entries)
        text += e + QStringLiteral("\r\n");
    return text;
}

void TExtensionTable::Add(const QString& upperExtension, int value) {
    values_.emplace(std::u16string(view(upperExtension)), value); // keeps the first value
}

int TExtensionTable::Find(std::u16string_view path) const {
    const std::u16string_view ext = RawExtension(path);
    scratch_.assign(ext);
    for (char16_t& c : scratch_)
        c = upperAZ(c);
    const auto it = values_.find(scratch_);
    return it == values_.end() ? -1 : it->second;
}

int64_t SaturatingAdd(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return sum;
}

int64_t ApplyExtensionFilter(analysis::TAnalysisTree& tree, const QStringList& entries,
                             analysis::TProgressBar* progress) {
    using analysis::PNode;
    TExtensionTable table;
    for (const QString& e : entries)
        table.Add(e, 0);
    const bool filtered = !entries.isEmpty();
    int64_t total = 0;
    std::u16string path;
    analysis::TAnalysisTree::PathBuilder builder(tree);
    size_t visited = 0;
    tree.BeginUpdate();
    for (PNode n = tree.GetFirst(); n != PNode::None; n = tree.GetNext(n)) {
        bool visible = true;
        if (filtered) {
            visible = false;
            if (!tree.IsFolder(n)) {
                path.clear();
                builder.Append(n, path);
                visible = table.Find(path) >= 0;
                if (visible)
                    total = SaturatingAdd(total, tree.Size(n));
            }
        }
        tree.SetVisible(n, visible);
        advance(progress, ++visited);
        platform::PumpPoint();
    }
    tree.EndUpdate();
    return total;
}

TFormatTotals AggregateFormats(const analysis::TAnalysisTree& tree,
                               const std::array<QStringList, kGroupCount>& lists,
                               analysis::TProgressBar* progress) {
    using analysis::PNode;
    TExtensionTable table;
    for (int g = 0; g < kGroupCount; ++g)
        for (const QString& e : lists[static_cast<size_t>(g)])
            table.Add(e, g); // an extension in two lists belongs to the first
    TFormatTotals totals;
    std::u16string path;
    analysis::TAnalysisTree::PathBuilder builder(tree);
    size_t visited = 0;
    for (PNode n = tree.GetFirst(); n != PNode::None; n = tree.GetNext(n)) {
        if (!tree.IsFolder(n) && !table.Empty()) {
            path.clear();
            builder.Append(n, path);
            const int g = table.Find(path);
            if (g >= 0) {
                const int64_t size = tree.Size(n);
                ++totals.Count[static_cast<size_t>(g)];
                totals.Size[static_cast<size_t>(g)] =
                    SaturatingAdd(totals.Size[static_cast<size_t>(g)], size);
                totals.GrandTotal = SaturatingAdd(totals.GrandTotal, size);
            }
        }
        advance(progress, ++visited);
        platform::PumpPoint();
    }
    return totals;
}

QString StatusSizeText(int64_t size, const analysis::NumberFormat& format) {
    constexpr int64_t kKB = 1024, kMB = kKB * 1024, kGB = kMB * 1024;
    if (size < kKB)
        return QString::number(size) + QStringLiteral(" Byte");
    if (size < kMB)
        return analysis::FormatNumber(static_cast<double>(size) / kKB, 1, format) +
               QStringLiteral(" KB");
    if (size < kGB)
        return analysis::FormatNumber(static_cast<double>(size) / kMB, 2, format) +
               QStringLiteral(" MB");
    return analysis::FormatNumber(static_cast<double>(size) / kGB, 2, format) +
           QStringLiteral(" GB");
}

QString ReplaceFirstIgnoreCase(const QString& text, const QString& placeholder,
                               const QString& value) {
    const qsizetype at = text.indexOf(placeholder, 0, Qt::CaseInsensitive);
    if (at < 0 || placeholder.isEmpty())
        return text;
    QString out = text;
    out.replace(at, placeholder.size(), value);
    return out;
}

QString StatusSummary(const QString& templateText, uint64_t shownItems, uint32_t totalFiles,
                      int64_t size, const analysis::NumberFormat& format) {
    QString text =
        ReplaceFirstIgnoreCase(templateText, QStringLiteral("%1"), QString::number(shownItems));
    text = ReplaceFirstIgnoreCase(text, QStringLiteral("%2"), QString::number(totalFiles));
    return ReplaceFirstIgnoreCase(text, QStringLiteral("%3"), StatusSizeText(size, format));
}

QString ElidedPath(const QString& path) {
    constexpr qsizetype kKeep = 72;
    if (path.size() <= kKeep)
        return path;
    return path.left(24) + QChar(0x2026) + path.right(kKeep - 25);
}

QString IncompleteReasons(const analysis::TScanVerdict& verdict) {
    using i18n::Message;
    using i18n::Msg;
    QStringList sentences;
    if (verdict.Stopped)
        sentences << Message(Msg::MESSAGE_ORB_INCOMPLETE_STOPPED);
    if (verdict.CutShort)
        sentences << (Message(Msg::MESSAGE_ORB_INCOMPLETE_CUTSHORT) + u' ' +
                      verdict.Reason.toHtmlEscaped())
                         .trimmed();
    if (verdict.UnreadableFolders > 0) {
        QString s = ReplaceFirstIgnoreCase(Message(Msg::MESSAGE_ORB_INCOMPLETE_UNREADABLE),
                                           QStringLiteral("%1"),
                                           QString::number(verdict.UnreadableFolders));
        if (!verdict.UnreadableSamples.isEmpty())
            s += u' ' + ReplaceFirstIgnoreCase(
                            Message(Msg::MESSAGE_ORB_INCOMPLETE_EXAMPLE), QStringLiteral("%1"),
                            ElidedPath(verdict.UnreadableSamples.front()).toHtmlEscaped());
        sentences << s;
    }
    return sentences.join(u' ');
}

bool IsOfferedDrive(char16_t letter, unsigned driveType, bool sizeRead, uint64_t totalBytes) {
    if (upperAZ(letter) == u'A')
        return false;
    if (driveType == platform::DRIVE_REMOTE || driveType == platform::DRIVE_CDROM ||
        driveType == platform::DRIVE_RAMDISK)
        return false;
    return sizeRead && totalBytes > 0;
}

bool IsOfferedDrive(char16_t letter) {
    const char16_t root[] = {upperAZ(letter), u':', kBackslash, 0};
    uint64_t freeForCaller = 0, total = 0, totalFree = 0;
    const bool sizeRead = platform::GetDiskFreeSpaceExW(root, &freeForCaller, &total, &totalFree);
    return IsOfferedDrive(letter, platform::GetDriveTypeW(root), sizeRead, total);
}

TStartRequest StartRequestFor(const QStringList& arguments) {
    TStartRequest request;
    if (arguments.isEmpty()) {
        request.Analyse = true;
        return request;
    }
    if (analysis::UpperAZ(arguments.front()) != QLatin1String("-CONTEXTDL"))
        return request; // any other verb starts nothing
    if (arguments.size() > 1 && !arguments[1].isEmpty()) {
        request.Drive = analysis::UpperAZ(arguments[1].front());
        request.Analyse = true;
    }
    return request;
}

} // namespace views
