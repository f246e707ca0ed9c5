// The autostart entry: written whole or not at all, so a session never starts from half a file.
#include "app/StartAtLogin.h"

#include "platform/core/Exceptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace app {

QString AutostartEntryPath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!config.startsWith('/'))
        config = QDir::homePath() + "/.config";
    return config + "/autostart/quorvel.desktop";
}

QString ExecArgument(const QString& argument)
{
    // Characters that make an argument need quotes in an Exec value.
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = argument.isEmpty();
    for (const QChar c : argument)
        quote = quote || reserved.contains(c);
    QString text;
    if (quote) {
        text += '"';
        for (const QChar c : argument) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                text += '\\';
            text += c;
        }
        text += '"';
    } else {
        text = argument;
    }
    // Field codes start with "%"; a literal one is doubled.
    text.replace('%', QStringLiteral("%%"));
    // The value is read as a string first, where a backslash escapes the next character.
    text.replace('\\', QStringLiteral("\\\\"));
    // A line break would end the value; the string escape keeps it.
    text.replace('\n', QStringLiteral("\\n"));
    return text;
}

QString AutostartEntryText(const QString& program)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Quorvel\n"
                          "Comment=Checks mail accounts for new mail from the notification area\n"
                          "Exec=%1 --hidden\n"
                          "Icon=quorvel\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(ExecArgument(program));
}

bool StartsAtLogin()
{
    return QFileInfo::exists(AutostartEntryPath());
}

void SetStartAtLogin(bool on, const QString& program)
{
    const QString path = AutostartEntryPath();
    if (!on) {
        QFile entry(path);
        if (entry.exists() && !entry.remove())
            throw platform::Exception(
                "Cannot remove the autostart entry " + path.toStdString() + ": " + entry.errorString().toStdString());
        return;
    }
    const QFileInfo where(path);
    if (!QDir().mkpath(where.path()))
        throw platform::Exception("Cannot make the folder " + where.path().toStdString());
    QSaveFile entry(path);
    if (!entry.open(QIODevice::WriteOnly) || entry.write(AutostartEntryText(program).toUtf8()) < 0 || !entry.commit())
        throw platform::Exception(
            "Cannot write the autostart entry " + path.toStdString() + ": " + entry.errorString().toStdString());
}

} // namespace app
