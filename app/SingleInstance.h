#pragma once

// Keeps the program to one running instance per desktop user and display. The first start takes an
// exclusive lock on a file (flock: the kernel releases it when the process ends in any way, so
// a crash never leaves a stale lock) and, once its main window exists, listens on a local
// socket beside it. A second start finds the lock taken, connects to the socket, which asks the
// first instance to restore and raise its main window, and ends.
//
// The program runs as root for whichever desktop user started it, so the names of the lock and
// the socket carry that user's id and the display: starts for one user on one display meet,
// while another user (or the same user on another display) gets an instance of their own and is
// never held up by someone else's hung one.
//
// Both live in a private folder of the process: $ORBISCA_RUNTIME_DIR when set (tests, portable
// use); for root /run/zelvano-orbisca; else $XDG_RUNTIME_DIR/zelvano-orbisca, else
// /tmp/zelvano-orbisca-<uid>. The folder is created with mode 0700; one that is a symbolic link
// or belongs to someone else is not used.

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QSocketNotifier;

namespace app {

// The stem of the names of the lock and the socket.
inline constexpr const char* kInstanceMutexName = "Zelvano_ORB2024";

// The display as a part of a file name: DISPLAY, else WAYLAND_DISPLAY, else "none". The screen
// number of an X display is dropped (":0.0" and ":0" are one display); every character other
// than a letter, a digit, '.', '_' and '-' becomes '_'; a part longer than 32 characters keeps
// its start and ends with a hash of the whole text, so the socket path stays short.
std::string DisplayNamePart(std::string_view display, std::string_view waylandDisplay);

// "<kInstanceMutexName>-<uid>-<display part>", the name of the lock and the socket without the
// ending, for example "Zelvano_ORB2024-1000-_0".
std::string InstanceName(uid_t desktopUser, std::string_view displayPart);

// InstanceName for this process: the desktop user of platform::CurrentUserSession() and the
// display of the environment.
std::string CurrentInstanceName();

// The folder as described above, created when missing; empty when no usable folder exists.
std::string InstanceFolder();

class TSingleInstance {
public:
    enum class Result {
        First,     // the lock is ours
        Second,    // another instance holds it
        Unguarded, // no lock could be made (the program runs without the guard)
    };

    TSingleInstance(std::string folder, std::string name = kInstanceMutexName);
    ~TSingleInstance();
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    Result Acquire();

    // Second instance: asks the first one to restore its main window and waits up to timeoutMs
    // for its answer. False when no instance listens or none answered.
    bool AskFirstToRestore(int timeoutMs = 2000);

    // First instance, once a QCoreApplication exists: answers every connection on the socket by
    // running onRestore on this thread. False when the socket could not be made.
    bool Listen(std::function<void()> onRestore);

    const std::string& LockPath() const { return lockPath_; }
    const std::string& SocketPath() const { return socketPath_; }

private:
    void acceptPending();

    std::string lockPath_;
    std::string socketPath_;
    int lockFd_ = -1;
    int listenFd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> onRestore_;
};

} // namespace app
