// The file-format groups through the registry store, and the program's copy of them.

#include "settings/FormatGroups.h"
#include "settings/Registry.h"

#include "TempHive.h"

#include <gtest/gtest.h>

#include <optional>

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
    EXPECT_EQ(loaded.List(FormatGroupId::Audio),
              "MP3 ; OGG ; WAV ; MID ; WMA ; FLAC ; M4A ; AAC ; OPUS ; AIFF ; APE");
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
        {true, "Mine", "TXT", true, true},
        {true, "Mine", "", false, true},
        {true, "", "TXT", false, false},
        {false, "Mine", "TXT", false, false},
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

// A desktop's files of today land in their groups by the built-in lists: each extension in the
// group that is searched first (by id) among those holding it, and the long-standing formats
// where they were. Stored lists stay as stored.
TEST_F(FormatGroupsTest, BuiltInListsPlaceTodaysFormatsInTheirGroups) {
    const FormatGroups builtIn;
    const auto groupOf = [&builtIn](const QString& extension) -> std::optional<FormatGroupId> {
        for (int id = 0; id < kFormatGroupCount; ++id) {
            const auto group = static_cast<FormatGroupId>(id);
            for (const QString& entry : builtIn.List(group).split(u';'))
                if (entry.trimmed() == extension)
                    return group;
        }
        return std::nullopt;
    };
    using G = FormatGroupId;
    const struct {
        G group;
        const char* extensions;
    } cases[] = {
        {G::Video, "AVI MP4 MKV WEBM M4V FLV TS 3GP OGV"},
        {G::Audio, "MP3 WAV FLAC M4A AAC OPUS AIFF APE"},
        {G::Pictures, "JPG PNG TIF WEBP HEIC HEIF AVIF SVG TIFF ICO CR2 NEF ARW DNG RAW"},
        {G::Archives, "ZIP TAR GZ TGZ BZ2 XZ ZST LZ LZMA DEB RPM ISO DMG JAR APK SNAP FLATPAK"},
        {G::Documents, "DOC HTML PDF DOCX XLSX PPTX ODT ODS ODP EPUB TXT MD CSV TEX"},
        {G::Applications, "EXE DLL SH APPIMAGE SO MSI RUN BIN"},
    };
    for (const auto& c : cases) {
        for (const QString& extension : QString::fromLatin1(c.extensions).split(u' ')) {
            SCOPED_TRACE(extension.toStdString());
            EXPECT_EQ(groupOf(extension), c.group);
        }
    }
    EXPECT_EQ(groupOf(QStringLiteral("PROFILE")), std::nullopt);
    EXPECT_TRUE(builtIn.List(G::Own).isEmpty());

    // A list the user stored before is what loads, however short it is.
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Docs", "DOC ; XLS");
    FormatGroups loaded;
    loaded.Load();
    EXPECT_EQ(loaded.List(G::Documents), "DOC ; XLS");
    EXPECT_EQ(loaded.List(G::Archives), builtIn.List(G::Archives));
}

} // namespace
