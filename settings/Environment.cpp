#include "settings/Environment.h"

#include "platform/Debug.h"
#include "platform/ProgramFolder.h"
#include "platform/WinVersion.h"
#include "settings/EnvHelpers.h"
#include "settings/Registry.h"

namespace settings {

bool RunningOnWow64 = false;
bool IsWindows10OrLater = false;

VersionVerdict JudgeWindowsVersion(const VersionFacts& f) {
    const QString product = f.productName.trimmed().toUpper();
    const bool names10or11 = product.contains(QLatin1String("WINDOWS 10")) ||
                             product.contains(QLatin1String("WINDOWS 11"));
    const bool ruleA = f.reportedMajor == 6 && f.reportedMinor > 3 && names10or11;
    const bool ruleB = f.reportedMajor >= 10;
    const bool ruleC = (f.trueMajor >= 10 || f.reportedMajor >= 10) && f.trueBuild >= 22000;
    VersionVerdict v;
    v.windows10OrLater = ruleA || ruleB || ruleC;
    v.windows11 = product.contains(QLatin1String("WINDOWS 11")) || f.reportedMajor >= 11 || ruleC;
    return v;
}

void TakeEnvironmentSnapshot() {
    using platform::OutputDebugStringW;
    RunningOnWow64 = IsProcessWow64();

    const platform::WindowsVersion reported = platform::ReportedWindowsVersion();
    const platform::WindowsVersion real = platform::RtlGetVersion();
    OutputDebugStringW(QStringLiteral("WindowsVersion=%1.%2").arg(reported.major).arg(reported.minor));
    OutputDebugStringW(QStringLiteral("RTL WindowsVersion=%1.%2").arg(real.major).arg(real.minor));
    OutputDebugStringW(QStringLiteral("RTL WindowsVersion Build=%1").arg(real.build));

    VersionFacts facts;
    facts.reportedMajor = reported.major;
    facts.reportedMinor = reported.minor;
    facts.trueMajor = real.major;
    facts.trueMinor = real.minor;
    facts.trueBuild = real.build;
    facts.productName = RegReadString(HKEY_LOCAL_MACHINE,
                                      QStringLiteral("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"),
                                      QStringLiteral("ProductName"));
    if (facts.productName.isEmpty())
        facts.productName = platform::CompatibilityProductName();

    const VersionVerdict verdict = JudgeWindowsVersion(facts);
    IsWindows10OrLater = verdict.windows10OrLater;
    if (verdict.windows11)
        OutputDebugStringW(QStringLiteral("Windows 11 detected"));

    platform::ProgramFolder(); // computed once, from the program's own path
}

} // namespace settings
