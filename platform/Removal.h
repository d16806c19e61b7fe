#pragma once

// Deleting items of an analysis for good, with everything in them, while other local users may
// change the tree.
//
// The program runs as root among other users' files. Anyone who may write a folder inside the
// item can rename a subfolder and put a symbolic link to a folder of root's in its place while the
// removal runs; a removal that resolved paths (or followed links) would then empty that folder.
// So nothing is ever reached by path: the item is reached as ListedItem.h describes (from its
// drive's root, never through a link, and only while it is what the analysis recorded) and
// removed through the descriptor of its folder. A folder is emptied depth-first through
// descriptors too: each subfolder is opened relative to the folder holding it, with O_NOFOLLOW,
// and worked on only when the folder opened is the one just listed there (device and inode);
// whatever took a folder's place (a link, another folder, a volume mounted on it) is left alone
// and reported. Entries are unlinked by name relative to their folder's descriptor, so a link is
// removed itself, never its target, and depth is not limited by PATH_MAX.
//
// The removal never leaves the item's volume. Before anything is removed, a first pass walks the
// whole folder and refuses it, untouched, when it holds a mount point or a folder of another
// volume: such a folder is not the tree the user saw in the analysis (a bind mount of their home
// inside a build folder, a stick mounted below a folder), and removing around the mount would leave
// a half removed tree for no one's good. Folders are compared by device, and every entry is asked
// whether it is the root of a mount, which also finds bind mounts of the same volume and mounted
// files. The removing pass checks again: a volume mounted meanwhile stays with its folder.
//
// Failures inside a folder (an immutable file, an error of the disk, a folder swapped as above) do
// not stop the removal: everything else goes, and the result lists what stayed. A folder whose
// entries cannot be deleted at all (immutable, append-only, not writable for us) is not emptied
// but stays whole, so that what stays is what the result says. An entry that vanishes meanwhile
// is simply gone. Entries that appear in a folder while it is emptied stay and are listed too. A
// read-only volume refuses the item before anything is tried; a volume that turns read-only
// midway stops the removal, and everything not removed by then is listed.
//
// Descriptors: the removal holds one for each folder on the way from the item down to the folder
// being emptied, but never more than a few dozen; folders further up are closed and opened again
// when the removal comes back to them, from the item down by name, each checked like the first
// time. The removal thus needs the same handful of descriptors at any depth, and the process's
// descriptor limit is left as it is (raising it would change it for the whole program, and a hard
// limit may be lower than the depth of a hostile tree). A descriptor that cannot be had all the
// same (EMFILE) makes that folder stay, like any other error.

#include "platform/ListedItem.h"
#include "platform/Trash.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace platform {

struct RemovalResult {
    bool ok = false; // the item is gone, with everything in it
    // Why not, when not ok; the trash's kinds: Vanished, Denied, ReadOnly, Refused (the drive's
    // root, a mount point, a folder holding one), Changed (the item or something in it is not what
    // was analysed or listed), Other.
    TrashFailure failure = TrashFailure::None;
    QString error;  // English: names the item and the reason, when not ok
    QString reason; // English: the reason alone (the first entry that stayed, and why)
    // When not ok but some of a folder's contents were removed: the entries that stayed, as names
    // relative to the item (each a vector of native names from the item down). An entry listed
    // here stays with everything inside it; its folders on the way stay too; everything else
    // under the item is gone. (Entries that appeared while the removal ran, such as a folder
    // moved away from under the walk and back in, and a folder that could not be removed once
    // emptied stay with what they still hold.) Empty when nothing was removed.
    std::vector<std::vector<std::string>> stayed;
    bool partly = false; // some of the item's contents were removed
};

// Removes each item (file, link, fifo, socket, device, or folder with everything in it) for
// good, as described above; one result for each item, in their order.
std::vector<RemovalResult> RemovePermanently(const std::vector<ListedItem>& items);

// The program's permanent delete: RemovePermanently, unless tests installed a handler.
using RemovalHandler = std::function<std::vector<RemovalResult>(const std::vector<ListedItem>&)>;
std::vector<RemovalResult> ShellRemovePermanently(const std::vector<ListedItem>& items);
// Installs a handler in place of the removal; returns the previous one (empty = default).
RemovalHandler SetRemovalHandler(RemovalHandler handler);

// For tests of changes made while a folder is emptied: called after the removing pass listed a
// folder and before it touches any of its entries, with the folder's names from the item down
// (empty for the item). Returns the previous hook.
using RemovalListingHook = std::function<void(const std::vector<std::string>& folder)>;
RemovalListingHook SetRemovalListingHook(RemovalListingHook hook);

} // namespace platform
