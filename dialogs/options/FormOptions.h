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
// The main window runs it like this (see RunOptionsDialog, which does exactly that):
//
//     remember CurrentTranslationName() and the skin's folder name
//     form->Current_Sender = sender; form->exec(); form->Current_Sender = nullptr;
//     if (form->SIGNAL_RECREATE_FORM) { delete it, create a new one, show that one again }
//     else if (SkinOrLanguageChangeNeedsHint(...)) show MESSAGEHTML_OPTIONS_SKINORLANG_CHANGED

#include "settings/FormatGroups.h"

#include <QDialog>
#include <QList>
#include <QPixmap>
#include <QStringList>

#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QStackedWidget;
class QTabBar;
class QTreeWidget;

namespace skin {
class TImage;
class TLumoButton2;
class THTMLabel;
class TPanel;
class TTabSheet;
class TTarviMouseImage3State;
} // namespace skin

namespace settings {

class TForm_Options : public QDialog {
    Q_OBJECT
public:
    explicit TForm_Options(QWidget* owner = nullptr);
    ~TForm_Options() override;

    // Fills the controls from the registry; a control whose value is absent keeps its text.
    void LOAD_OPTIONS();
    // Writes the controls to the registry: skin choice, language (when a row is selected),
    // context-menu switches and texts, the file-format groups. The groups also become the
    // program's.
    void SAVE_OPTIONS();

    // Set by "Zurücksetzen": the main window then replaces this instance by a new one.
    bool SIGNAL_RECREATE_FORM = false;
    // The control that opened the dialog, set by the main window while it is shown.
    QObject* Current_Sender = nullptr;

    // 1 (language and other) or 2 (file formats).
    int NavigationGroup() const { return FNavigationGroup; }
    void SelectNavigationGroup(int group);

    // The file-format groups (page "Dateiformate"): an edit per group's list, named as its value
    // in the registry, and the own group's switch and name.
    QLineEdit* FormatEdit(settings::FormatGroupId id) const {
        return FFormatEdits[static_cast<size_t>(id)];
    }
    QCheckBox* CheckBox_ORB_ShowOwnGroup = nullptr;
    QLineEdit* Edit_ORB_Name_OwnGroup = nullptr;
    // The groups as the page shows them.
    settings::FormatGroups ShownFormatGroups() const;

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
    QList<QPixmap> ImageList_Flags;

    // Page "Sonstiges".
    skin::TLumoButton2* LumoButton_ConfigureChannels = nullptr;
    QCheckBox* CheckBox_Other_Tooltips = nullptr;

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

    // Handlers (also what the tests click).
    void TarviMouseImage3State1Click(QObject* Sender);
    void AdvOfficeTabSet1Change(int tab);
    void LumoButton_OkClick();
    void LumoButton_ResetClick();
    void LumoButton_ConfigureChannelsClick();
    void HTMLabel_LANG_TranslateAnchorClick(const QString& href);

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
    };

    void setupUi();
    void setupLanguagePage();
    void setupOtherPage();
    void setupFormatsPage();
    void setupSkinPage();
    void setupContextMenuPage();
    void connectSignals();
    void applySkin();
    void fillLanguageList();
    void installTooltipSwitch();
    void showFormatGroups(const settings::FormatGroups& groups);
    QList<QCheckBox*> contextGroupBoxes() const;
    Snapshot takeSnapshot() const;
    void restoreSnapshot(const Snapshot& snapshot);

    int FNavigationGroup = 0;
    Snapshot FShown;
    std::array<QLineEdit*, settings::kFormatGroupCount> FFormatEdits{};
};

// The one instance of the run (created at start-up; nullptr before).
TForm_Options* Form_Options();
void SetForm_Options(TForm_Options* form);

// The hint after the dialog closed without a reset: a stored skin or language that is set and
// differs (exactly, case counts) from the one this run started with takes effect only at the
// next start, and the user is told so.
bool SkinOrLanguageChangeNeedsHint(const QString& runningTranslation, const QString& runningSkin,
                                   const QString& storedForceLanguage, const QString& storedUseSkin);
// The same with ForceLanguage_LCID and UseSkin read from the options key.
bool SkinOrLanguageChangeNeedsHint(const QString& runningTranslation, const QString& runningSkin);

// The dialog loop of the settings command: remembers the running language and skin, shows the
// instance modally with Current_Sender set, replaces it by a new instance (same owner) and shows
// that while a reset asks for it, and then shows the skin-or-language hint through the main
// window when SkinOrLanguageChangeNeedsHint. Creates the instance when there is none. Reporting
// the feature to the online services before, and calling the module's options-changed handler
// after, stay with the main window.
void RunOptionsDialog(QObject* sender);

// Puts the two data files of the program folder back to their shipped defaults: for each of
// "data\DC-Files2.txt" and "data\DC-Folders2.txt" that exists together with its "_default"
// twin, the file is replaced by a copy of the twin (atomically: until the copy is complete the
// old file stays). Pairs with a file missing are skipped.
void RestoreDefaultDataFiles();

} // namespace settings
