#include "views/OrbiscaPainter.h"

#include "analysis/SizeText.h"
#include "analysis/nogui_Orbisca.h"
#include "platform/gui/ShellIcons.h"
#include "skin/PngImage.h"

#include <QFontMetrics>
#include <QPainter>

#include <cmath>

namespace views {

using analysis::FormatNumber;
using analysis::PNode;
using analysis::SizeText;
using analysis::TCompareKey;
using analysis::TNodeData;

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

void TOrbiscaPainter::DrawNode(const TPaintInfo& pi) const {
    if (!pi.Node || !pi.Canvas)
        return;
    QPainter& c = *pi.Canvas;
    const TNodeData& d = *pi.Node;
    c.setBackgroundMode(Qt::TransparentMode);
    const QFontMetrics fm(c.font());
    const int w = pi.Right - pi.Left;
    const analysis::TOrbisca& e = *engine_;
    const TListState& state = *state_;

    // The current folder's size, the base of the relative shares.
    const bool haveFolder = e.TotalSize() > 0 && state.Current_RootNode != PNode::None && e.FTree;
    const int64_t folderSize = haveFolder ? e.FTree->Size(state.Current_RootNode) : 0;

    switch (pi.Column) {
    case analysis::kColName: {
        double p = 0;
        if (state.FLAG_NAMEBALKEN == 1 && e.TotalSize() > 0)
            p = static_cast<double>(d.Size) * 100 / static_cast<double>(e.TotalSize());
        else if (state.FLAG_NAMEBALKEN == 2 && haveFolder && folderSize > 0)
            p = static_cast<double>(d.Size) * 100 / static_cast<double>(folderSize);
        if (state.FLAG_NAMEBALKEN == 1 || state.FLAG_NAMEBALKEN == 2)
            bar(c, pi, roundHalfEven(w * p / 100));
        if (d.ImageIndex > 0) {
            if (e.PNGImageList)
                e.PNGImageList->Draw(c, pi.Left, pi.Top + 1, d.ImageIndex);
        } else {
            const QIcon icon = platform::ExtractAssociatedIconW(d.Path, d.IsFolder != 0);
            if (!icon.isNull())
                icon.paint(&c, QRect(pi.Left, pi.Top + 1, kIconSize, kIconSize));
        }
        textOut(
            c, fm, pi.Left + kNameIndent, pi.Top + 2,
            shortened(fm, analysis::TOrbisca::DisplayName(d, state.WholePaths()), w - kNameIndent));
        break;
    }
    case analysis::kColFolders:
        textOut(c, fm, pi.Left, pi.Top + 1, shortened(fm, QString::number(d.FolderCount), w));
        break;
    case analysis::kColFiles:
        textOut(c, fm, pi.Left, pi.Top + 1, shortened(fm, QString::number(d.FileCount), w));
        break;
    case analysis::kColSize:
        textOut(c, fm, pi.Left, pi.Top + 1, shortened(fm, SizeText(d.Size), w));
        break;
    case analysis::kColSharePercent: {
        if (e.TotalSize() <= 0)
            break;
        const double p = static_cast<double>(d.Size) * 100 / static_cast<double>(e.TotalSize());
        if (d.Size > 0)
            bar(c, pi, roundHalfEven(w * p / 100));
        percentText(c, fm, pi, FormatNumber(p, 3));
        break;
    }
    case analysis::kColFolderPercent: {
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

int TOrbiscaPainter::CompareNodes(const TCompareKey& a, const TCompareKey& b, int column) {
    switch (column) {
    case analysis::kColName: {
        const int r = a.UpperPath.compare(b.UpperPath, Qt::CaseSensitive);
        return r < 0 ? -1 : (r > 0 ? 1 : 0);
    }
    case analysis::kColFolders:
        return compareUnsignedLargestFirst(a.FolderCount, b.FolderCount);
    case analysis::kColFiles:
        return compareUnsignedLargestFirst(a.FileCount, b.FileCount);
    case analysis::kColSize:
    case analysis::kColSharePercent:
    case analysis::kColFolderPercent:
        return a.Size > b.Size ? -1 : (a.Size == b.Size ? 0 : 1);
    default:
        return 0;
    }
}

int TOrbiscaPainter::CompareNodes(const TNodeData& a, const TNodeData& b, int column) {
    const QString ua = analysis::UpperForCompare(a.Path), ub = analysis::UpperForCompare(b.Path);
    return CompareNodes(TCompareKey{ua, a.Size, a.FolderCount, a.FileCount},
                        TCompareKey{ub, b.Size, b.FolderCount, b.FileCount}, column);
}

} // namespace views
