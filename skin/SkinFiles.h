#pragma once

// File access for the skin layer on Windows paths ("C:\...\skins\default\skin.ini"). Paths go to
// the disk through the drive table, so every name the skin list shows leads back to the exact
// bytes of the folder on disk.
//
// When the skins folder is missing from the program folder, the default skin built into the
// program stands in for it: paths inside the skins folder then lead to the built-in copy, which
// holds the folder "default" and the shared "back.png" (the default skin's stripe and tooltip
// picture serve as the shared ones).

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace skin {

// True when the program folder has no skins folder and the built-in default skin is used.
bool SkinsFolderMissing();

bool FileExists(const QString& windowsPath);
bool DirectoryExists(const QString& windowsPath);

// Reads a whole file. Fails (and leaves `data` empty) when the file cannot be opened or is larger
// than `maxBytes`.
bool ReadFileBytes(const QString& windowsPath, QByteArray& data, qint64 maxBytes);

// Names of the direct subfolders of a folder in the order the file system returns them, without
// "." and "..". `visit` is called after each entry the folder holds, folder or not.
QStringList ListSubfolders(const QString& windowsFolder, void (*visit)() = nullptr);

} // namespace skin
