// Starting with the desktop session: the XDG autostart entry that runs the program minimised.
#pragma once

#include <QString>

namespace app {

// $XDG_CONFIG_HOME/autostart/quorvel.desktop; ~/.config stands in when the variable is unset or
// not an absolute path.
QString AutostartEntryPath();

// `argument` as one argument of a desktop entry's Exec value: quoted when it holds anything
// beyond plain characters, with the escapes of the quoted form and of the string value.
QString ExecArgument(const QString& argument);

// The whole entry that starts `program` hidden at login.
QString AutostartEntryText(const QString& program);

// Whether the entry exists.
bool StartsAtLogin();

// Writes the entry for `program`, or removes it; raises platform::Exception when that fails.
void SetStartAtLogin(bool on, const QString& program);

} // namespace app
