#pragma once

// Running orbisca-report as users run it, for the report's tests: a child process with its own
// environment, standard output and error captured, and the figures it printed read back.

#include "TestTree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace reporttest {

using testtree::TempDir;

struct RunResult {
    int exitCode = -1;
    int signal = 0; // the signal that ended the report, if one did
    std::string out;
    std::string err;
};

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct RunOptions {
    std::string program = ORBISCA_REPORT_PROGRAM;
    std::string stdoutPath;                       // default: a file the result reads back
    std::vector<std::pair<std::string, std::string>> env;
    std::function<void()> inChild;                // limits, rights: just before exec
    int stdoutFd = -1;                            // instead of stdoutPath; closed here
    std::function<void(pid_t)> whileRunning;      // in the test, before waiting for the report
};

inline RunResult runReport(const std::vector<std::string>& args, const RunOptions& options = {}) {
    TempDir io;
    const std::string outFile = options.stdoutPath.empty() ? io / "out" : options.stdoutPath;
    const std::string errFile = io / "err";
    ::chmod(io.path().c_str(), 0777); // the child may drop its rights
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int o = options.stdoutFd >= 0 ? options.stdoutFd
                                            : ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int e = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        ::dup2(o, 1);
        ::dup2(e, 2);
        ::close(o);
        ::close(e);
        ::setenv("ORBISCA_SUBST_FILE", "/nonexistent", 1);
        ::unsetenv("ORBISCA_SUBST");
        ::unsetenv("ORBISCA_DEBUG");
        ::unsetenv("PKEXEC_UID");
        ::unsetenv("SUDO_UID");
        for (const auto& [name, value] : options.env)
            ::setenv(name.c_str(), value.c_str(), 1);
        ::alarm(120); // a report that hangs fails the test instead of holding it
        if (options.inChild)
            options.inChild();
        std::vector<char*> argv{const_cast<char*>(options.program.c_str())};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(options.program.c_str(), argv.data());
        ::_exit(127);
    }
    if (options.stdoutFd >= 0)
        ::close(options.stdoutFd);
    if (options.whileRunning)
        options.whileRunning(pid);
    RunResult r;
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    if (options.stdoutPath.empty() && options.stdoutFd < 0)
        r.out = slurp(outFile);
    r.err = slurp(errFile);
    return r;
}

inline uint64_t reported(const std::string& out, const std::string& label) {
    const size_t at = out.find(label);
    if (at == std::string::npos)
        return UINT64_MAX;
    std::string digits;
    for (size_t i = at + label.size(); i < out.size() && out[i] != '\n'; ++i)
        if (out[i] >= '0' && out[i] <= '9')
            digits += out[i];
    return digits.empty() ? UINT64_MAX : std::stoull(digits);
}

// Folders of files with sizes from a fixed sequence, names that are awkward on a terminal and in
// a CSV, a hard link, links to a folder and to a file, a fifo, and folders whose names only look
// like the service's folder of deleted files.
inline void makeGeneratedTree(const TempDir& dir) {
    uint32_t seed = 12345;
    const auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 8) & 0xFFFF; };
    const std::vector<std::string> odd = {"comma,name", "quote\"name", "line\nbreak", "trailing ",
                                          " leading", "back\\slash", "bad\xfe" "byte", "crlf\r\n"};
    for (int a = 0; a < 5; ++a) {
        const std::string top = dir / ("top" + std::to_string(a) + (a == 2 ? " " : ""));
        testtree::makeDir(top);
        for (int b = 0; b < 3; ++b) {
            const std::string mid = top + "/mid" + std::to_string(b) + (b == 1 ? ",x" : "");
            testtree::makeDir(mid);
            for (int f = 0; f < 40; ++f)
                testtree::writeFile(mid + "/file" + std::to_string(f), next() % 10000);
            testtree::writeFile(mid + "/" + odd[static_cast<size_t>(a + b) % odd.size()], next() % 500);
        }
    }
    testtree::makeDir(dir / "empty");
    testtree::writeFile(dir / "top0/mid0/big", 3u << 20);
    ASSERT_EQ(::link((dir / "top0/mid0/big").c_str(), (dir / "top1/hardlink").c_str()), 0);
    ASSERT_EQ(::symlink("top0", (dir / "folderlink").c_str()), 0);
    ASSERT_EQ(::symlink("top0/mid0/big", (dir / "filelink").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    // Real folders whose names only look like a deleted-files folder count like any other.
    testtree::makeDir(dir / "My {all deleted} notes");
    testtree::writeFile(dir / "My {all deleted} notes/kept", 4321);
    testtree::makeDir(dir / "top1/{All Deleted Files}");
    testtree::writeFile(dir / "top1/{All Deleted Files}/also kept", 1234);
}

} // namespace reporttest
