#include "skin/IniFile.h"

#include "skin/SkinFiles.h"

#include <QStringDecoder>

namespace skin {

QString DecodeIniText(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xFE")) {
        const QByteArray body = bytes.mid(2);
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(body.constData()),
                                  body.size() / 2);
    }
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF"))
        view = view.sliced(3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(view);
    if (!utf8.hasError())
        return text;
    QStringDecoder ansi("windows-1252");
    if (ansi.isValid())
        return ansi(view);
    return QString::fromLatin1(view);
}

TIniFile TIniFile::FromBytes(const QByteArray& bytes) {
    TIniFile ini;
    const QString text = DecodeIniText(bytes);
    Section* current = nullptr;
    for (QStringView line : QStringView(text).tokenize(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            const QString name = line.mid(1, close < 0 ? -1 : close - 1).trimmed().toString();
            current = nullptr;
            bool repeated = false;
            for (const Section& s : ini.sections_)
                repeated = repeated || s.name.compare(name, Qt::CaseInsensitive) == 0;
            // A repeated section adds nothing: the first one answers.
            if (!repeated) {
                ini.sections_.push_back({name, {}});
                current = &ini.sections_.back();
            }
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!current || eq <= 0)
            continue;
        const QString key = line.first(eq).trimmed().toString();
        QStringView value = line.sliced(eq + 1).trimmed();
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
            value.back() == value.front())
            value = value.sliced(1, value.size() - 2);
        bool known = false;
        for (const Entry& e : current->entries)
            known = known || e.key.compare(key, Qt::CaseInsensitive) == 0;
        if (!known)
            current->entries.push_back({key, value.toString()});
    }
    return ini;
}

TIniFile TIniFile::FromFile(const QString& windowsPath) {
    QByteArray bytes;
    if (!ReadFileBytes(windowsPath, bytes, kMaxFileBytes))
        return {};
    return FromBytes(bytes);
}

std::optional<QString> TIniFile::Value(QStringView section, QStringView key) const {
    for (const Section& s : sections_) {
        if (s.name.compare(section, Qt::CaseInsensitive) != 0)
            continue;
        for (const Entry& e : s.entries)
            if (e.key.compare(key, Qt::CaseInsensitive) == 0)
                return e.value;
        return std::nullopt;
    }
    return std::nullopt;
}

QString TIniFile::ReadString(QStringView section, QStringView key, const QString& fallback) const {
    return Value(section, key).value_or(fallback);
}

bool TIniFile::ValueExists(QStringView section, QStringView key) const {
    return Value(section, key).has_value();
}

} // namespace skin
