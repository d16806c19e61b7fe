#pragma once

// The start-up record of the environment: whether the process runs under WOW64, and whether
// the Windows version counts as Windows 10 or later (and as Windows 11). The rules are pure
// functions of the versions and the product name, so they are testable without a machine.

#include <QString>

#include <cstdint>

namespace settings {

struct VersionFacts {
    uint32_t reportedMajor = 0; // as the toolkit reports it
    uint32_t reportedMinor = 0;
    uint32_t trueMajor = 0; // as RtlGetVersion reports it
    uint32_t trueMinor = 0;
    uint32_t trueBuild = 0;
    QString productName; // "ProductName" of SOFTWARE\Microsoft\Windows NT\CurrentVersion
};

struct VersionVerdict {
    bool windows10OrLater = false;
    bool windows11 = false;
};

// Windows 10 or later when any of these holds:
//  (a) reported 6.x with x > 3 and the product name (trimmed, upper case) contains
//      "WINDOWS 10" or "WINDOWS 11";
//  (b) reported major 10 or more;
//  (c) true or reported major 10 or more, and true build 22000 or more.
// Windows 11 when the product name contains "WINDOWS 11", the reported major is 11 or more, or
// rule (c) holds.
VersionVerdict JudgeWindowsVersion(const VersionFacts& facts);

// The values the snapshot records; false until TakeEnvironmentSnapshot has run.
extern bool RunningOnWow64;
extern bool IsWindows10OrLater;

// Records RunningOnWow64 and IsWindows10OrLater from the platform's versions and the hive's
// product name (the compatibility product name when the hive has none), writes the version
// lines to the debug channel and fixes ProgramFolder.
void TakeEnvironmentSnapshot();

} // namespace settings
