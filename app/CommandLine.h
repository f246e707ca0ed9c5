// The program's command line: its own options, and Qt's, which the application object takes.
#pragma once

#include <QString>
#include <QStringList>

namespace app {

struct CommandLine {
    enum class Action { Run, Help, Version, Refuse };
    Action action = Action::Run;
    // Start minimised to the notification area and check all accounts once.
    bool hidden = false;
    // Why the line is refused.
    QString error;
};

// Reads the arguments after the program's name. The first --help or --version wins over the rest;
// anything that is neither the program's option nor Qt's is refused.
CommandLine ReadCommandLine(const QStringList& arguments);

// The usage line alone, as a refused line gets it, and the whole text of --help.
QString ShortUsageText();
QString UsageText();
QString VersionText();

} // namespace app
