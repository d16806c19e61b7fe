// Acting as root in trees that other local accounts can change while the program runs: items are
// reached from their drive's root without following links and only while they are what the
// analysis recorded; trash folders are made through descriptors; bookkeeping files of the trash
// are only read when they are regular files of their owner; the administrator's trash takes what
// the user could not have removed. "mallory" is a second local account with no name.

#include "UserActionsSupport.h"

#include "platform/ListedItem.h"
#include "platform/RunAsUser.h"
#include "platform/Trash.h"

#include <linux/fs.h>
#include <signal.h>
#include <sys/syscall.h>

#include <climits>

namespace {

using namespace testing_user;
using platform::ListedItem;
using platform::MoveToTrash;
using platform::ReachFailure;
using platform::TrashFailure;
using platform::TrashResult;

class HostileTree : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_ROOT();
        home_ = tree_.Folder("home", 0755, kUser, kGroup);
        dataHome_ = home_ + "/data";
        tree_.Folder("home-root", 0700); // root's home: the administrator's trash lives here
        user_ = TestUserSession(home_, dataHome_, tree_ / "run");
    }

    TempTree tree_;
    std::string home_, dataHome_;
    platform::UserSession user_;
};

TEST_F(HostileTree, AnItemIsReachedOnlyWhileItIsWhatTheAnalysisRecorded) {
    // Drive M: is a folder others can write into, as /tmp is.
    const std::string drive = tree_.Folder("drive", 01777);
    const std::string rootOnly = tree_.Folder("rootonly", 0700);
    WriteFile(rootOnly + "/victimfile", "root's secret", 0600);

    const struct {
        const char* name;
        std::function<void(const std::string& folder)> change; // run as mallory
        ReachFailure failure;
    } cases[] = {
        {"unchanged", [](const std::string&) {}, ReachFailure::None},
        {"folder swapped for a link",
         [&](const std::string& folder) {
             ::rename(folder.c_str(), (folder + ".real").c_str());
             ::symlink(rootOnly.c_str(), folder.c_str());
         },
         ReachFailure::Changed},
        {"folder swapped for another folder with the same names",
         [](const std::string& folder) {
             ::rename(folder.c_str(), (folder + ".real").c_str());
             ::mkdir(folder.c_str(), 0755);
             WriteFile(folder + "/victimfile", "other");
         },
         ReachFailure::Changed},
        // (The old item is kept elsewhere: a file system may give a freed inode number at once to
        // the next new entry.)
        {"item swapped for a link",
         [&](const std::string& folder) {
             ::rename((folder + "/victimfile").c_str(), (folder + "/kept").c_str());
             ::symlink((rootOnly + "/victimfile").c_str(), (folder + "/victimfile").c_str());
         },
         ReachFailure::Changed},
        {"item replaced by another file",
         [](const std::string& folder) {
             ::rename((folder + "/victimfile").c_str(), (folder + "/kept").c_str());
             WriteFile(folder + "/victimfile", "new");
         },
         ReachFailure::Changed},
        {"item gone", [](const std::string& folder) { ::unlink((folder + "/victimfile").c_str()); },
         ReachFailure::Vanished},
        {"folder gone",
         [](const std::string& folder) {
             ::unlink((folder + "/victimfile").c_str());
             ::rmdir(folder.c_str());
         },
         ReachFailure::Vanished},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string junk = "junk" + std::to_string(n++);
        const std::string folder = drive + "/" + junk;
        ::mkdir(folder.c_str(), 0755);
        ASSERT_EQ(::chown(folder.c_str(), kMallory, kMalloryGroup), 0);
        WriteFile(folder + "/victimfile", "mallory's");
        ASSERT_EQ(::chown((folder + "/victimfile").c_str(), kMallory, kMalloryGroup), 0);
        const ListedItem item = RecordedItem(drive, {junk, "victimfile"});
        EXPECT_EQ(AsMallory([&] { c.change(folder); }).Wait(), 0);

        platform::ReachedItem reached;
        const platform::ReachResult reach = platform::ReachListedItem(item, &reached);
        EXPECT_EQ(reach.failure, c.failure) << reach.reason;

        // The trash takes the item only when it is reached, and never anything else.
        const TrashResult result = MoveToTrash(std::vector<ListedItem>{item}, user_).front();
        EXPECT_EQ(result.ok, c.failure == ReachFailure::None) << result.error.toStdString();
        if (c.failure == ReachFailure::Changed) {
            EXPECT_EQ(result.failure, TrashFailure::Changed);
        }
        EXPECT_EQ(ReadFile(rootOnly + "/victimfile"), "root's secret");
    }
    EXPECT_EQ(Entries(rootOnly), std::vector<std::string>{"victimfile"});
}

TEST_F(HostileTree, TheWalkStaysOnTheAnalysedVolume) {
    const std::string drive = tree_.Folder("drive2");
    tree_.Folder("drive2/sub");
    WriteFile(drive + "/sub/item", "x");
    const ListedItem item = RecordedItem(drive, {"sub", "item"});
    // A volume mounted over a folder on the way after the analysis.
    if (!tree_.MountTmpfs("drive2/sub"))
        GTEST_SKIP() << "cannot mount a tmpfs here";
    WriteFile(drive + "/sub/item", "y");
    ListedItem sameInodes = item; // the tmpfs may even reuse the numbers: not recorded
    sameInodes.inodes.clear();
    for (const ListedItem& candidate : {item, sameInodes}) {
        platform::ReachedItem reached;
        EXPECT_EQ(platform::ReachListedItem(candidate, &reached).failure, ReachFailure::Changed);
    }
}

TEST_F(HostileTree, ItemsBeyondPathMaxAreTrashedThroughTheirFolder) {
    const std::string drive = tree_.Folder("deep", 0755, kUser, kGroup);
    // Folders of 200 characters, deeper than PATH_MAX allows a path to be.
    const std::string segment(200, 'd');
    std::vector<std::string> names;
    platform::UniqueFd folder(::open(drive.c_str(), O_RDONLY | O_DIRECTORY));
    while (names.size() * 201 < PATH_MAX + 400) {
        ASSERT_EQ(::mkdirat(folder.get(), segment.c_str(), 0755), 0);
        ASSERT_EQ(::fchownat(folder.get(), segment.c_str(), kUser, kGroup, 0), 0);
        folder =
            platform::UniqueFd(::openat(folder.get(), segment.c_str(), O_RDONLY | O_DIRECTORY));
        ASSERT_TRUE(folder);
        names.push_back(segment);
    }
    const int file = ::openat(folder.get(), "deep file", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(file, 0);
    ::close(file);
    names.push_back("deep file");
    ListedItem item;
    item.root = drive;
    item.names = names;
    EXPECT_GT(item.Path().size(), size_t(PATH_MAX));

    const TrashResult result = MoveToTrash(std::vector<ListedItem>{item}, user_).front();
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.trashedPath, dataHome_ + "/Trash/files/deep file");
    EXPECT_TRUE(Exists(result.trashedPath));
    EXPECT_EQ(::faccessat(folder.get(), "deep file", F_OK, AT_SYMLINK_NOFOLLOW), -1);
    EXPECT_NE(ReadFile(result.infoPath).find("Path=" + drive + "/" + segment + "/"),
              std::string::npos);
    // The whole deep folder goes too, and its size is recorded.
    ListedItem top;
    top.root = drive;
    top.names = {segment};
    const TrashResult folderResult = MoveToTrash(std::vector<ListedItem>{top}, user_).front();
    ASSERT_TRUE(folderResult.ok) << folderResult.error.toStdString();
    EXPECT_NE(ReadFile(dataHome_ + "/Trash/directorysizes").find(" " + segment + "\n"),
              std::string::npos);
}

TEST_F(HostileTree, MakingTheHomeTrashCannotBeRacedIntoAnotherFolder) {
    // The user swaps the folder that will hold the trash with a link to a folder of root's, as
    // fast as possible, while root makes the trash again and again.
    const std::string target = tree_.Folder("target", 0755);
    const std::string local = home_ + "/.local";
    tree_.Folder("home/.local", 0755, kUser, kGroup);
    tree_.Folder("home/.local/share", 0700, kUser, kGroup);
    ASSERT_EQ(::symlink(target.c_str(), (local + "/decoy").c_str()), 0);
    ASSERT_EQ(::lchown((local + "/decoy").c_str(), kUser, kGroup), 0);
    const std::string work = tree_.Folder("work", 0755, kUser, kGroup);

    // The swapper is the user: the folders on the way are theirs.
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setresgid(kGroup, kGroup, kGroup) != 0 || ::setresuid(kUser, kUser, kUser) != 0)
            ::_exit(2);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (std::chrono::steady_clock::now() < end)
            ::syscall(SYS_renameat2, AT_FDCWD, (local + "/share").c_str(), AT_FDCWD,
                      (local + "/decoy").c_str(), RENAME_EXCHANGE);
        ::_exit(0);
    }
    // Every round makes a trash in a data folder not made yet, inside the swapped folder.
    int made = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
    for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
        const std::string item = work + "/item" + std::to_string(round);
        WriteFile(item, "x");
        ::chown(item.c_str(), kUser, kGroup);
        const platform::UserSession user =
            TestUserSession(home_, local + "/share/d" + std::to_string(round), tree_ / "run");
        made += MoveToTrash(item, user).ok ? 1 : 0;
        ASSERT_EQ(Entries(target), std::vector<std::string>{}) << "round " << round;
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    EXPECT_EQ(Entries(target), std::vector<std::string>{});
    EXPECT_GT(made, 0) << "some rounds are expected to win against the swapper";
}

TEST_F(HostileTree, WhatTheUserCouldNotRemoveGoesToTheAdministratorsTrash) {
    const std::string area = tree_.Folder("area", 0755, kUser, kGroup);
    const std::string roots = tree_.Folder("area/roots", 0755); // root's, not writable for the user
    const std::string shared = tree_.Folder("area/shared", 01777); // sticky, like /tmp
    tree_.Folder("area/roots-folder", 0755);
    WriteFile(roots + "/locked", "root's");
    WriteFile(shared + "/malloryfile", "mallory's");
    ASSERT_EQ(::chown((shared + "/malloryfile").c_str(), kMallory, kMalloryGroup), 0);
    WriteFile(shared + "/userfile", "the user's");
    ASSERT_EQ(::chown((shared + "/userfile").c_str(), kUser, kGroup), 0);
    WriteFile(area + "/plain", "the user's folder");

    const struct {
        std::string path;
        bool administrator;
    } cases[] = {
        {roots + "/locked", true},       // no write permission on its folder
        {shared + "/malloryfile", true}, // sticky folder, neither item nor folder the user's
        {area + "/roots-folder", true},  // a folder of root's: its ".." would change
        {shared + "/userfile", false},   // sticky folder, but the item is the user's
        {area + "/plain", false},
    };
    const std::string adminTrash = tree_ / "home-root/.local/share/Trash";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const struct stat before = StatOf(c.path);
        const TrashResult result = MoveToTrash(c.path, user_);
        ASSERT_TRUE(result.ok) << result.error.toStdString();
        EXPECT_EQ(result.administratorTrash, c.administrator);
        EXPECT_EQ(result.trashFolder, c.administrator ? adminTrash : dataHome_ + "/Trash");
        const struct stat after = StatOf(result.trashedPath);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_uid, before.st_uid) << "nothing is given away";
        EXPECT_EQ(StatOf(result.infoPath).st_uid, c.administrator ? 0u : kUser);
    }
    EXPECT_EQ(StatOf(adminTrash).st_uid, 0u);
    EXPECT_EQ(StatOf(adminTrash).st_mode & 07777, 0700u);

    // On another volume: the top folder's trash of uid 0.
    if (!tree_.MountTmpfs("vol"))
        GTEST_SKIP() << "cannot mount a tmpfs as a second volume here";
    WriteFile(tree_ / "vol/rootfile", "x");
    const TrashResult top = MoveToTrash(tree_ / "vol/rootfile", user_);
    ASSERT_TRUE(top.ok) << top.error.toStdString();
    EXPECT_TRUE(top.administratorTrash);
    EXPECT_EQ(top.trashedPath, tree_ / "vol/.Trash-0/files/rootfile");
    EXPECT_EQ(StatOf(tree_ / "vol/.Trash-0").st_uid, 0u);
}

TEST_F(HostileTree, TrashBookkeepingOfOthersIsNeitherFollowedNorRead) {
    const std::string work = tree_.Folder("work", 0755, kUser, kGroup);
    WriteFile(work + "/first", "1");
    ::chown((work + "/first").c_str(), kUser, kGroup);
    ASSERT_TRUE(MoveToTrash(work + "/first", user_).ok);
    const std::string trash = dataHome_ + "/Trash";

    const struct {
        const char* name;
        std::function<void()> plant;
    } cases[] = {
        {"fifo", [&] { ASSERT_EQ(::mkfifo((trash + "/directorysizes").c_str(), 0600), 0); }},
        {"link to a file of root's",
         [&] {
             WriteFile(tree_ / "secret", "123 456 root%27s%20secret\n", 0600);
             ::symlink((tree_ / "secret").c_str(), (trash + "/directorysizes").c_str());
         }},
        {"file of another user",
         [&] {
             WriteFile(trash + "/directorysizes", "1 2 mallory%27s%20line\n");
             ::chown((trash + "/directorysizes").c_str(), kMallory, kMalloryGroup);
         }},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink((trash + "/directorysizes").c_str());
        c.plant();
        const std::string folder = work + "/folder" + std::to_string(n++);
        ::mkdir(folder.c_str(), 0755);
        ::chown(folder.c_str(), kUser, kGroup);
        // A delete that hung would stop the whole test program: it runs in a child with a
        // time limit.
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::alarm(20);
            ::_exit(MoveToTrash(folder, user_).ok ? 0 : 1);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << "the delete hung or crashed";
        EXPECT_EQ(WEXITSTATUS(status), 0);
        const struct stat sizes = StatOf(trash + "/directorysizes");
        EXPECT_TRUE(S_ISREG(sizes.st_mode));
        EXPECT_EQ(sizes.st_uid, kUser);
        const std::string text = ReadFile(trash + "/directorysizes");
        EXPECT_EQ(text.find("secret"), std::string::npos) << text;
        EXPECT_EQ(text.find("mallory"), std::string::npos) << text;
        EXPECT_NE(text.find(" folder" + std::to_string(n - 1) + "\n"), std::string::npos) << text;
    }
    EXPECT_EQ(ReadFile(tree_ / "secret"), "123 456 root%27s%20secret\n");
}

TEST_F(HostileTree, LongNamesOfBytesAreShortenedByBytes) {
    const std::string work = tree_.Folder("work", 0755, kUser, kGroup);
    const struct {
        const char* name;
        std::string item;
        size_t kept; // bytes of the name in the trash
    } cases[] = {
        {"245 bytes that are no UTF-8", std::string(245, '\x80'), 239},
        {"UTF-8 cut at a character",
         std::string(2, 'a') +
             [] {
                 std::string s;
                 for (int i = 0; i < 120; ++i)
                     s += "\xc3\xa9";
                 return s;
             }(),
         238},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(work + "/" + c.item, "x");
        ::chown((work + "/" + c.item).c_str(), kUser, kGroup);
        const TrashResult result = MoveToTrash(work + "/" + c.item, user_);
        ASSERT_TRUE(result.ok) << result.error.toStdString();
        const std::string trashed = result.trashedPath.substr(result.trashedPath.rfind('/') + 1);
        EXPECT_EQ(trashed.size(), c.kept);
        EXPECT_EQ(trashed, c.item.substr(0, c.kept));
        EXPECT_FALSE(Exists(work + "/" + c.item));
    }
}

TEST_F(HostileTree, ASharedTrashOfAnotherUserIsNotUsed) {
    if (!tree_.MountTmpfs("vol"))
        GTEST_SKIP() << "cannot mount a tmpfs as a second volume here";
    const std::string volume = tree_ / "vol";
    tree_.Folder("vol/.Trash", 01777, kMallory, kMalloryGroup);
    tree_.Folder("vol/sub", 0755, kUser, kGroup);
    WriteFile(volume + "/sub/item", "x");
    ::chown((volume + "/sub/item").c_str(), kUser, kGroup);
    const TrashResult result = MoveToTrash(volume + "/sub/item", user_);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.trashedPath, volume + "/.Trash-65534/files/item");
    EXPECT_EQ(Entries(volume + "/.Trash"), std::vector<std::string>{});
}

TEST_F(HostileTree, NothingIsDoneForAUserThatIsNotThere) {
    const std::string work = tree_.Folder("work", 0755, kUser, kGroup);
    WriteFile(work + "/item", "x");
    platform::SessionProbe probe;
    probe.environment = {{"PKEXEC_UID", "4242"}};
    probe.effectiveUid = 0;
    probe.runtimeRoot = tree_ / "run";
    probe.lookupUser = [this](uid_t uid) -> std::optional<platform::PasswdEntry> {
        if (uid == 0)
            return platform::PasswdEntry{0, 0, "root", tree_ / "home-root"};
        return std::nullopt;
    };
    const platform::UserSession nobodyKnown = platform::ResolveUserSession(probe);
    ASSERT_FALSE(nobodyKnown.CanActForUser());

    const TrashResult result = MoveToTrash(work + "/item", nobodyKnown);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failure, TrashFailure::Denied);
    EXPECT_NE(result.error.toStdString().find("PKEXEC_UID=4242"), std::string::npos);
    EXPECT_TRUE(Exists(work + "/item"));
    EXPECT_FALSE(Exists(tree_ / "home-root/.local"));

    std::string why;
    EXPECT_FALSE(platform::LaunchAsUser(nobodyKnown, {{{"true"}}, {}}, &why));
    EXPECT_NE(why.find("PKEXEC_UID=4242"), std::string::npos) << why;
}

} // namespace
