#include "platform/Trash.h"

#include "platform/Debug.h"
#include "platform/DriveTable.h"
#include "platform/NameCodec.h"
#include "platform/PercentEncoding.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace platform {
namespace {

using Fd = UniqueFd;

// Longest names for the item in the trash: room for ".NNNNN" and ".trashinfo" within NAME_MAX.
constexpr size_t kMaxTrashName = NAME_MAX - 16;
constexpr int kMaxCollisions = 100000;
// The trash's size cache is read whole; a larger one is not the user's cache but a trap.
constexpr size_t kMaxCacheBytes = 16 << 20;

std::string errorText(int error) {
    return std::strerror(error);
}

std::string joinPath(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

bool isInside(const std::string& path, const std::string& folder) {
    return folder == "/" || path == folder || path.starts_with(folder + "/");
}

std::vector<std::string> componentsOf(const std::string& relative) {
    std::vector<std::string> components;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos)
            end = relative.size();
        if (end > start)
            components.push_back(relative.substr(start, end - start));
        start = end + 1;
    }
    return components;
}

std::string readFile(int fd, size_t limit) {
    std::string text;
    char buffer[65536];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0)
            text.append(buffer, static_cast<size_t>(got));
        if (text.size() > limit)
            return {};
    }
    return text;
}

// A bookkeeping file of a trash: only a regular file of the trash's owner counts. Opened without
// following links and without blocking, so a fifo or a device in its place can neither hang the
// program nor lend its contents.
std::string readOwnedFile(int dirFd, const char* name, uid_t owner) {
    Fd fd(openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != owner) {
        if (fd)
            OutputDebugStringW(QStringLiteral("Trash: %1 is not a regular file of its owner; "
                                              "not read")
                                   .arg(QString::fromUtf8(name)));
        return {};
    }
    return readFile(fd.get(), kMaxCacheBytes);
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

// The mount point of the mount holding a real (symlink-free) path: the longest mount point
// that contains it; the last listed wins when one was mounted over another.
std::string mountPointOf(const std::string& realPath, const std::vector<MountEntry>& mounts) {
    std::string best = "/";
    for (const MountEntry& mount : mounts) {
        if (isInside(realPath, mount.mountPoint) && mount.mountPoint.size() >= best.size())
            best = mount.mountPoint;
    }
    return best;
}

bool isTrashFolderName(const std::string& name) {
    if (name == ".Trash")
        return true;
    if (!name.starts_with(".Trash-") || name.size() == 7)
        return false;
    return name.find_first_not_of("0123456789", 7) == std::string::npos;
}

// Why an item cannot go into a trash folder it is, lies in or holds; null when it can.
const char* overlapWithTrash(const std::string& item, const std::string& trash) {
    if (trash.empty())
        return nullptr;
    if (item == trash)
        return "it is the trash folder";
    if (isInside(item, trash))
        return "it is in the trash already";
    if (isInside(trash, item))
        return "it holds the trash folder";
    return nullptr;
}

std::string deletionDate() {
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

bool isValidUtf8(const std::string& text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    char32_t codePoint = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t length = codec_detail::sequenceLength(bytes, text.size(), i, codePoint);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

// The name of the item in the trash, shortened to fit beside its suffixes: at a character
// boundary when the name is UTF-8, else by bytes. Never empty.
std::string trashBaseName(const std::string& name) {
    if (name.size() <= kMaxTrashName)
        return name;
    size_t cut = kMaxTrashName;
    if (isValidUtf8(name)) {
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
    }
    return name.substr(0, cut > 0 ? cut : kMaxTrashName);
}

// Disk space of an item and everything in it, in bytes of allocated blocks, every inode once
// (what "du -B1" shows). Walked through descriptors, never following links nor leaving the
// item's volume, at any depth the descriptor limit allows.
class DiskUsage {
public:
    uint64_t Of(int dirFd, const char* name) {
        total_ = 0;
        seen_.clear();
        struct stat st {};
        if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0)
            add(dirFd, name, st, st.st_dev);
        return total_;
    }

private:
    void add(int dirFd, const char* name, const struct stat& st, dev_t volume) {
        if (st.st_nlink > 1 && !S_ISDIR(st.st_mode) && !seen_.insert({st.st_dev, st.st_ino}).second)
            return;
        total_ += static_cast<uint64_t>(st.st_blocks) * 512;
        if (!S_ISDIR(st.st_mode) || st.st_dev != volume)
            return;
        Fd folder(openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder)
            return;
        std::vector<std::string> names;
        if (DIR* dir = fdopendir(dup(folder.get()))) {
            while (dirent* entry = readdir(dir)) {
                const char* n = entry->d_name;
                if (!(n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))))
                    names.emplace_back(n);
            }
            closedir(dir);
        }
        for (const std::string& child : names) {
            struct stat childSt {};
            if (fstatat(folder.get(), child.c_str(), &childSt, AT_SYMLINK_NOFOLLOW) == 0)
                add(folder.get(), child.c_str(), childSt, volume);
        }
    }

    uint64_t total_ = 0;
    std::set<std::pair<dev_t, ino_t>> seen_;
};

// Whose trash an item goes to: the user's, or the administrator's for items the user could not
// have removed. What is worked out here from paths only chooses the trash; the trash folders
// themselves are opened through descriptors (openHomeTrash).
struct TrashOwner {
    uid_t uid = 0;
    gid_t gid = 0;
    std::string name;
    std::string home;
    std::string dataHome;
    std::string homeTrash;     // dataHome/Trash; empty without an absolute data folder
    std::string homeTrashReal; // the same with the links of its existing part resolved
    std::string homeMount;     // mount point of the home trash (or of its nearest existing folder)
    dev_t homeDevice = 0;
};

TrashOwner makeOwner(uid_t uid, gid_t gid, std::string name, std::string home, std::string dataHome,
                     const std::vector<MountEntry>& mounts) {
    TrashOwner owner{uid, gid, std::move(name), std::move(home), std::move(dataHome)};
    if (!owner.dataHome.starts_with('/') || !owner.home.starts_with('/'))
        return owner;
    std::string existing = owner.dataHome + "/Trash";
    std::string missing;
    struct stat st {};
    while (stat(existing.c_str(), &st) != 0 && existing != "/") {
        const size_t slash = existing.rfind('/');
        missing = existing.substr(slash) + missing;
        existing = slash == 0 ? "/" : existing.substr(0, slash);
    }
    char real[PATH_MAX];
    if (!realpath(existing.c_str(), real))
        return owner;
    const std::string realExisting = real;
    owner.homeTrash = owner.dataHome + "/Trash";
    owner.homeTrashReal = (realExisting == "/" ? std::string() : realExisting) + missing;
    owner.homeMount = mountPointOf(realExisting, mounts);
    owner.homeDevice = st.st_dev;
    return owner;
}

// A trash folder opened for its owner, with its two parts.
struct OpenTrash {
    std::string path; // as shown and recorded
    std::string real; // with links resolved
    Fd folder, files, info;
    dev_t device = 0;
};

// What the trash operations of one run for one user share: the mount table, both owners, the
// user's groups and the trash folders opened so far (by owner and home or top folder).
struct TrashContext {
    explicit TrashContext(const UserSession& forUser);
    const TrashOwner& administrator();

    const UserSession& user;
    const bool asRoot;
    std::vector<MountEntry> mounts;
    TrashOwner userOwner;
    std::optional<TrashOwner> adminOwner;
    std::vector<gid_t> userGroups;
    std::map<std::string, OpenTrash> opened;
};

TrashContext::TrashContext(const UserSession& forUser) : user(forUser), asRoot(geteuid() == 0) {
    Fd mountinfo(open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
    mounts = ParseMountInfo(mountinfo ? readFile(mountinfo.get(), 64 << 20) : std::string());
    userOwner = makeOwner(user.uid, user.gid, user.name, user.home, user.DataHome(), mounts);
    int count = 64;
    userGroups.resize(static_cast<size_t>(count));
    while (getgrouplist(user.name.c_str(), user.gid, userGroups.data(), &count) < 0 &&
           count > static_cast<int>(userGroups.size()))
        userGroups.resize(static_cast<size_t>(count));
    userGroups.resize(static_cast<size_t>(std::max(count, 0)));
    userGroups.push_back(user.gid);
}

const TrashOwner& TrashContext::administrator() {
    if (!adminOwner) {
        const std::string& home = user.administratorHome;
        adminOwner = makeOwner(
            0, 0, "root", home,
            home.starts_with('/') ? joinPath(home, ".local/share") : std::string(), mounts);
    }
    return *adminOwner;
}

// One trash operation; fail() records the reason, every step returns false once it failed.
class Trasher {
public:
    Trasher(const ListedItem& item, TrashContext& context)
        : item_(item), context_(context), user_(context.user) {}

    TrashResult run();

private:
    bool fail(const std::string& reason, TrashFailure kind) {
        reason_ = reason;
        failure_ = kind;
        return false;
    }
    // A failed system call on the item or its folder.
    bool failWith(int error) {
        if (error == ENOENT)
            return fail("it no longer exists", TrashFailure::Vanished);
        return fail(errorText(error), kindOf(error, TrashFailure::Other));
    }
    // A trash folder that cannot be used; a read-only volume or a missing permission is named
    // as such.
    bool failTrash(const std::string& reason, int error) {
        return fail(reason, kindOf(error, TrashFailure::NoTrash));
    }
    static TrashFailure kindOf(int error, TrashFailure otherwise) {
        if (error == EROFS)
            return TrashFailure::ReadOnly;
        if (error == EACCES || error == EPERM)
            return TrashFailure::Denied;
        return otherwise;
    }
    bool locateItem();
    bool chooseOwner();
    bool userMayRemove() const;
    bool chooseTrash();
    bool openHomeTrash(OpenTrash* trash);
    bool openTopTrash(OpenTrash* trash);
    std::string openOwnedFolder(int dirFd, const std::string& name, const std::string& shownPath,
                                Fd* out);
    bool giveToOwner(int fd, mode_t mode, const struct stat* current = nullptr);
    bool moveIn();
    void recordFolderSize(const std::string& trashName, time_t infoTime);

    const ListedItem& item_;
    TrashContext& context_;
    const UserSession& user_;
    const TrashOwner* owner_ = nullptr;
    std::string reason_;
    TrashFailure failure_ = TrashFailure::Other;
    int folderError_ = 0; // of the last openOwnedFolder

    std::string path_;         // the item's path as listed
    std::string name_;         // its name in its folder
    std::string realItem_;     // the item's path with the root's links resolved
    std::string topdir_;       // mount point of the item's file system
    struct stat item_st_ {};   // the item as reached
    struct stat parent_st_ {}; // its folder
    Fd parentFd_;

    bool homeTrash_ = false;
    OpenTrash* trash_ = nullptr;

    TrashResult result_;
};

bool Trasher::locateItem() {
    ReachedItem reached;
    const ReachResult reach = ReachListedItem(item_, &reached);
    path_ = reached.path;
    if (!reach) {
        return fail(ReachFailureReason(reach), TrashFailureOf(reach.failure));
    }
    if (reached.name.empty())
        return fail("the root folder cannot be trashed", TrashFailure::Refused);
    name_ = reached.name;
    item_st_ = reached.st;
    parentFd_ = std::move(reached.folder);
    if (fstat(parentFd_.get(), &parent_st_) != 0)
        return failWith(errno);
    realItem_ = joinPath(reached.realFolder, name_);

    bool mountPoint = reached.mountRoot;
    for (const MountEntry& mount : context_.mounts)
        mountPoint = mountPoint || mount.mountPoint == realItem_;
    if (mountPoint)
        return fail("it is a mount point", TrashFailure::Refused);
    topdir_ = mountPointOf(reached.realFolder, context_.mounts);

    // Another user's trash folder, or ours, directly in the top folder.
    if (reached.realFolder == topdir_ && isTrashFolderName(name_))
        return fail("it is a trash folder", TrashFailure::Refused);
    return true;
}

// Whether the user could have removed the item themselves: write and search permission on its
// folder, not barred by a sticky folder, and for a folder, write permission on it too (moving it
// elsewhere changes its ".."). The mode bits decide; access control lists are not read.
bool Trasher::userMayRemove() const {
    if (user_.uid == 0)
        return true;
    const auto allows = [this](const struct stat& st, mode_t need) {
        const bool inGroup = std::find(context_.userGroups.begin(), context_.userGroups.end(),
                                       st.st_gid) != context_.userGroups.end();
        const mode_t bits = st.st_uid == user_.uid ? (st.st_mode >> 6) & 7
                            : inGroup              ? (st.st_mode >> 3) & 7
                                                   : st.st_mode & 7;
        return (bits & need) == need;
    };
    if (!allows(parent_st_, 3)) // write and search
        return false;
    if ((parent_st_.st_mode & S_ISVTX) && item_st_.st_uid != user_.uid &&
        parent_st_.st_uid != user_.uid)
        return false;
    return !S_ISDIR(item_st_.st_mode) || allows(item_st_, 2);
}

bool Trasher::chooseOwner() {
    // Without root rights the system's own refusal tells what the user may not remove.
    owner_ = !context_.asRoot || userMayRemove() ? &context_.userOwner : &context_.administrator();
    // Only a rename keeps the promise of never copying: the home trash takes what lies on its
    // own mount, the top folder's trash everything else.
    homeTrash_ = !owner_->homeTrash.empty() && owner_->homeDevice == item_st_.st_dev &&
                 owner_->homeMount == topdir_;
    if (homeTrash_) {
        if (const char* why = overlapWithTrash(realItem_, owner_->homeTrashReal))
            return fail(why, TrashFailure::Refused);
    }
    return true;
}

// Opens (or creates) a trash folder of the owner in dirFd: created 0700 and given to the owner
// when missing; when it exists it must be a folder of the owner's and no symbolic link. Checked
// through the descriptor it is then used by. Returns why it cannot be used.
std::string Trasher::openOwnedFolder(int dirFd, const std::string& name,
                                     const std::string& shownPath, Fd* out) {
    // The error of a failed call, kept for the kind of failure; 0 for a folder that is unfit.
    folderError_ = 0;
    const auto because = [this](const std::string& what) {
        folderError_ = errno;
        return what + errorText(folderError_);
    };
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    Fd fd(openat(dirFd, name.c_str(), flags));
    bool created = false;
    if (!fd && errno == ENOENT) {
        if (mkdirat(dirFd, name.c_str(), 0700) == 0)
            created = true;
        else if (errno != EEXIST)
            return because("cannot create the trash folder " + shownPath + ": ");
        fd = Fd(openat(dirFd, name.c_str(), flags));
    }
    if (!fd) {
        if (errno == ELOOP || errno == ENOTDIR) {
            struct stat st {};
            const bool link =
                fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
            return "the trash folder " + shownPath +
                   (link ? " is a symbolic link" : " is not a folder");
        }
        return because("cannot open the trash folder " + shownPath + ": ");
    }
    struct stat st {};
    if (fstat(fd.get(), &st) != 0)
        return because("cannot use the trash folder " + shownPath + ": ");
    // Only the empty folder just made is handed over: whatever someone may have renamed into
    // its place meanwhile keeps its owner.
    if (created && st.st_uid == geteuid() && st.st_nlink == 2 && st.st_uid != owner_->uid) {
        if (!giveToOwner(fd.get(), 0700))
            return because("cannot give the trash folder " + shownPath + " to user " +
                           owner_->name + ": ");
        fstat(fd.get(), &st);
    }
    if (st.st_uid != owner_->uid)
        return "the trash folder " + shownPath + " does not belong to user " + owner_->name;
    *out = std::move(fd);
    return {};
}

// Hands a file or folder made for the owner over: the owner's ids and the mode given.
bool Trasher::giveToOwner(int fd, mode_t mode, const struct stat* current) {
    if (context_.asRoot &&
        (!current || current->st_uid != owner_->uid || current->st_gid != owner_->gid)) {
        if (fchown(fd, owner_->uid, owner_->gid) != 0)
            return false;
    }
    if (current && (current->st_mode & 07777) == mode)
        return true;
    return fchmod(fd, mode) == 0;
}

// $XDG_DATA_HOME/Trash of the owner, reached from the home (or from "/" for a data folder outside
// the home) one folder at a time, never following a link, each folder checked through its own
// descriptor: every folder inside the home must be the owner's, and on a way from "/" a folder
// must be the owner's or root's and, if root's, not open to others' writing unless sticky.
// Missing folders are made only inside a folder of the owner's.
bool Trasher::openHomeTrash(OpenTrash* trash) {
    const TrashOwner& owner = *owner_;
    trash->path = owner.homeTrash;
    const auto unusable = [&](const std::string& why, int error) {
        return failTrash("cannot use the trash folder " + trash->path + ": " + why, error);
    };
    const bool inHome = owner.dataHome.starts_with(owner.home == "/" ? "/" : owner.home + "/");
    const std::string start = inHome ? owner.home : "/";
    Fd dir(open(start.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (!dir || fstat(dir.get(), &st) != 0)
        return unusable(start + ": " + errorText(errno), errno);
    if (inHome && st.st_uid != owner.uid)
        return unusable("the home " + start + " does not belong to user " + owner.name, 0);
    bool ownersOwn = st.st_uid == owner.uid;

    std::vector<std::string> components =
        componentsOf(owner.dataHome.substr(inHome && owner.home != "/" ? owner.home.size() : 0));
    components.push_back("Trash");
    std::string shown = start;
    for (const std::string& component : components) {
        shown = joinPath(shown, component);
        if (component == "." || component == "..")
            return unusable("its path is not plain", 0);
        Fd next(
            openat(dir.get(), component.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next && errno == ENOENT) {
            if (!ownersOwn)
                return unusable(shown + " is missing, and is made only inside a folder of user " +
                                    owner.name,
                                0);
            Fd made;
            if (const std::string why = openOwnedFolder(dir.get(), component, shown, &made);
                !why.empty())
                return failTrash(why, folderError_);
            next = std::move(made);
        }
        if (!next) {
            const int error = errno;
            return unusable(shown + (error == ENOTDIR || error == ELOOP
                                         ? std::string(" is a symbolic link or no folder")
                                         : ": " + errorText(error)),
                            error);
        }
        if (fstat(next.get(), &st) != 0)
            return unusable(shown + ": " + errorText(errno), errno);
        const bool mine = st.st_uid == owner.uid;
        const bool sharedButSafe =
            st.st_uid == 0 && (!(st.st_mode & 022) || (st.st_mode & S_ISVTX));
        if (!mine && (ownersOwn || !sharedButSafe))
            return unusable(shown + " does not belong to user " + owner.name, 0);
        ownersOwn = ownersOwn || mine;
        dir = std::move(next);
    }
    // The trash itself must be the owner's: a root folder on the way is not enough.
    if (st.st_uid != owner.uid)
        return unusable("it does not belong to user " + owner.name, 0);
    trash->folder = std::move(dir);
    return true;
}

bool Trasher::openTopTrash(OpenTrash* trash) {
    Fd top(open(topdir_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!top)
        return failTrash("cannot open the top folder " + topdir_ + ": " + errorText(errno), errno);
    const std::string uid = std::to_string(owner_->uid);

    // The administrators' shared trash, when it is a real folder of root's with the sticky bit;
    // any trouble with it or with the owner's folder in it leads to the owner's own trash folder.
    const std::string sharedPath = joinPath(topdir_, ".Trash");
    if (Fd shared(openat(top.get(), ".Trash", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        shared) {
        struct stat st {};
        Fd userFd;
        if (fstat(shared.get(), &st) == 0 && st.st_uid == 0 && (st.st_mode & S_ISVTX) &&
            openOwnedFolder(shared.get(), uid, joinPath(sharedPath, uid), &userFd).empty()) {
            trash->path = joinPath(sharedPath, uid);
            trash->folder = std::move(userFd);
            return true;
        }
        OutputDebugStringW(QStringLiteral("Trash: %1 is not root's sticky folder or holds no "
                                          "usable folder %2; not used")
                               .arg(QString::fromUtf8(sharedPath), QString::fromStdString(uid)));
    }
    trash->path = joinPath(topdir_, ".Trash-" + uid);
    if (const std::string why =
            openOwnedFolder(top.get(), ".Trash-" + uid, trash->path, &trash->folder);
        !why.empty())
        return failTrash(why, folderError_);
    return true;
}

bool Trasher::chooseTrash() {
    const std::string key =
        std::to_string(owner_->uid) + (homeTrash_ ? ":home" : ":top:" + topdir_);
    auto found = context_.opened.find(key);
    if (found == context_.opened.end()) {
        OpenTrash trash;
        if (!(homeTrash_ ? openHomeTrash(&trash) : openTopTrash(&trash)))
            return false;
        trash.real = FolderPathOf(trash.folder.get());
        for (const char* part : {"files", "info"}) {
            Fd* fd = part[0] == 'f' ? &trash.files : &trash.info;
            if (const std::string why =
                    openOwnedFolder(trash.folder.get(), part, trash.path + "/" + part, fd);
                !why.empty())
                return failTrash(why, folderError_);
        }
        struct stat st {};
        if (fstat(trash.files.get(), &st) != 0)
            return failTrash("cannot use " + trash.path + "/files: " + errorText(errno), errno);
        trash.device = st.st_dev;
        found = context_.opened.emplace(key, std::move(trash)).first;
    }
    trash_ = &found->second;
    if (trash_->device != item_st_.st_dev)
        return failTrash("the trash folder " + trash_->path + " is on another volume", 0);
    if (const char* why = overlapWithTrash(realItem_, trash_->real))
        return fail(why, TrashFailure::Refused);
    return true;
}

bool Trasher::moveIn() {
    // The original location: absolute in the home trash, relative to the top folder elsewhere.
    std::string original = homeTrash_ ? path_ : realItem_;
    if (!homeTrash_ && topdir_ != "/")
        original = original.substr(topdir_.size());
    if (!homeTrash_)
        original = original.substr(1);
    const std::string record = "[Trash Info]\nPath=" + PercentEncodeBytes(original, true) +
                               "\nDeletionDate=" + deletionDate() + "\n";

    const int files = trash_->files.get();
    const int info = trash_->info.get();
    const std::string base = trashBaseName(name_);
    for (int n = 1; n <= kMaxCollisions; ++n) {
        const std::string trashName = n == 1 ? base : base + "." + std::to_string(n);
        const std::string infoName = trashName + ".trashinfo";
        struct stat st {};
        // An entry of files/ without its record must not be overwritten either.
        if (fstatat(files, trashName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            continue;
        Fd infoFd(openat(info, infoName.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!infoFd && errno == EEXIST)
            continue;
        const std::string infoPath = trash_->path + "/info/" + infoName;
        if (!infoFd)
            return failTrash("cannot create " + infoPath + ": " + errorText(errno), errno);
        struct stat infoStat {};
        if (!writeAll(infoFd.get(), record) || fstat(infoFd.get(), &infoStat) != 0 ||
            !giveToOwner(infoFd.get(), 0600, &infoStat)) {
            const int error = errno;
            unlinkat(info, infoName.c_str(), 0);
            return failTrash("cannot write " + infoPath + ": " + errorText(error), error);
        }
        infoFd = Fd();

        int moved =
            renameat2(parentFd_.get(), name_.c_str(), files, trashName.c_str(), RENAME_NOREPLACE);
        if (moved != 0 && errno == EINVAL &&
            fstatat(files, trashName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            // File systems without RENAME_NOREPLACE; the name was free a moment ago.
            moved = renameat(parentFd_.get(), name_.c_str(), files, trashName.c_str());
        }
        if (moved != 0) {
            const int error = errno;
            unlinkat(info, infoName.c_str(), 0);
            if (error == EEXIST)
                continue;
            return failWith(error);
        }
        // Someone may have put another entry under the item's name between the check and the
        // move: that one goes back where it came from, and the item counts as changed.
        if (fstatat(files, trashName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            st.st_dev != item_st_.st_dev || st.st_ino != item_st_.st_ino) {
            renameat2(files, trashName.c_str(), parentFd_.get(), name_.c_str(), RENAME_NOREPLACE);
            unlinkat(info, infoName.c_str(), 0);
            return fail("it changed while it was being moved", TrashFailure::Changed);
        }
        result_.trashedPath = trash_->path + "/files/" + trashName;
        result_.infoPath = infoPath;
        result_.trashFolder = trash_->path;
        result_.administratorTrash = owner_ != &context_.userOwner;
        if (S_ISDIR(item_st_.st_mode))
            recordFolderSize(trashName, infoStat.st_mtime);
        return true;
    }
    return failTrash("no free name in the trash folder " + trash_->path, 0);
}

// The folder's line in the trash's size cache ("size mtime-of-record encoded-name"), replacing
// an older line of the same name; the file is replaced as a whole. A cache that is not a regular
// file of the trash's owner is started anew.
void Trasher::recordFolderSize(const std::string& trashName, time_t infoTime) {
    const int folder = trash_->folder.get();
    const std::string encoded = PercentEncodeBytes(trashName, false);
    std::string text;
    const std::string old = readOwnedFile(folder, "directorysizes", owner_->uid);
    size_t start = 0;
    while (start < old.size()) {
        size_t end = old.find('\n', start);
        if (end == std::string::npos)
            end = old.size();
        const std::string line = old.substr(start, end - start);
        const size_t lastBlank = line.rfind(' ');
        if (!line.empty() &&
            (lastBlank == std::string::npos || line.substr(lastBlank + 1) != encoded))
            text += line + "\n";
        start = end + 1;
    }
    text += std::to_string(DiskUsage().Of(trash_->files.get(), trashName.c_str())) + " " +
            std::to_string(static_cast<long long>(infoTime)) + " " + encoded + "\n";

    static std::atomic<unsigned> counter{0};
    const std::string temporary =
        "directorysizes." + std::to_string(getpid()) + "." + std::to_string(counter++);
    Fd fd(openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                 0600));
    const bool written = fd && writeAll(fd.get(), text) && giveToOwner(fd.get(), 0600);
    fd = Fd();
    if (!written || renameat(folder, temporary.c_str(), folder, "directorysizes") != 0) {
        unlinkat(folder, temporary.c_str(), 0);
        OutputDebugStringW(QStringLiteral("Trash: could not update %1/directorysizes")
                               .arg(QString::fromUtf8(trash_->path)));
    }
}

TrashResult Trasher::run() {
    path_ = item_.Path();
    if (!user_.CanActForUser()) {
        fail("the program acts for no user: " + user_.refusal + " names no user account",
             TrashFailure::Denied);
    } else if (!context_.asRoot && geteuid() != user_.uid) {
        fail("the program has no right to act for user " + user_.name, TrashFailure::Denied);
    } else if (locateItem() && chooseOwner() && chooseTrash() && moveIn()) {
        result_.ok = true;
        return result_;
    }
    result_.ok = false;
    result_.trashedPath.clear();
    result_.infoPath.clear();
    result_.trashFolder.clear();
    result_.administratorTrash = false;
    result_.failure = failure_;
    result_.reason = QString::fromUtf8(reason_);
    result_.error = QStringLiteral("Could not move \"%1\" to the trash: %2.")
                        .arg(QString::fromUtf8(path_), result_.reason);
    return result_;
}

TrashHandler& currentTrashHandler() {
    static TrashHandler handler;
    return handler;
}

TrashResult refusedPath(const std::string& path, bool root) {
    TrashResult result;
    result.failure = TrashFailure::Refused;
    result.reason = root ? QStringLiteral("the root folder cannot be trashed")
                         : QStringLiteral("only absolute paths without \".\" or \"..\" can be "
                                          "trashed");
    result.error = QStringLiteral("Could not move \"%1\" to the trash: %2.")
                       .arg(QString::fromUtf8(path), result.reason);
    return result;
}

} // namespace

std::vector<TrashResult> MoveToTrash(const std::vector<ListedItem>& items,
                                     const UserSession& user) {
    TrashContext context(user);
    std::vector<TrashResult> results;
    results.reserve(items.size());
    for (const ListedItem& item : items)
        results.push_back(Trasher(item, context).run());
    return results;
}

std::vector<TrashResult> MoveToTrash(const std::vector<std::string>& nativePaths,
                                     const UserSession& user) {
    TrashContext context(user);
    std::vector<TrashResult> results;
    results.reserve(nativePaths.size());
    for (const std::string& path : nativePaths) {
        ListedItem item;
        const bool absolute = ListedItem::FromPath(path, &item);
        results.push_back(absolute && !item.names.empty() ? Trasher(item, context).run()
                                                          : refusedPath(path, absolute));
    }
    return results;
}

TrashResult MoveToTrash(const std::string& nativePath, const UserSession& user) {
    return MoveToTrash(std::vector<std::string>{nativePath}, user).front();
}

std::vector<TrashResult> ShellMoveToTrash(const std::vector<ListedItem>& items) {
    if (const TrashHandler& handler = currentTrashHandler())
        return handler(items);
    return MoveToTrash(items, CurrentUserSession());
}

TrashFailure TrashFailureOf(ReachFailure failure) {
    switch (failure) {
    case ReachFailure::None:
        return TrashFailure::None;
    case ReachFailure::Vanished:
        return TrashFailure::Vanished;
    case ReachFailure::Changed:
        return TrashFailure::Changed;
    case ReachFailure::Denied:
        return TrashFailure::Denied;
    case ReachFailure::Other:
        break;
    }
    return TrashFailure::Other;
}

std::string ReachFailureReason(const ReachResult& reach) {
    switch (reach.failure) {
    case ReachFailure::Vanished:
        return "it no longer exists (" + reach.reason + ")";
    case ReachFailure::Changed:
        return "it changed since the analysis: " + reach.reason;
    default:
        return reach.reason;
    }
}

TrashHandler SetTrashHandler(TrashHandler handler) {
    TrashHandler previous = std::move(currentTrashHandler());
    currentTrashHandler() = std::move(handler);
    return previous;
}

} // namespace platform
