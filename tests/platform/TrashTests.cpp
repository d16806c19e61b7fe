// Moving items into the user's trash: the home trash for the home's volume, the top-folder
// trashes on a second volume (a tmpfs), the records, ownership, restoring, and every refusal
// leaving the item where it was.

#include "UserActionsSupport.h"

#include "platform/Trash.h"

#include <ctime>
#include <regex>

namespace {

using namespace testing_user;
using platform::MoveToTrash;
using platform::TrashResult;

class Trash : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_ROOT();
        home_ = tree_.Folder("home", 0755, kUser, kGroup);
        dataHome_ = home_ + "/data"; // made by the first trashing
        // Items lie in folders of the user's: what the user could not remove goes elsewhere.
        work_ = tree_.Folder("work", 0755, kUser, kGroup);
        user_ = TestUserSession(home_, dataHome_, tree_ / "run");
    }

    // A second volume with a folder "sub dir" for the items; skips the test when there is none.
    std::string volume(const std::string& name) {
        if (!tree_.MountTmpfs(name))
            return {};
        tree_.Folder(name + "/sub dir", 0755, kUser, kGroup);
        return tree_ / name;
    }

    static void expectUserFolder(const std::string& path) {
        SCOPED_TRACE(path);
        const struct stat st = StatOf(path);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_uid, kUser);
        EXPECT_EQ(st.st_gid, kGroup);
        EXPECT_EQ(st.st_mode & 07777, 0700u);
    }

    // The record of a trashed item: its Path line, and a deletion date of a moment ago.
    static void expectRecord(const TrashResult& result, const std::string& path) {
        SCOPED_TRACE(result.infoPath);
        const std::string record = ReadFile(result.infoPath);
        std::smatch match;
        ASSERT_TRUE(std::regex_match(record, match,
                                     std::regex("\\[Trash Info\\]\nPath=(.*)\nDeletionDate="
                                                "(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d)\n")))
            << record;
        EXPECT_EQ(match[1].str(), path);
        tm local{};
        ASSERT_TRUE(strptime(match[2].str().c_str(), "%Y-%m-%dT%H:%M:%S", &local));
        local.tm_isdst = -1;
        EXPECT_LE(std::abs(std::difftime(std::time(nullptr), std::mktime(&local))), 5.0);
        const struct stat st = StatOf(result.infoPath);
        EXPECT_EQ(st.st_uid, kUser);
        EXPECT_EQ(st.st_gid, kGroup);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
    }

    TempTree tree_;
    std::string home_, dataHome_, work_;
    platform::UserSession user_;
};

// Allocated bytes of a folder tree, as du -B1 counts them.
uint64_t diskUsage(const std::string& path) {
    const struct stat st = StatOf(path);
    uint64_t total = static_cast<uint64_t>(st.st_blocks) * 512;
    if (S_ISDIR(st.st_mode)) {
        for (const std::string& name : Entries(path))
            total += diskUsage(path + "/" + name);
    }
    return total;
}

TEST_F(Trash, FilesAndFoldersGoToTheUsersTrashOfTheirVolumeAndComeBack) {
    const std::string second = volume("vol");
    const struct {
        bool secondVolume;
        std::string name;
        std::string encoded;   // the name in the record
        std::string neighbour; // what a lossy handling of the name would reach instead
        bool folder;
    } cases[] = {
        {false, "plain.txt", "plain.txt", "plain", false},
        {false, "back\\slash", "back%5Cslash", "back/slash", false},
        {false, " blank edges ", "%20blank%20edges%20", "blank edges", false},
        {false, "caf\xc3\xa9 \xff\xfe", "caf%C3%A9%20%FF%FE",
         "caf\xc3\xa9 \xef\xbf\xbd\xef\xbf\xbd", false},
        {false, "#?% folder", "%23%3F%25%20folder", "#", true},
        {true, "back\\slash", "back%5Cslash", "back/slash", false},
        {true, " \xff edge", "%20%FF%20edge", "edge", false},
        {true, "a folder", "a%20folder", "a", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.secondVolume ? "second volume: " : "home volume: ") + c.name);
        if (c.secondVolume && second.empty())
            GTEST_SKIP() << "cannot mount a tmpfs as a second volume here (needs root and "
                            "unshare -m)";
        const std::string folder = c.secondVolume ? second + "/sub dir" : work_;
        const std::string path = folder + "/" + c.name;
        if (c.folder) {
            ASSERT_EQ(::mkdir(path.c_str(), 0750), 0);
            ASSERT_EQ(::chown(path.c_str(), kUser, kGroup), 0);
            ::mkdir((path + "/inner").c_str(), 0755);
            WriteFile(path + "/inner/data", std::string(10000, 'x'));
            WriteFile(path + "/note", c.name);
        } else {
            WriteFile(path, c.name, 0640);
        }
        const std::string neighbour = folder + "/" + c.neighbour;
        ::mkdir((folder + "/back").c_str(), 0755);
        WriteFile(neighbour, "neighbour");
        const struct stat before = StatOf(path);

        const TrashResult result = MoveToTrash(path, user_);
        ASSERT_TRUE(result.ok) << result.error.toStdString();
        EXPECT_TRUE(result.error.isEmpty());
        EXPECT_FALSE(Exists(path));
        EXPECT_EQ(ReadFile(neighbour), "neighbour");

        const std::string trash = c.secondVolume ? second + "/.Trash-65534" : dataHome_ + "/Trash";
        EXPECT_EQ(result.trashedPath, trash + "/files/" + c.name);
        EXPECT_EQ(result.infoPath, trash + "/info/" + c.name + ".trashinfo");
        expectRecord(result, c.secondVolume ? "sub%20dir/" + c.encoded : work_ + "/" + c.encoded);
        for (const std::string& made : {trash, trash + "/files", trash + "/info"})
            expectUserFolder(made);
        if (!c.secondVolume)
            expectUserFolder(dataHome_);

        // Renamed, not copied: the same inode, with its owner and modes.
        const struct stat after = StatOf(result.trashedPath);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_mode, before.st_mode);

        if (c.folder) {
            const std::string line = std::to_string(diskUsage(result.trashedPath)) + " " +
                                     std::to_string(StatOf(result.infoPath).st_mtime) + " " +
                                     c.encoded + "\n";
            EXPECT_NE(ReadFile(trash + "/directorysizes").find(line), std::string::npos)
                << ReadFile(trash + "/directorysizes");
            const struct stat sizes = StatOf(trash + "/directorysizes");
            EXPECT_EQ(sizes.st_uid, kUser);
            EXPECT_EQ(sizes.st_mode & 07777, 0600u);
        }

        // Restoring is moving it back.
        ASSERT_EQ(::rename(result.trashedPath.c_str(), path.c_str()), 0);
        EXPECT_EQ(ReadFile(c.folder ? path + "/note" : path), c.name);
    }
    EXPECT_EQ(Entries(work_ + "/back"), std::vector<std::string>{"slash"});
}

TEST_F(Trash, NamesInTheTrashNeverCollide) {
    const std::string path = work_ + "/same.txt";
    std::vector<std::string> trashed;
    for (int round = 1; round <= 4; ++round) {
        WriteFile(path, "round " + std::to_string(round));
        if (round == 4) // an entry left without its record is not overwritten either
            WriteFile(dataHome_ + "/Trash/files/same.txt.4", "orphan");
        const TrashResult result = MoveToTrash(path, user_);
        ASSERT_TRUE(result.ok) << result.error.toStdString();
        trashed.push_back(result.trashedPath);
        expectRecord(result, work_ + "/same.txt");
    }
    const std::string files = dataHome_ + "/Trash/files/";
    EXPECT_EQ(trashed, (std::vector<std::string>{files + "same.txt", files + "same.txt.2",
                                                 files + "same.txt.3", files + "same.txt.5"}));
    for (int round = 1; round <= 4; ++round)
        EXPECT_EQ(ReadFile(trashed[round - 1]), "round " + std::to_string(round));
    EXPECT_EQ(ReadFile(files + "same.txt.4"), "orphan");
    EXPECT_EQ(Entries(dataHome_ + "/Trash/info"),
              (std::vector<std::string>{"same.txt.2.trashinfo", "same.txt.3.trashinfo",
                                        "same.txt.5.trashinfo", "same.txt.trashinfo"}));
}

TEST_F(Trash, ARunOfItemsGetsOneResultEachInOrder) {
    const std::string second = volume("vol");
    if (second.empty())
        GTEST_SKIP() << "cannot mount a tmpfs as a second volume here";
    const std::vector<std::string> paths = {work_ + "/a", second + "/sub dir/b", work_ + "/gone",
                                            work_ + "/c", second + "/sub dir/a"};
    for (const std::string& path : paths) {
        if (!path.ends_with("gone"))
            WriteFile(path, path);
    }
    const std::vector<TrashResult> results = MoveToTrash(paths, user_);
    ASSERT_EQ(results.size(), paths.size());
    const std::string home = dataHome_ + "/Trash/files/";
    const std::string top = second + "/.Trash-65534/files/";
    const std::vector<std::string> expected = {home + "a", top + "b", "", home + "c", top + "a"};
    for (size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(paths[i]);
        EXPECT_EQ(results[i].ok, !expected[i].empty()) << results[i].error.toStdString();
        EXPECT_EQ(results[i].trashedPath, expected[i]);
        if (results[i].ok) {
            EXPECT_EQ(ReadFile(results[i].trashedPath), paths[i]);
        }
    }
    EXPECT_NE(
        results[2].error.toStdString().find(work_ + "/gone\" to the trash: it no longer exists"),
        std::string::npos)
        << results[2].error.toStdString();
}

TEST_F(Trash, SharedTopFolderTrashIsUsedOnlyWhenSafe) {
    const struct {
        const char* name;
        std::function<void(const std::string& volume)> prepare;
        const char* trash; // relative to the volume
    } cases[] = {
        {"sticky .Trash",
         [](const std::string& v) {
             ::mkdir((v + "/.Trash").c_str(), 01777);
             ::chmod((v + "/.Trash").c_str(), 01777);
         },
         ".Trash/65534"},
        {"no sticky bit",
         [](const std::string& v) {
             ::mkdir((v + "/.Trash").c_str(), 0777);
             ::chmod((v + "/.Trash").c_str(), 0777);
         },
         ".Trash-65534"},
        {"linked .Trash",
         [](const std::string& v) {
             ::mkdir((v + "/elsewhere").c_str(), 01777);
             ::chmod((v + "/elsewhere").c_str(), 01777);
             ::symlink("elsewhere", (v + "/.Trash").c_str());
         },
         ".Trash-65534"},
        {"linked user folder in .Trash",
         [](const std::string& v) {
             ::mkdir((v + "/.Trash").c_str(), 01777);
             ::chmod((v + "/.Trash").c_str(), 01777);
             ::mkdir((v + "/mine").c_str(), 0700);
             ::chown((v + "/mine").c_str(), kUser, kGroup);
             ::symlink("../mine", (v + "/.Trash/65534").c_str());
         },
         ".Trash-65534"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string v = volume("shared" + std::to_string(n++));
        if (v.empty())
            GTEST_SKIP() << "cannot mount a tmpfs as a second volume here";
        c.prepare(v);
        const std::string path = v + "/sub dir/item";
        WriteFile(path, "x");
        const TrashResult result = MoveToTrash(path, user_);
        ASSERT_TRUE(result.ok) << result.error.toStdString();
        EXPECT_EQ(result.trashedPath, v + "/" + c.trash + "/files/item");
        expectUserFolder(v + "/" + c.trash);
        expectRecord(result, "sub%20dir/item");
    }
}

TEST_F(Trash, ItemsThatCannotBeTrashedStayWithTheReason) {
    const std::string second = volume("vol");
    if (second.empty())
        GTEST_SKIP() << "cannot mount a tmpfs as a second volume here";
    // A home trash to refuse things about.
    WriteFile(work_ + "/first", "1");
    ASSERT_TRUE(MoveToTrash(work_ + "/first", user_).ok);
    // A read-only volume with an item on it.
    const std::string readOnly = volume("ro");
    WriteFile(readOnly + "/sub dir/kept", "k");
    ASSERT_EQ(::mount(nullptr, readOnly.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    // Top-folder trashes the user must not use.
    const std::string linked = volume("linked");
    ::mkdir((linked + "/real").c_str(), 0700);
    ::chown((linked + "/real").c_str(), kUser, kGroup);
    ::symlink("real", (linked + "/.Trash-65534").c_str());
    const std::string foreign = volume("foreign");
    ::mkdir((foreign + "/.Trash-65534").c_str(), 0700);
    // Home trashes the user must not use or have made.
    const std::string linkedHome = tree_.Folder("linked-home", 0755, kUser, kGroup);
    ::mkdir((linkedHome + "/real").c_str(), 0700);
    ::symlink("real", (linkedHome + "/Trash").c_str());
    const std::string rootsFolder = tree_.Folder("roots");

    using K = platform::TrashFailure;
    const struct {
        const char* name;
        std::string path;
        std::string reason;
        platform::TrashFailure kind;
        std::string dataHome; // of the user, when not the usual one
    } cases[] = {
        {"relative", "work/x", "only absolute paths", K::Refused},
        {"dot-dot", work_ + "/../work/x", "without \".\" or \"..\"", K::Refused},
        {"root", "/", "the root folder", K::Refused},
        {"vanished", work_ + "/gone", "it no longer exists", K::Vanished},
        {"in a vanished folder", work_ + "/gone/x", "it no longer exists", K::Vanished},
        {"mount point", second, "it is a mount point", K::Refused},
        {"home trash", dataHome_ + "/Trash", "it is the trash folder", K::Refused},
        {"in the trash", dataHome_ + "/Trash/files/first", "it is in the trash already",
         K::Refused},
        {"holds the trash", dataHome_, "it holds the trash folder", K::Refused},
        {"top trash folder", second + "/.Trash-0", "it is a trash folder", K::Refused},
        {"read-only volume", readOnly + "/sub dir/kept", "Read-only file system", K::ReadOnly},
        {"linked top trash", linked + "/sub dir/x", "is a symbolic link", K::NoTrash},
        {"foreign top trash", foreign + "/sub dir/x", "does not belong to user nobody", K::NoTrash},
        {"linked home trash", work_ + "/x", "is a symbolic link", K::NoTrash, linkedHome},
        {"home trash in a folder of root's", work_ + "/x",
         "is made only inside a folder of user nobody", K::NoTrash, rootsFolder + "/data"},
    };
    ::mkdir((second + "/.Trash-0").c_str(), 0700);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool exists = c.path.starts_with('/') && Exists(c.path);
        if (!exists && c.path.starts_with('/') && c.path.ends_with("/x") &&
            c.path.find("/gone/") == std::string::npos)
            WriteFile(c.path, "x");
        const bool present = c.path.starts_with('/') && Exists(c.path);
        const platform::UserSession user =
            c.dataHome.empty() ? user_ : TestUserSession(home_, c.dataHome, tree_ / "run");
        const std::vector<std::string> records = Entries(dataHome_ + "/Trash/info");

        const TrashResult result = MoveToTrash(c.path, user);
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.trashedPath.empty());
        const std::string error = result.error.toStdString();
        EXPECT_TRUE(error.starts_with("Could not move \"")) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(result.failure, c.kind) << error;
        EXPECT_EQ(Exists(c.path), present) << "the item stays where it is";
        EXPECT_EQ(Entries(dataHome_ + "/Trash/info"), records) << "no record is left behind";
    }
    EXPECT_FALSE(Exists(rootsFolder + "/data")) << "nothing is made in a folder of root's";
    EXPECT_EQ(Entries(linkedHome + "/real"), std::vector<std::string>{});
    EXPECT_EQ(Entries(linked + "/real"), std::vector<std::string>{});
    EXPECT_EQ(Entries(foreign + "/.Trash-65534"), std::vector<std::string>{});
}

TEST_F(Trash, WithoutRootRightsTheUsersOwnRightsDecide) {
    // A folder of root's the user cannot change, beside one of the user's.
    const std::string locked = tree_.Folder("locked");
    WriteFile(locked + "/item", "kept");
    const std::string own = tree_.Folder("own", 0755, kUser, kGroup);
    const platform::UserSession root =
        platform::ResolveUserSession({{},
                                      0,
                                      0,
                                      [](uid_t) {
                                          return std::optional<platform::PasswdEntry>(
                                              platform::PasswdEntry{0, 0, "root", "/root"});
                                      },
                                      "/nonexistent"});
    const std::string inChild = RunAsTestUser([&] {
        std::string notes;
        WriteFile(own + "/mine", "mine");
        const TrashResult mine = MoveToTrash(own + "/mine", user_);
        if (!mine.ok)
            notes += "own item: " + mine.error.toStdString() + "\n";
        const TrashResult item = MoveToTrash(locked + "/item", user_);
        if (item.ok || item.error.toStdString().find("Permission denied") == std::string::npos)
            notes += "locked item: " + item.error.toStdString() + "\n";
        const TrashResult forRoot = MoveToTrash(own + "/other", root);
        if (forRoot.ok ||
            forRoot.error.toStdString().find("no right to act for user root") == std::string::npos)
            notes += "for root: " + forRoot.error.toStdString() + "\n";
        return notes;
    });
    EXPECT_EQ(inChild, "");
    EXPECT_EQ(ReadFile(locked + "/item"), "kept");
    EXPECT_EQ(Entries(dataHome_ + "/Trash/info"), std::vector<std::string>{"mine.trashinfo"});
    EXPECT_EQ(StatOf(dataHome_ + "/Trash/files/mine").st_uid, kUser);
}

} // namespace
