#include "settings/EnvHelpers.h"

#include "platform/Paths.h"

#include <grp.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace settings {
namespace {

std::string groupName(gid_t gid) {
    std::vector<char> buf(4096);
    group entry{};
    group* found = nullptr;
    while (getgrgid_r(gid, &entry, buf.data(), buf.size(), &found) == ERANGE && buf.size() < 1 << 20)
        buf.resize(buf.size() * 2);
    return found && found->gr_name ? std::string(found->gr_name) : std::string();
}

} // namespace

bool IsProcessWow64() { return false; }

Credentials ProcessCredentials() {
    Credentials c;
    c.effectiveUid = geteuid();
    c.effectiveGid = getegid();
    const int n = getgroups(0, nullptr);
    if (n > 0) {
        c.groups.resize(static_cast<size_t>(n));
        const int got = getgroups(n, c.groups.data());
        c.groups.resize(got > 0 ? static_cast<size_t>(got) : 0);
    }
    c.groupNames.push_back(groupName(c.effectiveGid));
    for (const gid_t g : c.groups)
        c.groupNames.push_back(groupName(g));
    return c;
}

bool IsUserAdmin(const Credentials& c) {
    if (c.effectiveUid == 0 || c.effectiveGid == 0)
        return true;
    if (std::find(c.groups.begin(), c.groups.end(), gid_t{0}) != c.groups.end())
        return true;
    return std::any_of(c.groupNames.begin(), c.groupNames.end(), [](const std::string& name) {
        return name == "sudo" || name == "wheel" || name == "admin";
    });
}

bool IsUserAdmin() { return IsUserAdmin(ProcessCredentials()); }

QString SpecialFolderPath(QWidget* /*owner*/, int csidl) {
    if (csidl != CSIDL_LOCAL_APPDATA)
        return {};
    // An XDG variable that is not an absolute path is to be ignored.
    std::string native;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/')
        native = xdg;
    else if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        native = std::string(home) + "/.local/share";
    else
        return {};
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    return platform::WindowsPath(native);
}

bool DisableFsRedirection(void** /*previousState*/) { return false; }
bool RevertFsRedirection(void* /*previousState*/) { return false; }
bool EnableFsRedirection() { return false; }

void TrimWorkingSet() { malloc_trim(0); }

} // namespace settings
