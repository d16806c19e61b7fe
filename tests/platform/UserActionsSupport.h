#pragma once

// Shared pieces of the tests of acting as the desktop user: a temporary tree, small file helpers,
// an unprivileged test user and a hostile one, items as an analysis records them, and waiting for
// the detached processes a launch leaves behind (the test program is a subreaper, so they end up
// as its children).

#include "platform/ListedItem.h"
#include "platform/UserSession.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace testing_user {

// Set by main: the tests run in a mount namespace of their own, where they may mount.
inline bool& PrivateMounts() {
    static bool value = false;
    return value;
}

// nobody/nogroup: an account without rights that exists on every Debian system.
constexpr uid_t kUser = 65534;
constexpr gid_t kGroup = 65534;

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFile(const std::string& path, const std::string& text, mode_t mode = 0644) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
}

inline bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

inline struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

inline std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A temporary folder, readable by everyone (the test user must reach into it), removed with
// everything below it (mounts first).
class TempTree {
public:
    TempTree() {
        char pattern[] = "/tmp/orbisca-user-XXXXXX";
        root_ = ::mkdtemp(pattern);
        ::chmod(root_.c_str(), 0755);
    }
    ~TempTree() {
        for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it)
            ::umount2(it->c_str(), MNT_DETACH);
        ::nftw(
            root_.c_str(),
            [](const char* path, const struct stat*, int type, FTW*) {
                if (type == FTW_DP)
                    ::rmdir(path);
                else
                    ::unlink(path);
                return 0;
            },
            16, FTW_DEPTH | FTW_PHYS);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& root() const { return root_; }
    std::string operator/(const std::string& relative) const { return root_ + "/" + relative; }

    std::string Folder(const std::string& relative, mode_t mode = 0755, uid_t owner = 0,
                       gid_t group = 0) const {
        const std::string path = *this / relative;
        ::mkdir(path.c_str(), mode);
        ::chmod(path.c_str(), mode);
        EXPECT_EQ(::lchown(path.c_str(), owner, group), 0) << path;
        return path;
    }

    // A tmpfs at relative (a second volume); false when mounting is impossible here.
    bool MountTmpfs(const std::string& relative, const char* options = "mode=0755") {
        const std::string path = Folder(relative);
        if (!PrivateMounts() || ::mount("orbisca-test", path.c_str(), "tmpfs", 0, options) != 0)
            return false;
        mounts_.push_back(path);
        return true;
    }

private:
    std::string root_;
    std::vector<std::string> mounts_;
};

// A session for the test user with its home and data folder in the temporary tree, as a root
// process started through pkexec would resolve it.
inline platform::UserSession TestUserSession(const std::string& home, const std::string& dataHome,
                                             const std::string& runtimeRoot,
                                             std::map<std::string, std::string> env = {}) {
    platform::SessionProbe probe;
    probe.environment = std::move(env);
    probe.environment["PKEXEC_UID"] = std::to_string(kUser);
    if (!dataHome.empty())
        probe.environment["XDG_DATA_HOME"] = dataHome;
    probe.effectiveUid = 0;
    probe.runtimeRoot = runtimeRoot;
    // Root's home lies beside the user's, so that the administrator's trash of a test never is
    // the machine's.
    probe.lookupUser = [home](uid_t uid) -> std::optional<platform::PasswdEntry> {
        if (uid == kUser)
            return platform::PasswdEntry{kUser, kGroup, "nobody", home};
        if (uid == 0)
            return platform::PasswdEntry{0, 0, "root", home + "-root"};
        return std::nullopt;
    };
    return platform::ResolveUserSession(probe);
}

// The processes whose parent is this one (launches leave their detached processes to us, the
// subreaper), except those in keep.
inline std::vector<pid_t> Children(const std::set<pid_t>& keep) {
    std::vector<pid_t> out;
    const pid_t self = ::getpid();
    for (const std::string& entry : Entries("/proc")) {
        if (entry.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string stat = ReadFile("/proc/" + entry + "/stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(close + 2));
        std::string state;
        pid_t parent = 0;
        fields >> state >> parent;
        const pid_t pid = std::stoi(entry);
        if (parent == self && !keep.count(pid))
            out.push_back(pid);
    }
    return out;
}

// Waits until every process started by a launch has ended, pumping `pump` meanwhile (a bus
// service in this process may have to answer them).
inline void WaitForLaunchedProcesses(const std::set<pid_t>& keep = {},
                                     const std::function<void()>& pump = {}) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        const std::vector<pid_t> children = Children(keep);
        for (pid_t pid : children)
            ::waitpid(pid, nullptr, WNOHANG);
        if (Children(keep).empty())
            return;
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "launched processes did not end";
            return;
        }
        if (pump)
            pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Runs body in a child process that has become the test user for good (real, effective and
// saved ids); returns what body returned ("" = fine), or a note of how the child ended.
inline std::string RunAsTestUser(const std::function<std::string()>& body) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return "no pipe";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string out;
        if (::setgroups(0, nullptr) != 0 || ::setresgid(kGroup, kGroup, kGroup) != 0 ||
            ::setresuid(kUser, kUser, kUser) != 0)
            out = "could not become the test user";
        else
            out = body();
        const ssize_t wrote = ::write(fds[1], out.data(), out.size());
        ::_exit(wrote == static_cast<ssize_t>(out.size()) ? 0 : 1);
    }
    ::close(fds[1]);
    std::string out;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(fds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<size_t>(got));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        out += " (the test user's process failed)";
    return out;
}

// mallory: a second local account with no name, for the tests of hostile trees.
constexpr uid_t kMallory = 4242;
constexpr gid_t kMalloryGroup = 4242;

// Runs body as mallory in a child process until it returns or the child is stopped; the child
// is killed when the guard goes out of scope.
class AsMallory {
public:
    explicit AsMallory(const std::function<void()>& body) {
        pid_ = ::fork();
        if (pid_ == 0) {
            if (::setgroups(0, nullptr) != 0 ||
                ::setresgid(kMalloryGroup, kMalloryGroup, kMalloryGroup) != 0 ||
                ::setresuid(kMallory, kMallory, kMallory) != 0)
                ::_exit(2);
            body();
            ::_exit(0);
        }
    }
    ~AsMallory() { Stop(); }
    AsMallory(const AsMallory&) = delete;
    AsMallory& operator=(const AsMallory&) = delete;
    // Waits for the child; kills it first when it still runs.
    void Stop() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    // Waits for the child to end by itself; its exit status.
    int Wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    }

private:
    pid_t pid_ = -1;
};

// The item below root as an analysis would have recorded it now: every inode on the way.
inline platform::ListedItem RecordedItem(const std::string& root,
                                         const std::vector<std::string>& names) {
    platform::ListedItem item;
    item.root = root;
    item.names = names;
    std::string path = root;
    item.inodes.push_back(StatOf(path).st_ino);
    for (const std::string& name : names) {
        path += "/" + name;
        item.inodes.push_back(StatOf(path).st_ino);
    }
    item.device = StatOf(root).st_dev;
    return item;
}

} // namespace testing_user

#define REQUIRE_ROOT()                                                                             \
    do {                                                                                           \
        if (::geteuid() != 0)                                                                      \
            GTEST_SKIP() << "needs root: acting for another user is what is tested";               \
    } while (0)
