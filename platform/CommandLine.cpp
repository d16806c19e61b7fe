#include "platform/CommandLine.h"

namespace platform {
namespace {

QStringList& arguments() {
    static QStringList list;
    return list;
}

} // namespace

const QStringList& ProgramArguments() { return arguments(); }

void SetProgramArguments(const QStringList& list) { arguments() = list; }

QString FirstArgumentUpper() {
    if (arguments().isEmpty())
        return {};
    QString first = arguments().first();
    for (QChar& c : first)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 32);
    return first;
}

} // namespace platform
