#include "app/ProgramEntry.h"

#include "app/ProgramIcon.h"
#include "app/SingleInstance.h"
#include "app/StripePrefetch.h"
#include "app/StartRules.h"
#include "app/Unit1.h"
#include "dialogs/options/FormOptions.h"
#include "i18n/LanguageSelection.h"
#include "i18n/ProjectMessages.h"
#include "i18n/nLang3.h"
#include "inet/zel_inet2.h"
#include "platform/AppInfo.h"
#include "platform/CommandLine.h"
#include "platform/Debug.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/WinVersion.h"
#include "settings/EnvHelpers.h"
#include "settings/Environment.h"
#include "skin/Fonts.h"
#include "skin/SkinFiles.h"
#include "skin/stripeskins.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <unistd.h>

namespace app {
namespace {

using platform::OutputDebugStringW;

QElapsedTimer& sinceStart() {
    static QElapsedTimer timer;
    return timer;
}

void startupLine(const char* what) {
    OutputDebugStringW(QStringLiteral("Start-up: ") + QLatin1String(what) + QStringLiteral(" after ") +
                       QString::number(sinceStart().elapsed()) + QStringLiteral(" ms"));
}

TPreparedProgram ended(int exitCode) {
    TPreparedProgram p;
    p.ended = true;
    p.exitCode = exitCode;
    return p;
}

// The language of the settings (or of the user's locale) and its translation.
void loadTranslation() {
    i18n::DetectLanguage();
    i18n::LOAD_INTERNAL_ONLY(platform::ProgramFolder() + QStringLiteral("\\translation"),
                             i18n::CurrentTranslationName());
}

// Writes one debug line once the main window has been painted for the first time and the event
// loop has nothing left to do: the moment the start-up benchmark measures.
class FirstIdleReporter : public QObject {
public:
    explicit FirstIdleReporter(QWidget* window) : QObject(window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !reported_) {
            reported_ = true;
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [] {
                OutputDebugStringW(QStringLiteral("Start-up: shown and idle after ") +
                                   QString::number(sinceStart().elapsed()) + QStringLiteral(" ms"));
            });
        }
        return false;
    }

private:
    bool reported_ = false;
};

} // namespace

TPreparedProgram PrepareProgram(TStripePrefetch* stripe) {
    if (!sinceStart().isValid())
        sinceStart().start();

    // Step 1: the application object exists; the header buttons' hand cursor is Qt's own.
    QGuiApplication::setApplicationName(QStringLiteral("orbisca"));
    QGuiApplication::setDesktopFileName(kDesktopId);
    QApplication::setWindowIcon(ProgramIcon());

    // Steps 2 to 4: Windows version, administrator, the write test. A hive that refuses the
    // write is named in the user's language, so then the translation comes first.
    const auto rightsTest = [] {
        const TRightsCheck check = CheckRights();
        if (!check.written)
            loadTranslation();
        return check;
    };
    const QString failed = FailedStartCheck(platform::ReportedWindowsVersion().major,
                                            settings::IsUserAdmin(), ::geteuid() == 0, rightsTest);
    if (!failed.isEmpty()) {
        platform::ErrorBox(failed);
        return ended(1);
    }

    startupLine("checks passed");

    const TStartPlan plan = PlanStart(ClassifyStartVerb(platform::FirstArgumentUpper()));
    if (plan.endAfterChecks)
        return ended(0);

    // Step 5.
    TPreparedProgram program;
    if (plan.createMainWindow) {
        program.mainWindow = std::make_unique<TForm_QO7>();
        QCoreApplication::processEvents();
    }

    // Steps 6 and 7.
    loadTranslation();
    i18n::ApplyFixedMessageTexts();

    // Step 8: "-SAVE" has nothing to export; it says so instead of claiming a saved file.
    if (plan.saveVerb) {
        i18n::ApplySaveVerbLanguage();
        platform::MessageBoxW(SaveVerbText(platform::ProgramFolder()), platform::ApplicationTitle(),
                              platform::MB_ICONINFORMATION | platform::MB_OK);
        return ended(0);
    }

    // Without a skins folder the built-in default skin draws the windows; the user is told once.
    if (skin::SkinsFolderMissing())
        platform::MessageBoxW(SkinsMissingText(skin::SkinsFolder()), platform::ApplicationTitle(),
                              platform::MB_ICONWARNING | platform::MB_OK);

    // Steps 9 to 12.
    const QString skinFolder = skin::SelectSkinAtStart();
    TForm_QO7& form = *program.mainWindow;
    form.Perform_EveryThingAfterOnCreate(stripe ? stripe->Take(skinFolder) : nullptr);
    settings::SetForm_Options(new settings::TForm_Options(&form));
    form.RegisterHeaderToolTips();
    startupLine("main window complete");

    // Step 13.
    if (plan.showFirstModule) {
        const platform::WindowsVersion reported = platform::ReportedWindowsVersion();
        if (FirstModuleThroughSwitcher(reported.major, reported.minor))
            form.ShowMainmenu();
        else
            form.ShowMainmenu_Real();
        startupLine("first module made");
    }
    return program;
}

int RunMessageLoop(TPreparedProgram& program) {
    TForm_QO7& form = *program.mainWindow;
    new FirstIdleReporter(&form);
    form.show();
    form.BringToFront();
    QCoreApplication::processEvents();
    form.BringToFront();
    QApplication::exec();

    // What the start made goes before the application object.
    program.mainWindow.reset();
    settings::SetForm_Options(nullptr);
    inet::zinet_Shutdown(nullptr);
    inet::zinet_Destroy();
    return 0;
}

int ShowLauncherNotice(int argc, char** argv, const QString& notice) {
    using i18n::Msg;
    Msg message;
    unsigned icon = platform::MB_ICONSTOP;
    if (notice == u"cancelled") {
        message = Msg::MESSAGE_LAUNCH_CANCELLED;
        icon = platform::MB_ICONINFORMATION;
    } else if (notice == u"refused") {
        message = Msg::MESSAGE_LAUNCH_REFUSED;
    } else if (notice == u"no-pkexec") {
        message = Msg::MESSAGE_LAUNCH_NO_PKEXEC;
    } else {
        return 2;
    }
    QApplication application(argc, argv);
    skin::InstallProgramFonts();
    QApplication::setWindowIcon(ProgramIcon());
    // The user's own choice of language, read from the settings every user may read.
    loadTranslation();
    platform::MessageBoxW(i18n::Message(message), platform::ApplicationTitle(), icon | platform::MB_OK);
    return 0;
}

int RunProgram(int argc, char** argv) {
    sinceStart().start();
    if (argc == 3 && qstrcmp(argv[1], "--launcher-notice") == 0)
        return ShowLauncherNotice(argc, argv, QString::fromLatin1(argv[2]));

    // First of all, before any window: one instance per desktop user and display.
    TSingleInstance guard(InstanceFolder(), CurrentInstanceName());
    const TSingleInstance::Result instance = guard.Acquire();
    if (instance == TSingleInstance::Result::Second) {
        const bool answered = guard.AskFirstToRestore();
        OutputDebugStringW(answered ? QStringLiteral("Instance: the running instance was raised")
                                    : QStringLiteral("Instance: another instance holds the lock"));
        return 0;
    }

    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    platform::SetProgramArguments(arguments);
    settings::TakeEnvironmentSnapshot();

    // The stripe of the skin the start will choose decodes while the toolkit starts.
    TStripePrefetch stripe;
    stripe.Start(skin::SelectSkinAtStart());

    QApplication application(argc, argv);
    skin::InstallProgramFonts();
    startupLine("toolkit ready");

    TPreparedProgram program = PrepareProgram(&stripe);
    if (program.ended)
        return program.exitCode;
    if (instance == TSingleInstance::Result::First) {
        TForm_QO7* form = program.mainWindow.get();
        guard.Listen([form] { form->RestoreFromSecondStart(); });
    }
    return RunMessageLoop(program);
}

} // namespace app
