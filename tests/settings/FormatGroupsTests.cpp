// The file-format groups through the registry store, and the program's copy of them.

#include "settings/FormatGroups.h"
#include "settings/Registry.h"

#include "TempHive.h"

#include <gtest/gtest.h>

using namespace settings;

namespace {

class FormatGroupsTest : public ::testing::Test {
protected:
    void TearDown() override { ForgetProgramFormatGroups(); }
    TempHive hive;
};

// Every group, the switch and the name, all different from the built-in state.
FormatGroups changedGroups() {
    FormatGroups groups;
    for (const FormatGroupInfo& group : kFormatGroups)
        groups.SetList(group.id, QString::fromUtf8(group.valueName).toUpper() + u'\u00C4');
    groups.SetList(FormatGroupId::Video, QString()); // an empty list stays empty
    groups.ShowOwnGroup = true;
    groups.OwnGroupName = QStringLiteral("Projekte");
    return groups;
}

TEST_F(FormatGroupsTest, SavedGroupsLoadBackAndAnEmptyHiveGivesTheBuiltInOnes) {
    FormatGroups loaded;
    loaded.Load();
    EXPECT_EQ(loaded, FormatGroups());
    EXPECT_EQ(loaded.List(FormatGroupId::Audio), "MP3 ; OGG ; WAV ; MID ; WMA");
    EXPECT_FALSE(loaded.ShowOwnGroup);

    const FormatGroups saved = changedGroups();
    ASSERT_TRUE(saved.Save());
    loaded.Load();
    EXPECT_EQ(loaded, saved);
    // Under the names of the table.
    EXPECT_EQ(RegReadInteger(HKEY_LOCAL_MACHINE, OptionsKey, kShowOwnGroupValue), 1);
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Bild"),
              QStringLiteral("EDIT_ORB_BILD\u00C4"));
}

TEST_F(FormatGroupsTest, OnlyStoredValuesReplaceWhatIsThere) {
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Audio", "FLAC");
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Name_OwnGroup", "");
    FormatGroups groups = changedGroups();
    groups.Load();
    FormatGroups expected = changedGroups();
    expected.SetList(FormatGroupId::Audio, "FLAC");
    expected.OwnGroupName.clear();
    EXPECT_EQ(groups, expected);
}

TEST_F(FormatGroupsTest, TheSwitchTakesAStoredZeroOrOneOnly) {
    struct Case {
        const char* what;
        bool store;
        int32_t stored;
        bool before;
        bool after;
    };
    const Case cases[] = {
        {"0 switches off", true, 0, true, false}, {"1 switches on", true, 1, false, true},
        {"2 leaves on", true, 2, true, true},     {"2 leaves off", true, 2, false, false},
        {"-1 leaves on", true, -1, true, true},   {"absent leaves on", false, 0, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegRemoveValue(HKEY_LOCAL_MACHINE, OptionsKey, kShowOwnGroupValue);
        if (c.store) {
            ASSERT_TRUE(
                RegWriteInteger(HKEY_LOCAL_MACHINE, OptionsKey, kShowOwnGroupValue, c.stored));
        }
        FormatGroups groups;
        groups.ShowOwnGroup = c.before;
        groups.Load();
        EXPECT_EQ(groups.ShowOwnGroup, c.after);
    }
}

TEST(FormatGroupRules, TheOwnGroupIsOfferedWithNameAndListAndShownWithAName) {
    struct Case {
        bool show;
        const char* name;
        const char* list;
        bool offered;
        bool shown;
    };
    const Case cases[] = {
        {true, "Mine", "TXT", true, true},  {true, "Mine", "", false, true},
        {true, "", "TXT", false, false},    {false, "Mine", "TXT", false, false},
    };
    for (const Case& c : cases) {
        FormatGroups groups;
        groups.ShowOwnGroup = c.show;
        groups.OwnGroupName = QString::fromUtf8(c.name);
        groups.SetList(FormatGroupId::Own, QString::fromUtf8(c.list));
        EXPECT_EQ(groups.OwnGroupOffered(), c.offered) << c.show << c.name << c.list;
        EXPECT_EQ(groups.OwnGroupShown(), c.shown) << c.show << c.name << c.list;
    }
}

TEST(FormatGroupRules, EveryIdHasOneRowWithItsOwnValue) {
    QStringList names{kShowOwnGroupValue, kOwnGroupNameValue};
    for (int id = 0; id < kFormatGroupCount; ++id) {
        const FormatGroupInfo& group = FormatGroupInfoOf(static_cast<FormatGroupId>(id));
        EXPECT_EQ(static_cast<int>(group.id), id);
        EXPECT_EQ(group.messageKey == nullptr, group.id == FormatGroupId::Own);
        names.append(QString::fromUtf8(group.valueName));
    }
    names.removeDuplicates();
    EXPECT_EQ(names.size(), kFormatGroupCount + 2);
}

TEST_F(FormatGroupsTest, TheProgramsGroupsLoadAtFirstUseAndAgainAfterForgetting) {
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Apps", "APPIMAGE");
    EXPECT_EQ(ProgramFormatGroups().List(FormatGroupId::Applications), "APPIMAGE");
    ProgramFormatGroups().SetList(FormatGroupId::Applications, "EXE");
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Apps", "ELF");
    EXPECT_EQ(ProgramFormatGroups().List(FormatGroupId::Applications), "EXE"); // kept in memory
    ForgetProgramFormatGroups();
    EXPECT_EQ(ProgramFormatGroups().List(FormatGroupId::Applications), "ELF");
}

} // namespace
