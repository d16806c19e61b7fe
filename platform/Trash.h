#pragma once

// Moving items into the freedesktop.org trash of the desktop user the program acts for, our
// stand-in for SHFileOperation FO_DELETE with FOF_ALLOWUNDO. Qt's own trashing would fill root's
// trash when the program runs elevated; this one fills the user's, so the user's file manager
// lists the items, restores them and frees the space when the trash is emptied.
//
// Items are reached as ListedItem.h describes (from their drive's root, never through a link,
// and only while they are what the analysis recorded), and moved through the descriptor of their
// folder, so that nobody can swap a folder on the way for a link and have another file trashed.
//
// Where an item goes:
//  - on the file system (and mount) of the user's home trash: $XDG_DATA_HOME/Trash of the user
//    (default ~/.local/share/Trash), the original location recorded as an absolute path;
//  - elsewhere, at the top folder $topdir of the item's mount: $topdir/.Trash/$uid when .Trash
//    is a real folder (no link) with the sticky bit, else $topdir/.Trash-$uid; the location is
//    recorded relative to $topdir.
// Trash folders are opened the same way: from the home (or the top folder) down, one folder at a
// time without following links, each checked for its owner through its descriptor, and created
// relative to it. $topdir/.Trash counts only when it belongs to root.
//
// An item the user could not have removed themselves (no write and search permission on its
// folder, or a sticky folder and neither the item nor the folder is theirs) goes to the
// administrator's trash instead, by the same rules for uid 0 (root's home trash on root's
// volume, else $topdir/.Trash/0 or $topdir/.Trash-0), and stays root's: moving it into the
// user's trash would make it theirs to empty or to read, and they could not empty it anyway.
//
// The record (info/NAME.trashinfo) is created first, exclusively, under a name no other item
// has ("name", "name.2", "name.3", ...); then the item is renamed into files/NAME, and when that
// fails the record is removed again. Items are only ever renamed: nothing is copied across file
// systems and nothing is deleted; an item that cannot be trashed stays where it is. Folders get
// an entry in the trash's directorysizes cache. Trash folders and records made for the user
// belong to the user (0700 folders, 0600 files); the item keeps its owner and modes.

#include "platform/ListedItem.h"
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
    Changed,  // the item, or a folder on its way, is no longer what the analysis recorded
    Other     // any other error of the system
};

// What an item that could not be reached counts as, and the English reason to tell with it; the
// trash, the permanent delete and the window's open share them.
TrashFailure TrashFailureOf(ReachFailure failure);
std::string ReachFailureReason(const ReachResult& reach);

struct TrashResult {
    bool ok = false;
    TrashFailure failure = TrashFailure::None; // when not ok
    std::string trashedPath;                   // where the item is now (.../files/NAME), when ok
    std::string infoPath;                      // its record (.../info/NAME.trashinfo), when ok
    // When ok: the item went to the administrator's trash, not the user's (see above).
    bool administratorTrash = false;
    std::string trashFolder; // the trash folder it went to, when ok
    QString error;           // English: names the item and the reason, when not ok
    QString reason;          // English: the reason alone, when not ok
};

// Moves one item (file, folder, link, ...) named by its absolute native path into the trash of
// `user`; the path is walked from "/" as a ListedItem without recorded identities. Refused, with
// the item left in place: relative paths or paths with "." or "..", a link on the way, the root
// folder and mount points, trash folders and anything in or above the trash used, trash
// folders that are symbolic links or belong to someone else, a process without root rights
// acting for another user, and a user session that names no user.
TrashResult MoveToTrash(const std::string& nativePath, const UserSession& user);
// The same for several items, one result for each in their order. The items share the reading
// of the mount table and the trash folders opened, which makes a run of many items cheaper.
std::vector<TrashResult> MoveToTrash(const std::vector<std::string>& nativePaths,
                                     const UserSession& user);
// The same for items of an analysis, each checked against what the analysis recorded.
std::vector<TrashResult> MoveToTrash(const std::vector<ListedItem>& items, const UserSession& user);

// The program's trash operation: MoveToTrash for CurrentUserSession(), unless tests installed
// a handler.
using TrashHandler = std::function<std::vector<TrashResult>(const std::vector<ListedItem>& items)>;
std::vector<TrashResult> ShellMoveToTrash(const std::vector<ListedItem>& items);
// Installs a handler in place of the trash; returns the previous one (empty = default).
TrashHandler SetTrashHandler(TrashHandler handler);

} // namespace platform
