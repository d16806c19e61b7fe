#include "views/StatusText.h"

#include "i18n/ProjectMessages.h"

namespace views {

QString StatusSizeText(int64_t size, const analysis::NumberFormat& format) {
    constexpr int64_t kKB = 1024, kMB = kKB * 1024, kGB = kMB * 1024;
    if (size < kKB)
        return QString::number(size) + QStringLiteral(" Byte");
    if (size < kMB)
        return analysis::FormatNumber(static_cast<double>(size) / kKB, 1, format) +
               QStringLiteral(" KB");
    if (size < kGB)
        return analysis::FormatNumber(static_cast<double>(size) / kMB, 2, format) +
               QStringLiteral(" MB");
    return analysis::FormatNumber(static_cast<double>(size) / kGB, 2, format) +
           QStringLiteral(" GB");
}

QString ReplaceFirstIgnoreCase(const QString& text, const QString& placeholder,
                               const QString& value) {
    const qsizetype at = text.indexOf(placeholder, 0, Qt::CaseInsensitive);
    if (at < 0 || placeholder.isEmpty())
        return text;
    QString out = text;
    out.replace(at, placeholder.size(), value);
    return out;
}

QString StatusSummary(const QString& templateText, uint64_t shownItems, uint32_t totalFiles,
                      int64_t size, const analysis::NumberFormat& format) {
    QString text =
        ReplaceFirstIgnoreCase(templateText, QStringLiteral("%1"), QString::number(shownItems));
    text = ReplaceFirstIgnoreCase(text, QStringLiteral("%2"), QString::number(totalFiles));
    return ReplaceFirstIgnoreCase(text, QStringLiteral("%3"), StatusSizeText(size, format));
}

QString ElidedPath(const QString& path) {
    constexpr qsizetype kKeep = 72;
    if (path.size() <= kKeep)
        return path;
    return path.left(24) + QChar(0x2026) + path.right(kKeep - 25);
}

QString IncompleteReasons(const analysis::TScanVerdict& verdict) {
    using i18n::Message;
    using i18n::Msg;
    QStringList sentences;
    if (verdict.Stopped)
        sentences << Message(Msg::MESSAGE_ORB_INCOMPLETE_STOPPED);
    if (verdict.CutShort)
        sentences << (Message(Msg::MESSAGE_ORB_INCOMPLETE_CUTSHORT) + u' ' +
                      verdict.Reason.toHtmlEscaped())
                         .trimmed();
    if (verdict.UnreadableFolders > 0) {
        QString s = ReplaceFirstIgnoreCase(Message(Msg::MESSAGE_ORB_INCOMPLETE_UNREADABLE),
                                           QStringLiteral("%1"),
                                           QString::number(verdict.UnreadableFolders));
        if (!verdict.UnreadableSamples.isEmpty())
            s += u' ' + ReplaceFirstIgnoreCase(
                            Message(Msg::MESSAGE_ORB_INCOMPLETE_EXAMPLE), QStringLiteral("%1"),
                            ElidedPath(verdict.UnreadableSamples.front()).toHtmlEscaped());
        sentences << s;
    }
    return sentences.join(u' ');
}

} // namespace views
