// The store's tests run in a mount namespace of their own, so that the full-disk test may mount
// a small tmpfs without touching the machine's mounts.

#include "StoreSupport.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>

int main(int argc, char** argv) {
    // Before anything starts a thread: a multi-threaded process cannot leave its mount namespace.
    storetest::PrivateMounts() = ::unshare(CLONE_NEWNS) == 0 &&
                                 ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
