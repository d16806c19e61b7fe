// The entry steps up to the message loop: the checks end the start with their box, the verbs
// without a window end it quietly, "-SAVE" tells the truth, a normal start shows the first
// module in a complete main window, and one without the skins folder says so once and keeps the
// default skin.

#include "AppTestSupport.h"

#include "app/ModuleRegistry.h"
#include "app/ProgramEntry.h"
#include "app/StartRules.h"
#include "app/Unit1.h"
#include "dialogs/options/FormOptions.h"
#include "i18n/LanguageSelection.h"
#include "i18n/ProjectMessages.h"
#include "platform/CommandLine.h"
#include "platform/Debug.h"
#include "platform/MessageBox.h"
#include "settings/Registry.h"
#include "skin/Image.h"
#include "skin/Panel.h"
#include "skin/SkinColors.h"
#include "skin/TarviMouseImage3State.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

using namespace app;

namespace {

struct Box {
    QString text, caption;
    unsigned type;
};

class EntryTest : public apptest::ShippedProgram {
protected:
    void SetUp() override {
        ShippedProgram::SetUp();
        previous_ = platform::SetMessageBoxHandler([this](const QString& text, const QString& caption,
                                                          unsigned type) {
            boxes_.push_back({text, caption, type});
            return int(platform::IDOK);
        });
        RegisterModuleClass(kMainModuleClass, [](QWidget* parent, skin::TMainHost&) {
            auto* module = new QWidget(parent);
            module->setObjectName("Form_ORB");
            return module;
        });
    }
    void TearDown() override {
        UnregisterModuleClass(kMainModuleClass);
        platform::SetMessageBoxHandler(previous_);
        platform::SetProgramArguments({});
        qunsetenv("ORBISCA_WINDOWS_REPORTED");
        ShippedProgram::TearDown();
    }
    std::vector<Box> boxes_;
    platform::MessageBoxHandler previous_;
};

TEST_F(EntryTest, FailedChecksEndWithTheirErrorBoxBeforeAnyWindow) {
    qputenv("ORBISCA_WINDOWS_REPORTED", "4.0");
    TPreparedProgram old = PrepareProgram();
    EXPECT_TRUE(old.ended);
    EXPECT_NE(old.exitCode, 0);
    EXPECT_EQ(old.mainWindow, nullptr);
    qunsetenv("ORBISCA_WINDOWS_REPORTED");

    qputenv(platform::kHiveEnvironmentVariable, "/proc/self/no-such-folder/machine.hive");
    platform::CloseMachineHive();
    const QByteArray lang = qgetenv("LANG"), all = qgetenv("LC_ALL");
    qputenv("LANG", "en_US.UTF-8"); // the box speaks the user's language
    qunsetenv("LC_ALL");
    TPreparedProgram refused = PrepareProgram();
    for (const auto& [name, value] : {std::pair{"LANG", lang}, std::pair{"LC_ALL", all}})
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    EXPECT_TRUE(refused.ended);
    EXPECT_EQ(refused.mainWindow, nullptr);

    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0].text, NeedsWindowsXpText());
    // Root is told why the hive cannot be written; anyone else to start as administrator.
    EXPECT_EQ(boxes_[1].text,
              ::geteuid() == 0
                  ? "The settings cannot be saved: the file /proc/self/no-such-folder/"
                    "machine.hive cannot be written (" +
                        QString::fromLocal8Bit(std::strerror(ENOENT)) + ")."
                  : NeedsElevationText());
    for (const Box& box : boxes_) {
        EXPECT_EQ(box.caption, "Zelvano Orbisca 2024");
        EXPECT_EQ(box.type, unsigned(platform::MB_ICONSTOP | platform::MB_OK));
    }
}

TEST_F(EntryTest, VerbsWithoutAWindowEndQuietlyAndSaveTellsThatNothingWasSaved) {
    platform::SetProgramArguments({"-removecontext"});
    TPreparedProgram maintenance = PrepareProgram();
    EXPECT_TRUE(maintenance.ended);
    EXPECT_EQ(maintenance.exitCode, 0);
    EXPECT_TRUE(boxes_.empty());

    settings::RegWriteString(settings::HKEY_LOCAL_MACHINE, settings::OptionsKey,
                             "ForceLanguage_LCID", "orb2024_en-us");
    platform::SetProgramArguments({"-save"});
    TPreparedProgram save = PrepareProgram();
    EXPECT_TRUE(save.ended);
    EXPECT_EQ(save.exitCode, 0);
    EXPECT_EQ(save.mainWindow, nullptr);
    // The translation was loaded as usual before the language values were set.
    EXPECT_EQ(i18n::Message(i18n::Msg::MESSAGE_ORB_FILTER_ALL), "All files");
    EXPECT_EQ(i18n::CurrentLanguageLCID(), 7u);
    EXPECT_EQ(i18n::CurrentTranslationName(), "de-de");
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, SaveVerbText(platform::ProgramFolder()));
    EXPECT_EQ(boxes_[0].type, unsigned(platform::MB_ICONINFORMATION | platform::MB_OK));
}

TEST_F(EntryTest, NormalStartBuildsTheWindowWithItsFirstModule) {
    platform::DebugCapture capture;
    platform::SetProgramArguments({"-NOVERSION"});
    TPreparedProgram program = PrepareProgram();
    ASSERT_FALSE(program.ended);
    ASSERT_NE(program.mainWindow, nullptr);
    TForm_QO7& form = *program.mainWindow;
    EXPECT_EQ(form.windowTitle(), "Zelvano Orbisca 2024 (Version 01.00.00)");
    EXPECT_EQ(form.CurrentModuleClassName(), "TForm_ORB");
    EXPECT_TRUE(capture.contains("Created: TForm_ORB ; FormName=Form_ORB"));
    EXPECT_NE(settings::Form_Options(), nullptr);
    EXPECT_EQ(skin::MainHost(), &form);
    EXPECT_FALSE(apptest::Find<skin::TImage>(&form, "Image_SizeGrip")->Picture().isNull());
    // The fixed catalogue texts are set when the translation leaves them empty.
    EXPECT_FALSE(i18n::Message(i18n::Msg::MESSAGE_BYTES).isEmpty());
    EXPECT_TRUE(boxes_.empty());
    program.mainWindow.reset();
    settings::SetForm_Options(nullptr);
}

TEST_F(EntryTest, MissingSkinsFolderIsNamedOnceAndTheWindowKeepsTheDefaultSkin) {
    QTemporaryDir program; // a program folder without skins
    ASSERT_TRUE(program.isValid());
    platform::SetDriveRoot(u'S', program.path().toStdString());
    platform::SetProgramArguments({"-NOVERSION"});
    TPreparedProgram started = PrepareProgram();
    ASSERT_FALSE(started.ended);
    ASSERT_NE(started.mainWindow, nullptr);

    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, SkinsMissingText("S:\\skins\\"));
    EXPECT_TRUE(boxes_[0].text.contains("S:\\skins\r\n")) << boxes_[0].text;
    EXPECT_EQ(boxes_[0].type, unsigned(platform::MB_ICONWARNING | platform::MB_OK));

    TForm_QO7& form = *started.mainWindow;
    EXPECT_EQ(apptest::Find<skin::TPanel>(&form, "Shape_Header")->Color(), skin::RGB(0x2B, 0x3A, 0x55));
    EXPECT_FALSE(apptest::Find<skin::TImage>(&form, "Image_Logo")->Picture().isNull());
    for (const char* button : {"TarviMouseImage3State_Close", "TarviMouseImage3State_Minimize",
                               "TarviMouseImage3State_Maximize", "TarviMouseImage3State_Help"})
        EXPECT_FALSE(apptest::Find<skin::TTarviMouseImage3State>(&form, button)->Picture().isNull())
            << button;
    EXPECT_FALSE(apptest::Find<skin::TImage>(&form, "Image_SizeGrip")->Picture().isNull());
    started.mainWindow.reset();
    settings::SetForm_Options(nullptr);
}

} // namespace
