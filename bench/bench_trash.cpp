// Moving many small files into the trash: our trasher beside `gio trash` and a plain `mv` of the
// same number of files in the same run. On a tmpfs (our own mount when run as root, else
// /dev/shm) and on the disk folder given (default /tmp); GIO refuses to trash on tmpfs, so it
// runs on the disk only. gio and mv get 1000 files per invocation, which spreads their start-up.
//
//   bench_trash [files=10000] [disk folder=/tmp, or - for none]

#include "platform/Trash.h"
#include "platform/UserSession.h"

#include <fcntl.h>
#include <ftw.h>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr long kTmpfsMagic = 0x01021994;
constexpr size_t kBatch = 1000;

std::vector<std::string> makeFiles(const std::string& folder, int count) {
    mkdir(folder.c_str(), 0755);
    std::vector<std::string> paths;
    const std::string content(100, 'x');
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/file-%05d.txt", i);
        paths.push_back(folder + name);
        const int fd = open(paths.back().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || write(fd, content.data(), content.size()) != 100) {
            std::perror(paths.back().c_str());
            std::exit(1);
        }
        close(fd);
    }
    sync();
    return paths;
}

size_t countEntries(const std::string& folder) {
    size_t n = 0;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            n += entry->d_name[0] != '.';
        closedir(dir);
    }
    return n;
}

void removeTree(const std::string& path) {
    nftw(
        path.c_str(),
        [](const char* p, const struct stat*, int type, FTW*) {
            if (type == FTW_DP)
                rmdir(p);
            else
                unlink(p);
            return 0;
        },
        32, FTW_DEPTH | FTW_PHYS);
}

// Runs program + fixed arguments + the paths, kBatch paths per invocation.
bool runBatched(const std::vector<std::string>& fixed, const std::vector<std::string>& paths,
                const std::vector<std::string>& extraEnv) {
    std::vector<std::string> envStrings(extraEnv);
    for (char** e = environ; *e; ++e)
        envStrings.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    for (size_t start = 0; start < paths.size(); start += kBatch) {
        std::vector<std::string> args(fixed);
        for (size_t i = start; i < paths.size() && i < start + kBatch; ++i)
            args.push_back(paths[i]);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid;
        if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0)
            return false;
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return false;
    }
    return true;
}

bool onPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        if (access((folders.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

platform::UserSession sessionFor(uid_t uid, const std::string& home, const std::string& dataHome) {
    platform::SessionProbe probe;
    probe.effectiveUid = geteuid();
    probe.effectiveGid = getegid();
    if (uid != geteuid())
        probe.environment["PKEXEC_UID"] = std::to_string(uid);
    probe.environment["XDG_DATA_HOME"] = dataHome;
    probe.lookupUser = [uid, home](uid_t asked) -> std::optional<platform::PasswdEntry> {
        return platform::PasswdEntry{asked, asked == uid ? static_cast<gid_t>(uid) : 0,
                                     asked == uid ? "benchmark" : "root", home};
    };
    return platform::ResolveUserSession(probe);
}

struct Row {
    std::string volume, method;
    double ms = 0;
    size_t items = 0;
    bool ok = false;
};

template <typename F>
Row timed(const std::string& volume, const std::string& method, size_t items, F&& work) {
    const auto start = std::chrono::steady_clock::now();
    const bool ok = work();
    const auto end = std::chrono::steady_clock::now();
    return {volume, method, std::chrono::duration<double, std::milli>(end - start).count(), items,
            ok};
}

void benchVolume(const std::string& volume, const std::string& root, int count, bool withGio,
                 std::vector<Row>* rows) {
    // Ours, for the user the process is: one call per item, and the items as one run.
    {
        const std::vector<std::string> files = makeFiles(root + "/ours", count);
        const platform::UserSession self = sessionFor(geteuid(), root, root + "/data-ours");
        rows->push_back(timed(volume, "MoveToTrash, a call per item", files.size(), [&] {
            for (const std::string& f : files) {
                if (!platform::MoveToTrash(f, self).ok)
                    return false;
            }
            return countEntries(root + "/data-ours/Trash/files") == files.size();
        }));
    }
    {
        const std::vector<std::string> files = makeFiles(root + "/ours-run", count);
        const platform::UserSession self = sessionFor(geteuid(), root, root + "/data-run");
        rows->push_back(timed(volume, "MoveToTrash, one run", files.size(), [&] {
            for (const platform::TrashResult& r : platform::MoveToTrash(files, self)) {
                if (!r.ok)
                    return false;
            }
            return countEntries(root + "/data-run/Trash/files") == files.size();
        }));
    }
    // Ours, root acting for another user (the trash folders and records get that owner).
    if (geteuid() == 0) {
        const std::string home = root + "/home-nobody";
        mkdir(home.c_str(), 0755);
        if (chown(home.c_str(), 65534, 65534) != 0)
            std::perror("chown");
        const std::vector<std::string> files = makeFiles(root + "/ours-for-user", count);
        const platform::UserSession user = sessionFor(65534, home, home + "/data");
        rows->push_back(timed(volume, "MoveToTrash, run, root for user", files.size(), [&] {
            for (const platform::TrashResult& r : platform::MoveToTrash(files, user)) {
                if (!r.ok)
                    return false;
            }
            return countEntries(home + "/data/Trash/files") == files.size();
        }));
    }
    if (withGio) {
        const std::vector<std::string> files = makeFiles(root + "/gio", count);
        rows->push_back(timed(volume, "gio trash (1000 per run)", files.size(), [&] {
            return runBatched({"gio", "trash"}, files, {"XDG_DATA_HOME=" + root + "/data-gio"}) &&
                   countEntries(root + "/data-gio/Trash/files") == files.size();
        }));
    }
    {
        const std::vector<std::string> files = makeFiles(root + "/mv", count);
        mkdir((root + "/mv-target").c_str(), 0755);
        rows->push_back(timed(volume, "mv (1000 per run)", files.size(), [&] {
            return runBatched({"mv", "-t", root + "/mv-target"}, files, {}) &&
                   countEntries(root + "/mv-target") == files.size();
        }));
    }
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const std::string diskFolder = argc > 2 ? argv[2] : "/tmp";

    // A tmpfs of our own in a private mount namespace when we may, else /dev/shm.
    std::string tmpfsRoot;
    char pattern[] = "/tmp/orbisca-bench-tmpfs-XXXXXX";
    if (geteuid() == 0 && unshare(CLONE_NEWNS) == 0 &&
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 && mkdtemp(pattern) &&
        mount("orbisca-bench", pattern, "tmpfs", 0, "mode=0755") == 0) {
        tmpfsRoot = pattern;
    } else {
        char shm[] = "/dev/shm/orbisca-bench-XXXXXX";
        if (!mkdtemp(shm)) {
            std::perror("mkdtemp");
            return 1;
        }
        tmpfsRoot = shm;
    }
    chmod(tmpfsRoot.c_str(), 0755);
    struct statfs fs {};
    if (statfs(tmpfsRoot.c_str(), &fs) != 0 || fs.f_type != kTmpfsMagic)
        std::fprintf(stderr, "warning: %s is not a tmpfs\n", tmpfsRoot.c_str());

    const bool gio = onPath("gio");
    std::vector<Row> rows;
    benchVolume("tmpfs", tmpfsRoot, count, false, &rows);
    if (diskFolder != "-") {
        std::string diskRoot = diskFolder + "/orbisca-bench-disk-XXXXXX";
        if (!mkdtemp(diskRoot.data())) {
            std::perror("mkdtemp");
            return 1;
        }
        chmod(diskRoot.c_str(), 0755);
        benchVolume("disk", diskRoot, count, gio, &rows);
        removeTree(diskRoot);
    }
    removeTree(tmpfsRoot);
    umount2(tmpfsRoot.c_str(), MNT_DETACH);
    rmdir(tmpfsRoot.c_str());

    std::printf("%d files of 100 bytes each; gio %s\n", count,
                gio ? "found" : "not installed (libglib2.0-bin)");
    std::printf("%-6s %-32s %10s %12s %s\n", "volume", "method", "total ms", "us per item",
                "result");
    for (const Row& row : rows)
        std::printf("%-6s %-32s %10.1f %12.2f %s\n", row.volume.c_str(), row.method.c_str(), row.ms,
                    row.ms * 1000.0 / static_cast<double>(row.items),
                    row.ok ? "all moved" : "FAILED");
    for (const Row& row : rows) {
        if (!row.ok)
            return 1;
    }
    return 0;
}
