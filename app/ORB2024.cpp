// Zelvano Orbisca 2024: the desktop program.

#include "app/ProgramEntry.h"

int main(int argc, char** argv) { return app::RunProgram(argc, argv); }
