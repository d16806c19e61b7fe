#include "inet/zel_inet2.h"

#include "platform/AppInfo.h"
#include "platform/Debug.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/ProgramFolder.h"
#include "platform/Shell.h"

#include <QFile>
#include <QUrl>

namespace inet {
namespace {

struct MenuItem {
    int id;
    const char* german;
    const char* english;
    const char* page;  // nullptr: separator
    const char* theme; // icon theme name
};

constexpr MenuItem kMenu[] = {
    {100, "Handbuch", "User manual", "index", "help-contents"},
    {0, "", "", nullptr, nullptr},
    {101, "Lizenzbedingungen (EULA)", "Licence terms (EULA)", "eula", "text-x-generic"},
    {102, "Datenschutz", "Privacy policy", "privacy", "security-medium"},
};
constexpr int kMenuCount = int(sizeof(kMenu) / sizeof(kMenu[0]));

struct State {
    QString languageCode = QStringLiteral("de-de");
    bool initialised = false;
};

State& state() {
    static State s;
    return s;
}

bool german() { return state().languageCode.startsWith(QLatin1String("de")); }

const MenuItem* itemAt(int menu, int index) {
    if (menu != kInternetMenu || index < 0 || index >= kMenuCount)
        return nullptr;
    return &kMenu[index];
}

bool openPage(const QString& page, const QString& languageCode) {
    const QString path = LocalPagePath(page, languageCode);
    if (path.isEmpty()) {
        platform::OutputDebugStringW(QStringLiteral("zinet: no page for ") + page);
        return false;
    }
    const std::string native = platform::NativePath(path);
    const QUrl url = QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(native)));
    return platform::ShellOpenUrl(url.toString(QUrl::FullyEncoded));
}

bool nativeFileExists(const QString& windowsPath) {
    const std::string native = platform::NativePath(windowsPath);
    return !native.empty() && QFile::exists(QFile::decodeName(QByteArray::fromStdString(native)));
}

} // namespace

void zinet_Initialize(QWidget*, const QString& languageCode) {
    if (!languageCode.isEmpty())
        state().languageCode = languageCode.toLower();
    state().initialised = true;
}

int zinet_GetMenuItemsCount(int menu) { return menu == kInternetMenu ? kMenuCount : 0; }

int zinet_GetMenuItemsID(int menu, int index) {
    const MenuItem* item = itemAt(menu, index);
    return item ? item->id : 0;
}

QString zinet_GetMenuItemsText(int menu, int index) {
    const MenuItem* item = itemAt(menu, index);
    if (!item)
        return {};
    return QString::fromUtf8(german() ? item->german : item->english);
}

QIcon zinet_GetMenuItemsImage(int menu, int index) {
    const MenuItem* item = itemAt(menu, index);
    if (!item || !item->theme)
        return {};
    return QIcon::fromTheme(QLatin1String(item->theme));
}

int zinet_ProcessMenuItem(QWidget*, int id) {
    for (const MenuItem& item : kMenu)
        if (item.page && item.id == id)
            openPage(QLatin1String(item.page), state().languageCode);
    return 0;
}

void zinet_AnalyticsManagerAddFeature(const QString&, int) {}

bool zinet_OpenLinkTargetInBrowser(const QString& target, const QString&, const QString&, int,
                                   const QString& languageCode, const QString&) {
    return openPage(PageForLinkTarget(target), languageCode);
}

void zinet_StartInfoChannelsConfig(QWidget*) {
    const QString text =
        german() ? QStringLiteral("Diese Ausgabe der Software hat keine Service-Channel: sie "
                                  "baut keine Verbindungen auf und sendet keine Daten.")
                 : QStringLiteral("This edition of the software has no service channels: it "
                                  "opens no connections and sends no data.");
    platform::MessageBoxW(text, platform::ApplicationTitle(), platform::MB_ICONINFORMATION);
}

void zinet_Shutdown(QWidget*) {}

void zinet_Destroy() { state() = State(); }

QString PageForLinkTarget(const QString& target) {
    const QString t = target.toLower();
    if (t == QLatin1String("eula"))
        return QStringLiteral("eula");
    if (t == QLatin1String("privacypolicy") || t == QLatin1String("privacy"))
        return QStringLiteral("privacy");
    if (t == QLatin1String("translation"))
        return QStringLiteral("translation");
    return QStringLiteral("index");
}

QString LocalPagePath(const QString& page, const QString& languageCode) {
    const QString base = platform::ProgramFolder() + QStringLiteral("\\help\\");
    const QString language = languageCode.left(2).toLower();
    for (const QString& candidate : {language, QStringLiteral("en")}) {
        if (candidate.isEmpty())
            continue;
        const QString path = base + candidate + u'\\' + page + QStringLiteral(".html");
        if (nativeFileExists(path))
            return path;
    }
    return {};
}

} // namespace inet
