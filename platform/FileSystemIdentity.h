#pragma once

// Which file system a drive is, in terms that outlive a mount: a saved analysis records it, so
// that the analyses of one drive are kept together and so that an item of an analysis loaded
// later is acted on only while the drive is still that file system.
//
// Our stand-in for the volume serial number and GUID of GetVolumeInformationW. The UUID is the
// strongest name: it comes from /dev/disk/by-uuid (udev's links, named after the UUID of each
// block device's file system), so it is found for file systems on a block device wherever udev
// runs. statfs's f_fsid is recorded beside it: ext4, xfs and btrfs derive it from their UUID, so
// it stays the same across mounts and reboots even where /dev/disk/by-uuid is missing (a
// container); memory file systems make it from the device number. Device and mount point are
// always recorded; they are the identity of last resort.

#include <cstdint>
#include <string>

namespace platform {

struct FileSystemIdentity {
    std::string uuid;        // empty: the system names none
    uint64_t fsid = 0;       // f_fsid's two words (first in the low half); 0: none
    uint64_t device = 0;     // st_dev of the root, a dev_t value
    std::string mountPoint;  // native; empty when no mount holds the root
    std::string fsType;      // as the mount table names it ("ext4", "tmpfs")
    std::string rootInMount; // the root below the mount point ("" for the mount point itself)

    bool operator==(const FileSystemIdentity&) const = default;
    // The name under which analyses of one drive go together: the UUID, else f_fsid, else the
    // device and mount point; followed by the root's place in the file system, since two drives
    // may be folders of one file system.
    std::string Key() const;
    // Whether other names the same file system: by UUID when both have one, else by f_fsid when
    // both have one, else by device and mount point.
    bool SameFileSystem(const FileSystemIdentity& other) const;
};

// The file system holding the native folder root (its root folder or any folder in it). False
// with errno set when the folder cannot be examined.
bool IdentifyFileSystem(const std::string& root, FileSystemIdentity* out);

} // namespace platform
