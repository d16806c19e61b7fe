// The analyser window's item actions on fixture drives: the context menu as the selection
// enables it, open, show and descend through a recording stand-in of the desktop, and delete
// into a trash of a temporary data folder (and a tmpfs as second volume) with the real trasher:
// the question, the outermost items in one run, odd names, collisions, items that stay, and the
// tree, totals, list and status line afterwards, compared with a new analysis of what is left.

#include "ItemActionsSupport.h"

namespace {

using namespace item_actions_test;

TEST_F(ItemActions, MenuFollowsTheSelection) {
    TForm_ORB& w = openAndAnalyse();
    const auto states = [&] {
        return std::vector<bool>{Find<QAction>(&w, "PopUp_OpenFile")->isEnabled(),
                                 Find<QAction>(&w, "PopUp_ShowFolder")->isEnabled(),
                                 Find<QAction>(&w, "PopUp_OpenFolder")->isEnabled(),
                                 Find<QAction>(&w, "PopUp_Delete")->isEnabled()};
    };
    // A right click on a row selects it and opens the menu there.
    const auto rightClick = [&](const QString& path) {
        int position = -1;
        for (int i = 0; i < list().VisibleRowCount(); ++i)
            if (list().RowPath(list().VisibleRow(i)) == path)
                position = i;
        ASSERT_GE(position, 0);
        const QRect r = list().visualRect(list().model()->index(position, 0));
        QMouseEvent press(QEvent::MouseButtonPress, r.center(),
                          list().viewport()->mapToGlobal(r.center()), Qt::RightButton,
                          Qt::RightButton, Qt::NoModifier);
        QApplication::sendEvent(list().viewport(), &press);
        QContextMenuEvent menu(QContextMenuEvent::Mouse, r.center(),
                               list().viewport()->mapToGlobal(r.center()));
        QApplication::sendEvent(list().viewport(), &menu);
    };
    rightClick("M:\\pic.JPG");
    EXPECT_TRUE(Find<QMenu>(&w, "AdvPopupMenu_ORB")->isVisible());
    EXPECT_EQ(selectedRows(), QStringList{"M:\\pic.JPG"});
    EXPECT_EQ(states(), std::vector<bool>({true, true, false, true}));
    Find<QMenu>(&w, "AdvPopupMenu_ORB")->hide();
    rightClick("M:\\video");
    EXPECT_EQ(states(), std::vector<bool>({false, false, true, true}));
    Find<QMenu>(&w, "AdvPopupMenu_ORB")->hide();
    select({"M:\\video", "M:\\pic.JPG"});
    answer = platform::IDNO;
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    EXPECT_EQ(states(), std::vector<bool>({false, false, false, true}));
    list().ClearSelection();
    EXPECT_FALSE(choose(Find<QAction>(&w, "PopUp_Delete")));
    EXPECT_EQ(states(), std::vector<bool>({false, false, false, false}));
    // The formats view's groups are no items on disk.
    Find<skin::TLumoButton2>(&w, "LumoButton_Formats")->Click();
    select({Message(Msg::MESSAGE_ORB_FILTER_VIDEO)});
    EXPECT_FALSE(choose(Find<QAction>(&w, "PopUp_Delete")));
    EXPECT_EQ(states(), std::vector<bool>({false, false, false, false}));
    EXPECT_TRUE(trashCalls.empty());
    EXPECT_TRUE(shellRequests.empty());
    // The items keep their pictures.
    for (QAction* a : {Find<QAction>(&w, "PopUp_OpenFile"), Find<QAction>(&w, "PopUp_ShowFolder"),
                       Find<QAction>(&w, "PopUp_OpenFolder"), Find<QAction>(&w, "PopUp_Delete")})
        EXPECT_FALSE(a->icon().isNull()) << a->objectName().toStdString();
}

TEST_F(ItemActions, OpenShowAndDescendReachTheVeryItem) {
    // A name with a backslash, blanks the list trims, and a byte that is not UTF-8.
    ::mkdir(native("odd").c_str(), 0755);
    writeRaw(native("odd/a\\b"), "1");
    writeRaw(native("odd/ lead and trail  "), "22");
    writeRaw(native("odd/caf\xE9"), "333");
    TForm_ORB& w = openAndAnalyse();
    Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->SetDirectory("M:\\odd");
    ASSERT_EQ(rows().size(), 3);
    using Kind = platform::ShellRequest::Kind;
    const struct {
        QString row;
        std::string native;
    } files[] = {
        {QStringView(u"M:\\odd\\a\uF05Cb").toString(), native("odd/a\\b")},
        {"M:\\odd\\lead and trail", native("odd/ lead and trail  ")},
        {"M:\\odd\\caf" + QString(QChar(0xDCE9)), native("odd/caf\xE9")},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.native);
        select({f.row});
        shellRequests.clear();
        EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_OpenFile")));
        EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_ShowFolder")));
        EXPECT_FALSE(choose(Find<QAction>(&w, "PopUp_OpenFolder")));
        ASSERT_EQ(shellRequests.size(), 2u);
        EXPECT_EQ(shellRequests[0].kind, Kind::OpenPath);
        EXPECT_EQ(shellRequests[0].nativePath, f.native);
        EXPECT_EQ(shellRequests[1].kind, Kind::RevealItem);
        EXPECT_EQ(shellRequests[1].nativePath, f.native);
    }
    // A file in the drive root is shown in the root.
    Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->SetDirectory("M:\\");
    select({"M:\\pic.JPG"});
    shellRequests.clear();
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_ShowFolder")));
    ASSERT_EQ(shellRequests.size(), 1u);
    EXPECT_EQ(shellRequests[0].kind, Kind::RevealItem);
    EXPECT_EQ(shellRequests[0].nativePath, native("pic.JPG"));
    // A folder opens in the file manager; several rows open nothing.
    select({"M:\\music"});
    shellRequests.clear();
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_OpenFolder")));
    ASSERT_EQ(shellRequests.size(), 1u);
    EXPECT_EQ(shellRequests[0].kind, Kind::OpenPath);
    EXPECT_EQ(shellRequests[0].nativePath, native("music"));
    select({"M:\\music", "M:\\pic.JPG"});
    shellRequests.clear();
    EXPECT_FALSE(choose(Find<QAction>(&w, "PopUp_OpenFolder")));
    w.PopUp_OpenFileClick(); // even when called directly
    EXPECT_TRUE(shellRequests.empty());

    // A double-click on a folder descends into it; on a file it does nothing.
    select({"M:\\pic.JPG"});
    w.VirtualDrawTree_ORB_QO16DblClick();
    EXPECT_EQ(Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->Directory(), "M:\\");
    select({"M:\\music"});
    const QRect r =
        list().visualRect(list().model()->index(list().PositionOf(list().GetFirstSelected()), 0));
    QMouseEvent dbl(QEvent::MouseButtonDblClick, r.center(),
                    list().viewport()->mapToGlobal(r.center()), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(list().viewport(), &dbl);
    EXPECT_EQ(Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->Directory(), "M:\\music");
    EXPECT_EQ(w.ListState.Current_RootNode, w.Orbisca->FindRootNodeForDir("M:\\music"));
    EXPECT_EQ(rows(), QStringList({"M:\\music\\s.mp3", "M:\\music\\t.Ogg", "M:\\music\\deep"}));
}

TEST_F(ItemActions, DeleteAsksFirstAndNoChangesNothing) {
    TForm_ORB& w = openAndAnalyse();
    select({"M:\\music", "M:\\pic.JPG"});
    const Tally before = tally();
    const QStringList listed = rows();
    answer = platform::IDNO;
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    const Box* asked = question();
    ASSERT_TRUE(asked);
    EXPECT_EQ(asked->text, Message(Msg::MESSAGE_ORB_DELETE_ASK_SURE));
    EXPECT_EQ(asked->caption, platform::ApplicationTitle());
    EXPECT_EQ(asked->type, platform::MB_YESNO | platform::MB_ICONWARNING | platform::MB_DEFBUTTON2);
    EXPECT_TRUE(trashCalls.empty());
    EXPECT_TRUE(exists(native("music/s.mp3")) && exists(native("pic.JPG")));
    EXPECT_EQ(rows(), listed);
    EXPECT_EQ(selectedRows().size(), 2);
    EXPECT_EQ(tally(), before);
    EXPECT_EQ(status(), summary(kFiles, kFiles, kBytes));

    // The question as the user sees it: a warning owned by the window, No the default.
    platform::SetMessageBoxHandler({});
    bool seen = false;
    forms_test::OnNextModal<QMessageBox>([&](QMessageBox* box) {
        seen = true;
        EXPECT_EQ(box->parentWidget(), w.window());
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->text(), Message(Msg::MESSAGE_ORB_DELETE_ASK_SURE));
        ASSERT_TRUE(box->defaultButton());
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        // Buttons in the program's language, like the question.
        EXPECT_EQ(box->button(QMessageBox::Yes)->text(), Message(Msg::MESSAGE_ASKER_YES));
        EXPECT_EQ(box->button(QMessageBox::No)->text(), Message(Msg::MESSAGE_ASKER_NO));
        box->defaultButton()->click();
    });
    w.PopUp_DeleteClick();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(trashCalls.empty());
    EXPECT_EQ(tally(), before);
}

TEST_F(ItemActions, TrashFromTheStructureView) {
    TForm_ORB& w = openAndAnalyse();
    const PNode root = w.VirtualDrawTree1.GetFirst();
    const uint32_t folders = w.Orbisca->TotalFolders();
    // A folder with a subfolder.
    select({"M:\\music"});
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    ASSERT_EQ(trashCalls.size(), 1u);
    EXPECT_EQ(trashCalls[0], std::vector<std::string>{native("music")});
    EXPECT_FALSE(exists(native("music")));
    EXPECT_EQ(readFile(trashed("music/deep/z.mp3")).size(), 20u);
    EXPECT_NE(record("music").find("Path=" + native("music") + "\n"), std::string::npos)
        << record("music");
    EXPECT_TRUE(failureMessages().isEmpty());
    EXPECT_EQ(rows(), QStringList({"M:\\video", "M:\\pic.JPG", "M:\\docs", "M:\\arch.tar.gz",
                                   "M:\\noext", "M:\\.profile"}));
    EXPECT_EQ(w.VirtualDrawTree1.Size(root), kBytes - 770);
    EXPECT_EQ(w.VirtualDrawTree1.FileCount(root), kFiles - 3);
    EXPECT_EQ(w.VirtualDrawTree1.FolderCount(root), 2u);
    EXPECT_EQ(w.Orbisca->TotalSize(), kBytes - 770);
    EXPECT_EQ(w.Orbisca->TotalFiles(), kFiles - 3);
    EXPECT_EQ(w.Orbisca->TotalFolders(), folders - 2);
    EXPECT_EQ(w.Orbisca->FindRootNodeForDir("M:\\music"), PNode::None);
    EXPECT_EQ(w.Orbisca->FindNodeForThis(0, "M:\\music\\deep\\z.mp3"), PNode::None);
    EXPECT_EQ(status(), summary(kFiles - 3, kFiles - 3, kBytes - 770));
    // The directory box forgets the folder too.
    for (int i = 0; i < Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->count(); ++i)
        EXPECT_NE(Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->EntryPath(i),
                  "M:\\music");

    // A file in the root, and inside a folder shown: the folder's own size follows.
    select({"M:\\pic.JPG"});
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->SetDirectory("M:\\video");
    select({"M:\\video\\b.MKV"});
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    EXPECT_EQ(rows(), QStringList({"M:\\video\\a.mp4"}));
    EXPECT_EQ(w.VirtualDrawTree1.Size(w.ListState.Current_RootNode), 1000);
    EXPECT_EQ(w.Orbisca->TotalSize(), kBytes - 770 - 300 - 3000);
    EXPECT_EQ(status(), summary(kFiles - 5, kFiles - 5, kBytes - 4070));
    EXPECT_EQ(trashCalls.size(), 3u);
    EXPECT_TRUE(exists(trashed("pic.JPG")) && exists(trashed("b.MKV")));

    expectSameAsANewAnalysis();

    // Restorable: moved back, the file is there again as it was.
    ASSERT_EQ(::rename(trashed("pic.JPG").c_str(), native("pic.JPG").c_str()), 0);
    EXPECT_EQ(readFile(native("pic.JPG")).size(), 300u);
}

TEST_F(ItemActions, TrashFromTheFilesView) {
    TForm_ORB& w = openAndAnalyse();
    Find<skin::TLumoButton2>(&w, "LumoButton_Files")->Click();
    const PNode video = w.Orbisca->FindRootNodeForDir("M:\\video");
    select({"M:\\video\\b.MKV", "M:\\music\\deep\\z.mp3", "M:\\noext"});
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    ASSERT_EQ(trashCalls.size(), 1u);
    EXPECT_EQ(trashCalls[0].size(), 3u);
    // Still the files view: every file that is left, the largest first.
    EXPECT_FALSE(Find<skin::TLumoButton2>(&w, "LumoButton_Files")->isEnabled());
    EXPECT_TRUE(w.ListState.FLAG_SHOW_FULLPATH);
    EXPECT_EQ(rows(), QStringList({"M:\\video\\a.mp4", "M:\\music\\s.mp3", "M:\\pic.JPG",
                                   "M:\\music\\t.Ogg", "M:\\docs\\r.txt", "M:\\arch.tar.gz",
                                   "M:\\docs\\x.doc", "M:\\.profile"}));
    EXPECT_TRUE(selectedRows().isEmpty());
    EXPECT_EQ(w.VirtualDrawTree1.Size(video), 1000);
    EXPECT_EQ(w.VirtualDrawTree1.FileCount(video), 1u);
    EXPECT_EQ(w.Orbisca->TotalFiles(), kFiles - 3);
    EXPECT_EQ(status(), summary(kFiles - 3, kFiles - 3, kBytes - 3027));
    for (const char* name : {"b.MKV", "z.mp3", "noext"})
        EXPECT_TRUE(exists(trashed(name))) << name;
    expectSameAsANewAnalysis();
}

TEST_F(ItemActions, TrashFromAFilteredView) {
    TForm_ORB& w = openAndAnalyse();
    Find<QComboBox>(&w, "ComboBox_ORB_Filter")
        ->setCurrentText(Message(Msg::MESSAGE_ORB_FILTER_AUDIO));
    ASSERT_EQ(rows(),
              QStringList({"M:\\music\\s.mp3", "M:\\music\\t.Ogg", "M:\\music\\deep\\z.mp3"}));
    select({"M:\\music\\s.mp3", "M:\\music\\deep\\z.mp3"});
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    EXPECT_EQ(rows(), QStringList({"M:\\music\\t.Ogg"}));
    EXPECT_EQ(w.ListState.ShownTotal(), 250);
    EXPECT_EQ(status(), summary(1, kFiles - 2, 250));
    // The same filter in the files view, then all files again.
    Find<skin::TLumoButton2>(&w, "LumoButton_Files")->Click();
    Find<QComboBox>(&w, "ComboBox_ORB_Filter")
        ->setCurrentText(Message(Msg::MESSAGE_ORB_FILTER_VIDEO));
    ASSERT_EQ(rows(), QStringList({"M:\\video\\b.MKV", "M:\\video\\a.mp4"}));
    select({"M:\\video\\a.mp4"});
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    EXPECT_EQ(rows(), QStringList({"M:\\video\\b.MKV"}));
    EXPECT_EQ(w.ListState.ShownTotal(), 3000);
    EXPECT_EQ(status(), summary(1, kFiles - 3, 3000));
    EXPECT_TRUE(w.ListState.FLAG_SHOW_FULLPATH);
    Find<QComboBox>(&w, "ComboBox_ORB_Filter")
        ->setCurrentText(Message(Msg::MESSAGE_ORB_FILTER_ALL));
    EXPECT_EQ(rows().size(), int(kFiles) - 3);
    EXPECT_EQ(status(), summary(kFiles - 3, kFiles - 3, kBytes - 1520));
    expectSameAsANewAnalysis();
}

TEST_F(ItemActions, OddNamesReachTheVeryFile) {
    // Each odd name beside the neighbour a lossy handling of it would reach instead. A name the
    // list trims looks like its neighbour; its row is the one that keeps the listed name.
    ::mkdir(native("odd").c_str(), 0755);
    ::mkdir(native("odd/a").c_str(), 0755);
    const struct {
        std::string name;
        QString row;
        std::string neighbour;
    } cases[] = {
        {"a\\b", QStringView(u"M:\\odd\\a\uF05Cb").toString(), "a/b"},
        {"  blanks  ", "M:\\odd\\blanks", "blanks"},
        {"caf\xE9", "M:\\odd\\caf" + QString(QChar(0xDCE9)), "caf\xC3\xA9"},
        {"caf\xFF", "M:\\odd\\caf" + QString(QChar(0xDCFF)), "caf\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        writeRaw(native("odd/") + c.name, "item");
        writeRaw(native("odd/") + c.neighbour, "neighbour");
    }
    TForm_ORB& w = openAndAnalyse();
    Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->SetDirectory("M:\\odd");
    ASSERT_EQ(rows().size(), 8);
    list().ClearSelection();
    for (int i = 0; i < list().VisibleRowCount(); ++i) {
        const analysis::TNodeData d = list().RowData(list().VisibleRow(i));
        for (const auto& c : cases) {
            const bool trimmed = c.name.front() == ' ';
            if (d.Path == c.row && (!trimmed || !d.ListedName.isEmpty()))
                list().SelectRow(list().VisibleRow(i), true);
        }
    }
    ASSERT_EQ(list().SelectedCount(), 4);
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    EXPECT_TRUE(failureMessages().isEmpty()) << failureMessages().join("\n").toStdString();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(exists(native("odd/") + c.name));
        EXPECT_EQ(readFile(trashed(c.name)), "item");
        EXPECT_EQ(readFile(native("odd/") + c.neighbour), "neighbour");
    }
    QStringList left = rows();
    left.sort();
    EXPECT_EQ(left, QStringList({"M:\\odd\\a", "M:\\odd\\blanks", QStringLiteral("M:\\odd\\café"),
                                 QStringView(u"M:\\odd\\caf\uFFFD").toString()}));
    expectSameAsANewAnalysis();
}

TEST_F(ItemActions, CollisionsInTheTrashGetNamesOfTheirOwn) {
    WriteFile(m_, "docs/same.txt", 1);
    WriteFile(m_, "video/same.txt", 2);
    WriteFile(m_, "same.txt", 3);
    TForm_ORB& w = openAndAnalyse();
    // One already in the trash from before.
    select({"M:\\same.txt"});
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    Find<skin::TLumoButton2>(&w, "LumoButton_Files")->Click();
    select({"M:\\docs\\same.txt", "M:\\video\\same.txt"});
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    EXPECT_TRUE(failureMessages().isEmpty());
    EXPECT_EQ(readFile(trashed("same.txt")).size(), 3u);
    std::set<size_t> sizes;
    for (const char* name : {"same.txt.2", "same.txt.3"}) {
        sizes.insert(readFile(trashed(name)).size());
        EXPECT_NE(record(name).find("Path=" + m_ + "/"), std::string::npos) << record(name);
    }
    EXPECT_EQ(sizes, std::set<size_t>({1, 2}));
    EXPECT_EQ(w.Orbisca->TotalFiles(), kFiles);
}

TEST_F(ItemActions, ItemsThatStayAreKeptAndNamed) {
    const std::string n = mountVolume(u'N');
    if (n.empty())
        GTEST_SKIP() << "cannot mount a tmpfs as a second volume here (needs root and unshare -m)";
    ::mkdir((n + "/sub dir").c_str(), 0755);
    for (const char* name : {"sub dir/one", "sub dir/two", "sub dir/three", "four"})
        writeRaw(n + "/" + name, name);
    analyseOnly(u'N');
    TForm_ORB& w = *window;
    // On its own volume an item goes to the volume's trash, recorded relative to its top.
    Find<skin::TLumoButton2>(&w, "LumoButton_Files")->Click();
    select({"N:\\sub dir\\one"});
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    EXPECT_TRUE(failureMessages().isEmpty()) << failureMessages().join("\n").toStdString();
    EXPECT_EQ(readFile(n + "/.Trash-" + std::to_string(::geteuid()) + "/files/one"), "sub dir/one");
    EXPECT_NE(readFile(n + "/.Trash-" + std::to_string(::geteuid()) + "/info/one.trashinfo")
                  .find("Path=sub%20dir/one\n"),
              std::string::npos);

    // A vanished item and a read-only volume: both stay, in the tree and the list, and one
    // message names them; the item that could go, goes.
    ::unlink((n + "/four").c_str());
    const PNode two = w.Orbisca->FindNodeForThis(0, "N:\\sub dir\\two");
    const uint32_t files = w.Orbisca->TotalFiles();
    select({"N:\\four", "N:\\sub dir\\two", "N:\\sub dir\\three"});
    trashCalls.clear();
    platform::TrashHandler real = platform::SetTrashHandler({});
    platform::SetTrashHandler([&, real](const std::vector<platform::ListedItem>& paths) {
        // The volume turns read-only just before the run; the first item has vanished.
        ::mount(nullptr, n.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
        std::vector<platform::TrashResult> results = real(paths);
        ::mount(nullptr, n.c_str(), nullptr, MS_REMOUNT, nullptr);
        return results;
    });
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    ASSERT_EQ(trashCalls.size(), 1u);
    EXPECT_EQ(trashCalls[0].size(), 3u);
    ASSERT_EQ(failureMessages().size(), 1);
    const QString text = failureMessages()[0];
    EXPECT_TRUE(text.startsWith(Message(Msg::MESSAGE_ORB_DELETE_FAILED).section(u'%', 0, 0)));
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    // The reasons are told in the program's language.
    EXPECT_TRUE(lines.contains("N:\\four: " + Message(Msg::MESSAGE_ORB_DELETE_VANISHED)))
        << text.toStdString();
    for (const QString item : {"N:\\sub dir\\two: ", "N:\\sub dir\\three: "}) {
        const auto line = std::find_if(lines.begin(), lines.end(),
                                       [&](const QString& l) { return l.startsWith(item); });
        ASSERT_NE(line, lines.end()) << text.toStdString();
        EXPECT_TRUE(line->endsWith(Message(Msg::MESSAGE_ORB_DELETE_READONLY)))
            << line->toStdString();
    }
    EXPECT_TRUE(exists(n + "/sub dir/two") && exists(n + "/sub dir/three"));
    // Nothing that stayed left the tree or the list, and the rows are still selected.
    EXPECT_EQ(w.Orbisca->FindNodeForThis(0, "N:\\sub dir\\two"), two);
    EXPECT_EQ(w.Orbisca->TotalFiles(), files);
    EXPECT_EQ(rows().size(), 3);
    QStringList kept = selectedRows();
    kept.sort();
    EXPECT_EQ(kept, QStringList({"N:\\four", "N:\\sub dir\\three", "N:\\sub dir\\two"}));

    // With the volume writable again the two go; the vanished one is named again.
    messages.clear();
    platform::SetTrashHandler(real);
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    ASSERT_EQ(failureMessages().size(), 1);
    EXPECT_FALSE(failureMessages()[0].contains("sub dir"));
    EXPECT_EQ(rows(), QStringList{"N:\\four"});
    EXPECT_EQ(w.Orbisca->TotalFiles(), 1u);
    EXPECT_EQ(status(), summary(1, 1, 4));
}

TEST_F(ItemActions, OverlappingRowsGoOnceWithTheirFolder) {
    TForm_ORB& w = openAndAnalyse();
    // Rows of a folder and of files inside it, as a flattened list could hold them.
    const PNode music = w.Orbisca->FindRootNodeForDir("M:\\music");
    list().AddNodeRow(w.Orbisca->FindNodeForThis(0, "M:\\music\\deep\\z.mp3"));
    list().AddNodeRow(w.Orbisca->FindRootNodeForDir("M:\\music\\deep"));
    select({"M:\\music\\deep\\z.mp3", "M:\\music", "M:\\music\\deep", "M:\\noext"});
    ASSERT_NE(music, PNode::None);
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    ASSERT_EQ(trashCalls.size(), 1u);
    EXPECT_EQ(trashCalls[0], (std::vector<std::string>{native("music"), native("noext")}));
    EXPECT_TRUE(failureMessages().isEmpty());
    EXPECT_EQ(w.Orbisca->TotalFiles(), kFiles - 4);
    EXPECT_EQ(w.Orbisca->TotalSize(), kBytes - 777);
    EXPECT_FALSE(rows().contains("M:\\music\\deep\\z.mp3"));
    expectSameAsANewAnalysis();
}

TEST_F(ItemActions, ACurrentFolderThatWentGivesWayToItsNearestSurvivor) {
    TForm_ORB& w = openAndAnalyse();
    Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->SetDirectory("M:\\music\\deep");
    // A row of a folder above the one shown, as a list of another folder could hold it.
    list().AddNodeRow(w.Orbisca->FindRootNodeForDir("M:\\music"));
    select({"M:\\music"});
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    EXPECT_FALSE(exists(native("music")));
    EXPECT_EQ(Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->Directory(), "M:\\");
    EXPECT_EQ(w.ListState.Current_RootNode, w.VirtualDrawTree1.GetFirst());
    EXPECT_EQ(rows(), QStringList({"M:\\video", "M:\\pic.JPG", "M:\\docs", "M:\\arch.tar.gz",
                                   "M:\\noext", "M:\\.profile"}));
    EXPECT_EQ(status(), summary(kFiles - 3, kFiles - 3, kBytes - 770));
}

} // namespace

namespace {

// A second local account without a name.
constexpr uid_t kMallory = 4242;

// Runs body as mallory in a child process and waits for it.
void asMallory(const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(kMallory, kMallory, kMallory) != 0 ||
            ::setresuid(kMallory, kMallory, kMallory) != 0)
            ::_exit(2);
        body();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace

TEST_F(ItemActions, AFolderSwappedForALinkAfterTheAnalysisLeadsNowhere) {
    // Mallory's folder on M: holds her file; a folder of root's elsewhere holds a secret.
    const std::string hers = native("mallory");
    ::mkdir(hers.c_str(), 0755);
    ::mkdir((hers + "/junk").c_str(), 0755);
    writeRaw(hers + "/junk/victimfile", "mallory's");
    for (const std::string& p : {hers, hers + "/junk", hers + "/junk/victimfile"})
        ASSERT_EQ(::chown(p.c_str(), kMallory, kMallory), 0);
    const std::string rootOnly = data_.filePath(QStringLiteral("rootonly")).toStdString();
    ::mkdir(rootOnly.c_str(), 0700);
    writeRaw(rootOnly + "/victimfile", "root's secret");
    ::chmod((rootOnly + "/victimfile").c_str(), 0600);

    // Mallory may pass the drives' folder, as any user may pass /tmp.
    ASSERT_EQ(::chmod(m_.substr(0, m_.rfind('/')).c_str(), 0711), 0);
    TForm_ORB& w = openAndAnalyse();
    Find<skin::TLumoButton2>(&w, "LumoButton_Files")->Click();
    asMallory([&] {
        if (::rename((hers + "/junk").c_str(), (hers + "/junk.real").c_str()) != 0 ||
            ::symlink(rootOnly.c_str(), (hers + "/junk").c_str()) != 0)
            ::_exit(1);
    });

    // Opening, showing and deleting the listed file all refuse; nothing is handed on or moved.
    const QString row = "M:\\mallory\\junk\\victimfile";
    select({row});
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_OpenFile")));
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_ShowFolder")));
    EXPECT_TRUE(shellRequests.empty());
    const QStringList refusals = failureMessages();
    ASSERT_EQ(refusals.size(), 2);
    for (const QString& text : refusals) {
        EXPECT_TRUE(text.contains(row)) << text.toStdString();
        EXPECT_TRUE(text.contains(Message(Msg::MESSAGE_ORB_ITEM_CHANGED))) << text.toStdString();
    }
    messages.clear();
    const uint32_t files = w.Orbisca->TotalFiles();
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    ASSERT_EQ(failureMessages().size(), 1);
    EXPECT_TRUE(failureMessages()[0].contains(row + ": " + Message(Msg::MESSAGE_ORB_ITEM_CHANGED)))
        << failureMessages()[0].toStdString();
    EXPECT_EQ(readFile(rootOnly + "/victimfile"), "root's secret");
    EXPECT_EQ(readFile(hers + "/junk.real/victimfile"), "mallory's");
    EXPECT_FALSE(exists(trash_));
    EXPECT_EQ(w.Orbisca->TotalFiles(), files);
    EXPECT_EQ(selectedRows(), QStringList{row});
}

TEST_F(ItemActions, NothingIsOpenedOrTrashedForAUserThatIsNotThere) {
    TForm_ORB& w = openAndAnalyse();
    platform::UserSession bogus = platform::CurrentUserSession();
    bogus.refusal = "PKEXEC_UID=4242";
    const platform::UserSession previous = platform::ReplaceCurrentUserSession(bogus);
    select({"M:\\pic.JPG"});
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_OpenFile")));
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    platform::ReplaceCurrentUserSession(previous);
    EXPECT_TRUE(shellRequests.empty());
    EXPECT_TRUE(trashCalls.empty());
    EXPECT_EQ(question(), nullptr) << "nothing is asked that cannot be done";
    const QStringList texts = failureMessages();
    ASSERT_EQ(texts.size(), 2);
    for (const QString& text : texts)
        EXPECT_EQ(text, QString(Message(Msg::MESSAGE_ORB_NO_DESKTOP_USER))
                            .replace(QStringLiteral("%1"), QStringLiteral("PKEXEC_UID=4242")));
    EXPECT_TRUE(exists(native("pic.JPG")));
}

TEST_F(ItemActions, WhatTheUserCouldNotRemoveIsNamedWithTheAdministratorsTrash) {
    // The window acts for "nobody", who may remove what lies in a folder of theirs but not the
    // files in M:'s root (a folder of root's).
    const std::string home = data_.filePath(QStringLiteral("home")).toStdString();
    const std::string rootHome = data_.filePath(QStringLiteral("root-home")).toStdString();
    ::mkdir(home.c_str(), 0755);
    ASSERT_EQ(::chown(home.c_str(), 65534, 65534), 0);
    ::mkdir(rootHome.c_str(), 0700);
    ::mkdir(native("theirs").c_str(), 0755);
    writeRaw(native("theirs/own.txt"), "theirs");
    ASSERT_EQ(::chown(native("theirs").c_str(), 65534, 65534), 0);
    platform::SessionProbe probe;
    probe.environment = {{"PKEXEC_UID", "65534"}};
    probe.runtimeRoot = "/nonexistent";
    probe.lookupUser = [&](uid_t uid) -> std::optional<platform::PasswdEntry> {
        if (uid == 65534)
            return platform::PasswdEntry{65534, 65534, "nobody", home};
        if (uid == 0)
            return platform::PasswdEntry{0, 0, "root", rootHome};
        return std::nullopt;
    };
    const platform::UserSession user = platform::ResolveUserSession(probe);
    const platform::UserSession previous = platform::ReplaceCurrentUserSession(user);
    platform::SetTrashHandler([&user](const std::vector<platform::ListedItem>& items) {
        return platform::MoveToTrash(items, user);
    });

    TForm_ORB& w = openAndAnalyse();
    Find<skin::TLumoButton2>(&w, "LumoButton_Files")->Click();
    select({"M:\\pic.JPG", "M:\\theirs\\own.txt"});
    EXPECT_TRUE(choose(Find<QAction>(&w, "PopUp_Delete")));
    platform::ReplaceCurrentUserSession(previous);

    const std::string adminTrash = rootHome + "/.local/share/Trash";
    EXPECT_TRUE(exists(adminTrash + "/files/pic.JPG"));
    EXPECT_TRUE(exists(home + "/.local/share/Trash/files/own.txt"));
    const QStringList texts = failureMessages();
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(
        texts[0].startsWith(Message(Msg::MESSAGE_ORB_DELETE_ADMIN_TRASH).section(u'%', 0, 0)))
        << texts[0].toStdString();
    EXPECT_TRUE(texts[0].contains("nobody")) << texts[0].toStdString();
    EXPECT_TRUE(texts[0].contains("M:\\pic.JPG: " + QString::fromStdString(adminTrash)))
        << texts[0].toStdString();
    EXPECT_FALSE(texts[0].contains("own.txt")) << texts[0].toStdString();
    EXPECT_EQ(rows().size(), int(kFiles) + 1 - 2);
}
