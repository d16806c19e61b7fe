// The single-instance guard: one holder of the lock, the kernel releasing it with a dying
// process, the request of a second start, and the private folder.

#include "AppTestSupport.h"

#include "app/SingleInstance.h"

#include <QDir>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using app::TSingleInstance;

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    std::string folder() const { return dir_.path().toStdString(); }
    QTemporaryDir dir_;
};

TEST_F(SingleInstanceTest, SecondStartAsksTheFirstToRestoreAndGetsItsAnswer) {
    TSingleInstance first(folder());
    ASSERT_EQ(first.Acquire(), TSingleInstance::Result::First);

    TSingleInstance second(folder());
    EXPECT_EQ(second.Acquire(), TSingleInstance::Result::Second);
    // Nobody listens yet (the first one is still starting): the second start just ends.
    EXPECT_FALSE(second.AskFirstToRestore(200));

    int restores = 0;
    ASSERT_TRUE(first.Listen([&] { ++restores; }));
    bool answered = false;
    std::thread asking([&] { answered = second.AskFirstToRestore(3000); });
    EXPECT_TRUE(apptest::WaitUntil([&] { return restores == 1; }));
    asking.join();
    EXPECT_TRUE(answered);
    EXPECT_EQ(restores, 1);
}

TEST_F(SingleInstanceTest, LockOfAKilledProcessIsFreeAndItsSocketFileIsReplaced) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TSingleInstance holder(folder());
        const char state = holder.Acquire() == TSingleInstance::Result::First ? 'y' : 'n';
        // Leave a socket file behind as a crashed instance would.
        ::close(::open(holder.SocketPath().c_str(), O_CREAT | O_WRONLY, 0600));
        (void)!::write(ready[1], &state, 1);
        for (;;)
            pause();
    }
    ::close(ready[1]);
    char state = 0;
    ASSERT_EQ(::read(ready[0], &state, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(state, 'y');

    TSingleInstance blocked(folder());
    EXPECT_EQ(blocked.Acquire(), TSingleInstance::Result::Second);

    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);

    TSingleInstance next(folder());
    EXPECT_EQ(next.Acquire(), TSingleInstance::Result::First);
    EXPECT_TRUE(next.Listen([] {}));
}

TEST_F(SingleInstanceTest, PrivateFolderIsTightenedAndALinkIsRefused) {
    const QString own = dir_.filePath("own");
    ASSERT_TRUE(QDir().mkdir(own));
    ::chmod(own.toLocal8Bit().constData(), 0755);
    qputenv("ORBISCA_RUNTIME_DIR", own.toLocal8Bit());
    EXPECT_EQ(app::InstanceFolder(), own.toStdString());
    struct stat st {};
    ASSERT_EQ(::stat(own.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    const QString link = dir_.filePath("link");
    ASSERT_EQ(::symlink(own.toLocal8Bit().constData(), link.toLocal8Bit().constData()), 0);
    qputenv("ORBISCA_RUNTIME_DIR", link.toLocal8Bit());
    EXPECT_EQ(app::InstanceFolder(), "");
    // Without a folder the program runs unguarded instead of refusing to start.
    TSingleInstance unguarded("");
    EXPECT_EQ(unguarded.Acquire(), TSingleInstance::Result::Unguarded);
    qunsetenv("ORBISCA_RUNTIME_DIR");
}

} // namespace
