#include "platform/DriveTable.h"

#include "platform/NameCodec.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <tuple>

namespace platform {
namespace {

// mountinfo and /dev/disk/by-label escape blanks and the like as \ooo and \xHH.
std::string unescapeOctal(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' &&
            s[i + 2] >= '0' && s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
            out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string unescapeHex(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' && hexDigit(s[i + 2]) >= 0 &&
            hexDigit(s[i + 3]) >= 0) {
            out += static_cast<char>(hexDigit(s[i + 2]) * 16 + hexDigit(s[i + 3]));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool under(std::string_view path, std::string_view folder) {
    if (folder == "/")
        return !path.empty() && path[0] == '/';
    return path.substr(0, folder.size()) == folder &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}

std::string withoutTrailingSlashes(std::string root) {
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return root;
}

int letterIndex(char16_t letter) {
    if (letter >= u'a' && letter <= u'z')
        letter = static_cast<char16_t>(letter - u'a' + u'A');
    if (letter < u'A' || letter > u'Z')
        return -1;
    return letter - u'A';
}

// The mount that holds a native folder: the one with the longest mount point above it.
MountEntry mountHolding(const std::vector<MountEntry>& mounts, const std::string& folder) {
    const MountEntry* best = nullptr;
    for (const MountEntry& m : mounts)
        if (under(folder, m.mountPoint) && (!best || m.mountPoint.size() >= best->mountPoint.size()))
            best = &m; // later mounts hide earlier ones at the same point
    return best ? *best : MountEntry{};
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool removableBlockDevice(unsigned major, unsigned minor) {
    if (major == 0)
        return false;
    const std::string dev = "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
    std::string flag = readFile(dev + "/removable");
    if (flag.empty()) // a partition: the flag is the whole disk's
        flag = readFile(dev + "/../removable");
    return !flag.empty() && flag[0] == '1';
}

std::string substFilePath() {
    if (const char* f = std::getenv("ORBISCA_SUBST_FILE"))
        return f;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
        return std::string(x) + "/zelvano/orbisca/subst.conf";
    if (const char* h = std::getenv("HOME"); h && *h)
        return std::string(h) + "/.config/zelvano/orbisca/subst.conf";
    return {};
}

bool isFolderOnDisk(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

struct Table {
    std::mutex mutex;
    bool loaded = false;
    std::vector<MountEntry> mounts;
    std::array<std::optional<DriveEntry>, 26> drives;
    std::map<char16_t, std::string> runtime; // SetDriveRoot: letter -> root ("" = removed)
    std::map<char16_t, std::string> hidden;  // SetHiddenDriveRoot: paths only, never a drive

    void applyRuntime(char16_t letter, const std::string& root) {
        auto& slot = drives[static_cast<size_t>(letter - u'A')];
        if (root.empty()) {
            slot.reset();
            return;
        }
        slot = DriveEntry{letter, root, true, mountHolding(mounts, root)};
    }

    void load() {
        mounts = ParseMountInfo(readFile("/proc/self/mountinfo"));
        for (MountEntry& m : mounts)
            m.removable = removableBlockDevice(m.devMajor, m.devMinor);
        std::map<char16_t, std::string> subst;
        const std::string file = substFilePath();
        if (!file.empty())
            subst = ParseSubstConfig(readFile(file));
        if (const char* env = std::getenv("ORBISCA_SUBST"))
            for (const auto& [letter, root] : ParseSubstConfig(env))
                subst[letter] = root;
        drives = {};
        for (DriveEntry& d : AssignDriveLetters(mounts, subst, isFolderOnDisk))
            drives[static_cast<size_t>(d.letter - u'A')] = std::move(d);
        for (const auto& [letter, root] : runtime)
            applyRuntime(letter, root);
        loaded = true;
    }

    void ensure() {
        if (!loaded)
            load();
    }
};

Table& table() {
    static Table t;
    return t;
}

} // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> out;
    while (!text.empty()) {
        const size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        std::vector<std::string_view> f;
        while (!line.empty()) {
            const size_t sp = line.find(' ');
            if (sp != 0)
                f.push_back(line.substr(0, sp));
            line.remove_prefix(sp == std::string_view::npos ? line.size() : sp + 1);
        }
        // id parent major:minor root mountpoint options [optional...] - type source superoptions
        size_t dash = 6;
        while (dash < f.size() && f[dash] != "-")
            ++dash;
        if (f.size() < 6 || dash + 2 >= f.size())
            continue;
        MountEntry m;
        const std::string_view dev = f[2];
        const size_t colon = dev.find(':');
        if (colon == std::string_view::npos)
            continue;
        m.devMajor = static_cast<unsigned>(std::strtoul(std::string(dev.substr(0, colon)).c_str(), nullptr, 10));
        m.devMinor = static_cast<unsigned>(std::strtoul(std::string(dev.substr(colon + 1)).c_str(), nullptr, 10));
        m.fsRoot = unescapeOctal(f[3]);
        m.mountPoint = unescapeOctal(f[4]);
        m.fsType = unescapeOctal(f[dash + 1]);
        m.source = unescapeOctal(f[dash + 2]);
        out.push_back(std::move(m));
    }
    return out;
}

bool IsPseudoMount(const MountEntry& m) {
    static const std::set<std::string, std::less<>> pseudo = {
        "proc",      "sysfs",     "devtmpfs",  "devpts",     "cgroup",      "cgroup2",
        "securityfs", "debugfs",  "tracefs",   "pstore",     "bpf",         "mqueue",
        "hugetlbfs", "configfs",  "fusectl",   "autofs",     "binfmt_misc", "efivarfs",
        "rpc_pipefs", "nsfs",     "selinuxfs", "nfsd",       "squashfs",    "fuse.gvfsd-fuse",
        "fuse.portal", "fuse.lxcfs", "overlay",
    };
    if (m.mountPoint == "/")
        return false; // whatever holds the root is drive C:
    if (pseudo.count(m.fsType))
        return true;
    for (const char* system : {"/proc", "/sys", "/dev", "/run"})
        if (under(m.mountPoint, system))
            return true;
    return false;
}

unsigned DriveTypeOf(const MountEntry& m) {
    static const std::set<std::string, std::less<>> remote = {
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "9p", "afs", "ceph", "glusterfs",
        "lustre", "davfs", "sshfs", "fuse.sshfs", "fuse.rclone", "fuse.s3fs", "fuse.glusterfs",
    };
    if (m.fsType.empty())
        return DRIVE_UNKNOWN;
    if (remote.count(m.fsType))
        return DRIVE_REMOTE;
    if (m.fsType == "iso9660" || m.fsType == "udf")
        return DRIVE_CDROM;
    if (m.fsType == "tmpfs" || m.fsType == "ramfs")
        return DRIVE_RAMDISK;
    if (m.removable)
        return DRIVE_REMOVABLE;
    return DRIVE_FIXED;
}

std::map<char16_t, std::string> ParseSubstConfig(std::string_view text,
                                                 std::vector<std::string>* errors) {
    std::map<char16_t, std::string> out;
    while (!text.empty()) {
        const size_t end = text.find_first_of(";\n");
        std::string_view entry = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t'))
            entry.remove_prefix(1);
        while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t' || entry.back() == '\r'))
            entry.remove_suffix(1);
        if (entry.empty() || entry.front() == '#')
            continue;
        const int index = entry.size() >= 3 ? letterIndex(static_cast<unsigned char>(entry[0])) : -1;
        const bool shape = index >= 0 && entry[1] == ':' && entry[2] == '=';
        const std::string_view root = shape ? entry.substr(3) : std::string_view{};
        if (!shape || (!root.empty() && root.front() != '/')) {
            if (errors)
                errors->push_back("subst entry ignored (expected X:=/folder): " + std::string(entry));
            continue;
        }
        out[static_cast<char16_t>(u'A' + index)] = withoutTrailingSlashes(std::string(root));
    }
    return out;
}

std::vector<DriveEntry> AssignDriveLetters(const std::vector<MountEntry>& mounts,
                                           const std::map<char16_t, std::string>& subst,
                                           const std::function<bool(const std::string&)>& isFolder) {
    std::array<std::optional<DriveEntry>, 26> slots;
    for (const auto& [letter, root] : subst)
        if (!root.empty())
            slots[static_cast<size_t>(letter - u'A')] = DriveEntry{letter, root, true, mountHolding(mounts, root)};

    // One letter per file system: the last mount at a point is the visible one, and a file
    // system mounted twice (bind mounts) keeps the first of its points in sorted order.
    std::map<std::string, MountEntry> byPoint;
    for (const MountEntry& m : mounts)
        if (!IsPseudoMount(m))
            byPoint[m.mountPoint] = m;
    if (!byPoint.count("/")) { // no mount table (e.g. /proc is not mounted): "/" is still C:
        MountEntry root;
        root.mountPoint = root.fsRoot = "/";
        root.fsType = "rootfs";
        byPoint["/"] = root;
    }
    std::set<std::tuple<unsigned, unsigned, std::string>> seen;
    std::vector<MountEntry> candidates;
    for (auto& [point, m] : byPoint) {
        if (point != "/" && !isFolder(point))
            continue;
        if (m.devMajor || m.devMinor) {
            if (!seen.insert({m.devMajor, m.devMinor, m.fsRoot}).second)
                continue;
        }
        candidates.push_back(m);
    }
    // "/" sorts first, so it is C: unless C: is taken by a subst letter (then "/" takes the
    // first free letter); the rest follow in the order of their mount points.
    size_t next = 2;
    for (const MountEntry& m : candidates) {
        while (next < 26 && (slots[next] || subst.count(static_cast<char16_t>(u'A' + next))))
            ++next;
        if (next >= 26)
            break;
        slots[next] = DriveEntry{static_cast<char16_t>(u'A' + next), m.mountPoint, false, m};
        ++next;
    }
    std::vector<DriveEntry> out;
    for (auto& s : slots)
        if (s)
            out.push_back(std::move(*s));
    return out;
}

std::string DriveRoot(char16_t letter) {
    const int i = letterIndex(letter);
    if (i < 0)
        return {};
    Table& t = table();
    std::lock_guard lock(t.mutex);
    t.ensure();
    const auto& d = t.drives[static_cast<size_t>(i)];
    if (d)
        return d->root;
    const auto hidden = t.hidden.find(static_cast<char16_t>(u'A' + i));
    return hidden == t.hidden.end() ? std::string{} : hidden->second;
}

char16_t SetHiddenDriveRoot(const std::string& nativeRoot) {
    const std::string root = withoutTrailingSlashes(nativeRoot);
    Table& t = table();
    std::lock_guard lock(t.mutex);
    t.ensure();
    for (const auto& [letter, existing] : t.hidden)
        if (existing == root)
            return letter;
    // A: and B: are never given automatically, so they are the least likely to be wanted.
    static constexpr char16_t kOrder[] = u"ABZYXWVUTSRQPONMLKJIHGFEDC";
    for (const char16_t letter : std::u16string_view(kOrder)) {
        if (t.drives[static_cast<size_t>(letter - u'A')] || t.hidden.count(letter))
            continue;
        t.hidden[letter] = root;
        return letter;
    }
    return 0;
}

void SetDriveRoot(char16_t letter, const std::string& nativeRoot) {
    const int i = letterIndex(letter);
    if (i < 0)
        return;
    const char16_t upper = static_cast<char16_t>(u'A' + i);
    const std::string root = withoutTrailingSlashes(nativeRoot);
    Table& t = table();
    std::lock_guard lock(t.mutex);
    t.ensure();
    t.runtime[upper] = root;
    t.applyRuntime(upper, root);
}

void RefreshDrives() {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    t.load();
}

std::vector<DriveEntry> Drives() {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    t.ensure();
    std::vector<DriveEntry> out;
    for (const auto& d : t.drives)
        if (d)
            out.push_back(*d);
    return out;
}

uint32_t GetLogicalDrives() {
    uint32_t mask = 0;
    for (const DriveEntry& d : Drives())
        mask |= 1u << (d.letter - u'A');
    return mask;
}

char16_t DriveLetterOfRoot(std::u16string_view rootPath) {
    if (rootPath.size() < 2 || rootPath.size() > 3 || rootPath[1] != u':' ||
        (rootPath.size() == 3 && rootPath[2] != u'\\'))
        return 0;
    const int i = letterIndex(rootPath[0]);
    return i < 0 ? 0 : static_cast<char16_t>(u'A' + i);
}

namespace {

std::optional<DriveEntry> driveOf(std::u16string_view rootPath) {
    const char16_t letter = DriveLetterOfRoot(rootPath);
    if (!letter)
        return std::nullopt;
    Table& t = table();
    std::lock_guard lock(t.mutex);
    t.ensure();
    return t.drives[static_cast<size_t>(letter - u'A')];
}

} // namespace

unsigned GetDriveTypeW(std::u16string_view rootPath) {
    const auto d = driveOf(rootPath);
    if (!d || !isFolderOnDisk(d->root))
        return DRIVE_NO_ROOT_DIR;
    return DriveTypeOf(d->mount);
}

bool GetDiskFreeSpaceExW(std::u16string_view rootPath, uint64_t* freeBytesForCaller,
                         uint64_t* totalBytes, uint64_t* totalFreeBytes) {
    const auto d = driveOf(rootPath);
    struct statvfs vfs{};
    if (!d || ::statvfs(d->root.c_str(), &vfs) != 0)
        return false;
    const uint64_t unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
    if (freeBytesForCaller)
        *freeBytesForCaller = static_cast<uint64_t>(vfs.f_bavail) * unit;
    if (totalBytes)
        *totalBytes = static_cast<uint64_t>(vfs.f_blocks) * unit;
    if (totalFreeBytes)
        *totalFreeBytes = static_cast<uint64_t>(vfs.f_bfree) * unit;
    return true;
}

bool GetVolumeInformationW(std::u16string_view rootPath, std::u16string* label) {
    const auto d = driveOf(rootPath);
    if (!d || !isFolderOnDisk(d->root))
        return false;
    if (label)
        label->clear();
    // Block devices with a label have a link named after it in /dev/disk/by-label.
    char device[PATH_MAX];
    if (d->mount.source.empty() || d->mount.source[0] != '/' ||
        !::realpath(d->mount.source.c_str(), device))
        return true;
    DIR* dir = ::opendir("/dev/disk/by-label");
    if (!dir)
        return true;
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        char target[PATH_MAX];
        const std::string link = std::string("/dev/disk/by-label/") + e->d_name;
        if (::realpath(link.c_str(), target) && std::string_view(target) == device) {
            if (label)
                *label = DecodeNativeName(unescapeHex(e->d_name));
            break;
        }
    }
    ::closedir(dir);
    return true;
}

DriveForPath FindDriveForNativePath(std::string_view nativePath) {
    DriveForPath best;
    Table& t = table();
    std::lock_guard lock(t.mutex);
    t.ensure();
    for (const auto& d : t.drives) {
        if (!d || !under(nativePath, d->root))
            continue;
        if (!best.letter || d->root.size() > best.rootLength) {
            best.letter = d->letter;
            best.rootLength = d->root.size();
        }
    }
    if (best.letter)
        return best;
    for (const auto& [letter, root] : t.hidden) {
        if (under(nativePath, root) && (!best.letter || root.size() > best.rootLength)) {
            best.letter = letter;
            best.rootLength = root.size();
        }
    }
    return best;
}

} // namespace platform
