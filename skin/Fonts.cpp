#include "skin/Fonts.h"

#include "platform/Debug.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>

namespace skin {

QString ProgramFontFolder() {
    const QByteArray overridden = qgetenv("ORBISCA_FONT_DIR");
    return overridden.isEmpty() ? QStringLiteral("/usr/share/wine/fonts")
                                : QFile::decodeName(overridden);
}

bool InstallProgramFonts() {
    static bool installed = false;
    static bool tahomaFound = false;
    if (installed)
        return tahomaFound;
    installed = true;
    const QString folder = ProgramFontFolder();
    for (const char* file : {"tahoma.ttf", "tahomabd.ttf"}) {
        const QString path = folder + u'/' + QLatin1String(file);
        if (QFontDatabase::addApplicationFont(path) >= 0)
            tahomaFound = true;
        else
            platform::OutputDebugStringW(QStringLiteral("Font not loaded: ") + path);
    }
    QFont::insertSubstitution(QStringLiteral("Segoe UI"), QStringLiteral("Tahoma"));
    QFont::insertSubstitution(QStringLiteral("Segeo UI"), QStringLiteral("Tahoma"));
    return tahomaFound;
}

} // namespace skin
