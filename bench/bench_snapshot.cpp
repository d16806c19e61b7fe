// Times the snapshot service and a complete analysis on one drive or folder, with the memory
// each needs per entry.
//
//   bench_snapshot [--repeat N] [--mode snapshot|analysis] DRIVE_OR_FOLDER
//
// snapshot: NewVolume ... UpdateSnapshot ... FreeSnapshot through the library's table, as the
// engine calls it. analysis: TOrbisca::DO_Drive (service + tree + counts). Every run prints one
// line "mode seconds entries peak_bytes_per_entry kept_bytes_per_entry record_bytes_per_entry
// workers"; kept is what stays once the snapshot is freed (the tree, for an analysis), records
// what the snapshot's records take in its arena (as the service reports it), workers the number
// of worker threads it ran.

#include "analysis/AnalysisTree.h"
#include "analysis/nogui_Orbisca.h"
#include "platform/Debug.h"
#include "platform/Module.h"
#include "platform/Paths.h"
#include "platform/ProgramFolder.h"

#include <QRegularExpression>

#include <malloc.h>
#include <sys/stat.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

// VmRSS and VmHWM of this process in bytes.
void memory(long long& rss, long long& hwm) {
    std::ifstream in("/proc/self/status");
    std::string key;
    long long kb;
    rss = hwm = 0;
    while (in >> key) {
        if (key == "VmRSS:" && in >> kb)
            rss = kb * 1024;
        else if (key == "VmHWM:" && in >> kb)
            hwm = kb * 1024;
    }
}

// Resets the peak so that each run measures its own.
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

uint64_t countEntries(const TFILE_RECORD* root) {
    uint64_t n = 0;
    std::vector<const TFILE_RECORD*> stack{root};
    while (!stack.empty()) {
        const TFILE_RECORD* r = stack.back();
        stack.pop_back();
        const TDIR_ITEM* items = r->DirItems.get();
        for (int32_t i = 0; items && i < r->NumDirItems; ++i) {
            const TFILE_RECORD* c = items[i].aRecord.get();
            ++n;
            if (c && c->IsDir && c->DirItems)
                stack.push_back(c);
        }
    }
    return n;
}

bool32 UNDEL_CALL quietCallback(int32_t, const char16_t*, int32_t, uintptr_t) {
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int repeat = 1;
    std::string mode = "snapshot";
    std::string target;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--mode") && i + 1 < argc)
            mode = argv[++i];
        else
            target = argv[i];
    }
    if (target.empty() || (mode != "snapshot" && mode != "analysis")) {
        std::fprintf(
            stderr,
            "usage: bench_snapshot [--repeat N] [--mode snapshot|analysis] DRIVE_OR_FOLDER\n");
        return 2;
    }
    // The program folder of the build, where undelete.so is.
    platform::SetProgramFolder(platform::WindowsPath(ORBISCA_BIN_DIR));
    QString drive;
    if (target.size() <= 3 && target.size() >= 2 && target[1] == ':') {
        drive = QChar(target[0] & ~0x20) + QStringLiteral(":\\");
    } else {
        char real[PATH_MAX];
        if (!::realpath(target.c_str(), real)) {
            std::fprintf(stderr, "bench_snapshot: no such folder %s\n", target.c_str());
            return 2;
        }
        platform::SetDriveRoot(u'Y', real);
        drive = QStringLiteral("Y:\\");
    }
    const std::u16string root16 = drive.toStdU16String();

    for (int run = 0; run < repeat; ++run) {
        malloc_trim(0);
        long long rss0, hwm0, rss1, hwm1, rss2, hwm2;
        memory(rss0, hwm0);
        resetPeak();
        uint64_t entries = 0;
        platform::DebugCapture service;
        const auto t0 = std::chrono::steady_clock::now();
        double seconds = 0;
        if (mode == "snapshot") {
            platform::HMODULE lib = platform::LoadLibraryW(platform::ProgramFolder() +
                                                           QStringLiteral("\\undelete.dll"));
            auto entry = lib ? reinterpret_cast<TUndeleteDLLEntryW>(
                                   platform::GetProcAddress(lib, "UndeleteDLLEntryW"))
                             : nullptr;
            if (!entry) {
                std::fprintf(stderr, "bench_snapshot: cannot load the service\n");
                return 3;
            }
            TVolume v = entry()->NewVolume();
            if (!entry()->OpenVolume(v, root16.c_str())) {
                std::fprintf(stderr, "bench_snapshot: cannot open %s\n", target.c_str());
                return 2;
            }
            TSnapshot s = entry()->NewSnapshot(v);
            TFILE_RECORD* root = nullptr;
            entry()->UpdateSnapshot(s, 13, &root, quietCallback, 0, nullptr);
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            entries = root ? countEntries(root) : 0;
            memory(rss1, hwm1);
            entry()->FreeSnapshot(s);
            entry()->CloseVolume(v);
            entry()->FreeVolume(v);
            platform::FreeLibrary(lib);
            malloc_trim(0);
            memory(rss2, hwm2);
        } else {
            analysis::TAnalysisTree tree;
            analysis::TOrbisca engine(&tree);
            engine.DO_Drive(drive);
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            entries = tree.NodeCount();
            malloc_trim(0);
            memory(rss2, hwm2);
            hwm1 = hwm2;
        }
        const double peak = entries ? double(hwm2 > hwm1 ? hwm2 : hwm1) - double(rss0) : 0;
        const double kept = entries ? double(rss2) - double(rss0) : 0;
        // "UpdateSnapshot: N entries in X MiB of records (B bytes each), W workers"
        double recordBytes = 0;
        int workers = 0;
        for (const QString& line : service.lines()) {
            const auto m =
                QRegularExpression(QStringLiteral("\\(([0-9.]+) bytes each\\), ([0-9]+) workers"))
                    .match(line);
            if (m.hasMatch()) {
                recordBytes = m.captured(1).toDouble();
                workers = m.captured(2).toInt();
            }
        }
        std::printf("%s %.3f %llu %.0f %.0f %.1f %d\n", mode.c_str(), seconds,
                    static_cast<unsigned long long>(entries),
                    entries ? peak / double(entries) : 0.0, entries ? kept / double(entries) : 0.0,
                    recordBytes, workers);
        std::fflush(stdout);
    }
    return 0;
}
