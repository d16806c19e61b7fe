// The tests of acting as the desktop user run in a mount namespace of their own (so that they may
// mount a second volume without touching the machine's mounts) and as a subreaper (so that the
// detached processes of a launch end up as this program's children and can be waited for).

#include "UserActionsSupport.h"

#include <QCoreApplication>

#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>

int main(int argc, char** argv) {
    // Before anything starts a thread: a multi-threaded process cannot leave its mount namespace.
    testing_user::PrivateMounts() =
        ::unshare(CLONE_NEWNS) == 0 &&
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    QCoreApplication app(argc, argv); // the stand-in file manager's bus connection needs one
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
