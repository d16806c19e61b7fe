#pragma once

// ShellExecuteW "open" and the file manager's "show this item": what the program hands to the
// desktop. Files and folders go by their native path (exact bytes), web and local pages by URL.
// The program may run elevated on behalf of a desktop user; the default handler then opens
// everything as that user, in that user's session, never as root. Tests replace the handler and
// record the requests.

#include <QString>

#include <functional>
#include <string>

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

} // namespace platform
