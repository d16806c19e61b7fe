// Deleting selected items from a large analysis in the analyser window, offscreen: a tree of
// about 1,000,000 entries on a tmpfs (our own mount when run as root, else /dev/shm), analysed,
// then 10,000 selected files moved to the trash on that tmpfs
//   - in the files view, rows spread over the whole list (every n-th row), and
//   - in the structure view, a folder of 10,000 files with every row selected.
// For each: the whole delete as the user waits for it, the trash moves themselves (timed in the
// trash call), the rest (tree, totals, list, status line) and the longest stretch without an
// event-loop turn. Beside it, in the same run, `mv` of 10,000 other files on the same tmpfs and
// `gio trash` of 10,000 files on the disk folder given (GIO refuses to trash on a tmpfs), 1000
// per invocation.
//
//   bench_delete [entries=1000000] [disk folder=/var/tmp, or - for none]

#include "analysis/nogui_Orbisca.h"
#include "bench/LoopWatchdog.h"
#include "bench/WindowControls.h"
#include "platform/CommandLine.h"
#include "platform/DriveTable.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/Trash.h"
#include "platform/UserSession.h"
#include "skin/Fonts.h"
#include "skin/LumoButton2.h"
#include "views/DirectoryListBox.h"
#include "views/DriveComboBoxEx.h"
#include "views/FormORB.h"
#include "views/VirtualDrawTree.h"

#include <QApplication>
#include <QDir>
#include <QItemSelection>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <fcntl.h>
#include <ftw.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr long kTmpfsMagic = 0x01021994;
constexpr int kItems = 10000;

using bench::now;
using bench::Watchdog;

// count sparse files of 1 to 64 KiB in folder; their paths.
std::vector<std::string> makeFiles(const std::string& folder, int count) {
    ::mkdir(folder.c_str(), 0755);
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/item-%05d.bin", i);
        paths.push_back(folder + name);
        const int fd = ::open(paths.back().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::ftruncate(fd, 1024 + (i * 7919) % 65536) != 0) {
            std::perror(paths.back().c_str());
            std::exit(1);
        }
        ::close(fd);
    }
    return paths;
}

void removeTree(const std::string& path) {
    ::nftw(
        path.c_str(),
        [](const char* p, const struct stat*, int type, FTW*) {
            if (type == FTW_DP)
                ::rmdir(p);
            else
                ::unlink(p);
            return 0;
        },
        64, FTW_DEPTH | FTW_PHYS);
}

// program + fixed arguments + the paths, 1000 paths per invocation.
double runBatched(const QString& program, const QStringList& fixed,
                  const std::vector<std::string>& paths, const QProcessEnvironment& env) {
    const double t0 = now();
    for (size_t start = 0; start < paths.size(); start += 1000) {
        QStringList args = fixed;
        for (size_t i = start; i < paths.size() && i < start + 1000; ++i)
            args << QFile::decodeName(QByteArray::fromStdString(paths[i]));
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(program, args);
        if (!p.waitForFinished(-1) || p.exitCode() != 0) {
            std::fprintf(stderr, "%s failed: %s\n", program.toLocal8Bit().constData(),
                         p.readAllStandardError().constData());
            return -1;
        }
    }
    return now() - t0;
}

struct Figures {
    double total = 0, trash = 0, gap = 0;
    size_t rowsBefore = 0, rowsAfter = 0, nodesBefore = 0, nodesAfter = 0;
    uint32_t filesBefore = 0, filesAfter = 0;
    int failures = 0;
};

double g_trashSeconds = 0;
int g_trashFailures = 0;

Figures deleteSelected(views::TForm_ORB& w, Watchdog& dog) {
    views::TVirtualDrawTree& list =
        *bench::Find<views::TVirtualDrawTree>(&w, "VirtualDrawTree_ORB_QO16");
    Figures f;
    f.rowsBefore = size_t(list.VisibleRowCount());
    f.nodesBefore = w.VirtualDrawTree1.NodeCount();
    f.filesBefore = w.Orbisca->TotalFiles();
    g_trashSeconds = 0;
    g_trashFailures = 0;
    QApplication::processEvents();
    dog.Arm();
    const double t0 = now();
    w.PopUp_DeleteClick();
    f.total = now() - t0;
    f.gap = dog.Disarm();
    f.trash = g_trashSeconds;
    f.failures = g_trashFailures;
    f.rowsAfter = size_t(list.VisibleRowCount());
    f.nodesAfter = w.VirtualDrawTree1.NodeCount();
    f.filesAfter = w.Orbisca->TotalFiles();
    return f;
}

void print(const char* what, const Figures& f) {
    std::printf("%s\n", what);
    std::printf("  rows %zu -> %zu, nodes %zu -> %zu, files %u -> %u, not trashed %d\n",
                f.rowsBefore, f.rowsAfter, f.nodesBefore, f.nodesAfter, f.filesBefore, f.filesAfter,
                f.failures);
    std::printf("  delete as the user waits  %8.3f s\n", f.total);
    std::printf("  trash moves (one call)    %8.3f s   %6.2f us per item\n", f.trash,
                f.trash * 1e6 / kItems);
    std::printf("  tree, totals, list        %8.3f s   (the rest)\n", f.total - f.trash);
    std::printf("  longest stretch without an event-loop turn %.1f ms\n", f.gap * 1e3);
}

} // namespace

int main(int argc, char** argv) {
    const long entries = argc > 1 ? std::atol(argv[1]) : 1000000;
    const std::string diskFolder = argc > 2 ? argv[2] : "/var/tmp";

    // A tmpfs of our own in a private mount namespace when we may (before any thread starts).
    std::string tmpfs;
    char pattern[] = "/tmp/orbisca-bench-delete-XXXXXX";
    if (::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 && ::mkdtemp(pattern) &&
        ::mount("orbisca-bench", pattern, "tmpfs", 0, "mode=0755") == 0) {
        tmpfs = pattern;
    } else {
        char shm[] = "/dev/shm/orbisca-bench-delete-XXXXXX";
        if (!::mkdtemp(shm)) {
            std::perror("mkdtemp");
            return 1;
        }
        tmpfs = shm;
    }
    struct statfs fs {};
    if (::statfs(tmpfs.c_str(), &fs) != 0 || fs.f_type != kTmpfsMagic)
        std::fprintf(stderr, "warning: %s is not a tmpfs\n", tmpfs.c_str());

    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir hive;
    qputenv("ORBISCA_HIVE", hive.filePath(QStringLiteral("bench.hive")).toLocal8Bit());
    QApplication app(argc, argv);
    skin::InstallProgramFonts();

    // The drive: a generated tree beside a folder of 10,000 files, about `entries` in all.
    const std::string drive = tmpfs + "/drive";
    ::mkdir(drive.c_str(), 0755);
    {
        QProcess gen;
        gen.start(QStringLiteral(ORBISCA_BENCH_DIR "/bench_gentree"),
                  {QString::fromStdString(drive + "/tree"), QString::number(entries - kItems - 2)});
        gen.waitForFinished(-1);
    }
    makeFiles(drive + "/victims", kItems);

    QTemporaryDir prog(QStringLiteral("/dev/shm/orbisca-bench-XXXXXX"));
    for (const char* entry : {"undelete.so", "skins", "translation"})
        QFile::link(QStringLiteral(ORBISCA_BIN_DIR "/") + QLatin1String(entry),
                    prog.path() + u'/' + QLatin1String(entry));
    for (char16_t l = u'A'; l <= u'Z'; ++l)
        platform::SetDriveRoot(l, "");
    platform::SetDriveRoot(u'R', prog.path().toStdString());
    platform::SetDriveRoot(u'G', drive);
    platform::SetProgramFolder(QStringLiteral("R:"));
    platform::SetProgramArguments({QStringLiteral("-NOVERSION")});

    // The user's trash: the process's own user, with its data folder on the tmpfs.
    platform::SessionProbe probe = platform::SystemSessionProbe();
    probe.environment = {{"XDG_DATA_HOME", tmpfs + "/data"}};
    probe.lookupUser = [&tmpfs](uid_t uid) -> std::optional<platform::PasswdEntry> {
        return platform::PasswdEntry{uid, static_cast<gid_t>(::getegid()), "benchmark", tmpfs};
    };
    const platform::UserSession user = platform::ResolveUserSession(probe);
    platform::SetTrashHandler([&user](const std::vector<platform::ListedItem>& paths) {
        const double t0 = now();
        std::vector<platform::TrashResult> results = platform::MoveToTrash(paths, user);
        g_trashSeconds = now() - t0;
        for (const platform::TrashResult& r : results)
            g_trashFailures += r.ok ? 0 : 1;
        return results;
    });
    platform::SetMessageBoxHandler([](const QString& text, const QString&, unsigned type) {
        if ((type & 0x0F) == platform::MB_YESNO)
            return int(platform::IDYES);
        std::fprintf(stderr, "message: %s\n", text.toLocal8Bit().constData());
        return int(platform::IDOK);
    });

    Watchdog dog;
    QWidget host;
    host.resize(1122, 737);
    auto* window = new views::TForm_ORB(&host);
    window->setGeometry(0, 57, 1122, 680);
    host.show();
    QApplication::processEvents();
    // A RAM disk is no drive the window offers: the benchmark offers it.
    auto* drives = bench::Find<views::TDriveComboBoxEx>(window, "DriveComboBoxEx1");
    drives->FillFromDriveTable();
    drives->RemoveEntriesWhere([](char16_t l) { return l != u'G'; });
    auto* analyseButton = bench::Find<skin::TLumoButton2>(window, "LumoButton_Analyse");
    const double a0 = now();
    analyseButton->Click();
    std::printf("%zu entries analysed on a tmpfs in %.2f s; %d processors, load ",
                window->VirtualDrawTree1.NodeCount(), now() - a0,
                int(std::thread::hardware_concurrency()));
    {
        std::ifstream load("/proc/loadavg");
        std::string one, five;
        load >> one >> five;
        std::printf("%s %s\n\n", one.c_str(), five.c_str());
    }
    views::TVirtualDrawTree& list =
        *bench::Find<views::TVirtualDrawTree>(window, "VirtualDrawTree_ORB_QO16");

    // Files view: every n-th row, 10,000 in all, spread over the whole list.
    bench::Find<skin::TLumoButton2>(window, "LumoButton_Files")->Click();
    {
        const int rows = list.VisibleRowCount();
        const int step = std::max(1, rows / kItems);
        QItemSelection selection;
        for (int p = step / 2, n = 0; p < rows && n < kItems; p += step, ++n)
            selection.select(list.model()->index(p, 0), list.model()->index(p, 0));
        list.selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect |
                                                     QItemSelectionModel::Rows);
    }
    print("Files view, 10,000 rows spread over the list:", deleteSelected(*window, dog));

    // Structure view: a folder of 10,000 files, all selected.
    bench::Find<skin::TLumoButton2>(window, "LumoButton_Folders")->Click();
    bench::Find<views::TDirectoryListBox>(window, "JvDirectoryListBox1")
        ->SetDirectory(QStringLiteral("G:\\victims"));
    list.selectAll();
    print("\nStructure view, a folder of 10,000 files, all selected:",
          deleteSelected(*window, dog));
    window->close();
    delete window;

    // Peers, 10,000 files each, in the same run.
    std::printf("\nPeers (1000 files per invocation):\n");
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const std::vector<std::string> mvItems = makeFiles(tmpfs + "/mv-items", kItems);
    ::mkdir((tmpfs + "/mv-target").c_str(), 0755);
    const double mv = runBatched(
        QStringLiteral("mv"), {QStringLiteral("-t"), QString::fromStdString(tmpfs + "/mv-target")},
        mvItems, env);
    std::printf("  mv on the tmpfs           %8.3f s   %6.2f us per item\n", mv, mv * 1e6 / kItems);
    if (diskFolder != "-" && !QStandardPaths::findExecutable(QStringLiteral("gio")).isEmpty()) {
        std::string disk = diskFolder + "/orbisca-bench-delete-XXXXXX";
        if (::mkdtemp(disk.data())) {
            const std::vector<std::string> gioItems = makeFiles(disk + "/items", kItems);
            QProcessEnvironment gioEnv = env;
            gioEnv.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString(disk + "/data"));
            const double gio =
                runBatched(QStringLiteral("gio"), {QStringLiteral("trash")}, gioItems, gioEnv);
            std::printf("  gio trash on the disk     %8.3f s   %6.2f us per item\n", gio,
                        gio * 1e6 / kItems);
            removeTree(disk);
        }
    } else {
        std::printf("  gio trash: not run (no gio, or no disk folder)\n");
    }

    removeTree(tmpfs);
    ::umount2(tmpfs.c_str(), MNT_DETACH);
    ::rmdir(tmpfs.c_str());
    return 0;
}
