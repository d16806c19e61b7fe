#pragma once

// The options dialog. Its page "Dateiformate" edits a copy of the program's file-format groups
// (settings::ProgramFormatGroups): taken when the dialog is shown, stored and handed back to the
// program by "Ok", which FormatGroupsChanged() reports when they differ.
//
// Layout: a navigation column on the left with two entries (group 1 "Allgemein": the pages
// language and other; group 2, the analyser's name: the page file formats), a tab bar over the
// page area that offers the pages of the chosen group, and a bottom bar with "Zurücksetzen" and
// "Ok". The pages skin and context menu are built, loaded and saved but never offered.
//
// The main window runs it through RunOptionsDialog and hands over itself as the host: the
// dialog asks its questions through the host, centres on its window and opens the file formats
// while the analyser is the host's module.

#include "settings/FormatGroups.h"

#include <QDialog>
#include <QList>
#include <QPixmap>
#include <QStringList>

#include <array>

class QCheckBox;
class QSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QStackedWidget;
class QTabBar;
class QTreeWidget;

namespace skin {
class TImage;
class TLumoButton2;
class TMainHost;
class THTMLabel;
class TPanel;
class TTabSheet;
class TTarviMouseImage3State;
} // namespace skin

namespace settings {

struct TContextMenuBoxes;

class TForm_Options : public QDialog {
    Q_OBJECT
public:
    // The dialog of `host`, owned by the host's main window. Without a host (tests, the dialog
    // shown on its own) it has no owner and asks with the program's message box.
    explicit TForm_Options(skin::TMainHost* host = nullptr);
    ~TForm_Options() override;

    // Fills the controls from the registry; a control whose value is absent keeps its text.
    void LOAD_OPTIONS();
    // Writes the controls to the registry: skin choice, language (when a row is selected),
    // context-menu switches and texts, the file-format groups. The groups also become the
    // program's.
    void SAVE_OPTIONS();

    // Set by "Zurücksetzen": the main window then replaces this instance by a new one.
    bool SIGNAL_RECREATE_FORM = false;

    // Shows the dialog modally for `sender`, the control that opened it (the main window's
    // options button or menu item); returns the dialog's result.
    int ExecFor(QObject* sender);
    // That control while the dialog is shown, else null. The dialog does not act on it; it is
    // how whoever answers the open dialog tells which command opened it.
    QObject* Current_Sender() const { return FCurrentSender; }

    // 1 (language and other) or 2 (file formats).
    int NavigationGroup() const { return FNavigationGroup; }
    void SelectNavigationGroup(int group);

    // The file-format groups as the page "Dateiformate" shows them.
    settings::FormatGroups ShownFormatGroups() const;

    // The flag pictures the rows of the language list take their icons from.
    const QList<QPixmap>& ImageList_Flags() const { return FImageList_Flags; }

signals:
    // "Ok" or the reset changed the program's file-format groups.
    void FormatGroupsChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    // What a user can change without "Ok", kept from the moment the dialog is shown, so closing
    // it any other way leaves the values the program works with as they were.
    struct Snapshot {
        settings::FormatGroups formats;
        int languageRow = -1;
        int skinRow = -1;
        QList<bool> contextGroups;
        int keepPerDrive = 0;
        int keepMaxMiB = 0;
    };

    void setupUi();
    void setupNavigation();
    void setupBottomBar();
    void setupLanguagePage();
    void setupOtherPage();
    void setupFormatsPage();
    void setupSkinPage();
    void setupContextMenuPage();
    void connectSignals();
    void applySkin();
    void fillLanguageList();
    void installTooltipSwitch();
    // The edit of a group's list on the page "Dateiformate".
    QLineEdit* FormatEdit(settings::FormatGroupId id) const {
        return FFormatEdits[static_cast<size_t>(id)];
    }
    void showFormatGroups(const settings::FormatGroups& groups);
    QList<QCheckBox*> contextGroupBoxes() const;
    TContextMenuBoxes contextBoxes() const;
    Snapshot takeSnapshot() const;
    void restoreSnapshot(const Snapshot& snapshot);

    // Handlers.
    void TarviMouseImage3State1Click(QObject* Sender);
    void AdvOfficeTabSet1Change(int tab);
    void LumoButton_OkClick();
    void LumoButton_ResetClick();
    void LumoButton_ConfigureChannelsClick();
    void HTMLabel_LANG_TranslateAnchorClick(const QString& href);

    skin::TMainHost* FHost = nullptr;
    QObject* FCurrentSender = nullptr;
    int FNavigationGroup = 0;
    Snapshot FShown;

    // Navigation, tab bar and pages.
    QWidget* Panel_Navi = nullptr;
    skin::TImage* Image_NaviBackground = nullptr;
    skin::TTarviMouseImage3State* TarviMouseImage3State1 = nullptr;
    skin::TTarviMouseImage3State* TarviMouseImage3State8 = nullptr;
    QTabBar* AdvOfficeTabSet1 = nullptr;
    QWidget* Shape_TabLine = nullptr;
    QStackedWidget* PageControl1 = nullptr;
    skin::TTabSheet* TabSheet_LANG = nullptr;
    skin::TTabSheet* TabSheet_OTHER = nullptr;
    skin::TTabSheet* TabSheet_ORB1 = nullptr;
    skin::TTabSheet* TabSheet_SKIN = nullptr;
    skin::TTabSheet* TabSheet_CONTEXTMENU = nullptr;

    // Page "Sprache". Column 2 (hidden) holds the row's index in the translation lists.
    QTreeWidget* ListView_Options_Language = nullptr;
    skin::THTMLabel* HTMLabel_LANG_Translate = nullptr;
    QList<QPixmap> FImageList_Flags;

    // Page "Sonstiges".
    skin::TLumoButton2* LumoButton_ConfigureChannels = nullptr;
    QCheckBox* CheckBox_Other_Tooltips = nullptr;
    QSpinBox* SpinEdit_ORB_KeepPerDrive = nullptr;
    QSpinBox* SpinEdit_ORB_KeepMaxMiB = nullptr;

    // Page "Dateiformate": an edit per group's list, named as its value in the registry, and the
    // own group's switch and name.
    std::array<QLineEdit*, settings::kFormatGroupCount> FFormatEdits{};
    QCheckBox* CheckBox_ORB_ShowOwnGroup = nullptr;
    QLineEdit* Edit_ORB_Name_OwnGroup = nullptr;

    // Page "Skin".
    QListWidget* ListBox_Skins = nullptr;

    // Page "Kontextmenü".
    QCheckBox* CheckBox_ShowContextMenu = nullptr;
    QCheckBox* CheckBox_Context_DEFRAG = nullptr;
    QCheckBox* CheckBox_Context_DL = nullptr;
    QCheckBox* CheckBox_Context_FW = nullptr;
    QCheckBox* CheckBox_Context_ED = nullptr;
    QCheckBox* CheckBox_Context_FSJ = nullptr;
    QCheckBox* CheckBox_Context_Recycle_FW = nullptr;
    QCheckBox* CheckBox_Context_Recycle_Undelete = nullptr;

    // Bottom bar.
    skin::TPanel* Panel_Unten = nullptr;
    skin::TLumoButton2* LumoButton_Reset = nullptr;
    skin::TLumoButton2* LumoButton_Ok = nullptr;
};

// The one instance of the run (created at start-up; nullptr before).
TForm_Options* Form_Options();
void SetForm_Options(TForm_Options* form);

// The hint after the dialog closed without a reset: a stored skin or language that is set and
// differs (exactly, case counts) from the one this run started with takes effect only at the
// next start, and the user is told so.
bool SkinOrLanguageChangeNeedsHint(const QString& runningTranslation, const QString& runningSkin,
                                   const QString& storedForceLanguage,
                                   const QString& storedUseSkin);
// The same with ForceLanguage_LCID and UseSkin read from the options key.
bool SkinOrLanguageChangeNeedsHint(const QString& runningTranslation, const QString& runningSkin);

// The dialog loop of the settings command of `host`: remembers the running language and skin,
// shows the instance modally for `sender` (ExecFor), replaces it by a new instance of the same
// host and shows that while a reset asks for it, and then shows the skin-or-language hint
// through the host when SkinOrLanguageChangeNeedsHint. Creates the instance when there is none;
// one made before belongs to the same host. Reporting the feature to the online services
// before, and calling the module's options-changed handler after, stay with the main window.
void RunOptionsDialog(QObject* sender, skin::TMainHost* host);

// Puts the two data files of the program folder back to their shipped defaults: for each of
// "data\DC-Files2.txt" and "data\DC-Folders2.txt" that exists together with its "_default"
// twin, the file is replaced by a copy of the twin (atomically: until the copy is complete the
// old file stays). Pairs with a file missing are skipped.
void RestoreDefaultDataFiles();

} // namespace settings
