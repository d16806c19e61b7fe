#include "platform/ProgramFolder.h"

#include "platform/DriveTable.h"
#include "platform/Paths.h"

#include <unistd.h>

#include <climits>
#include <optional>
#include <string>

namespace platform {
namespace {

std::optional<QString>& overrideFolder() {
    static std::optional<QString> folder;
    return folder;
}

QString folderOfExecutable() {
    char buf[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0)
        return {};
    std::string exe(buf, static_cast<size_t>(n));
    const size_t slash = exe.rfind('/');
    exe.resize(slash == 0 ? 1 : slash);
    QString win = WindowsPath(exe);
    // Letters configured elsewhere (a drive C: mapped to a test folder, say) may leave the
    // program's own folder without a drive; its data must still be found. The letter goes to
    // the folder above it, so the program folder keeps the usual form "X:\name" that paths are
    // appended to.
    if (win.isEmpty()) {
        const size_t up = exe.rfind('/');
        const std::string parent = up == 0 || up == std::string::npos ? "/" : exe.substr(0, up);
        if (SetHiddenDriveRoot(parent) != 0)
            win = WindowsPath(exe);
    }
    if (win.size() > 3 && win.endsWith(u'\\'))
        win.chop(1);
    return win;
}

} // namespace

QString ProgramFolder() {
    if (overrideFolder())
        return *overrideFolder();
    static const QString folder = folderOfExecutable();
    return folder;
}

void SetProgramFolder(const QString& windowsPath) { overrideFolder() = windowsPath; }

} // namespace platform
