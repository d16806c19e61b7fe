#include "analysis/NodeData.h"

namespace analysis {

QChar UpperAZ(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') ? QChar(static_cast<char16_t>(u - 32)) : c;
}

QString UpperAZ(QStringView text) {
    QString out(text.size(), Qt::Uninitialized);
    QChar* d = out.data();
    for (qsizetype i = 0; i < text.size(); ++i)
        d[i] = UpperAZ(text[i]);
    return out;
}

QString ListedPath(const TNodeData& data) {
    if (data.ListedName.isEmpty())
        return data.Path;
    const qsizetype slash = data.Path.lastIndexOf(u'\\');
    return data.Path.left(slash + 1) + data.ListedName;
}

} // namespace analysis
