// Open, reveal and URLs handed to the desktop as the user: a recording stand-in of the opener
// proves what reaches it, as whom and with which environment; a private session bus with a
// stand-in file manager proves the reveal call.

#include "UserActionsSupport.h"

#include "platform/RunAsUser.h"
#include "platform/Shell.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>

#include <sys/prctl.h>

#include <csignal>

namespace {

using namespace testing_user;
using platform::ShellRequest;

// Writes its arguments (NUL-separated), environment, credentials, descriptors and process
// status into the folder named by its first argument.
constexpr const char* kRecorder = R"(#!/bin/sh
out="$1"
shift
printf '%s\0' "$@" > "$out/args"
env > "$out/env"
cat /proc/self/status > "$out/status"
ls /proc/self/fd > "$out/fds"
cat /proc/self/stat > "$out/stat"
)";

std::vector<std::string> splitOn(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos)
            end = text.size();
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string statusLine(const std::string& status, const std::string& key) {
    for (const std::string& line : splitOn(status, '\n')) {
        if (line.starts_with(key + ":")) {
            std::string value = line.substr(key.size() + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            value.erase(value.find_last_not_of(" \t") + 1);
            return value;
        }
    }
    return "?";
}

class ShellAsUser : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_ROOT();
        home_ = tree_.Folder("home", 0755, kUser, kGroup);
        tree_.Folder("bin");
        recorder_ = tree_ / "bin/record";
        WriteFile(recorder_, kRecorder, 0755);
        tree_.Folder("run");
        runtime_ = tree_.Folder("run/65534", 0700, kUser, kGroup);
    }

    platform::UserSession session() const {
        return TestUserSession(home_, "", tree_ / "run", {{"DISPLAY", ":5"}, {"LANG", "C.UTF-8"}});
    }

    // A fresh folder the recorder (running as the test user) writes into.
    std::string recordFolder(const std::string& name) {
        return tree_.Folder("records-" + name, 0777, kUser, kGroup);
    }

    platform::DesktopPrograms recordingPrograms(const std::string& records) const {
        platform::DesktopPrograms programs;
        programs.openers = {{"/nonexistent/opener"}, {recorder_, records}};
        return programs;
    }

    // The arguments the opener got after its record folder; empty when it did not run.
    static std::optional<std::vector<std::string>> openerArguments(const std::string& records) {
        if (!Exists(records + "/args"))
            return std::nullopt;
        return splitOn(ReadFile(records + "/args"), '\0');
    }

    TempTree tree_;
    std::string home_, recorder_, runtime_;
};

TEST_F(ShellAsUser, OpenerGetsTheExactBytesAsTheUserInTheUsersSession) {
    const std::string item = tree_.root() + "/a\\b/ lead #?%\xff\xfe.txt ";
    const std::string folder = tree_.root() + "/a\\b";
    const struct {
        const char* name;
        ShellRequest request;
        bool handed;
        std::vector<std::string> arguments; // empty: the opener must not run
    } cases[] = {
        {"open", {ShellRequest::Kind::OpenPath, item, {}}, true, {item}},
        {"url",
         {ShellRequest::Kind::OpenUrl, {}, QStringLiteral("https://example.org/a b?q=\u00e9#top")},
         true,
         {"https://example.org/a%20b?q=%C3%A9#top"}},
        // No session bus here: nobody answers ShowItems, so the folder opens.
        {"reveal", {ShellRequest::Kind::RevealItem, item, {}}, true, {folder}},
        {"relative path", {ShellRequest::Kind::OpenPath, "a\\b/x", {}}, false, {}},
        {"URL without scheme", {ShellRequest::Kind::OpenUrl, {}, QStringLiteral("-x")}, false, {}},
    };
    // A descriptor without close-on-exec: the user's processes must not inherit it.
    const int leak = ::fcntl(::open("/dev/null", O_RDONLY), F_DUPFD, 100);
    ASSERT_GE(leak, 100);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string records = recordFolder(c.name);
        const platform::ShellHandler handler =
            platform::DesktopShellHandler(session(), recordingPrograms(records));
        EXPECT_EQ(handler(c.request), c.handed);
        WaitForLaunchedProcesses();
        const auto arguments = openerArguments(records);
        if (c.arguments.empty()) {
            EXPECT_FALSE(arguments);
            continue;
        }
        ASSERT_TRUE(arguments);
        EXPECT_EQ(*arguments, c.arguments);

        const std::string status = ReadFile(records + "/status");
        EXPECT_EQ(statusLine(status, "Uid"), "65534\t65534\t65534\t65534");
        EXPECT_EQ(statusLine(status, "Gid"), "65534\t65534\t65534\t65534");
        EXPECT_EQ(statusLine(status, "Groups"), "65534");
        EXPECT_EQ(statusLine(status, "CapPrm"), "0000000000000000");
        EXPECT_EQ(statusLine(status, "CapEff"), "0000000000000000");
        EXPECT_EQ(splitOn(ReadFile(records + "/fds"), '\n'),
                  (std::vector<std::string>{"0", "1", "2", "3"}));
        const std::string stat = ReadFile(records + "/stat");
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string state;
        pid_t parent, group, sessionId;
        fields >> state >> parent >> group >> sessionId;
        EXPECT_NE(sessionId, ::getsid(0)) << "the user's processes get a session of their own";

        std::vector<std::string> env = splitOn(ReadFile(records + "/env"), '\n');
        std::erase_if(env, [](const std::string& line) { return line.starts_with("PWD="); });
        std::sort(env.begin(), env.end());
        std::vector<std::string> expected;
        for (const auto& [name, value] : session().environment)
            expected.push_back(name + "=" + value);
        EXPECT_EQ(env, expected);
        EXPECT_NE(ReadFile(records + "/env").find("PWD=" + home_ + "\n"), std::string::npos);
    }
    ::close(leak);
}

TEST_F(ShellAsUser, LaunchReportsWhatCouldNotStart) {
    std::string error;
    EXPECT_FALSE(platform::LaunchAsUser(session(), {{{"/nonexistent/a"}, {"no-such-opener-x"}}, {}},
                                        &error));
    EXPECT_NE(error.find("as user nobody"), std::string::npos) << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;

    // Without root rights the program starts programs only as itself.
    const platform::UserSession other = TestUserSession(home_, "", tree_ / "run");
    const std::string records = recordFolder("unprivileged");
    const std::string inChild = RunAsTestUser([&] {
        platform::UserSession root = other;
        root.uid = 0, root.gid = 0, root.name = "root";
        std::string refused;
        if (platform::LaunchAsUser(root, {{{recorder_, records, "x"}}, {}}, &refused))
            return std::string("started a program as root");
        if (refused.find("without root rights") == std::string::npos)
            return "unexpected reason: " + refused;
        std::string failure;
        if (!platform::LaunchAsUser(other, {{{recorder_, records, "self"}}, {}}, &failure))
            return "could not start as itself: " + failure;
        return std::string();
    });
    EXPECT_EQ(inChild, "");
    WaitForLaunchedProcesses();
    ASSERT_TRUE(openerArguments(records));
    EXPECT_EQ(*openerArguments(records), (std::vector<std::string>{"self"}));
    EXPECT_EQ(statusLine(ReadFile(records + "/status"), "Uid"), "65534\t65534\t65534\t65534");
}

// The file manager on the user's bus, as far as ShowItems goes.
class FileManagerStandIn : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    int calls = 0;
    QStringList uris;
    QString startupId;
    uint callerUid = 0;

public slots:
    void ShowItems(const QStringList& items, const QString& startup) {
        ++calls;
        uris = items;
        startupId = startup;
        callerUid = connection().interface()->serviceUid(message().service()).value();
    }
};

// A session bus run by the test user in its runtime folder, like a login session's.
class UserBus {
public:
    explicit UserBus(const std::string& runtime, const std::string& configFolder) {
        const std::string config = configFolder + "/bus.conf";
        WriteFile(
            config,
            R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=)" +
                runtime + R"(/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
)");
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], 1);
            if (::setgroups(0, nullptr) != 0 || ::setresgid(kGroup, kGroup, kGroup) != 0 ||
                ::setresuid(kUser, kUser, kUser) != 0)
                ::_exit(1);
            ::prctl(PR_SET_PDEATHSIG, SIGTERM); // never outlives a test that crashed
            ::execlp("dbus-daemon", "dbus-daemon", "--nofork", "--print-address",
                     ("--config-file=" + config).c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        char buffer[512];
        ssize_t got;
        while ((got = ::read(fds[0], buffer, sizeof buffer)) > 0) {
            address_.append(buffer, static_cast<size_t>(got));
            if (address_.find('\n') != std::string::npos)
                break;
        }
        ::close(fds[0]);
        while (!address_.empty() && address_.back() == '\n')
            address_.pop_back();
    }
    ~UserBus() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }
    const std::string& address() const { return address_; }

private:
    pid_t pid_ = -1;
    std::string address_;
};

bool onPath(const char* program) {
    for (const std::string& folder : splitOn(std::getenv("PATH") ? std::getenv("PATH") : "", ':')) {
        if (::access((folder + "/" + program).c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

TEST_F(ShellAsUser, RevealAsksTheFileManagerOnTheUsersBus) {
    if (!onPath("dbus-daemon") || !onPath("gdbus") || !onPath("dbus-send"))
        GTEST_SKIP() << "needs dbus-daemon, gdbus (libglib2.0-bin) and dbus-send (dbus-bin)";
    const std::string item = tree_.root() + "/a\\b/ lead #?%,'\xff\xfe.txt ";
    const std::string uri =
        "file://" + tree_.root() + "/a%5Cb/%20lead%20%23%3F%25%2C%27%FF%FE.txt%20";
    const struct {
        const char* name;
        bool gdbus; // else dbus-send
        bool fileManager;
    } cases[] = {
        {"gdbus", true, true},
        {"dbus-send", false, true},
        {"no file manager", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UserBus bus(runtime_, tree_.Folder(std::string("bus-") + c.name));
        ASSERT_FALSE(bus.address().empty()) << "dbus-daemon did not start";
        FileManagerStandIn fileManager;
        QDBusConnection connection = QDBusConnection::connectToBus(
            QString::fromStdString(bus.address()), QStringLiteral("file-manager-") + c.name);
        ASSERT_TRUE(connection.isConnected()) << connection.lastError().message().toStdString();
        if (c.fileManager) {
            ASSERT_TRUE(connection.registerObject(QStringLiteral("/org/freedesktop/FileManager1"),
                                                  &fileManager, QDBusConnection::ExportAllSlots));
            ASSERT_TRUE(connection.registerService(QStringLiteral("org.freedesktop.FileManager1")));
        }
        const std::string records = recordFolder(c.name);
        platform::DesktopPrograms programs = recordingPrograms(records);
        if (!c.gdbus)
            programs.gdbus = "/nonexistent/gdbus";
        const platform::UserSession user = session();
        ASSERT_EQ(user.Env("DBUS_SESSION_BUS_ADDRESS"), "unix:path=" + runtime_ + "/bus");

        EXPECT_TRUE(platform::DesktopShellHandler(user, programs)(
            {ShellRequest::Kind::RevealItem, item, {}}));
        WaitForLaunchedProcesses({bus.pid()}, [] { QCoreApplication::processEvents(); });

        if (c.fileManager) {
            EXPECT_EQ(fileManager.calls, 1);
            EXPECT_EQ(fileManager.uris, QStringList{QString::fromStdString(uri)});
            EXPECT_EQ(fileManager.startupId, QString());
            EXPECT_EQ(fileManager.callerUid, kUser) << "the call comes from the user";
            EXPECT_FALSE(openerArguments(records)) << "the folder is not opened as well";
        } else {
            ASSERT_TRUE(openerArguments(records));
            EXPECT_EQ(*openerArguments(records),
                      (std::vector<std::string>{tree_.root() + "/a\\b"}));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("file-manager-") + c.name);
    }
}

} // namespace

#include "ShellAsUserTests.moc"
