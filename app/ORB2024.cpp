// Zelvano Orbisca 2024: the desktop program.

#include "app/ModuleRegistry.h"
#include "app/ProgramEntry.h"
#include "views/FormORB.h"

int main(int argc, char** argv) {
    // The one module of this program: the analyser. It still finds its host through
    // skin::MainHost(), which the main window keeps set.
    app::RegisterModuleClass(app::kMainModuleClass, [](QWidget* parent, skin::TMainHost&) {
        return new views::TForm_ORB(parent);
    });
    return app::RunProgram(argc, argv);
}
