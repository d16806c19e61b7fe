#include "i18n/LanguageSelection.h"

#include "i18n/FileAccess.h"
#include "i18n/nLang3.h"
#include "platform/ProgramFolder.h"
#include "settings/Registry.h"

#include <QAction>
#include <QBitmap>
#include <QIcon>
#include <QImage>
#include <QMenu>

namespace i18n {
namespace {

const QString kForceLanguageValue = QStringLiteral("ForceLanguage_LCID");

struct LanguageChoice {
    QString name;
    platform::LCID lcid = 0;
};

LanguageChoice& choice() {
    static LanguageChoice c;
    return c;
}

void match(int index) {
    choice().name = TranslationNames().value(index);
    choice().lcid = TranslationLCIDs().value(index).toUInt();
}

int indexOfIgnoringCase(const QStringList& list, const QString& text) {
    for (int i = 0; i < list.size(); ++i)
        if (list[i].compare(text, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

// A locale name of the user's locale: the ISO name, else the start of the abbreviated name.
QString userLocaleName(platform::LCTYPE iso, platform::LCTYPE abbreviated) {
    const platform::LCID lcid = platform::GetUserDefaultLCID();
    QString value;
    if (platform::GetLocaleInfoW(lcid, iso, &value, 32) > 0)
        return value;
    if (platform::GetLocaleInfoW(lcid, abbreviated, &value, 32) > 0)
        return value.left(2);
    return {};
}

// A 16 x 16 flag with white as the transparent colour; a null pixmap when the file is no picture.
QPixmap loadFlag(const QString& windowsPath) {
    QByteArray bytes;
    QString error;
    QImage image;
    if (!ReadWholeFile(windowsPath, &bytes, &error) || !image.loadFromData(bytes))
        return {};
    if (image.size() != QSize(16, 16))
        image = image.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setMask(pixmap.createMaskFromColor(Qt::white, Qt::MaskInColor));
    return pixmap;
}

// The first flag file for a code: code.bmp, language-language.bmp, the first language-*.bmp.
QString flagFileFor(const QString& flagsFolder, const QString& code) {
    const qsizetype dash = code.indexOf(u'-');
    const QString language = dash < 0 ? code : code.left(dash);
    for (const QString& name : {code + QStringLiteral(".bmp"),
                                language + u'-' + language + QStringLiteral(".bmp")}) {
        if (FileExists(flagsFolder + name))
            return flagsFolder + name;
    }
    const QStringList any = ListFiles(flagsFolder, language + QStringLiteral("-*.bmp"));
    return any.isEmpty() ? QString() : flagsFolder + any.first();
}

} // namespace

const QString& CurrentTranslationName() { return choice().name; }
platform::LCID CurrentLanguageLCID() { return choice().lcid; }

QString UserLanguageCode() {
    return userLocaleName(platform::LOCALE_SISO639LANGNAME, platform::LOCALE_SABBREVLANGNAME);
}

QString UserCountryCode() {
    return userLocaleName(platform::LOCALE_SISO3166CTRYNAME, platform::LOCALE_SABBREVCTRYNAME);
}

QString LanguageDisplayName(platform::LCID lcid) { return platform::VerLanguageNameW(lcid); }

void DetectLanguage() {
    const QString lang = UserLanguageCode().toLower();
    const QString country = UserCountryCode().toLower();
    const platform::LANGID system = platform::GetSystemDefaultLangID();

    ScanTranslations(platform::ProgramFolder() + QStringLiteral("\\Translation"));
    const QStringList& codes = TranslationCodes();

    for (int i = 0; i < codes.size(); ++i) {
        if (codes[i].left(2).toLower() == u"en") {
            match(i);
            break;
        }
    }

    using namespace settings;
    if (RegValueExists(HKEY_LOCAL_MACHINE, OptionsKey, kForceLanguageValue)) {
        const QString stored = RegReadString(HKEY_LOCAL_MACHINE, OptionsKey, kForceLanguageValue);
        const int i = indexOfIgnoringCase(TranslationNames(), stored);
        if (i >= 0) {
            match(i);
            return;
        }
        RegRemoveValue(HKEY_LOCAL_MACHINE, OptionsKey, kForceLanguageValue);
    }

    const QString full = country.isEmpty() ? lang : lang + u'-' + country;
    if (const int i = indexOfIgnoringCase(codes, full); i >= 0) {
        match(i);
        return;
    }
    if (const int i = indexOfIgnoringCase(codes, lang); i >= 0) {
        match(i);
        return;
    }
    if (system == 2055 || system == 3079) {
        int i = indexOfIgnoringCase(codes, QStringLiteral("de-de"));
        if (i < 0)
            i = indexOfIgnoringCase(codes, QStringLiteral("de"));
        if (i >= 0)
            match(i);
    }
}

void BuildLanguageMenu(QMenu* parent, QList<QPixmap>* imageList) {
    if (!parent)
        return;
    const QString flagsFolder = platform::ProgramFolder() + QStringLiteral("\\Flags\\");
    for (int i = 0; i < TranslationLCIDs().size(); ++i) {
        const platform::LCID lcid = TranslationLCIDs()[i].toUInt();
        QAction* entry = parent->addAction(LanguageDisplayName(lcid));
        entry->setData(i + 1);
        const QString flagFile = flagFileFor(flagsFolder, TranslationCodes().value(i));
        if (flagFile.isEmpty() || !imageList)
            continue;
        const QPixmap flag = loadFlag(flagFile);
        if (flag.isNull())
            continue;
        imageList->append(flag);
        entry->setIcon(QIcon(flag));
        entry->setProperty("ImageIndex", static_cast<int>(imageList->size() - 1));
    }
}

void SaveForcedLanguage(const QString& name) {
    settings::RegWriteString(settings::HKEY_LOCAL_MACHINE, settings::OptionsKey,
                             kForceLanguageValue, name);
}

void ApplySaveVerbLanguage() {
    choice().lcid = 7;
    choice().name = QStringLiteral("de-de");
}

void ResetLanguageChoice() { choice() = {}; }

} // namespace i18n
