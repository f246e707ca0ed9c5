// Writes the program's painted icon as PNG files, one per size, for the desktop's icon theme.
#include "app/icons/Painting.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorvel_theme_icons FOLDER\n");
        return 2;
    }
    // Painting may need fonts and the platform's pixel formats: run headless.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (int size : { 16, 22, 24, 32, 48, 64, 128, 256 }) {
        const QString sub = QString("%1x%1/apps").arg(size);
        if (!folder.mkpath(sub) || !pictures::PaintProgram(size).save(folder.filePath(sub + "/quorvel.png"), "PNG")) {
            std::fprintf(stderr, "quorvel_theme_icons: cannot write the %d pixel icon\n", size);
            return 1;
        }
    }
    return 0;
}
