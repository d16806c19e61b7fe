// The file manager's context-menu texts and switches: what is read from and written to the
// classes root and the context-menu key, and what is never created there.

#include "FormsTestSupport.h"

#include "dialogs/options/ContextMenu.h"
#include "i18n/ProjectMessages.h"
#include "settings/Registry.h"

#include <QCheckBox>

using namespace settings;
using formstest::ValueType;

namespace {

class ContextMenuTest : public formstest::FormsFixture {};

const char* const kEntryValues[] = {
    "CONTEXTMENU_DEFRAG",  "CONTEXTMENU_DL",   "CONTEXTMENU_SHREDDER",
    "CONTEXTMENU_ENCRYPT", "CONTEXTMENU_DECRYPT", "CONTEXTMENU_SPLIT",
    "CONTEXTMENU_JOIN",    "CONTEXTMENU_RECYCLE_FW", "CONTEXTMENU_RECYCLE_UNDELETE"};

TEST_F(ContextMenuTest, WritesTheNineGermanTextsAndCreatesNothingUnderTheRecycleBin) {
    WriteContextMenuTexts();
    for (const char* value : kEntryValues) {
        EXPECT_EQ(ValueType(HKEY_LOCAL_MACHINE, ContextMenusKey, value), REG_SZ) << value;
        EXPECT_FALSE(RegReadString(HKEY_LOCAL_MACHINE, ContextMenusKey, value).isEmpty()) << value;
    }
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, ContextMenusKey, "CONTEXTMENU_DL"),
              "Analysiere Speicherbelegung mit Zelvano Tidewell");
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, ContextMenusKey, "CONTEXTMENU_RECYCLE_UNDELETE"),
              "Nach gelöschten Dateien suchen mit Zelvano Tidewell");
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, RecycleBinClassKey));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, "CLSID"));
}

TEST_F(ContextMenuTest, RegisteredVerbsGetTheirCaptionsAndAMissingMessageIsWrittenEmpty) {
    // A translation that lacks the join text: its message is empty from the load on.
    WriteFile("translation/x_fr.nlang3",
              "\xEF\xBB\xBFMESSAGES.MESSAGE_CONTEXTMENU_DL_QO8=Analyser avec Zelvano Tidewell\r\n"
              "MESSAGES.MESSAGE_CONTEXTMENU_SHREDDER_RECYCLE=Détruire le contenu\r\n");
    i18n::LOAD_INTERNAL_ONLY("P:\\translation", "x_fr");
    ASSERT_TRUE(RegWriteString(HKEY_CLASSES_ROOT, RecycleBinFileWiperKey, "", "old caption"));
    ASSERT_TRUE(RegWriteInteger(HKEY_CLASSES_ROOT, RecycleBinUndeleterKey, "Other", 5));

    WriteContextMenuTexts();

    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, ContextMenusKey, "CONTEXTMENU_DL"),
              "Analyser avec Zelvano Tidewell");
    EXPECT_TRUE(RegValueExists(HKEY_LOCAL_MACHINE, ContextMenusKey, "CONTEXTMENU_JOIN"));
    EXPECT_EQ(ValueType(HKEY_LOCAL_MACHINE, ContextMenusKey, "CONTEXTMENU_JOIN"), REG_SZ);
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, ContextMenusKey, "CONTEXTMENU_JOIN"), "");
    EXPECT_EQ(RegReadString(HKEY_CLASSES_ROOT, RecycleBinFileWiperKey, ""), "Détruire le contenu");
    // The undeleter's text is missing in the translation: its caption becomes empty too.
    EXPECT_TRUE(RegValueExists(HKEY_CLASSES_ROOT, RecycleBinUndeleterKey, ""));
    EXPECT_EQ(RegReadString(HKEY_CLASSES_ROOT, RecycleBinUndeleterKey, ""), "");
}

TEST_F(ContextMenuTest, BoxesLoadFromPresenceAndSaveTheFiveSwitches) {
    QCheckBox show, defrag, dl, fw, ed, fsj, recycleFw, recycleUndelete;
    const TContextMenuBoxes boxes{&show, {&defrag, &dl, &fw, &ed, &fsj}, &recycleFw,
                                  &recycleUndelete};
    for (QCheckBox* box : {&show, &defrag, &dl, &fw, &ed, &fsj, &recycleFw, &recycleUndelete})
        box->setChecked(true);

    // A value of 0 (or of any type) still means hidden.
    ASSERT_TRUE(RegWriteInteger(HKEY_LOCAL_MACHINE, ContextMenusKey, "Hide_FW", 0));
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, ContextMenusKey, "Hide_ED", "no"));
    ASSERT_TRUE(RegWriteString(HKEY_CLASSES_ROOT, RecycleBinUndeleterKey, "", "x"));
    LoadContextMenuBoxes(boxes);
    EXPECT_FALSE(show.isChecked());
    EXPECT_TRUE(defrag.isChecked());
    EXPECT_TRUE(dl.isChecked());
    EXPECT_FALSE(fw.isChecked());
    EXPECT_FALSE(ed.isChecked());
    EXPECT_TRUE(fsj.isChecked());
    EXPECT_FALSE(recycleFw.isChecked());
    EXPECT_TRUE(recycleUndelete.isChecked());

    ASSERT_TRUE(RegWriteString(HKEY_CLASSES_ROOT, ShellExtensionClassKey, "", "handler"));
    EXPECT_TRUE(ShellExtensionPresent());
    LoadContextMenuBoxes(boxes);
    EXPECT_TRUE(show.isChecked());

    ed.setChecked(true);
    dl.setChecked(false);
    SaveContextMenuBoxes(boxes);
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, ContextMenusKey, "Hide_DEFRAG"));
    EXPECT_EQ(ValueType(HKEY_LOCAL_MACHINE, ContextMenusKey, "Hide_DL"), REG_DWORD);
    EXPECT_EQ(RegReadInteger(HKEY_LOCAL_MACHINE, ContextMenusKey, "Hide_DL"), 1);
    EXPECT_EQ(RegReadInteger(HKEY_LOCAL_MACHINE, ContextMenusKey, "Hide_FW"), 1);
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, ContextMenusKey, "Hide_ED"));
    // Saving writes the texts as well; the file wiper's verb is not registered and stays absent.
    EXPECT_TRUE(RegValueExists(HKEY_LOCAL_MACHINE, ContextMenusKey, "CONTEXTMENU_SPLIT"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, RecycleBinFileWiperKey));
    EXPECT_EQ(RegReadString(HKEY_CLASSES_ROOT, RecycleBinUndeleterKey, ""),
              "Nach gelöschten Dateien suchen mit Zelvano Tidewell");
}

} // namespace
