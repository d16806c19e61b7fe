// The permanent delete in the analyser window, with the real remover on fixture drives: its
// question, what it removes from the structure, files and filtered views (tree, totals, list and
// status line compared with a new analysis), what it leaves (a read-only volume, a vanished
// item, a folder that goes only in part) and a link inside a removed folder.

#include "ItemActionsSupport.h"

#include "platform/Removal.h"
#include "views/DirectoryListBox.h"
#include "views/ItemActions.h"

#include <linux/fs.h>
#include <sys/ioctl.h>

namespace {

using namespace item_actions_test;

class PermanentDelete : public ItemActions {
protected:
    void SetUp() override {
        ItemActions::SetUp();
        if (HasFatalFailure())
            return;
        platform::SetRemovalHandler([this](const std::vector<platform::ListedItem>& items) {
            std::vector<std::string> paths;
            for (const platform::ListedItem& item : items)
                paths.push_back(item.Path());
            removeCalls.push_back(paths);
            return platform::RemovePermanently(items);
        });
    }
    void TearDown() override {
        for (const std::string& path : immutable_)
            setImmutable(path, false);
        platform::SetRemovalHandler({});
        ItemActions::TearDown();
    }
    bool deletePermanently() {
        return choose(Find<QAction>(window.get(), "PopUp_DeletePermanently"));
    }
    // Sets or clears the immutable flag; false where the file system has none.
    bool setImmutable(const std::string& path, bool on) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        if (ok && on)
            immutable_.push_back(path);
        return ok;
    }

    std::vector<std::vector<std::string>> removeCalls;
    std::vector<std::string> immutable_;
};

TEST_F(PermanentDelete, AsksWithItemsAndSizeAndNoKeepsEverything) {
    TForm_ORB& w = openAndAnalyse();
    select({"M:\\music", "M:\\pic.JPG"});
    const Tally before = tally();
    answer = platform::IDNO;
    EXPECT_TRUE(deletePermanently());
    const Box* asked = question();
    ASSERT_TRUE(asked);
    // The outermost items only, and what they hold in all.
    EXPECT_EQ(asked->text, views::PermanentDeleteQuestion({"M:\\music", "M:\\pic.JPG"}, 770 + 300));
    EXPECT_TRUE(asked->text.contains("M:\\music\r\nM:\\pic.JPG")) << asked->text.toStdString();
    EXPECT_EQ(asked->type, platform::MB_YESNO | platform::MB_ICONWARNING | platform::MB_DEFBUTTON2);
    EXPECT_TRUE(removeCalls.empty());
    EXPECT_TRUE(trashCalls.empty());
    EXPECT_TRUE(exists(native("music/deep/z.mp3")) && exists(native("pic.JPG")));
    EXPECT_EQ(tally(), before);
    EXPECT_EQ(selectedRows().size(), 2);

    // Both languages name the permanence.
    EXPECT_TRUE(Message(Msg::MESSAGE_ORB_DELETE_PERMANENTLY_ASK).contains("endgültig"));
    EXPECT_EQ(Find<QAction>(&w, "PopUp_DeletePermanently")->text().section(u'\t', 0, 0),
              QString::fromUtf8("Endgültig löschen"));
}

TEST_F(PermanentDelete, FromTheStructureFilesAndFilteredViews) {
    // A link inside a folder to a folder outside it: the link goes, what it points to stays.
    ::symlink(native("docs").c_str(), native("music/to-docs").c_str());
    TForm_ORB& w = openAndAnalyse();
    const int64_t size = w.Orbisca->TotalSize();
    const uint32_t files = w.Orbisca->TotalFiles();
    const int64_t music = w.VirtualDrawTree1.Size(w.Orbisca->FindRootNodeForDir("M:\\music"));
    const uint32_t musicFiles =
        w.VirtualDrawTree1.FileCount(w.Orbisca->FindRootNodeForDir("M:\\music"));
    select({"M:\\music", "M:\\pic.JPG"});
    EXPECT_TRUE(deletePermanently());
    ASSERT_EQ(removeCalls.size(), 1u);
    EXPECT_EQ(removeCalls[0], (std::vector<std::string>{native("music"), native("pic.JPG")}));
    EXPECT_FALSE(exists(native("music")) || exists(native("pic.JPG")));
    EXPECT_TRUE(exists(native("docs/r.txt")) && exists(native("docs/x.doc")));
    EXPECT_TRUE(trashCalls.empty());
    EXPECT_FALSE(exists(trash_)); // nothing went to a trash
    EXPECT_TRUE(failureMessages().isEmpty());
    EXPECT_EQ(w.Orbisca->TotalSize(), size - music - 300);
    EXPECT_EQ(w.Orbisca->TotalFiles(), files - musicFiles - 1);
    EXPECT_EQ(status(),
              summary(files - musicFiles - 1, files - musicFiles - 1, size - music - 300));
    expectSameAsANewAnalysis();

    // The files view stays the files view, without the rows that went.
    Find<skin::TLumoButton2>(&w, "LumoButton_Files")->Click();
    select({"M:\\video\\b.MKV", "M:\\noext"});
    EXPECT_TRUE(deletePermanently());
    EXPECT_EQ(w.ListState.View, views::TListView::Files);
    const uint32_t left = files - musicFiles - 3;
    EXPECT_EQ(rows().size(), int(left));
    EXPECT_FALSE(rows().contains("M:\\video\\b.MKV"));
    EXPECT_EQ(status(), summary(left, left, size - music - 300 - 3007));
    expectSameAsANewAnalysis();

    // A filtered view: the filter's total follows.
    Find<QComboBox>(&w, "ComboBox_ORB_Filter")->setEditText("*.txt");
    w.ComboBox_ORB_FilterKeyPress(QChar(13));
    select({"M:\\docs\\r.txt"});
    EXPECT_TRUE(deletePermanently());
    EXPECT_FALSE(exists(native("docs/r.txt")));
    EXPECT_EQ(w.ListState.CURRENT_FILTER_TOTALFILESIZE, 0);
    EXPECT_EQ(w.Orbisca->TotalSize(), size - music - 300 - 3007 - 100);
    expectSameAsANewAnalysis();
}

TEST_F(PermanentDelete, WhatCannotGoStaysListedAndIsNamed) {
    // A vanished item and one that was replaced since the analysis.
    TForm_ORB& w = openAndAnalyse();
    ::unlink(native("noext").c_str());
    // Replaced by a rename over it, so that the new file cannot reuse the old one's inode.
    writeRaw(native("pic.new"), "another file");
    ::rename(native("pic.new").c_str(), native("pic.JPG").c_str());
    select({"M:\\noext", "M:\\pic.JPG", "M:\\arch.tar.gz"});
    EXPECT_TRUE(deletePermanently());
    EXPECT_FALSE(exists(native("arch.tar.gz")));
    EXPECT_EQ(readFile(native("pic.JPG")), "another file");
    const QStringList texts = failureMessages();
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].startsWith(
        Message(Msg::MESSAGE_ORB_DELETE_PERMANENTLY_FAILED).section("%1", 0, 0)));
    EXPECT_TRUE(texts[0].contains("M:\\noext: " + Message(Msg::MESSAGE_ORB_DELETE_VANISHED)))
        << texts[0].toStdString();
    EXPECT_TRUE(texts[0].contains("M:\\pic.JPG: " + Message(Msg::MESSAGE_ORB_ITEM_CHANGED)))
        << texts[0].toStdString();
    EXPECT_TRUE(rows().contains("M:\\noext") && rows().contains("M:\\pic.JPG"));
    EXPECT_FALSE(rows().contains("M:\\arch.tar.gz"));
    EXPECT_EQ(selectedRows(), QStringList({"M:\\pic.JPG", "M:\\noext"}));
    EXPECT_EQ(w.Orbisca->TotalSize(), kBytes - 60);

    // A read-only volume: nothing changes on it or in the analysis.
    const std::string volume = mountVolume(u'N');
    if (volume.empty())
        GTEST_SKIP() << "cannot mount a tmpfs as a second volume here";
    ::mkdir((volume + "/sub").c_str(), 0755);
    writeRaw(volume + "/sub/kept", "12345");
    analyseOnly(u'N');
    ASSERT_EQ(::mount(nullptr, volume.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    messages.clear();
    const Tally before = tally();
    ASSERT_TRUE(rows().contains("N:\\sub")) << rows().join(" ").toStdString();
    select({"N:\\sub"});
    EXPECT_TRUE(deletePermanently());
    EXPECT_TRUE(exists(volume + "/sub/kept"));
    ASSERT_EQ(failureMessages().size(), 1);
    EXPECT_TRUE(
        failureMessages()[0].contains("N:\\sub: " + Message(Msg::MESSAGE_ORB_DELETE_READONLY)))
        << failureMessages()[0].toStdString();
    EXPECT_EQ(tally(), before);
}

TEST_F(PermanentDelete, AFolderThatGoesInPartKeepsWhatStayed) {
    ::mkdir(native("music/deep/deeper").c_str(), 0755);
    writeRaw(native("music/deep/deeper/locked.mp3"), std::string(33, 'x'));
    writeRaw(native("music/deep/deeper/free.mp3"), std::string(44, 'x'));
    if (!setImmutable(native("music/deep/deeper/locked.mp3"), true))
        GTEST_SKIP() << "no immutable files on this file system";
    TForm_ORB& w = openAndAnalyse();
    select({"M:\\music"});
    EXPECT_TRUE(deletePermanently());
    EXPECT_TRUE(exists(native("music/deep/deeper/locked.mp3")));
    EXPECT_FALSE(exists(native("music/s.mp3")) || exists(native("music/deep/z.mp3")) ||
                 exists(native("music/deep/deeper/free.mp3")));
    ASSERT_EQ(failureMessages().size(), 1);
    EXPECT_TRUE(failureMessages()[0].contains(
        "M:\\music: " + Message(Msg::MESSAGE_ORB_DELETE_PARTLY).section("%1", 0, 0)))
        << failureMessages()[0].toStdString();
    // The folder stays with what is left, exactly.
    EXPECT_TRUE(rows().contains("M:\\music"));
    EXPECT_EQ(w.VirtualDrawTree1.Size(w.Orbisca->FindRootNodeForDir("M:\\music")), 33);
    EXPECT_EQ(w.Orbisca->TotalSize(), kBytes + 77 - 814);
    expectSameAsANewAnalysis();
}

} // namespace
