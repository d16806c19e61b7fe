// The analyser window on fixture drives, hosted by a recording main window: creation, the
// analyse command with and without the drive picker, drives that are left out, the start-up
// timer, the three views with filters, the status line, a stopped scan and closing.

#include "AnalyserTestSupport.h"

#include "analysis/nogui_Orbisca.h"
#include "i18n/ProjectMessages.h"
#include "i18n/TranslatableComponents.h"
#include "inet/zel_inet2.h"
#include "skin/HTMLabel.h"
#include "skin/Image.h"
#include "skin/LumoButton2.h"
#include "skin/Panel.h"
#include "views/AnalyserStart.h"
#include "views/DirectoryListBox.h"
#include "views/DriveComboBoxEx.h"
#include "views/FileFormats.h"
#include "views/FilterRules.h"
#include "views/FormORB.h"
#include "views/FormUNDELETE_Drive.h"
#include "views/GaugeBar.h"
#include "views/SplitterBar.h"
#include "views/StatusText.h"
#include "views/VirtualDrawTree.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>

using analysis::PNode;
using forms_test::Find;
using forms_test::OnNextModal;
using forms_test::WaitFor;
using i18n::Message;
using i18n::Msg;
using views::TForm_ORB;
using views::TForm_UNDELETE_Drive;

namespace {

// M: of most tests is the sample drive of the window tests (WriteSampleDrive).
constexpr uint32_t kFiles = forms_test::kSampleFiles;
constexpr int64_t kBytes = forms_test::kSampleBytes;

class AnalyserWindow : public forms_test::AnalyserWindowTest {
protected:
    void chooseFilter(const QString& text) {
        Find<QComboBox>(window.get(), "ComboBox_ORB_Filter")->setCurrentText(text);
    }
    void typeFilter(const QString& text) {
        Find<QComboBox>(window.get(), "ComboBox_ORB_Filter")->setEditText(text);
        window->ComboBox_ORB_FilterKeyPress(QChar(13));
    }
    QString summary(uint64_t shown, int64_t size) const {
        return views::StatusSummary(Message(Msg::MESSAGEHTML_ORB_STATUS_DONE), shown, kFiles, size,
                                    analysis::UserNumberFormat());
    }
    int visibleNodes() const {
        int n = 0;
        for (PNode p = window->VirtualDrawTree1.GetFirst(); p != PNode::None;
             p = window->VirtualDrawTree1.GetNext(p))
            n += window->VirtualDrawTree1.IsVisible(p) ? 1 : 0;
        return n;
    }
};

TEST_F(AnalyserWindow, CreationShowsNothingDoneYet) {
    TForm_ORB& w = open();
    EXPECT_EQ(w.objectName(), "Form_ORB");
    EXPECT_EQ(w.windowTitle(), "Orbisca");
    EXPECT_EQ(Find<skin::TPanel>(&w, "Panel_Oben")->height(), 58);
    EXPECT_EQ(Find<skin::TPanel>(&w, "Panel_Unten")->height(), 58);
    EXPECT_EQ(Find<skin::TPanel>(&w, "AdvSmoothPanel_InfoBar")->height(), 72);
    EXPECT_EQ(Find<skin::TPanel>(&w, "Panel_Unten")->y() + 58, w.height());
    EXPECT_EQ(Find<skin::TPanel>(&w, "Panel_NothingDoneYet")->size(), QSize(500, 213));
    EXPECT_EQ(Find<skin::TPanel>(&w, "Panel_NothingDoneYet")->x() + 250, w.width() / 2);
    EXPECT_TRUE(Find<skin::TPanel>(&w, "Panel_NothingDoneYet")->isVisible());
    EXPECT_EQ(Find<skin::TImage>(&w, "Image_NothingDoneYet")->Picture().size(), QSize(64, 64));
    EXPECT_EQ(Find<skin::TImage>(&w, "Image_InfoBar")->Picture().size(), QSize(48, 48));
    ASSERT_TRUE(w.Orbisca->PNGImageList);
    EXPECT_EQ(w.Orbisca->PNGImageList->Count(), 15);
    EXPECT_EQ(Find<QComboBox>(&w, "ComboBox_ORB_NameBalken")->width(), 248);
    EXPECT_EQ(Find<QComboBox>(&w, "ComboBox_ORB_Filter")->width(), 179);
    EXPECT_EQ(Find<views::TGaugeBar>(&w, "ProgressBar_Auswertung")->size(), QSize(88, 17));
    EXPECT_EQ(Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->width(), 210);
    EXPECT_EQ(status(), Message(Msg::MESSAGEHTML_ORB_STATUS_WELCOME));
    for (auto* b : {Find<skin::TLumoButton2>(&w, "LumoButton_Files"),
                    Find<skin::TLumoButton2>(&w, "LumoButton_Folders"),
                    Find<skin::TLumoButton2>(&w, "LumoButton_Formats")})
        EXPECT_FALSE(b->isEnabled());
    EXPECT_TRUE(Find<skin::TLumoButton2>(&w, "LumoButton_Analyse")->isEnabled());
    EXPECT_TRUE(Find<QComboBox>(&w, "ComboBox_ORB_NameBalken")->isVisible() &&
                Find<QComboBox>(&w, "ComboBox_ORB_NameBalken")->isEnabled());
    EXPECT_TRUE(Find<QComboBox>(&w, "ComboBox_ORB_Filter")->isVisible() &&
                Find<QComboBox>(&w, "ComboBox_ORB_Filter")->isEnabled());
    EXPECT_FALSE(Find<skin::TPanel>(&w, "Panel_Rechts")->isVisible());
    EXPECT_FALSE(Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->isVisible());
    EXPECT_FALSE(Find<skin::TLumoButton2>(&w, "LumoButton_MainMenu")->isVisible());
    ASSERT_EQ(Find<QComboBox>(&w, "ComboBox_ORB_NameBalken")->count(), 3);
    EXPECT_EQ(Find<QComboBox>(&w, "ComboBox_ORB_NameBalken")->itemText(1),
              Message(Msg::MESSAGE_ORB_BALKEN_ABSOLUT));
    EXPECT_FALSE(Find<QComboBox>(&w, "ComboBox_ORB_NameBalken")->itemIcon(2).isNull());
    const QStringList filterItems = {
        Message(Msg::MESSAGE_ORB_FILTER_ALL),      Message(Msg::MESSAGE_ORB_FILTER_AUDIO),
        Message(Msg::MESSAGE_ORB_FILTER_VIDEO),    Message(Msg::MESSAGE_ORB_FILTER_PICS),
        Message(Msg::MESSAGE_ORB_FILTER_ARCHIVES), Message(Msg::MESSAGE_ORB_FILTER_DOCUMENTS),
        Message(Msg::MESSAGE_ORB_FILTER_APPS)};
    QStringList items;
    for (int i = 0; i < Find<QComboBox>(&w, "ComboBox_ORB_Filter")->count(); ++i)
        items << Find<QComboBox>(&w, "ComboBox_ORB_Filter")->itemText(i);
    EXPECT_EQ(items, filterItems);
    EXPECT_EQ(Find<QComboBox>(&w, "ComboBox_ORB_Filter")->currentIndex(), 0);
    // Before the first analysis the boxes do nothing, and a resize keeps the welcome text.
    Find<QComboBox>(&w, "ComboBox_ORB_Filter")->setCurrentIndex(2);
    EXPECT_TRUE(w.ListState.CURRENT_FILTER.isEmpty());
    w.resize(1200, 700);
    EXPECT_EQ(status(), Message(Msg::MESSAGEHTML_ORB_STATUS_WELCOME));
    // The drive box holds the fixture drive (the program folder's RAM disk is left out).
    ASSERT_EQ(Find<views::TDriveComboBoxEx>(&w, "DriveComboBoxEx1")->count(), 1);
    EXPECT_EQ(Find<views::TDriveComboBoxEx>(&w, "DriveComboBoxEx1")->Drive(), u'M');
}

TEST_F(AnalyserWindow, TranslatableControlsMatchTheList) {
    TForm_ORB& w = open();
    TForm_UNDELETE_Drive picker;
    for (QWidget* form : {static_cast<QWidget*>(&w), static_cast<QWidget*>(&picker)}) {
        QSet<QString> listed;
        for (const i18n::TranslatableComponent& c : i18n::TranslatableComponents()) {
            if (form->objectName() != QLatin1String(c.section))
                continue;
            listed << QLatin1String(c.component);
            QObject* control = form->objectName() == QLatin1String(c.component)
                                   ? form
                                   : form->findChild<QObject*>(QLatin1String(c.component));
            ASSERT_TRUE(control) << c.component;
            EXPECT_EQ(control->property("Tag").toInt(), 1) << c.component;
            EXPECT_EQ(i18n::ComponentClassName(control).isEmpty(), false);
        }
        // Controls of the window itself: a dialog it holds (the options of a window without
        // the program around it) is a window of its own with its own list.
        const auto ownControl = [form](QObject* o) {
            for (QObject* p = o; p && p != form; p = p->parent())
                if (auto* w = qobject_cast<QWidget*>(p); w && w->isWindow())
                    return false;
            return true;
        };
        for (QObject* o : form->findChildren<QObject*>()) {
            if (ownControl(o) && o->property("Tag").toInt() != 0) {
                EXPECT_TRUE(listed.contains(o->objectName())) << o->objectName().toStdString();
            }
        }
    }
    EXPECT_EQ(Find<skin::TLumoButton2>(&w, "LumoButton_Analyse")->Caption(), "Neue Analyse");
    EXPECT_EQ(list().ColumnCaption(4), QString::fromUtf8("Größe % "));
}

TEST_F(AnalyserWindow, EnglishTranslationReachesControlsColumnsAndMessages) {
    i18n::LOAD_INTERNAL_ONLY(QStringLiteral("R:\\translation"), QStringLiteral("orb2024_en-us"));
    TForm_ORB& w = openAndAnalyse();
    EXPECT_EQ(Find<skin::TLumoButton2>(&w, "LumoButton_Analyse")->Caption(), "New analysis");
    EXPECT_EQ(list().ColumnCaption(1), "Folders");
    EXPECT_EQ(Find<QComboBox>(&w, "ComboBox_ORB_Filter")->itemText(0), "All files");
    EXPECT_TRUE(status().startsWith("The current filter covers 11 of the 11 objects"))
        << status().toStdString();
}

TEST_F(AnalyserWindow, OneDriveAnalysesAtOnceIntoTheStructureView) {
    bool pickerShown = false;
    OnNextModal<TForm_UNDELETE_Drive>([&](TForm_UNDELETE_Drive* d) {
        pickerShown = true;
        d->LumoButton_AbortClick();
    });
    TForm_ORB& w = openAndAnalyse();
    EXPECT_FALSE(pickerShown);
    EXPECT_EQ(w.Orbisca->Analysed_Drive(), "M:\\");
    EXPECT_EQ(w.Orbisca->TotalFiles(), kFiles);
    EXPECT_EQ(w.Orbisca->TotalSize(), kBytes);
    EXPECT_TRUE(Find<skin::TPanel>(&w, "Panel_Rechts")->isVisible());
    EXPECT_TRUE(Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->isVisible());
    EXPECT_TRUE(Find<views::TSplitterBar>(&w, "AdvSplitter1")->isVisible());
    EXPECT_FALSE(Find<skin::TPanel>(&w, "Panel_NothingDoneYet")->isVisible());
    EXPECT_FALSE(Find<views::TGaugeBar>(&w, "ProgressBar1")->isVisible());
    EXPECT_FALSE(Find<skin::TLumoButton2>(&w, "LumoButton_Folders")->isEnabled());
    EXPECT_TRUE(Find<skin::TLumoButton2>(&w, "LumoButton_Files")->isEnabled() &&
                Find<skin::TLumoButton2>(&w, "LumoButton_Formats")->isEnabled());
    EXPECT_EQ(Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->Directory(), "M:\\");
    EXPECT_EQ(w.ListState.Current_RootNode, w.VirtualDrawTree1.GetFirst());
    // The root's children, biggest first.
    EXPECT_EQ(rows(), QStringList({"M:\\video", "M:\\music", "M:\\pic.JPG", "M:\\docs",
                                   "M:\\arch.tar.gz", "M:\\noext", "M:\\.profile"}));
    EXPECT_EQ(status(), summary(kFiles, kBytes));
    EXPECT_EQ(host.switches, QList<bool>({false, true}));
    EXPECT_EQ(host.fronts, 1);
    EXPECT_TRUE(host.warnings.isEmpty());
    EXPECT_TRUE(w.LastVerdict().IsComplete());
    // The directory box navigates the structure view.
    Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->SetDirectory("M:\\music");
    EXPECT_EQ(rows(), QStringList({"M:\\music\\s.mp3", "M:\\music\\t.Ogg", "M:\\music\\deep"}));
    // A folder the analysis does not know shows an empty list.
    QDir().mkpath(QString::fromStdString(m_) + "/later");
    Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->SetDirectory("M:\\later");
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_EQ(w.ListState.Current_RootNode, PNode::None);
}

TEST_F(AnalyserWindow, TwoDrivesAskThePickerFirst) {
    const std::string n = MapDrive(u'N');
    WriteFile(n, "only.bin", 123);
    TForm_ORB& w = open();
    ASSERT_EQ(Find<views::TDriveComboBoxEx>(&w, "DriveComboBoxEx1")->count(), 2);

    // Preselected on the current drive; choosing N: and OK analyses N:.
    QChar preselected;
    OnNextModal<TForm_UNDELETE_Drive>([&](TForm_UNDELETE_Drive* d) {
        preselected = d->DriveComboBoxEx1->Drive();
        EXPECT_EQ(d->HTMLabel_SelectDrive->HTMLText(), Message(Msg::MESSAGEHTML_ORB_SELECTDRIVE));
        d->DriveComboBoxEx1->SetDrive(u'N');
        Find<skin::TLumoButton2>(d, "LumoButton_Ok")->Click();
    });
    Find<skin::TLumoButton2>(&w, "LumoButton_Analyse")->Click();
    EXPECT_EQ(preselected, u'M');
    EXPECT_EQ(w.Orbisca->Analysed_Drive(), "N:\\");
    EXPECT_EQ(Find<views::TDriveComboBoxEx>(&w, "DriveComboBoxEx1")->Drive(), u'N');
    EXPECT_EQ(rows(), QStringList({"N:\\only.bin"}));
    const QString before = status();

    // Cancel, and the close box, leave the earlier result alone.
    OnNextModal<TForm_UNDELETE_Drive>([](TForm_UNDELETE_Drive* d) {
        d->DriveComboBoxEx1->SetDrive(u'M');
        Find<skin::TLumoButton2>(d, "LumoButton_Abort")->Click();
    });
    Find<skin::TLumoButton2>(&w, "LumoButton_Analyse")->Click();
    OnNextModal<TForm_UNDELETE_Drive>([](TForm_UNDELETE_Drive* d) {
        d->DriveComboBoxEx1->SetDrive(u'M');
        d->close();
    });
    Find<skin::TLumoButton2>(&w, "LumoButton_Analyse")->Click();
    EXPECT_EQ(w.Orbisca->Analysed_Drive(), "N:\\");
    EXPECT_EQ(rows(), QStringList({"N:\\only.bin"}));
    EXPECT_EQ(status(), before);
    EXPECT_EQ(host.switches.size(), 2); // one analysis only
}

TEST_F(AnalyserWindow, UnofferedDrivesAndADriveWithoutMedium) {
    MapDrive(u'A');                                         // A: is never offered
    platform::SetDriveRoot(u'X', "/nonexistent/orbisca/x"); // no medium
    TForm_ORB& w = open();
    ASSERT_EQ(Find<views::TDriveComboBoxEx>(&w, "DriveComboBoxEx1")->count(), 1);
    EXPECT_EQ(Find<views::TDriveComboBoxEx>(&w, "DriveComboBoxEx1")->Drive(), u'M');

    // The medium goes away before the analysis: a warning, and nothing else changes.
    platform::SetDriveRoot(u'M', "/nonexistent/orbisca/m");
    Find<skin::TLumoButton2>(&w, "LumoButton_Analyse")->Click();
    EXPECT_EQ(host.warnings, QStringList({Message(Msg::MESSAGE_ORB_NO_MEDIA_IN_DRIVE)}));
    EXPECT_TRUE(Find<skin::TPanel>(&w, "Panel_NothingDoneYet")->isVisible());
    EXPECT_EQ(status(), Message(Msg::MESSAGEHTML_ORB_STATUS_WELCOME));
    EXPECT_TRUE(host.switches.isEmpty());
}

TEST_F(AnalyserWindow, StartUpTimerFollowsTheCommandLine) {
    const std::string n = MapDrive(u'N');
    WriteFile(n, "only.bin", 123);
    struct Case {
        QStringList args;
        bool picker;
        QChar preselected;
    };
    const Case cases[] = {
        {{}, true, u'M'},
        {{"-CONTEXTDL", "n:\\Fotos"}, true, u'N'},
        {{"-NOVERSION"}, false, {}},
        // A letter the analyser does not offer: named in a warning; no analysis of another drive.
        {{"-CONTEXTDL", "Q:\\Fotos"}, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        platform::SetProgramArguments(c.args);
        host.internetMenus = 0;
        host.warnings.clear();
        QChar preselected;
        bool shown = false;
        QElapsedTimer clock;
        qint64 after = 0;
        OnNextModal<TForm_UNDELETE_Drive>([&](TForm_UNDELETE_Drive* d) {
            shown = true;
            after = clock.elapsed();
            preselected = d->DriveComboBoxEx1->Drive();
            Find<skin::TLumoButton2>(d, "LumoButton_Ok")->Click();
        });
        clock.start();
        open();
        if (c.picker) {
            ASSERT_TRUE(WaitFor([&] { return window->Orbisca->Analysed_Drive().size() == 3; }));
            EXPECT_TRUE(shown);
            // The thread timer ticks every 200 ms from its creation; the first tick after the
            // show comes at its next wake-up. The bound is wide for loaded and sanitizer runs: it
            // tells "soon after the show" from "at some later event".
            EXPECT_LE(after, 5000);
            EXPECT_EQ(preselected, c.preselected);
            EXPECT_EQ(window->Orbisca->Analysed_Drive(), QString(c.preselected) + ":\\");
        } else {
            forms_test::Idle(600);
            EXPECT_FALSE(shown);
            EXPECT_TRUE(Find<skin::TPanel>(window.get(), "Panel_NothingDoneYet")->isVisible());
        }
        EXPECT_EQ(host.internetMenus, 1);
        const bool unoffered = c.args.size() == 2 && c.args[1].startsWith(u'Q');
        EXPECT_EQ(host.warnings,
                  unoffered ? QStringList{QString(Message(Msg::MESSAGE_ORB_DRIVE_NOT_OFFERED))
                                              .replace(QStringLiteral("%1"), QStringLiteral("Q:"))}
                            : QStringList());
        window.reset();
        forms_test::StopModalWatchers(); // the watch for a picker that never came
    }
}

TEST_F(AnalyserWindow, StructureViewWithAFilterListsTheWholeSubtree) {
    TForm_ORB& w = openAndAnalyse();
    chooseFilter(Message(Msg::MESSAGE_ORB_FILTER_AUDIO));
    EXPECT_EQ(w.ListState.CURRENT_FILTER,
              "MP3\r\nOGG\r\nWAV\r\nMID\r\nWMA\r\nFLAC\r\nM4A\r\nAAC\r\n"
              "OPUS\r\nAIFF\r\nAPE\r\n");
    EXPECT_EQ(w.ListState.ShownTotal(), 770);
    EXPECT_EQ(rows(),
              QStringList({"M:\\music\\s.mp3", "M:\\music\\t.Ogg", "M:\\music\\deep\\z.mp3"}));
    EXPECT_EQ(status(), summary(3, 770));
    EXPECT_FALSE(Find<views::TGaugeBar>(&w, "ProgressBar_Auswertung")->isVisible());
    // In a subfolder: its matching files only.
    Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->SetDirectory("M:\\music\\deep");
    EXPECT_EQ(rows(), QStringList({"M:\\music\\deep\\z.mp3"}));
    EXPECT_EQ(status(), summary(1, 770));
    // The group that is active already changes nothing; all files undo the filter.
    const uint64_t changes = w.VirtualDrawTree1.ChangeCount();
    chooseFilter(Message(Msg::MESSAGE_ORB_FILTER_ALL));
    chooseFilter(Message(Msg::MESSAGE_ORB_FILTER_AUDIO));
    chooseFilter(Message(Msg::MESSAGE_ORB_FILTER_AUDIO));
    EXPECT_EQ(w.VirtualDrawTree1.ChangeCount(), changes + 2);
    chooseFilter(Message(Msg::MESSAGE_ORB_FILTER_ALL));
    EXPECT_TRUE(w.ListState.CURRENT_FILTER.isEmpty());
    EXPECT_EQ(rows(), QStringList({"M:\\music\\deep\\z.mp3"}));
    EXPECT_EQ(status(), summary(kFiles, kBytes));
}

TEST_F(AnalyserWindow, FilesViewListsAllFilesAndResetsAStaleFilter) {
    TForm_ORB& w = openAndAnalyse();
    chooseFilter(Message(Msg::MESSAGE_ORB_FILTER_VIDEO));
    ASSERT_EQ(rows().size(), 2);
    Find<skin::TLumoButton2>(&w, "LumoButton_Files")->Click();
    EXPECT_FALSE(Find<skin::TLumoButton2>(&w, "LumoButton_Files")->isEnabled());
    EXPECT_FALSE(Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->isVisible());
    EXPECT_FALSE(Find<QComboBox>(&w, "ComboBox_ORB_NameBalken")->isVisible());
    EXPECT_TRUE(Find<QComboBox>(&w, "ComboBox_ORB_Filter")->isVisible());
    EXPECT_FALSE(list().IsColumnVisible(1) || list().IsColumnVisible(2) ||
                 list().IsColumnVisible(5));
    EXPECT_TRUE(w.ListState.FLAG_SHOW_FULLPATH);
    ASSERT_EQ(rows().size(), int(kFiles));
    EXPECT_EQ(rows().front(), "M:\\video\\b.MKV");
    EXPECT_EQ(rows().back(), "M:\\.profile");
    // Box, filter state and marks agree: all files.
    EXPECT_EQ(Find<QComboBox>(&w, "ComboBox_ORB_Filter")->currentIndex(), 0);
    EXPECT_TRUE(w.ListState.CURRENT_FILTER.isEmpty());
    EXPECT_EQ(visibleNodes(), int(w.VirtualDrawTree1.NodeCount()));
    EXPECT_EQ(status(), summary(kFiles, kBytes));
    // So the group that was active before now applies.
    chooseFilter(Message(Msg::MESSAGE_ORB_FILTER_VIDEO));
    EXPECT_EQ(rows(), QStringList({"M:\\video\\b.MKV", "M:\\video\\a.mp4"}));
    EXPECT_EQ(status(), summary(2, 4000));
    // Back to all files in the files view: every file again.
    chooseFilter(Message(Msg::MESSAGE_ORB_FILTER_ALL));
    EXPECT_EQ(rows().size(), int(kFiles));
    // A typed text in the box is replaced when the view is entered again.
    Find<skin::TLumoButton2>(&w, "LumoButton_Folders")->Click();
    Find<QComboBox>(&w, "ComboBox_ORB_Filter")->setEditText("zzz");
    Find<skin::TLumoButton2>(&w, "LumoButton_Files")->Click();
    EXPECT_EQ(Find<QComboBox>(&w, "ComboBox_ORB_Filter")->currentText(),
              Message(Msg::MESSAGE_ORB_FILTER_ALL));
}

TEST_F(AnalyserWindow, FormatsViewSumsTheGroups) {
    TForm_ORB& w = open();
    Find<skin::TLumoButton2>(&w, "LumoButton_Analyse")->Click();
    // From the files view, which hid the file counts.
    Find<skin::TLumoButton2>(&w, "LumoButton_Files")->Click();
    chooseFilter(Message(Msg::MESSAGE_ORB_FILTER_AUDIO));
    settings::FormatGroups& groups = settings::ProgramFormatGroups();
    groups.ShowOwnGroup = true;
    groups.OwnGroupName = "Mine";
    groups.SetList(settings::FormatGroupId::Own, "profile ; DOC");
    Find<skin::TLumoButton2>(&w, "LumoButton_Formats")->Click();
    EXPECT_FALSE(Find<skin::TLumoButton2>(&w, "LumoButton_Formats")->isEnabled());
    EXPECT_FALSE(Find<QComboBox>(&w, "ComboBox_ORB_Filter")->isVisible());
    EXPECT_FALSE(Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->isVisible());
    EXPECT_TRUE(list().IsColumnVisible(2));
    EXPECT_FALSE(list().IsColumnVisible(1) || list().IsColumnVisible(5));
    struct Row {
        QString path;
        uint32_t files;
        int64_t size;
        int32_t picture;
    };
    std::vector<Row> got;
    for (int i = 0; i < list().VisibleRowCount(); ++i) {
        const analysis::TNodeData d = list().RowData(list().VisibleRow(i));
        got.push_back({d.Path, d.FileCount, d.Size, d.ImageIndex});
    }
    ASSERT_EQ(got.size(), 7u);
    // Biggest first; empty groups too; the own group takes what the others leave.
    EXPECT_EQ(got[0].path, Message(Msg::MESSAGE_ORB_FILTER_VIDEO));
    EXPECT_EQ(got[0].files, 2u);
    EXPECT_EQ(got[0].size, 4000);
    EXPECT_EQ(got[0].picture, 8);
    EXPECT_EQ(got[1].path, Message(Msg::MESSAGE_ORB_FILTER_AUDIO));
    EXPECT_EQ(got[1].size, 770);
    EXPECT_EQ(got[2].path, Message(Msg::MESSAGE_ORB_FILTER_PICS));
    // Text files and tarballs have groups of their own (r.txt and x.doc, arch.tar.gz); DOC of
    // the own group is the documents' already.
    EXPECT_EQ(got[3].path, Message(Msg::MESSAGE_ORB_FILTER_DOCUMENTS));
    EXPECT_EQ(got[3].files, 2u);
    EXPECT_EQ(got[3].size, 140);
    EXPECT_EQ(got[4].path, Message(Msg::MESSAGE_ORB_FILTER_ARCHIVES));
    EXPECT_EQ(got[4].size, 60);
    EXPECT_EQ(got[5].path, "Mine");
    EXPECT_EQ(got[5].files, 1u);
    EXPECT_EQ(got[5].size, 5);
    EXPECT_EQ(got[5].picture, 14);
    EXPECT_EQ(got[6].size, 0);
    // A group still chosen in the hidden box: N is the group rows, S the grand total.
    EXPECT_EQ(w.ListState.ShownTotal(), 4000 + 770 + 300 + 140 + 60 + 5);
    EXPECT_EQ(status(), summary(7, 5275));
    // Back in the structure view the filter's own total counts again.
    Find<skin::TLumoButton2>(&w, "LumoButton_Folders")->Click();
    EXPECT_EQ(w.ListState.ShownTotal(), 770);
    EXPECT_EQ(status(), summary(3, 770));
}

TEST_F(AnalyserWindow, TypedFilters) {
    TForm_ORB& w = openAndAnalyse();
    struct Case {
        QString typed;
        QStringList rows;
    };
    const Case cases[] = {
        {"*.mp3", {"M:\\music\\s.mp3", "M:\\music\\deep\\z.mp3"}},
        {"mp3;ogg", {}},     // one extension, which never matches
        {"", {"M:\\noext"}}, // files without an extension
        {"PROFILE", {"M:\\.profile"}},
        {"gz", {"M:\\arch.tar.gz"}},
    };
    for (const Case& c : cases) {
        typeFilter(c.typed);
        EXPECT_EQ(rows(), c.rows) << c.typed.toStdString();
    }
    // Text that is typed without Enter applies nothing: each Enter applies one filter.
    Find<QComboBox>(&w, "ComboBox_ORB_Filter")->setEditText("jpg");
    EXPECT_EQ(rows(), QStringList({"M:\\arch.tar.gz"}));
    // Enter in the real box reaches the same handling.
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QApplication::sendEvent(Find<QComboBox>(&w, "ComboBox_ORB_Filter")->lineEdit(), &enter);
    EXPECT_EQ(rows(), QStringList({"M:\\pic.JPG"}));
    EXPECT_EQ(Find<QComboBox>(&w, "ComboBox_ORB_Filter")->count(), 7); // no item added by Enter
}

TEST_F(AnalyserWindow, SecondAnalysisClearsTheFilter) {
    TForm_ORB& w = openAndAnalyse();
    chooseFilter(Message(Msg::MESSAGE_ORB_FILTER_PICS));
    ASSERT_EQ(rows(), QStringList({"M:\\pic.JPG"}));
    WriteFile(m_, "new.mp3", 1);
    Find<skin::TLumoButton2>(&w, "LumoButton_Analyse")->Click();
    EXPECT_EQ(Find<QComboBox>(&w, "ComboBox_ORB_Filter")->currentIndex(), 0);
    EXPECT_TRUE(w.ListState.CURRENT_FILTER.isEmpty());
    EXPECT_EQ(w.ListState.ShownTotal(), 0);
    EXPECT_EQ(visibleNodes(), int(w.VirtualDrawTree1.NodeCount()));
    EXPECT_EQ(w.Orbisca->TotalFiles(), kFiles + 1);
    EXPECT_EQ(rows().size(), 8);
}

// The scanning state half-way through a scan, which is then stopped as a close request of the
// main window stops it: the command completes, and the result says that it is incomplete.
TEST_F(AnalyserWindow, StoppedScanIsShownAsIncomplete) {
    for (int i = 0; i < 3000; ++i)
        WriteFile(m_, QStringLiteral("many/f%1").arg(i), 1);
    TForm_ORB& w = open();
    // What the user sees half-way through the scan, taken where the scan is stopped.
    struct MidScan {
        TForm_ORB* window;
        const QList<bool>* hostSwitches;
        int points = 0;
        bool taken = false;
        QString status;
        bool listShown = true, directoryShown = true, progressShown = false, analyseEnabled = true;
        bool viewsEnabled = true, boxesEnabled = true, nothingDoneYetShown = true;
        QList<bool> switches;
    } mid{&w, &host.switches};
    platform::SetPumpObserver(
        [](void* context) {
            auto* m = static_cast<MidScan*>(context);
            if (++m->points != 500)
                return;
            TForm_ORB& w = *m->window;
            m->taken = true;
            m->status = Find<skin::THTMLabel>(&w, "HTMLabel_Status")->HTMLText();
            m->listShown = Find<skin::TPanel>(&w, "Panel_Rechts")->isVisible();
            m->directoryShown =
                Find<views::TDirectoryListBox>(&w, "JvDirectoryListBox1")->isVisible();
            m->progressShown = Find<views::TGaugeBar>(&w, "ProgressBar1")->isVisible();
            m->analyseEnabled = Find<skin::TLumoButton2>(&w, "LumoButton_Analyse")->isEnabled();
            m->viewsEnabled = Find<skin::TLumoButton2>(&w, "LumoButton_Files")->isEnabled() ||
                              Find<skin::TLumoButton2>(&w, "LumoButton_Folders")->isEnabled() ||
                              Find<skin::TLumoButton2>(&w, "LumoButton_Formats")->isEnabled();
            m->boxesEnabled = Find<QComboBox>(&w, "ComboBox_ORB_Filter")->isEnabled() ||
                              Find<QComboBox>(&w, "ComboBox_ORB_NameBalken")->isEnabled();
            m->nothingDoneYetShown = Find<skin::TPanel>(&w, "Panel_NothingDoneYet")->isVisible();
            m->switches = *m->hostSwitches;
            w.Orbisca->RequestStop();
        },
        &mid);
    Find<skin::TLumoButton2>(&w, "LumoButton_Analyse")->Click();
    platform::SetPumpObserver(nullptr, nullptr);
    ASSERT_TRUE(mid.taken);
    EXPECT_TRUE(mid.status.contains(Message(Msg::MESSAGEHTML_ORB_STATUS_SCANNING) + "<br> <br> "));
    EXPECT_FALSE(mid.listShown || mid.directoryShown || mid.nothingDoneYetShown);
    EXPECT_TRUE(mid.progressShown);
    EXPECT_FALSE(mid.analyseEnabled || mid.viewsEnabled || mid.boxesEnabled);
    EXPECT_EQ(mid.switches, QList<bool>({false}));
    EXPECT_TRUE(w.LastVerdict().Stopped);
    EXPECT_TRUE(Find<skin::TPanel>(&w, "Panel_Rechts")->isVisible());
    EXPECT_FALSE(Find<skin::TLumoButton2>(&w, "LumoButton_Folders")->isEnabled());
    EXPECT_TRUE(status().contains(Message(Msg::MESSAGE_ORB_INCOMPLETE_STOPPED)));
    EXPECT_FALSE(status().contains("%4"));
    ASSERT_EQ(host.warnings.size(), 1);
    EXPECT_TRUE(host.warnings[0].contains(Message(Msg::MESSAGE_ORB_INCOMPLETE_STOPPED)));
    // The note stays with every later summary, and a complete analysis clears it.
    chooseFilter(Message(Msg::MESSAGE_ORB_FILTER_AUDIO));
    EXPECT_TRUE(status().contains(Message(Msg::MESSAGE_ORB_INCOMPLETE_STOPPED)));
    Find<skin::TLumoButton2>(&w, "LumoButton_Analyse")->Click();
    EXPECT_TRUE(w.LastVerdict().IsComplete());
    EXPECT_EQ(host.warnings.size(), 1);
    EXPECT_EQ(w.Orbisca->TotalFiles(), kFiles + 3000);
    chooseFilter(Message(Msg::MESSAGE_ORB_FILTER_ALL));
    EXPECT_EQ(status(),
              views::StatusSummary(Message(Msg::MESSAGEHTML_ORB_STATUS_DONE), kFiles + 3000,
                                   kFiles + 3000, kBytes + 3000, analysis::UserNumberFormat()));
}

// The engine's verdict on the scan reaches the status line and one warning, whatever made the
// result incomplete.
TEST_F(AnalyserWindow, IncompleteScansAreShownAsIncomplete) {
    void (*load)(const char*) = UseTestService();
    ASSERT_TRUE(load);
    struct Case {
        const char* fixture;
        Msg sentence;
        const char* detail;
    };
    const Case cases[] = {
        {"ROOT\n  F a.txt size=10\n  D secret flags=unreadable\n    F hidden size=5\n",
         Msg::MESSAGE_ORB_INCOMPLETE_UNREADABLE, "M:\\secret"},
        {"@result 0\nROOT\n  F a.txt size=10\n", Msg::MESSAGE_ORB_INCOMPLETE_CUTSHORT, ""},
        {"ROOT\n  F a.txt size=10\n", Msg::MESSAGE_OK, ""}, // complete: nothing said
    };
    TForm_ORB& w = open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        host.warnings.clear();
        load(c.fixture);
        Find<skin::TLumoButton2>(&w, "LumoButton_Analyse")->Click();
        if (c.sentence == Msg::MESSAGE_OK) {
            EXPECT_TRUE(w.LastVerdict().IsComplete());
            EXPECT_TRUE(host.warnings.isEmpty());
            EXPECT_TRUE(status().startsWith(Message(Msg::MESSAGEHTML_ORB_STATUS_DONE).left(20)));
            continue;
        }
        const QString sentence =
            Message(c.sentence)
                .left(Message(c.sentence).indexOf(u'%') < 0 ? Message(c.sentence).size()
                                                            : Message(c.sentence).indexOf(u'%'));
        EXPECT_FALSE(w.LastVerdict().IsComplete());
        EXPECT_TRUE(status().contains(sentence)) << status().toStdString();
        EXPECT_TRUE(status().contains(QString::fromUtf8(c.detail))) << status().toStdString();
        ASSERT_EQ(host.warnings.size(), 1);
        EXPECT_TRUE(host.warnings[0].contains(sentence));
    }
}

TEST_F(AnalyserWindow, UnreadableFoldersAreNamedInStatusAndWarning) {
    TForm_ORB& w = openAndAnalyse();
    analysis::TScanVerdict v;
    v.UnreadableFolders = 2;
    v.UnreadableSamples = {"M:\\secret <b>"};
    w.ReportVerdict(v);
    EXPECT_TRUE(status().contains(QStringLiteral("M:\\secret &lt;b&gt;")))
        << status().toStdString();
    EXPECT_TRUE(status().contains(QStringLiteral(" 11 ")));
    ASSERT_EQ(host.warnings.size(), 1);
    EXPECT_TRUE(host.warnings[0].contains(QStringLiteral("M:\\secret &lt;b&gt;")));
}

TEST_F(AnalyserWindow, NameBarOptionsAndClosing) {
    TForm_ORB& w = openAndAnalyse();
    Find<QComboBox>(&w, "ComboBox_ORB_NameBalken")->setCurrentIndex(2);
    EXPECT_EQ(w.ListState.FLAG_NAMEBALKEN, 2);
    Find<skin::TLumoButton2>(&w, "LumoButton_Files")->Click();
    EXPECT_EQ(w.ListState.FLAG_NAMEBALKEN, 0);
    Find<skin::TLumoButton2>(&w, "LumoButton_Folders")->Click();
    EXPECT_EQ(w.ListState.FLAG_NAMEBALKEN, 2);

    // The options button goes through the main window, which calls back after the dialog.
    settings::FormatGroups& groups = settings::ProgramFormatGroups();
    groups.ShowOwnGroup = true;
    groups.OwnGroupName = "Mine";
    groups.SetList(settings::FormatGroupId::Own, "txt");
    Find<skin::TLumoButton2>(&w, "LumoButton_Options")->Click();
    EXPECT_EQ(host.optionsClicks, 1);
    ASSERT_EQ(Find<QComboBox>(&w, "ComboBox_ORB_Filter")->count(), 8);
    chooseFilter("Mine");
    EXPECT_EQ(rows(), QStringList({"M:\\docs\\r.txt"}));

    // The name column takes the width the other columns leave.
    w.resize(1300, 700);
    int others = 0;
    for (int c = 1; c < 6; ++c)
        others += list().IsColumnVisible(c) ? list().ColumnWidth(c) : 0;
    EXPECT_NEAR(list().ColumnWidth(0), list().width() - 28 - others, 1);

    w.close();
    EXPECT_EQ(w.Orbisca, nullptr);
    EXPECT_EQ(list().TotalRowCount(), 0u);
    Find<skin::TLumoButton2>(&w, "LumoButton_Analyse")->Click(); // nothing left to do
    Find<skin::TLumoButton2>(&w, "LumoButton_Files")->Click();
    SUCCEED();
}

} // namespace
