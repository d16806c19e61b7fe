// The user the program acts for and that user's session environment.

#include "UserActionsSupport.h"

#include <sys/socket.h>
#include <sys/un.h>

namespace {

using platform::ParseUserId;
using platform::ResolveUserSession;
using platform::SessionProbe;
using namespace testing_user;

TEST(UserSession, UserIdsAreParsedStrictly) {
    const struct {
        const char* text;
        std::optional<uid_t> expected;
    } cases[] = {
        {"0", 0u},
        {"1000", 1000u},
        {"0001000", 1000u},
        {"4294967294", 4294967294u},
        {"4294967295", std::nullopt}, // (uid_t)-1 is "no user"
        {"4294967296", std::nullopt},
        {"184467440737095516160", std::nullopt},
        // 2^64 and 2^64 + 1000: no wrapping into root or an ordinary account
        {"18446744073709551616", std::nullopt},
        {"18446744073709552616", std::nullopt},
        {"00000000000000000000001000", 1000u},
        {"", std::nullopt},
        {" 1000", std::nullopt},
        {"1000 ", std::nullopt},
        {"1000\n", std::nullopt},
        {"+1000", std::nullopt},
        {"-1", std::nullopt},
        {"10a", std::nullopt},
        {"0x10", std::nullopt},
        {"1e3", std::nullopt},
        {"\xef\xbc\x91", std::nullopt}, // a full-width digit one
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseUserId(c.text), c.expected);
    }
}

SessionProbe probeFor(uid_t effective, std::map<std::string, std::string> env) {
    SessionProbe probe;
    probe.effectiveUid = effective;
    probe.effectiveGid = effective;
    probe.environment = std::move(env);
    probe.runtimeRoot = "/nonexistent";
    probe.lookupUser = [](uid_t uid) -> std::optional<platform::PasswdEntry> {
        switch (uid) {
        case 0:
            return platform::PasswdEntry{0, 0, "root", "/root"};
        case 1000:
            return platform::PasswdEntry{1000, 100, "ann", "/home/ann"};
        case 1001:
            return platform::PasswdEntry{1001, 100, "bob", "/home/bob"};
        default:
            return std::nullopt;
        }
    };
    return probe;
}

TEST(UserSession, TheUserComesFromPkexecThenSudoOnlyForRoot) {
    const struct {
        uid_t effective;
        std::map<std::string, std::string> env;
        uid_t uid;
        const char* name;
        const char* source;
        const char* refusal = ""; // the variable that names no user: nothing is done for a user
    } cases[] = {
        {0, {{"PKEXEC_UID", "1000"}, {"SUDO_UID", "1001"}}, 1000, "ann", "PKEXEC_UID"},
        {0, {{"SUDO_UID", "1001"}}, 1001, "bob", "SUDO_UID"},
        // The first variable present decides; one that names nobody is never passed over.
        {0, {{"PKEXEC_UID", "1000x"}, {"SUDO_UID", "1001"}}, 0, "root", "effective user",
         "PKEXEC_UID=1000x"},
        {0, {{"PKEXEC_UID", "4242"}}, 0, "root", "effective user", "PKEXEC_UID=4242"},
        {0, {{"PKEXEC_UID", "18446744073709551616"}}, 0, "root", "effective user",
         "PKEXEC_UID=18446744073709551616"},
        {0, {{"PKEXEC_UID", ""}, {"SUDO_UID", "-1001"}}, 0, "root", "effective user",
         "PKEXEC_UID="},
        {0, {{"SUDO_UID", "-1001"}}, 0, "root", "effective user", "SUDO_UID=-1001"},
        {0, {}, 0, "root", "effective user"},
        // Without root rights the variables mean nothing: anyone can set them.
        {1000, {{"PKEXEC_UID", "0"}, {"SUDO_UID", "1001"}}, 1000, "ann", "effective user"},
        {1000, {{"PKEXEC_UID", "4242"}}, 1000, "ann", "effective user"},
        // An effective user without an account keeps its number as name.
        {4242, {{"HOME", "/srv/x"}}, 4242, "4242", "effective user"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " from " + c.source);
        const platform::UserSession session = ResolveUserSession(probeFor(c.effective, c.env));
        EXPECT_EQ(session.uid, c.uid);
        EXPECT_EQ(session.name, c.name);
        EXPECT_EQ(session.source, c.source);
        EXPECT_EQ(session.refusal, c.refusal);
        EXPECT_EQ(session.CanActForUser(), *c.refusal == 0);
        EXPECT_EQ(session.Env("USER"), c.name);
        EXPECT_EQ(session.Env("LOGNAME"), c.name);
        EXPECT_EQ(session.Env("HOME"), session.home);
    }
    EXPECT_EQ(ResolveUserSession(probeFor(4242, {{"HOME", "/srv/x"}})).home, "/srv/x");
}

void makeSocket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
    ::close(fd);
}

TEST(UserSession, SessionEnvironmentIsTheUsersNotRoots) {
    REQUIRE_ROOT();
    TempTree tree;
    tree.Folder("run time");
    const std::string runtime = tree.Folder("run time/65534", 0700, kUser, kGroup);
    makeSocket(runtime + "/bus");
    makeSocket(runtime + "/wayland-1");
    makeSocket(runtime + "/wayland-0");
    WriteFile(runtime + "/wayland-0.lock", "");
    const std::string home = tree.Folder("home", 0755, kUser, kGroup);
    WriteFile(home + "/.Xauthority", "");

    // What a root process started by pkexec from a desktop session typically holds.
    const std::map<std::string, std::string> rootEnv = {
        {"DISPLAY", ":1"},
        {"LANG", "de_DE.UTF-8"},
        {"LC_TIME", "en_GB.UTF-8"},
        {"PATH", "/usr/sbin:/usr/bin:/sbin:/bin:/root/bin"},
        {"HOME", "/root"},
        {"XDG_RUNTIME_DIR", "/run/user/0"},
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/run/user/0/bus"},
        {"XDG_CONFIG_HOME", "relative/config"},
        {"SECRET_TOKEN", "root's"},
        {"LD_PRELOAD", "/tmp/evil.so"},
    };
    const platform::UserSession session = TestUserSession(home, "", tree / "run time", rootEnv);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + tree.root() + "/run%20time/65534/bus"},
        {"DISPLAY", ":1"},
        {"HOME", home},
        {"LANG", "de_DE.UTF-8"},
        {"LC_TIME", "en_GB.UTF-8"},
        {"LOGNAME", "nobody"},
        {"PATH", "/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games"},
        {"USER", "nobody"},
        {"WAYLAND_DISPLAY", "wayland-0"},
        {"XAUTHORITY", home + "/.Xauthority"},
        {"XDG_RUNTIME_DIR", runtime},
    };
    EXPECT_EQ(session.environment, expected);
    EXPECT_EQ(session.DataHome(), home + "/.local/share");

    // Without a runtime folder the bus and display come from what the environment preserved;
    // root's runtime folder is never the user's.
    const platform::UserSession bare =
        TestUserSession(home, tree / "data", tree / "nowhere",
                        {{"WAYLAND_DISPLAY", "wayland-7"},
                         {"XDG_RUNTIME_DIR", "/run/user/0"},
                         {"DBUS_SESSION_BUS_ADDRESS", "unix:abstract=/tmp/dbus-x"}});
    EXPECT_EQ(bare.Env("XDG_RUNTIME_DIR"), "");
    EXPECT_EQ(bare.Env("WAYLAND_DISPLAY"), "wayland-7");
    EXPECT_EQ(bare.Env("DBUS_SESSION_BUS_ADDRESS"), "unix:abstract=/tmp/dbus-x");
    EXPECT_EQ(bare.DataHome(), tree / "data");
}

} // namespace
