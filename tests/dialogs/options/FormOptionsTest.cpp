// The options dialog offscreen: its controls through the hive and back, the reset, the
// navigation, the language list, the dialog loop of the main window and its hint.

#include "FormsTestSupport.h"
#include "TranslatableCheck.h"

#include "dialogs/options/ContextMenu.h"
#include "dialogs/options/FormOptions.h"
#include "i18n/ProjectMessages.h"
#include "settings/Registry.h"
#include "skin/HTMLabel.h"
#include "skin/LumoButton2.h"
#include "skin/TarviMouseImage3State.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

using namespace settings;
using formstest::ValueType;

namespace {

const QString kForceLanguage = QStringLiteral("ForceLanguage_LCID");

QStringList tabTexts(const QTabBar* tabs) {
    QStringList texts;
    for (int i = 0; i < tabs->count(); ++i)
        texts.append(tabs->tabText(i));
    return texts;
}

// A control of the dialog by its component name.
template <class Control> Control* control(const TForm_Options& form, const char* name) {
    return formstest::Find<Control>(&form, name);
}
// The edit of a group's list, named as its value in the registry.
QLineEdit* formatEdit(const TForm_Options& form, FormatGroupId id) {
    return control<QLineEdit>(form, FormatGroupInfoOf(id).valueName);
}

QTreeWidgetItem* languageRow(const TForm_Options& form, const QString& translationName) {
    QTreeWidget* list = control<QTreeWidget>(form, "ListView_Options_Language");
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (i18n::TranslationNames().value(list->topLevelItem(i)->text(2).toInt()) ==
            translationName)
            return list->topLevelItem(i);
    return nullptr;
}

// Selects a row as a click does (the single selection of the list).
void selectLanguage(const TForm_Options& form, const QString& translationName) {
    QTreeWidgetItem* row = languageRow(form, translationName);
    ASSERT_TRUE(row);
    control<QTreeWidget>(form, "ListView_Options_Language")->setCurrentItem(row);
}

class FormOptionsTest : public formstest::FormsFixture {
protected:
    void SetUp() override {
        FormsFixture::SetUp();
        StartInLanguage("de_DE.UTF-8");
    }
    void TearDown() override {
        delete Form_Options();
        ForgetProgramFormatGroups();
        FormsFixture::TearDown();
    }
    static QString read(const char* name) {
        return RegReadString(HKEY_LOCAL_MACHINE, OptionsKey, QLatin1String(name));
    }
};

TEST_F(FormOptionsTest, EveryFormatControlLoadsFromTheHiveAndSavesBack) {
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Audio", "FLAC ; MP3");
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Video", ""); // stored empty
    RegWriteInteger(HKEY_LOCAL_MACHINE, OptionsKey, "CheckBox_ORB_ShowOwnGroup", 1);
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Name_OwnGroup", "Projekte");
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Formate_OwnGroup", "CPP ; H");

    TForm_Options form;
    EXPECT_EQ(formatEdit(form, FormatGroupId::Audio)->text(), "FLAC ; MP3");
    EXPECT_EQ(formatEdit(form, FormatGroupId::Video)->text(), "");
    // Absent values keep the built-in lists.
    EXPECT_EQ(formatEdit(form, FormatGroupId::Pictures)->text(),
              "BMP ; JPG ; JPEG ; PNG ; GIF ; PSD ; TGA ; TIF ; WEBP ; HEIC ; HEIF ; AVIF ; SVG ; "
              "TIFF ; ICO ; CR2 ; NEF ; ARW ; DNG ; RAW");
    EXPECT_EQ(formatEdit(form, FormatGroupId::Archives)->text(),
              "ZIP ; RAR ; CAB ; 7Z ; ACE ; GZIP ; TAR ; GZ ; TGZ ; BZ2 ; XZ ; ZST ; LZ ; LZMA ; "
              "DEB ; RPM ; ISO ; DMG ; JAR ; APK ; SNAP ; FLATPAK");
    EXPECT_EQ(formatEdit(form, FormatGroupId::Documents)->text(),
              "DOC ; XLS ; XLM ; PPT ; RTF ; HTM ; HTML ; PDF ; DOCX ; XLSX ; PPTX ; ODT ; ODS ; "
              "ODP ; EPUB ; TXT ; MD ; CSV ; TEX");
    EXPECT_EQ(formatEdit(form, FormatGroupId::Applications)->text(),
              "EXE ; COM ; BAT ; DLL ; OCX ; SH ; APPIMAGE ; SO ; MSI ; RUN ; BIN");
    // A list longer than its field shows from its start.
    EXPECT_EQ(formatEdit(form, FormatGroupId::Archives)->cursorPosition(), 0);
    EXPECT_TRUE(control<QCheckBox>(form, "CheckBox_ORB_ShowOwnGroup")->isChecked());
    EXPECT_EQ(control<QLineEdit>(form, "Edit_ORB_Name_OwnGroup")->text(), "Projekte");
    EXPECT_EQ(formatEdit(form, FormatGroupId::Own)->text(), "CPP ; H");

    // Values written behind the dialog's back reach the fields at the next load; a value that is
    // absent leaves the field as the user left it.
    formatEdit(form, FormatGroupId::Documents)->setText("typed, not saved");
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Apps", "APPIMAGE");
    form.LOAD_OPTIONS();
    EXPECT_EQ(formatEdit(form, FormatGroupId::Applications)->text(), "APPIMAGE");
    EXPECT_EQ(formatEdit(form, FormatGroupId::Documents)->text(), "typed, not saved");

    formatEdit(form, FormatGroupId::Audio)->setText("OPUS");
    control<QCheckBox>(form, "CheckBox_ORB_ShowOwnGroup")->setChecked(false);
    form.SAVE_OPTIONS();
    EXPECT_EQ(read("Edit_ORB_Audio"), "OPUS");
    EXPECT_EQ(ValueType(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Video"), REG_SZ);
    EXPECT_EQ(read("Edit_ORB_Bild"),
              "BMP ; JPG ; JPEG ; PNG ; GIF ; PSD ; TGA ; TIF ; WEBP ; HEIC ; HEIF ; AVIF ; SVG ; "
              "TIFF ; ICO ; CR2 ; NEF ; ARW ; DNG ; RAW");
    EXPECT_EQ(read("Edit_ORB_Docs"), "typed, not saved");
    EXPECT_EQ(ValueType(HKEY_LOCAL_MACHINE, OptionsKey, "CheckBox_ORB_ShowOwnGroup"), REG_DWORD);
    EXPECT_EQ(RegReadInteger(HKEY_LOCAL_MACHINE, OptionsKey, "CheckBox_ORB_ShowOwnGroup"), 0);
    EXPECT_EQ(read("Edit_ORB_Name_OwnGroup"), "Projekte");
    // The hidden tooltip box is neither loaded nor saved.
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, OptionsKey, "CheckBox_Other_Tooltips"));
}

TEST_F(FormOptionsTest, TypedLettersOfTheOwnFormatsBecomeCapitals) {
    TForm_Options form;
    QTest::keyClicks(formatEdit(form, FormatGroupId::Own), "mp3 ; flac");
    EXPECT_EQ(formatEdit(form, FormatGroupId::Own)->text(), "MP3 ; FLAC");
    QTest::keyClicks(control<QLineEdit>(form, "Edit_ORB_Name_OwnGroup"), "Musik");
    EXPECT_EQ(control<QLineEdit>(form, "Edit_ORB_Name_OwnGroup")->text(), "Musik");
    control<skin::TLumoButton2>(form, "LumoButton_Ok")->Click();
    EXPECT_EQ(read("Edit_ORB_Formate_OwnGroup"), "MP3 ; FLAC");
    EXPECT_EQ(read("Edit_ORB_Name_OwnGroup"), "Musik");
}

TEST_F(FormOptionsTest, LanguageListShowsEveryTranslationAndSavesOnlyASelectedRow) {
    TForm_Options form;
    QTreeWidget* list = control<QTreeWidget>(form, "ListView_Options_Language");
    ASSERT_EQ(list->topLevelItemCount(), i18n::TranslationNames().size());
    ASSERT_EQ(list->topLevelItemCount(), 2);
    QTreeWidgetItem* english = languageRow(form, "orb2024_en-us");
    QTreeWidgetItem* german = languageRow(form, "orb2024_de-de");
    ASSERT_TRUE(english && german);
    EXPECT_EQ(english->text(0), i18n::LanguageDisplayName(1033));
    EXPECT_EQ(english->text(1), "Zelvano localization team");
    EXPECT_FALSE(english->icon(0).isNull());
    EXPECT_FALSE(german->icon(0).isNull());
    EXPECT_EQ(form.ImageList_Flags().size(), 2);
    EXPECT_TRUE(list->isColumnHidden(2));
    EXPECT_TRUE(list->selectedItems().isEmpty());

    // No row selected: the stored choice stays as it is.
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, kForceLanguage, "orb2024_de-de");
    form.SAVE_OPTIONS();
    EXPECT_EQ(read("ForceLanguage_LCID"), "orb2024_de-de");
    selectLanguage(form, "orb2024_en-us");
    form.SAVE_OPTIONS();
    EXPECT_EQ(read("ForceLanguage_LCID"), "orb2024_en-us");
    // The skin page is never offered, but its list is saved: the running skin.
    EXPECT_EQ(read("UseSkin"), "default");
}

TEST_F(FormOptionsTest, ATranslationWithoutTranslatorNameLeavesItsCellEmpty) {
    WriteFile("translation/orb2024_fr.nlang3", "\xEF\xBB\xBFMESSAGES.MESSAGE_OK=D'accord\r\n");
    i18n::ScanTranslations("P:\\Translation");
    TForm_Options form;
    QTreeWidgetItem* french = languageRow(form, "orb2024_fr");
    ASSERT_TRUE(french);
    EXPECT_EQ(french->text(1), "");
    EXPECT_EQ(french->text(0), i18n::LanguageDisplayName(1036));
}

TEST_F(FormOptionsTest, SkinChoiceIsTheRunningSkinUntilAnotherIsSelected) {
    skin::SetSkinFolder("P:\\skins\\Dark");
    TForm_Options form;
    ASSERT_TRUE(control<QListWidget>(form, "ListBox_Skins")->currentItem());
    EXPECT_EQ(control<QListWidget>(form, "ListBox_Skins")->currentItem()->text(), "Dark");
    form.SAVE_OPTIONS();
    EXPECT_EQ(read("UseSkin"), "Dark");
    control<QListWidget>(form, "ListBox_Skins")->clearSelection();
    control<QListWidget>(form, "ListBox_Skins")->setCurrentRow(-1);
    form.SAVE_OPTIONS();
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin"));
}

TEST_F(FormOptionsTest, ContextMenuPageGoesThroughTheDialog) {
    RegWriteInteger(HKEY_LOCAL_MACHINE, ContextMenusKey, "Hide_FW", 0);
    TForm_Options form;
    EXPECT_FALSE(control<QCheckBox>(form, "CheckBox_Context_FW")->isChecked());
    EXPECT_TRUE(control<QCheckBox>(form, "CheckBox_Context_DEFRAG")->isChecked());
    EXPECT_FALSE(control<QCheckBox>(form, "CheckBox_ShowContextMenu")->isChecked());
    control<QCheckBox>(form, "CheckBox_Context_DEFRAG")->setChecked(false);
    control<skin::TLumoButton2>(form, "LumoButton_Ok")->Click();
    EXPECT_EQ(RegReadInteger(HKEY_LOCAL_MACHINE, ContextMenusKey, "Hide_FW"), 1);
    EXPECT_EQ(RegReadInteger(HKEY_LOCAL_MACHINE, ContextMenusKey, "Hide_DEFRAG"), 1);
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, ContextMenusKey, "Hide_DL"));
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, ContextMenusKey, "CONTEXTMENU_DL"),
              "Analysiere Speicherbelegung mit Zelvano Tidewell");
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, RecycleBinClassKey));
}

TEST_F(FormOptionsTest, ResetAsksAndOnYesDeletesEverySettingAndRestoresDataFiles) {
    WriteFile("data/DC-Files2.txt", "changed by the user");
    WriteFile("data/DC-Files2_default.txt", "as shipped");
    WriteFile("data/DC-Folders2.txt", "no twin, kept");
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Audio", "X");
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin", "Dark");
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, kForceLanguage, "orb2024_en-us");

    auto form = std::make_unique<TForm_Options>(&host);
    int formatChanges = 0;
    QObject::connect(form.get(), &TForm_Options::FormatGroupsChanged, [&] { ++formatChanges; });
    EXPECT_EQ(ProgramFormatGroups().List(FormatGroupId::Audio), "X");
    host.answer = platform::IDNO;
    control<skin::TLumoButton2>(*form, "LumoButton_Reset")->Click();
    ASSERT_EQ(host.questions.size(), 1);
    EXPECT_EQ(host.questions[0], i18n::Message(i18n::Msg::MESSAGEHTML_OPTIONS_ASKER_SURETORESET));
    EXPECT_EQ(host.defaults[0], platform::IDNO);
    EXPECT_FALSE(form->SIGNAL_RECREATE_FORM);
    EXPECT_EQ(read("UseSkin"), "Dark");
    EXPECT_EQ(ReadFile("data/DC-Files2.txt"), "changed by the user");

    host.answer = platform::IDYES;
    control<skin::TLumoButton2>(*form, "LumoButton_Reset")->Click();
    EXPECT_TRUE(form->SIGNAL_RECREATE_FORM);
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, OptionsKey));
    EXPECT_EQ(ReadFile("data/DC-Files2.txt"), "as shipped");
    EXPECT_EQ(ReadFile("data/DC-Files2_default.txt"), "as shipped");
    EXPECT_EQ(ReadFile("data/DC-Folders2.txt"), "no twin, kept");
    // The program works with the built-in groups again.
    EXPECT_EQ(formatChanges, 1);
    EXPECT_EQ(ProgramFormatGroups(), FormatGroups());

    form = std::make_unique<TForm_Options>(&host);
    EXPECT_FALSE(form->SIGNAL_RECREATE_FORM);
    EXPECT_EQ(formatEdit(*form, FormatGroupId::Audio)->text(),
              "MP3 ; OGG ; WAV ; MID ; WMA ; FLAC ; M4A ; AAC ; OPUS ; AIFF ; APE");
}

TEST_F(FormOptionsTest, ResetWithoutDataFilesStillResets) {
    host.answer = platform::IDYES;
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Audio", "X");
    TForm_Options form(&host);
    control<skin::TLumoButton2>(form, "LumoButton_Reset")->Click();
    EXPECT_TRUE(form.SIGNAL_RECREATE_FORM);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, OptionsKey));
    EXPECT_FALSE(QFile::exists(Native("data/DC-Files2.txt")));
}

TEST_F(FormOptionsTest, NavigationGroupsOfferTheirPages) {
    TForm_Options form;
    auto* tabs = control<QTabBar>(form, "AdvOfficeTabSet1");
    auto* pages = control<QStackedWidget>(form, "PageControl1");
    auto* general = control<skin::TTarviMouseImage3State>(form, "TarviMouseImage3State1");
    auto* analyser = control<skin::TTarviMouseImage3State>(form, "TarviMouseImage3State8");
    EXPECT_EQ(form.NavigationGroup(), 1);
    EXPECT_EQ(tabTexts(tabs), QStringList({"Sprache", "Sonstiges"}));
    EXPECT_EQ(pages->currentWidget()->objectName(), "TabSheet_LANG");
    EXPECT_FALSE(general->isEnabled());
    EXPECT_EQ(general->Picture(), general->Picture_Pressed());
    EXPECT_TRUE(analyser->isEnabled());
    EXPECT_EQ(analyser->Picture(), analyser->Picture_Normal());
    EXPECT_NE(analyser->Picture_Normal(), analyser->Picture_Pressed());

    tabs->setCurrentIndex(1);
    EXPECT_EQ(pages->currentWidget()->objectName(), "TabSheet_OTHER");

    analyser->Click();
    EXPECT_EQ(form.NavigationGroup(), 2);
    EXPECT_EQ(tabTexts(tabs), QStringList({"Dateiformate"}));
    EXPECT_EQ(pages->currentWidget()->objectName(), "TabSheet_ORB1");
    EXPECT_TRUE(general->isEnabled());
    EXPECT_EQ(general->Picture(), general->Picture_Normal());
    EXPECT_FALSE(analyser->isEnabled());
    // The pages skin and context menu exist but are never offered.
    EXPECT_EQ(pages->count(), 5);
}

TEST_F(FormOptionsTest, ShowingWhileTheAnalyserIsTheModuleOpensTheFileFormats) {
    TForm_Options form(&host);
    host.module = "TForm_ORB";
    form.show();
    EXPECT_EQ(form.NavigationGroup(), 2);
    EXPECT_EQ(control<QStackedWidget>(form, "PageControl1")->currentWidget()->objectName(),
              "TabSheet_ORB1");
    form.reject();

    form.SelectNavigationGroup(1);
    host.module = "";
    form.show();
    EXPECT_EQ(form.NavigationGroup(), 1);
    form.reject();
}

TEST_F(FormOptionsTest, ClosingWithoutOkLeavesTheShownValues) {
    TForm_Options form;
    form.show();
    formatEdit(form, FormatGroupId::Audio)->setText("NOT CONFIRMED");
    control<QCheckBox>(form, "CheckBox_ORB_ShowOwnGroup")->setChecked(true);
    selectLanguage(form, "orb2024_en-us");
    form.reject();
    EXPECT_EQ(formatEdit(form, FormatGroupId::Audio)->text(),
              "MP3 ; OGG ; WAV ; MID ; WMA ; FLAC ; M4A ; AAC ; OPUS ; AIFF ; APE");
    EXPECT_FALSE(control<QCheckBox>(form, "CheckBox_ORB_ShowOwnGroup")->isChecked());
    EXPECT_TRUE(control<QTreeWidget>(form, "ListView_Options_Language")->selectedItems().isEmpty());
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, OptionsKey));

    form.show();
    formatEdit(form, FormatGroupId::Audio)->setText("CONFIRMED");
    control<skin::TLumoButton2>(form, "LumoButton_Ok")->Click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(formatEdit(form, FormatGroupId::Audio)->text(), "CONFIRMED");
    EXPECT_EQ(read("Edit_ORB_Audio"), "CONFIRMED");
}

TEST_F(FormOptionsTest, FormatGroupsAreACopyOfTheProgramsThatOkHandsBack) {
    TForm_Options form;
    int changes = 0;
    QObject::connect(&form, &TForm_Options::FormatGroupsChanged, [&] { ++changes; });
    // Shown: the program's groups with what is stored now.
    ProgramFormatGroups().OwnGroupName = "Mine";
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Apps", "ELF");
    form.show();
    EXPECT_EQ(control<QLineEdit>(form, "Edit_ORB_Name_OwnGroup")->text(), "Mine");
    EXPECT_EQ(formatEdit(form, FormatGroupId::Applications)->text(), "ELF");
    EXPECT_EQ(ProgramFormatGroups().List(FormatGroupId::Applications), "ELF");

    // Edits reach the program only through Ok, and only a difference is reported.
    formatEdit(form, FormatGroupId::Audio)->setText("OPUS");
    form.reject();
    EXPECT_EQ(ProgramFormatGroups().List(FormatGroupId::Audio),
              "MP3 ; OGG ; WAV ; MID ; WMA ; FLAC ; M4A ; AAC ; OPUS ; AIFF ; APE");
    form.show();
    control<skin::TLumoButton2>(form, "LumoButton_Ok")->Click();
    EXPECT_EQ(changes, 0);
    form.show();
    formatEdit(form, FormatGroupId::Audio)->setText("OPUS");
    control<QCheckBox>(form, "CheckBox_ORB_ShowOwnGroup")->setChecked(true);
    control<skin::TLumoButton2>(form, "LumoButton_Ok")->Click();
    EXPECT_EQ(changes, 1);
    FormatGroups expected;
    expected.SetList(FormatGroupId::Audio, "OPUS");
    expected.SetList(FormatGroupId::Applications, "ELF");
    expected.ShowOwnGroup = true;
    expected.OwnGroupName = "Mine";
    EXPECT_EQ(ProgramFormatGroups(), expected);
    FormatGroups stored;
    stored.Load();
    EXPECT_EQ(stored, expected);
}

TEST_F(FormOptionsTest, TooltipRegistrationFollowsTheHiddenBox) {
    QWidget parent;
    skin::TLumoButton2 first(&parent), second(&parent), third(&parent);
    first.setObjectName("First");
    second.setObjectName("Second");
    third.setObjectName("Third");

    auto form = std::make_unique<TForm_Options>();
    EXPECT_FALSE(control<QCheckBox>(*form, "CheckBox_Other_Tooltips")->isChecked());
    EXPECT_TRUE(control<QCheckBox>(*form, "CheckBox_Other_Tooltips")->isHidden());
    skin::ToolTips().AddToList(&first, "c", "t");
    EXPECT_TRUE(skin::ToolTips().List().empty());
    control<QCheckBox>(*form, "CheckBox_Other_Tooltips")->setChecked(true);
    skin::ToolTips().AddToList(&second, "c", "t");
    EXPECT_EQ(skin::ToolTips().List().size(), 1u);
    form.reset();
    skin::ToolTips().AddToList(&third, "c", "t");
    EXPECT_EQ(skin::ToolTips().List().size(), 1u);
}

TEST_F(FormOptionsTest, TranslationLinkAndServiceChannelsLeadSomewhere) {
    TForm_Options form;
    control<skin::THTMLabel>(form, "HTMLabel_LANG_Translate")->OnAnchorClick("1");
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].startsWith("file:///")) << opened[0].toStdString();
    EXPECT_TRUE(opened[0].endsWith("/help/de/translation.html")) << opened[0].toStdString();
    control<skin::TLumoButton2>(form, "LumoButton_ConfigureChannels")->Click();
    EXPECT_EQ(boxes.size(), 1);
}

TEST_F(FormOptionsTest, EnglishTranslationReachesEveryListedControl) {
    i18n::ResetLocalisationState();
    StartInLanguage("en_US.UTF-8");
    TForm_Options form;
    formstest::ExpectTagsMatchList(&form, "TForm_Options");
    EXPECT_EQ(form.windowTitle(), "Settings");
    EXPECT_EQ(tabTexts(control<QTabBar>(form, "AdvOfficeTabSet1")),
              QStringList({"Language", "Other"}));
    EXPECT_EQ(control<skin::TLumoButton2>(form, "LumoButton_Reset")->Caption(), "Reset");
    EXPECT_EQ(control<QTreeWidget>(form, "ListView_Options_Language")->headerItem()->text(1),
              "Translator");
    EXPECT_EQ(control<QCheckBox>(form, "CheckBox_ORB_ShowOwnGroup")->text(), "Show your own group");
}

// The hint of the main window's dialog loop.
TEST(OptionsLoopHint, ShownOnlyForAStoredSkinOrLanguageThatDiffersExactly) {
    struct Case {
        const char *translation, *skin, *storedLanguage, *storedSkin;
        bool hint;
    };
    const Case cases[] = {
        {"orb2024_de-de", "default", "", "", false},
        {"orb2024_de-de", "default", "orb2024_de-de", "default", false},
        {"orb2024_de-de", "default", "orb2024_en-us", "default", true},
        {"orb2024_de-de", "default", "", "Dark", true},
        {"orb2024_de-de", "default", "ORB2024_DE-DE", "", true},
        {"orb2024_de-de", "default", "", "DEFAULT", true},
        {"", "default", "orb2024_de-de", "", true},
        {"", "Dark", "", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(
            SkinOrLanguageChangeNeedsHint(c.translation, c.skin, c.storedLanguage, c.storedSkin),
            c.hint)
            << c.translation << " " << c.skin << " " << c.storedLanguage << " " << c.storedSkin;
}

// Runs `steps` one after the other, each when another modal dialog is on top. A dialog still
// open long after the last step is rejected, so a broken loop fails instead of hanging.
class ModalScript : public QObject {
public:
    explicit ModalScript(std::vector<std::function<void(QWidget*)>> steps)
        : steps_(std::move(steps)) {
        connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start(5);
        clock_.start();
    }
    size_t done() const { return next_; }

private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (next_ >= steps_.size() || clock_.elapsed() > 20000) {
            if (clock_.elapsed() > 20000) {
                ADD_FAILURE() << "a dialog stayed open";
                static_cast<QDialog*>(modal)->reject();
            }
            return;
        }
        if (modal == last_)
            return;
        last_ = modal;
        steps_[next_++](modal);
    }
    std::vector<std::function<void(QWidget*)>> steps_;
    size_t next_ = 0;
    QPointer<QWidget> last_; // null once that dialog is gone, so a new one at its address counts
    QTimer timer_;
    QElapsedTimer clock_;
};

TEST_F(FormOptionsTest, DialogLoopHintsAChangedLanguageOnce) {
    QObject sender;
    {
        ModalScript script({[&](QWidget* modal) {
            auto* form = qobject_cast<TForm_Options*>(modal);
            ASSERT_TRUE(form);
            EXPECT_EQ(form->Current_Sender(), &sender);
            selectLanguage(*form, "orb2024_en-us");
            control<skin::TLumoButton2>(*form, "LumoButton_Ok")->Click();
        }});
        RunOptionsDialog(&sender, &host);
        EXPECT_EQ(script.done(), 1u);
    }
    ASSERT_TRUE(Form_Options());
    EXPECT_EQ(Form_Options()->Current_Sender(), nullptr);
    ASSERT_EQ(host.infos.size(), 1);
    EXPECT_EQ(host.infos[0], i18n::Message(i18n::Msg::MESSAGEHTML_OPTIONS_SKINORLANG_CHANGED));

    // Choosing the running language again: no hint.
    {
        ModalScript script({[&](QWidget* modal) {
            auto* form = static_cast<TForm_Options*>(modal);
            selectLanguage(*form, "orb2024_de-de");
            control<skin::TLumoButton2>(*form, "LumoButton_Ok")->Click();
        }});
        RunOptionsDialog(&sender, &host);
    }
    EXPECT_EQ(host.infos.size(), 1);
}

TEST_F(FormOptionsTest, DialogLoopShowsAFreshDialogAfterAReset) {
    host.answer = platform::IDYES;
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Audio", "X");
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin", "Dark");
    SetForm_Options(new TForm_Options(&host));
    const TForm_Options* first = Form_Options();
    QObject sender;
    ModalScript script(
        {[&](QWidget* modal) {
             EXPECT_EQ(modal, first);
             const auto& form = *static_cast<TForm_Options*>(modal);
             control<skin::TLumoButton2>(form, "LumoButton_Reset")->Click();
         },
         [&](QWidget* modal) {
             auto* form = qobject_cast<TForm_Options*>(modal);
             ASSERT_TRUE(form);
             EXPECT_FALSE(form->SIGNAL_RECREATE_FORM);
             EXPECT_EQ(form->Current_Sender(), &sender);
             EXPECT_EQ(formatEdit(*form, FormatGroupId::Audio)->text(),
                       "MP3 ; OGG ; WAV ; MID ; WMA ; FLAC ; M4A ; AAC ; OPUS ; AIFF ; APE");
             form->reject();
         }});
    RunOptionsDialog(&sender, &host);
    EXPECT_EQ(script.done(), 2u);
    EXPECT_NE(Form_Options(), nullptr);
    EXPECT_EQ(formatEdit(*Form_Options(), FormatGroupId::Audio)->text(),
              "MP3 ; OGG ; WAV ; MID ; WMA ; FLAC ; M4A ; AAC ; OPUS ; AIFF ; APE");
    // The reset removed the skin choice and the second dialog was cancelled: nothing to hint.
    EXPECT_TRUE(host.infos.isEmpty());
}

} // namespace

TEST_F(FormOptionsTest, KeptAnalysesAreSetOnTheOtherPage) {
    TForm_Options defaults;
    EXPECT_EQ(control<QSpinBox>(defaults, "SpinEdit_ORB_KeepPerDrive")->value(), 10);
    EXPECT_EQ(control<QSpinBox>(defaults, "SpinEdit_ORB_KeepMaxMiB")->value(), 1024);

    RegWriteInteger(HKEY_LOCAL_MACHINE, OptionsKey, "ORB_KeepPerDrive", 3);
    RegWriteInteger(HKEY_LOCAL_MACHINE, OptionsKey, "ORB_KeepMaxMiB", -5); // not the user's
    TForm_Options form;
    EXPECT_EQ(control<QSpinBox>(form, "SpinEdit_ORB_KeepPerDrive")->value(), 3);
    EXPECT_EQ(control<QSpinBox>(form, "SpinEdit_ORB_KeepMaxMiB")->value(), 1024);
    control<QSpinBox>(form, "SpinEdit_ORB_KeepPerDrive")->setValue(0); // keeping off
    control<QSpinBox>(form, "SpinEdit_ORB_KeepMaxMiB")->setValue(200);
    control<skin::TLumoButton2>(form, "LumoButton_Ok")->Click();
    EXPECT_EQ(RegReadInteger(HKEY_LOCAL_MACHINE, OptionsKey, "ORB_KeepPerDrive"), 0);
    EXPECT_EQ(RegReadInteger(HKEY_LOCAL_MACHINE, OptionsKey, "ORB_KeepMaxMiB"), 200);
}
