#pragma once

// The faces the windows are designed with. Tahoma comes from Debian's fonts-wine, which installs
// it outside fontconfig's folders, so the program registers it itself. "Segoe UI" has no free
// copy: it is mapped to Tahoma, the installed face of the closest width and look, instead of
// whatever fontconfig would pick first (the buttons' design name "Segeo UI" is mapped the same
// way).

#include <QString>

namespace skin {

// Registers the program's faces and substitutions with the running QGuiApplication; safe to call
// more than once. Returns false when Tahoma could not be found (the toolkit then falls back).
bool InstallProgramFonts();

// The folder searched for tahoma.ttf (native path); ORBISCA_FONT_DIR overrides.
QString ProgramFontFolder();

} // namespace skin
