#include "inet/OnlineHelp.h"

#include "i18n/LanguageSelection.h"
#include "i18n/ProjectMessages.h"
#include "inet/zel_inet2.h"
#include "platform/AppInfo.h"
#include "platform/Debug.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "settings/Registry.h"

#include <QFile>
#include <QUrl>

namespace inet {
namespace {

// GetLocaleInfoW with the buffer size of the locale queries.
QString localeInfo(platform::LCID lcid, platform::LCTYPE type) {
    QString value;
    if (platform::GetLocaleInfoW(lcid, type, &value, 32) > 0)
        return value;
    return {};
}

QString isoOrAbbreviation(platform::LCID lcid, platform::LCTYPE iso, platform::LCTYPE abbrev) {
    const QString name = localeInfo(lcid, iso);
    if (!name.isEmpty())
        return name;
    return localeInfo(lcid, abbrev).left(2);
}

QString helpPrefix() {
    return QLatin1String(kHelpSite) + QStringLiteral("/help/") + QLatin1String(kProductNumber) +
           u'/';
}

QString linkTargetPrefix() {
    return QLatin1String(kLinkTargetSite) + QStringLiteral("/linktarget/?product=");
}

// Pages are looked up by language; no language in the tag means the built-in German texts.
QString pageLanguage(const QString& tag) {
    const QString language = tag.section(u'-', 0, 0);
    return language.isEmpty() ? QStringLiteral("de") : tag;
}

bool openLocalPage(const QString& url) {
    const std::optional<TLocalPage> local = LocalPageForUrl(url);
    const QString path = local ? LocalPagePath(local->page, local->languageCode) : QString();
    if (path.isEmpty()) {
        platform::OutputDebugStringW(QStringLiteral("No shipped page for ") + url);
        platform::MessageBoxW(
            i18n::Message(i18n::Msg::MESSAGE_HELP_PAGE_NOT_FOUND)
                .arg(local ? local->page + QStringLiteral(".html") : url),
            platform::ApplicationTitle(), platform::MB_ICONWARNING);
        return false;
    }
    const std::string native = platform::NativePath(path);
    const QUrl file = QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(native)));
    return platform::ShellOpenUrl(file.toString(QUrl::FullyEncoded));
}

} // namespace

QString LocaleTag(platform::LCID lcid) {
    const QString language =
        isoOrAbbreviation(lcid, platform::LOCALE_SISO639LANGNAME, platform::LOCALE_SABBREVLANGNAME);
    const QString country =
        isoOrAbbreviation(lcid, platform::LOCALE_SISO3166CTRYNAME, platform::LOCALE_SABBREVCTRYNAME);
    return (language + u'-' + country).toLower().trimmed();
}

QString OnlineHelpUrl(const QString& topic, platform::LCID lcid) {
    return helpPrefix() + LocaleTag(lcid) + u'/' + topic;
}

QString LinkTargetUrl(const QString& target, const QString& edition, platform::LCID userLcid,
                      platform::LCID currentLcid) {
    return linkTargetPrefix() + QLatin1String(kProductNumber) + QStringLiteral("&version=") +
           QLatin1String(kProductVersion) + QStringLiteral("&edition=") + edition +
           QStringLiteral("&syslang=") + LocaleTag(userLcid) + QStringLiteral("&lang=") +
           LocaleTag(currentLcid) + QStringLiteral("&target=") + target;
}

std::optional<TLocalPage> LocalPageForUrl(const QString& url) {
    if (url.startsWith(helpPrefix())) {
        const QString rest = url.mid(helpPrefix().size());
        const qsizetype slash = rest.indexOf(u'/');
        if (slash < 0)
            return std::nullopt;
        return TLocalPage{QStringLiteral("index"), pageLanguage(rest.left(slash))};
    }
    if (url.startsWith(linkTargetPrefix())) {
        // The target is the last parameter and the language the one before it; searching from
        // the end keeps an edition text that holds "&" out of the way (nothing is encoded).
        const QString targetKey = QStringLiteral("&target=");
        const QString langKey = QStringLiteral("&lang=");
        const qsizetype targetAt = url.lastIndexOf(targetKey);
        const qsizetype langAt = targetAt < 0 ? -1 : url.lastIndexOf(langKey, targetAt);
        if (langAt < 0)
            return std::nullopt;
        const QString target = url.mid(targetAt + targetKey.size());
        const QString lang = url.mid(langAt + langKey.size(), targetAt - langAt - langKey.size());
        return TLocalPage{PageForLinkTarget(target), pageLanguage(lang)};
    }
    return std::nullopt;
}

bool OpenOnlineHelp(const QString& Topic) {
    const QString url = OnlineHelpUrl(Topic, i18n::CurrentLanguageLCID());
    platform::OutputDebugStringW(QStringLiteral("Call Online Help ; URL=") + url);
    return openLocalPage(url);
}

bool OpenLinkTarget(const QString& Target) {
    const QString edition = settings::RegReadString(settings::HKEY_LOCAL_MACHINE,
                                                    settings::ProductKey, QStringLiteral("Edition"));
    const QString url = LinkTargetUrl(Target, edition, platform::GetUserDefaultLCID(),
                                      i18n::CurrentLanguageLCID());
    platform::OutputDebugStringW(QStringLiteral("Open Link Target ; URL=") + url);
    return openLocalPage(url);
}

} // namespace inet
