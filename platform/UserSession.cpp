#include "platform/UserSession.h"

#include "platform/Debug.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <limits>

extern char** environ;

namespace platform {
namespace {

// Debian's PATH for ordinary users (login.defs); root's PATH is not passed on to a user.
constexpr const char* kUserPath = "/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games";

// Session variables taken over from the environment as they are.
constexpr const char* kKeptVariables[] = {
    "DISPLAY",          "LANG",
    "LANGUAGE",         "XDG_CURRENT_DESKTOP",
    "XDG_SESSION_TYPE", "XDG_SESSION_DESKTOP",
    "DESKTOP_SESSION",  "XDG_DATA_DIRS",
    "XDG_CONFIG_DIRS",
};
// Folder variables, taken over only when absolute (relative ones are invalid and ignored).
constexpr const char* kFolderVariables[] = {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XAUTHORITY"};

std::optional<PasswdEntry> lookupSystemUser(uid_t uid) {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == ERANGE)
        buffer.resize(buffer.size() * 2);
    if (!found)
        return std::nullopt;
    return PasswdEntry{found->pw_uid, found->pw_gid, found->pw_name ? found->pw_name : "",
                       found->pw_dir ? found->pw_dir : ""};
}

std::string lookupEnv(const SessionProbe& probe, const char* name) {
    auto it = probe.environment.find(name);
    return it == probe.environment.end() ? std::string() : it->second;
}

bool isFolderOwnedBy(const std::string& path, uid_t uid) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid;
}

bool isSocket(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The display socket a Wayland compositor made in the runtime folder ("wayland-0", lowest
// number first); empty when there is none.
std::string waylandSocketIn(const std::string& runtimeFolder) {
    DIR* dir = opendir(runtimeFolder.c_str());
    if (!dir)
        return {};
    std::string best;
    unsigned long bestNumber = std::numeric_limits<unsigned long>::max();
    while (dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        constexpr std::string_view prefix = "wayland-";
        if (!name.starts_with(prefix) || name.size() == prefix.size() || name.size() > 16)
            continue;
        const std::string_view digits = name.substr(prefix.size());
        if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const unsigned long number = std::stoul(std::string(digits));
        if (number < bestNumber && isSocket(runtimeFolder + "/" + std::string(name)))
            best = name, bestNumber = number;
    }
    closedir(dir);
    return best;
}

// A path as a D-Bus address value: bytes outside [-0-9A-Za-z_/.] become %XX.
std::string dbusAddressEscape(std::string_view path) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : path) {
        const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                           (c >= 'a' && c <= 'z') || c == '-' || c == '_' || c == '/' || c == '.';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// The user the program acts for, from the variables pkexec and sudo leave for a root process.
// The first of them that is present decides: when it names no account, *refusal says so and no
// user is returned, and the program must not act for anyone (acting as root instead would put
// root's opener on the screen and items into root's trash).
std::optional<PasswdEntry> delegatingUser(const SessionProbe& probe, std::string* source,
                                          std::string* refusal) {
    if (probe.effectiveUid != 0)
        return std::nullopt;
    for (const char* variable : {"PKEXEC_UID", "SUDO_UID"}) {
        auto it = probe.environment.find(variable);
        if (it == probe.environment.end())
            continue;
        const std::optional<uid_t> uid = ParseUserId(it->second);
        std::optional<PasswdEntry> entry =
            uid && probe.lookupUser ? probe.lookupUser(*uid) : std::nullopt;
        if (entry) {
            *source = variable;
            return entry;
        }
        *refusal = std::string(variable) + "=" + it->second;
        OutputDebugStringW(
            QStringLiteral("UserSession: %1=\"%2\" names no user (%3); nothing is done for a user")
                .arg(QString::fromLatin1(variable), QString::fromLocal8Bit(it->second),
                     uid ? QStringLiteral("no such user") : QStringLiteral("not a user id")));
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::optional<uid_t> ParseUserId(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    constexpr uint64_t kLimit = std::numeric_limits<uid_t>::max(); // (uid_t)-1 is no user
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        // Checked at every digit, so that no number of digits can wrap around.
        if (value >= kLimit)
            return std::nullopt;
    }
    return static_cast<uid_t>(value);
}

SessionProbe SystemSessionProbe() {
    SessionProbe probe;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view text = *entry;
        const size_t equals = text.find('=');
        if (equals != std::string_view::npos && equals > 0)
            probe.environment.emplace(std::string(text.substr(0, equals)),
                                      std::string(text.substr(equals + 1)));
    }
    probe.effectiveUid = geteuid();
    probe.effectiveGid = getegid();
    probe.lookupUser = lookupSystemUser;
    return probe;
}

std::string UserSession::Env(std::string_view variable) const {
    auto it =
        std::lower_bound(environment.begin(), environment.end(), variable,
                         [](const auto& entry, std::string_view v) { return entry.first < v; });
    return it != environment.end() && it->first == variable ? it->second : std::string();
}

std::string UserSession::DataHome() const {
    const std::string configured = Env("XDG_DATA_HOME");
    if (!configured.empty())
        return configured;
    return (home == "/" ? std::string() : home) + "/.local/share";
}

UserSession ResolveUserSession(const SessionProbe& probe) {
    UserSession session;
    std::optional<PasswdEntry> user = delegatingUser(probe, &session.source, &session.refusal);
    if (!user) {
        session.source = "effective user";
        if (probe.lookupUser)
            user = probe.lookupUser(probe.effectiveUid);
        if (!user) {
            const std::string home = lookupEnv(probe, "HOME");
            user = PasswdEntry{probe.effectiveUid, probe.effectiveGid,
                               std::to_string(probe.effectiveUid), home.empty() ? "/" : home};
        }
    }
    if (probe.lookupUser) {
        if (const std::optional<PasswdEntry> root = probe.lookupUser(0); root && root->uid == 0)
            session.administratorHome = root->home;
    }
    session.uid = user->uid;
    session.gid = user->gid;
    session.name = user->name;
    session.home = user->home.empty() ? "/" : user->home;
    const bool forAnotherUser = session.uid != probe.effectiveUid;

    std::map<std::string, std::string> env;
    env["HOME"] = session.home;
    env["USER"] = session.name;
    env["LOGNAME"] = session.name;
    const std::string path = lookupEnv(probe, "PATH");
    env["PATH"] = forAnotherUser || path.empty() ? kUserPath : path;
    for (const char* variable : kKeptVariables) {
        const std::string value = lookupEnv(probe, variable);
        if (!value.empty())
            env[variable] = value;
    }
    for (const auto& [name, value] : probe.environment) {
        if (name.starts_with("LC_") && !value.empty())
            env[name] = value;
    }
    for (const char* variable : kFolderVariables) {
        const std::string value = lookupEnv(probe, variable);
        if (value.starts_with('/'))
            env[variable] = value;
    }
    if (!env.count("XAUTHORITY") && isRegularFile(session.home + "/.Xauthority"))
        env["XAUTHORITY"] = session.home + "/.Xauthority";

    // The runtime folder the login manager made for the user; the environment's only when it
    // belongs to the user (a root process may still carry root's).
    std::string runtime = probe.runtimeRoot + "/" + std::to_string(session.uid);
    if (!isFolderOwnedBy(runtime, session.uid)) {
        runtime = lookupEnv(probe, "XDG_RUNTIME_DIR");
        if (!runtime.starts_with('/') || !isFolderOwnedBy(runtime, session.uid))
            runtime.clear();
    }
    if (!runtime.empty())
        env["XDG_RUNTIME_DIR"] = runtime;

    std::string wayland = lookupEnv(probe, "WAYLAND_DISPLAY");
    if (wayland.empty() && !runtime.empty())
        wayland = waylandSocketIn(runtime);
    if (!wayland.empty())
        env["WAYLAND_DISPLAY"] = wayland;

    if (!runtime.empty() && isSocket(runtime + "/bus"))
        env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + dbusAddressEscape(runtime + "/bus");
    else if (const std::string bus = lookupEnv(probe, "DBUS_SESSION_BUS_ADDRESS"); !bus.empty())
        env["DBUS_SESSION_BUS_ADDRESS"] = bus;

    session.environment.assign(env.begin(), env.end());
    return session;
}

namespace {
UserSession& currentSession() {
    static UserSession session = ResolveUserSession(SystemSessionProbe());
    return session;
}
} // namespace

const UserSession& CurrentUserSession() {
    return currentSession();
}

UserSession ReplaceCurrentUserSession(UserSession session) {
    return std::exchange(currentSession(), std::move(session));
}

} // namespace platform
