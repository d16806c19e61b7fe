// The store of kept analyses: where it lives, what it keeps per drive and in all, what it lists
// from the headers, and that no failure (a full disk above all) loses what was kept before.

#include "SavedTestSupport.h"
#include "StoreSupport.h"

#include "saved/AnalysisStore.h"
#include "saved/OpenAnalysis.h"

#include <sys/mount.h>
#include <sys/statvfs.h>

#include <cstdlib>

using namespace savedtest;
using testtree::TempDir;

namespace {

// ORBISCA_HIVE pointed into a folder of the test's own, so the store is "analyses" beside it.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override { useHiveIn(home.path()); }
    void TearDown() override { ::unsetenv("ORBISCA_HIVE"); }
    void useHiveIn(const std::string& folder) {
        ::setenv("ORBISCA_HIVE", (folder + "/machine.hive").c_str(), 1);
    }

    TempDir home;
};

// A small analysis of a drive named by its UUID, made at minute `minute`, with `files` files of
// random names (so that they do not compress).
struct Made {
    TAnalysisTree tree;
    analysis::TAnalysisSummary summary;
};
void makeAnalysis(Made& m, const std::string& uuid, int minute, int files = 3,
                  bool complete = true) {
    m.tree.Clear();
    const PNode top = m.tree.AddTopFolder(u"E:\\");
    uint32_t seed = static_cast<uint32_t>(minute * 7919 + files);
    for (int i = 0; i < files; ++i) {
        std::u16string name;
        for (int k = 0; k < 24; ++k) {
            seed = seed * 1103515245u + 12345u;
            name += static_cast<char16_t>(u'a' + (seed >> 16) % 26);
        }
        m.tree.AddFile(top, name, i);
    }
    m.tree.SetFileCount(top, static_cast<uint32_t>(files));
    m.tree.SetSize(top, int64_t{files} * (files - 1) / 2);
    m.summary = {};
    m.summary.Drive = QStringLiteral("E:\\");
    m.summary.TotalFiles = static_cast<uint32_t>(files);
    m.summary.TotalFolders = 1;
    m.summary.TotalSize = m.tree.Size(top);
    // As an analysis loaded earlier: it keeps the identity it recorded.
    m.summary.Origin.Loaded = true;
    m.summary.Origin.FileSystem.uuid = uuid;
    m.summary.Origin.Ended =
        QDateTime::fromSecsSinceEpoch(1700000000 + int64_t{minute} * 60, Qt::UTC);
    if (!complete) {
        m.summary.Verdict.CutShort = true;
        m.summary.Verdict.Reason = QStringLiteral("out of record memory");
    }
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (std::string_view(e->d_name) != "." && std::string_view(e->d_name) != "..")
                names.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST_F(StoreTest, KeepsAnalysesBesideTheHiveForRootAloneAndListsThemFromTheirHeaders) {
    EXPECT_EQ(saved::StoreFolder(), home / "analyses");
    QString error;
    EXPECT_TRUE(saved::ListKeptAnalyses(&error).empty());
    EXPECT_TRUE(error.isEmpty()) << "no store yet is no error";

    TempDir dir;
    makeAwkwardTree(dir);
    Scan scan(dir.path(), u'S');
    saved::TKeptAnalysis kept;
    ASSERT_TRUE(saved::KeepAnalysis(scan.tree, scan.engine->Summary(), {}, &kept, &error))
        << error.toStdString();
    struct stat st {};
    ASSERT_EQ(::lstat((home / "analyses").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(st.st_uid, ::geteuid());
    ASSERT_EQ(::lstat(kept.File.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    Made cut;
    makeAnalysis(cut, "cafe-0001", 5, 3, /*complete=*/false);
    ASSERT_TRUE(saved::KeepAnalysis(cut.tree, cut.summary, {}, nullptr, &error));
    // Things in the store that are no analyses are not listed.
    testtree::writeFile(home / "analyses/notes.orbisca", 100);
    testtree::writeFile(home / "analyses/.keep-left.tmp", 100);

    const auto list = saved::ListKeptAnalyses(&error);
    ASSERT_EQ(list.size(), 2u) << error.toStdString();
    // Newest first: the scan (made now) before the one made in 2023.
    EXPECT_EQ(list[0].File, kept.File);
    EXPECT_EQ(list[0].Drive(), "S:\\");
    EXPECT_EQ(list[0].Files(), scan.engine->TotalFiles());
    EXPECT_EQ(list[0].Size(), scan.engine->TotalSize());
    EXPECT_TRUE(list[0].Complete());
    EXPECT_EQ(list[0].MadeAt(), scan.engine->Origin().Ended);
    EXPECT_EQ(list[0].Header.Summary.Origin.Root, dir.path());
    EXPECT_EQ(list[0].FileBytes, static_cast<uint64_t>(st.st_size));
    EXPECT_FALSE(list[1].Complete()) << "a cut-short analysis is kept and marked";
    EXPECT_EQ(list[1].Header.Summary.Verdict.Reason, "out of record memory");

    // Opened again, a kept scan is the analysis that was kept.
    TAnalysisTree loaded;
    saved::TOpened opened;
    ASSERT_TRUE(saved::OpenAnalysisFile(kept.File, loaded, &opened, &error)) << error.toStdString();
    expectSameTree(scan.tree, loaded);
    EXPECT_TRUE(opened.Summary.Origin.Loaded);
    EXPECT_EQ(opened.Summary.Origin.File, kept.File);
    EXPECT_EQ(opened.Format, "orbisca");

    ASSERT_TRUE(saved::ForgetKeptAnalysis(list[1].File, &error)) << error.toStdString();
    EXPECT_EQ(saved::ListKeptAnalyses(&error).size(), 1u);
    EXPECT_FALSE(saved::ForgetKeptAnalysis(dir / "sub/inner", &error)) << "only kept analyses";
    EXPECT_FALSE(saved::ForgetKeptAnalysis(home / "analyses/../machine.hive", &error));
}

TEST_F(StoreTest, KeepsTheNewestPerDriveAndStaysWithinItsSize) {
    QString error;
    Made m;
    // Twelve analyses of one drive and three of another, made in no particular order.
    for (int minute : {3, 11, 7, 1, 9, 12, 2, 10, 4, 8, 6, 5}) {
        makeAnalysis(m, "uuid-a", minute);
        ASSERT_TRUE(saved::KeepAnalysis(m.tree, m.summary, {}, nullptr, &error))
            << error.toStdString();
    }
    for (int minute : {1, 2, 3}) {
        makeAnalysis(m, "uuid-b", minute);
        ASSERT_TRUE(saved::KeepAnalysis(m.tree, m.summary, {}, nullptr, &error));
    }
    const auto minutesOf = [](const std::vector<saved::TKeptAnalysis>& list, const char* uuid) {
        std::vector<int64_t> minutes;
        for (const auto& k : list)
            if (k.Header.Summary.Origin.FileSystem.uuid == uuid)
                minutes.push_back((k.MadeAt().toSecsSinceEpoch() - 1700000000) / 60);
        return minutes;
    };
    auto list = saved::ListKeptAnalyses(&error);
    // Each keeping beyond ten removed the oldest of the drive then (1, then 2).
    EXPECT_EQ(minutesOf(list, "uuid-a"), (std::vector<int64_t>{12, 11, 10, 9, 8, 7, 6, 5, 4, 3}));
    EXPECT_EQ(minutesOf(list, "uuid-b"), (std::vector<int64_t>{3, 2, 1}));

    // Fewer per drive, and a size the newest ones fill: the oldest of all go first.
    uint64_t three = 0; // the two newest of drive a and the one about to be kept
    for (const auto& k : list)
        if (k.Header.Summary.Origin.FileSystem.uuid == "uuid-a" && k.MadeAt() >= list[1].MadeAt())
            three += k.FileBytes;
    three += three / 2;
    makeAnalysis(m, "uuid-a", 13);
    saved::TRetention retention{.KeepPerDrive = 4, .MaxTotalBytes = three + 1};
    saved::TKeptAnalysis kept;
    ASSERT_TRUE(saved::KeepAnalysis(m.tree, m.summary, retention, &kept, &error));
    list = saved::ListKeptAnalyses(&error);
    uint64_t total = 0;
    for (const auto& k : list)
        total += k.FileBytes;
    EXPECT_LE(total, retention.MaxTotalBytes);
    EXPECT_EQ(minutesOf(list, "uuid-a").front(), 13);
    EXPECT_LE(minutesOf(list, "uuid-a").size(), 3u);
    EXPECT_TRUE(minutesOf(list, "uuid-b").empty()) << "older than every one of drive a kept";

    // The one just kept stays even when it alone is larger than the store may be.
    makeAnalysis(m, "uuid-c", 20, 2000);
    ASSERT_TRUE(saved::KeepAnalysis(m.tree, m.summary, {.KeepPerDrive = 10, .MaxTotalBytes = 10},
                                    &kept, &error));
    list = saved::ListKeptAnalyses(&error);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].File, kept.File);
}

TEST_F(StoreTest, AStoreThatIsALinkOrAnotherUsersIsRefused) {
    QString error;
    Made m;
    makeAnalysis(m, "uuid", 1);
    TempDir elsewhere;
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), (home / "analyses").c_str()), 0);
    EXPECT_FALSE(saved::KeepAnalysis(m.tree, m.summary, {}, nullptr, &error));
    EXPECT_TRUE(error.contains("not a folder of the program's own")) << error.toStdString();
    EXPECT_TRUE(filesIn(elsewhere.path()).empty()) << "nothing written through the link";
    ::unlink((home / "analyses").c_str());

    if (::geteuid() != 0)
        GTEST_SKIP() << "another user's folder needs root to make";
    testtree::makeDir(home / "analyses");
    ASSERT_EQ(::chown((home / "analyses").c_str(), 65534, 65534), 0);
    EXPECT_FALSE(saved::KeepAnalysis(m.tree, m.summary, {}, nullptr, &error));
    EXPECT_TRUE(error.contains("belongs to another user")) << error.toStdString();
    EXPECT_TRUE(filesIn(home / "analyses").empty());
    // A folder of ours that others may enter is narrowed to ours alone.
    ASSERT_EQ(::chown((home / "analyses").c_str(), 0, 0), 0);
    ::chmod((home / "analyses").c_str(), 0777);
    ASSERT_TRUE(saved::KeepAnalysis(m.tree, m.summary, {}, nullptr, &error)) << error.toStdString();
    struct stat st {};
    ::stat((home / "analyses").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST_F(StoreTest, AFullDiskLosesNoAnalysisKeptBefore) {
    if (!storetest::PrivateMounts())
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root and a mount namespace)";
    TempDir volume;
    ASSERT_EQ(::mount("orbisca-test", volume.path().c_str(), "tmpfs", 0, "size=1m,mode=0755"), 0);
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{volume.path()};
    useHiveIn(volume.path());

    QString error;
    Made first;
    makeAnalysis(first, "uuid", 1, 50);
    saved::TKeptAnalysis kept;
    ASSERT_TRUE(saved::KeepAnalysis(first.tree, first.summary, {}, &kept, &error))
        << error.toStdString();

    // Fill the volume to its last bytes, then keep an analysis that cannot fit.
    {
        const int fill = ::open((volume / "filler").c_str(), O_WRONLY | O_CREAT, 0600);
        const std::string block(4096, 'x');
        while (::write(fill, block.data(), block.size()) > 0) {
        }
        ::close(fill);
    }
    Made large;
    makeAnalysis(large, "uuid", 2, 20000);
    EXPECT_FALSE(saved::KeepAnalysis(large.tree, large.summary, {}, nullptr, &error));
    EXPECT_TRUE(error.contains("No space left on device")) << error.toStdString();

    // What was kept is all there, readable, and no temporary file is left behind.
    EXPECT_EQ(filesIn(volume / "analyses"),
              std::vector<std::string>{kept.File.substr(kept.File.rfind('/') + 1)});
    TAnalysisTree loaded;
    saved::TOpened opened;
    ASSERT_TRUE(saved::OpenAnalysisFile(kept.File, loaded, &opened, &error)) << error.toStdString();
    expectSameTree(first.tree, loaded);

    // With room again, the same analysis is kept beside it.
    ::unlink((volume / "filler").c_str());
    ASSERT_TRUE(saved::KeepAnalysis(large.tree, large.summary, {}, nullptr, &error))
        << error.toStdString();
    EXPECT_EQ(saved::ListKeptAnalyses(&error).size(), 2u);
}
