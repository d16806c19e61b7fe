// The engine's list callbacks: how a row's cells are painted and how two rows are ordered.

#include "analysis/SizeText.h"
#include "analysis/nogui_Orbisca.h"
#include "platform/ShellIcons.h"
#include "skin/PngImage.h"

#include <QFontMetrics>
#include <QPainter>

#include <cmath>

namespace analysis {
namespace {

constexpr int kIconSize = 16;
constexpr int kNameIndent = 20;

// Round half to even, as bar widths are rounded.
int roundHalfEven(double v) {
    return static_cast<int>(std::nearbyint(v));
}

// The longest prefix of text that fits room together with "...", or the text itself when it
// fits; nothing when not even the ellipsis fits.
QString shortened(const QFontMetrics& fm, const QString& text, int room) {
    if (fm.horizontalAdvance(text) <= room)
        return text;
    const QString ellipsis = QStringLiteral("...");
    if (fm.horizontalAdvance(ellipsis) > room)
        return {};
    qsizetype lo = 0, hi = text.size(); // lo fits, hi does not
    while (hi - lo > 1) {
        const qsizetype mid = (lo + hi) / 2;
        if (fm.horizontalAdvance(text.left(mid) + ellipsis) <= room)
            lo = mid;
        else
            hi = mid;
    }
    return text.left(lo) + ellipsis;
}

// Text with its top-left corner at (x, y), as the list's cells place their texts.
void textOut(QPainter& c, const QFontMetrics& fm, int x, int y, const QString& text) {
    if (!text.isEmpty())
        c.drawText(x, y + fm.ascent(), text);
}

void bar(QPainter& c, const TPaintInfo& pi, int width) {
    if (width <= 0)
        return;
    const QColor color((kBarColor >> 16) & 0xFF, (kBarColor >> 8) & 0xFF, kBarColor & 0xFF);
    c.fillRect(QRect(pi.Left, pi.Top + 2, width, (pi.Bottom - 2) - (pi.Top + 2)), color);
}

// A percentage text centred in the cell, or shortened and left-aligned when it does not fit.
void percentText(QPainter& c, const QFontMetrics& fm, const TPaintInfo& pi, const QString& text) {
    const int w = pi.Right - pi.Left;
    const int tw = fm.horizontalAdvance(text);
    if (tw > w)
        textOut(c, fm, pi.Left, pi.Top + 1, shortened(fm, text, w));
    else
        textOut(c, fm, pi.Left + w / 2 - tw / 2, pi.Top + 1, text);
}

int compareUnsignedLargestFirst(uint64_t a, uint64_t b) {
    return a > b ? -1 : (a == b ? 0 : 1);
}

} // namespace

QString UpperForCompare(QStringView path) {
    QString out = path.toString();
    UpperForCompareInPlace(reinterpret_cast<char16_t*>(out.data()),
                           static_cast<size_t>(out.size()));
    return out;
}

void UpperForCompareInPlace(char16_t* text, size_t length) {
    for (size_t i = 0; i < length; ++i)
        text[i] = UpperForCompareUnit(text[i]);
}

QString TOrbisca::DisplayName(const TNodeData& d) const {
    if (FLAG_SHOW_FULLPATH || !CURRENT_FILTER.isEmpty())
        return d.Path;
    // The text after the last backslash; a backslash in the very last place is not a separator.
    QString name;
    if (d.Path.size() >= 2) {
        const qsizetype slash = d.Path.lastIndexOf(u'\\', d.Path.size() - 2);
        if (slash >= 0)
            name = d.Path.mid(slash + 1);
    }
    if (name.isEmpty() && d.ImageIndex > 0)
        return d.Path;
    return name;
}

void TOrbisca::DefaultEvent_DrawNode(const TPaintInfo& pi) const {
    if (!pi.Node || !pi.Canvas)
        return;
    QPainter& c = *pi.Canvas;
    const TNodeData& d = *pi.Node;
    c.setBackgroundMode(Qt::TransparentMode);
    const QFontMetrics fm(c.font());
    const int w = pi.Right - pi.Left;

    // The current folder's size, the base of the relative shares.
    const bool haveFolder = TotalSize > 0 && Current_RootNode != PNode::None && FTree;
    const int64_t folderSize = haveFolder ? FTree->Size(Current_RootNode) : 0;

    switch (pi.Column) {
    case kColName: {
        double p = 0;
        if (FLAG_NAMEBALKEN == 1 && TotalSize > 0)
            p = static_cast<double>(d.Size) * 100 / static_cast<double>(TotalSize);
        else if (FLAG_NAMEBALKEN == 2 && haveFolder && folderSize > 0)
            p = static_cast<double>(d.Size) * 100 / static_cast<double>(folderSize);
        if (FLAG_NAMEBALKEN == 1 || FLAG_NAMEBALKEN == 2)
            bar(c, pi, roundHalfEven(w * p / 100));
        if (d.ImageIndex > 0) {
            if (PNGImageList)
                PNGImageList->Draw(c, pi.Left, pi.Top + 1, d.ImageIndex);
        } else {
            const QIcon icon = platform::ExtractAssociatedIconW(d.Path, d.IsFolder != 0);
            if (!icon.isNull())
                icon.paint(&c, QRect(pi.Left, pi.Top + 1, kIconSize, kIconSize));
        }
        textOut(c, fm, pi.Left + kNameIndent, pi.Top + 2,
                shortened(fm, DisplayName(d), w - kNameIndent));
        break;
    }
    case kColFolders:
        textOut(c, fm, pi.Left, pi.Top + 1, shortened(fm, QString::number(d.FolderCount), w));
        break;
    case kColFiles:
        textOut(c, fm, pi.Left, pi.Top + 1, shortened(fm, QString::number(d.FileCount), w));
        break;
    case kColSize:
        textOut(c, fm, pi.Left, pi.Top + 1, shortened(fm, SizeText(d.Size), w));
        break;
    case kColSharePercent: {
        if (TotalSize <= 0)
            break;
        const double p = static_cast<double>(d.Size) * 100 / static_cast<double>(TotalSize);
        if (d.Size > 0)
            bar(c, pi, roundHalfEven(w * p / 100));
        percentText(c, fm, pi, FormatNumber(p, 3));
        break;
    }
    case kColFolderPercent: {
        if (!haveFolder)
            break;
        const double p = folderSize > 0
                             ? static_cast<double>(d.Size) * 100 / static_cast<double>(folderSize)
                             : 0.0;
        if (folderSize > 0 && p > 0)
            bar(c, pi, roundHalfEven(w * p / 100));
        percentText(c, fm, pi, FormatNumber(p, 3));
        break;
    }
    default:
        break;
    }
}

int TOrbisca::DefaultEvent_CompareNodes(const TCompareKey& a, const TCompareKey& b,
                                        int column) const {
    switch (column) {
    case kColName: {
        const int r = a.UpperPath.compare(b.UpperPath, Qt::CaseSensitive);
        return r < 0 ? -1 : (r > 0 ? 1 : 0);
    }
    case kColFolders:
        return compareUnsignedLargestFirst(a.FolderCount, b.FolderCount);
    case kColFiles:
        return compareUnsignedLargestFirst(a.FileCount, b.FileCount);
    case kColSize:
    case kColSharePercent:
    case kColFolderPercent:
        return a.Size > b.Size ? -1 : (a.Size == b.Size ? 0 : 1);
    default:
        return 0;
    }
}

int TOrbisca::DefaultEvent_CompareNodes(const TNodeData& a, const TNodeData& b, int column) const {
    const QString ua = UpperForCompare(a.Path), ub = UpperForCompare(b.Path);
    return DefaultEvent_CompareNodes(TCompareKey{ua, a.Size, a.FolderCount, a.FileCount},
                                     TCompareKey{ub, b.Size, b.FolderCount, b.FileCount}, column);
}

} // namespace analysis
