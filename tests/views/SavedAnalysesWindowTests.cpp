// Saved analyses in the analyser window on the sample drive M:: every analysis kept in the store
// beside the test's hive, as the options say; one reopened without a scan, in every view, with the
// status line naming it; an ncdu export opened; a broken file refused with the analysis shown
// before staying; and item actions on a reopened analysis reaching only what is unchanged.

#include "ItemActionsSupport.h"

#include "saved/AnalysisStore.h"
#include "saved/NcduJson.h"
#include "settings/KeptAnalyses.h"
#include "views/DirectoryListBox.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace item_actions_test;

class SavedInWindow : public ItemActions {
protected:
    std::vector<saved::TKeptAnalysis> kept() const {
        QString error;
        std::vector<saved::TKeptAnalysis> list = saved::ListKeptAnalyses(&error);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return list;
    }
    // The analysis shown, as the window's tree and totals hold it.
    Tally analysed() {
        window->WaitForKeeping();
        return tally();
    }
};

TEST_F(SavedInWindow, AnAnalysisIsKeptAndReopensWithoutAScan) {
    TForm_ORB& w = openAndAnalyse();
    const Tally scanned = analysed();
    std::vector<saved::TKeptAnalysis> list = kept();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Drive(), "M:\\");
    EXPECT_EQ(list[0].Files(), kFiles);
    EXPECT_EQ(list[0].Size(), kBytes);
    EXPECT_TRUE(list[0].Complete());

    // The disk changes; the saved analysis shows what was, without looking at the disk: its
    // folders too.
    ::unlink(native("video/b.MKV").c_str());
    removeTree(native("docs"));
    ::mkdir(native("new folder").c_str(), 0755);
    ASSERT_TRUE(w.OpenSavedAnalysis(list[0].File));
    EXPECT_EQ(tally(), scanned);
    QStringList folders;
    auto* box = Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1");
    for (int i = 0; i < box->count(); ++i)
        folders << box->EntryPath(i);
    EXPECT_EQ(folders, QStringList({"M:\\", "M:\\docs", "M:\\music", "M:\\video"}));
    EXPECT_TRUE(rows().contains("M:\\video"));
    EXPECT_TRUE(status().contains(Message(Msg::MESSAGEHTML_ORB_STATUS_LOADED).section("%1", 0, 0)))
        << status().toStdString();
    EXPECT_TRUE(status().contains("M:\\")) << status().toStdString();
    Find<skin::TLumoButton2>(&w, "LumoButton_Files")->Click();
    EXPECT_EQ(rows().size(), int(kFiles));
    EXPECT_TRUE(rows().contains("M:\\video\\b.MKV"));
    // Opening is no analysis: nothing more is kept.
    EXPECT_EQ(kept().size(), 1u);

    // Acting on it: an unchanged item goes, the one gone since is named, as after a scan.
    select({"M:\\video\\a.mp4", "M:\\video\\b.MKV"});
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    EXPECT_FALSE(exists(native("video/a.mp4")));
    ASSERT_EQ(failureMessages().size(), 1);
    EXPECT_TRUE(failureMessages()[0].contains("M:\\video\\b.MKV: " +
                                              Message(Msg::MESSAGE_ORB_DELETE_VANISHED)))
        << failureMessages()[0].toStdString();
}

TEST_F(SavedInWindow, AnotherFileSystemUnderTheLetterIsNotActedOn) {
    TForm_ORB& w = openAndAnalyse();
    analysed();
    const std::string file = kept().at(0).File;
    // The same names on another volume under M:: the saved analysis is not of it.
    const std::string other = mountVolume(u'N');
    if (other.empty())
        GTEST_SKIP() << "cannot mount a tmpfs as a second volume here";
    WriteSampleDrive(other);
    platform::SetDriveRoot(u'M', other);
    ASSERT_TRUE(w.OpenSavedAnalysis(file));
    select({"M:\\pic.JPG"});
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_DeletePermanently")));
    EXPECT_TRUE(exists(other + "/pic.JPG"));
    ASSERT_EQ(failureMessages().size(), 1);
    EXPECT_TRUE(
        failureMessages()[0].contains("M:\\pic.JPG: " + Message(Msg::MESSAGE_ORB_ITEM_CHANGED)))
        << failureMessages()[0].toStdString();
    EXPECT_TRUE(rows().contains("M:\\pic.JPG"));
    // Opening it is refused the same way.
    shellRequests.clear();
    messages.clear();
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_OpenFile")));
    EXPECT_TRUE(shellRequests.empty());
    EXPECT_EQ(failureMessages().size(), 1);
}

TEST_F(SavedInWindow, NcduExportsOpenAndBrokenFilesAreRefused) {
    TForm_ORB& w = openAndAnalyse();
    const Tally scanned = analysed();
    const std::string json = data_.filePath("m.json").toStdString();
    {
        const int fd = ::open(json.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        QString error;
        ASSERT_TRUE(saved::ExportNcduJson(fd, w.VirtualDrawTree1, w.Orbisca->Summary(), &error))
            << error.toStdString();
        ::close(fd);
    }
    // A broken file: said so, and the analysis shown stays.
    const std::string broken = data_.filePath("broken.orbisca").toStdString();
    writeRaw(broken, "ORBISCA? not an analysis");
    messages.clear();
    EXPECT_FALSE(w.OpenSavedAnalysis(broken));
    ASSERT_EQ(failureMessages().size(), 1);
    EXPECT_TRUE(failureMessages()[0].contains(QString::fromStdString(broken)));
    EXPECT_EQ(tally(), scanned);
    EXPECT_EQ(rows().size(), 7);

    // The export opens with the same files and sizes under the drive whose root it names.
    ASSERT_TRUE(w.OpenSavedAnalysis(json));
    EXPECT_EQ(w.Orbisca->Analysed_Drive(), "M:\\");
    EXPECT_EQ(w.Orbisca->TotalFiles(), kFiles);
    EXPECT_EQ(w.Orbisca->TotalSize(), kBytes);
    EXPECT_TRUE(status().contains("ncdu")) << status().toStdString();
}

TEST_F(SavedInWindow, KeepingFollowsTheOptions) {
    settings::SaveKeptAnalysesSettings({1, 1024});
    openAndAnalyse();
    analysed();
    Find<skin::TLumoButton2>(window.get(), "LumoButton_Analyse")->Click();
    analysed();
    EXPECT_EQ(kept().size(), 1u); // the last one of the drive
    settings::SaveKeptAnalysesSettings({0, 1024});
    const std::string before = kept().at(0).File;
    Find<skin::TLumoButton2>(window.get(), "LumoButton_Analyse")->Click();
    analysed();
    ASSERT_EQ(kept().size(), 1u); // switched off: nothing new
    EXPECT_EQ(kept()[0].File, before);
}

} // namespace
