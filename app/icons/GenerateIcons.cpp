// Writes the program's icon files into the folder given as the only argument.
#include "app/icons/Painting.h"

#include <QGuiApplication>
#include <QImageWriter>

#include <cstdio>
#include <functional>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    // Painting needs no screen; the image plugins need an application object.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);

    const struct {
        const char* name;
        QImage image;
    } files[] = {
        { "quorvel.ico", pictures::PaintProgram(32) },
        { "about.ico", pictures::PaintAbout(64, 64) },
        { "aclock.ico", pictures::PaintClock(32) },
        { "face02.ico", pictures::PaintHappyFace(32) },
        { "face04.ico", pictures::PaintSleepyFace(32) },
    };
    for (const auto& file : files) {
        QImageWriter writer(folder + "/" + file.name, "ico");
        if (!writer.write(file.image)) {
            std::fprintf(stderr, "cannot write %s: %s\n", file.name, qPrintable(writer.errorString()));
            return 1;
        }
    }
    return 0;
}
