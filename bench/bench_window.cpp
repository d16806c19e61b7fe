// The analyser window driven as a user drives it, offscreen, on drive C: and on generated trees:
// the analyse command from its click to the analysed state (structure view listed, status line
// written) beside `du -sxb` of the same tree in the same run, the files view, a group filter,
// the formats aggregation, the longest stretch without an event-loop turn in each, and the
// memory of the process per entry.
//
//   bench_window [--runs N] [--no-c | --only-c] [--dir FOLDER] [SIZE...]
//
// SIZE: entries of a generated tree (default 100000 1000000), made with bench_gentree below
// FOLDER (default /var/tmp/orbisca-window-bench, which must not be a RAM disk: those are no
// drives for the analyser) and removed afterwards. Each figure is the median of N runs (default
// 3) on a warm cache.

#include "analysis/nogui_Orbisca.h"
#include "bench/LoopWatchdog.h"
#include "bench/WindowControls.h"
#include "i18n/ProjectMessages.h"
#include "platform/CommandLine.h"
#include "platform/DriveTable.h"
#include "platform/Paths.h"
#include "platform/ProgramFolder.h"
#include "skin/Fonts.h"
#include "skin/LumoButton2.h"
#include "skin/stripeskins.h"
#include "views/FormORB.h"
#include "views/VirtualDrawTree.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using bench::now;
using bench::Watchdog;

struct Memory {
    long long rss = 0, peak = 0;
};
Memory memory() {
    std::ifstream in("/proc/self/status");
    std::string key;
    long long kb = 0;
    Memory m;
    while (in >> key) {
        if (key == "VmRSS:" && in >> kb)
            m.rss = kb * 1024;
        else if (key == "VmHWM:" && in >> kb)
            m.peak = kb * 1024;
    }
    return m;
}
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Processor seconds (user + system) of this process or of its finished children: on a shared
// machine the figure that does not depend on how many processors were free.
double cpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five;
    in >> one >> five;
    return one + " " + five;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty()
               ? 0
               : (v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2);
}

double duSeconds(const QString& nativeRoot, double* cpu = nullptr) {
    QProcess du;
    const double c0 = cpuSeconds(RUSAGE_CHILDREN);
    const double t0 = now();
    du.start(QStringLiteral("du"), {QStringLiteral("-sxb"), nativeRoot});
    du.waitForFinished(-1);
    if (cpu)
        *cpu = cpuSeconds(RUSAGE_CHILDREN) - c0;
    return now() - t0;
}

// The complete analysis without a window, the peer of the analyse command.
double reportSeconds(const QString& argument) {
    QProcess report;
    const double t0 = now();
    report.start(QStringLiteral(ORBISCA_BIN_DIR "/orbisca-report"),
                 {QStringLiteral("--top"), QStringLiteral("0"), argument});
    report.waitForFinished(-1);
    return now() - t0;
}

struct Target {
    QString name;
    char16_t letter;
    QString nativeRoot;
    QString reportArgument;
};

struct Figures {
    size_t entries = 0;
    double du = 0, analyse = 0, files = 0, filter = 0, formats = 0;
    double duCpu = 0, analyseCpu = 0, report = 0, filesCpu = 0;
    double gapAnalyse = 0, gapFilter = 0, gapFormats = 0;
    double peakPerEntry = 0, keptPerEntry = 0;
    int filesRows = 0, filterRows = 0;
};

template <class F> double timed(Watchdog* dog, double* gap, F f) {
    if (dog)
        dog->Arm();
    const double t0 = now();
    f();
    const double t = now() - t0;
    if (dog)
        *gap = std::max(*gap, dog->Disarm());
    return t;
}

Figures measure(const Target& target, int runs, bool withMemory, Watchdog& dog) {
    for (char16_t l = u'A'; l <= u'Z'; ++l)
        if (l != u'R')
            platform::SetDriveRoot(l, "");
    platform::SetDriveRoot(target.letter, target.nativeRoot.toStdString());

    QWidget host;
    host.resize(1122, 737);
    auto* window = new views::TForm_ORB(&host);
    window->setGeometry(0, 57, 1122, 680);
    auto* analyseButton = bench::Find<skin::TLumoButton2>(window, "LumoButton_Analyse");
    auto* filesButton = bench::Find<skin::TLumoButton2>(window, "LumoButton_Files");
    auto* foldersButton = bench::Find<skin::TLumoButton2>(window, "LumoButton_Folders");
    auto* formatsButton = bench::Find<skin::TLumoButton2>(window, "LumoButton_Formats");
    auto* filterBox = bench::Find<QComboBox>(window, "ComboBox_ORB_Filter");
    auto* list = bench::Find<views::TVirtualDrawTree>(window, "VirtualDrawTree_ORB_QO16");
    host.show();
    QApplication::processEvents();
    Figures f;

    duSeconds(target.nativeRoot); // warm the cache for both
    if (withMemory) {
        malloc_trim(0);
        const Memory before = memory();
        resetPeak();
        analyseButton->Click();
        const Memory after = memory();
        f.entries = window->VirtualDrawTree1.NodeCount();
        f.peakPerEntry = double(after.peak - before.rss) / double(f.entries);
        f.keptPerEntry = double(after.rss - before.rss) / double(f.entries);
    } else {
        analyseButton->Click();
    }

    std::vector<double> du, analyse, files, filter, formats, duCpu, analyseCpu, report, filesCpu;
    const QString pictures = i18n::Message(i18n::Msg::MESSAGE_ORB_FILTER_PICS);
    const QString all = i18n::Message(i18n::Msg::MESSAGE_ORB_FILTER_ALL);
    for (int r = 0; r < runs; ++r) {
        double cpu = 0;
        du.push_back(duSeconds(target.nativeRoot, &cpu));
        duCpu.push_back(cpu);
        report.push_back(reportSeconds(target.reportArgument));
        const double c0 = cpuSeconds(RUSAGE_SELF);
        analyse.push_back(timed(&dog, &f.gapAnalyse, [&] { analyseButton->Click(); }));
        analyseCpu.push_back(cpuSeconds(RUSAGE_SELF) - c0);
        f.entries = window->VirtualDrawTree1.NodeCount();
        const double f0 = cpuSeconds(RUSAGE_SELF);
        files.push_back(timed(nullptr, nullptr, [&] { filesButton->Click(); }));
        filesCpu.push_back(cpuSeconds(RUSAGE_SELF) - f0);
        f.filesRows = list->VisibleRowCount();
        foldersButton->Click();
        filter.push_back(timed(&dog, &f.gapFilter, [&] { filterBox->setCurrentText(pictures); }));
        f.filterRows = list->VisibleRowCount();
        filterBox->setCurrentText(all);
        formats.push_back(timed(&dog, &f.gapFormats, [&] { formatsButton->Click(); }));
        foldersButton->Click();
    }
    f.du = median(du);
    f.duCpu = median(duCpu);
    f.analyseCpu = median(analyseCpu);
    f.report = median(report);
    f.filesCpu = median(filesCpu);
    f.analyse = median(analyse);
    f.files = median(files);
    f.filter = median(filter);
    f.formats = median(formats);
    window->close();
    delete window;
    return f;
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir hive;
    qputenv("ORBISCA_HIVE", hive.filePath(QStringLiteral("bench.hive")).toLocal8Bit());
    QApplication app(argc, argv);
    skin::InstallProgramFonts();

    int runs = 3;
    bool withC = true;
    bool onlyC = false;
    QString folder = QStringLiteral("/var/tmp/orbisca-window-bench");
    std::vector<long> sizes;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--runs" && i + 1 < args.size())
            runs = args[++i].toInt();
        else if (args[i] == "--no-c")
            withC = false;
        else if (args[i] == "--only-c")
            onlyC = true;
        else if (args[i] == "--dir" && i + 1 < args.size())
            folder = args[++i];
        else
            sizes.push_back(args[i].toLong());
    }
    if (sizes.empty() && !onlyC)
        sizes = {100000, 1000000};

    // The program folder on a RAM disk, so that it is never offered as a drive.
    QTemporaryDir prog(QStringLiteral("/dev/shm/orbisca-bench-XXXXXX"));
    for (const char* entry : {"undelete.so", "skins", "translation"})
        QFile::link(QStringLiteral(ORBISCA_BIN_DIR "/") + QLatin1String(entry),
                    prog.path() + u'/' + QLatin1String(entry));
    platform::SetDriveRoot(u'R', prog.path().toStdString());
    platform::SetProgramFolder(QStringLiteral("R:"));
    platform::SetProgramArguments({QStringLiteral("-NOVERSION")});
    Watchdog dog;

    std::vector<Target> targets;
    if (withC)
        targets.push_back(
            {QStringLiteral("C: (/)"), u'C', QStringLiteral("/"), QStringLiteral("C:")});
    // Each generated tree exists only while it is measured, so that it is no part of C:.
    for (long n : sizes) {
        const QString path = folder + QStringLiteral("/t") + QString::number(n);
        targets.push_back({QString::number(n) + QStringLiteral(" generated"), u'G', path, path});
    }

    std::printf("runs: %d (median), warm cache, %d processors, load %s\n", runs,
                int(std::thread::hardware_concurrency()), loadAverage().c_str());
    for (size_t i = 0; i < targets.size(); ++i) {
        const bool generated = targets[i].letter == u'G';
        if (generated) {
            QDir().mkpath(folder);
            QProcess gen;
            gen.start(QStringLiteral(ORBISCA_BENCH_DIR "/bench_gentree"),
                      {targets[i].nativeRoot, targets[i].name.section(u' ', 0, 0)});
            gen.waitForFinished(-1);
        }
        const Figures f = measure(targets[i], runs, i == 0, dog);
        if (generated)
            QDir(folder).removeRecursively();
        const double perM = 1e6 / double(std::max<size_t>(f.entries, 1));
        std::printf("\n%s: %zu entries\n", targets[i].name.toLocal8Bit().constData(), f.entries);
        std::printf("  du -sxb                 %8.3f s   (processor %.3f s)\n", f.du, f.duCpu);
        std::printf("  orbisca-report          %8.3f s   %5.2f x du\n", f.report, f.report / f.du);
        std::printf("  analyse command         %8.3f s   %5.2f x du, processor %5.2f x du's; "
                    "longest stretch without a loop turn %.1f ms\n",
                    f.analyse, f.analyse / f.du, f.analyseCpu / std::max(f.duCpu, 1e-9),
                    f.gapAnalyse * 1e3);
        std::printf("  files view              %8.3f s   (processor %.3f s) %d rows\n", f.files,
                    f.filesCpu, f.filesRows);
        std::printf(
            "  group filter (pictures) %8.3f s   %5.3f s per million nodes, longest stretch "
            "%.1f ms, %d rows\n",
            f.filter, f.filter * perM, f.gapFilter * 1e3, f.filterRows);
        std::printf(
            "  formats view            %8.3f s   %5.3f s per million nodes, longest stretch "
            "%.1f ms\n",
            f.formats, f.formats * perM, f.gapFormats * 1e3);
        if (i == 0)
            std::printf("  memory per entry        peak %.0f B, kept %.0f B (above the process "
                        "before the analysis)\n",
                        f.peakPerEntry, f.keptPerEntry);
        std::fflush(stdout);
    }
    return 0;
}
