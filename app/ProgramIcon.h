#pragma once

// The program's icon: a pie of three slices, one of them pulled out, as on the header logo. It
// is drawn, not loaded, so the window icon and the icons installed for the desktop menu (made
// from this at build time) are the same picture at every size.

#include <QIcon>
#include <QImage>

namespace app {

// The icon at size x size pixels, on a transparent background.
QImage DrawProgramIcon(int size);

// The icon at the sizes window managers and menus ask for.
QIcon ProgramIcon();

// The name under which the desktop finds the installed icon and the menu entry.
inline const QString kDesktopId = QStringLiteral("com.zelvano.Orbisca2024");

} // namespace app
