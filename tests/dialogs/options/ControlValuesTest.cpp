// Check boxes and edits through the registry store under their names.

#include "dialogs/options/ControlValues.h"
#include "tests/settings/TempHive.h"

#include <QCheckBox>
#include <QLineEdit>

#include <gtest/gtest.h>

using namespace settings;

namespace {

TEST(ControlValues, CheckBoxesAndEditsPersistUnderTheirNames) {
    TempHive hive;
    struct BoxCase {
        const char* what;
        bool store;
        int32_t stored;
        bool initially;
        bool expected;
    };
    const BoxCase boxCases[] = {
        {"0 unchecks", true, 0, true, false},      {"1 checks", true, 1, false, true},
        {"2 leaves checked", true, 2, true, true}, {"2 leaves unchecked", true, 2, false, false},
        {"-1 leaves it", true, -1, true, true},    {"absent keeps", false, 0, true, true},
    };
    for (const BoxCase& c : boxCases) {
        SCOPED_TRACE(c.what);
        RegRemoveValue(HKEY_LOCAL_MACHINE, OptionsKey, "CheckBox_ORB_ShowOwnGroup");
        if (c.store) {
            ASSERT_TRUE(RegWriteInteger(HKEY_LOCAL_MACHINE, OptionsKey, "CheckBox_ORB_ShowOwnGroup",
                                        c.stored));
        }
        QCheckBox box;
        box.setObjectName("CheckBox_ORB_ShowOwnGroup");
        box.setChecked(c.initially);
        LoadCheckBoxState(HKEY_LOCAL_MACHINE, OptionsKey, &box);
        EXPECT_EQ(box.isChecked(), c.expected);
    }

    QCheckBox box;
    box.setObjectName("CheckBox_ORB_ShowOwnGroup");
    box.setChecked(true);
    SaveCheckBoxState(HKEY_LOCAL_MACHINE, OptionsKey, &box);
    EXPECT_EQ(RegReadInteger(HKEY_LOCAL_MACHINE, OptionsKey, "CheckBox_ORB_ShowOwnGroup"), 1);
    box.setChecked(false);
    SaveCheckBoxState(HKEY_LOCAL_MACHINE, OptionsKey, &box);
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, OptionsKey, "CheckBox_ORB_ShowOwnGroup"), "0");

    QLineEdit edit;
    edit.setObjectName("Edit_ORB_Audio");
    edit.setText("MP3 ; OGG ; WAV ; MID ; WMA");
    LoadEditText(HKEY_LOCAL_MACHINE, OptionsKey, &edit); // absent: built-in text stays
    EXPECT_EQ(edit.text(), "MP3 ; OGG ; WAV ; MID ; WMA");
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Audio", ""));
    LoadEditText(HKEY_LOCAL_MACHINE, OptionsKey, &edit); // stored empty text wins
    EXPECT_EQ(edit.text(), "");
    edit.setText("FLAC ; OPUS");
    SaveEditText(HKEY_LOCAL_MACHINE, OptionsKey, &edit);
    QLineEdit other;
    other.setObjectName("edit_orb_audio"); // names compare without case
    LoadEditText(HKEY_LOCAL_MACHINE, OptionsKey, &other);
    EXPECT_EQ(other.text(), "FLAC ; OPUS");
}

} // namespace
