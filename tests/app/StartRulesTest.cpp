// The rules of the start: verbs, the checks and their order, the write test and its reason.

#include "AppTestSupport.h"

#include "app/StartRules.h"
#include "i18n/ProjectMessages.h"
#include "platform/CommandLine.h"
#include "settings/Registry.h"

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace app;

namespace {

TEST(StartVerbs, FirstArgumentDecidesWhatTheStartDoes) {
    struct Case {
        QStringList arguments;
        TStartVerb verb;
        bool window, module, save, endsAfterChecks;
    };
    const Case cases[] = {
        {{}, TStartVerb::None, true, true, false, false},
        {{"-NOVERSION"}, TStartVerb::NoVersion, true, true, false, false},
        {{"-noVersion"}, TStartVerb::NoVersion, true, true, false, false},
        {{"-ShowAllProblems"}, TStartVerb::ShowAllProblems, true, true, false, false},
        {{"-contextdl", "D:\\Fotos"}, TStartVerb::ContextDL, true, true, false, false},
        {{"-save"}, TStartVerb::Save, false, false, true, false},
        {{"-SetupLT2"}, TStartVerb::Maintenance, false, false, false, true},
        {{"-removeplannedtasks"}, TStartVerb::Maintenance, false, false, false, true},
        {{"-ADDOCOTASK"}, TStartVerb::Maintenance, false, false, false, true},
        {{"-RemoveContext"}, TStartVerb::Maintenance, false, false, false, true},
        {{"-setupcontext"}, TStartVerb::Maintenance, false, false, false, true},
        // Only a to z are upper-cased: a dotless i or a sharp s never make a verb.
        {{"-SAVE\u0131"}, TStartVerb::Other, true, true, false, false},
        {{"-s\u00e4ve"}, TStartVerb::Other, true, true, false, false},
        {{"D:\\"}, TStartVerb::Other, true, true, false, false},
    };
    for (const Case& c : cases) {
        platform::SetProgramArguments(c.arguments);
        const TStartVerb verb = ClassifyStartVerb(platform::FirstArgumentUpper());
        const TStartPlan plan = PlanStart(verb);
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        EXPECT_EQ(verb, c.verb);
        EXPECT_EQ(plan.createMainWindow, c.window);
        EXPECT_EQ(plan.showFirstModule, c.module);
        EXPECT_EQ(plan.saveVerb, c.save);
        EXPECT_EQ(plan.endAfterChecks, c.endsAfterChecks);
    }
    platform::SetProgramArguments({});
}

TEST(StartChecks, FirstFailingCheckNamesItselfAndLaterChecksDoNotRun) {
    int writeTests = 0;
    const TRightsCheck refused{false, "/srv/ro/machine.hive", "Read-only file system"};
    const auto passes = [&] { ++writeTests; return TRightsCheck{true, {}, {}}; };
    const auto fails = [&] { ++writeTests; return refused; };

    EXPECT_EQ(FailedStartCheck(4, true, true, passes), "This software requires Windows XP or higher!");
    EXPECT_EQ(FailedStartCheck(5, false, false, passes),
              "This software requires full administrator-rights! Please start this software as "
              "Administrator.");
    EXPECT_EQ(writeTests, 0);
    // A member of an administrators' group running without root's rights.
    EXPECT_EQ(FailedStartCheck(10, true, false, fails),
              "This software requires full administrator-rights! Please enable \"User Account "
              "Control\" (UAC) and start this software as Administrator.");
    // Root, and still the hive refuses: the file and the reason, never a request for rights.
    EXPECT_EQ(FailedStartCheck(10, true, true, fails),
              HiveNotWritableText("/srv/ro/machine.hive", "Read-only file system"));
    EXPECT_EQ(FailedStartCheck(5, true, true, passes), "");
    EXPECT_EQ(writeTests, 3);
}

TEST(StartChecks, UnwritableHiveTextNamesFileAndReasonOnce) {
    i18n::ResetMessageCatalogue();
    EXPECT_EQ(HiveNotWritableText("/srv/ro/machine.hive", "Read-only file system"),
              "Die Einstellungen können nicht gespeichert werden: Die Datei /srv/ro/machine.hive "
              "ist nicht beschreibbar (Read-only file system).");
    // Placeholders inside the values stay as they are.
    EXPECT_EQ(HiveNotWritableText("/srv/%2/%1.hive", "Permission denied"),
              "Die Einstellungen können nicht gespeichert werden: Die Datei /srv/%2/%1.hive ist "
              "nicht beschreibbar (Permission denied).");
}

class RightsTest : public apptest::ShippedProgram {};

TEST_F(RightsTest, WriteTestLeavesNothingBehindAndFailsOnAHiveThatRefusesWrites) {
    using namespace settings;
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin", "Dark"));
    EXPECT_TRUE(CheckRights().written);
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, OptionsKey, "CheckRights"));
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin"), "Dark");

    // A hive that cannot be opened for writing (its folder cannot exist) refuses the test.
    qputenv(platform::kHiveEnvironmentVariable, "/proc/self/no-such-folder/machine.hive");
    platform::CloseMachineHive();
    const TRightsCheck check = CheckRights();
    EXPECT_FALSE(check.written);
    EXPECT_EQ(check.hiveFile, "/proc/self/no-such-folder/machine.hive");
    EXPECT_EQ(check.reason, QString::fromLocal8Bit(std::strerror(ENOENT)));
}

// Root's write test on a read-only file system: a tmpfs remounted read-only in a mount namespace
// of a child process, the hive file already there, or only its folder.
TEST_F(RightsTest, ReadOnlyFileSystemIsTheReason) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "a mount namespace needs root";
    QTemporaryDir mountPoint;
    ASSERT_TRUE(mountPoint.isValid());
    const std::string dir = mountPoint.path().toStdString();
    int answer[2];
    ASSERT_EQ(::pipe(answer), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::alarm(30);
        QString out = QStringLiteral("no mount namespace");
        if (::unshare(CLONE_NEWNS) == 0 &&
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
            ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=1m") == 0) {
            const auto checkAt = [](const std::string& hive) {
                ::setenv(platform::kHiveEnvironmentVariable, hive.c_str(), 1);
                platform::CloseMachineHive();
                const TRightsCheck check = CheckRights();
                platform::CloseMachineHive();
                return QString::number(check.written) + u'|' + check.hiveFile + u'|' + check.reason;
            };
            out = checkAt(dir + "/machine.hive") + u'\n';
            ::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
            out += checkAt(dir + "/machine.hive") + u'\n' + checkAt(dir + "/other.hive");
        }
        const QByteArray bytes = out.toUtf8();
        (void)!::write(answer[1], bytes.constData(), size_t(bytes.size()));
        ::_exit(0);
    }
    ::close(answer[1]);
    QByteArray got;
    char buffer[512];
    for (ssize_t n; (n = ::read(answer[0], buffer, sizeof buffer)) > 0;)
        got.append(buffer, n);
    ::close(answer[0]);
    int status = 0;
    ::waitpid(child, &status, 0);

    const QString readOnly = QString::fromLocal8Bit(std::strerror(EROFS));
    const QString root = mountPoint.path();
    EXPECT_EQ(QString::fromUtf8(got).split(u'\n'),
              (QStringList{"1||", "0|" + root + "/machine.hive|" + readOnly,
                           "0|" + root + "/other.hive|" + readOnly}));
}

TEST(StartRules, FirstModuleThroughTheSwitcherOnlyOnVersionSixZero) {
    EXPECT_TRUE(FirstModuleThroughSwitcher(6, 0));
    EXPECT_FALSE(FirstModuleThroughSwitcher(6, 1));
    EXPECT_FALSE(FirstModuleThroughSwitcher(10, 0));
    EXPECT_FALSE(FirstModuleThroughSwitcher(5, 0));
}

TEST(SaveVerb, SaysThatNothingWasSaved) {
    const QString text = SaveVerbText("C:\\opt\\zelvano\\orbisca");
    EXPECT_FALSE(text.contains("Translation saved"));
    EXPECT_TRUE(text.startsWith("No translation was saved"));
    EXPECT_TRUE(text.contains("C:\\opt\\zelvano\\orbisca\\translation\\orb2024_de-de.nlang3"));
}

} // namespace
