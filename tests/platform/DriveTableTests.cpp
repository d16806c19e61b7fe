// The drive table and the path mapping: letters from mounts and configuration, drive types and
// sizes, and the lossless way between Windows paths and native files.

#include "platform/DriveTable.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace platform;

namespace {

class TempFolder {
public:
    TempFolder() {
        std::string templ = "/tmp/orbisca-drives-XXXXXX";
        path_ = ::mkdtemp(templ.data()) ? templ : "";
    }
    ~TempFolder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

private:
    std::string path_;
};

MountEntry mount(const char* point, const char* type, unsigned major = 0, unsigned minor = 0,
                 bool removable = false, const char* fsRoot = "/") {
    MountEntry m;
    m.mountPoint = point;
    m.fsType = type;
    m.fsRoot = fsRoot;
    m.devMajor = major;
    m.devMinor = minor;
    m.removable = removable;
    return m;
}

TEST(DriveTable, ParsesMountInfoWithEscapesAndOptionalFields) {
    const std::string text =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "40 22 8:17 / /media/My\\040Stick rw shared:9 master:2 - vfat /dev/sdb1 rw\n"
        "41 22 0:44 /sub /srv/tab\\011bed rw - tmpfs tmpfs rw\n"
        "garbage line\n";
    const auto m = ParseMountInfo(text);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].mountPoint, "/");
    EXPECT_EQ(m[0].fsType, "ext4");
    EXPECT_EQ(m[0].source, "/dev/sda1");
    EXPECT_EQ(m[1].mountPoint, "/media/My Stick");
    EXPECT_EQ(m[1].devMajor, 8u);
    EXPECT_EQ(m[1].devMinor, 17u);
    EXPECT_EQ(m[1].fsType, "vfat");
    EXPECT_EQ(m[2].mountPoint, "/srv/tab\tbed");
    EXPECT_EQ(m[2].fsRoot, "/sub");
}

TEST(DriveTable, AutomaticLettersSkipPseudoMountsAndFollowMountPointOrder) {
    const std::vector<MountEntry> mounts = {
        mount("/", "ext4", 8, 1),
        mount("/proc", "proc"),
        mount("/sys", "sysfs"),
        mount("/dev", "devtmpfs"),
        mount("/dev/shm", "tmpfs"),
        mount("/run", "tmpfs"),
        mount("/run/user/1000", "tmpfs"),
        mount("/tmp", "tmpfs", 0, 40),
        mount("/srv/nfs", "nfs4", 0, 50),
        mount("/media/usb", "vfat", 8, 17, true),
        mount("/mnt/cd", "iso9660", 11, 0, true),
        mount("/home", "ext4", 8, 2),
        mount("/mnt/home-again", "ext4", 8, 2), // the same file system bound a second time
        mount("/snap/core/1", "squashfs", 7, 1),
        mount("/etc/hosts", "ext4", 8, 3), // a file mounted over a file
    };
    const auto isFolder = [](const std::string& p) { return p != "/etc/hosts"; };
    struct Expected {
        char16_t letter;
        const char* root;
        unsigned type;
    };
    const auto check = [&](const std::map<char16_t, std::string>& subst,
                           const std::vector<Expected>& expected) {
        const auto drives = AssignDriveLetters(mounts, subst, isFolder);
        ASSERT_EQ(drives.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(drives[i].letter, expected[i].letter) << i;
            EXPECT_EQ(drives[i].root, expected[i].root) << i;
            EXPECT_EQ(DriveTypeOf(drives[i].mount), expected[i].type) << drives[i].root;
        }
    };
    check({}, {{u'C', "/", DRIVE_FIXED},
               {u'D', "/home", DRIVE_FIXED},
               {u'E', "/media/usb", DRIVE_REMOVABLE},
               {u'F', "/mnt/cd", DRIVE_CDROM},
               {u'G', "/srv/nfs", DRIVE_REMOTE},
               {u'H', "/tmp", DRIVE_RAMDISK}});
    // Subst letters take their letter; an empty entry keeps a letter free; a subst folder has
    // the type of the file system it lies on.
    check({{u'D', "/srv/nfs/projects"}, {u'E', ""}},
          {{u'C', "/", DRIVE_FIXED},
           {u'D', "/srv/nfs/projects", DRIVE_REMOTE},
           {u'F', "/home", DRIVE_FIXED},
           {u'G', "/media/usb", DRIVE_REMOVABLE},
           {u'H', "/mnt/cd", DRIVE_CDROM},
           {u'I', "/srv/nfs", DRIVE_REMOTE},
           {u'J', "/tmp", DRIVE_RAMDISK}});
    // Without a mount table "/" is still C:.
    const auto bare = AssignDriveLetters({}, {}, isFolder);
    ASSERT_EQ(bare.size(), 1u);
    EXPECT_EQ(bare[0].root, "/");
    EXPECT_EQ(DriveTypeOf(bare[0].mount), DRIVE_FIXED);
    // C: configured elsewhere: "/" takes the first free letter. A: and B: are never automatic.
    const auto moved = AssignDriveLetters({mount("/", "ext4", 8, 1)}, {{u'C', "/data"}}, isFolder);
    ASSERT_EQ(moved.size(), 2u);
    EXPECT_EQ(moved[0].letter, u'C');
    EXPECT_EQ(moved[0].root, "/data");
    EXPECT_EQ(moved[1].letter, u'D');
    EXPECT_EQ(moved[1].root, "/");
}

TEST(DriveTable, SubstConfigurationEntries) {
    std::vector<std::string> errors;
    const auto subst = ParseSubstConfig(
        "# drives\nX:=/srv/data/\n  y:=/home/ann/Music ;Z:=\nW:=relative\nbogus\nV=/x\r\n", &errors);
    EXPECT_EQ(subst, (std::map<char16_t, std::string>{{u'X', "/srv/data"}, {u'Y', "/home/ann/Music"}, {u'Z', ""}}));
    EXPECT_EQ(errors.size(), 3u);
}

TEST(DriveTable, ProcessTableFromConfigurationAndRunTimeLetters) {
    TempFolder a, b, c;
    const std::string conf = a / "subst.conf";
    std::ofstream(conf) << "R:=" << a.path() << "\nS:=" << b.path() << "\n";
    ::setenv("ORBISCA_SUBST_FILE", conf.c_str(), 1);
    ::setenv("ORBISCA_SUBST", ("S:=" + c.path()).c_str(), 1); // the variable wins
    SetDriveRoot(u'q', b.path() + "/"); // lower case letters and trailing slashes are fine
    RefreshDrives();
    EXPECT_EQ(DriveRoot(u'R'), a.path());
    EXPECT_EQ(DriveRoot(u'S'), c.path());
    EXPECT_EQ(DriveRoot(u'Q'), b.path()) << "run-time letters survive a refresh";
    EXPECT_EQ(DriveRoot(u'C'), "/");
    const uint32_t mask = GetLogicalDrives();
    for (char16_t l : {u'C', u'Q', u'R', u'S'})
        EXPECT_TRUE(mask & (1u << (l - u'A'))) << char(l);
    EXPECT_FALSE(mask & 3u) << "A: and B: are never drives";
    const auto drives = Drives();
    for (size_t i = 1; i < drives.size(); ++i)
        EXPECT_LT(drives[i - 1].letter, drives[i].letter);

    // Type, sizes and label of a mapped drive; an unmapped or vanished one has no root.
    EXPECT_NE(GetDriveTypeW(u"R:\\"), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetDriveTypeW(u"r:"), GetDriveTypeW(u"R:\\"));
    uint64_t avail = 0, total = 0, free = 0;
    ASSERT_TRUE(GetDiskFreeSpaceExW(u"R:\\", &avail, &total, &free));
    struct statvfs vfs{};
    ASSERT_EQ(::statvfs(a.path().c_str(), &vfs), 0);
    EXPECT_EQ(total, static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize);
    EXPECT_LE(avail, free);
    EXPECT_LE(free, total);
    std::u16string label = u"x";
    EXPECT_TRUE(GetVolumeInformationW(u"R:\\", &label));
    SetDriveRoot(u'P', a / "gone");
    EXPECT_EQ(GetDriveTypeW(u"P:\\"), DRIVE_NO_ROOT_DIR);
    EXPECT_FALSE(GetVolumeInformationW(u"P:\\", &label));
    for (const char16_t* bad : {u"", u"R", u"R:\\x", u"1:\\", u"R:/"})
        EXPECT_EQ(GetDriveTypeW(bad), DRIVE_NO_ROOT_DIR);
    SetDriveRoot(u'R', "");
    EXPECT_EQ(DriveRoot(u'R'), "");
    EXPECT_FALSE(GetDiskFreeSpaceExW(u"R:\\", &avail, &total, &free));

    ::unsetenv("ORBISCA_SUBST");
    ::setenv("ORBISCA_SUBST_FILE", "/nonexistent", 1);
    for (char16_t l : {u'P', u'Q', u'S'})
        SetDriveRoot(l, "");
    RefreshDrives();
}

TEST(DriveTable, AHiddenLetterMapsPathsOutsideEveryDriveWithoutBecomingADrive) {
    TempFolder drive, program;
    std::string others;
    for (char l = 'D'; l <= 'Z'; ++l)
        others += std::string(1, l) + ":=;";
    ::setenv("ORBISCA_SUBST", ("C:=" + drive.path() + ";" + others).c_str(), 1);
    RefreshDrives();
    ASSERT_TRUE(WindowsPath(program.path()).isEmpty());

    const char16_t letter = SetHiddenDriveRoot(program.path());
    ASSERT_NE(letter, 0);
    EXPECT_EQ(SetHiddenDriveRoot(program.path() + "/"), letter) << "same folder, same letter";
    const QString win = WindowsPath(program / "skins");
    EXPECT_EQ(win, QString(QChar(letter)) + ":\\skins");
    EXPECT_EQ(NativePath(win), program / "skins");
    EXPECT_FALSE(GetLogicalDrives() & (1u << (letter - u'A')));
    for (const DriveEntry& d : Drives())
        EXPECT_NE(d.letter, letter);
    const std::u16string root = std::u16string(1, letter) + u":\\";
    EXPECT_EQ(GetDriveTypeW(root), DRIVE_NO_ROOT_DIR);

    // A real drive that holds the folder wins over the hidden letter.
    SetDriveRoot(u'M', program.path());
    EXPECT_EQ(WindowsPath(program / "skins"), "M:\\skins");
    SetDriveRoot(u'M', "");

    ::unsetenv("ORBISCA_SUBST");
    RefreshDrives();
}

TEST(PathMapping, HostileNamesOnRealFilesMapBothWaysLosslessly) {
    TempFolder dir;
    ::mkdir((dir / "sub").c_str(), 0755);
    SetDriveRoot(u'T', dir.path());
    SetDriveRoot(u'U', dir / "sub"); // the longer root wins for paths below it
    const struct {
        std::string native;
        std::u16string display;
    } cases[] = {
        {"plain.txt", u"plain.txt"},
        {"back\\slash", u"back\uF05Cslash"},
        {"bad\xff", u"bad\xDCFF"},
        {"lone\xc3", u"lone\xDCC3"},
        {"caf\xc3\xa9", u"caf\u00E9"},
        {"real\xef\x81\x9c", u"real\xDCEF\xDC81\xDC9C"}, // a genuine U+F05C is no backslash
        {"overlong\xc0\xaf", u"overlong\xDCC0\xDCAF"},
        {"emoji\xf0\x9f\x98\x80", u"emoji\U0001F600"},
        {" blank ", u" blank "},
        {"ctl\x01", u"ctl\x01"},
    };
    int size = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.native);
        const std::string native = dir / c.native;
        const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, size), 0);
        ::close(fd);
        const QString expected = QString::fromStdU16String(c.display);
        EXPECT_EQ(DisplayName(c.native), expected);
        EXPECT_EQ(NativeName(expected), c.native);
        const QString win = WindowsPath(native);
        EXPECT_EQ(win, QStringLiteral("T:\\") + expected);
        EXPECT_EQ(NativePath(win), native);
        struct stat st{};
        ASSERT_EQ(::lstat(NativePath(win).c_str(), &st), 0);
        EXPECT_EQ(st.st_size, size++);
    }
    EXPECT_EQ(WindowsPath(dir / "sub/x"), QStringLiteral("U:\\x"));
    EXPECT_EQ(WindowsPath(dir.path()), QStringLiteral("T:\\"));
    EXPECT_EQ(NativePath(QStringLiteral("t:\\sub\\x")), dir / "sub/x");
    EXPECT_EQ(NativePath(QStringLiteral("B:\\x")), "") << "an unmapped letter";
    EXPECT_EQ(NativePath(QStringLiteral("relative")), "");
    SetDriveRoot(u'T', "");
    SetDriveRoot(u'U', "");
    EXPECT_EQ(WindowsPath(dir / "sub/x").left(3), QStringLiteral("C:\\"));
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("ORBISCA_SUBST_FILE", "/nonexistent", 1);
    ::unsetenv("ORBISCA_SUBST");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
