#include "platform/Trash.h"

#include "platform/Debug.h"
#include "platform/DriveTable.h"
#include "platform/PercentEncoding.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace platform {
namespace {

// An open descriptor, closed when it goes out of scope.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0)
            close(fd_);
    }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Longest names for the item in the trash: room for ".NNNNN" and ".trashinfo" within NAME_MAX.
constexpr size_t kMaxTrashName = NAME_MAX - 16;
constexpr int kMaxCollisions = 100000;

std::string errorText(int error) {
    return std::strerror(error);
}

std::string joinPath(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

bool isInside(const std::string& path, const std::string& folder) {
    return folder == "/" || path == folder || path.starts_with(folder + "/");
}

// "/a//b/c/" -> components a, b, c. False for relative paths and "." or ".." components.
bool splitAbsolutePath(const std::string& path, std::vector<std::string>* components) {
    if (!path.starts_with('/'))
        return false;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        std::string component = path.substr(start, end - start);
        if (component == "." || component == "..")
            return false;
        if (!component.empty())
            components->push_back(std::move(component));
        start = end + 1;
    }
    return true;
}

std::string readSmallFile(int dirFd, const char* name) {
    Fd fd(openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    std::string text;
    if (!fd)
        return text;
    char buffer[65536];
    ssize_t got;
    while ((got = read(fd.get(), buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0)
            text.append(buffer, static_cast<size_t>(got));
    }
    return text;
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

std::string folderPathOf(int fd) {
    char link[PATH_MAX + 1];
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(proc.c_str(), link, PATH_MAX);
    return length > 0 ? std::string(link, static_cast<size_t>(length)) : std::string();
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

// The name of the item in the trash, shortened to fit beside its suffixes (at a character
// boundary when the name is UTF-8).
std::string trashBaseName(const std::string& name) {
    if (name.size() <= kMaxTrashName)
        return name;
    size_t cut = kMaxTrashName;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.substr(0, cut);
}

// Disk space of a folder and everything in it, in bytes of allocated blocks, every inode once
// (what "du -B1" shows).
thread_local uint64_t tDiskUsage = 0;
thread_local std::set<std::pair<dev_t, ino_t>>* tSeenLinks = nullptr;

int addDiskUsage(const char*, const struct stat* st, int, FTW*) {
    if (st->st_nlink > 1 && !S_ISDIR(st->st_mode) &&
        !tSeenLinks->insert({st->st_dev, st->st_ino}).second)
        return 0;
    tDiskUsage += static_cast<uint64_t>(st->st_blocks) * 512;
    return 0;
}

uint64_t diskUsage(const std::string& folder) {
    std::set<std::pair<dev_t, ino_t>> seen;
    tDiskUsage = 0;
    tSeenLinks = &seen;
    nftw(folder.c_str(), addDiskUsage, 32, FTW_PHYS | FTW_MOUNT);
    tSeenLinks = nullptr;
    return tDiskUsage;
}

// A trash folder opened for the user, with its two parts.
struct OpenTrash {
    std::string path; // as shown and recorded
    std::string real; // with links resolved
    Fd folder, files, info;
};

// What the trash operations of one run for one user share: the mount table, where the home
// trash lies, and the trash folders opened so far (by home trash path or top folder).
struct TrashContext {
    explicit TrashContext(const UserSession& forUser);

    const UserSession& user;
    const bool asRoot;
    std::vector<MountEntry> mounts;
    std::string homeTrash;     // $XDG_DATA_HOME/Trash; empty without an absolute data folder
    std::string homeTrashReal; // the same with the links of its existing part resolved
    std::string homeMount;     // mount point of the home trash (or of its nearest existing folder)
    dev_t homeDevice = 0;
    std::map<std::string, OpenTrash> opened;
};

TrashContext::TrashContext(const UserSession& forUser)
    : user(forUser), asRoot(geteuid() == 0),
      mounts(ParseMountInfo(readSmallFile(AT_FDCWD, "/proc/self/mountinfo"))) {
    const std::string dataHome = user.DataHome();
    if (!dataHome.starts_with('/'))
        return;
    std::string existing = dataHome + "/Trash";
    std::string missing;
    struct stat st {};
    while (stat(existing.c_str(), &st) != 0 && existing != "/") {
        const size_t slash = existing.rfind('/');
        missing = existing.substr(slash) + missing;
        existing = slash == 0 ? "/" : existing.substr(0, slash);
    }
    char real[PATH_MAX];
    if (!realpath(existing.c_str(), real))
        return;
    const std::string realExisting = real;
    homeTrash = dataHome + "/Trash";
    homeTrashReal = (realExisting == "/" ? std::string() : realExisting) + missing;
    homeMount = mountPointOf(realExisting, mounts);
    homeDevice = st.st_dev;
}

// One trash operation; fail() records the reason, every step returns false once it failed.
class Trasher {
public:
    Trasher(const std::string& path, TrashContext& context)
        : path_(path), context_(context), user_(context.user) {}

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
    bool chooseTrash();
    bool openHomeTrash(OpenTrash* trash);
    bool openTopTrash(OpenTrash* trash);
    std::string openOwnedFolder(int dirFd, const std::string& name, const std::string& shownPath,
                                Fd* out);
    bool giveToUser(int fd, mode_t mode, const struct stat* current = nullptr);
    bool moveIn();
    void recordFolderSize(const std::string& trashName, time_t infoTime);

    const std::string path_;
    TrashContext& context_;
    const UserSession& user_;
    std::string reason_;
    TrashFailure failure_ = TrashFailure::Other;
    int folderError_ = 0; // of the last openOwnedFolder

    std::string parent_, name_; // the item as given, parent folder normalised
    std::string realItem_;      // the item's path with the parent's links resolved
    std::string topdir_;        // mount point of the item's file system
    struct stat item_ {};
    Fd parentFd_;

    bool homeTrash_ = false;
    OpenTrash* trash_ = nullptr;

    TrashResult result_;
};

bool Trasher::locateItem() {
    std::vector<std::string> components;
    if (!splitAbsolutePath(path_, &components))
        return fail("only absolute paths without \".\" or \"..\" can be trashed",
                    TrashFailure::Refused);
    if (components.empty())
        return fail("the root folder cannot be trashed", TrashFailure::Refused);
    name_ = components.back();
    parent_.clear();
    for (size_t i = 0; i + 1 < components.size(); ++i)
        parent_ += "/" + components[i];
    if (parent_.empty())
        parent_ = "/";

    parentFd_ = Fd(open(parent_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!parentFd_)
        return failWith(errno);
    struct stat parent {};
    if (fstat(parentFd_.get(), &parent) != 0)
        return failWith(errno);
    if (fstatat(parentFd_.get(), name_.c_str(), &item_, AT_SYMLINK_NOFOLLOW) != 0)
        return failWith(errno);

    const std::string realParent = folderPathOf(parentFd_.get());
    if (!realParent.starts_with('/'))
        return fail("its folder cannot be resolved", TrashFailure::Other);
    realItem_ = joinPath(realParent, name_);

    bool mountPoint = item_.st_dev != parent.st_dev;
    for (const MountEntry& mount : context_.mounts)
        mountPoint = mountPoint || mount.mountPoint == realItem_;
    if (mountPoint)
        return fail("it is a mount point", TrashFailure::Refused);
    topdir_ = mountPointOf(realParent, context_.mounts);

    // Another user's trash folder, or ours, directly in the top folder.
    if (realParent == topdir_ && isTrashFolderName(name_))
        return fail("it is a trash folder", TrashFailure::Refused);

    // Only a rename keeps the promise of never copying: the home trash takes what lies on its
    // own mount, the top folder's trash everything else.
    homeTrash_ = !context_.homeTrash.empty() && context_.homeDevice == item_.st_dev &&
                 context_.homeMount == topdir_;
    if (homeTrash_) {
        if (const char* why = overlapWithTrash(realItem_, context_.homeTrashReal))
            return fail(why, TrashFailure::Refused);
    }
    return true;
}

// Takes a trash folder for the user: created 0700 and given to the user when missing; when it
// exists it must be a folder of the user's and no symbolic link. Returns why it cannot be used.
std::string Trasher::openOwnedFolder(int dirFd, const std::string& name,
                                     const std::string& shownPath, Fd* out) {
    // The error of a failed call, kept for the kind of failure; 0 for a folder that is unfit.
    folderError_ = 0;
    const auto because = [this](const std::string& what) {
        folderError_ = errno;
        return what + errorText(folderError_);
    };
    struct stat st {};
    bool created = false;
    if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            return because("cannot use the trash folder " + shownPath + ": ");
        if (mkdirat(dirFd, name.c_str(), 0700) == 0)
            created = true;
        else if (errno != EEXIST)
            return because("cannot create the trash folder " + shownPath + ": ");
    } else if (S_ISLNK(st.st_mode)) {
        return "the trash folder " + shownPath + " is a symbolic link";
    } else if (!S_ISDIR(st.st_mode)) {
        return "the trash folder " + shownPath + " is not a folder";
    }
    Fd fd(openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        return errno == ELOOP ? "the trash folder " + shownPath + " is a symbolic link"
                              : because("cannot open the trash folder " + shownPath + ": ");
    }
    if (created && !giveToUser(fd.get(), 0700))
        return because("cannot give the trash folder " + shownPath + " to user " + user_.name +
                       ": ");
    if (fstat(fd.get(), &st) != 0 || st.st_uid != user_.uid)
        return "the trash folder " + shownPath + " does not belong to user " + user_.name;
    *out = std::move(fd);
    return {};
}

// Hands a file or folder made for the user over: the user's ids and the mode given.
bool Trasher::giveToUser(int fd, mode_t mode, const struct stat* current) {
    if (context_.asRoot &&
        (!current || current->st_uid != user_.uid || current->st_gid != user_.gid)) {
        if (fchown(fd, user_.uid, user_.gid) != 0)
            return false;
    }
    if (current && (current->st_mode & 07777) == mode)
        return true;
    return fchmod(fd, mode) == 0;
}

bool Trasher::openHomeTrash(OpenTrash* trash) {
    trash->path = context_.homeTrash;
    // Missing folders on the way are made for the user, but only inside a folder of the user's:
    // a root process never plants folders in someone else's place.
    std::string existing = trash->path;
    std::vector<std::string> missing;
    struct stat st {};
    while (stat(existing.c_str(), &st) != 0) {
        if (errno != ENOENT || existing == "/")
            return failTrash("cannot use the trash folder " + trash->path + ": " + errorText(errno),
                             errno);
        const size_t slash = existing.rfind('/');
        missing.insert(missing.begin(), existing.substr(slash + 1));
        existing = slash == 0 ? "/" : existing.substr(0, slash);
    }
    if (missing.empty()) {
        const size_t slash = trash->path.rfind('/');
        missing.push_back(trash->path.substr(slash + 1));
        existing = slash == 0 ? "/" : trash->path.substr(0, slash);
    } else if (st.st_uid != user_.uid) {
        return failTrash("cannot create the trash folder " + trash->path + ": " + existing +
                             " does not belong to user " + user_.name,
                         0);
    }
    Fd dir(open(existing.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!dir)
        return failTrash("cannot use the trash folder " + trash->path + ": " + errorText(errno),
                         errno);
    std::string shown = existing;
    for (const std::string& component : missing) {
        shown = joinPath(shown, component);
        Fd next;
        if (const std::string why = openOwnedFolder(dir.get(), component, shown, &next);
            !why.empty())
            return failTrash(why, folderError_);
        dir = std::move(next);
    }
    trash->folder = std::move(dir);
    return true;
}

bool Trasher::openTopTrash(OpenTrash* trash) {
    Fd top(open(topdir_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!top)
        return failTrash("cannot open the top folder " + topdir_ + ": " + errorText(errno), errno);
    const std::string uid = std::to_string(user_.uid);

    // The administrators' shared trash, when it is a real folder with the sticky bit; any
    // trouble with it or with the user's folder in it leads to the user's own trash folder.
    struct stat shared {};
    const std::string sharedPath = joinPath(topdir_, ".Trash");
    if (fstatat(top.get(), ".Trash", &shared, AT_SYMLINK_NOFOLLOW) == 0) {
        Fd sharedFd;
        if (S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX))
            sharedFd =
                Fd(openat(top.get(), ".Trash", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        else
            OutputDebugStringW(QStringLiteral("Trash: %1 is not a folder with the sticky bit; "
                                              "not used")
                                   .arg(QString::fromUtf8(sharedPath)));
        Fd userFd;
        if (sharedFd &&
            openOwnedFolder(sharedFd.get(), uid, joinPath(sharedPath, uid), &userFd).empty()) {
            trash->path = joinPath(sharedPath, uid);
            trash->folder = std::move(userFd);
            return true;
        }
    }
    trash->path = joinPath(topdir_, ".Trash-" + uid);
    if (const std::string why =
            openOwnedFolder(top.get(), ".Trash-" + uid, trash->path, &trash->folder);
        !why.empty())
        return failTrash(why, folderError_);
    return true;
}

bool Trasher::chooseTrash() {
    const std::string key = homeTrash_ ? "home" : "top:" + topdir_;
    auto found = context_.opened.find(key);
    if (found == context_.opened.end()) {
        OpenTrash trash;
        if (!(homeTrash_ ? openHomeTrash(&trash) : openTopTrash(&trash)))
            return false;
        trash.real = folderPathOf(trash.folder.get());
        for (const char* part : {"files", "info"}) {
            Fd* fd = part[0] == 'f' ? &trash.files : &trash.info;
            if (const std::string why =
                    openOwnedFolder(trash.folder.get(), part, trash.path + "/" + part, fd);
                !why.empty())
                return failTrash(why, folderError_);
        }
        found = context_.opened.emplace(key, std::move(trash)).first;
    }
    trash_ = &found->second;
    if (const char* why = overlapWithTrash(realItem_, trash_->real))
        return fail(why, TrashFailure::Refused);
    return true;
}

bool Trasher::moveIn() {
    // The original location: absolute in the home trash, relative to the top folder elsewhere.
    std::string original = homeTrash_ ? joinPath(parent_, name_) : realItem_;
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
            !giveToUser(infoFd.get(), 0600, &infoStat)) {
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
        result_.trashedPath = trash_->path + "/files/" + trashName;
        result_.infoPath = infoPath;
        if (S_ISDIR(item_.st_mode))
            recordFolderSize(trashName, infoStat.st_mtime);
        return true;
    }
    return failTrash("no free name in the trash folder " + trash_->path, 0);
}

// The folder's line in the trash's size cache ("size mtime-of-record encoded-name"), replacing
// an older line of the same name; the file is replaced as a whole.
void Trasher::recordFolderSize(const std::string& trashName, time_t infoTime) {
    const int folder = trash_->folder.get();
    const std::string encoded = PercentEncodeBytes(trashName, false);
    std::string text;
    const std::string old = readSmallFile(folder, "directorysizes");
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
    text += std::to_string(diskUsage(result_.trashedPath)) + " " +
            std::to_string(static_cast<long long>(infoTime)) + " " + encoded + "\n";

    static std::atomic<unsigned> counter{0};
    const std::string temporary =
        "directorysizes." + std::to_string(getpid()) + "." + std::to_string(counter++);
    Fd fd(openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                 0600));
    const bool written = fd && writeAll(fd.get(), text) && giveToUser(fd.get(), 0600);
    fd = Fd();
    if (!written || renameat(folder, temporary.c_str(), folder, "directorysizes") != 0) {
        unlinkat(folder, temporary.c_str(), 0);
        OutputDebugStringW(QStringLiteral("Trash: could not update %1/directorysizes")
                               .arg(QString::fromUtf8(trash_->path)));
    }
}

TrashResult Trasher::run() {
    if (!context_.asRoot && geteuid() != user_.uid) {
        fail("the program has no right to act for user " + user_.name, TrashFailure::Denied);
    } else if (locateItem() && chooseTrash() && moveIn()) {
        result_.ok = true;
        return result_;
    }
    result_.ok = false;
    result_.trashedPath.clear();
    result_.infoPath.clear();
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

} // namespace

TrashResult MoveToTrash(const std::string& nativePath, const UserSession& user) {
    TrashContext context(user);
    return Trasher(nativePath, context).run();
}

std::vector<TrashResult> MoveToTrash(const std::vector<std::string>& nativePaths,
                                     const UserSession& user) {
    TrashContext context(user);
    std::vector<TrashResult> results;
    results.reserve(nativePaths.size());
    for (const std::string& path : nativePaths)
        results.push_back(Trasher(path, context).run());
    return results;
}

std::vector<TrashResult> ShellMoveToTrash(const std::vector<std::string>& nativePaths) {
    if (const TrashHandler& handler = currentTrashHandler())
        return handler(nativePaths);
    return MoveToTrash(nativePaths, CurrentUserSession());
}

TrashHandler SetTrashHandler(TrashHandler handler) {
    TrashHandler previous = std::move(currentTrashHandler());
    currentTrashHandler() = std::move(handler);
    return previous;
}

} // namespace platform
