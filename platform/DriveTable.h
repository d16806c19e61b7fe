#pragma once

// The drive table: drive letters for Linux file systems, our stand-in for GetLogicalDrives,
// GetDriveTypeW, GetDiskFreeSpaceExW and GetVolumeInformationW. Free of Qt, so that the snapshot
// service library can build the same table when its host does not offer one.
//
// Letters come from three sources, later ones winning for the same letter:
//  1. automatic letters: C: is "/", D: to Z: the other real file systems in the order of their
//     mount points (pseudo and system mounts below /proc, /sys, /dev and /run never get one; A:
//     and B: are never given);
//  2. subst letters from the configuration: the file named by ORBISCA_SUBST_FILE (default
//     $XDG_CONFIG_HOME/zelvano/orbisca/subst.conf), then the variable ORBISCA_SUBST; entries
//     "X:=/native/folder", one per line or separated by ';' ("X:=" removes a letter);
//  3. SetDriveRoot at run time.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum : unsigned {
    DRIVE_UNKNOWN = 0,
    DRIVE_NO_ROOT_DIR = 1,
    DRIVE_REMOVABLE = 2,
    DRIVE_FIXED = 3,
    DRIVE_REMOTE = 4,
    DRIVE_CDROM = 5,
    DRIVE_RAMDISK = 6,
};

// One line of /proc/self/mountinfo.
struct MountEntry {
    std::string mountPoint; // native, unescaped
    std::string fsRoot;     // folder of the file system that is mounted there
    std::string fsType;
    std::string source;
    unsigned devMajor = 0;
    unsigned devMinor = 0;
    bool removable = false; // filled by the loader from /sys, not by the parser
};

struct DriveEntry {
    char16_t letter = 0;
    std::string root;  // native folder, no trailing slash except "/"
    bool subst = false;
    MountEntry mount;  // the file system holding root (for a subst letter: the one it lies on)
};

std::vector<MountEntry> ParseMountInfo(std::string_view text);
// Pseudo and system mounts, which never become drives.
bool IsPseudoMount(const MountEntry& mount);
unsigned DriveTypeOf(const MountEntry& mount);

// Subst entries "X:=/folder" separated by newlines or ';'; blank lines and lines starting with
// '#' are ignored. A malformed entry is skipped and described in errors.
std::map<char16_t, std::string> ParseSubstConfig(std::string_view text,
                                                 std::vector<std::string>* errors = nullptr);

// The letters for the mounts and subst entries given; isFolder tells whether a mount point is
// a folder (a file can be bind-mounted over a file). Sorted by letter.
std::vector<DriveEntry> AssignDriveLetters(const std::vector<MountEntry>& mounts,
                                           const std::map<char16_t, std::string>& subst,
                                           const std::function<bool(const std::string&)>& isFolder);

// --- The process-wide table (read from the system on first use) -----------------------------

std::string DriveRoot(char16_t letter);
void SetDriveRoot(char16_t letter, const std::string& nativeRoot);
// Maps a free letter to a folder for paths only: the letter is no drive (not listed, no type,
// no size), and a real drive that holds a path always wins. The program uses it for its own
// folder when the configured letters leave that folder without a drive. Returns the letter (the
// same one again for the same folder), or 0 when every letter is taken.
char16_t SetHiddenDriveRoot(const std::string& nativeRoot);
// Reads mounts and configuration again; letters set with SetDriveRoot stay.
void RefreshDrives();
std::vector<DriveEntry> Drives(); // in letter order

// Bit n set for every mapped letter 'A' + n.
uint32_t GetLogicalDrives();
// A root path is a letter and a colon, optionally followed by a backslash ("C:", "d:\").
unsigned GetDriveTypeW(std::u16string_view rootPath);
bool GetDiskFreeSpaceExW(std::u16string_view rootPath, uint64_t* freeBytesForCaller,
                         uint64_t* totalBytes, uint64_t* totalFreeBytes);
// The volume label; true with an empty label when the volume has none.
bool GetVolumeInformationW(std::u16string_view rootPath, std::u16string* label);

// The drive whose root is the longest prefix of a native path (whole components).
struct DriveForPath {
    char16_t letter = 0; // 0: no drive holds the path
    size_t rootLength = 0;
};
DriveForPath FindDriveForNativePath(std::string_view nativePath);

// The letter of a root path as GetDriveTypeW accepts it, upper-cased; 0 when it is none.
char16_t DriveLetterOfRoot(std::u16string_view rootPath);

} // namespace platform
