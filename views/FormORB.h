#pragma once

// The analyser window: the module the main window hosts. It owns the engine with the hidden
// analysis tree and shows the result in one list beside a directory box, in three views
// (structure, files, formats), with an extension filter and a status summary. Its analyse
// command lets the user pick a drive, scans it with progress and shows the structure view.
//
// Creation does the set-up work, the first show prunes the drive list and starts the start-up
// timer, closing frees the engine. The window talks to the main window only through the
// skin::TMainHost it is created with, and works without one (a plain test window).

#include "analysis/AnalysisTree.h"
#include "analysis/ScanVerdict.h"
#include "settings/FormatGroups.h"
#include "skin/PngImage.h"
#include "views/ListState.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class QAction;
class QCheckBox;
class QSplitter;
class QKeyEvent;
class QComboBox;
class QLabel;
class QMenu;
class TLumoThreadTimer;

namespace analysis {
class TOrbisca;
}
namespace skin {
class TMainHost;
class THTMLabel;
class TImage;
class TLumoButton2;
class TPanel;
} // namespace skin
namespace platform {
struct ListedItem;
struct TrashResult;
} // namespace platform

namespace views {

class TDirectoryListBox;
class TDriveComboBoxEx;
class TGaugeBar;
class TSplitterBar;
class TTreemapView;
class TVirtualDrawTree;
struct TItemMenuState;
struct TTrashFailure;

class TForm_ORB : public QWidget {
    Q_OBJECT
public:
    // host: the main window the analyser runs in (the module registry hands it over); a window
    // without one (a test, a benchmark) shows no warnings of the host and switches no modules.
    explicit TForm_ORB(QWidget* parent = nullptr, skin::TMainHost* host = nullptr);
    ~TForm_ORB() override;

    // The options dialog reported a change: lay out and summarise again.
    void OnOptionsChanged();

    // ---- state the tests and benchmarks read ----
    // What the list shows and how (the view, the current folder, the filter and its total, the
    // bars, whole paths); the list's painter reads it.
    TListState ListState;
    // The hidden analysis tree and the engine bound to it (none once the window has closed).
    analysis::TAnalysisTree VirtualDrawTree1;
    std::unique_ptr<analysis::TOrbisca> Orbisca;

    // ---- handlers that callers use directly ----
    void ComboBox_ORB_FilterKeyPress(QChar key);
    // The list's context menu and double-click: open and delete the selected items, descend into
    // a folder.
    void PopUp_OpenFileClick();
    void PopUp_DeleteClick();
    // Deletes the selected items for good (no trash), after a question of its own.
    void PopUp_DeletePermanentlyClick();
    void VirtualDrawTree_ORB_QO16DblClick();

    // What the last analysis could vouch for, as the status line and the warning use it.
    const analysis::TScanVerdict& LastVerdict() const { return verdict_; }
    // Shows an incomplete result as incomplete: the status line says so from now on, and the
    // main window warns once.
    void ReportVerdict(const analysis::TScanVerdict& verdict);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ---- controls ----
    skin::TPanel* Panel_Oben = nullptr;
    skin::TLumoButton2* LumoButton_Files = nullptr;
    skin::TLumoButton2* LumoButton_Folders = nullptr;
    skin::TLumoButton2* LumoButton_Formats = nullptr;
    QLabel* Label_ORB_NameBalkenDESC = nullptr;
    QComboBox* ComboBox_ORB_NameBalken = nullptr;
    QLabel* Label_ORB_FilterDESC = nullptr;
    QComboBox* ComboBox_ORB_Filter = nullptr;
    TGaugeBar* ProgressBar_Auswertung = nullptr;
    TDirectoryListBox* JvDirectoryListBox1 = nullptr;
    TSplitterBar* AdvSplitter1 = nullptr;
    skin::TPanel* Panel_Rechts = nullptr;
    QCheckBox* CheckBox_ORB_Map = nullptr;
    QSplitter* Splitter_ORB_Map = nullptr;
    TVirtualDrawTree* VirtualDrawTree_ORB_QO16 = nullptr;
    TTreemapView* TreemapView_ORB = nullptr;
    skin::TPanel* Panel_NothingDoneYet = nullptr;
    skin::THTMLabel* HTMLabel_NothingDoneYet_QO15 = nullptr;
    skin::TImage* Image_NothingDoneYet = nullptr;
    skin::TPanel* AdvSmoothPanel_InfoBar = nullptr;
    skin::TImage* Image_InfoBar = nullptr;
    skin::THTMLabel* HTMLabel_Status = nullptr;
    TGaugeBar* ProgressBar1 = nullptr;
    skin::TPanel* Panel_Unten = nullptr;
    skin::TLumoButton2* LumoButton_MainMenu = nullptr;
    skin::TLumoButton2* LumoButton_Options = nullptr;
    skin::TLumoButton2* LumoButton_Analyse = nullptr;
    skin::TLumoButton2* LumoButton_Saved = nullptr;
    QMenu* PopupMenu_Saved = nullptr;
    TDriveComboBoxEx* DriveComboBoxEx1 = nullptr;
    skin::TImage* SizeGripCopy = nullptr;
    skin::TPngImageList PngImageList_16{16, 16};
    TLumoThreadTimer* LumoThreadTimer_ContextCheck = nullptr;
    QMenu* AdvPopupMenu_ORB = nullptr;
    QAction* PopUp_OpenFile = nullptr;
    QAction* PopUp_ShowFolder = nullptr;
    QAction* PopUp_OpenFolder = nullptr;
    QAction* PopUp_Delete = nullptr;
    QAction* PopUp_DeletePermanently = nullptr;

    // ---- handlers ----
    void FormResize();
    void AdvGlowButton_OptionsClick();
    void AdvToolBarButton_AnalyseClick();
    void LumoThreadTimer_ContextCheckTimer();
    void AdvGlowButton_FoldersClick();
    void AdvGlowButton_FilesClick();
    void AdvGlowButton_FormatsClick();
    void JvDirectoryListBox1Change();
    void ComboBox_ORB_NameBalkenChange();
    // returnPressed: Enter in the box, which applies a typed filter.
    void ComboBox_ORB_FilterChange(bool returnPressed = false);
    void Auswertung(const QStringList& Filter);
    void CopyChildrenToList(TVirtualDrawTree* List, analysis::PNode Node, bool Flatten);
    void AdvPopupMenu_ORBPopup();
    void PopUp_ShowFolderClick();
    void PopUp_OpenFolderClick();
    // Writes the status line: the summary, or the filtering text while a filter runs.
    void RefreshStatusLine();

    void setupUi();
    void connectSignals();
    void fillImageList();
    void fillNameBarBox();
    void fillFilterBox();
    void alignControls();
    void alignTopBar();
    void alignBottomBar();
    void alignInfoBar();
    void centreNothingDoneYet();
    void setViewControls(bool nameBar, bool filter, bool directory);
    void setCommandsEnabled(bool enabled);
    void releaseEngine();
    // The extension lists of the program's format groups, parsed, indexed by GroupIndex.
    std::array<QStringList, settings::kFormatGroupCount> formatLists();
    void pump(bool force = true);
    void setStatus(const QString& html);

    void updateCommands();
    // Runs one long step of the window (an analysis, a filter, the formats, a delete): the window
    // counts as busy and its commands are disabled while the step runs and pumps the event loop;
    // a close of the window meanwhile is carried out once the step has ended. False when the
    // window was closed that way: the engine is gone and the caller does nothing more.
    bool runLongStep(const std::function<void()>& step);
    // The analyse command's three parts: the drive (the picker when there is a choice, and a
    // warning for a drive without media), the scan, and the result shown.
    std::optional<QChar> pickDrive();
    // False, after the warning, for a drive without a medium to analyse.
    bool checkMedium(QChar letter);
    analysis::TScanVerdict scanDrive(QChar letter);
    void showAnalysis(const analysis::TScanVerdict& verdict);
    void selectAllFilesSilently();
    void listAllFiles();
    void warnIfIncomplete();
    // The record of the first selected row in list order, when a row is selected.
    std::optional<analysis::TNodeData> firstSelected() const;
    // What the context menu offers for the selection now (nothing while a long run is under way).
    TItemMenuState menuState() const;
    // Hands the first selected row's item to the desktop: opens it, or shows it in its folder,
    // once it is certain to be the item analysed.
    void openInShell(bool reveal);
    // False, after saying so, when the program knows no user to act for.
    bool desktopUserKnown();
    // Runs work on a helper thread (it touches no widget) while this one keeps the window
    // painted, with the wait cursor.
    template <typename Work> auto offThread(Work work);
    // What a delete did besides removing items: the items that stayed (with their reasons) and
    // those that went to the administrator's trash (with that trash folder as reason).
    struct TTrashOutcome {
        std::vector<TTrashFailure> Stayed;
        std::vector<TTrashFailure> ToAdministrator;
    };
    // Moves the outermost selected items to the trash (or deletes them for good) and takes
    // what went out of tree, totals and list.
    TTrashOutcome trashSelection(bool permanently);
    // The delete commands: the question, the run, what stayed.
    void deleteSelection(bool permanently);

    // ---- saved analyses ----
public:
    // Shows a saved analysis (ours, or an ncdu or gdu export) in place of the current one; false,
    // after saying why, when it cannot be read.
    bool OpenSavedAnalysis(const std::string& file);
    // Waits until the analysis just made has been kept (the keeping reads the tree).
    void WaitForKeeping();

private:
    // After a scan: keeps the analysis in the store on a helper thread, as the options say.
    void keepAnalysis();
    // The button's menu: the kept analyses, newest first, and a file chosen on disk.
    void LumoButton_SavedClick();
    // Before acting on items of a loaded analysis: those that cannot be checked against the
    // drive as it is now (another file system, a way without recorded identities) are refused.
    std::vector<bool> itemsChangedSince(const std::vector<analysis::PNode>& items);

    // ---- the map ----
    // The map shows the folder of the structure view or the whole drive of the files view, as
    // filtered; the formats view and a window without analysis have none.
    bool mapWanted() const;
    // Gives the map its source again (after the list changed), or clears it.
    void refreshMap();
    // Before the tree changes: the map stops reading it until refreshMap.
    void mapLetGo();
    // The toggle and the splitter: shown or hidden, stored in the hive.
    void CheckBox_ORB_MapClick();
    void storeMapPane();
    // A tile clicked: its row in the list (its own, or the row of the shown folder's child that
    // holds it) becomes the current row.
    void selectRowOfTile(analysis::PNode node);
    void descendIntoTile(analysis::PNode node);
    void highlightSelectionInMap();

    // ---- keyboard ----
    void setupKeyboard();
    // A key in the list: Enter, Backspace, Delete and Shift+Delete; true when taken.
    bool listKeyDown(QKeyEvent* event);
    // Enter on a row: into a folder, or the file opened.
    void activateCurrentRow();
    // Up to the parent of the folder shown, with the folder left behind as the current row.
    void goToParentFolder();
    // Back and forward through the folders the structure view showed since the analysis.
    void goThroughHistory(int step);
    // Shows a folder of the structure view, from the keyboard: the list keeps the focus and
    // `current` (a node of the folder, or none for its first row) becomes its current row.
    void showFolderFromKeyboard(const QString& folder, analysis::PNode current);
    // F5: the drive analysed again, without the picker.
    void analyseAgain();
    // The context menu's captions with their keys, in the program's language.
    void showMenuKeys();
    // Shows the current folder again after a delete, or its nearest surviving folder when it
    // went.
    void showFolderAgain(const QString& survivingFolder);

    bool structureActive() const { return ListState.View == TListView::Structure; }
    bool filesActive() const { return ListState.View == TListView::Files; }
    bool formatsActive() const { return ListState.View == TListView::Formats; }

    // True while the window itself changes the selection of its two selection boxes, whose change
    // handlers then do nothing; set for a stretch of code by a scoped guard.
    bool READING_SETTINGS_NOW = false;
    bool ONSHOW_DONE = false;
    int directoryWidth_ = 210;
    int busy_ = 0;              // long runs under way (analysis, filter, formats)
    bool analysedOnce_ = false; // the list and the summary exist from the first analysis on
    skin::TMainHost* host_ = nullptr;
    bool closePending_ = false; // closed while a long run was under way
    bool closed_ = false;
    bool timerFired_ = false;
    bool inResizeEvent_ = false;
    analysis::TScanVerdict verdict_;
    QString offeredOwnGroup_; // the own group the filter box offers (empty: none)
    // The folders the structure view showed since the analysis, oldest first, and the place of
    // the one shown; a step back or forward moves the place without adding a folder.
    std::thread keeper_;        // keeps the last analysis in the store
    int mapListPermille_ = 600; // the list's share of the right panel while the map shows
    std::vector<QString> history_;
    size_t historyAt_ = 0;
    bool movingInHistory_ = false;
};

} // namespace views
