// The controls of the analyser window: the progress bar that repaints only when its picture
// changes, the drive box and the directory box over real folders with awkward names.

#include "platform/DriveTable.h"
#include "platform/Paths.h"
#include "views/DirectoryListBox.h"
#include "views/DriveComboBoxEx.h"
#include "views/GaugeBar.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

using namespace views;

namespace {

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

TEST(GaugeBar, MillionsOfReportsRepaintOnlyWhenThePictureChanges) {
    TGaugeBar bar;
    bar.resize(88, 17);
    bar.SetPosition(0);
    bar.SetMax(1000000);
    for (int i = 1; i <= 1000000; ++i)
        bar.SetPosition(i);
    EXPECT_LE(bar.ShownChanges(), 89);
    EXPECT_GE(bar.ShownChanges(), 80);
    EXPECT_EQ(bar.value(), 1000000);
    // Going back shows at once.
    bar.SetPosition(0);
    EXPECT_EQ(bar.value(), 0);
}

// Letters mapped to temporary folders; the other letters removed for the test's length.
class MappedDrives : public ::testing::Test {
protected:
    void SetUp() override {
        for (const platform::DriveEntry& d : platform::Drives()) {
            saved_.push_back({d.letter, d.root});
            platform::SetDriveRoot(d.letter, "");
        }
    }
    void TearDown() override {
        for (char16_t l = u'A'; l <= u'Z'; ++l)
            platform::SetDriveRoot(l, "");
        for (const auto& [letter, root] : saved_)
            platform::SetDriveRoot(letter, root);
    }
    std::string mkdir(const QString& relative) {
        const QString p = dir_.path() + u'/' + relative;
        QDir().mkpath(p);
        return p.toStdString();
    }
    QTemporaryDir dir_;

private:
    std::vector<std::pair<char16_t, std::string>> saved_;
};

TEST_F(MappedDrives, DriveBoxListsSelectsCopiesAndPrunes) {
    platform::SetDriveRoot(u'M', mkdir("m"));
    platform::SetDriveRoot(u'N', mkdir("n"));
    platform::SetDriveRoot(u'Q', mkdir("q"));
    TDriveComboBoxEx box;
    box.FillFromDriveTable();
    ASSERT_EQ(box.count(), 3);
    EXPECT_TRUE(box.itemText(0).startsWith("M:"));
    EXPECT_TRUE(box.itemText(0).contains(QString::fromStdString(mkdir("m"))));
    EXPECT_EQ(box.Drive(), u'M');
    EXPECT_TRUE(box.SetDrive(u'n'));
    EXPECT_EQ(box.Drive(), u'N');
    EXPECT_FALSE(box.SetDrive(u'Z'));
    EXPECT_EQ(box.Drive(), u'N');

    TDriveComboBoxEx copy;
    copy.AssignFrom(box);
    EXPECT_EQ(copy.count(), 3);
    EXPECT_EQ(copy.currentIndex(), 1);
    EXPECT_EQ(copy.Drive(), u'N');

    // Every refusal restarts the scan from the first entry.
    QString asked;
    box.RemoveEntriesWhere([&](char16_t l) {
        asked += QChar(l);
        return l != u'M';
    });
    EXPECT_EQ(asked, "MNMQM");
    ASSERT_EQ(box.count(), 1);
    EXPECT_EQ(box.Drive(), u'M');
}

TEST_F(MappedDrives, DirectoryBoxReachesEveryFolderByItsExactName) {
    const std::string base = mkdir("m");
    platform::SetDriveRoot(u'M', base);
    const std::string odd = "back\\slash";
    const std::string latin1 = "caf\xE9";
    ASSERT_EQ(::mkdir((base + "/outer").c_str(), 0755), 0);
    for (const std::string& name : {std::string("Zeta"), std::string("alpha"), odd, latin1})
        ASSERT_EQ(::mkdir((base + "/outer/" + name).c_str(), 0755), 0) << name;
    ASSERT_EQ(::mkdir((base + "/outer/alpha/inner").c_str(), 0755), 0);
    ASSERT_EQ(::symlink((base + "/outer/alpha").c_str(), (base + "/outer/link").c_str()), 0);
    FILE* f = std::fopen((base + "/outer/file.txt").c_str(), "w");
    ASSERT_TRUE(f);
    std::fclose(f);

    TDirectoryListBox box;
    int changes = 0;
    box.OnChange = [&] { ++changes; };
    box.SetDirectory("M:\\outer\\");
    EXPECT_EQ(box.Directory(), "M:\\outer");
    EXPECT_EQ(changes, 1);
    QStringList paths;
    for (int i = 0; i < box.count(); ++i)
        paths << box.EntryPath(i);
    // The chain down to the folder, then its real subfolders by name (no link, no file).
    ASSERT_EQ(paths.size(), 6) << paths.join(u'|').toStdString();
    EXPECT_EQ(paths[0], "M:\\");
    EXPECT_EQ(paths[1], "M:\\outer");
    EXPECT_EQ(paths[2], "M:\\outer\\alpha");
    EXPECT_EQ(paths[5], "M:\\outer\\Zeta");
    // The odd names lead back to exactly their bytes on disk.
    std::vector<std::string> natives;
    for (int i = 2; i < 6; ++i)
        natives.push_back(platform::NativePath(paths[i]));
    EXPECT_NE(std::find(natives.begin(), natives.end(), base + "/outer/" + odd), natives.end());
    EXPECT_NE(std::find(natives.begin(), natives.end(), base + "/outer/" + latin1), natives.end());
    for (const std::string& n : natives) {
        struct stat st {};
        EXPECT_EQ(::stat(n.c_str(), &st), 0) << n;
    }

    // The same folder again raises nothing and keeps its spelling; a click on an entry opens it.
    box.SetDirectory("m:\\OUTER");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(box.Directory(), "M:\\outer");
    box.resize(200, 300);
    box.show();
    QApplication::processEvents();
    ASSERT_EQ(box.EntryPath(2), "M:\\outer\\alpha");
    const QRect r = box.visualItemRect(box.item(2));
    QMouseEvent press(QEvent::MouseButtonPress, r.center(), box.viewport()->mapToGlobal(r.center()),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, r.center(),
                        box.viewport()->mapToGlobal(r.center()), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(box.viewport(), &press);
    QApplication::sendEvent(box.viewport(), &release);
    EXPECT_EQ(box.Directory(), "M:\\outer\\alpha");
    EXPECT_EQ(changes, 2);
    // The second click of a double-click does not open what now lies under the mouse.
    QMouseEvent dbl(QEvent::MouseButtonDblClick, r.center(),
                    box.viewport()->mapToGlobal(r.center()), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(box.viewport(), &dbl);
    QApplication::sendEvent(box.viewport(), &release);
    EXPECT_EQ(box.Directory(), "M:\\outer\\alpha");
    EXPECT_EQ(changes, 2);

    box.SetDrive(u'm');
    EXPECT_EQ(box.Directory(), "M:\\");
    EXPECT_TRUE(TDirectoryListBox::SubFolders("M:\\missing").isEmpty());
    // A folder swapped for a link (by whoever may write its parent) shows nothing of where the
    // link leads, even when the link names a folder with subfolders.
    std::filesystem::create_directories(base + "/elsewhere/secret");
    std::filesystem::rename(base + "/outer/alpha", base + "/alpha.real");
    std::filesystem::create_directory_symlink(base + "/elsewhere", base + "/outer/alpha");
    EXPECT_TRUE(TDirectoryListBox::SubFolders("M:\\outer\\alpha").isEmpty());
    std::filesystem::remove_all(base + "/outer"); // names QTemporaryDir cannot spell
}

} // namespace
