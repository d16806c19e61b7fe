#include "platform/RunAsUser.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace platform {
namespace {

// One way to run one command: an executable file and the argv handed to it.
struct ExecCandidate {
    std::string path;
    std::vector<std::string> args;
    std::vector<char*> argv; // filled once the candidate list is final
};

// What the child reports through the pipe when it gives up; nothing when a program runs.
struct ChildReport {
    int stage = 0;
    int error = 0;
};

enum Stage : int { kGroups = 1, kGroupId, kUserId, kStillPrivileged, kFork, kExec };

const char* stageText(int stage) {
    switch (stage) {
    case kGroups:
        return "could not take the user's groups";
    case kGroupId:
        return "could not take the user's group id";
    case kUserId:
        return "could not take the user's id";
    case kStillPrivileged:
        return "root rights could not be given up";
    case kFork:
        return "could not start a process";
    default:
        return "could not run";
    }
}

std::vector<ExecCandidate> candidatesFor(const std::vector<CommandLine>& commands,
                                         const std::string& searchPath) {
    std::vector<ExecCandidate> out;
    for (const CommandLine& command : commands) {
        if (command.empty() || command.front().empty())
            continue;
        const std::string& program = command.front();
        if (program.find('/') != std::string::npos) {
            out.push_back({program, command, {}});
            continue;
        }
        // Only absolute PATH entries: a relative one would depend on the working folder.
        size_t start = 0;
        while (start <= searchPath.size()) {
            size_t end = searchPath.find(':', start);
            if (end == std::string::npos)
                end = searchPath.size();
            const std::string folder = searchPath.substr(start, end - start);
            if (folder.starts_with('/'))
                out.push_back({folder + "/" + program, command, {}});
            start = end + 1;
        }
    }
    for (ExecCandidate& candidate : out) {
        for (std::string& arg : candidate.args)
            candidate.argv.push_back(arg.data());
        candidate.argv.push_back(nullptr);
    }
    return out;
}

// --- Child side: only async-signal-safe calls from here on (the parent may have threads) ---

[[noreturn]] void giveUp(int reportFd, int stage, int error) {
    const ChildReport report{stage, error};
    ssize_t written = write(reportFd, &report, sizeof report);
    (void)written;
    _exit(127);
}

// Returns only when no candidate could be executed, with the most telling errno.
int execFirst(const std::vector<ExecCandidate>& candidates, char* const* envp) {
    int error = ENOENT;
    for (const ExecCandidate& candidate : candidates) {
        execve(candidate.path.c_str(), candidate.argv.data(), envp);
        if (errno != ENOENT && errno != ENOTDIR)
            error = errno;
    }
    return error;
}

void resetSignals() {
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal != SIGKILL && signal != SIGSTOP)
            sigaction(signal, &defaultAction, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Standard streams from /dev/null; every other descriptor closed except the report pipe, which
// moves to *reportFd (close-on-exec, so a successful exec closes it).
void cleanDescriptors(int* reportFd, long maxFd) {
    const int report = fcntl(*reportFd, F_DUPFD_CLOEXEC, 3);
    if (report < 0)
        _exit(127);
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0)
        giveUp(report, kExec, errno);
    for (int fd = 0; fd < 3; ++fd) {
        if (null != fd && dup2(null, fd) < 0)
            giveUp(report, kExec, errno);
    }
    const auto closeRange = [maxFd](int first, int last) {
        if (first > last)
            return;
        if (syscall(SYS_close_range, static_cast<unsigned>(first), static_cast<unsigned>(last),
                    0u) == 0)
            return;
        for (long fd = first; fd <= last && fd < maxFd; ++fd)
            close(static_cast<int>(fd));
    };
    closeRange(3, report - 1);
    closeRange(report + 1, INT_MAX);
    *reportFd = report;
}

struct ChildPlan {
    bool dropPrivileges = false;
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
    const char* home = "/";
    long maxFd = 1024;
    char* const* envp = nullptr;
    const std::vector<ExecCandidate>* commands = nullptr;
    const std::vector<ExecCandidate>* whenFailed = nullptr;
};

[[noreturn]] void runChild(const ChildPlan& plan, int reportFd) {
    setsid();
    resetSignals();
    cleanDescriptors(&reportFd, plan.maxFd);

    if (plan.dropPrivileges) {
        // Raw system calls: they change this (only) thread without the C library's machinery
        // for multi-threaded processes, which is not safe to use after fork.
        if (syscall(SYS_setgroups, plan.groups.size(), plan.groups.data()) != 0)
            giveUp(reportFd, kGroups, errno);
        if (syscall(SYS_setresgid, plan.gid, plan.gid, plan.gid) != 0)
            giveUp(reportFd, kGroupId, errno);
        if (syscall(SYS_setresuid, plan.uid, plan.uid, plan.uid) != 0)
            giveUp(reportFd, kUserId, errno);
        if (syscall(SYS_setresuid, 0, 0, 0) == 0 || getuid() != plan.uid || geteuid() != plan.uid ||
            getegid() != plan.gid)
            giveUp(reportFd, kStillPrivileged, EPERM);
    }
    if (chdir(plan.home) != 0 && chdir("/") != 0)
        giveUp(reportFd, kExec, errno);

    const pid_t grandchild = fork();
    if (grandchild < 0)
        giveUp(reportFd, kFork, errno);
    if (grandchild > 0)
        _exit(0); // the grandchild is adopted by init (or a subreaper) and reaped there

    if (plan.whenFailed->empty())
        giveUp(reportFd, kExec, execFirst(*plan.commands, plan.envp));

    // Tell the caller that the user's side is running; the rest happens without it.
    close(reportFd);
    const pid_t attempt = fork();
    if (attempt == 0) {
        execFirst(*plan.commands, plan.envp);
        _exit(127);
    }
    int status = 0;
    if (attempt > 0) {
        while (waitpid(attempt, &status, 0) < 0 && errno == EINTR) {
        }
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
            _exit(0);
    }
    execFirst(*plan.whenFailed, plan.envp);
    _exit(127);
}

} // namespace

bool LaunchAsUser(const UserSession& user, const LaunchPlan& plan, std::string* error) {
    const auto fail = [&](const std::string& reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (!user.CanActForUser())
        return fail("no program is started for a user: " + user.refusal +
                    " names no user account, and nothing runs as root in its place");
    const uid_t self = geteuid();
    if (self != 0 && self != user.uid)
        return fail("cannot start programs as user " + user.name + " without root rights");

    const std::vector<ExecCandidate> commands = candidatesFor(plan.commands, user.Env("PATH"));
    const std::vector<ExecCandidate> whenFailed = candidatesFor(plan.whenFailed, user.Env("PATH"));
    if (commands.empty() && whenFailed.empty())
        return fail("no program to start");

    ChildPlan child;
    child.dropPrivileges = self == 0 && user.uid != 0;
    child.uid = user.uid;
    child.gid = user.gid;
    if (child.dropPrivileges) {
        int count = 64;
        child.groups.resize(static_cast<size_t>(count));
        while (getgrouplist(user.name.c_str(), user.gid, child.groups.data(), &count) < 0) {
            if (count <= static_cast<int>(child.groups.size()))
                count = static_cast<int>(child.groups.size()) * 2;
            child.groups.resize(static_cast<size_t>(count));
        }
        child.groups.resize(static_cast<size_t>(count));
    }
    child.home = user.home.c_str();
    child.maxFd = sysconf(_SC_OPEN_MAX) > 0 ? sysconf(_SC_OPEN_MAX) : 1024;

    std::vector<std::string> envStrings;
    for (const auto& [name, value] : user.environment)
        envStrings.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& entry : envStrings)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    child.envp = envp.data();
    child.commands = &commands;
    child.whenFailed = &whenFailed;

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return fail(std::string("could not start a process: ") + std::strerror(errno));
    const pid_t pid = fork();
    if (pid == 0)
        runChild(child, pipeFds[1]);
    const int forkError = errno;
    close(pipeFds[1]);
    if (pid < 0) {
        close(pipeFds[0]);
        return fail(std::string("could not start a process: ") + std::strerror(forkError));
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ChildReport report;
    ssize_t got;
    while ((got = read(pipeFds[0], &report, sizeof report)) < 0 && errno == EINTR) {
    }
    close(pipeFds[0]);
    if (got == static_cast<ssize_t>(sizeof report)) {
        std::string programs;
        for (const CommandLine& command : plan.commands)
            programs += (programs.empty() ? "" : ", ") + (command.empty() ? "" : command.front());
        return fail(std::string(stageText(report.stage)) + " (" + programs + " as user " +
                    user.name + "): " + std::strerror(report.error));
    }
    if (got != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return fail("the starter process of user " + user.name + " failed");
    return true;
}

} // namespace platform
