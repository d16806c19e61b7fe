#include "platform/WinVersion.h"

#include "platform/Debug.h"

#include <QStringList>

#include <cstdlib>

namespace platform {
namespace {

QString environment(const char* name) {
    const char* v = std::getenv(name);
    return v ? QString::fromLocal8Bit(v) : QString();
}

// The variable's version, or fallback when it is unset or does not parse.
WindowsVersion versionFrom(const char* variable, WindowsVersion fallback, bool withBuild) {
    const QString text = environment(variable);
    if (text.isEmpty())
        return fallback;
    WindowsVersion v;
    if (!ParseWindowsVersion(text, &v)) {
        OutputDebugStringW(QStringLiteral("%1=%2 is not a version; using %3.%4")
                               .arg(QLatin1String(variable), text)
                               .arg(fallback.major)
                               .arg(fallback.minor));
        return fallback;
    }
    if (!withBuild)
        v.build = 0;
    return v;
}

} // namespace

bool ParseWindowsVersion(const QString& text, WindowsVersion* out) {
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() < 2 || parts.size() > 3)
        return false;
    uint32_t numbers[3] = {0, 0, 0};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const uint n = parts[i].toUInt(&ok, 10);
        if (!ok || parts[i].isEmpty() || !parts[i][0].isDigit())
            return false;
        numbers[i] = n;
    }
    *out = WindowsVersion{numbers[0], numbers[1], numbers[2]};
    return true;
}

WindowsVersion RtlGetVersion() {
    return versionFrom("ORBISCA_WINDOWS_VERSION", WindowsVersion{}, true);
}

WindowsVersion ReportedWindowsVersion() {
    WindowsVersion real = RtlGetVersion();
    real.build = 0;
    return versionFrom("ORBISCA_WINDOWS_REPORTED", real, false);
}

QString CompatibilityProductName() {
    const QString name = environment("ORBISCA_WINDOWS_PRODUCT");
    return name.isEmpty() ? QStringLiteral("Windows 10") : name;
}

} // namespace platform
