#pragma once

// File access for the translation and flag folders by Windows path. Windows compares file names
// without regard to case and the program spells its folders in more than one way ("Translation",
// "translation"), so every component of a path that does not exist as spelt is looked up
// case-insensitively in its folder.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string>

namespace i18n {

// The native path of a Windows path with each component resolved as above; empty when the drive
// is not mapped. A component that matches nothing is kept as spelt.
std::string ResolveNativePath(const QString& windowsPath);

// FileExists: an existing regular file (after following links); directories do not count.
bool FileExists(const QString& windowsPath);

// The names of the regular files in a folder that match a wildcard pattern ("*.nlang3"),
// case ignored, in the order a Windows folder listing gives them (by upper-cased name).
QStringList ListFiles(const QString& windowsFolder, const QString& pattern);

// Reads a whole file. On failure returns false and describes the error in *error.
bool ReadWholeFile(const QString& windowsPath, QByteArray* bytes, QString* error);

} // namespace i18n
