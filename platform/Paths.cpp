#include "platform/Paths.h"

#include "platform/DriveTable.h"

namespace platform {

QString DisplayName(std::string_view name) {
    QString out(static_cast<qsizetype>(name.size()), Qt::Uninitialized);
    const size_t n = DecodeNativeName(name, reinterpret_cast<char16_t*>(out.data()));
    out.truncate(static_cast<qsizetype>(n));
    return out;
}

std::string NativeName(QStringView name) {
    return EncodeNativeName(
        std::u16string_view(reinterpret_cast<const char16_t*>(name.utf16()),
                            static_cast<size_t>(name.size())));
}

std::string NativePath(const QString& windowsPath) {
    if (windowsPath.size() < 2 || windowsPath[1] != u':')
        return {};
    std::string native = DriveRoot(windowsPath[0].unicode());
    if (native.empty())
        return {};
    const QStringView rest = QStringView(windowsPath).mid(2);
    for (const QStringView part : rest.tokenize(u'\\', Qt::SkipEmptyParts)) {
        if (native.back() != '/')
            native += '/';
        native += NativeName(part);
    }
    return native;
}

QString WindowsPath(std::string_view nativePath) {
    const DriveForPath drive = FindDriveForNativePath(nativePath);
    if (!drive.letter)
        return {};
    QString out = QChar(drive.letter) + QStringLiteral(":\\");
    std::string_view rest = nativePath.substr(drive.rootLength == 1 ? 1 : drive.rootLength);
    bool first = true;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (!part.empty()) {
            if (!first)
                out += u'\\';
            out += DisplayName(part);
            first = false;
        }
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    return out;
}

} // namespace platform
