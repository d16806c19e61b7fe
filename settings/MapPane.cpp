#include "settings/MapPane.h"

#include "settings/Registry.h"

#include <QString>

namespace settings {
namespace {

const QString kShownValue = QStringLiteral("ORB_ShowMap");
const QString kListShareValue = QStringLiteral("ORB_MapListPermille");
// Neither part may vanish: a stored share outside this range is not the user's choice.
constexpr int kMinPermille = 100;
constexpr int kMaxPermille = 900;

} // namespace

MapPaneSettings LoadMapPaneSettings() {
    MapPaneSettings s;
    if (RegValueExists(HKEY_LOCAL_MACHINE, OptionsKey, kShownValue))
        s.Shown = RegReadInteger(HKEY_LOCAL_MACHINE, OptionsKey, kShownValue) != 0;
    if (RegValueExists(HKEY_LOCAL_MACHINE, OptionsKey, kListShareValue)) {
        const int32_t share = RegReadInteger(HKEY_LOCAL_MACHINE, OptionsKey, kListShareValue);
        if (share >= kMinPermille && share <= kMaxPermille)
            s.ListPermille = share;
    }
    return s;
}

bool SaveMapPaneSettings(const MapPaneSettings& settings) {
    const int share = settings.ListPermille < kMinPermille   ? kMinPermille
                      : settings.ListPermille > kMaxPermille ? kMaxPermille
                                                             : settings.ListPermille;
    bool ok = RegWriteInteger(HKEY_LOCAL_MACHINE, OptionsKey, kShownValue, settings.Shown ? 1 : 0);
    ok &= RegWriteInteger(HKEY_LOCAL_MACHINE, OptionsKey, kListShareValue, share);
    return ok;
}

} // namespace settings
