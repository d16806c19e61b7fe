// Writes our flag pictures as <code>.bmp into the folder given as the argument (assets/Flags).

#include "FlagPainter.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FLAGS_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (const QString& code : flags::DrawnCodes()) {
        const QString path = folder.filePath(code + QStringLiteral(".bmp"));
        if (!flags::DrawFlag(code).save(path, "BMP")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
