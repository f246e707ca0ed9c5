// Finding picture files beside the program or in the installed data folder; the program's own pictures.
#include "app/Pictures.h"

#include "app/icons/Painting.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace app {

namespace {

// The data folders of the desktop's base directories, each with the program's own folder in it.
QStringList DataFolders()
{
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (!home.startsWith('/'))
        home = QDir::homePath() + "/.local/share";
    QStringList bases { home };
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dirs.split(':', Qt::SkipEmptyParts))
        if (dir.startsWith('/'))
            bases << dir;
    QStringList folders;
    for (const QString& base : bases)
        folders << base + "/quorvel";
    return folders;
}

} // namespace

QString FindPicture(const QString& fileName)
{
    QStringList folders { QDir::currentPath() };
    if (QCoreApplication::instance()) {
        // Beside the program in its build tree; installed, in the data folder of its own prefix,
        // wherever that prefix was put.
        const QString program = QCoreApplication::applicationDirPath();
        folders << program << QDir::cleanPath(program + "/" + QStringLiteral(QUORVEL_DATA_FROM_PROGRAM));
    }
    folders << DataFolders();
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
