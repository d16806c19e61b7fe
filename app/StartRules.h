#pragma once

// The rules of the program's start that need no window: the command-line verbs and what each
// start does, the checks before any window exists and their error texts, and the test after the
// options dialog whether a restart is needed.

#include <QString>

#include <cstdint>
#include <functional>

namespace app {

enum class TStartVerb {
    None,            // no argument
    NoVersion,       // "-NOVERSION"
    ShowAllProblems, // "-SHOWALLPROBLEMS"
    ContextDL,       // "-CONTEXTDL" with a drive path as second argument
    Save,            // "-SAVE"
    Maintenance,     // "-SETUPLT2", "-REMOVEPLANNEDTASKS", "-ADDOCOTASK", "-REMOVECONTEXT", "-SETUPCONTEXT"
    Other,           // any other first argument
};

// The verb of a first argument already upper-cased in a to z (platform::FirstArgumentUpper).
TStartVerb ClassifyStartVerb(const QString& firstArgumentUpper);

struct TStartPlan {
    bool endAfterChecks = false;   // nothing to do after the checks
    bool createMainWindow = false; // the main window is made
    bool saveVerb = false;         // the "-SAVE" end after the translation load
    bool showFirstModule = false;  // the analyser is shown at start
};

// What a start with that verb does. The maintenance verbs have no work here and end after the
// checks. The analyser is shown for every verb that makes a main window: with "-CONTEXTDL" it
// analyses the drive it was given, with any other argument it waits.
TStartPlan PlanStart(TStartVerb verb);

// Fixed texts of the start-up error boxes.
QString NeedsWindowsXpText();
QString NeedsAdministratorText();
QString NeedsElevationText();
// The information box of "-SAVE", which exports nothing; `programFolder` is where the built-in
// German texts are shipped.
QString SaveVerbText(const QString& programFolder);

// The warning of a start whose program folder has no skins folder (the built-in default skin
// then draws the windows): MESSAGE_SKINS_MISSING naming the folder, without a trailing backslash.
QString SkinsMissingText(const QString& skinsFolder);

// The outcome of the write test.
struct TRightsCheck {
    bool written = false;
    QString hiveFile; // the machine hive's file
    QString reason;   // why it was not written, in the system's words
};

// The box of an administrator whose write test failed: MESSAGE_HIVE_NOT_WRITABLE with the file
// and the reason.
QString HiveNotWritableText(const QString& hiveFile, const QString& reason);

// The text of the first failing check of the start (Windows version, administrator, the write
// test), or an empty text when all pass. rightsTest runs only when the earlier checks passed.
// A failed write test of a process with full rights (`elevated`: root) names the file and the
// reason; without them it asks for a start as administrator.
QString FailedStartCheck(uint32_t reportedMajor, bool isUserAdmin, bool elevated,
                         const std::function<TRightsCheck()>& rightsTest);

// The write test: "CheckRights" = 1 under the options key, then removed again. Not written when
// the machine hive refuses the write; the reason is then the system's answer for the hive file,
// else the hive's own last error.
TRightsCheck CheckRights();

// On Windows 6.0 the first module is requested through the switcher thread, elsewhere shown at
// once.
bool FirstModuleThroughSwitcher(uint32_t reportedMajor, uint32_t reportedMinor);

} // namespace app
