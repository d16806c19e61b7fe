#pragma once

// The program's start: the single-instance guard, the environment record, the checks, the
// command-line verbs, the main window with its first module, and the message loop.

#include <QString>

#include <memory>

namespace app {

class TForm_QO7;
class TStripePrefetch;

struct TPreparedProgram {
    // Set when the start ended before the message loop (a failed check, a verb without a
    // window); the process ends with it.
    bool ended = false;
    int exitCode = 0;
    std::unique_ptr<TForm_QO7> mainWindow;
};

// The entry steps up to the message loop, in order: version check, administrator check, the
// write test, the verbs, the language, the translation with the fixed catalogue texts, "-SAVE",
// the skin, the main window's second stage, the options dialog, the header tooltips and the
// first module. Needs a QApplication and the recorded arguments. A stripe prefetch started
// earlier is taken over when it decoded the stripe of the chosen skin.
TPreparedProgram PrepareProgram(TStripePrefetch* stripe = nullptr);

// Shows the main window, runs the message loop until it closes, and releases what the start
// made. Returns the exit code (0).
int RunMessageLoop(TPreparedProgram& program);

// What the desktop launcher tells the user when it could not get administrator rights:
// "cancelled" (the sign-in was dismissed), "refused" (not authorised) or "no-pkexec". Shows the
// message in the user's language and returns 0; 2 for an unknown notice.
int ShowLauncherNotice(int argc, char** argv, const QString& notice);

// The whole program (main() of the executable). "--launcher-notice NOTICE" shows a launcher
// notice instead of starting the program.
int RunProgram(int argc, char** argv);

} // namespace app
