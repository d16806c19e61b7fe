#include "platform/Shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace platform {
namespace {

ShellHandler& currentHandler() {
    static ShellHandler handler;
    return handler;
}

QUrl localUrl(const std::string& nativePath) {
    return QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(nativePath)));
}

bool openOnDesktop(const ShellRequest& request) {
    switch (request.kind) {
    case ShellRequest::Kind::OpenPath:
        return QDesktopServices::openUrl(localUrl(request.nativePath));
    case ShellRequest::Kind::RevealItem: {
        const std::string::size_type slash = request.nativePath.rfind('/');
        const std::string folder =
            slash == std::string::npos || slash == 0 ? std::string("/")
                                                     : request.nativePath.substr(0, slash);
        return QDesktopServices::openUrl(localUrl(folder));
    }
    case ShellRequest::Kind::OpenUrl:
        return QDesktopServices::openUrl(QUrl(request.url));
    }
    return false;
}

bool dispatch(const ShellRequest& request) {
    if (const ShellHandler& handler = currentHandler())
        return handler(request);
    return openOnDesktop(request);
}

} // namespace

bool ShellOpenPath(const std::string& nativePath) {
    return dispatch({ShellRequest::Kind::OpenPath, nativePath, {}});
}

bool ShellRevealItem(const std::string& nativePath) {
    return dispatch({ShellRequest::Kind::RevealItem, nativePath, {}});
}

bool ShellOpenUrl(const QString& url) { return dispatch({ShellRequest::Kind::OpenUrl, {}, url}); }

ShellHandler SetShellHandler(ShellHandler handler) {
    ShellHandler previous = std::move(currentHandler());
    currentHandler() = std::move(handler);
    return previous;
}

} // namespace platform
