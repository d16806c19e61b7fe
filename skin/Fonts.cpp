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
    // Only the regular face: the bold file of this Tahoma is a different design, barely bolder
    // and narrower, so bold text is drawn as the regular face made bold (as for any family
    // without a bold file), which matches the text around it.
    for (const char* file : {"tahoma.ttf"}) {
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
