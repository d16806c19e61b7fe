#pragma once

// Small questions about the process and its surroundings. On Linux there is no WOW64: no
// process runs as a 32-bit guest with a redirected file system, so the WOW64 test and the three
// redirection switches answer false, as on 32-bit Windows.

#include <QString>

#include <string>
#include <sys/types.h>
#include <vector>

class QWidget;

namespace settings {

// IsWow64Process does not exist here; the answer is always false.
bool IsProcessWow64();

// The credentials IsUserAdmin judges; ProcessCredentials() reads those of this process.
struct Credentials {
    uid_t effectiveUid = 0;
    gid_t effectiveGid = 0;
    std::vector<gid_t> groups;           // supplementary groups
    std::vector<std::string> groupNames; // names of effectiveGid and of every group
};
Credentials ProcessCredentials();

// Administrators are root (effective uid 0) and members of group 0 or of the groups "sudo",
// "wheel" or "admin". Like the Administrators group of a filtered token, membership counts even
// when the process is not elevated; the start-up write test to the machine hive tells the two
// apart.
bool IsUserAdmin(const Credentials& credentials);
bool IsUserAdmin();

inline constexpr int CSIDL_LOCAL_APPDATA = 28;

// The folder behind a shell special folder number, as a Windows path; empty for a number that
// has no folder here. CSIDL_LOCAL_APPDATA is $XDG_DATA_HOME, by default ~/.local/share.
QString SpecialFolderPath(QWidget* owner, int csidl);

// File-system redirection switches (Wow64DisableWow64FsRedirection and its siblings): the
// functions are missing, so each answers false and leaves previousState untouched.
bool DisableFsRedirection(void** previousState);
bool RevertFsRedirection(void* previousState);
bool EnableFsRedirection();

// Hands freed memory back to the system (SetProcessWorkingSetSize(-1, -1)); failures are
// ignored.
void TrimWorkingSet();

} // namespace settings
