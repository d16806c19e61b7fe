#pragma once

// Moving items into the freedesktop.org trash of the desktop user the program acts for, our
// stand-in for SHFileOperation FO_DELETE with FOF_ALLOWUNDO. Qt's own trashing would fill root's
// trash when the program runs elevated; this one fills the user's, so the user's file manager
// lists the items, restores them and frees the space when the trash is emptied.
//
// Where an item goes:
//  - on the file system (and mount) of the user's home trash: $XDG_DATA_HOME/Trash of the user
//    (default ~/.local/share/Trash), the original location recorded as an absolute path;
//  - elsewhere, at the top folder $topdir of the item's mount: $topdir/.Trash/$uid when .Trash
//    is a real folder (no link) with the sticky bit, else $topdir/.Trash-$uid; the location is
//    recorded relative to $topdir.
// The record (info/NAME.trashinfo) is created first, exclusively, under a name no other item
// has ("name", "name.2", "name.3", ...); then the item is renamed into files/NAME, and when that
// fails the record is removed again. Items are only ever renamed: nothing is copied across file
// systems and nothing is deleted; an item that cannot be trashed stays where it is. Folders get
// an entry in the trash's directorysizes cache. Trash folders and records made for the user
// belong to the user (0700 folders, 0600 files); the item keeps its owner and modes.

#include "platform/UserSession.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace platform {

// Why an item stayed, for messages in the program's language; the English reason gives the
// detail.
enum class TrashFailure {
    None,
    Vanished, // the item (or its folder) no longer exists
    Denied,   // no permission for the item, its folder, or to act for the user
    ReadOnly, // the item's volume is mounted read-only
    NoTrash,  // no usable trash for the item's volume
    Refused,  // an item that is never trashed (root, mount point, trash folder, relative path)
    Other     // any other error of the system
};

struct TrashResult {
    bool ok = false;
    TrashFailure failure = TrashFailure::None; // when not ok
    std::string trashedPath;                   // where the item is now (.../files/NAME), when ok
    std::string infoPath;                      // its record (.../info/NAME.trashinfo), when ok
    QString error;  // English: names the item and the reason, when not ok
    QString reason; // English: the reason alone, when not ok
};

// Moves one item (file, folder, link, ...) named by its absolute native path into the trash of
// `user`. Refused, with the item left in place: relative paths or paths with "." or "..", the
// root folder and mount points, trash folders and anything in or above the trash used,
// trash folders that are symbolic links or belong to someone else, and a process without root
// rights acting for another user.
TrashResult MoveToTrash(const std::string& nativePath, const UserSession& user);
// The same for several items, one result for each in their order. The items share the reading
// of the mount table and the trash folders opened, which makes a run of many items cheaper.
std::vector<TrashResult> MoveToTrash(const std::vector<std::string>& nativePaths,
                                     const UserSession& user);

// The program's trash operation: MoveToTrash for CurrentUserSession(), unless tests installed
// a handler.
using TrashHandler =
    std::function<std::vector<TrashResult>(const std::vector<std::string>& nativePaths)>;
std::vector<TrashResult> ShellMoveToTrash(const std::vector<std::string>& nativePaths);
// Installs a handler in place of the trash; returns the previous one (empty = default).
TrashHandler SetTrashHandler(TrashHandler handler);

} // namespace platform
