// Saved analyses against the analysis they keep and beside ncdu and gdu, on drive C: (/) and on
// a generated tree (bench_gentree, in /dev/shm).
//
//   bench_saved [--no-c] [--only-c] [--repeat N] [ENTRIES]      (default 1000000 entries)
//
// For each tree: the analysis itself (DO_Drive, the reference), saving it in our format (to a
// file in /dev/shm, fsync included) and its bytes per entry, loading it, writing it as ncdu JSON
// and importing that JSON; in the same run ncdu and gdu read the same JSON (`ncdu -f FILE -o
// /dev/null`, `gdu -f FILE -n -p -s`, timed with their peak resident memory from /usr/bin/time).
// Analysis, load and import run in child processes of their own, so each one's memory per entry
// (peak and kept: resident bytes above the process before it began) is its own. Times are the
// median of the runs (--repeat, default 3).

#include "analysis/AnalysisTree.h"
#include "analysis/nogui_Orbisca.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/ProgramFolder.h"
#include "saved/NcduJson.h"
#include "saved/SavedFormat.h"

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

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

void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

std::string self;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Runs a command and gives its standard output.
std::string capture(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
            out.append(buffer, n);
        ::pclose(p);
    }
    return out;
}

bool have(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

QString driveFor(const std::string& folder) {
    if (folder == "/")
        return QStringLiteral("C:\\");
    platform::SetDriveRoot(u'Y', folder);
    return QStringLiteral("Y:\\");
}

void quietBoxes() {
    platform::SetMessageBoxHandler([](const QString& text, const QString&, unsigned) {
        std::fprintf(stderr, "bench_saved: %s\n", text.toLocal8Bit().constData());
        return platform::IDOK;
    });
}

// ---- Child measurements: "seconds entries peak_bytes_per_entry kept_bytes_per_entry" ---------

int child(const std::string& what, const std::string& argument) {
    quietBoxes();
    malloc_trim(0);
    long long rss0, hwm0, rss1, hwm1;
    memory(rss0, hwm0);
    resetPeak();
    analysis::TAnalysisTree tree;
    QString error;
    const auto t0 = Clock::now();
    if (what == "scan") {
        platform::SetProgramFolder(platform::WindowsPath(ORBISCA_BIN_DIR));
        analysis::TOrbisca engine(&tree);
        engine.DO_Drive(driveFor(argument));
    } else if (what == "load") {
        const int fd = ::open(argument.c_str(), O_RDONLY | O_CLOEXEC);
        saved::TSavedHeader header;
        if (!saved::ReadSaved(fd, tree, &header, &error)) {
            std::fprintf(stderr, "bench_saved: %s\n", error.toLocal8Bit().constData());
            return 1;
        }
        ::close(fd);
    } else if (what == "import") {
        const int fd = ::open(argument.c_str(), O_RDONLY | O_CLOEXEC);
        saved::TImported imported;
        if (!saved::ImportNcduJson(fd, tree, &imported, &error)) {
            std::fprintf(stderr, "bench_saved: %s\n", error.toLocal8Bit().constData());
            return 1;
        }
        ::close(fd);
    }
    const double seconds = since(t0);
    malloc_trim(0);
    memory(rss1, hwm1);
    const double n = static_cast<double>(tree.NodeCount());
    std::printf("%.4f %zu %.1f %.1f\n", seconds, tree.NodeCount(),
                n ? double(hwm1 - rss0) / n : 0.0, n ? double(rss1 - rss0) / n : 0.0);
    return 0;
}

struct Measured {
    double seconds = 0;
    size_t entries = 0;
    double peak = 0, kept = 0;
};

Measured runChild(const std::string& what, const std::string& argument, int repeat) {
    std::vector<double> times;
    Measured m;
    for (int i = 0; i < repeat; ++i) {
        const std::string out = capture("'" + self + "' --child " + what + " '" + argument + "'");
        std::istringstream in(out);
        double s = 0;
        if (!(in >> s >> m.entries >> m.peak >> m.kept)) {
            std::fprintf(stderr, "bench_saved: the %s run failed\n", what.c_str());
            std::exit(1);
        }
        times.push_back(s);
    }
    m.seconds = median(times);
    return m;
}

// A peer reading the JSON: wall seconds and peak resident KiB from /usr/bin/time.
struct Peer {
    double seconds = 0;
    long long peakKiB = 0;
};

Peer runPeer(const std::string& command, int repeat) {
    std::vector<double> times;
    Peer p;
    for (int i = 0; i < repeat; ++i) {
        const std::string out =
            capture("/usr/bin/time -f '%e %M' " + command + " 2>&1 >/dev/null | tail -1");
        std::istringstream in(out);
        double s = 0;
        in >> s >> p.peakKiB;
        times.push_back(s);
    }
    p.seconds = median(times);
    return p;
}

long long readNumber(const std::string& file, const std::string& key) {
    std::ifstream in(file);
    std::string k;
    long long v = 0;
    while (in >> k)
        if (k == key && in >> v)
            return v;
    return 0;
}

// Processor ticks (user + system) of a process.
long long cpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            utime = std::atoll(field.c_str());
        if (i == 15)
            stime = std::atoll(field.c_str());
    }
    return utime + stime;
}

pid_t childNamed(pid_t parent, const std::string& name) {
    DIR* proc = ::opendir("/proc");
    pid_t found = 0;
    while (const dirent* e = proc ? ::readdir(proc) : nullptr) {
        const pid_t pid = std::atoi(e->d_name);
        if (pid <= 0)
            continue;
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t open = text.find('('), close = text.rfind(')');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        std::istringstream rest(text.substr(close + 2));
        std::string state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent && text.substr(open + 1, close - open - 1) == name) {
            found = pid;
            break;
        }
    }
    if (proc)
        ::closedir(proc);
    return found;
}

// ncdu opening the file into its browser, as a user does, on a terminal of its own (script):
// its processor time until it waits for a key, and its peak resident memory then; a "q" ends it.
// (ncdu -f FILE -o OUT converts without building its tree, so that is no measure of a load.)
Peer ncduBrowse(const std::string& json) {
    int keys[2];
    if (::pipe(keys) != 0)
        return {};
    const pid_t script = ::fork();
    if (script == 0) {
        ::dup2(keys[0], 0);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::close(keys[1]);
        ::setenv("TERM", "xterm", 1);
        const std::string command = "ncdu -f '" + json + "'";
        ::execlp("script", "script", "-qec", command.c_str(), "/dev/null",
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(keys[0]);
    Peer p;
    pid_t ncdu = 0;
    for (int i = 0; i < 500 && !ncdu; ++i) {
        ::usleep(10000);
        ncdu = childNamed(script, "ncdu");
    }
    if (ncdu) {
        const auto t0 = Clock::now();
        long long last = -1, ticks = 0;
        for (int still = 0; still < 10 || (ticks == 0 && since(t0) < 2);) {
            ::usleep(20000);
            ticks = cpuTicks(ncdu);
            still = ticks == last ? still + 1 : 0;
            last = ticks;
        }
        p.seconds = double(ticks) / double(::sysconf(_SC_CLK_TCK));
        p.peakKiB = readNumber("/proc/" + std::to_string(ncdu) + "/status", "VmHWM:");
    }
    (void)!::write(keys[1], "q", 1);
    ::close(keys[1]);
    int status = 0;
    ::waitpid(script, &status, 0);
    return p;
}

long long fileBytes(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

// ---- One tree ------------------------------------------------------------------------------

void measureTree(const std::string& label, const std::string& folder, int repeat) {
    quietBoxes();
    platform::SetProgramFolder(platform::WindowsPath(ORBISCA_BIN_DIR));
    const std::string ours = "/dev/shm/orbisca-bench-saved.orbisca";
    const std::string json = "/dev/shm/orbisca-bench-saved.json";

    const Measured scan = runChild("scan", folder, repeat);

    // Saving needs an analysis in this process: one more scan, outside the clock.
    analysis::TAnalysisTree tree;
    analysis::TOrbisca engine(&tree);
    engine.DO_Drive(driveFor(folder));
    const analysis::TAnalysisSummary summary = engine.Summary();
    const size_t entries = tree.NodeCount();
    std::vector<double> saveTimes, exportTimes;
    QString error;
    for (int i = 0; i < repeat; ++i) {
        ::unlink(ours.c_str());
        const auto t0 = Clock::now();
        const int fd = ::open(ours.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        const saved::TSavedHeader header = saved::HeaderForSaving(tree, summary);
        if (fd < 0 || !saved::WriteSaved(fd, header, tree, &error) || ::fsync(fd) != 0) {
            std::fprintf(stderr, "bench_saved: cannot save: %s\n", error.toLocal8Bit().constData());
            std::exit(1);
        }
        ::close(fd);
        saveTimes.push_back(since(t0));
    }
    for (int i = 0; i < repeat; ++i) {
        ::unlink(json.c_str());
        const auto t0 = Clock::now();
        const int fd = ::open(json.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 || !saved::ExportNcduJson(fd, tree, summary, &error) || ::fsync(fd) != 0) {
            std::fprintf(stderr, "bench_saved: cannot export: %s\n",
                         error.toLocal8Bit().constData());
            std::exit(1);
        }
        ::close(fd);
        exportTimes.push_back(since(t0));
    }
    tree.Clear();
    const Measured load = runChild("load", ours, repeat);
    const Measured import = runChild("import", json, repeat);
    const double save = median(saveTimes);
    const double bytes = double(fileBytes(ours)) / double(entries);

    std::printf("%s: %zu entries\n", label.c_str(), entries);
    std::printf("  analysis (DO_Drive)        %8.3f s   kept %6.1f B/entry, peak %6.1f\n",
                scan.seconds, scan.kept, scan.peak);
    std::printf("  save (our format, fsync)   %8.3f s   %5.3f x the analysis; %.2f B/entry on disk "
                "(%lld bytes)\n",
                save, save / scan.seconds, bytes, fileBytes(ours));
    std::printf("  load                       %8.3f s   kept %6.1f B/entry (%.2f x the "
                "analysis'), peak %6.1f\n",
                load.seconds, load.kept, load.kept / scan.kept, load.peak);
    std::printf("  ncdu JSON export           %8.3f s   %.1f B/entry\n", median(exportTimes),
                double(fileBytes(json)) / double(entries));
    std::printf("  ncdu JSON import (ours)    %8.3f s   peak %6.1f B/entry, kept %6.1f\n",
                import.seconds, import.peak, import.kept);
    if (have("ncdu") && have("script")) {
        std::vector<double> times;
        Peer p;
        for (int i = 0; i < repeat; ++i) {
            p = ncduBrowse(json);
            times.push_back(p.seconds);
        }
        p.seconds = median(times);
        std::printf("  ncdu -f, browsing (peer)   %8.3f s   peak %6.1f B/entry (%lld KiB "
                    "resident); ours %.2f x its time (processor time)\n",
                    p.seconds, double(p.peakKiB) * 1024 / double(entries), p.peakKiB,
                    import.seconds / p.seconds);
        const Peer convert = runPeer("ncdu -f '" + json + "' -o /dev/null", repeat);
        std::printf("  ncdu -f -o (peer, converts)%8.3f s   peak %lld KiB resident\n",
                    convert.seconds, convert.peakKiB);
    }
    if (have("gdu")) {
        const Peer p = runPeer("gdu -f '" + json + "' -n -p -s", repeat);
        std::printf("  gdu -f (peer)              %8.3f s   peak %6.1f B/entry (%lld KiB "
                    "resident); ours %.2f x its time\n",
                    p.seconds, double(p.peakKiB) * 1024 / double(entries), p.peakKiB,
                    import.seconds / p.seconds);
    }
    std::fflush(stdout);
    ::unlink(ours.c_str());
    ::unlink(json.c_str());
}

} // namespace

int main(int argc, char** argv) {
    char real[PATH_MAX];
    self = ::realpath("/proc/self/exe", real) ? real : argv[0];
    if (argc == 4 && !std::strcmp(argv[1], "--child"))
        return child(argv[2], argv[3]);
    bool withC = true, onlyC = false;
    int repeat = 3;
    long entries = 1000000;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--no-c"))
            withC = false;
        else if (!std::strcmp(argv[i], "--only-c"))
            onlyC = true;
        else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else
            entries = std::atol(argv[i]);
    }
    if (withC)
        measureTree("C: (/)", "/", repeat);
    if (onlyC)
        return 0;
    const std::string generated = "/dev/shm/orbisca-bench-saved-tree";
    std::system(("rm -rf '" + generated + "'").c_str());
    const std::string gen = std::string(ORBISCA_BENCH_DIR) + "/bench_gentree '" + generated + "' " +
                            std::to_string(entries) + " >/dev/null";
    if (std::system(gen.c_str()) != 0) {
        std::fprintf(stderr, "bench_saved: cannot generate the tree\n");
        return 1;
    }
    measureTree(std::to_string(entries) + " generated", generated, repeat);
    std::system(("rm -rf '" + generated + "'").c_str());
    return 0;
}
