#pragma once

// Our flag pictures for the language list: 16 x 16 pixels, white (255,255,255) is transparent,
// so the flags themselves use an off-white where they need white.

#include <QImage>
#include <QString>
#include <QStringList>

namespace flags {

// The language codes we draw a flag for.
QStringList DrawnCodes();
// The flag of a code; a null image for a code we do not draw.
QImage DrawFlag(const QString& code);

} // namespace flags
