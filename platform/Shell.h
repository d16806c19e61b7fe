#pragma once

// ShellExecuteW "open" and the file manager's "show this item": what the program hands to the
// desktop. Files and folders go by their native path (exact bytes), web and local pages by URL.
// The program may run elevated on behalf of a desktop user; the default handler then opens
// everything as that user, in that user's session, never as root (RunAsUser.h). Tests replace
// the handler and record the requests.

#include "platform/UserSession.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace platform {

struct ShellRequest {
    enum class Kind {
        OpenPath,   // a file with its associated program, or a folder in the file manager
        RevealItem, // the folder holding an item, with the item selected where possible
        OpenUrl,    // a web address or a file:// URL, in the user's browser
    };
    Kind kind = Kind::OpenPath;
    std::string nativePath; // OpenPath, RevealItem
    QString url;            // OpenUrl
};

// True when the request was handed to the desktop (not whether the desktop managed to open it).
using ShellHandler = std::function<bool(const ShellRequest&)>;

bool ShellOpenPath(const std::string& nativePath);
bool ShellRevealItem(const std::string& nativePath);
bool ShellOpenUrl(const QString& url);

// Installs a handler that replaces the desktop; returns the previous one (empty = default).
ShellHandler SetShellHandler(ShellHandler handler);

// The programs the desktop handler starts, as the user.
struct DesktopPrograms {
    // Openers; each gets the native path or the URL as its last argument. The first that can be
    // started is used (xdg-open, or GIO's opener where xdg-utils is not installed).
    std::vector<std::vector<std::string>> openers{{"xdg-open"}, {"gio", "open"}};
    // Callers of a method on the user's session bus, for the file manager's ShowItems: gdbus
    // (libglib2.0-bin), else dbus-send (dbus-bin).
    std::string gdbus = "gdbus";
    std::string dbusSend = "dbus-send";
};

// The handler that hands requests to the desktop of `user`. Open and OpenUrl run the opener;
// Reveal asks the file manager on the user's session bus to show the item selected
// (org.freedesktop.FileManager1.ShowItems) and opens the item's folder when no file manager
// answers. Everything runs detached, as the user. The default handler is
// DesktopShellHandler(CurrentUserSession()).
ShellHandler DesktopShellHandler(const UserSession& user, DesktopPrograms programs = {});

} // namespace platform
