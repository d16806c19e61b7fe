#pragma once

// The Windows version this system presents to its callers: a compatibility version, by default
// 10.0 build 19045 "Windows 10", which the environment can change:
//   ORBISCA_WINDOWS_VERSION   the true version (RtlGetVersion), "major.minor.build"
//   ORBISCA_WINDOWS_REPORTED  the version the toolkit reports, "major.minor"; by default the
//                             true major.minor
//   ORBISCA_WINDOWS_PRODUCT   the product name ("ProductName" of the CurrentVersion key) used
//                             when the hive holds none
// A value that does not parse is ignored with a line on the debug channel.

#include <QString>

#include <cstdint>

namespace platform {

struct WindowsVersion {
    uint32_t major = 10;
    uint32_t minor = 0;
    uint32_t build = 19045;
};

// "major.minor" or "major.minor.build" (surrounding blanks allowed); false for anything else.
bool ParseWindowsVersion(const QString& text, WindowsVersion* out);

// RtlGetVersion: the true version with its build number.
WindowsVersion RtlGetVersion();
// The version the toolkit reports (build 0).
WindowsVersion ReportedWindowsVersion();
// The product name of the compatibility version.
QString CompatibilityProductName();

} // namespace platform
