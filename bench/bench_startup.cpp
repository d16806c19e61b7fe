// Start-up of the desktop program: from starting the process to the main window with the
// analyser shown and the event loop idle ("-NOVERSION": no analysis), measured beside a bare Qt
// program that shows one empty window, alternating, in the same run. Also the module switch of
// that start (the program's "ms for Creating new Module"), the processor time each used until
// idle (less dependent on what else the machine runs than the wall time), and the resident
// memory of both once idle.
//
//   build/bench/bench_startup [ROUNDS]        (default 15, after one warm-up round each)
//
// Uses $DISPLAY, or an Xvfb of its own when none is set. The program runs with a temporary
// hive, a fixture drive and its own lock folder, never the machine's.

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
    bool ok = false;
    double ms = 0;
    double cpuMs = 0; // processor time of all its threads until idle
    long rssKb = 0;
    int switchMs = -1;
};

long residentKb(pid_t pid) {
    FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (!f)
        return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1)
            break;
    std::fclose(f);
    return kb;
}

// User and system time of a process so far (fields 14 and 15 of /proc/PID/stat).
double processorMs(pid_t pid) {
    FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!f)
        return 0;
    char line[2048] = {};
    const bool read = std::fgets(line, sizeof line, f) != nullptr;
    std::fclose(f);
    const char* rest = read ? std::strrchr(line, ')') : nullptr;
    unsigned long user = 0, system = 0;
    if (!rest || std::sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user,
                             &system) != 2)
        return 0;
    return double(user + system) * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

std::vector<std::string> environmentWith(const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& x : extra)
            replaced = replaced || x.substr(0, x.find('=')) == name;
        if (!replaced && name != "QT_QPA_PLATFORM")
            env.push_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

// Starts the program, waits for `marker` on its stderr, notes time and memory, ends it.
Run runOnce(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const char* marker) {
    Run run;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv, envp;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    const auto t0 = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        return run;
    }
    std::string text;
    char buffer[4096];
    const auto deadline = t0 + std::chrono::seconds(30);
    while (Clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, size_t(n));
        if (text.find(marker) != std::string::npos) {
            run.ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            run.rssKb = residentKb(pid);
            run.cpuMs = processorMs(pid);
            run.ok = true;
            break;
        }
    }
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    close(out[0]);
    const char* switchLine = "ms for Creating new Module = ";
    if (const size_t at = text.find(switchLine); at != std::string::npos)
        run.switchMs = std::atoi(text.c_str() + at + std::strlen(switchLine));
    if (!run.ok)
        std::fprintf(stderr, "no \"%s\" from %s; its output:\n%s\n", marker, args[0].c_str(),
                     text.c_str());
    return run;
}

template <typename T> T median(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? T() : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    QTemporaryDir work;
    if (!work.isValid())
        return 1;
    const std::string dir = work.path().toStdString();

    // A display: the caller's, or an X server of our own.
    std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    pid_t xvfb = 0;
    if (display.empty()) {
        int fd[2];
        if (pipe(fd) != 0)
            return 1;
        std::vector<std::string> xargs = {"/usr/bin/Xvfb", "-displayfd", std::to_string(fd[1]),
                                          "-screen", "0", "1600x1000x24", "-nolisten", "tcp"};
        std::vector<char*> xv;
        for (std::string& a : xargs)
            xv.push_back(a.data());
        xv.push_back(nullptr);
        if (posix_spawn(&xvfb, xv[0], nullptr, nullptr, xv.data(), environ) != 0) {
            std::fprintf(stderr, "no DISPLAY and Xvfb cannot be started\n");
            return 1;
        }
        close(fd[1]);
        char number[16] = {};
        if (read(fd[0], number, sizeof number - 1) <= 0)
            return 1;
        close(fd[0]);
        display = ":" + std::to_string(std::atoi(number));
    }

    QDir().mkpath(QString::fromStdString(dir + "/drive/Ordner"));
    QDir().mkpath(QString::fromStdString(dir + "/rt"));
    const std::string bin = ORBISCA_BIN_DIR;
    std::string subst;
    for (char c = 'C'; c <= 'Z'; ++c)
        if (c != 'M')
            subst += std::string(1, c) + ":=;";
    subst += "A:=" + QDir(QString::fromStdString(bin + "/..")).absolutePath().toStdString() +
             ";M:=" + dir + "/drive";
    const std::vector<std::string> programEnv = environmentWith({
        "DISPLAY=" + display, "ORBISCA_DEBUG=1", "ORBISCA_HIVE=" + dir + "/machine.hive",
        "ORBISCA_RUNTIME_DIR=" + dir + "/rt", "ORBISCA_SUBST=" + subst,
        "ORBISCA_SUBST_FILE=/dev/null", "XDG_RUNTIME_DIR=" + dir + "/rt"});
    const std::vector<std::string> bareEnv =
        environmentWith({"DISPLAY=" + display, "XDG_RUNTIME_DIR=" + dir + "/rt"});
    const std::vector<std::string> program = {bin + "/orbisca", "-NOVERSION"};
    const std::vector<std::string> bare = {BARE_WINDOW};

    // Warm-up: caches, fonts and the hive file exist afterwards.
    runOnce(program, programEnv, "Start-up: shown and idle");
    runOnce(bare, bareEnv, "shown and idle");

    std::vector<double> programMs, bareMs, programCpu, bareCpu;
    std::vector<long> programKb, bareKb;
    std::vector<int> switches;
    for (int i = 0; i < rounds; ++i) {
        const Run p = runOnce(program, programEnv, "Start-up: shown and idle");
        const Run b = runOnce(bare, bareEnv, "shown and idle");
        if (!p.ok || !b.ok)
            return 1;
        programMs.push_back(p.ms);
        bareMs.push_back(b.ms);
        programCpu.push_back(p.cpuMs);
        bareCpu.push_back(b.cpuMs);
        programKb.push_back(p.rssKb);
        bareKb.push_back(b.rssKb);
        if (p.switchMs >= 0)
            switches.push_back(p.switchMs);
    }
    if (xvfb > 0) {
        kill(xvfb, SIGTERM);
        waitpid(xvfb, nullptr, 0);
    }

    const double pm = median(programMs), bm = median(bareMs);
    std::printf("display %s, %d rounds after one warm-up round each, alternating\n",
                display.c_str(), rounds);
    std::printf("start to shown and idle         median      min      max\n");
    std::printf("  orbisca -NOVERSION        %8.1f ms %6.1f ms %6.1f ms\n", pm,
                *std::min_element(programMs.begin(), programMs.end()),
                *std::max_element(programMs.begin(), programMs.end()));
    std::printf("  bare Qt window            %8.1f ms %6.1f ms %6.1f ms\n", bm,
                *std::min_element(bareMs.begin(), bareMs.end()),
                *std::max_element(bareMs.begin(), bareMs.end()));
    std::printf("  ratio (median)            %8.2f\n", pm / bm);
    const double pc = median(programCpu), bc = median(bareCpu);
    std::printf("processor time until idle (median): orbisca %.0f ms, bare window %.0f ms, ratio %.2f\n",
                pc, bc, bc > 0 ? pc / bc : 0.0);
    if (!switches.empty())
        std::printf("module switch at start (ms for Creating new Module): median %d ms, max %d ms\n",
                    median(switches), *std::max_element(switches.begin(), switches.end()));
    std::printf("resident memory when idle: orbisca %.1f MiB, bare window %.1f MiB\n",
                median(programKb) / 1024.0, median(bareKb) / 1024.0);
    return 0;
}
