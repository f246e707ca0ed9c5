// Where picture files are found, and the program's own pictures.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace app {

// The path of the picture file `fileName`: looked up in the current directory first, then in the
// program's own folder, then in the installed data folder. Empty when it is in none of them.
QString FindPicture(const QString& fileName);

// The window and tray icon, and the About box's picture; painted, so never missing.
QIcon ProgramIcon();
QPixmap AboutPicture();

} // namespace app
