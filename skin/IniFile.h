#pragma once

// Read-only INI file as Windows profile functions read it: sections in square brackets, one
// "key=value" per line, names compared without regard to case, the first of duplicate sections
// or keys wins, blanks around names and values are dropped and one pair of matching quotes
// around a value is removed. Lines starting with ";" are comments. The text may be UTF-8 (with
// or without a byte-order mark), UTF-16 LE with a byte-order mark, or else Windows-1252.

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace skin {

class TIniFile {
public:
    // Parses text already in memory.
    static TIniFile FromBytes(const QByteArray& bytes);
    // Reads a file on a Windows path; a missing or unreadable file gives an empty INI.
    static TIniFile FromFile(const QString& windowsPath);

    // The value of a key, or nothing when the section or key is absent.
    std::optional<QString> Value(QStringView section, QStringView key) const;
    QString ReadString(QStringView section, QStringView key, const QString& fallback) const;
    bool ValueExists(QStringView section, QStringView key) const;

    static constexpr qint64 kMaxFileBytes = 4 << 20;

private:
    struct Entry {
        QString key;
        QString value;
    };
    struct Section {
        QString name;
        std::vector<Entry> entries;
    };
    std::vector<Section> sections_;
};

QString DecodeIniText(const QByteArray& bytes);

} // namespace skin
