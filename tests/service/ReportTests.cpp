// orbisca-report as users run it: totals against an independent lstat walk, every CSV row
// leading back to its native entry, and the exit codes with their one-line messages.

#include "ReportRunner.h"
#include "TestTree.h"

#include "platform/NameCodec.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <pty.h>
#include <sys/wait.h>

#include <sys/mount.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <fstream>
#include <functional>
#include <set>
#include <map>
#include <sstream>
#include <vector>

using testtree::TempDir;
using namespace reporttest;

namespace {

// RFC 4180 records: quoted fields may hold commas, quotes (doubled), CR and LF.
std::vector<std::vector<std::string>> parseCsv(const std::string& text, bool& wellFormed) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    wellFormed = true;
    size_t i = 0;
    bool quoted = false, fieldStarted = false;
    while (i < text.size()) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                i += 2;
            } else if (c == '"') {
                quoted = false;
                ++i;
            } else {
                field += c;
                ++i;
            }
            continue;
        }
        if (c == '"' && !fieldStarted) {
            quoted = fieldStarted = true;
            ++i;
        } else if (c == ',') {
            row.push_back(field);
            field.clear();
            fieldStarted = false;
            ++i;
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            row.push_back(field);
            rows.push_back(row);
            row.clear();
            field.clear();
            fieldStarted = false;
            i += 2;
        } else if (c == '\r' || c == '\n' || c == '"') {
            wellFormed = false; // bare line breaks and quotes belong inside quoted fields
            ++i;
        } else {
            field += c;
            fieldStarted = true;
            ++i;
        }
    }
    if (quoted || !row.empty() || !field.empty())
        wellFormed = false;
    return rows;
}

struct Totals {
    uint64_t files = 0, folders = 0, bytes = 0;
};

// The independent count: lstat on every entry. A link to a folder is a folder entry that is not
// entered; any other link is a file of no size.
void lstatWalk(const std::string& folder, Totals& t) {
    DIR* dir = ::opendir(folder.c_str());
    ASSERT_NE(dir, nullptr);
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string path = folder + "/" + name;
        struct stat st{};
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        if (S_ISDIR(st.st_mode)) {
            ++t.folders;
            lstatWalk(path, t);
        } else if (S_ISLNK(st.st_mode)) {
            struct stat target{};
            if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode))
                ++t.folders;
            else
                ++t.files;
        } else {
            ++t.files;
            t.bytes += static_cast<uint64_t>(st.st_size);
        }
    }
    ::closedir(dir);
}


// The path column expected for a native path below root: display names joined with
// backslashes, a file's own name trimmed of blanks and control characters, escapes of bytes
// that are not UTF-8 written as U+FFFD.
std::string expectedPath(const std::string& drive, const std::string& root, const std::string& native,
                         bool isFolder) {
    std::u16string path;
    std::string rest = native.substr(root.size());
    std::vector<std::u16string> parts;
    for (size_t start = 0; start < rest.size();) {
        const size_t slash = rest.find('/', start);
        const std::string part = rest.substr(start, slash - start);
        if (!part.empty())
            parts.push_back(platform::DecodeNativeName(part));
        start = slash == std::string::npos ? rest.size() : slash + 1;
    }
    if (!isFolder && !parts.empty()) {
        std::u16string& n = parts.back();
        while (!n.empty() && n.back() <= 0x20)
            n.pop_back();
        while (!n.empty() && n.front() <= 0x20)
            n.erase(n.begin());
    }
    for (size_t i = 0; i < parts.size(); ++i)
        path += (i ? u"\\" : u"") + parts[i];
    std::string out = drive;
    for (size_t i = 0; i < path.size(); ++i) {
        char32_t cp = path[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < path.size() && path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (path[++i] - 0xDC00);
        else if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = 0xFFFD;
        platform::codec_detail::appendUtf8(out, cp);
    }
    return out;
}

TEST(Report, TotalsEqualAnLstatWalkAndEveryCsvRowLeadsBackToItsEntry) {
    TempDir dir;
    makeGeneratedTree(dir);
    Totals oracle;
    lstatWalk(dir.path(), oracle);

    TempDir out;
    const std::string csvFile = out / "nodes.csv";
    const RunResult r = runReport({"--top", "3", "--csv", csvFile, dir.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "") << "no progress bar when stderr is not a terminal";
    EXPECT_EQ(reported(r.out, "Files:"), oracle.files);
    EXPECT_EQ(reported(r.out, "Folders:"), oracle.folders);
    EXPECT_EQ(reported(r.out, "Bytes:"), oracle.bytes);
    EXPECT_NE(r.out.find("Largest files"), std::string::npos);
    EXPECT_NE(r.out.find("3,145,728"), std::string::npos) << "the 3 MiB file is among the largest";

    bool wellFormed = false;
    const auto rows = parseCsv(slurp(csvFile), wellFormed);
    EXPECT_TRUE(wellFormed);
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"path", "native_path", "size", "folders", "files", "is_folder"}));
    const std::string drive = rows[1][0];
    ASSERT_EQ(drive.size(), 3u);
    EXPECT_EQ(drive.substr(1), ":\\");
    EXPECT_EQ(rows[1][1], dir.path());
    EXPECT_EQ(rows[1][2], std::to_string(oracle.bytes));
    EXPECT_EQ(rows[1][3], std::to_string(oracle.folders));
    EXPECT_EQ(rows[1][4], std::to_string(oracle.files));

    size_t fileRows = 0;
    for (size_t i = 1; i < rows.size(); ++i) {
        const auto& row = rows[i];
        ASSERT_EQ(row.size(), 6u);
        const std::string& native = row[1];
        struct stat st{};
        ASSERT_EQ(::lstat(native.c_str(), &st), 0) << native;
        const bool folder = row[5] == "1";
        EXPECT_EQ(folder, S_ISDIR(st.st_mode)) << native;
        if (!folder) {
            ++fileRows;
            EXPECT_EQ(row[2], std::to_string(S_ISLNK(st.st_mode) ? 0 : st.st_size)) << native;
        }
        if (i > 1) {
            EXPECT_EQ(row[0], expectedPath(drive, dir.path(), native, folder)) << native;
        }
    }
    EXPECT_EQ(fileRows, oracle.files);
}

// ---- Results that are not the whole drive, and output that cannot be written ----------------

// A tree of about 2 MiB of records: folders of files with long names.
void makeWideTree(const TempDir& dir, int folders, int files) {
    for (int d = 0; d < folders; ++d) {
        const std::string folder = dir / ("folder" + std::to_string(d));
        testtree::makeDir(folder);
        for (int f = 0; f < files; ++f)
            testtree::writeFile(folder + "/" + std::string(60, 'n') + std::to_string(f), 1);
    }
}

// A folder on a temporary file system, where there is one (/dev/shm): huge sparse files and
// deep trees cost nothing there.
const char* memoryFolder() {
    struct stat st{};
    return ::stat("/dev/shm", &st) == 0 && ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : nullptr;
}

TEST(Report, AnAnalysisCutShortFailsWithItsReasonAndKeepsTheOldCsv) {
    TempDir dir(memoryFolder());
    makeWideTree(dir, 8, 1000);
    TempDir out;
    const std::string csvFile = out / "nodes.csv";
    { std::ofstream(csvFile) << "old contents\n"; }
    RunOptions tinyArena;
    tinyArena.env = {{"ORBISCA_SERVICE_ARENA_BYTES", "1048576"}};
    const RunResult r = runReport({"--csv", csvFile, dir.path()}, tinyArena);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.out, "") << "a part of the drive is never reported as the whole";
    EXPECT_EQ(r.err.rfind("orbisca-report: the analysis of " + dir.path() +
                              " is incomplete: the snapshot's record memory of 1.0 MiB "
                              "(ORBISCA_SERVICE_ARENA_BYTES) was used up after ",
                          0),
              0u)
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(slurp(csvFile) == "old contents\n") << "the old file was replaced";
    EXPECT_EQ(testtree::countEntries(out.path()), 1) << "no temporary file is left behind";
}

TEST(Report, ADeepTreeIsReadWholeUnderALowLimitOfOpenFiles) {
    // 5,000 levels, each with the next level, an empty folder and a file of one byte.
    TempDir dir(memoryFolder());
    constexpr int kDepth = 5000;
    int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < kDepth; ++level) {
        ASSERT_EQ(::mkdirat(fd, "empty", 0755), 0);
        testtree::writeFileAt(fd, "f", 1);
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    ::close(fd);
    RunOptions lowLimit;
    lowLimit.inChild = [] {
        const rlimit lim{64, 64};
        ::setrlimit(RLIMIT_NOFILE, &lim);
    };
    const RunResult r = runReport({"--top", "0", dir.path()}, lowLimit);
    testtree::removeDeepTree(dir / "d");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(reported(r.out, "Files:"), static_cast<uint64_t>(kDepth));
    EXPECT_EQ(reported(r.out, "Folders:"), static_cast<uint64_t>(2 * kDepth));
    EXPECT_EQ(reported(r.out, "Bytes:"), static_cast<uint64_t>(kDepth));
}

TEST(Report, UnreadableFoldersAreNamedOnStderrWithoutFailingTheRun) {
    TempDir dir;
    testtree::makeDir(dir / "locked");
    testtree::writeFile(dir / "locked/secret", 5);
    // Listed but not searchable: the names are there, their types come from the listing.
    testtree::makeDir(dir / "listed");
    testtree::writeFile(dir / "listed/file", 7);
    testtree::makeDir(dir / "listed/sub");
    testtree::writeFile(dir / "listed/sub/deeper", 9);
    testtree::writeFile(dir / "open", 3);
    ASSERT_EQ(::chmod((dir / "locked").c_str(), 0), 0);
    ASSERT_EQ(::chmod((dir / "listed").c_str(), 0644), 0);
    RunOptions nobody; // permissions do not hold for root
    nobody.inChild = [] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(126);
    };
    const RunResult r = runReport({"--top", "0", dir.path()}, nobody);
    ::chmod((dir / "locked").c_str(), 0755);
    ::chmod((dir / "listed").c_str(), 0755);
    if (r.exitCode == 126 || r.exitCode == 127)
        GTEST_SKIP() << "the report cannot run without rights here";
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(reported(r.out, "Files:"), 2u) << r.out;   // open, listed\file (size unknown)
    EXPECT_EQ(reported(r.out, "Folders:"), 3u) << r.out; // locked, listed, listed\sub
    EXPECT_EQ(reported(r.out, "Bytes:"), 3u) << r.out;
    EXPECT_EQ(reported(r.out, "Unreadable folders:"), 3u) << r.out;
    std::istringstream lines(r.err);
    std::string first, line;
    std::getline(lines, first);
    EXPECT_EQ(first, "orbisca-report: 3 folders could not be read; what they hold is missing from the totals:");
    std::set<std::string> named;
    while (std::getline(lines, line))
        named.insert(line);
    const std::string drive = r.out.substr(r.out.find("Drive ") + 6, 3);
    const auto entry = [&](const std::string& windows, const std::string& native) {
        return "orbisca-report:   " + drive + windows + " (" + dir / native + ")";
    };
    EXPECT_EQ(named, (std::set<std::string>{entry("locked", "locked"), entry("listed", "listed"),
                                            entry("listed\\sub", "listed/sub")}))
        << r.err;
}

// A folder renamed after it was listed, before it was read: the run still succeeds, but the
// totals say they miss it and stderr names it, as for a folder that could not be read. The
// report runs from a program folder of its own, beside a service that renames the folder at
// that moment.
TEST(Report, AFolderMovedBeforeItIsReadIsNamedAsUnreadable) {
    TempDir dir;
    testtree::writeFile(dir / "file", 5);
    testtree::makeDir(dir / "victim");
    for (int i = 0; i < 20; ++i)
        testtree::writeFile(dir / ("victim/in" + std::to_string(i)), 100);
    for (const char* other : {"other1", "other2"}) {
        testtree::makeDir(dir / other);
        testtree::writeFile(dir / other + "/x", 1);
    }
    TempDir program;
    const auto copy = [&](const std::string& from, const std::string& name) {
        std::ofstream(program / name, std::ios::binary) << slurp(from);
        ::chmod((program / name).c_str(), 0755);
    };
    copy(ORBISCA_REPORT_PROGRAM, "orbisca-report");
    copy(HOOKED_SERVICE_DIR "/undelete.so", "undelete.so");
    RunOptions hooked;
    hooked.program = program / "orbisca-report";
    hooked.env = {{"ORBISCA_TEST_VANISH", "after:rename:victim"}, {"ORBISCA_SERVICE_THREADS", "1"}};
    const RunResult r = runReport({"--top", "0", dir.path()}, hooked);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(reported(r.out, "Files:"), 3u) << r.out;
    EXPECT_EQ(reported(r.out, "Bytes:"), 7u) << r.out;
    EXPECT_EQ(reported(r.out, "Unreadable folders:"), 1u) << r.out;
    const std::string drive = r.out.substr(r.out.find("Drive ") + 6, 3);
    EXPECT_EQ(r.err, "orbisca-report: 1 folder could not be read; what it holds is missing from "
                     "the totals:\norbisca-report:   " +
                         drive + "victim (" + dir / "victim" + ")\n");
    EXPECT_EQ(testtree::countEntries(dir / "victim.moved"), 20);
}

TEST(Report, HugeSparseFilesSaturateTheTotalsInsteadOfWrapping) {
    TempDir dir(memoryFolder());
    for (const char* name : {"a", "b"}) {
        const int fd = ::open((dir / name).c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        const bool sized = ::ftruncate(fd, INT64_MAX) == 0;
        ::close(fd);
        if (!sized)
            GTEST_SKIP() << "no file system here takes a file of 2^63-1 bytes";
    }
    TempDir out;
    const RunResult r = runReport({"--top", "1", "--csv", out / "n.csv", dir.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Bytes:   9,223,372,036,854,775,807\n"), std::string::npos) << r.out;
    bool wellFormed = false;
    const auto rows = parseCsv(slurp(out / "n.csv"), wellFormed);
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[1][2], "9223372036854775807");
}

TEST(Report, AnAddressSpaceLimitGetsASmallerReservation) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer needs more address space than any such limit";
#else
    TempDir dir;
    makeWideTree(dir, 3, 200);
    RunOptions limited;
    limited.inChild = [] {
        const rlimit lim{1500000ul * 1024, 1500000ul * 1024}; // ulimit -v 1500000
        ::setrlimit(RLIMIT_AS, &lim);
    };
    const RunResult r = runReport({"--top", "0", dir.path()}, limited);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(reported(r.out, "Files:"), 600u);
#endif
}

TEST(Report, OutputThatCannotBeWrittenFailsAndNeverReplacesTheOldCsv) {
    TempDir dir;
    makeGeneratedTree(dir);

    // Standard output on a full device, the help text included.
    for (const std::vector<std::string>& args : {std::vector<std::string>{dir.path()},
                                                  std::vector<std::string>{"--help"}}) {
        RunOptions full;
        full.stdoutPath = "/dev/full";
        const RunResult r = runReport(args, full);
        EXPECT_EQ(r.exitCode, 1) << args[0];
        EXPECT_EQ(r.err, "orbisca-report: cannot write standard output: No space left on device\n");
    }

    // Targets that are no regular file are refused before the analysis, without waiting on them.
    TempDir targets;
    ASSERT_EQ(::mkfifo((targets / "fifo").c_str(), 0644), 0);
    testtree::makeDir(targets / "folder");
    for (const std::string& target : {targets / "fifo", targets / "folder", std::string("/dev/full")}) {
        const RunResult r = runReport({"--csv", target, dir.path()});
        EXPECT_EQ(r.exitCode, 2) << target;
        EXPECT_EQ(r.err, "orbisca-report: cannot write " + target + ": not a regular file\n");
        EXPECT_EQ(r.out, "");
    }

    // A disk that fills up while the CSV (about 60 KiB) is written: a file system of 16 KiB
    // where we may mount one, else a limit on the size of files the report may write.
    TempDir small;
    const bool mounted = ::mount("tmpfs", small.path().c_str(), "tmpfs", 0, "size=16k") == 0;
    const std::string csvFile = small / "nodes.csv";
    { std::ofstream(csvFile) << "old contents\n"; }
    ASSERT_EQ(::chmod(csvFile.c_str(), 0640), 0);
    RunOptions fillUp;
    if (!mounted)
        fillUp.inChild = [] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit lim{16 * 1024, 16 * 1024};
            ::setrlimit(RLIMIT_FSIZE, &lim);
        };
    const RunResult r = runReport({"--top", "0", "--csv", csvFile, dir.path()}, fillUp);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "orbisca-report: cannot write " + csvFile + ": " +
                         (mounted ? "No space left on device" : "File too large") + "\n");
    EXPECT_TRUE(slurp(csvFile) == "old contents\n") << "the old file was replaced";
    EXPECT_EQ(testtree::countEntries(small.path()), 1) << "no temporary file is left behind";

    // A CSV that fits replaces the old file whole, with the old file's permissions.
    const RunResult ok = runReport({"--top", "0", "--csv", csvFile, dir / "top0/mid0"});
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_EQ(slurp(csvFile).rfind("path,native_path,", 0), 0u);
    struct stat st{};
    ASSERT_EQ(::stat(csvFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    if (mounted)
        ::umount(small.path().c_str());
}

TEST(Report, DrawsAProgressBarOnATerminal) {
    TempDir dir;
    testtree::writeFile(dir / "a", 1);
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1); // the report itself is not wanted, stderr stays the terminal
        ::setenv("ORBISCA_SUBST_FILE", "/nonexistent", 1);
        ::unsetenv("ORBISCA_SUBST");
        ::execl(ORBISCA_REPORT_PROGRAM, ORBISCA_REPORT_PROGRAM, "--top", "0", dir.path().c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string shown;
    char buf[4096];
    for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;)
        shown.append(buf, static_cast<size_t>(n));
    ::close(master);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(shown.find("\r[#"), std::string::npos) << shown;
    EXPECT_NE(shown.find("] 100%"), std::string::npos) << shown;
}

TEST(Report, ExitCodesAndOneLineMessages) {
    TempDir dir;
    testtree::writeFile(dir / "a", 1);
    const struct {
        std::vector<std::string> args;
        int code;
    } cases[] = {
        {{}, 2},
        {{"--top"}, 2},
        {{"--top", "many", dir.path()}, 2},
        {{"--top", "-1", dir.path()}, 2},
        {{"--csv"}, 2},
        {{"--bogus", dir.path()}, 2},
        {{dir.path(), dir.path()}, 2},
        {{"B:"}, 2}, // never an automatic letter
        {{"b:\\"}, 2},
        {{dir / "missing"}, 2},
        {{dir / "a"}, 2}, // a file is no folder
        {{"--csv", dir / "no/such/folder.csv", dir.path()}, 2},
        {{"--top", "0", dir.path()}, 0},
        {{"--top=1", dir.path()}, 0},
        {{platform::WindowsPath(dir.path()).toStdString() + "\\"}, 0}, // a Windows path
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& a : c.args)
            shown += a + " ";
        const RunResult r = runReport(c.args);
        EXPECT_EQ(r.exitCode, c.code) << shown << "\n" << r.err;
        if (c.code != 0) {
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown << r.err;
            EXPECT_EQ(r.err.rfind("orbisca-report: ", 0), 0u) << r.err;
            EXPECT_EQ(r.out, "");
        }
    }
    const RunResult help = runReport({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: orbisca-report", 0), 0u);

    // Without the service library beside it.
    TempDir lonely;
    const std::string copy = lonely / "orbisca-report";
    {
        std::ifstream in(ORBISCA_REPORT_PROGRAM, std::ios::binary);
        std::ofstream o(copy, std::ios::binary);
        o << in.rdbuf();
    }
    ASSERT_EQ(::chmod(copy.c_str(), 0755), 0);
    RunOptions lonelyRun;
    lonelyRun.program = copy;
    const RunResult missing = runReport({dir.path()}, lonelyRun);
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_EQ(missing.err, "orbisca-report: Error loading Undelete-DLL! Handle=0 ?\n");
}

// ---- Names that try to act on the terminal or on the CSV -------------------------------------

TEST(Report, NamesAreEscapedOnTheTerminalAndExactInTheCsv) {
    const struct {
        std::string name;
        std::string shown;
    } names[] = {
        {"esc\x1b[2Jclear", "esc\\033[2Jclear"},
        {"fake\nLargest files", "fake\\nLargest files"},
        {"tab\tcr\rbell\adone", "tab\\tcr\\rbell\\adone"},
        {"del\x7f" "c1\xc2\x9b" "31m", "del\\177c1\\302\\23331m"},
        {"bidi\xe2\x80\xae" "txt.exe", "bidi\\342\\200\\256txt.exe"},
        {"bad\xff" "byte", "bad\\377byte"},
        {"back\\slash", "back\\\\slash"},
        {"plain \xc3\xbcml\xc3\xa4ut", "plain \xc3\xbcml\xc3\xa4ut"},
    };
    TempDir dir;
    const std::string locked = "locked\x1b[2J\nfake";
    testtree::makeDir(dir / locked);
    ASSERT_EQ(::chmod((dir / locked).c_str(), 0), 0);
    size_t size = 1;
    for (const auto& n : names)
        testtree::writeFile(dir / n.name, size++);
    RunOptions nobody; // the locked folder is unreadable only without root's rights
    nobody.inChild = [] {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(126);
    };
    const RunResult r = runReport({"--top", "100", dir.path()}, nobody);
    ::chmod((dir / locked).c_str(), 0755);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string drive = r.out.substr(r.out.find("Drive ") + 6, 3);
    size = 1;
    for (const auto& n : names) {
        const std::string line = std::string(19, ' ') + std::to_string(size++) + "  " + drive + n.shown + "\n";
        EXPECT_NE(r.out.find(line), std::string::npos) << n.shown << "\n" << r.out;
    }
    EXPECT_EQ(r.err, "orbisca-report: 1 folder could not be read; what it holds is missing from the totals:\n"
                     "orbisca-report:   " + drive + "locked\\033[2J\\nfake (" + dir.path() + "/locked\\033[2J\\nfake)\n");
    for (const std::string* text : {&r.out, &r.err})
        for (const unsigned char c : *text)
            EXPECT_TRUE(c == '\n' || (c >= 0x20 && c != 0x7F)) << "raw byte " << int(c) << " in\n" << *text;
    EXPECT_EQ(r.out.find("\xc2\x9b"), std::string::npos);
    EXPECT_EQ(r.out.find("\xe2\x80\xae"), std::string::npos);

    // Names that spell CSV rows of their own stay one field of one row each.
    TempDir rows;
    const std::vector<std::string> crafted = {"evil\r\nZ:\\forged,forged,1,0,0,0", "two\nlines",
                                              "comma,name", "\"quoted\"", "mid\"quote", "cr\rx"};
    std::set<std::vector<std::string>> expected;
    for (size_t i = 0; i < crafted.size(); ++i) {
        testtree::writeFile(rows / crafted[i], 10 + i);
        expected.insert({rows / crafted[i], std::to_string(10 + i)});
    }
    TempDir out;
    const RunResult csv = runReport({"--top", "0", "--csv", out / "n.csv", rows.path()});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    bool wellFormed = false;
    const auto parsed = parseCsv(slurp(out / "n.csv"), wellFormed);
    EXPECT_TRUE(wellFormed);
    ASSERT_EQ(parsed.size(), crafted.size() + 2);
    std::set<std::vector<std::string>> files;
    for (size_t i = 2; i < parsed.size(); ++i) {
        ASSERT_EQ(parsed[i].size(), 6u);
        files.insert({parsed[i][1], parsed[i][2]});
    }
    EXPECT_EQ(files, expected);
}

// ---- CSV targets another local account may have prepared --------------------------------------

constexpr uid_t kMallory = 4242; // a second local account; it needs no entry in passwd
constexpr uid_t kNobody = 65534; // an account that exists, for PKEXEC_UID

void writeText(const std::string& path, const std::string& text, uid_t owner, mode_t mode) {
    { std::ofstream(path, std::ios::binary) << text; }
    ASSERT_EQ(::chown(path.c_str(), owner, owner), 0);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

void plantLink(const std::string& target, const std::string& path, uid_t owner) {
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
    ASSERT_EQ(::lchown(path.c_str(), owner, owner), 0);
}

// Every entry below folder with its type, owner, mode, inode and contents or link text.
void snapshot(const std::string& folder, std::map<std::string, std::string>& out) {
    DIR* dir = ::opendir(folder.c_str());
    ASSERT_NE(dir, nullptr);
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name, path = folder + "/" + name;
        struct stat st{};
        if (name == "." || name == ".." || ::lstat(path.c_str(), &st) != 0)
            continue;
        std::string& entry = out[path];
        entry = std::to_string(st.st_mode) + " " + std::to_string(st.st_uid) + " " + std::to_string(st.st_ino) + " ";
        if (S_ISLNK(st.st_mode)) {
            char text[PATH_MAX] = {};
            entry += std::string(text, static_cast<size_t>(std::max<ssize_t>(0, ::readlink(path.c_str(), text, sizeof text))));
        } else if (S_ISREG(st.st_mode)) {
            entry += slurp(path);
        } else if (S_ISDIR(st.st_mode)) {
            snapshot(path, out);
        }
    }
    ::closedir(dir);
}

std::map<std::string, std::string> snapshot(const std::vector<const TempDir*>& folders) {
    std::map<std::string, std::string> out;
    for (const TempDir* f : folders)
        snapshot(f->path(), out);
    return out;
}

TEST(Report, CsvTargetsThatAreLinksOrOtherUsersFilesWhereOthersMayWriteAreRefused) {
    TempDir tree;
    testtree::writeFile(tree / "a", 1);
    TempDir victim; // a folder the report must never write into
    writeText(victim / "config", "victim data\n", kMallory + 1, 0644);
    TempDir shared; // as /tmp is
    ASSERT_EQ(::chmod(shared.path().c_str(), 01777), 0);
    TempDir group; // writable by a group, not sticky
    ASSERT_EQ(::chmod(group.path().c_str(), 0770), 0);
    TempDir closed; // written by root alone
    plantLink(victim / "config", shared / "link.csv", kMallory);
    plantLink(victim / "new", shared / "dangling.csv", kMallory);
    plantLink(victim / "config", shared / "rootlink.csv", 0);
    plantLink(victim.path(), shared / "folderlink", kMallory);
    plantLink(closed.path(), shared / "rootfolderlink", 0);
    writeText(shared / "hers.csv", "hers\n", kMallory, 0600);
    writeText(group / "hers.csv", "hers\n", kMallory, 0600);
    writeText(shared / "desktop.csv", "old\n", kNobody, 0640);
    writeText(closed / "hers.csv", "hers\n", kMallory, 0666);
    writeText(shared / "wide.csv", "old\n", 0, 0666); // or another user's hard link to it
    RunOptions umask022;
    umask022.inChild = [] { ::umask(022); };

    const std::string link = "a symbolic link", foreign = "a file of another user in a folder others may write";
    const struct {
        std::string target, why;
    } refused[] = {
        {shared / "link.csv", link},
        {shared / "dangling.csv", link},
        {shared / "rootlink.csv", link}, // a link is never written through, whoever made it
        {shared / "folderlink/config", "the link folderlink on its way belongs to another user"},
        {shared / "hers.csv", foreign},
        {group / "hers.csv", foreign},
        {shared / "desktop.csv", foreign}, // the desktop user's file, but no desktop user given
    };
    const auto before = snapshot({&victim, &shared, &group, &closed});
    for (const auto& c : refused) {
        const RunResult r = runReport({"--csv", c.target, tree.path()}, umask022);
        EXPECT_EQ(r.exitCode, 2) << c.target;
        EXPECT_EQ(r.err, "orbisca-report: cannot write " + c.target + ": " + c.why + "\n");
        EXPECT_EQ(r.out, "") << "refused before the analysis";
    }
    EXPECT_EQ(snapshot({&victim, &shared, &group, &closed}), before);

    // The desktop user's own file, a file root keeps in its own folder and a root's link on the
    // way are replaced by a new file of root: nothing is chowned, and only a caller's file lends
    // its permissions, and only those the umask allows.
    const struct {
        std::string target;
        std::vector<std::pair<std::string, std::string>> env;
        mode_t mode;
    } accepted[] = {
        {shared / "desktop.csv", {{"PKEXEC_UID", std::to_string(kNobody)}}, 0640},
        {shared / "desktop.csv", {{"SUDO_UID", std::to_string(kNobody)}}, 0640},
        {closed / "hers.csv", {}, 0644},
        {shared / "wide.csv", {}, 0644},
        {shared / "rootfolderlink/new.csv", {}, 0644},
    };
    for (const auto& c : accepted) {
        RunOptions options = umask022;
        options.env = c.env;
        const RunResult r = runReport({"--top", "0", "--csv", c.target, tree.path()}, options);
        EXPECT_EQ(r.exitCode, 0) << c.target << "\n" << r.err;
        EXPECT_EQ(slurp(c.target).rfind("path,native_path,", 0), 0u) << c.target;
        struct stat st{};
        ASSERT_EQ(::lstat(c.target.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_uid, 0u) << c.target;
        EXPECT_EQ(st.st_mode & 07777, c.mode) << c.target;
    }
    for (const TempDir* folder : {&victim, &shared, &group, &closed})
        for (const auto& [path, entry] : snapshot({folder}))
            EXPECT_EQ(path.find("/.orbisca-report-"), std::string::npos) << "left behind: " << path;
}

// Runs the report with standard output on a pipe of one page and holds it at its first write,
// after the analysis and before the CSV is put in place (the listing needs many pages); calls
// held there, then reads the rest. held may close the read end.
RunResult runHeldAtFirstOutput(const std::vector<std::string>& args,
                               const std::function<void(pid_t, int& readEnd)>& held) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {};
    ::fcntl(fds[0], F_SETPIPE_SZ, 4096);
    RunOptions options;
    options.stdoutFd = fds[1];
    options.inChild = [] {
        for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
            std::signal(sig, SIG_DFL);
    };
    options.whileRunning = [&](pid_t pid) {
        char buffer[4096];
        if (::read(fds[0], buffer, 1) == 1)
            held(pid, fds[0]);
        while (fds[0] >= 0 && ::read(fds[0], buffer, sizeof buffer) > 0) {
        }
    };
    RunResult r = runReport(args, options);
    if (fds[0] >= 0)
        ::close(fds[0]);
    return r;
}

TEST(Report, SignalsAndAClosedPipeLeaveTheOldCsvAndNoTemporaryFile) {
    TempDir dir;
    makeWideTree(dir, 2, 200);
    for (const int sig : {SIGPIPE, SIGTERM, SIGINT, SIGHUP}) {
        TempDir out;
        const std::string csvFile = out / "nodes.csv";
        { std::ofstream(csvFile) << "old contents\n"; }
        const RunResult r = runHeldAtFirstOutput({"--top", "1000", "--csv", csvFile, dir.path()},
                                                 [&](pid_t pid, int& readEnd) {
                                                     if (sig == SIGPIPE) { // as `| head -1` does
                                                         ::close(readEnd);
                                                         readEnd = -1;
                                                     } else {
                                                         ::kill(pid, sig);
                                                     }
                                                 });
        EXPECT_EQ(r.signal, sig) << strsignal(sig) << ", exit " << r.exitCode << ": " << r.err;
        EXPECT_TRUE(slurp(csvFile) == "old contents\n") << strsignal(sig);
        EXPECT_EQ(testtree::countEntries(out.path()), 1) << strsignal(sig) << ": a temporary file is left";
    }
}

TEST(Report, ACsvTargetSwappedDuringTheAnalysisIsRefusedAtTheRename) {
    TempDir dir;
    makeWideTree(dir, 2, 200);
    TempDir victim;
    writeText(victim / "config", "victim data\n", kMallory + 1, 0644);
    TempDir shared;
    ASSERT_EQ(::chmod(shared.path().c_str(), 01777), 0);
    const std::string csvFile = shared / "nodes.csv";
    const struct {
        const char* swap;
        std::function<void()> plant;
        std::string why;
    } swaps[] = {
        {"a link to another user's file", [&] { plantLink(victim / "config", csvFile, kMallory); }, "a symbolic link"},
        {"another user's file", [&] { writeText(csvFile, "hers\n", kMallory, 0666); },
         "a file of another user in a folder others may write"},
    };
    for (const auto& s : swaps) {
        writeText(csvFile, "old contents\n", 0, 0644); // root's own: accepted at the start
        std::map<std::string, std::string> planted;
        const RunResult r = runHeldAtFirstOutput({"--top", "1000", "--csv", csvFile, dir.path()},
                                                 [&](pid_t, int&) {
                                                     ::unlink(csvFile.c_str());
                                                     s.plant();
                                                     planted = snapshot({&victim, &shared});
                                                     std::erase_if(planted, [](const auto& entry) {
                                                         return entry.first.find("/.orbisca-report-") !=
                                                                std::string::npos;
                                                     });
                                                 });
        EXPECT_EQ(r.exitCode, 2) << s.swap;
        EXPECT_EQ(r.err, "orbisca-report: cannot write " + csvFile + ": " + s.why + "\n") << s.swap;
        EXPECT_EQ(snapshot({&victim, &shared}), planted) << s.swap;
        ASSERT_EQ(::unlink(csvFile.c_str()), 0);
    }
}

} // namespace
