#include "app/SingleInstance.h"

#include "platform/Debug.h"
#include "platform/UserSession.h"

#include <QSocketNotifier>
#include <QString>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace app {
namespace {

constexpr char kRequest[] = "RESTORE\n";
constexpr char kAnswer[] = "OK\n";

void debug(const QString& line) { platform::OutputDebugStringW(QStringLiteral("Instance: ") + line); }

QString errnoText() { return QString::fromLocal8Bit(std::strerror(errno)); }

// A folder that only its owner, this user, can enter: created when missing, refused when it is
// a link or another user's.
bool usablePrivateFolder(const std::string& folder) {
    if (folder.empty())
        return false;
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
        return false;
    if ((st.st_mode & 077) != 0 && chmod(folder.c_str(), 0700) != 0)
        return false;
    return true;
}

bool fillAddress(const std::string& path, sockaddr_un* address) {
    std::memset(address, 0, sizeof(*address));
    address->sun_family = AF_UNIX;
    if (path.size() >= sizeof(address->sun_path))
        return false;
    std::memcpy(address->sun_path, path.c_str(), path.size());
    return true;
}

// Waits until fd is ready for `events` or the time is up.
bool waitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int r;
    do {
        r = poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r > 0;
}

// An X display without its screen number: "host:N.S" becomes "host:N".
std::string_view withoutScreen(std::string_view display) {
    const size_t colon = display.rfind(':');
    const size_t dot = display.rfind('.');
    if (colon == std::string_view::npos || dot == std::string_view::npos || dot < colon + 2 ||
        dot + 1 == display.size())
        return display;
    for (size_t i = colon + 1; i < display.size(); ++i)
        if (i != dot && (display[i] < '0' || display[i] > '9'))
            return display;
    return display.substr(0, dot);
}

bool safeNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

uint64_t fnv1a(std::string_view text) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

} // namespace

std::string DisplayNamePart(std::string_view display, std::string_view waylandDisplay) {
    constexpr size_t kLongest = 32;
    const std::string_view chosen = !display.empty()          ? withoutScreen(display)
                                    : !waylandDisplay.empty() ? waylandDisplay
                                                              : std::string_view("none");
    std::string part;
    part.reserve(chosen.size());
    for (const char c : chosen)
        part += safeNameCharacter(c) ? c : '_';
    if (part.size() > kLongest) {
        char hash[17];
        std::snprintf(hash, sizeof hash, "%016llx",
                      static_cast<unsigned long long>(fnv1a(chosen)));
        part = part.substr(0, kLongest - 17) + '_' + hash;
    }
    return part;
}

std::string InstanceName(uid_t desktopUser, std::string_view displayPart) {
    return std::string(kInstanceMutexName) + '-' + std::to_string(desktopUser) + '-' +
           std::string(displayPart);
}

std::string CurrentInstanceName() {
    return InstanceName(platform::CurrentUserSession().uid,
                        DisplayNamePart(environment("DISPLAY"), environment("WAYLAND_DISPLAY")));
}

std::string InstanceFolder() {
    std::string folder;
    if (const char* own = std::getenv("ORBISCA_RUNTIME_DIR"); own && *own)
        folder = own;
    else if (geteuid() == 0)
        folder = "/run/zelvano-orbisca";
    else if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        folder = std::string(runtime) + "/zelvano-orbisca";
    else
        folder = "/tmp/zelvano-orbisca-" + std::to_string(geteuid());
    return usablePrivateFolder(folder) ? folder : std::string();
}

TSingleInstance::TSingleInstance(std::string folder, std::string name)
    : lockPath_(folder.empty() ? std::string() : folder + "/" + name + ".lock"),
      socketPath_(folder.empty() ? std::string() : folder + "/" + name + ".socket") {}

TSingleInstance::~TSingleInstance() {
    notifier_.reset();
    if (listenFd_ >= 0) {
        close(listenFd_);
        unlink(socketPath_.c_str());
    }
    if (lockFd_ >= 0)
        close(lockFd_); // releases the lock; the kernel does the same if we never get here
}

TSingleInstance::Result TSingleInstance::Acquire() {
    if (lockPath_.empty()) {
        debug(QStringLiteral("no private folder for the lock; running without the guard"));
        return Result::Unguarded;
    }
    // Close-on-exec, so that programs we start (openers, file managers) never hold the lock.
    lockFd_ = open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0) {
        debug(QStringLiteral("cannot open ") + QString::fromStdString(lockPath_) + u' ' +
              errnoText() + QStringLiteral("; running without the guard"));
        return Result::Unguarded;
    }
    int r;
    do {
        r = flock(lockFd_, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r == 0)
        return Result::First;
    const bool taken = errno == EWOULDBLOCK;
    if (!taken)
        debug(QStringLiteral("cannot lock ") + QString::fromStdString(lockPath_) + u' ' +
              errnoText() + QStringLiteral("; running without the guard"));
    close(lockFd_);
    lockFd_ = -1;
    return taken ? Result::Second : Result::Unguarded;
}

bool TSingleInstance::AskFirstToRestore(int timeoutMs) {
    sockaddr_un address;
    if (!fillAddress(socketPath_, &address))
        return false;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool answered = false;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        send(fd, kRequest, sizeof(kRequest) - 1, MSG_NOSIGNAL) == ssize_t(sizeof(kRequest) - 1) &&
        waitFor(fd, POLLIN, timeoutMs)) {
        char buffer[8] = {};
        answered = recv(fd, buffer, sizeof(buffer) - 1, 0) > 0 &&
                   std::strncmp(buffer, kAnswer, sizeof(kAnswer) - 1) == 0;
    }
    close(fd);
    return answered;
}

bool TSingleInstance::Listen(std::function<void()> onRestore) {
    if (lockFd_ < 0 || listenFd_ >= 0)
        return false;
    sockaddr_un address;
    if (!fillAddress(socketPath_, &address)) {
        debug(QStringLiteral("socket path too long: ") + QString::fromStdString(socketPath_));
        return false;
    }
    listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0)
        return false;
    // We hold the lock, so a socket file left behind can only be from an instance that died.
    unlink(socketPath_.c_str());
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listenFd_, 4) != 0) {
        debug(QStringLiteral("cannot listen on ") + QString::fromStdString(socketPath_) + u' ' +
              errnoText());
        close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    onRestore_ = std::move(onRestore);
    notifier_ = std::make_unique<QSocketNotifier>(listenFd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { acceptPending(); });
    return true;
}

void TSingleInstance::acceptPending() {
    for (;;) {
        const int client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return; // EAGAIN: no more waiting connections
        // Whatever the second start sent, its coming is the request.
        debug(QStringLiteral("a second start asks to restore the main window"));
        if (onRestore_)
            onRestore_();
        send(client, kAnswer, sizeof(kAnswer) - 1, MSG_NOSIGNAL);
        close(client);
    }
}

} // namespace app
