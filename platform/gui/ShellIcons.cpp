#include "platform/gui/ShellIcons.h"

#include <QApplication>
#include <QHash>
#include <QMimeDatabase>
#include <QStyle>

namespace platform {
namespace {

IconLookup& customLookup() {
    static IconLookup lookup;
    return lookup;
}

QHash<QString, QIcon>& cache() {
    static QHash<QString, QIcon> icons;
    return icons;
}

QIcon styleIcon(QStyle::StandardPixmap which) {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return app->style()->standardIcon(which);
    return {};
}

// The cache key: "/" for folders, else the lower-case extension of the last name ("" for none).
QString cacheKey(const QString& path, bool isFolder) {
    if (isFolder)
        return QStringLiteral("/");
    const qsizetype slash = path.lastIndexOf(u'\\');
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot > slash ? path.mid(dot).toLower() : QString();
}

QIcon lookUp(const QString& key) {
    if (key == QLatin1String("/"))
        return QIcon::fromTheme(QStringLiteral("folder"), styleIcon(QStyle::SP_DirIcon));
    const QIcon fallback = styleIcon(QStyle::SP_FileIcon);
    if (key.isEmpty())
        return fallback;
    static const QMimeDatabase db;
    const QMimeType mime = db.mimeTypeForFile(QStringLiteral("x") + key, QMimeDatabase::MatchExtension);
    if (!mime.isValid() || mime.isDefault())
        return fallback;
    return QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), fallback));
}

} // namespace

QIcon ExtractAssociatedIconW(const QString& windowsPath, bool isFolder) {
    if (customLookup())
        return customLookup()(windowsPath, isFolder);
    const QString key = cacheKey(windowsPath, isFolder);
    auto it = cache().find(key);
    if (it == cache().end())
        it = cache().insert(key, lookUp(key));
    return *it;
}

void SetIconLookup(IconLookup lookup) {
    customLookup() = std::move(lookup);
    cache().clear();
}

} // namespace platform
