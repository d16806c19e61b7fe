#pragma once

#include <QString>

namespace platform {

// Caption of every message box and dialog of the program.
inline QString ApplicationTitle() { return QStringLiteral("Zelvano Orbisca 2024"); }

} // namespace platform
