// The analysis list with millions of rows: filling it inside one update bracket, sorting by
// size and by name, painting one screen and scrolling. The peer, measured in the same run, is
// Qt's stock item model (QStandardItemModel with a QTreeView) holding the same rows' texts and
// sorting them by its own rules; it runs on a tenth of the rows (it needs about 1 KB per row)
// and its figures are scaled per row.
//
//   bench_list [ROWS] [--no-peer] [--sorts N]
//                                default 2000000 rows; writes bench/out/list_screen.png
//   --no-peer                    skips the peer (it takes minutes); its columns print 0
//   --sorts N                    sorts by size and by name N times each (alternating) and
//                                prints every time and their medians

#include "analysis/nogui_Orbisca.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "views/ListState.h"
#include "views/VTree_Kram.h"
#include "views/VirtualDrawTree.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// A tree of `files` files spread over folders two levels deep, with realistic names.
void buildTree(analysis::TAnalysisTree& tree, long files) {
    static const char16_t* const kExt[] = {u".txt", u".jpg", u".mp3", u".pdf", u".dll", u".cpp"};
    std::mt19937 rng(3);
    tree.BeginUpdate();
    const analysis::PNode root = tree.AddTopFolder(u"C:\\");
    analysis::PNode folder = root;
    for (long i = 0; i < files; ++i) {
        if (i % 200 == 0) {
            const std::u16string name =
                u"Folder " + std::u16string(1, char16_t(u'A' + rng() % 26)) +
                std::u16string(1, char16_t(u'a' + rng() % 26)) + char16_t(u'0' + (i / 200) % 10);
            folder = tree.AddFolder((i / 200) % 5 == 0 ? root : folder, name);
        }
        std::u16string name = u"file_";
        for (int k = 0; k < 8; ++k)
            name += char16_t(u'a' + rng() % 26);
        name += kExt[rng() % 6];
        tree.AddFile(folder, name, static_cast<int64_t>(rng() % 100000000));
    }
    tree.EndUpdate();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double paintScreen(QWidget* viewport, QImage& image) {
    const auto t = Clock::now();
    image.fill(Qt::white);
    viewport->render(&image);
    return msSince(t);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    long rows = 2000000;
    bool peerWanted = true;
    int sorts = 1;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--no-peer"))
            peerWanted = false;
        else if (!std::strcmp(argv[i], "--sorts") && i + 1 < argc)
            sorts = std::max(1, std::atoi(argv[++i]));
        else
            rows = std::atol(argv[i]);
    }
    platform::SetMessageBoxHandler([](const QString&, const QString&, unsigned) { return 1; });
    platform::SetProgramFolder("C:\\no-service-here");

    analysis::TAnalysisTree tree;
    buildTree(tree, rows);
    analysis::TOrbisca engine(&tree);
    int64_t total = 1;
    for (analysis::PNode n = tree.GetFirst(); n != analysis::PNode::None; n = tree.GetNext(n))
        if (!tree.IsFolder(n))
            total += tree.Size(n);
    engine.SetTotals(total, 0, 0);
    views::TListState state;
    state.Current_RootNode = tree.GetFirst();
    tree.SetSize(tree.GetFirst(), engine.TotalSize());

    views::TVirtualDrawTree list;
    views::ConfigureAnalysisList(&list, &engine, &state);
    list.resize(1000, 700);
    list.show();
    QApplication::processEvents();

    // Fill: every file of the tree as a row, inside one update bracket, without the sort.
    list.AutoSort = false;
    auto t = Clock::now();
    list.BeginUpdate();
    for (analysis::PNode n = tree.GetFirst(); n != analysis::PNode::None; n = tree.GetNext(n))
        if (!tree.IsFolder(n))
            list.AddNodeRow(n);
    list.EndUpdate();
    const double fillMs = msSince(t);
    list.AutoSort = true;

    // Each sort starts from the order the one before left (as a header click does).
    std::vector<double> sizeTimes, nameTimes;
    for (int i = 0; i < sorts; ++i) {
        t = Clock::now();
        list.SortTree(analysis::kColSize, views::SortDirection::Ascending);
        sizeTimes.push_back(msSince(t));
        t = Clock::now();
        list.SortTree(analysis::kColName, views::SortDirection::Ascending);
        nameTimes.push_back(msSince(t));
    }
    const double sizeSortMs = median(sizeTimes);
    const double nameSortMs = median(nameTimes);
    if (sorts > 1) {
        std::printf("sort by size, ms:");
        for (double v : sizeTimes)
            std::printf(" %.1f", v);
        std::printf("\nsort by name, ms:");
        for (double v : nameTimes)
            std::printf(" %.1f", v);
        std::printf("\n");
    }
    list.SortTree(analysis::kColSharePercent, views::SortDirection::Ascending);

    QImage screen(list.viewport()->size(), QImage::Format_RGB32);
    paintScreen(list.viewport(), screen); // warm the icon cache and fonts
    double paintMs = 1e9;
    for (int i = 0; i < 10; ++i)
        paintMs = std::min(paintMs, paintScreen(list.viewport(), screen));
    QDir().mkpath("bench/out");
    screen.save("bench/out/list_screen.png");

    // Scrolling: one page at a time through the first thousand pages, each repainted.
    QScrollBar* bar = list.verticalScrollBar();
    double worstPageMs = 0, totalPageMs = 0;
    const int pages = 200;
    for (int i = 1; i <= pages; ++i) {
        const auto s = Clock::now();
        bar->setValue(i * bar->pageStep() * 5);
        list.viewport()->render(&screen);
        const double ms = msSince(s);
        worstPageMs = std::max(worstPageMs, ms);
        totalPageMs += ms;
    }

    // The peer: Qt's stock model with the same texts, on a tenth of the rows.
    const long peerRows = peerWanted ? rows / 10 : 0;
    QStandardItemModel peer(0, 6);
    QTreeView peerView;
    peerView.setModel(&peer);
    peerView.setUniformRowHeights(true);
    peerView.resize(1000, 700);
    // (not shown: a shown view relayouts on every appended row)
    t = Clock::now();
    {
        long added = 0;
        for (analysis::PNode n = tree.GetFirst(); n != analysis::PNode::None && added < peerRows;
             n = tree.GetNext(n)) {
            if (tree.IsFolder(n))
                continue;
            QList<QStandardItem*> items;
            items << new QStandardItem(tree.Path(n)) << new QStandardItem("0")
                  << new QStandardItem("0");
            auto* size = new QStandardItem;
            size->setData(static_cast<qlonglong>(tree.Size(n)), Qt::DisplayRole);
            items << size << new QStandardItem("") << new QStandardItem("");
            peer.appendRow(items);
            ++added;
        }
    }
    const double peerFillMs = msSince(t) * 10;
    t = Clock::now();
    peer.sort(3, Qt::DescendingOrder);
    const double peerSizeSortMs = msSince(t) * 10;
    t = Clock::now();
    peer.sort(0, Qt::AscendingOrder);
    const double peerNameSortMs = msSince(t) * 10;

    const double bytesPerRow = static_cast<double>(list.MemoryBytes()) / static_cast<double>(rows);
    std::printf("rows: %ld (peer: %ld, figures scaled x10)\n", rows, peerRows);
    std::printf("%-28s %12s %12s %8s\n", "", "list", "peer", "ratio");
    const auto line = [&](const char* what, double ms, double peerMs) {
        if (peerWanted)
            std::printf("%-28s %10.1f ms %10.1f ms %8.3f\n", what, ms, peerMs, ms / peerMs);
        else
            std::printf("%-28s %10.1f ms %12s %8s\n", what, ms, "-", "-");
    };
    line("fill in one update bracket", fillMs, peerFillMs);
    line("sort by size", sizeSortMs, peerSizeSortMs);
    line("sort by name", nameSortMs, peerNameSortMs);
    std::printf("paint one screen (%d rows visible): %.2f ms (best of 10)\n",
                list.viewport()->height() /
                    std::max(1, list.visualRect(list.model()->index(0, 0)).height()),
                paintMs);
    std::printf("scroll by pages: %.2f ms average, %.2f ms worst (%d pages)\n", totalPageMs / pages,
                worstPageMs, pages);
    std::printf("list memory: %.1f bytes per row (row, order and display index)\n", bytesPerRow);
    return 0;
}
