// orbisca-report with saved analyses: --save and --ncdu-json beside a scan, --load of both
// reporting what the scan reported, the reasons a file cannot be loaded, and the files written
// under the rules of every file the report writes.

#include "ReportRunner.h"
#include "TestTree.h"

#include "analysis/AnalysisTree.h"
#include "saved/SavedFormat.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>

#include <csignal>
#include <set>

using testtree::TempDir;
using namespace reporttest;

namespace {

// The report without the lines that differ between a scan and a load of it.
std::string withoutTimes(const std::string& out) {
    std::istringstream in(out);
    std::string line, kept;
    while (std::getline(in, line))
        if (line.rfind("Elapsed:", 0) != 0 && line.rfind("Analysed:", 0) != 0 &&
            line.rfind("Loaded:", 0) != 0)
            kept += line + "\n";
    return kept;
}

// The CSV's header and first row (the top folder), and the rest.
std::pair<std::string, std::string> splitTop(const std::string& csv) {
    const size_t end = csv.find("\r\n", csv.find("\r\n") + 2) + 2;
    return {csv.substr(0, end), csv.substr(end)};
}

std::string savedFile(const TempDir& dir, const std::string& name, bool complete) {
    analysis::TAnalysisTree tree;
    const analysis::PNode top = tree.AddTopFolder(u"D:\\");
    tree.AddFile(top, u"f", 3);
    tree.SetFileCount(top, 1);
    tree.SetSize(top, 3);
    analysis::TAnalysisSummary summary;
    summary.Drive = QStringLiteral("D:\\");
    summary.TotalFiles = 1;
    summary.TotalFolders = 1;
    summary.TotalSize = 3;
    summary.Origin.Root = "/srv/d";
    if (!complete) {
        summary.Verdict.CutShort = true;
        summary.Verdict.Reason = QStringLiteral("record memory used up after 2 entries");
    }
    const std::string path = dir / name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    QString error;
    EXPECT_TRUE(saved::WriteSaved(fd, saved::HeaderForSaving(tree, summary), tree, &error));
    ::close(fd);
    return path;
}

} // namespace

TEST(SavedReport, SavedAndExportedAnalysesReportWhatTheScanReported) {
    TempDir dir;
    makeGeneratedTree(dir);
    TempDir out;
    const RunResult scan =
        runReport({"--top", "5", "--csv", out / "scan.csv", "--save", out / "x.orbisca",
                   "--ncdu-json", out / "x.json", dir.path()});
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    EXPECT_EQ(scan.err, "");

    // Our format: the same report, line for line, and the same CSV, byte for byte, without the
    // snapshot service (a copy of the report that has none beside it).
    TempDir lonely;
    const std::string copy = lonely / "orbisca-report";
    {
        std::ifstream in(ORBISCA_REPORT_PROGRAM, std::ios::binary);
        std::ofstream o(copy, std::ios::binary);
        o << in.rdbuf();
    }
    ASSERT_EQ(::chmod(copy.c_str(), 0755), 0);
    RunOptions withoutService;
    withoutService.program = copy;
    const RunResult loaded = runReport(
        {"--top", "5", "--csv", out / "load.csv", "--load", out / "x.orbisca"}, withoutService);
    ASSERT_EQ(loaded.exitCode, 0) << loaded.err;
    EXPECT_EQ(loaded.err, "");
    EXPECT_EQ(withoutTimes(loaded.out), withoutTimes(scan.out));
    EXPECT_EQ(slurp(out / "load.csv"), slurp(out / "scan.csv"));
    EXPECT_NE(loaded.out.find("\nAnalysed: 20"), std::string::npos) << loaded.out;
    EXPECT_NE(loaded.out.find(" UTC\nLoaded:  "), std::string::npos) << loaded.out;

    // ncdu JSON: the same files and bytes; the link to a folder is a folder entry with no name
    // in the tree, which the export cannot carry.
    const RunResult json =
        runReport({"--top", "5", "--csv", out / "json.csv", "--load", out / "x.json"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(reported(json.out, "Files:"), reported(scan.out, "Files:"));
    EXPECT_EQ(reported(json.out, "Bytes:"), reported(scan.out, "Bytes:"));
    EXPECT_EQ(reported(json.out, "Folders:"), reported(scan.out, "Folders:") - 1);
    EXPECT_NE(json.out.find("(imported from ncdu)"), std::string::npos) << json.out;
    EXPECT_EQ(splitTop(slurp(out / "json.csv")).second, splitTop(slurp(out / "scan.csv")).second)
        << "every row below the top folder is the same";

    // And back from the JSON into our format: the same again.
    const RunResult converted =
        runReport({"--top", "0", "--save", out / "y.orbisca", "--load", out / "x.json"});
    ASSERT_EQ(converted.exitCode, 0) << converted.err;
    const RunResult again = runReport({"--top", "5", "--load", out / "y.orbisca"});
    EXPECT_EQ(withoutTimes(again.out), withoutTimes(json.out));
}

TEST(SavedReport, UnreadableFoldersAreKeptAndNamedAgain) {
    TempDir dir;
    testtree::makeDir(dir / "locked");
    testtree::writeFile(dir / "locked/secret", 5);
    testtree::writeFile(dir / "open", 3);
    ASSERT_EQ(::chmod((dir / "locked").c_str(), 0), 0);
    TempDir out;
    ASSERT_EQ(::chmod(out.path().c_str(), 0777), 0);
    RunOptions nobody; // permissions do not hold for root
    nobody.inChild = [] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(126);
    };
    const RunResult scan =
        runReport({"--top", "0", "--save", out / "x.orbisca", dir.path()}, nobody);
    ::chmod((dir / "locked").c_str(), 0755);
    if (scan.exitCode == 126 || scan.exitCode == 127)
        GTEST_SKIP() << "the report cannot run without rights here";
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    ASSERT_EQ(reported(scan.out, "Unreadable folders:"), 1u);
    const RunResult loaded = runReport({"--top", "0", "--load", out / "x.orbisca"});
    EXPECT_EQ(loaded.exitCode, 0) << loaded.err;
    EXPECT_EQ(loaded.err, scan.err) << "the same folder named, with its native path";
    EXPECT_EQ(withoutTimes(loaded.out), withoutTimes(scan.out));
}

TEST(SavedReport, FilesThatCannotBeLoadedExitOneWithTheReason) {
    TempDir dir;
    const auto file = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return dir / name;
    };
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    testtree::makeDir(dir / "folder");
    const std::string whole = slurp(savedFile(dir, "whole.orbisca", true));
    const struct {
        std::string path;
        std::string says;
    } cases[] = {
        {dir / "missing", "No such file or directory"},
        {dir / "folder", "not a regular file"},
        {dir / "fifo", "not a regular file"},
        {file("text", "hello\n"),
         "neither a saved analysis of this program nor an ncdu or gdu export"},
        {file("gz", "\x1f\x8b\x08\x00"), "compressed with gzip"},
        {file("cut.orbisca", whole.substr(0, whole.size() - 9)), "cut off"},
        {file("slash.json", R"([1,2,{},[{"name":"/r"},{"name":"a/b"}]])"),
         "no readable ncdu or gdu export: an entry has a name no file can have"},
        {savedFile(dir, "cut-short.orbisca", false),
         "is incomplete: record memory used up after 2 entries"},
    };
    for (const auto& c : cases) {
        const RunResult r = runReport({"--load", c.path});
        EXPECT_EQ(r.exitCode, 1) << c.path << "\n" << r.err;
        EXPECT_EQ(r.err.rfind("orbisca-report: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.out, "");
    }
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--load"},
                                                 {"--save"},
                                                 {"--ncdu-json"},
                                                 {"--load", dir / "whole.orbisca", dir.path()},
                                                 {"--save=", dir.path()}}) {
        const RunResult r = runReport(args);
        EXPECT_EQ(r.exitCode, 2) << args[0] << "\n" << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST(SavedReport, SavedFilesAreWrittenUnderTheRulesOfEveryTarget) {
    TempDir dir;
    makeGeneratedTree(dir);
    TempDir targets;
    std::ofstream(targets / "real") << "not yours\n";
    ASSERT_EQ(::symlink("real", (targets / "link").c_str()), 0);
    testtree::makeDir(targets / "folder");
    for (const char* option : {"--save", "--ncdu-json"}) {
        const RunResult link = runReport({option, targets / "link", dir.path()});
        EXPECT_EQ(link.exitCode, 2) << option;
        EXPECT_EQ(link.err,
                  "orbisca-report: cannot write " + targets / "link" + ": a symbolic link\n");
        const RunResult folder = runReport({option, targets / "folder", dir.path()});
        EXPECT_EQ(folder.exitCode, 2) << option;
        EXPECT_EQ(folder.err,
                  "orbisca-report: cannot write " + targets / "folder" + ": not a regular file\n");
    }
    EXPECT_EQ(slurp(targets / "real"), "not yours\n");

    // A disk that fills up while the file is written keeps the file that was there. Names that
    // do not compress make the saved analysis larger than the disk.
    uint32_t seed = 7;
    testtree::makeDir(dir / "random");
    for (int i = 0; i < 1500; ++i) {
        std::string name;
        for (int k = 0; k < 16; ++k)
            name += static_cast<char>('a' + ((seed = seed * 1103515245u + 12345u) >> 16) % 26);
        testtree::writeFile(dir / ("random/" + name), 1);
    }
    TempDir small;
    const bool mounted = ::mount("tmpfs", small.path().c_str(), "tmpfs", 0, "size=8k") == 0;
    RunOptions fillUp;
    if (!mounted)
        fillUp.inChild = [] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit lim{8 * 1024, 8 * 1024};
            ::setrlimit(RLIMIT_FSIZE, &lim);
        };
    const std::string why = mounted ? "No space left on device" : "File too large";
    for (const char* option : {"--save", "--ncdu-json"}) {
        const std::string target = small / "analysis";
        std::ofstream(target) << "old contents\n";
        const RunResult r = runReport({"--top", "0", option, target, dir.path()}, fillUp);
        EXPECT_EQ(r.exitCode, 1) << option;
        EXPECT_EQ(r.err, "orbisca-report: cannot write " + target + ": " + why + "\n") << option;
        EXPECT_EQ(slurp(target), "old contents\n") << option;
        EXPECT_EQ(testtree::countEntries(small.path()), 1) << "no temporary file is left behind";
    }
    if (mounted)
        ::umount(small.path().c_str());
}
