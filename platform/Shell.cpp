#include "platform/Shell.h"

#include "platform/Debug.h"
#include "platform/PercentEncoding.h"
#include "platform/RunAsUser.h"

#include <QUrl>

namespace platform {
namespace {

ShellHandler& currentHandler() {
    static ShellHandler handler;
    return handler;
}

// The folder holding an item: "/a/b" -> "/a", "/a" -> "/".
std::string folderOf(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::vector<CommandLine> openersFor(const DesktopPrograms& programs, const std::string& target) {
    std::vector<CommandLine> commands = programs.openers;
    for (CommandLine& command : commands)
        command.push_back(target);
    return commands;
}

// ShowItems(uris, startup id) through the command-line bus clients. Both take the URI as plain
// text: the percent-encoded URI holds no quote, comma or blank that either would interpret.
std::vector<CommandLine> showItemsCalls(const DesktopPrograms& programs, const std::string& uri) {
    static const std::string service = "org.freedesktop.FileManager1";
    static const std::string object = "/org/freedesktop/FileManager1";
    return {
        {programs.gdbus, "call", "--session", "--timeout", "10", "--dest", service, "--object-path",
         object, "--method", service + ".ShowItems", "['" + uri + "']", "''"},
        {programs.dbusSend, "--session", "--print-reply", "--reply-timeout=10000",
         "--dest=" + service, object, service + ".ShowItems", "array:string:" + uri, "string:"},
    };
}

bool launch(const UserSession& user, const LaunchPlan& plan) {
    std::string error;
    if (LaunchAsUser(user, plan, &error))
        return true;
    OutputDebugStringW(QStringLiteral("Shell: ") + QString::fromLocal8Bit(error));
    return false;
}

bool dispatch(const ShellRequest& request) {
    if (const ShellHandler& handler = currentHandler())
        return handler(request);
    return DesktopShellHandler(CurrentUserSession())(request);
}

} // namespace

ShellHandler DesktopShellHandler(const UserSession& user, DesktopPrograms programs) {
    return [user, programs](const ShellRequest& request) {
        switch (request.kind) {
        case ShellRequest::Kind::OpenPath:
            if (!request.nativePath.starts_with('/'))
                return false;
            return launch(user, {openersFor(programs, request.nativePath), {}});
        case ShellRequest::Kind::RevealItem:
            if (!request.nativePath.starts_with('/'))
                return false;
            return launch(user, {showItemsCalls(programs, FileUriOfPath(request.nativePath)),
                                 openersFor(programs, folderOf(request.nativePath))});
        case ShellRequest::Kind::OpenUrl: {
            // A URL with a scheme, in its encoded form: never anything an opener could take
            // for an option.
            const QUrl url(request.url);
            if (!url.isValid() || url.scheme().isEmpty())
                return false;
            return launch(user, {openersFor(programs, url.toEncoded().toStdString()), {}});
        }
        }
        return false;
    };
}

bool ShellOpenPath(const std::string& nativePath) {
    return dispatch({ShellRequest::Kind::OpenPath, nativePath, {}});
}

bool ShellRevealItem(const std::string& nativePath) {
    return dispatch({ShellRequest::Kind::RevealItem, nativePath, {}});
}

bool ShellOpenUrl(const QString& url) {
    return dispatch({ShellRequest::Kind::OpenUrl, {}, url});
}

ShellHandler SetShellHandler(ShellHandler handler) {
    ShellHandler previous = std::move(currentHandler());
    currentHandler() = std::move(handler);
    return previous;
}

} // namespace platform
