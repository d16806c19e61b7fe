// The rules of the start: verbs, the checks and their order, the write test.

#include "AppTestSupport.h"

#include "app/StartRules.h"
#include "platform/CommandLine.h"
#include "settings/Registry.h"

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
    const auto passes = [&] { ++writeTests; return true; };
    const auto fails = [&] { ++writeTests; return false; };

    EXPECT_EQ(FailedStartCheck(4, true, passes), "This software requires Windows XP or higher!");
    EXPECT_EQ(FailedStartCheck(5, false, passes),
              "This software requires full administrator-rights! Please start this software as "
              "Administrator.");
    EXPECT_EQ(writeTests, 0);
    EXPECT_EQ(FailedStartCheck(10, true, fails),
              "This software requires full administrator-rights! Please enable \"User Account "
              "Control\" (UAC) and start this software as Administrator.");
    EXPECT_EQ(FailedStartCheck(5, true, passes), "");
    EXPECT_EQ(writeTests, 2);
}

class RightsTest : public apptest::ShippedProgram {};

TEST_F(RightsTest, WriteTestLeavesNothingBehindAndFailsOnAHiveThatRefusesWrites) {
    using namespace settings;
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin", "Dark"));
    EXPECT_TRUE(CheckRights());
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, OptionsKey, "CheckRights"));
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin"), "Dark");

    // A hive that cannot be opened for writing (its folder cannot exist) refuses the test.
    qputenv(platform::kHiveEnvironmentVariable, "/proc/self/no-such-folder/machine.hive");
    platform::CloseMachineHive();
    EXPECT_FALSE(CheckRights());
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
