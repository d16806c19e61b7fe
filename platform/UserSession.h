#pragma once

// The desktop user on whose behalf the program acts. The program runs as root (started through
// pkexec, or sudo) for the user who started it; opening, revealing and trashing items must happen
// as that user, in that user's session. The user is PKEXEC_UID, else SUDO_UID — both read only
// when the process runs as root and accepted only when strictly valid — else the effective user.

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

struct PasswdEntry {
    uid_t uid = 0;
    gid_t gid = 0;
    std::string name;
    std::string home;
};

// Everything a session is worked out from. SystemSessionProbe() reads the running process;
// tests fill one in by hand.
struct SessionProbe {
    std::map<std::string, std::string> environment;
    uid_t effectiveUid = 0;
    gid_t effectiveGid = 0;
    std::function<std::optional<PasswdEntry>(uid_t)> lookupUser;
    // Per-user runtime folders live in <runtimeRoot>/<uid> (XDG_RUNTIME_DIR, the session bus).
    std::string runtimeRoot = "/run/user";
};

SessionProbe SystemSessionProbe();

struct UserSession {
    uid_t uid = 0;
    gid_t gid = 0;
    std::string name;
    std::string home;
    // Where the user came from: "PKEXEC_UID", "SUDO_UID" or "effective user".
    std::string source;
    // Set when PKEXEC_UID or SUDO_UID is present but names no account ("PKEXEC_UID=4242"): the
    // program then acts for nobody, and opening, showing and trashing items are refused. The
    // other fields describe the effective user.
    std::string refusal;
    // Environment for the programs started for the user ("NAME", "value"), sorted by name:
    // HOME, USER, LOGNAME, PATH, the display, runtime folder and session bus, locale, XDG folders.
    std::vector<std::pair<std::string, std::string>> environment;

    // Home of the administrator (uid 0), whose trash takes the items the user could not have
    // removed themselves; empty when unknown.
    std::string administratorHome;

    // False when the program must not act for a user (see refusal).
    bool CanActForUser() const { return refusal.empty(); }
    // A variable of environment; empty when unset.
    std::string Env(std::string_view variable) const;
    // $XDG_DATA_HOME of the user, else ~/.local/share.
    std::string DataHome() const;
};

// A user id as the environment carries it: decimal digits only (no sign, blank or empty text),
// within uid_t and not (uid_t)-1, which no account can have.
std::optional<uid_t> ParseUserId(std::string_view text);

UserSession ResolveUserSession(const SessionProbe& probe);

// The session of the running process, resolved on first use.
const UserSession& CurrentUserSession();
// Replaces the session of the running process (tests); returns the previous one.
UserSession ReplaceCurrentUserSession(UserSession session);

} // namespace platform
