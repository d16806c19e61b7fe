// Deleting items for good: files, links and whole folders go without reaching anything outside
// them; the drive's root, mount points, folders holding a mount point, read-only volumes and
// items that are no longer what the analysis recorded stay untouched; what cannot be deleted
// stays and is listed while the rest goes; folders swapped or mounted on while they are emptied
// are left alone.

#include "UserActionsSupport.h"

#include "platform/Removal.h"

#include <linux/fs.h>
#include <sys/ioctl.h>

#include <climits>
#include <cstring>

namespace {

using namespace testing_user;
using platform::ListedItem;
using platform::RemovalResult;
using platform::TrashFailure;
using Names = std::vector<std::vector<std::string>>;

RemovalResult removeItem(const ListedItem& item) {
    return platform::RemovePermanently({item}).front();
}

// Everything under path (mounts included, links not followed): each entry's path relative to
// it, with the contents of files and the targets of links.
std::map<std::string, std::string> snapshot(const std::string& path,
                                            const std::string& prefix = {}) {
    std::map<std::string, std::string> out;
    for (const std::string& name : Entries(path)) {
        const std::string full = path + "/" + name;
        const struct stat st = StatOf(full);
        if (S_ISDIR(st.st_mode)) {
            out[prefix + name + "/"] = "";
            out.merge(snapshot(full, prefix + name + "/"));
        } else if (S_ISLNK(st.st_mode)) {
            char target[PATH_MAX];
            const ssize_t length = ::readlink(full.c_str(), target, sizeof target);
            out[prefix + name] = "-> " + std::string(target, static_cast<size_t>(length));
        } else {
            out[prefix + name] = S_ISREG(st.st_mode) ? ReadFile(full) : "(no file)";
        }
    }
    return out;
}

size_t openDescriptors() {
    return Entries("/proc/self/fd").size();
}

Names sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
}

// What is left under folder is exactly what the result says stayed: each entry listed, with
// everything in it, and the folders on the way to them.
void expectOnlyTheStayedLeft(const RemovalResult& result, const std::string& folder) {
    std::set<std::string> expected;
    for (const std::vector<std::string>& names : result.stayed) {
        std::string path;
        for (size_t i = 0; i + 1 < names.size(); ++i)
            expected.insert(path += names[i] + "/");
        path += names.back();
        if (S_ISDIR(StatOf(folder + "/" + path).st_mode)) {
            expected.insert(path + "/");
            for (const auto& [inside, contents] : snapshot(folder + "/" + path, path + "/"))
                expected.insert(inside);
        } else {
            expected.insert(path);
        }
    }
    std::set<std::string> left;
    for (const auto& [path, contents] : snapshot(folder))
        left.insert(path);
    EXPECT_EQ(left, expected);
}

class Removal : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_ROOT();
        work_ = tree_.Folder("work");
        outside_ = tree_.Folder("outside", 0700);
        WriteFile(outside_ + "/precious", "root's", 0600);
        tree_.Folder("outside/folder", 0700);
        WriteFile(outside_ + "/folder/inside", "also root's", 0600);
    }
    void TearDown() override {
        platform::SetRemovalListingHook({});
        for (const auto& [path, flag] : flagged_)
            changeFlag(path, flag, false);
    }

    // Sets an attribute flag of path (cleared again after the test); false when the file system
    // has no such flags.
    bool setFlag(const std::string& path, int flag) {
        if (!changeFlag(path, flag, true))
            return false;
        flagged_.emplace_back(path, flag);
        return true;
    }
    static bool changeFlag(const std::string& path, int flag, bool on) {
        const platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        int flags = 0;
        if (!fd || ::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) != 0)
            return false;
        flags = on ? flags | flag : flags & ~flag;
        return ::ioctl(fd.get(), FS_IOC_SETFLAGS, &flags) == 0;
    }

    TempTree tree_;
    std::string work_, outside_;
    std::vector<std::pair<std::string, int>> flagged_;
};

TEST_F(Removal, ItemsGoWithEverythingInThemAndNothingTheyPointTo) {
    const std::string hardLinked = outside_ + "/hard";
    WriteFile(hardLinked, "linked twice", 0600);
    const struct {
        const char* name;
        std::string item;
        std::function<void(const std::string& path)> make;
    } cases[] = {
        {"file", "plain.txt", [](const std::string& p) { WriteFile(p, "x"); }},
        {"link to a file", "to-file",
         [&](const std::string& p) { ::symlink((outside_ + "/precious").c_str(), p.c_str()); }},
        {"link to a folder", "to-folder",
         [&](const std::string& p) { ::symlink((outside_ + "/folder").c_str(), p.c_str()); }},
        {"fifo", "pipe", [](const std::string& p) { ::mkfifo(p.c_str(), 0600); }},
        {"name with a newline", "two\nlines", [](const std::string& p) { WriteFile(p, "x"); }},
        {"folder named in bytes that are no UTF-8, holding more of them", "\xff\xfe folder",
         [](const std::string& p) {
             ::mkdir(p.c_str(), 0755);
             WriteFile(p + "/\x80", "x");
             WriteFile(p + "/line\nbreak", "x");
         }},
        {"folder tree with links, a hard link, a fifo and empty folders", "tree",
         [&](const std::string& p) {
             ::mkdir(p.c_str(), 0755);
             ::mkdir((p + "/empty").c_str(), 0755);
             ::mkdir((p + "/sub").c_str(), 0700);
             ::mkdir((p + "/sub/subsub").c_str(), 0);
             WriteFile(p + "/sub/subsub/file", "x");
             ::symlink((outside_ + "/folder").c_str(), (p + "/sub/to-folder").c_str());
             ::symlink((outside_ + "/precious").c_str(), (p + "/to-file").c_str());
             ::symlink("../../outside", (p + "/relative").c_str());
             ::link(hardLinked.c_str(), (p + "/sub/hard").c_str());
             ::mkfifo((p + "/sub/pipe").c_str(), 0600);
         }},
    };
    WriteFile(work_ + "/neighbour", "stays");
    const auto outsideBefore = snapshot(outside_);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = work_ + "/" + c.item;
        c.make(path);
        const RemovalResult result = removeItem(RecordedItem(work_, {c.item}));
        ASSERT_TRUE(result.ok) << result.error.toStdString();
        EXPECT_EQ(result.failure, TrashFailure::None);
        EXPECT_TRUE(result.error.isEmpty());
        EXPECT_FALSE(result.partly);
        EXPECT_TRUE(result.stayed.empty());
        EXPECT_FALSE(Exists(path));
        EXPECT_EQ(Entries(work_), std::vector<std::string>{"neighbour"});
        EXPECT_EQ(snapshot(outside_), outsideBefore);
    }
    EXPECT_EQ(StatOf(hardLinked).st_nlink, 1u);
}

TEST_F(Removal, TreesDeeperThanPathMaxGoThroughTheirFolders) {
    // Deeper than PATH_MAX allows a path to be, and than the removal keeps folders open: the
    // folders above are opened again on the way back up. Every level holds files beside its
    // subfolder, some listed before it and some after.
    const std::string segment(60, 's');
    const std::string top = tree_.Folder("deep");
    std::vector<std::string> names;
    platform::UniqueFd folder(::open(top.c_str(), O_RDONLY | O_DIRECTORY));
    while (names.size() < 150) {
        for (const char* file : {"a", "m", "z"})
            ::close(::openat(folder.get(), file, O_WRONLY | O_CREAT, 0644));
        ASSERT_EQ(::mkdirat(folder.get(), segment.c_str(), 0755), 0);
        folder =
            platform::UniqueFd(::openat(folder.get(), segment.c_str(), O_RDONLY | O_DIRECTORY));
        ASSERT_TRUE(folder);
        names.push_back(segment);
    }
    ASSERT_EQ(::symlinkat(outside_.c_str(), folder.get(), "to-outside"), 0);
    ::close(::openat(folder.get(), "deep file", O_WRONLY | O_CREAT, 0644));
    const auto outsideBefore = snapshot(outside_);
    const size_t descriptors = openDescriptors();

    ListedItem file;
    file.root = top;
    file.names = names;
    file.names.push_back("deep file");
    ASSERT_GT(file.Path().size(), size_t(PATH_MAX));
    const RemovalResult fileResult = removeItem(file);
    ASSERT_TRUE(fileResult.ok) << fileResult.error.toStdString();
    EXPECT_EQ(::faccessat(folder.get(), "deep file", F_OK, AT_SYMLINK_NOFOLLOW), -1);

    ListedItem whole;
    whole.root = top;
    whole.names = {segment};
    const RemovalResult result = removeItem(whole);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(Entries(top), (std::vector<std::string>{"a", "m", "z"}));
    EXPECT_EQ(snapshot(outside_), outsideBefore);
    EXPECT_EQ(openDescriptors(), descriptors);
}

TEST_F(Removal, ItemsThatAreNeverDeletedOrNoLongerThereStayUntouched) {
    const std::string mountPoint = tree_.Folder("work/volume");
    const std::string readOnly = tree_.Folder("readonly");
    if (!tree_.MountTmpfs("work/volume") || !tree_.MountTmpfs("readonly"))
        GTEST_SKIP() << "cannot mount a tmpfs as a second volume here (needs root and unshare -m)";
    WriteFile(mountPoint + "/on the volume", "x");
    // Folders holding a mount point deep inside, beside entries that would go first.
    tree_.Folder("work/holds-tmpfs");
    WriteFile(work_ + "/holds-tmpfs/a", "x");
    tree_.Folder("work/holds-tmpfs/deep");
    tree_.Folder("work/holds-tmpfs/deep/inner");
    WriteFile(work_ + "/holds-tmpfs/z", "x");
    ASSERT_TRUE(tree_.MountTmpfs("work/holds-tmpfs/deep/inner/mnt"));
    WriteFile(work_ + "/holds-tmpfs/deep/inner/mnt/file", "on the tmpfs");
    // A bind mount of the same volume: same device, still a mount point.
    tree_.Folder("work/holds-bind");
    WriteFile(work_ + "/holds-bind/a", "x");
    const std::string bind = tree_.Folder("work/holds-bind/bind");
    ASSERT_EQ(::mount(outside_.c_str(), bind.c_str(), nullptr, MS_BIND, nullptr), 0);
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmountBind{bind};
    // A read-only volume.
    tree_.Folder("readonly/folder");
    tree_.Folder("readonly/folder/sub");
    WriteFile(readOnly + "/folder/sub/file", "x");
    WriteFile(readOnly + "/file", "x");
    ASSERT_EQ(::mount(nullptr, readOnly.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    // Items that changed after the analysis.
    WriteFile(work_ + "/gone", "x");
    const ListedItem gone = RecordedItem(work_, {"gone"});
    ::unlink((work_ + "/gone").c_str());
    tree_.Folder("work/swapped");
    WriteFile(work_ + "/swapped/file", "analysed");
    const ListedItem swapped = RecordedItem(work_, {"swapped"});
    ::rename((work_ + "/swapped").c_str(), (work_ + "/swapped.old").c_str());
    tree_.Folder("work/swapped");
    WriteFile(work_ + "/swapped/file", "new");

    ListedItem driveRoot = RecordedItem(work_, {});
    using K = TrashFailure;
    const struct {
        const char* name;
        ListedItem item;
        TrashFailure failure;
        std::string reason;
    } cases[] = {
        {"drive's root", driveRoot, K::Refused, "the drive's root folder"},
        {"mount point", RecordedItem(work_, {"volume"}), K::Refused, "it is a mount point"},
        {"folder holding a mount point", RecordedItem(work_, {"holds-tmpfs"}), K::Refused,
         "it contains the mount point \"" + work_ + "/holds-tmpfs/deep/inner/mnt\""},
        {"folder holding a bind mount", RecordedItem(work_, {"holds-bind"}), K::Refused,
         "it contains the mount point \"" + bind + "\""},
        {"folder on a read-only volume", RecordedItem(readOnly, {"folder"}), K::ReadOnly,
         std::strerror(EROFS)},
        {"file on a read-only volume", RecordedItem(readOnly, {"file"}), K::ReadOnly,
         std::strerror(EROFS)},
        {"vanished", gone, K::Vanished, "it no longer exists"},
        {"another folder in its place", swapped, K::Changed, "it changed since the analysis"},
    };
    const auto before = snapshot(tree_.root());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RemovalResult result = removeItem(c.item);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.failure, c.failure);
        EXPECT_NE(result.reason.toStdString().find(c.reason), std::string::npos)
            << result.reason.toStdString();
        EXPECT_NE(result.error.toStdString().find(c.item.Path()), std::string::npos)
            << result.error.toStdString();
        EXPECT_FALSE(result.partly);
        EXPECT_TRUE(result.stayed.empty());
    }
    EXPECT_EQ(snapshot(tree_.root()), before);
}

TEST_F(Removal, WhatCannotBeDeletedStaysAndIsListedWhileTheRestGoes) {
    const std::string probe = work_ + "/probe";
    WriteFile(probe, "x");
    if (!setFlag(probe, FS_IMMUTABLE_FL))
        GTEST_SKIP() << "the file system of " << work_ << " has no attribute flags";

    const struct {
        const char* name;
        std::vector<std::string> files;      // in the item, made in this order
        std::pair<std::string, int> flagged; // one of them, or of their folders
        Names stayed;                        // as reported
        std::vector<std::string> left;       // what is left of the item
    } cases[] = {
        {"an immutable file among others",
         {"top", "other/file", "other/deeper/file", "keep/sibling", "keep/locked", "last"},
         {"keep/locked", FS_IMMUTABLE_FL},
         {{"keep", "locked"}},
         {"keep/", "keep/locked"}},
        // Emptying its subfolder would leave it there half removed.
        {"an immutable folder stays whole",
         {"top", "frozen/a", "frozen/sub/b"},
         {"frozen", FS_IMMUTABLE_FL},
         {{"frozen"}},
         {"frozen/", "frozen/a", "frozen/sub/", "frozen/sub/b"}},
        {"an append-only folder stays whole",
         {"top", "log/a", "log/sub/b"},
         {"log", FS_APPEND_FL},
         {{"log"}},
         {"log/", "log/a", "log/sub/", "log/sub/b"}},
        {"nothing could be deleted", {"locked"}, {"locked", FS_IMMUTABLE_FL}, {}, {"locked"}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string item = "item" + std::to_string(n++);
        const std::string folder = tree_.Folder("work/" + item);
        for (const std::string& file : c.files) {
            for (size_t slash = file.find('/'); slash != std::string::npos;
                 slash = file.find('/', slash + 1))
                ::mkdir((folder + "/" + file.substr(0, slash)).c_str(), 0755);
            WriteFile(folder + "/" + file, file);
        }
        ASSERT_TRUE(setFlag(folder + "/" + c.flagged.first, c.flagged.second));

        const RemovalResult result = removeItem(RecordedItem(work_, {item}));
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.failure, TrashFailure::Denied);
        EXPECT_EQ(result.partly, !c.stayed.empty());
        EXPECT_EQ(sorted(result.stayed), c.stayed);
        // The entry that stayed is named, with the system's reason.
        const std::string reason = result.reason.toStdString();
        EXPECT_NE(reason.find("\"" + c.flagged.first + "\""), std::string::npos) << reason;
        EXPECT_NE(reason.find(std::strerror(EPERM)), std::string::npos) << reason;
        std::vector<std::string> left;
        for (const auto& [path, contents] : snapshot(folder))
            left.push_back(path);
        EXPECT_EQ(left, c.left);
    }
}

TEST_F(Removal, AVolumeTurningReadOnlyMidwayKeepsWhatIsLeftAndSaysSo) {
    if (!tree_.MountTmpfs("volume"))
        GTEST_SKIP() << "cannot mount a tmpfs as a second volume here (needs root and unshare -m)";
    const std::string volume = tree_ / "volume";
    tree_.Folder("volume/item");
    for (const char* folder : {"first", "second", "third"}) {
        tree_.Folder("volume/item/" + std::string(folder));
        for (const char* file : {"/a", "/b"})
            WriteFile(volume + "/item/" + folder + file, "x");
    }
    WriteFile(volume + "/item/top", "x");
    // Remounted when the second subfolder has been listed: the first one is gone by then.
    int listed = 0;
    platform::SetRemovalListingHook([&](const std::vector<std::string>& folder) {
        if (!folder.empty() && ++listed == 2) {
            ASSERT_EQ(::mount(nullptr, volume.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr),
                      0);
        }
    });
    const RemovalResult result = removeItem(RecordedItem(volume, {"item"}));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failure, TrashFailure::ReadOnly);
    EXPECT_NE(result.reason.toStdString().find(std::strerror(EROFS)), std::string::npos);
    EXPECT_TRUE(result.partly);
    expectOnlyTheStayedLeft(result, volume + "/item");
    EXPECT_EQ(Entries(volume + "/item").size(), 2u) << "one subfolder gone, one listed";
}

TEST_F(Removal, FoldersChangedWhileTheyAreEmptiedAreLeftAlone) {
    // Drive M: is a folder everyone may write into, as /tmp is; mallory's folder in it is deleted
    // by root, and she changes it between its listing and the work on its entries.
    const std::string drive = tree_.Folder("drive", 01777);
    const auto outsideBefore = snapshot(outside_);
    const struct {
        const char* name;
        std::function<void(const std::string& item)> change;
        Names stayed;
        std::string reason;
        std::vector<std::string> left;
    } cases[] = {
        {"subfolder swapped for a link to a folder of root's",
         [&](const std::string& item) {
             AsMallory([&] {
                 ::rename((item + "/sub").c_str(), (item + "/sub.real").c_str());
                 ::symlink((outside_ + "/folder").c_str(), (item + "/sub").c_str());
             }).Wait();
         },
         {{"sub"}, {"sub.real"}},
         "\"sub\" changed while it was being deleted",
         {"sub", "sub.real/", "sub.real/deeper/", "sub.real/deeper/y", "sub.real/x"}},
        {"subfolder swapped for another folder",
         [&](const std::string& item) {
             AsMallory([&] {
                 ::rename((item + "/sub").c_str(), (item + "/sub.real").c_str());
                 ::mkdir((item + "/sub").c_str(), 0755);
                 WriteFile(item + "/sub/new", "new");
             }).Wait();
         },
         {{"sub"}, {"sub.real"}},
         "\"sub\" changed while it was being deleted",
         {"sub.real/", "sub.real/deeper/", "sub.real/deeper/y", "sub.real/x", "sub/", "sub/new"}},
        {"volume mounted on the subfolder",
         [&](const std::string& item) {
             ASSERT_TRUE(tree_.MountTmpfs(item.substr(tree_.root().size() + 1) + "/sub"));
             WriteFile(item + "/sub/on the tmpfs", "x");
         },
         {{"sub"}},
         "\"sub\" is a mount point now",
         {"sub/", "sub/on the tmpfs"}},
        {"volume mounted deeper in the subfolder",
         [&](const std::string& item) {
             ASSERT_TRUE(tree_.MountTmpfs(item.substr(tree_.root().size() + 1) + "/sub/deeper"));
             WriteFile(item + "/sub/deeper/on the tmpfs", "x");
         },
         {{"sub", "deeper"}},
         "\"sub/deeper\" is a mount point now",
         {"sub/", "sub/deeper/", "sub/deeper/on the tmpfs"}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = "junk" + std::to_string(n++);
        const std::string item = tree_.Folder("drive/" + name, 0755, kMallory, kMalloryGroup);
        tree_.Folder("drive/" + name + "/sub", 0755, kMallory, kMalloryGroup);
        tree_.Folder("drive/" + name + "/sub/deeper", 0755, kMallory, kMalloryGroup);
        for (const char* file : {"/a", "/sub/x", "/sub/deeper/y", "/z"})
            WriteFile(item + file, "mallory's");
        platform::SetRemovalListingHook([&](const std::vector<std::string>& folder) {
            if (folder.empty())
                c.change(item);
        });
        const RemovalResult result = removeItem(RecordedItem(drive, {name}));
        platform::SetRemovalListingHook({});

        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.failure, TrashFailure::Changed);
        EXPECT_TRUE(result.partly);
        EXPECT_EQ(sorted(result.stayed), c.stayed);
        EXPECT_NE(result.reason.toStdString().find(c.reason), std::string::npos)
            << result.reason.toStdString();
        std::vector<std::string> left;
        for (const auto& [path, contents] : snapshot(item))
            left.push_back(path);
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(snapshot(outside_), outsideBefore);
    }
}

TEST_F(Removal, AFolderSwappedAboveTheOpenOnesIsNotEnteredOnTheWayBack) {
    // Deeper than the folders the removal keeps open: on the way back up it opens the upper ones
    // again by name, and mallory has put a link to a folder of root's in the place of one.
    const std::string drive = tree_.Folder("drive", 01777);
    const std::string item = tree_.Folder("drive/junk", 0755, kMallory, kMalloryGroup);
    std::string relative = "drive/junk";
    for (int depth = 1; depth <= 100; ++depth) {
        relative += "/d";
        WriteFile(tree_.Folder(relative, 0755, kMallory, kMalloryGroup) + "/f", "mallory's");
    }
    const auto outsideBefore = snapshot(outside_);
    platform::SetRemovalListingHook([&](const std::vector<std::string>& folder) {
        if (folder.size() == 100) {
            EXPECT_EQ(AsMallory([&] {
                          ::rename((item + "/d").c_str(), (item + "/d.real").c_str());
                          ::symlink((outside_ + "/folder").c_str(), (item + "/d").c_str());
                      }).Wait(),
                      0);
        }
    });
    const RemovalResult result = removeItem(RecordedItem(drive, {"junk"}));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failure, TrashFailure::Changed);
    EXPECT_TRUE(result.partly);
    EXPECT_EQ(sorted(result.stayed), (Names{{"d"}, {"d.real"}}));
    EXPECT_NE(result.reason.toStdString().find("\"d\" changed while it was being deleted"),
              std::string::npos)
        << result.reason.toStdString();
    EXPECT_TRUE(S_ISLNK(StatOf(item + "/d").st_mode));
    EXPECT_EQ(snapshot(outside_), outsideBefore);
}

} // namespace
