// Comparing two analyses of ENTRIES entries each (default 1,000,000), generated in memory: the
// new one has 1 % of the files changed (grown), moved to another folder (same inode) or removed.
//
//   bench_compare [--repeat N] [ENTRIES]
//
// Prints the time of TComparison::Run (median of N runs, default 3) and its memory above the two
// analyses: the peak resident bytes during the run (VmHWM after resetting it) and the bytes the
// comparison keeps, each per entry of one analysis. Beside it, in the same run, the plain way: a
// hash table of every old path with its size, probed with every new path (paths only, no moves,
// no folder sums), as the reference for what a comparison by path costs at least.

#include "saved/Compare.h"

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using analysis::PNode;
using analysis::TAnalysisTree;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

long long residentKey(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string k;
    long long kb = 0;
    while (in >> k)
        if (k == key && in >> kb)
            return kb * 1024;
    return 0;
}

// Starts a new peak: VmHWM falls back to the present resident size.
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

enum class Fate { Kept, Grown, Moved, Removed };

// About one file in a hundred changes: 0.4 % grow, 0.3 % move, 0.3 % go.
Fate fateOf(uint64_t file) {
    const uint64_t h = (file * 2654435761u) % 1000;
    return h < 4 ? Fate::Grown : h < 7 ? Fate::Moved : h < 10 ? Fate::Removed : Fate::Kept;
}

// Folders of 8 subfolders each, 19 files a folder on average, files dealt to the folders in turn.
void generate(TAnalysisTree& tree, analysis::TAnalysisSummary& summary, size_t entries,
              bool changed) {
    const size_t folderCount = std::max<size_t>(1, entries / 20);
    const size_t fileCount = entries - folderCount;
    std::vector<PNode> folders(folderCount);
    std::vector<int64_t> sizes(folderCount, 0);
    std::vector<uint32_t> files(folderCount, 0), subfolders(folderCount, 0);
    tree.BeginUpdate();
    folders[0] = tree.AddTopFolder(u"G:\\");
    tree.SetInode(folders[0], 1);
    for (size_t j = 1; j < folderCount; ++j) {
        const std::u16string name = u"d" + QString::number(j).toStdU16String();
        folders[j] = tree.AddFolder(folders[(j - 1) / 8], name);
        tree.SetInode(folders[j], 1 + j);
    }
    for (size_t k = 0; k < fileCount; ++k) {
        const Fate fate = changed ? fateOf(k) : Fate::Kept;
        if (fate == Fate::Removed)
            continue;
        size_t folder = k % folderCount;
        if (fate == Fate::Moved)
            folder = (folder + 7) % folderCount;
        const int64_t size =
            static_cast<int64_t>((k * 7919) % 100000) + (fate == Fate::Grown ? 1000 : 0);
        const std::u16string name = u"f" + QString::number(k).toStdU16String() + u".dat";
        const PNode n = tree.AddFile(folders[folder], name, size);
        tree.SetInode(n, 1 + folderCount + k);
        sizes[folder] += size;
        ++files[folder];
    }
    for (size_t j = folderCount; j-- > 0;) {
        tree.SetSize(folders[j], sizes[j]);
        tree.SetFileCount(folders[j], files[j]);
        tree.SetFolderCount(folders[j], subfolders[j]);
        if (j > 0) {
            const size_t p = (j - 1) / 8;
            sizes[p] += sizes[j];
            files[p] += files[j];
            subfolders[p] += subfolders[j] + 1;
        }
    }
    tree.EndUpdate();
    summary.Drive = QStringLiteral("G:\\");
    summary.TotalSize = sizes[0];
    summary.TotalFiles = files[0];
    summary.TotalFolders = static_cast<uint32_t>(folderCount);
    summary.Origin.FileSystem.uuid = "bench-fs";
}

// The plain way: every old path with its size in a hash table, every new path looked up.
double plainJoin(const TAnalysisTree& oldTree, const TAnalysisTree& newTree, int64_t& delta) {
    const auto t0 = Clock::now();
    std::unordered_map<std::u16string, int64_t> old;
    old.reserve(oldTree.NodeCount());
    std::u16string path;
    TAnalysisTree::PathBuilder ob(oldTree);
    for (PNode n = oldTree.GetFirst(); n != PNode::None; n = oldTree.GetNext(n)) {
        path.clear();
        ob.Append(n, path);
        old.emplace(path, oldTree.IsFolder(n) ? 0 : oldTree.Size(n));
    }
    delta = 0;
    TAnalysisTree::PathBuilder nb(newTree);
    for (PNode n = newTree.GetFirst(); n != PNode::None; n = newTree.GetNext(n)) {
        path.clear();
        nb.Append(n, path);
        const int64_t size = newTree.IsFolder(n) ? 0 : newTree.Size(n);
        const auto it = old.find(path);
        if (it == old.end()) {
            delta += size;
        } else {
            delta += size - it->second;
            old.erase(it);
        }
    }
    for (const auto& [p, size] : old)
        delta -= size;
    return since(t0);
}

} // namespace

int main(int argc, char** argv) {
    size_t entries = 1000000;
    int repeat = 3;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else
            entries = std::strtoull(argv[i], nullptr, 10);
    }
    TAnalysisTree oldTree, newTree;
    analysis::TAnalysisSummary oldSummary, newSummary;
    generate(oldTree, oldSummary, entries, false);
    generate(newTree, newSummary, entries, true);
    std::printf("old %zu entries, new %zu entries (1 %% of the files grown, moved or removed)\n",
                oldTree.NodeCount(), newTree.NodeCount());

    std::vector<double> times, plain;
    double peakPerEntry = 0, keptPerEntry = 0;
    saved::TCompared totals;
    size_t gone = 0, moved = 0;
    int64_t plainDelta = 0;
    for (int r = 0; r < repeat; ++r) {
        {
            saved::TComparison cmp;
            ::malloc_trim(0); // what the generation freed would hide the comparison's memory
            const long long before = residentKey("VmRSS:");
            resetPeak();
            const auto t0 = Clock::now();
            cmp.Run(oldTree, oldSummary, newTree, newSummary);
            times.push_back(since(t0));
            const long long peak = residentKey("VmHWM:");
            peakPerEntry = double(peak - before) / double(oldTree.NodeCount());
            keptPerEntry = double(cmp.MemoryBytes()) / double(oldTree.NodeCount());
            totals = cmp.Totals();
            gone = cmp.GoneNodes().size();
            moved = 0;
            for (PNode n = newTree.GetFirst(); n != PNode::None; n = newTree.GetNext(n))
                moved += cmp.ForNew(n).State == saved::TChange::Moved;
        }
        plain.push_back(plainJoin(oldTree, newTree, plainDelta));
    }
    std::sort(times.begin(), times.end());
    std::sort(plain.begin(), plain.end());
    const double t = times[times.size() / 2], p = plain[plain.size() / 2];
    std::printf("compare:     %.3f s  (%.2f x the plain path join)\n", t, t / p);
    std::printf("plain join:  %.3f s  (paths in a hash table; no moves, no folder sums)\n", p);
    std::printf("memory above the two analyses: peak %.1f B/entry, kept %.1f B/entry\n",
                peakPerEntry, keptPerEntry);
    std::printf("totals: %lld -> %lld bytes (%+lld; plain join %+lld, moves count there as gone "
                "and new), %zu gone and %zu moved items\n",
                static_cast<long long>(totals.OldSize), static_cast<long long>(totals.NewSize),
                static_cast<long long>(totals.Delta()), static_cast<long long>(plainDelta), gone,
                moved);
    return totals.Delta() == plainDelta ? 0 : 1;
}
