// Writes the program's icon for the desktop menu: FOLDER/<N>x<N>/apps/<desktop id>.png for the
// sizes of the hicolor icon theme.
//
//   orbisca_make_icons build/packaging/icons

#include "app/ProgramIcon.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        const QString file = folder + u'/' + app::kDesktopId + QStringLiteral(".png");
        if (!QDir().mkpath(folder) || !app::DrawProgramIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
