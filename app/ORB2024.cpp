// Zelvano Orbisca 2024: the desktop program.

#include "app/ModuleRegistry.h"
#include "app/ProgramEntry.h"
#include "views/FormORB.h"

int main(int argc, char** argv) {
    // The one module of this program: the analyser.
    app::RegisterModuleClass(app::kMainModuleClass,
                             [](QWidget* parent) { return new views::TForm_ORB(parent); });
    return app::RunProgram(argc, argv);
}
