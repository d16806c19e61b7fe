#pragma once

// The program's command-line arguments (ParamStr 1 ... ParamCount), without the program path.
// Start-up records them once; tests set their own.

#include <QStringList>

namespace platform {

const QStringList& ProgramArguments();
void SetProgramArguments(const QStringList& arguments);

// The first argument upper-cased in the letters a to z only, as the verbs are compared; empty
// without arguments.
QString FirstArgumentUpper();

} // namespace platform
