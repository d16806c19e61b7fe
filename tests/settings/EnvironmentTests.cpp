#include "settings/EnvHelpers.h"
#include "settings/Environment.h"
#include "settings/Registry.h"

#include "platform/Debug.h"
#include "platform/Paths.h"
#include "platform/WinVersion.h"
#include "TempHive.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace settings;

namespace {

TEST(WindowsVersionRules, Table) {
    struct Case {
        const char* what;
        VersionFacts facts;
        bool windows10OrLater;
        bool windows11;
    };
    const Case cases[] = {
        {"true 10.0.22000 behind reported 6.2: rule (c)", {6, 2, 10, 0, 22000, "Windows 10 Pro"},
         true, true},
        {"true 10.0.19045 behind reported 6.2: nothing", {6, 2, 10, 0, 19045, "Windows 10 Pro"},
         false, false},
        {"reported 6.4 named Windows 10: rule (a)", {6, 4, 6, 4, 9841, "  windows 10 pro  "}, true,
         false},
        {"reported 6.4 named Windows 11: rule (a)", {6, 4, 6, 4, 9841, "Windows 11 Home"}, true,
         true},
        {"reported 6.3 is not above 3", {6, 3, 6, 3, 9600, "Windows 10"}, false, false},
        {"reported 6.4 with another name", {6, 4, 6, 4, 9841, "Windows 8.1"}, false, false},
        {"reported 10.0: rule (b)", {10, 0, 10, 0, 19045, "Windows 10"}, true, false},
        {"reported 11.0", {11, 0, 11, 0, 100, ""}, true, true},
        {"reported 10 with a true build of 22000: rule (c)", {10, 0, 6, 2, 22000, ""}, true, true},
        {"build 22000 needs a major of 10", {6, 3, 6, 3, 22000, ""}, false, false},
        {"Windows 11 named on 6.1 counts as 11 only", {6, 1, 6, 1, 7601, "Windows 11"}, false,
         true},
        {"Windows XP", {5, 1, 5, 1, 2600, "Microsoft Windows XP"}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const VersionVerdict v = JudgeWindowsVersion(c.facts);
        EXPECT_EQ(v.windows10OrLater, c.windows10OrLater);
        EXPECT_EQ(v.windows11, c.windows11);
    }
}

TEST(WindowsVersionRules, ParseVersionTexts) {
    struct Case {
        const char* text;
        bool ok;
        uint32_t major, minor, build;
    };
    const Case cases[] = {
        {"10.0.22631", true, 10, 0, 22631}, {" 6.2 ", true, 6, 2, 0}, {"", false, 0, 0, 0},
        {"10", false, 0, 0, 0},             {"10.x", false, 0, 0, 0}, {"10.0.1.2", false, 0, 0, 0},
        {"-1.0", false, 0, 0, 0},           {"10..1", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        platform::WindowsVersion v{99, 99, 99};
        EXPECT_EQ(platform::ParseWindowsVersion(QString::fromLatin1(c.text), &v), c.ok);
        if (c.ok) {
            EXPECT_EQ(v.major, c.major);
            EXPECT_EQ(v.minor, c.minor);
            EXPECT_EQ(v.build, c.build);
        }
    }
}

class SnapshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* v :
             {"ORBISCA_WINDOWS_VERSION", "ORBISCA_WINDOWS_REPORTED", "ORBISCA_WINDOWS_PRODUCT"})
            ::unsetenv(v);
    }
    void TearDown() override { SetUp(); }
    TempHive hive;
};

TEST_F(SnapshotTest, DefaultCompatibilityVersionIsWindows10) {
    platform::DebugCapture capture;
    TakeEnvironmentSnapshot();
    EXPECT_TRUE(IsWindows10OrLater);
    EXPECT_FALSE(RunningOnWow64);
    EXPECT_EQ(capture.lines(), QStringList({"WindowsVersion=10.0", "RTL WindowsVersion=10.0",
                                            "RTL WindowsVersion Build=19045"}));
}

TEST_F(SnapshotTest, TrueBuildOfWindows11BehindAnOldReportedVersion) {
    ::setenv("ORBISCA_WINDOWS_VERSION", "10.0.22631", 1);
    ::setenv("ORBISCA_WINDOWS_REPORTED", "6.2", 1);
    platform::DebugCapture capture;
    TakeEnvironmentSnapshot();
    EXPECT_TRUE(IsWindows10OrLater);
    EXPECT_EQ(capture.lines(),
              QStringList({"WindowsVersion=6.2", "RTL WindowsVersion=10.0",
                           "RTL WindowsVersion Build=22631", "Windows 11 detected"}));

    ::setenv("ORBISCA_WINDOWS_VERSION", "10.0.19045", 1);
    TakeEnvironmentSnapshot();
    EXPECT_FALSE(IsWindows10OrLater);
}

TEST_F(SnapshotTest, ProductNameComesFromTheHiveFirst) {
    ::setenv("ORBISCA_WINDOWS_VERSION", "6.4.9841", 1);
    ::setenv("ORBISCA_WINDOWS_PRODUCT", "Windows 8.1", 1);
    TakeEnvironmentSnapshot();
    EXPECT_FALSE(IsWindows10OrLater);

    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                               "ProductName", "Windows 10 Pro"));
    TakeEnvironmentSnapshot();
    EXPECT_TRUE(IsWindows10OrLater);
}

TEST_F(SnapshotTest, UnparsableVersionFallsBackWithADebugLine) {
    ::setenv("ORBISCA_WINDOWS_VERSION", "eleven", 1);
    platform::DebugCapture capture;
    TakeEnvironmentSnapshot();
    EXPECT_TRUE(capture.contains("ORBISCA_WINDOWS_VERSION=eleven is not a version"));
    EXPECT_TRUE(capture.contains("RTL WindowsVersion Build=19045"));
    EXPECT_TRUE(IsWindows10OrLater);
}

TEST(IsUserAdmin, JudgesTheCredentials) {
    struct Case {
        const char* what;
        Credentials credentials;
        bool admin;
    };
    const Case cases[] = {
        {"root", {0, 1000, {}, {}}, true},
        {"effective group 0", {1000, 0, {}, {}}, true},
        {"member of group 0", {1000, 1000, {24, 0}, {"ann", "cdrom", "root"}}, true},
        {"member of sudo", {1000, 1000, {27}, {"ann", "sudo"}}, true},
        {"member of wheel", {1000, 1000, {10}, {"ann", "wheel"}}, true},
        {"member of admin", {1000, 1000, {4}, {"ann", "admin"}}, true},
        {"plain user", {1000, 1000, {24, 100}, {"ann", "cdrom", "users"}}, false},
        {"similar names do not count", {1000, 1000, {5}, {"ann", "sudoers", "Admin"}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(IsUserAdmin(c.credentials), c.admin);
    }
    // The process's own credentials agree with its effective uid at least for root.
    const Credentials own = ProcessCredentials();
    if (own.effectiveUid == 0) {
        EXPECT_TRUE(IsUserAdmin());
    }
    EXPECT_EQ(own.groupNames.size(), own.groups.size() + 1);
}

TEST(SystemHelpers, SpecialFolderAndWow64) {
    const char* oldXdg = std::getenv("XDG_DATA_HOME");
    const std::string savedXdg = oldXdg ? oldXdg : "";
    ::setenv("XDG_DATA_HOME", "/srv/data/share/", 1);
    EXPECT_EQ(SpecialFolderPath(nullptr, CSIDL_LOCAL_APPDATA), "C:\\srv\\data\\share");
    ::setenv("XDG_DATA_HOME", "relative/ignored", 1);
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    if (!home.empty() && home[0] == '/') {
        EXPECT_EQ(SpecialFolderPath(nullptr, CSIDL_LOCAL_APPDATA),
                  platform::WindowsPath(home + "/.local/share"));
    }
    EXPECT_EQ(SpecialFolderPath(nullptr, 9999), QString());
    EXPECT_EQ(SpecialFolderPath(nullptr, 26), QString()); // roaming data has no folder here
    if (oldXdg)
        ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");

    EXPECT_FALSE(IsProcessWow64());
    void* state = &state;
    EXPECT_FALSE(DisableFsRedirection(&state));
    EXPECT_EQ(state, &state);
    EXPECT_FALSE(RevertFsRedirection(state));
    EXPECT_FALSE(EnableFsRedirection());
    TrimWorkingSet();
}

} // namespace
