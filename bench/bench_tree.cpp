// Records -> analysis tree + the three count passes, on generated record graphs.
//
// For each size the test service generates a graph (realistic names, about one folder in ten,
// clustered depths) before the clock starts; the figure is the engine's whole DO_Drive. As an
// anchor measured in the same run, "graph walk" is the bare traversal of the same records
// (following every entry and summing the streams), the least any tree builder must do.
//
//   bench_tree [ENTRIES...]        default: 100000 250000 500000 1000000

#include "analysis/nogui_Orbisca.h"
#include "platform/Paths.h"
#include "platform/ProgramFolder.h"
#include "platform/Pump.h"

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// The anchor: visit every record reachable from the root once.
int64_t walkGraph(const TFILE_RECORD* root, size_t& entries) {
    int64_t total = 0;
    std::vector<const TFILE_RECORD*> stack{root};
    while (!stack.empty()) {
        const TFILE_RECORD* r = stack.back();
        stack.pop_back();
        const TDIR_ITEM* items = r->DirItems.get();
        for (int32_t i = 0; items && i < r->NumDirItems; ++i) {
            const TFILE_RECORD* c = items[i].aRecord.get();
            const TFILE_NAME* n = items[i].FileName.get();
            if (!c || !n)
                continue;
            ++entries;
            total += static_cast<int64_t>(UndelTextLength(n->Name.get()));
            if (c->IsDir)
                stack.push_back(c);
            else
                for (const TDATA_STREAM* s = c->Streams.get(); s; s = s->Next.get())
                    total += static_cast<int64_t>(s->ValidSize);
        }
    }
    return total;
}

template <class F> double bestOf(int runs, F f) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const auto t = Clock::now();
        f();
        best = std::min(best, msSince(t));
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atol(argv[i]));
    if (sizes.empty())
        sizes = {100000, 250000, 500000, 1000000};

    platform::SetProgramFolder(platform::WindowsPath(TESTSERVICE_DIR));
    void* lib = dlopen(TESTSERVICE_DIR "/undelete.so", RTLD_NOW);
    if (!lib) {
        std::fprintf(stderr, "cannot load the test service: %s\n", dlerror());
        return 3;
    }
    auto load = reinterpret_cast<void (*)(const char*)>(dlsym(lib, "TestService_Load"));
    auto table = reinterpret_cast<TUndeleteDLLEntryW>(dlsym(lib, "UndeleteDLLEntryW"));

    // Pump points: the engine makes one per entry and per folder.
    const long pumpCalls = 10000000;
    const double pumpMs = bestOf(3, [&] {
        for (long i = 0; i < pumpCalls; ++i)
            platform::ProcessMessages();
    });
    const double pointMs = bestOf(3, [&] {
        for (long i = 0; i < pumpCalls; ++i)
            platform::PumpPoint();
    });
    std::printf("ProcessMessages: %.2f ns per call; walk pump point: %.2f ns per call\n",
                pumpMs * 1e6 / pumpCalls, pointMs * 1e6 / pumpCalls);

    std::printf("%10s %12s %12s %9s %12s %14s %10s\n", "entries", "DO_Drive ms", "graph walk ms",
                "ratio", "ns/entry", "tree B/entry", "pump share");
    for (long n : sizes) {
        // With identities, as the real service gives them.
        load(("@generate " + std::to_string(n) + " 1\n@ids 2049\nROOT\n").c_str());
        // The graph the engine will read, for the anchor.
        TVolume v = table()->NewVolume();
        table()->OpenVolume(v, u"C:\\");
        TSnapshot s = table()->NewSnapshot(v);
        TFILE_RECORD* root = nullptr;
        table()->UpdateSnapshot(s, 13, &root, [](int32_t, const char16_t*, int32_t, uintptr_t) {
            return bool32{0};
        }, 0, nullptr);
        size_t entries = 0;
        volatile int64_t sink = 0;
        const double anchorMs = bestOf(3, [&] {
            entries = 0;
            sink = walkGraph(root, entries);
        });
        (void)sink;
        table()->FreeSnapshot(s);
        table()->CloseVolume(v);
        table()->FreeVolume(v);

        analysis::TAnalysisTree tree;
        analysis::TOrbisca engine(&tree);
        const double ms = bestOf(3, [&] { engine.DO_Drive(QStringLiteral("C:\\")); });
        if (tree.NodeCount() != entries + 1) {
            std::fprintf(stderr, "tree has %zu nodes, graph %zu entries\n", tree.NodeCount(),
                         entries);
            return 1;
        }
        const double pumpShare = (pointMs / pumpCalls) * static_cast<double>(entries) / ms;
        std::printf("%10zu %12.1f %12.1f %9.2f %12.1f %14.1f %9.2f%%\n", entries, ms, anchorMs,
                    ms / anchorMs, ms * 1e6 / static_cast<double>(entries),
                    static_cast<double>(tree.MemoryBytes()) / static_cast<double>(entries),
                    pumpShare * 100);
    }
    return 0;
}
