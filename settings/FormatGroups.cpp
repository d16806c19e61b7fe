#include "settings/FormatGroups.h"

#include "settings/Registry.h"

#include <optional>

namespace settings {
namespace {

std::optional<FormatGroups>& programGroups() {
    static std::optional<FormatGroups> groups;
    return groups;
}

// A stored text replaces `text`; nothing stored leaves it.
void loadText(const char* name, QString& text) {
    const QString value = QLatin1String(name);
    if (RegValueExists(HKEY_LOCAL_MACHINE, OptionsKey, value))
        text = RegReadString(HKEY_LOCAL_MACHINE, OptionsKey, value);
}

} // namespace

const FormatGroupInfo& FormatGroupInfoOf(FormatGroupId id) {
    for (const FormatGroupInfo& group : kFormatGroups)
        if (group.id == id)
            return group;
    return kFormatGroups.back(); // every id is in the table
}

FormatGroups::FormatGroups() {
    for (const FormatGroupInfo& group : kFormatGroups)
        SetList(group.id, QString::fromUtf8(group.builtInList));
}

bool FormatGroups::OwnGroupOffered() const {
    return OwnGroupShown() && !List(FormatGroupId::Own).isEmpty();
}

bool FormatGroups::OwnGroupShown() const { return ShowOwnGroup && !OwnGroupName.isEmpty(); }

void FormatGroups::Load() {
    for (const FormatGroupInfo& group : kFormatGroups)
        loadText(group.valueName, lists_[static_cast<size_t>(group.id)]);
    const QString show = QLatin1String(kShowOwnGroupValue);
    if (RegValueExists(HKEY_LOCAL_MACHINE, OptionsKey, show)) {
        const int32_t stored = RegReadInteger(HKEY_LOCAL_MACHINE, OptionsKey, show);
        if (stored == 0 || stored == 1)
            ShowOwnGroup = stored == 1;
    }
    loadText(kOwnGroupNameValue, OwnGroupName);
}

bool FormatGroups::Save() const {
    bool ok = true;
    for (const FormatGroupInfo& group : kFormatGroups)
        ok &= RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, QLatin1String(group.valueName),
                             List(group.id));
    ok &= RegWriteInteger(HKEY_LOCAL_MACHINE, OptionsKey, QLatin1String(kShowOwnGroupValue),
                          ShowOwnGroup ? 1 : 0);
    ok &= RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, QLatin1String(kOwnGroupNameValue),
                         OwnGroupName);
    return ok;
}

FormatGroups& ProgramFormatGroups() {
    std::optional<FormatGroups>& groups = programGroups();
    if (!groups) {
        groups.emplace();
        groups->Load();
    }
    return *groups;
}

void ForgetProgramFormatGroups() { programGroups().reset(); }

} // namespace settings
