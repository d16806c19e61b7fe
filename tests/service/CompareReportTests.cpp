// orbisca-report --compare: a folder saved, changed and compared with its saved analysis (text
// and CSV), an incomplete side named and kept out of the change, and the arguments and files
// that end the run early.

#include "ReportRunner.h"
#include "TestTree.h"

#include "analysis/AnalysisTree.h"
#include "saved/SavedFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

using testtree::TempDir;
using namespace reporttest;

namespace {

std::vector<std::string> csvLines(const std::string& csv) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < csv.size();) {
        const size_t end = csv.find("\r\n", at);
        lines.push_back(csv.substr(at, end - at));
        at = end == std::string::npos ? csv.size() : end + 2;
    }
    return lines;
}

// A saved analysis of D:\ (/srv/d) holding files of the sizes given, made by a scan that may
// have been cut short.
std::string savedWith(const TempDir& dir, const std::string& name,
                      const std::vector<std::pair<std::u16string, int64_t>>& files, bool cutShort) {
    analysis::TAnalysisTree tree;
    const analysis::PNode top = tree.AddTopFolder(u"D:\\");
    int64_t total = 0;
    for (const auto& [file, size] : files) {
        tree.AddFile(top, file, size);
        total += size;
    }
    tree.SetFileCount(top, static_cast<uint32_t>(files.size()));
    tree.SetSize(top, total);
    analysis::TAnalysisSummary summary;
    summary.Drive = QStringLiteral("D:\\");
    summary.TotalFiles = static_cast<uint32_t>(files.size());
    summary.TotalFolders = 1;
    summary.TotalSize = total;
    summary.Origin.Root = "/srv/d";
    summary.Verdict.CutShort = cutShort;
    if (cutShort)
        summary.Verdict.Reason = QStringLiteral("record memory used up after 2 entries");
    const std::string path = dir / name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    QString error;
    EXPECT_TRUE(saved::WriteSaved(fd, saved::HeaderForSaving(tree, summary), tree, &error));
    ::close(fd);
    return path;
}

} // namespace

TEST(CompareReport, AFolderComparedWithItsSavedAnalysis) {
    TempDir dir;
    testtree::makeDir(dir / "a");
    testtree::makeDir(dir / "b");
    testtree::writeFile(dir / "a/f", 1000);
    testtree::writeFile(dir / "b/g", 500);
    testtree::writeFile(dir / "b/gone", 300);
    testtree::writeFile(dir / "keep", 10);
    TempDir out;
    const RunResult saved = runReport({"--top", "0", "--save", out / "old.orbisca", dir.path()});
    ASSERT_EQ(saved.exitCode, 0) << saved.err;

    // Grown, new (made before anything is deleted, so no inode is handed on), moved, gone.
    testtree::writeFile(dir / "a/f", 3000);
    testtree::makeDir(dir / "c");
    testtree::writeFile(dir / "c/new", 77);
    ASSERT_EQ(std::rename((dir / "b/g").c_str(), (dir / "c/g2").c_str()), 0);
    ASSERT_EQ(std::remove((dir / "b/gone").c_str()), 0);

    const RunResult r = runReport(
        {"--top", "2", "--csv", out / "changes.csv", "--compare", out / "old.orbisca", dir.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");

    const std::vector<std::string> lines = csvLines(slurp(out / "changes.csv"));
    ASSERT_GE(lines.size(), 2u);
    const std::string drive = lines[1].substr(0, 3); // the letter the folder was analysed as
    const std::string& d = dir.path();
    EXPECT_EQ(lines[0], "path,native_path,old_size,new_size,delta,old_files,new_files,state");
    EXPECT_EQ(lines[1], drive + "," + d + ",1810,3587,1777,4,4,grown") << "the root first";
    std::vector<std::string> rows(lines.begin() + 2, lines.end());
    std::sort(rows.begin(), rows.end());
    const std::vector<std::string> expected = {
        drive + "a," + d + "/a,1000,3000,2000,1,1,grown",
        drive + "a\\f," + d + "/a/f,1000,3000,2000,1,1,grown",
        drive + "b," + d + "/b,300,0,-300,1,0,shrunk", // g moved out: shown on g, not on b
        drive + "b\\gone," + d + "/b/gone,300,0,-300,1,0,gone",
        drive + "c," + d + "/c,500,577,77,1,2,new",
        drive + "c\\g2," + d + "/c/g2,500,500,0,1,1,moved",
        drive + "c\\new," + d + "/c/new,0,77,77,0,1,new",
        drive + "keep," + d + "/keep,10,10,0,1,1,same",
    };
    EXPECT_EQ(rows, expected);

    const std::string text =
        "Old: drive " + drive + " (" + d + "), saved in " + out / "old.orbisca" +
        "\n"
        "New: drive " +
        drive + " (" + d +
        ")\n"
        "                          old                  new               change\n"
        "Files:                      4                    4                    0\n"
        "Bytes:                  1,810                3,587               +1,777\n"
        "Moves:   matched by inode\n"
        "\n"
        "Folders grown most\n"
        "                 old                  new               change  path\n"
        "               1,000                3,000               +2,000  " +
        drive +
        "a\n"
        "                 500                  577                  +77  " +
        drive +
        "c\n"
        "\n"
        "Files grown most\n"
        "                 old                  new               change  path\n"
        "               1,000                3,000               +2,000  " +
        drive +
        "a\\f\n"
        "                   0                   77                  +77  " +
        drive +
        "c\\new\n"
        "\n"
        "Folders shrunk most\n"
        "                 old                  new               change  path\n"
        "                 300                    0                 -300  " +
        drive +
        "b\n"
        "\n"
        "Files shrunk most\n"
        "                 old                  new               change  path\n"
        "                 300                    0                 -300  " +
        drive + "b\\gone\n";
    EXPECT_EQ(r.out, text);
}

TEST(CompareReport, AnIncompleteSideIsNamedAndWhatItLacksIsNoChange) {
    TempDir dir;
    const std::string cut = savedWith(dir, "cut.orbisca", {{u"f", 3}}, true);
    const std::string whole = savedWith(dir, "whole.orbisca", {{u"f", 5}, {u"g", 40}}, false);
    // g, which the cut-short side lacks, is neither new nor gone, whichever side is cut short.
    const struct {
        std::string oldFile, newFile, bytes, unknownRow;
    } cases[] = {
        {cut, whole, "Bytes:                      3                    5                   +2\n",
         "D:\\g,/srv/d/g,0,40,0,0,1,unknown"},
        {whole, cut, "Bytes:                      5                    3                   -2\n",
         "D:\\g,/srv/d/g,40,0,0,1,0,unknown"},
    };
    for (const auto& c : cases) {
        TempDir out;
        const RunResult r =
            runReport({"--top", "0", "--csv", out / "c.csv", "--compare", c.oldFile, c.newFile});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("the saved analysis of /srv/d (" + cut +
                             ") is incomplete: record memory used up after 2 entries"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.out.find(c.bytes), std::string::npos) << r.out;
        const std::vector<std::string> lines = csvLines(slurp(out / "c.csv"));
        EXPECT_NE(std::find(lines.begin(), lines.end(), c.unknownRow), lines.end())
            << slurp(out / "c.csv");
    }
}

TEST(CompareReport, ArgumentsAndFilesThatEndTheRun) {
    TempDir dir;
    const std::string whole = savedWith(dir, "whole.orbisca", {{u"f", 3}}, false);
    std::ofstream(dir / "broken.orbisca", std::ios::binary) << "not an analysis";
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string says;
    } cases[] = {
        {{"--compare", whole}, 2, "--compare needs the old and the new analysis"},
        {{"--compare", whole, whole, "--load", whole}, 2, "--compare takes no other analysis"},
        {{"--compare", whole, whole, "--save", dir / "x"}, 2, "--compare takes no other analysis"},
        {{"--compare", dir / "broken.orbisca", whole}, 1, "cannot read " + dir / "broken.orbisca"},
        {{"--compare", whole, dir / "missing"}, 2, "no such folder: " + dir / "missing"},
    };
    for (const auto& c : cases) {
        const RunResult r = runReport(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    // The same analysis on both sides: no change at all.
    const RunResult same = runReport({"--compare", whole, whole});
    EXPECT_EQ(same.exitCode, 0) << same.err;
    EXPECT_NE(
        same.out.find("Bytes:                      3                    3                    0\n"),
        std::string::npos)
        << same.out;
    EXPECT_EQ(same.out.find('+'), std::string::npos) << same.out;
}
