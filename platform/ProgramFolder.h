#pragma once

#include <QString>

namespace platform {

// Folder of the program file as a Windows path without a trailing backslash; the base of every
// data path (service library, skins, translations). Tests point it elsewhere.
QString ProgramFolder();
void SetProgramFolder(const QString& windowsPath);

} // namespace platform
