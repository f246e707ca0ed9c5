// Where picture files are found, and the program's own pictures.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace app {

// The path of the picture file `fileName`: looked up in the current directory first, then in the
// program's own folder, then in the data folder of the prefix the program is installed in, then in
// the desktop's data folders ($XDG_DATA_HOME, $XDG_DATA_DIRS), last in the data folder configured
// at build time. Empty when it is in none of them.
QString FindPicture(const QString& fileName);

// The window and tray icon, and the About box's picture; painted, so never missing.
QIcon ProgramIcon();
QPixmap AboutPicture();

} // namespace app
