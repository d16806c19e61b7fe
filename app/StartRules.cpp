#include "app/StartRules.h"

#include "i18n/ProjectMessages.h"
#include "platform/Hive.h"
#include "settings/Registry.h"

namespace app {
namespace {

// A message with its first "%n" (in any case) replaced by value.
QString withFirst(const QString& text, const QString& placeholder, const QString& value) {
    const qsizetype at = text.indexOf(placeholder, 0, Qt::CaseInsensitive);
    if (at < 0)
        return text;
    QString out = text;
    return out.replace(at, placeholder.size(), value);
}

} // namespace

TStartVerb ClassifyStartVerb(const QString& first) {
    if (first.isEmpty())
        return TStartVerb::None;
    if (first == u"-NOVERSION")
        return TStartVerb::NoVersion;
    if (first == u"-SHOWALLPROBLEMS")
        return TStartVerb::ShowAllProblems;
    if (first == u"-CONTEXTDL")
        return TStartVerb::ContextDL;
    if (first == u"-SAVE")
        return TStartVerb::Save;
    for (const char* verb : {"-SETUPLT2", "-REMOVEPLANNEDTASKS", "-ADDOCOTASK", "-REMOVECONTEXT",
                             "-SETUPCONTEXT"})
        if (first == QLatin1String(verb))
            return TStartVerb::Maintenance;
    return TStartVerb::Other;
}

TStartPlan PlanStart(TStartVerb verb) {
    TStartPlan plan;
    switch (verb) {
    case TStartVerb::Maintenance:
        plan.endAfterChecks = true;
        break;
    case TStartVerb::Save:
        plan.saveVerb = true;
        break;
    case TStartVerb::None:
    case TStartVerb::NoVersion:
    case TStartVerb::ShowAllProblems:
    case TStartVerb::ContextDL:
    case TStartVerb::Other:
        plan.createMainWindow = true;
        plan.showFirstModule = true;
        break;
    }
    return plan;
}

QString NeedsWindowsXpText() { return QStringLiteral("This software requires Windows XP or higher!"); }

QString NeedsAdministratorText() {
    return QStringLiteral("This software requires full administrator-rights! Please start this "
                          "software as Administrator.");
}

QString NeedsElevationText() {
    return QStringLiteral("This software requires full administrator-rights! Please enable \"User "
                          "Account Control\" (UAC) and start this software as Administrator.");
}

QString SaveVerbText(const QString& programFolder) {
    return QStringLiteral("No translation was saved: this version has no translation export.\n"
                          "The built-in German texts are shipped as ") +
           programFolder + QStringLiteral("\\translation\\orb2024_de-de.nlang3.");
}

QString SkinsMissingText(const QString& skinsFolder) {
    QString folder = skinsFolder;
    while (folder.endsWith(u'\\'))
        folder.chop(1);
    return withFirst(i18n::Message(i18n::Msg::MESSAGE_SKINS_MISSING), QStringLiteral("%1"), folder);
}

QString HiveNotWritableText(const QString& hiveFile, const QString& reason) {
    // The reason first: a file name may itself hold a "%2".
    const QString text = withFirst(i18n::Message(i18n::Msg::MESSAGE_HIVE_NOT_WRITABLE),
                                   QStringLiteral("%2"), reason);
    return withFirst(text, QStringLiteral("%1"), hiveFile);
}

QString FailedStartCheck(uint32_t reportedMajor, bool isUserAdmin, bool elevated,
                         const std::function<TRightsCheck()>& rightsTest) {
    if (reportedMajor < 5)
        return NeedsWindowsXpText();
    if (!isUserAdmin)
        return NeedsAdministratorText();
    if (!rightsTest)
        return NeedsElevationText();
    const TRightsCheck check = rightsTest();
    if (check.written)
        return {};
    return elevated ? HiveNotWritableText(check.hiveFile, check.reason) : NeedsElevationText();
}

TRightsCheck CheckRights() {
    using namespace settings;
    const QString name = QStringLiteral("CheckRights");
    TRightsCheck check;
    if (RegWriteInteger(HKEY_LOCAL_MACHINE, OptionsKey, name, 1)) {
        RegRemoveValue(HKEY_LOCAL_MACHINE, OptionsKey, name);
        check.written = true;
        return check;
    }
    const std::shared_ptr<platform::Hive> hive = platform::MachineHive();
    std::string reason = platform::HiveWriteRefusal(hive->path());
    if (reason.empty())
        reason = hive->lastError();
    check.hiveFile = QString::fromLocal8Bit(hive->path().c_str());
    check.reason = QString::fromLocal8Bit(reason.c_str());
    return check;
}

bool FirstModuleThroughSwitcher(uint32_t reportedMajor, uint32_t reportedMinor) {
    return reportedMajor == 6 && reportedMinor == 0;
}

} // namespace app
