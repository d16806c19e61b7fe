// The single-instance guard: one holder of the lock, the kernel releasing it with a dying
// process, the request of a second start, one guard per desktop user and display, and the
// private folder.

#include "AppTestSupport.h"

#include "app/SingleInstance.h"
#include "platform/UserSession.h"

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

TEST(InstanceNameTest, DisplayBecomesASafeShortNamePart) {
    const std::string longWayland = "/run/user/1000/" + std::string(60, 'w');
    const struct {
        const char* display;
        std::string wayland;
        std::string part;
    } cases[] = {
        {":0", "", "_0"},
        {":0.0", "", "_0"}, // the screen of one X display is the same display
        {"localhost:10.1", "", "localhost_10"},
        {":1", "wayland-0", "_1"}, // X wins: pkexec keeps DISPLAY only
        {"", "wayland-0", "wayland-0"},
        {"", "/run/user/1000/wayland-1", "_run_user_1000_wayland-1"},
        {"", "", "none"},
        {"../../etc/x y", "", ".._.._etc_x_y"},
        {"host.example:0", "", "host.example_0"},
        {":0.x", "", "_0.x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(app::DisplayNamePart(c.display, c.wayland), c.part) << c.display << " " << c.wayland;

    // Long names are cut and keep a hash of the whole text, so two of them stay apart.
    const std::string a = app::DisplayNamePart("", longWayland);
    const std::string b = app::DisplayNamePart("", longWayland + "x");
    EXPECT_LE(a.size(), 32u);
    EXPECT_NE(a, b);
    EXPECT_EQ(a.find('/'), std::string::npos);

    EXPECT_EQ(app::InstanceName(1003, "_1"), "Zelvano_ORB2024-1003-_1");
    const QByteArray display = qgetenv("DISPLAY");
    qputenv("DISPLAY", ":7.0");
    EXPECT_EQ(app::CurrentInstanceName(),
              app::InstanceName(platform::CurrentUserSession().uid, "_7"));
    if (display.isNull())
        qunsetenv("DISPLAY");
    else
        qputenv("DISPLAY", display);
}

TEST_F(SingleInstanceTest, OtherUsersAndDisplaysHaveGuardsOfTheirOwn) {
    // Root runs for alice on :0; bob's start on :1, and alice's on another display, are not
    // held by it, while alice's next start on :0 meets it.
    TSingleInstance alice(folder(), app::InstanceName(1000, "_0"));
    ASSERT_EQ(alice.Acquire(), TSingleInstance::Result::First);
    ASSERT_TRUE(alice.Listen([] {}));

    TSingleInstance bob(folder(), app::InstanceName(1003, "_1"));
    EXPECT_EQ(bob.Acquire(), TSingleInstance::Result::First);
    EXPECT_TRUE(bob.Listen([] {}));
    TSingleInstance aliceElsewhere(folder(), app::InstanceName(1000, "_1"));
    EXPECT_EQ(aliceElsewhere.Acquire(), TSingleInstance::Result::First);
    TSingleInstance bobOnAlicesDisplay(folder(), app::InstanceName(1003, "_0"));
    EXPECT_EQ(bobOnAlicesDisplay.Acquire(), TSingleInstance::Result::First);

    TSingleInstance aliceAgain(folder(), app::InstanceName(1000, "_0"));
    EXPECT_EQ(aliceAgain.Acquire(), TSingleInstance::Result::Second);
    EXPECT_NE(aliceAgain.SocketPath(), bob.SocketPath());
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
