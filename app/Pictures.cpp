// Finding picture files beside the program or in the installed data folder; the program's own pictures.
#include "app/Pictures.h"

#include "app/icons/Painting.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace app {

QString FindPicture(const QString& fileName)
{
    QStringList folders { QDir::currentPath() };
    if (QCoreApplication::instance())
        folders << QCoreApplication::applicationDirPath();
    folders << QStringLiteral(QUORVEL_DATADIR);
    for (const QString& folder : folders) {
        const QFileInfo file(QDir(folder), fileName);
        if (file.isFile() && file.isReadable())
            return file.absoluteFilePath();
    }
    return {};
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : { 16, 22, 24, 32, 48, 64 })
        icon.addPixmap(QPixmap::fromImage(pictures::PaintProgram(size)));
    return icon;
}

QPixmap AboutPicture()
{
    return QPixmap::fromImage(pictures::PaintAbout(65, 57));
}

} // namespace app
