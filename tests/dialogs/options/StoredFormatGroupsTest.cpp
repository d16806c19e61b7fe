// Hives whose format groups were stored through the options dialog's controls (one value per
// control, under its name) load into the format groups unchanged, and what the groups store
// reads back into such controls.

#include "dialogs/options/ControlValues.h"
#include "settings/FormatGroups.h"
#include "tests/settings/TempHive.h"

#include <QCheckBox>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace settings;

namespace {

// The page's controls for the groups, named as their values, showing `groups`.
struct FormatControls {
    explicit FormatControls(const FormatGroups& groups) {
        for (const FormatGroupInfo& group : kFormatGroups)
            add(group.valueName, groups.List(group.id));
        name = add(kOwnGroupNameValue, groups.OwnGroupName);
        show.setObjectName(QLatin1String(kShowOwnGroupValue));
        show.setChecked(groups.ShowOwnGroup);
    }
    QLineEdit* add(const char* valueName, const QString& text) {
        edits.push_back(std::make_unique<QLineEdit>(text));
        edits.back()->setObjectName(QLatin1String(valueName));
        return edits.back().get();
    }
    void Save() const {
        for (const auto& edit : edits)
            SaveEditText(HKEY_LOCAL_MACHINE, OptionsKey, edit.get());
        SaveCheckBoxState(HKEY_LOCAL_MACHINE, OptionsKey, &show);
    }
    void Load() {
        for (const auto& edit : edits)
            LoadEditText(HKEY_LOCAL_MACHINE, OptionsKey, edit.get());
        LoadCheckBoxState(HKEY_LOCAL_MACHINE, OptionsKey, &show);
    }
    FormatGroups Shown() const {
        FormatGroups groups;
        for (size_t i = 0; i < kFormatGroups.size(); ++i)
            groups.SetList(kFormatGroups[i].id, edits[i]->text());
        groups.OwnGroupName = name->text();
        groups.ShowOwnGroup = show.isChecked();
        return groups;
    }

    std::vector<std::unique_ptr<QLineEdit>> edits;
    QLineEdit* name = nullptr;
    QCheckBox show;
};

FormatGroups userGroups(bool showOwn) {
    FormatGroups groups;
    groups.SetList(FormatGroupId::Audio, QStringLiteral("FLAC ; MP3 ; \u00D6GG"));
    groups.SetList(FormatGroupId::Video, QString());
    groups.SetList(FormatGroupId::Own, QStringLiteral("CPP ; H"));
    groups.OwnGroupName = QStringLiteral("Projekte");
    groups.ShowOwnGroup = showOwn;
    return groups;
}

TEST(StoredFormatGroups, ControlsAndGroupsReadWhatTheOtherStored) {
    for (const bool showOwn : {true, false}) {
        SCOPED_TRACE(showOwn);
        TempHive hive;
        const FormatGroups stored = userGroups(showOwn);
        FormatControls(stored).Save();
        FormatGroups loaded;
        loaded.Load();
        EXPECT_EQ(loaded, stored);

        ASSERT_TRUE(RegDeleteKeyTree(HKEY_LOCAL_MACHINE, OptionsKey));
        ASSERT_TRUE(stored.Save());
        FormatControls controls{FormatGroups()};
        controls.show.setChecked(!showOwn);
        controls.Load();
        EXPECT_EQ(controls.Shown(), stored);
    }
}

} // namespace
