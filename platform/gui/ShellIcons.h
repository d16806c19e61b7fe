#pragma once

// ExtractAssociatedIconW: the icon the desktop shows for a file, from the icon theme by the
// file's MIME type (guessed from its name), cached per extension; folders get the folder icon.
// Tests replace the lookup.

#include <QIcon>
#include <QString>

#include <functional>

namespace platform {

QIcon ExtractAssociatedIconW(const QString& windowsPath, bool isFolder);

using IconLookup = std::function<QIcon(const QString& windowsPath, bool isFolder)>;
// Replaces the lookup (and empties the cache); an empty function restores the default.
void SetIconLookup(IconLookup lookup);

} // namespace platform
