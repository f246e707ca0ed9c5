// Read before the application object exists, so that --help and a refusal need no display.
#include "app/CommandLine.h"

#include "app/frmMain.h"

namespace app {
namespace {

// Options the application object of Qt reads itself, each as "-name" or "--name".
const char* const kQtOptionsWithValue[] = { "platform", "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "display", "geometry", "style", "stylesheet" };
const char* const kQtFlags[] = { "reverse", "widgetcount", "nograb", "dograb", "sync" };

} // namespace

CommandLine ReadCommandLine(const QStringList& arguments)
{
    CommandLine line;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            line.action = CommandLine::Action::Help;
            return line;
        }
        if (argument == QLatin1String("--version") || argument == QLatin1String("-v")) {
            line.action = CommandLine::Action::Version;
            return line;
        }
    }
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--hidden")) {
            line.hidden = true;
            continue;
        }
        QString name = argument;
        if (name.startsWith(QLatin1String("--")))
            name = name.mid(2);
        else if (name.startsWith('-'))
            name = name.mid(1);
        else
            name.clear();
        const qsizetype equals = name.indexOf('=');
        const QString bare = equals < 0 ? name : name.left(equals);
        bool known = false;
        for (const char* option : kQtFlags)
            known = known || (equals < 0 && bare == QLatin1String(option));
        for (const char* option : kQtOptionsWithValue) {
            if (bare != QLatin1String(option))
                continue;
            if (equals >= 0) {
                known = true;
            } else if (i + 1 < arguments.size()) {
                known = true;
                ++i;
            } else {
                line.action = CommandLine::Action::Refuse;
                line.error = "option '" + argument + "' needs a value";
                return line;
            }
        }
        if (!known) {
            line.action = CommandLine::Action::Refuse;
            line.error = (name.isEmpty() ? "unexpected argument '" : "unknown option '") + argument + "'";
            return line;
        }
    }
    return line;
}

QString ShortUsageText()
{
    return QStringLiteral("Usage: quorvel [--hidden | --help | --version]\n");
}

QString UsageText()
{
    return ShortUsageText()
        + QStringLiteral("Checks mail accounts for new mail from the notification area.\n"
                         "\n"
                         "  --hidden       start minimised to the notification area and check all accounts once\n"
                         "  -h, --help     show this text and leave\n"
                         "  -v, --version  show the version and leave\n"
                         "\n"
                         "The options of Qt (-platform, -display, -style and the like) are taken too.\n");
}

QString VersionText()
{
    return QString("quorvel %1\n").arg(kVersion);
}

} // namespace app
