// ncdu's JSON export: what the installed ncdu and gdu write imports with the totals of our own
// scan of the same folder, what we write reads back in ncdu and gdu with our totals, hand-written
// exports mean what ncdu means by them, and broken ones are refused with a reason.

#include "SavedTestSupport.h"

#include "saved/NcduJson.h"

#include <unistd.h>

using namespace savedtest;
using testtree::TempDir;

namespace {

bool importText(const std::string& json, TAnalysisTree& tree, saved::TImported& imported,
                QString& error) {
    TempDir dir;
    TempFile file(dir);
    file.Replace(json);
    ::lseek(file.fd, 0, SEEK_SET);
    saved::TImportOptions options;
    options.Drive = QStringLiteral("T:\\");
    return saved::ImportNcduJson(file.fd, tree, &imported, &error, options);
}

bool importFile(const std::string& path, TAnalysisTree& tree, saved::TImported& imported,
                QString& error, const QString& drive) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    saved::TImportOptions options;
    options.Drive = drive;
    const bool ok = saved::ImportNcduJson(fd, tree, &imported, &error, options);
    ::close(fd);
    return ok;
}

void expectTotalsOfScan(const saved::TImported& imported, const Scan& scan) {
    EXPECT_EQ(imported.Summary.TotalSize, scan.engine->TotalSize());
    EXPECT_EQ(imported.Summary.TotalFiles, scan.engine->TotalFiles());
    EXPECT_EQ(imported.Summary.TotalFolders, scan.engine->TotalFolders());
    EXPECT_EQ(imported.Entries, scan.tree.NodeCount());
}

} // namespace

TEST(NcduJson, WhatTheInstalledNcduExportsImportsWithTheTotalsOfOurScan) {
    if (!installed("ncdu"))
        GTEST_SKIP() << "ncdu is not installed";
    TempDir dir;
    makeAwkwardTree(dir, /*linkToFolder=*/false);
    Scan scan(dir.path(), u'S');
    TempDir out;
    ASSERT_EQ(runProgram({"ncdu", "-x", "-o", out / "x.json", dir.path()}), 0);

    TAnalysisTree tree;
    saved::TImported imported;
    QString error;
    ASSERT_TRUE(importFile(out / "x.json", tree, imported, error, QStringLiteral("S:\\")))
        << error.toStdString();
    expectTotalsOfScan(imported, scan);
    // Node by node: every name's bytes (raw bytes that are not UTF-8, control characters,
    // backslashes, trailing blanks) lead to the same node with the same values.
    expectSameFacts(scan.tree, tree);
    EXPECT_EQ(imported.Summary.Origin.Source, "ncdu");
    EXPECT_EQ(imported.Summary.Origin.Root, dir.path());
    EXPECT_EQ(tree.Device(), scan.tree.Device());
    EXPECT_TRUE(imported.Summary.Origin.Ended.isValid());
    // ncdu records the identity of hard-linked files only: both names of ours have it.
    const PNode hard = tree.FindByPath(QStringLiteral("S:\\hardlink"), false);
    ASSERT_NE(hard, PNode::None);
    EXPECT_EQ(tree.Inode(hard),
              scan.tree.Inode(scan.tree.FindByPath(QStringLiteral("S:\\hardlink"), false)));
}

TEST(NcduJson, WhatTheInstalledGduExportsImportsWithTheTotalsOfOurScan) {
    if (!installed("gdu"))
        GTEST_SKIP() << "gdu is not installed";
    TempDir dir;
    makeAwkwardTree(dir, /*linkToFolder=*/false);
    Scan scan(dir.path(), u'S');
    TempDir out;
    ASSERT_EQ(runProgram({"gdu", "-n", "-p", "-x", "-o", out / "x.json", dir.path()}), 0);
    TAnalysisTree tree;
    saved::TImported imported;
    QString error;
    ASSERT_TRUE(importFile(out / "x.json", tree, imported, error, QStringLiteral("S:\\")))
        << error.toStdString();
    // gdu writes names that are not UTF-8 with U+FFFD in their place, so only the totals and
    // the shape can be the same.
    expectTotalsOfScan(imported, scan);
    EXPECT_EQ(imported.Summary.Origin.Source, "gdu");
}

TEST(NcduJson, OurExportReadsBackInNcduAndGduWithOurTotals) {
    TempDir dir;
    makeAwkwardTree(dir, /*linkToFolder=*/false);
    Scan scan(dir.path(), u'S');
    TempDir out;
    TempFile json(out, "ours.json");
    QString error;
    ASSERT_TRUE(saved::ExportNcduJson(json.fd, scan.tree, scan.engine->Summary(), &error))
        << error.toStdString();
    const std::string text = json.Contents();
    EXPECT_EQ(text.rfind("[1,2,{\"progname\":\"orbisca\"", 0), 0u);
    EXPECT_NE(text.find("{\"name\":\"bad\xff"
                        "byte\",\"asize\":"),
              std::string::npos)
        << "names keep their bytes";

    // Ours again: the same analysis.
    {
        TAnalysisTree tree;
        saved::TImported imported;
        ASSERT_TRUE(importFile(json.path, tree, imported, error, QStringLiteral("S:\\")))
            << error.toStdString();
        expectTotalsOfScan(imported, scan);
        expectSameFacts(scan.tree, tree);
    }
    if (installed("ncdu")) {
        // ncdu reads it whole and writes it again as its own export.
        ASSERT_EQ(runProgram({"ncdu", "-f", json.path, "-o", out / "again.json"}), 0);
        TAnalysisTree tree;
        saved::TImported imported;
        ASSERT_TRUE(importFile(out / "again.json", tree, imported, error, QStringLiteral("S:\\")))
            << error.toStdString();
        expectTotalsOfScan(imported, scan);
        expectSameFacts(scan.tree, tree);
    }
    if (installed("gdu")) {
        // gdu's total in bytes: the files' sizes, and 4096 bytes of its own for each folder.
        std::string printed;
        ASSERT_EQ(
            runProgram({"gdu", "-f", json.path, "-n", "-p", "-s", "-a", "--no-prefix"}, &printed),
            0);
        uint32_t folderNodes = 0;
        for (PNode n = scan.tree.GetFirst(); n != PNode::None; n = scan.tree.GetNext(n))
            folderNodes += scan.tree.IsFolder(n);
        EXPECT_EQ(std::stoll(printed), scan.engine->TotalSize() + 4096LL * folderNodes) << printed;
    }
}

TEST(NcduJson, HandWrittenExportsMeanWhatNcduMeansByThem) {
    const std::string head = R"([1,2,{"progname":"ncdu","progver":"1.18","timestamp":1700000000},)";
    const struct {
        const char* what;
        std::string json;
        int64_t size;
        uint32_t files, folders; // folders with the top one
        size_t entries;
        uint32_t unreadable;
    } cases[] = {
        {"folders' own sizes are not counted, notreg entries have none, hard links count per name",
         head + R"([{"name":"/r","asize":4096,"dsize":4096,"dev":5},
            {"name":"a","asize":10,"dsize":4096},
            {"name":"link","asize":7,"notreg":true},
            {"name":"h1","asize":100,"ino":9,"hlnkc":true,"nlink":2},
            {"name":"h2","asize":100,"ino":9,"hlnkc":true,"nlink":2},
            [{"name":"sub","asize":4096},{"name":"b","asize":1}]]])",
         211, 5, 2, 7, 0},
        {"mount points are folder entries that are not walked", head + R"([{"name":"/r","dev":5},
            [{"name":"proc","dev":21,"excluded":"othfs"}],
            [{"name":"other","dev":6},{"name":"x","asize":50}],
            {"name":"sys","excluded":"otherfs"},
            [{"name":"same"},{"name":"y","asize":3}]]])",
         3, 1, 5, 3, 0},
        {"pattern exclusions are entries of no known size",
         head +
             R"([{"name":"/r"},{"name":"skip.tmp","excluded":"pattern"},{"name":"k","asize":2}]])",
         2, 2, 1, 3, 0},
        {"read errors make unreadable folders",
         head + R"([{"name":"/r","read_error":true},[{"name":"locked","read_error":true}],
            {"name":"f","asize":1,"read_error":true}]])",
         1, 1, 2, 3, 2},
        {"cumulative folder sizes of newer gdu are not counted twice",
         R"([1,2,{"progname":"gdu","progver":"v5.31.0"},
            [{"name":"/r","asize":4196,"dsize":8192,"items":3},
             [{"name":"d","asize":4196,"dsize":8192,"items":2},{"name":"f","asize":100,"dsize":4096}]]])",
         100, 1, 2, 3, 0},
        {"minor version 0, unknown keys with nested values, whitespace everywhere",
         R"( [ 1 , 0 , { "x" : [ { } , [ ] , "\"]" ] } ,
            [ { "name" : "/r" , "future" : { "a" : [ 1 , 2.5e3 , null , true ] } } ,
              { "asize" : 5 , "name" : "f" } ] ] )",
         5, 1, 1, 2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TAnalysisTree tree;
        saved::TImported imported;
        QString error;
        ASSERT_TRUE(importText(c.json, tree, imported, error)) << error.toStdString();
        EXPECT_EQ(imported.Summary.TotalSize, c.size);
        EXPECT_EQ(imported.Summary.TotalFiles, c.files);
        EXPECT_EQ(imported.Summary.TotalFolders, c.folders);
        EXPECT_EQ(imported.Entries, c.entries);
        EXPECT_EQ(tree.NodeCount(), c.entries);
        EXPECT_EQ(imported.Summary.Verdict.UnreadableFolders, c.unreadable);
        EXPECT_EQ(tree.Size(tree.GetFirst()), c.size);
        EXPECT_EQ(tree.FileCount(tree.GetFirst()), c.files);
        EXPECT_EQ(tree.FolderCount(tree.GetFirst()) + 1, c.folders);
    }

    // Details of the cases above.
    TAnalysisTree tree;
    saved::TImported imported;
    QString error;
    ASSERT_TRUE(importText(cases[0].json, tree, imported, error));
    EXPECT_EQ(tree.Device(), 5u);
    EXPECT_EQ(tree.Inode(tree.FindByPath(QStringLiteral("T:\\h2"), false)), 9u);
    EXPECT_EQ(imported.Summary.Origin.Program, "ncdu 1.18");
    EXPECT_EQ(imported.Summary.Origin.Ended, QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC));
    EXPECT_EQ(imported.Summary.Origin.Root, "/r");
    ASSERT_TRUE(importText(cases[1].json, tree, imported, error));
    EXPECT_EQ(imported.MountPoints, 3u);
    EXPECT_EQ(tree.FindByPath(QStringLiteral("T:\\other\\x"), false), PNode::None);
    ASSERT_TRUE(importText(cases[3].json, tree, imported, error));
    EXPECT_EQ(imported.Summary.Verdict.UnreadableSamples,
              QStringList({QStringLiteral("T:\\"), QStringLiteral("T:\\locked")}));
    ASSERT_TRUE(importText(cases[4].json, tree, imported, error));
    EXPECT_TRUE(imported.CumulativeFolderSizes);
    EXPECT_EQ(imported.Summary.Origin.Source, "gdu");
}

TEST(NcduJson, NamesAreBytesWhateverTheirEscapes) {
    // Raw bytes that are not UTF-8 (as ncdu writes them), every JSON escape but \/ (a slash is
    // no part of a name; refused below), a surrogate pair,
    // and \udcXX for a raw byte.
    const std::string json =
        "[1,2,{},[{\"name\":\"/r\"},"
        "{\"name\":\"raw\xff\xfe\"},"
        "{\"name\":\"esc\\\"\\\\\\b\\f\\n\\r\\t\\u0001\\u00e9\\ud83d\\ude00\"},"
        "{\"name\":\"byte\\udcff\"},"
        "{\"name\":\"back\\\\slash\"}]]";
    TAnalysisTree tree;
    saved::TImported imported;
    QString error;
    ASSERT_TRUE(importText(json, tree, imported, error)) << error.toStdString();
    std::vector<std::string> names;
    for (PNode n = tree.GetFirstChild(tree.GetFirst()); n != PNode::None;
         n = tree.GetNextSibling(n)) {
        const QString listed = tree.ListedName(n);
        const QString shown = tree.Path(n).mid(3);
        names.push_back(platform::NativeName(listed.isEmpty() ? shown : listed));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"raw\xff\xfe",
                                               "esc\"\\\b\f\n\r\t\x01\xc3\xa9\xf0\x9f\x98\x80",
                                               "byte\xff", "back\\slash"}));
}

TEST(NcduJson, BrokenExportsAreRefusedWithAReason) {
    const std::string head = "[1,2,{},[{\"name\":\"/r\"}";
    const struct {
        const char* what;
        std::string json;
        const char* says;
    } cases[] = {
        {"garbage", "\x89PNG\r\n", "an ncdu export"},
        {"empty", "", "cut off"},
        {"a newer major version", "[2,0,{},[{\"name\":\"/r\"}]]", "major version 2"},
        {"a minor version beyond the format's range", "[1,10001,{},[{\"name\":\"/r\"}]]",
         "out of range"},
        {"a slash in a name", head + ",{\"name\":\"a/b\"}]]", "no file can have"},
        {"NUL in a name", head + ",{\"name\":\"a\\u0000b\"}]]", "no file can have"},
        {"a name that is ..", head + ",[{\"name\":\"..\"}]]]", "no file can have"},
        {"an empty name", head + ",{\"name\":\"\"}]]", "no file can have"},
        {"an entry without a name", head + ",{\"asize\":1}]]", "without a name"},
        {"a size of 2^63", head + ",{\"name\":\"f\",\"asize\":9223372036854775808}]]",
         "beyond the largest size"},
        {"a size beyond 2^64", head + ",{\"name\":\"f\",\"asize\":18446744073709551616}]]",
         "larger than any number"},
        {"a negative size", head + ",{\"name\":\"f\",\"asize\":-1}]]", "no whole number"},
        {"a fractional size", head + ",{\"name\":\"f\",\"asize\":1.5}]]", "no whole number"},
        {"a lone surrogate", head + ",{\"name\":\"\\ud800x\"}]]", "lone surrogate"},
        {"a control character", head + ",{\"name\":\"a\tb\"}]]", "control character"},
        {"data after the end", head + "]] []", "data after the end"},
        {"a top folder that is a file", "[1,2,{},{\"name\":\"/r\"}]", "the top folder"},
        {"a name longer than any", head + ",{\"name\":\"" + std::string(5000, 'n') + "\"}]]",
         "longer than any name"},
        {"an escaped slash in a name", head + ",{\"name\":\"a\\/b\"}]]", "no file can have"},
        {"folders never closed",
         [&] {
             std::string s = head;
             for (int i = 0; i < 10000; ++i)
                 s += ",[{\"name\":\"x\"}";
             return s;
         }(),
         "cut off"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TAnalysisTree tree;
        saved::TImported imported;
        QString error;
        EXPECT_FALSE(importText(c.json, tree, imported, error));
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.says))) << error.toStdString();
        EXPECT_TRUE(tree.IsEmpty());
    }

    // Every shorter file is refused.
    const std::string good =
        head + ",[{\"name\":\"d\"},{\"name\":\"f\",\"asize\":12}],{\"name\":\"g\"}]]";
    TempDir dir;
    TempFile file(dir);
    for (size_t length = 0; length < good.size(); ++length) {
        file.Replace(good.substr(0, length));
        ::lseek(file.fd, 0, SEEK_SET);
        TAnalysisTree tree;
        saved::TImported imported;
        QString error;
        ASSERT_FALSE(saved::ImportNcduJson(file.fd, tree, &imported, &error)) << length;
        ASSERT_FALSE(error.isEmpty());
    }
}

TEST(NcduJson, DeepNestingIsReadWithoutRecursion) {
    // 10,000 folders, one in the other, each with a file: read, counted, and each level's
    // totals right.
    constexpr int kDepth = 10000;
    std::string json = "[1,2,{},[{\"name\":\"/r\"}";
    for (int i = 0; i < kDepth; ++i)
        json += ",[{\"name\":\"d\"},{\"name\":\"f\",\"asize\":1}";
    json += std::string(kDepth, ']') + "]]";
    TAnalysisTree tree;
    saved::TImported imported;
    QString error;
    ASSERT_TRUE(importText(json, tree, imported, error)) << error.toStdString();
    EXPECT_EQ(imported.Summary.TotalFiles, static_cast<uint32_t>(kDepth));
    EXPECT_EQ(imported.Summary.TotalFolders, static_cast<uint32_t>(kDepth + 1));
    EXPECT_EQ(imported.Summary.TotalSize, kDepth);
    const PNode first = tree.GetFirstChild(tree.GetFirst());
    EXPECT_EQ(tree.Size(first), kDepth);
    EXPECT_EQ(tree.FolderCount(first), static_cast<uint32_t>(kDepth - 1));
}
