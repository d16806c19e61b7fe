// Zelvano Orbisca 2024: the desktop program.

#include "app/ModuleRegistry.h"
#include "app/ProgramEntry.h"
#include "views/FormORB.h"

int main(int argc, char** argv) {
    // The one module of this program: the analyser, in the main window that hosts it.
    app::RegisterModuleClass(app::kMainModuleClass, [](QWidget* parent, skin::TMainHost& host) {
        return new views::TForm_ORB(parent, &host);
    });
    return app::RunProgram(argc, argv);
}
