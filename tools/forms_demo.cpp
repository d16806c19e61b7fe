// Shows the options dialog or the about box on its own, for looking at them (under Xvfb with
// screenshots, or on a desktop). The program folder is the build's bin folder; settings go to a
// hive of the demo's own unless ORBISCA_HIVE names one.
//
//   orbisca_forms_demo options [--lang de|en] [--skin default|Dark] [--group 1|2] [--tab N]
//                      [--page TabSheet_SKIN]
//   orbisca_forms_demo about [--lang de|en] [--skin default|Dark]

#include "app/FormAbout.h"
#include "dialogs/options/FormOptions.h"
#include "i18n/LanguageSelection.h"
#include "i18n/TranslatableComponents.h"
#include "i18n/nLang3.h"
#include "platform/Locale.h"
#include "platform/Paths.h"
#include "platform/ProgramFolder.h"
#include "skin/Fonts.h"
#include "skin/stripeskins.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QStackedWidget>
#include <QTabBar>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("ORBISCA_HIVE"))
        qputenv("ORBISCA_HIVE", QDir::temp().filePath("orbisca_forms_demo.hive").toLocal8Bit());
    QApplication app(argc, argv);
    skin::InstallProgramFonts();

    QStringList args = app.arguments().mid(1);
    const QString what = args.value(0);
    const auto option = [&args](const char* name, const QString& fallback) {
        const int i = args.indexOf(QLatin1String(name));
        return i >= 0 ? args.value(i + 1, fallback) : fallback;
    };
    if (what != "options" && what != "about") {
        std::fprintf(stderr, "usage: %s options|about [--lang de|en] [--skin NAME] [--group N] "
                             "[--tab N] [--page NAME]\n", argv[0]);
        return 2;
    }

    platform::SetProgramFolder(
        platform::WindowsPath(QCoreApplication::applicationDirPath().toStdString() + "/../bin"));
    const QString locale = option("--lang", "de") == "en" ? "en_US.UTF-8" : "de_DE.UTF-8";
    {
        platform::FakeLocale fake(locale, locale);
        i18n::DetectLanguage();
    }
    i18n::LOAD_INTERNAL_ONLY(platform::ProgramFolder() + "\\translation",
                             i18n::CurrentTranslationName());
    skin::SetSkinFolder(skin::SkinsFolder() + option("--skin", "default"));
    const std::unique_ptr<skin::TStripeSkinner> stripe = skin::CreateSkinStripe();
    skin::SetCurrentStripe(stripe.get());

    if (what == "about") {
        app::TForm_About about(nullptr);
        // As the main window does: the caption of its menu item without "&".
        QString caption = i18n::BuiltInText("Form_QO7", "MenuItem_help_About");
        if (const i18n::TLang* lang = i18n::ActiveTranslation())
            caption = lang->Get_StringW("Form_QO7", "MenuItem_help_About");
        about.setWindowTitle(caption.remove('&'));
        about.move(40, 40);
        about.show();
        return app.exec();
    }
    settings::TForm_Options form;
    settings::SetForm_Options(&form);
    form.show();
    form.move(40, 40);
    form.SelectNavigationGroup(option("--group", "1").toInt());
    if (auto* tabs = form.findChild<QTabBar*>(QStringLiteral("AdvOfficeTabSet1")))
        tabs->setCurrentIndex(option("--tab", "0").toInt());
    auto* pages = form.findChild<QStackedWidget*>(QStringLiteral("PageControl1"));
    if (const QString page = option("--page", ""); pages && !page.isEmpty())
        if (QWidget* sheet = pages->findChild<QWidget*>(page))
            pages->setCurrentWidget(sheet);
    const int result = app.exec();
    settings::SetForm_Options(nullptr);
    return result;
}
