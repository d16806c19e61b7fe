#include "settings/KeptAnalyses.h"

#include "settings/Registry.h"

#include <QString>

namespace settings {
namespace {

const QString kPerDriveValue = QStringLiteral("ORB_KeepPerDrive");
const QString kTotalValue = QStringLiteral("ORB_KeepMaxMiB");

int readInRange(const QString& name, int fallback, int low, int high) {
    if (!RegValueExists(HKEY_LOCAL_MACHINE, OptionsKey, name))
        return fallback;
    const int32_t v = RegReadInteger(HKEY_LOCAL_MACHINE, OptionsKey, name);
    return v >= low && v <= high ? v : fallback;
}

} // namespace

KeptAnalysesSettings LoadKeptAnalysesSettings() {
    KeptAnalysesSettings s;
    s.PerDrive = readInRange(kPerDriveValue, s.PerDrive, 0, kMaxKeptPerDrive);
    s.MaxTotalMiB = readInRange(kTotalValue, s.MaxTotalMiB, 0, kMaxKeptTotalMiB);
    return s;
}

bool SaveKeptAnalysesSettings(const KeptAnalysesSettings& settings) {
    bool ok = RegWriteInteger(HKEY_LOCAL_MACHINE, OptionsKey, kPerDriveValue, settings.PerDrive);
    ok &= RegWriteInteger(HKEY_LOCAL_MACHINE, OptionsKey, kTotalValue, settings.MaxTotalMiB);
    return ok;
}

} // namespace settings
