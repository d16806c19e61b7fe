// The engine against the test service: the scan rules, the service sequence and its failures,
// the progress callback, and a close request in the middle of a scan.

#include "ServiceHarness.h"

#include "platform/Debug.h"

#include <functional>

using analysis::PNode;
using analysis::TOrbisca;

namespace {

const char* const kMixedVolume = R"(
ROOT
  F a.txt streams=100,20
  D Windows
    F nostream.dat
    F sparse.bin stream=4096/1000
    D "{All Deleted Files}" flags=deleted-files
      F lost.doc size=999
  F "trail.txt " size=5
  D "Folder "
    F inner size=3
    D "My {aLL dELETED} notes"
      F kept size=4
  D junction attr=0x410
    F hidden size=50
  D skipped flags=0x10000000
    F hidden size=60
  F gone flags=0x80000000 size=70
  D gonedir flags=0x80000000
  N
  R noRecord
  F "\t ctl\x01" size=2
  D empty noitems
  F last size=1
)";

TEST_F(ServiceHarness, ScanBuildsTheTreeByTheWalkRules) {
    scan(kMixedVolume);
    EXPECT_TRUE(boxes.empty());
    // Children in listed order, files and folders interleaved; skipped folders (the service's
    // folder of deleted files among them) have no node but count in their parent; flagged
    // entries count nowhere; a real folder is kept whatever its name; names of files are
    // trimmed, names of folders are kept as listed.
    const QStringList expected = {
        "C:\\|1135|7|8|1",
        "C:\\a.txt|120|0|0|0",
        "C:\\Windows|1000|1|2|1",
        "C:\\Windows\\nostream.dat|0|0|0|0",
        "C:\\Windows\\sparse.bin|1000|0|0|0",
        "C:\\trail.txt|5|0|0|0",
        "C:\\Folder |7|1|2|1",
        "C:\\Folder \\inner|3|0|0|0",
        "C:\\Folder \\My {aLL dELETED} notes|4|0|1|1",
        "C:\\Folder \\My {aLL dELETED} notes\\kept|4|0|0|0",
        "C:\\ctl|2|0|0|0",
        "C:\\empty|0|0|0|1",
        "C:\\last|1|0|0|0",
    };
    EXPECT_EQ(dump(), expected);
    EXPECT_EQ(engine->TotalSize(), 1135);
    EXPECT_EQ(engine->TotalFiles(), 8u);
    // Entered: root, Windows, its deleted-files folder, Folder, the notes below it, junction,
    // skipped, empty.
    EXPECT_EQ(engine->TotalFolders(), 8u);
    EXPECT_EQ(engine->Analysed_Drive(), "C:\\");
    EXPECT_TRUE(engine->ScanVerdict().IsComplete()) << "skipped folders are no loss";
}

// Every node gets the identity the service gives for its record, in the walk's order with the
// entries that have no node in between; a service that knows none leaves none behind.
TEST_F(ServiceHarness, NodesTakeTheIdentitiesTheServiceGives) {
    scan(R"(
@ids 2049
ROOT ino=2
  F a size=1 ino=11
  F gone flags=0x80000000 ino=12
  N
  R noRecord
  D sub ino=13
    F "b " size=2 ino=14
    D deeper ino=15
  D skipped flags=0x10000000 ino=16
    F hidden size=60 ino=17
  F c size=3 ino=18
)");
    QStringList ids;
    for (PNode n = tree.GetFirst(); n != PNode::None; n = tree.GetNext(n))
        ids << QStringLiteral("%1=%2").arg(tree.Path(n)).arg(tree.Inode(n));
    EXPECT_EQ(ids, QStringList({"C:\\=2", "C:\\a=11", "C:\\sub=13", "C:\\sub\\b=14",
                                "C:\\sub\\deeper=15", "C:\\c=18"}));
    EXPECT_EQ(tree.Device(), 2049u);

    rescan("ROOT\n  F a size=1\n");
    EXPECT_EQ(tree.Device(), 0u);
    EXPECT_EQ(tree.Inode(tree.GetFirst()), 0u);
    EXPECT_EQ(tree.Inode(tree.GetFirstChild(tree.GetFirst())), 0u);
}

TEST_F(ServiceHarness, TrimmedFileNamesKeepTheNameAsListed) {
    scan(kMixedVolume);
    const PNode trail = engine->FindNodeForThis(0, "C:\\trail.txt");
    ASSERT_NE(trail, PNode::None);
    const analysis::TNodeData d = tree.GetNodeData(trail);
    EXPECT_EQ(d.Path, "C:\\trail.txt");
    EXPECT_EQ(d.ListedName, "trail.txt ");
    EXPECT_EQ(analysis::ListedPath(d), "C:\\trail.txt ");
    const PNode ctl = engine->FindNodeForThis(0, "C:\\ctl");
    ASSERT_NE(ctl, PNode::None);
    EXPECT_EQ(analysis::ListedPath(tree.GetNodeData(ctl)), QStringLiteral("C:\\\t ctl\x01"));
    // A name that needed no trimming keeps no second copy.
    EXPECT_TRUE(tree.GetNodeData(engine->FindNodeForThis(0, "C:\\a.txt")).ListedName.isEmpty());
}

TEST_F(ServiceHarness, ServiceIsCalledInOrderAndReleased) {
    scan("ROOT\n  F x size=1\n");
    EXPECT_EQ(serviceLog(), "NewVolume\n"
                            "OpenVolume C:\\\n"
                            "NewSnapshot\n"
                            "UpdateSnapshot flags=13 root=empty userdata=set clustermap=none\n"
                            "FreeSnapshot\n"
                            "CloseVolume\n"
                            "FreeVolume\n");
    EXPECT_EQ(liveServiceObjects(), 0);
    EXPECT_GE(entryCalls(), 7); // the table is fetched again before every call
}

TEST_F(ServiceHarness, ServiceFailuresShowTheirBoxAndReleaseTheVolume) {
    struct Case {
        const char* fixture;
        const char* message;
        const char* lastCalls;
    };
    const Case cases[] = {
        {"@fail NewVolume\nROOT\n  F x size=1\n", "Error: Volume=nil", "NewVolume\n"},
        {"@fail OpenVolume\nROOT\n  F x size=1\n", "Error: OpenVolume failed",
         "OpenVolume C:\\\nFreeVolume\n"},
        {"@fail NewSnapshot\nROOT\n  F x size=1\n", "Error: NewSnapShot failed",
         "NewSnapshot\nCloseVolume\nFreeVolume\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        boxes.clear();
        scan(c.fixture);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.message);
        EXPECT_EQ(boxes[0].caption, "Zelvano Orbisca 2024");
        EXPECT_EQ(boxes[0].type, platform::MB_ICONSTOP | platform::MB_OK);
        const std::string log = serviceLog();
        EXPECT_TRUE(log.size() >= strlen(c.lastCalls) &&
                    log.compare(log.size() - strlen(c.lastCalls), std::string::npos,
                                c.lastCalls) == 0)
            << log;
        EXPECT_EQ(log.find("UpdateSnapshot"), std::string::npos);
        EXPECT_EQ(liveServiceObjects(), 0);
        EXPECT_TRUE(tree.IsEmpty());
        EXPECT_EQ(engine->TotalSize(), 0);
    }
}

TEST_F(ServiceHarness, SnapshotWithoutRootGivesAnEmptyTreeSilently) {
    scan("@noroot\nROOT\n  F x size=1\n");
    EXPECT_TRUE(tree.IsEmpty());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(engine->TotalSize(), 0);
    EXPECT_EQ(engine->TotalFolders(), 0u);
    EXPECT_EQ(liveServiceObjects(), 0);
}

TEST_F(ServiceHarness, ServiceVersionIsWrittenToTheDebugChannel) {
    platform::DebugCapture capture;
    scan("ROOT\n");
    EXPECT_TRUE(capture.lines().contains("Undeleter.dll ; Version = 197121"));
    EXPECT_TRUE(capture.lines().contains("Undeleter.dll ; Version = 3.2.1"));
}

TEST_F(ServiceHarness, MissingLibraryOrEntryFunctionIsReportedAndScansNothing) {
    struct Case {
        QString folder;
        const char* message;
        bool handleLoaded;
    };
    const Case cases[] = {
        {platform::WindowsPath(TESTSERVICE_DIR "/../does-not-exist"),
         "Error loading Undelete-DLL! Handle=0 ?", false},
        {platform::WindowsPath(TESTSERVICE_NOENTRY_DIR), "Error in accessing Undelete.dll!", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        boxes.clear();
        platform::SetProgramFolder(c.folder);
        analysis::TAnalysisTree t;
        TOrbisca e(&t);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.message);
        EXPECT_EQ(boxes[0].type, platform::MB_ICONSTOP | platform::MB_OK);
        EXPECT_EQ(e.DLLHandle != nullptr, c.handleLoaded);
        EXPECT_EQ(e.Undeleter, nullptr);
        e.DO_Drive("C:\\");
        EXPECT_TRUE(t.IsEmpty());
        EXPECT_EQ(e.TotalSize(), 0);
        EXPECT_EQ(boxes.size(), 1u);
    }
}

struct RecordingBar : analysis::TProgressBar {
    void SetMax(int m) override { max = m; }
    void SetPosition(int p) override { positions.push_back(p); }
    int max = 0;
    std::vector<int> positions;
};

TEST_F(ServiceHarness, ProgressReachesTheBarAndCallbacksAreAnswered) {
    RecordingBar bar;
    progressBar = &bar;
    scan("@callbacks 0:0 1:0 2:0 2:550 2:1100 3:0 4:0 -1:0\nROOT\n");
    EXPECT_EQ(bar.max, 1100);
    EXPECT_EQ(bar.positions, (std::vector<int>{0, 0, 550, 1100}));
    const std::string log = serviceLog();
    for (const char* answer : {"callback 0:0 -> 0\n", "callback 1:0 -> -1\n", "callback 2:550 -> -1\n",
                               "callback 3:0 -> -1\n", "callback 4:0 -> 0\n", "callback -1:0 -> 0\n"})
        EXPECT_NE(log.find(answer), std::string::npos) << answer;
}

TEST_F(ServiceHarness, ProgressCallbackAnswersByCommand) {
    scan("ROOT\n  F a size=1\n");
    const auto self = reinterpret_cast<uintptr_t>(engine.get());
    EXPECT_EQ(TOrbisca::ScanProgressCallback(0, u"", 0, self), 0);
    engine->RequestStop();
    EXPECT_EQ(TOrbisca::ScanProgressCallback(0, u"", 0, self), -1);
    // Another engine's request is not this one's; without an engine nothing stops.
    TOrbisca other(&tree);
    EXPECT_EQ(TOrbisca::ScanProgressCallback(0, u"", 0, reinterpret_cast<uintptr_t>(&other)), 0);
    EXPECT_EQ(TOrbisca::ScanProgressCallback(0, u"", 0, 0), 0);
    // Progress without an engine or bar is still acknowledged.
    EXPECT_EQ(TOrbisca::ScanProgressCallback(2, u"", 10, 0), -1);
}

// Raises the close request of the harness's engine at a chosen pump point.
struct CloseAt {
    int at;
    const std::unique_ptr<TOrbisca>* engine;
    int seen = 0;
    static void observe(void* ctx) {
        auto* self = static_cast<CloseAt*>(ctx);
        if (++self->seen == self->at && *self->engine)
            (*self->engine)->RequestStop();
    }
};

TEST_F(ServiceHarness, CloseRequestMidScanFinishesOpenFoldersOnly) {
    // Pump points: 1 root walk, 2 before a, 3 before sub1, 4 sub1's walk (close here),
    // then b, sub2 and c: folders not yet entered stay out, files of the open root still come.
    CloseAt close{4, &engine};
    platform::SetPumpObserver(&CloseAt::observe, &close);
    scan("ROOT\n  F a size=1\n  D sub1\n    F s size=10\n  F b size=2\n  D sub2\n  F c size=4\n");
    EXPECT_EQ(dump(), (QStringList{"C:\\|7|2|3|1", "C:\\a|1|0|0|0", "C:\\b|2|0|0|0",
                                   "C:\\c|4|0|0|0"}));
    EXPECT_EQ(engine->TotalFiles(), 3u);
    EXPECT_EQ(engine->TotalFolders(), 1u);
    EXPECT_EQ(engine->TotalSize(), 7);
    EXPECT_EQ(liveServiceObjects(), 0);
    EXPECT_TRUE(engine->ScanVerdict().Stopped);
    EXPECT_FALSE(engine->ScanVerdict().CutShort);
    EXPECT_FALSE(engine->ScanVerdict().IsComplete());
}

TEST_F(ServiceHarness, CloseRequestDuringSnapshotIsPassedToTheService) {
    CloseAt close{3, &engine};
    platform::SetPumpObserver(&CloseAt::observe, &close);
    scan("@stopcheck\nROOT\n  F a size=1\n");
    EXPECT_NE(serviceLog().find("stop requested after 3"), std::string::npos) << serviceLog();
    EXPECT_TRUE(tree.IsEmpty()); // the walk starts with the close request already set
    EXPECT_TRUE(engine->ScanVerdict().Stopped);
    // A service that answers false for the stop has not failed: stopped, not cut short.
    close = CloseAt{1, &engine};
    scan("@stopcheck\n@result 0\nROOT\n  F a size=1\n");
    EXPECT_TRUE(engine->ScanVerdict().Stopped);
    EXPECT_FALSE(engine->ScanVerdict().CutShort) << engine->ScanVerdict().Reason.toStdString();
}

// Totals recomputed independently from the file nodes below each folder.
void expectConsistentTotals(const analysis::TAnalysisTree& t, const TOrbisca& e) {
    uint32_t files = 0;
    for (PNode n = t.GetFirst(); n != PNode::None; n = t.GetNext(n)) {
        if (!t.IsFolder(n)) {
            ++files;
            continue;
        }
        int64_t size = 0;
        uint32_t below = 0;
        std::function<void(PNode)> visit = [&](PNode p) {
            for (PNode c = t.GetFirstChild(p); c != PNode::None; c = t.GetNextSibling(c)) {
                if (t.IsFolder(c))
                    visit(c);
                else
                    size += t.Size(c), ++below;
            }
        };
        visit(n);
        ASSERT_EQ(t.Size(n), size) << t.Path(n).toStdString();
        ASSERT_EQ(t.FileCount(n), below) << t.Path(n).toStdString();
    }
    EXPECT_EQ(files, e.TotalFiles());
    if (!t.IsEmpty()) {
        EXPECT_EQ(e.TotalSize(), t.Size(t.GetFirst()));
    }
}

TEST_F(ServiceHarness, PartialTreeAfterCloseHasConsistentTotals) {
    for (int at : {40, 400, 1500}) {
        SCOPED_TRACE(at);
        CloseAt close{at, &engine};
        platform::SetPumpObserver(&CloseAt::observe, &close);
        scan("@generate 3000 7\nROOT\n");
        platform::SetPumpObserver(nullptr, nullptr);
        EXPECT_GT(tree.NodeCount(), 1u);
        EXPECT_LT(tree.NodeCount(), 3001u);
        expectConsistentTotals(tree, *engine);
    }
    scan("@generate 3000 7\nROOT\n");
    EXPECT_EQ(tree.NodeCount(), 3001u);
    expectConsistentTotals(tree, *engine);
    EXPECT_TRUE(engine->ScanVerdict().IsComplete());
}

TEST_F(ServiceHarness, DeepNestingIsWalkedWithoutExhaustingTheStack) {
    scan("@deep 10000\nROOT\n");
    ASSERT_EQ(tree.NodeCount(), 10002u);
    const PNode root = tree.GetFirst();
    EXPECT_EQ(tree.FolderCount(root), 10000u);
    EXPECT_EQ(tree.FileCount(root), 1u);
    EXPECT_EQ(tree.Size(root), 7);
    QString deepest = QStringLiteral("C:\\");
    for (int i = 0; i < 10000; ++i)
        deepest += QStringLiteral("d\\");
    deepest += u'f';
    const PNode file = engine->FindNodeForThis(0, deepest);
    ASSERT_NE(file, PNode::None);
    EXPECT_EQ(tree.Path(file), deepest);
}

TEST_F(ServiceHarness, FolderLoopInABrokenGraphIsNotFollowed) {
    platform::DebugCapture capture;
    scan("ROOT\n  D sub\n    L back\n    F x size=3\n");
    EXPECT_EQ(dump(), (QStringList{"C:\\|3|2|1|1", "C:\\sub|3|1|1|1", "C:\\sub\\x|3|0|0|0"}));
    EXPECT_TRUE(capture.contains("repeats on its own path"));
}

// How the snapshot ended decides what the tree may claim: only a snapshot of the whole volume is
// complete; otherwise the verdict keeps the reason, and the tree keeps what was read.
TEST_F(ServiceHarness, VerdictSaysHowTheSnapshotEnded) {
    struct Case {
        const char* name;
        const char* fixture;
        const char* reason; // "" for a complete snapshot
        size_t nodes;
    };
    const Case cases[] = {
        {"whole volume", "ROOT\n  F x size=1\n", "", 2},
        {"cut short, with the service's reason",
         "@result 0\n@message its record memory of 19.1 MiB was used up after 2 entries\n"
         "ROOT\n  F x size=1\n  D d noitems\n",
         "its record memory of 19.1 MiB was used up after 2 entries", 3},
        {"failed without a word", "@result 0\nROOT\n  F x size=1\n",
         "the snapshot service reported a failure", 2},
        {"no root folder", "@noroot\nROOT\n  F x size=1\n",
         "the snapshot service returned no root folder", 0},
        {"volume cannot be opened", "@fail OpenVolume\nROOT\n", "Error: OpenVolume failed", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        scan(c.fixture);
        const analysis::TScanVerdict& v = engine->ScanVerdict();
        EXPECT_EQ(v.CutShort, *c.reason != 0);
        EXPECT_EQ(v.Reason, c.reason);
        EXPECT_FALSE(v.Stopped);
        EXPECT_EQ(v.UnreadableFolders, 0u);
        EXPECT_EQ(v.IsComplete(), *c.reason == 0);
        EXPECT_EQ(tree.NodeCount(), c.nodes);
    }
    // The verdict belongs to the last analysis only.
    rescan("ROOT\n  F x size=1\n");
    EXPECT_TRUE(engine->ScanVerdict().IsComplete());
    EXPECT_TRUE(engine->ScanVerdict().Reason.isEmpty());
}

TEST_F(ServiceHarness, UnreadableFoldersAreCountedAndTheFirstFewNamed) {
    scan(R"(
ROOT
  D locked flags=unreadable noitems
  D part flags=unreadable
    F seen size=5
    D inner flags=unreadable noitems
  D junction attr=0x410 flags=unreadable
  D a flags=unreadable noitems
  D b flags=unreadable noitems
  D c flags=unreadable noitems
  F x size=1
)");
    const analysis::TScanVerdict& v = engine->ScanVerdict();
    EXPECT_FALSE(v.CutShort);
    EXPECT_FALSE(v.Stopped);
    // Not the junction: it is never walked, so nothing of it is missing.
    EXPECT_EQ(v.UnreadableFolders, 6u);
    EXPECT_EQ(v.UnreadableSamples,
              (QStringList{"C:\\locked", "C:\\part", "C:\\part\\inner", "C:\\a", "C:\\b"}));
    EXPECT_FALSE(v.IsComplete());
    EXPECT_EQ(engine->TotalSize(), 6); // what could be read is there
    EXPECT_NE(engine->FindRootNodeForDir("C:\\locked"), PNode::None);

    rescan("ROOT flags=unreadable noitems\n");
    EXPECT_EQ(engine->ScanVerdict().UnreadableSamples, QStringList{"C:\\"});
}

TEST_F(ServiceHarness, SizesSaturateAtTheLargestInsteadOfWrapping) {
    scan(R"(
ROOT
  D huge
    F a size=9223372036854775807
    F b size=9223372036854775807
  D streams
    F two streams=9223372036854775807,1
    F beyond stream=18446744073709551615/18446744073709551615
  D small
    F c size=10
)");
    const QString max = QString::number(INT64_MAX);
    EXPECT_EQ(dump(), (QStringList{
                          "C:\\|" + max + "|3|5|1",
                          "C:\\huge|" + max + "|0|2|1",
                          "C:\\huge\\a|" + max + "|0|0|0",
                          "C:\\huge\\b|" + max + "|0|0|0",
                          "C:\\streams|" + max + "|0|2|1",
                          "C:\\streams\\two|" + max + "|0|0|0",
                          "C:\\streams\\beyond|" + max + "|0|0|0",
                          "C:\\small|10|0|1|1",
                          "C:\\small\\c|10|0|0|0",
                      }));
    EXPECT_EQ(engine->TotalSize(), INT64_MAX);
}

const char* const kFindVolume = R"(
ROOT
  D Windows
    F notepad.exe size=1
  D Foo
    F x size=1
  D FOO
    F x size=2
  D "\u00c4RGER"
  F Windows size=3
)";

TEST_F(ServiceHarness, FindOperationsCompareByPathAndKind) {
    scan(kFindVolume);
    struct Case {
        const char* dir;
        const char* found; // path of the folder found, or "" for none
    };
    const Case folders[] = {
        {"c:\\windows", "C:\\Windows"},
        {"C:\\Windows\\", ""},
        {"C:\\", "C:\\"},
        {"c:\\", "C:\\"},
        {"C:\\FOO", "C:\\FOO"}, // the exact name wins over an earlier caseless match
        {"C:\\Foo", "C:\\Foo"},
        {"C:\\foo", "C:\\Foo"}, // no exact match: the first caseless one in pre-order
        {"C:\\\u00c4RGER", "C:\\\u00c4RGER"},
        {"c:\\\u00e4rger", ""}, // letters beyond a to z compare exactly
        {"C:\\Windows\\notepad.exe", ""},
        {"", ""},
    };
    for (const Case& c : folders) {
        SCOPED_TRACE(c.dir);
        const PNode n = engine->FindRootNodeForDir(QString::fromUtf8(c.dir));
        EXPECT_EQ(n == PNode::None ? QString() : tree.Path(n), QString::fromUtf8(c.found));
        if (n != PNode::None) {
            EXPECT_TRUE(tree.IsFolder(n));
        }
    }
    // Files: the kind must match even where a folder has the same path.
    const PNode fooX = engine->FindNodeForThis(0, "C:\\FOO\\x");
    ASSERT_NE(fooX, PNode::None);
    EXPECT_EQ(tree.Size(fooX), 2);
    EXPECT_EQ(tree.Size(engine->FindNodeForThis(0, "c:\\foo\\X")), 1);
    EXPECT_EQ(engine->FindNodeForThis(0, "C:\\Foo"), PNode::None);
    EXPECT_EQ(tree.Size(engine->FindNodeForThis(0, "C:\\WINDOWS")), 3);
    EXPECT_EQ(tree.Path(engine->FindNodeForThis(1, "C:\\WINDOWS")), "C:\\Windows");
    EXPECT_EQ(engine->FindNodeForThis(2, "C:\\Windows"), PNode::None);
}

TEST_F(ServiceHarness, EmptyTreeFindsNothingAndCountsNothing) {
    scan("@noroot\nROOT\n");
    EXPECT_EQ(engine->FindRootNodeForDir("C:\\"), PNode::None);
    EXPECT_EQ(engine->FindNodeForThis(0, "C:\\x"), PNode::None);
    EXPECT_EQ(engine->CountDirsInTree(&tree, PNode::None), 0u);
    EXPECT_EQ(engine->CountFilesInTree(&tree, PNode::None), 0u);
    EXPECT_EQ(engine->CountSizeInTree(&tree, PNode::None), 0);
}

TEST_F(ServiceHarness, WalkPathFollowsTheDriveTextGiven) {
    // A longer drive text loses its last character for the root node only.
    scan("ROOT\n  D sub\n    F f size=1\n", QStringLiteral("C:\\base\\"));
    EXPECT_EQ(dump(), (QStringList{"C:\\base|1|1|1|1", "C:\\base\\sub|1|0|1|1",
                                   "C:\\base\\sub\\f|1|0|0|0"}));
    EXPECT_NE(serviceLog().find("OpenVolume C:\\base\\\n"), std::string::npos);
}

} // namespace
