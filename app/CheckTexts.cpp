// The texts of checking: status lines, result captions, run reports, the timer interval, the tray hint.
#include "app/CheckTexts.h"

#include "app/DateTimeText.h"
#include "app/InterpretPage.h"

namespace app {

QString CheckingHostText(const QString& host, const QString& userName)
{
    return "Checking host: " + host + " - name: " + userName;
}

QString LastCheckedText(const QDateTime& when, const QLocale& locale)
{
    return ShortDateText(when.date(), locale) + " || " + LongTimeText(when.time(), locale);
}

QString UnreadableAccountText(const QString& name)
{
    return "The settings of account '" + name + "' cannot be read";
}

QString ResultCaption(int result)
{
    switch (result) {
    case kInterpretionError:
        return "Interpretion error...";
    case kLoginFailed:
        return "Login failed";
    case kNoHostRule:
        return "Error with host-name";
    default:
        return QString::number(result);
    }
}

RunReport ReportRun(int total, int lastTotal)
{
    if (total > 0 && lastTotal > 0 && total != lastTotal) {
        // A rise shows as a positive figure, a fall as a negative one.
        return { QString::number(total) + " total number of new message(s), all accounts. Since last checked: "
                + QString::number(total - lastTotal),
            "face02.ico" };
    }
    if (total > 0)
        return { QString::number(total) + " total number of new message(s), all accounts", "face02.ico" };
    return { "No messages!", "face04.ico" };
}

QString VersionReport(const QString& body, const QString& runningVersion)
{
    if (body == runningVersion)
        return "Running at the newest version.";
    return "Get the newest version, " + body + ", at quorvel's homepage.";
}

std::optional<std::uint32_t> TimerInterval(int minutes)
{
    if (minutes <= 0)
        return std::nullopt;
    const int clamped = minutes > kMaxTimerMinutes ? kMaxTimerMinutes : minutes;
    return static_cast<std::uint32_t>(clamped) * 60000u;
}

QString TrayHint(const QString& statusText, const std::vector<QString>& failed)
{
    QString hint = statusText;
    if (!failed.empty()) {
        hint += QStringLiteral("\nNot checked: ");
        for (std::size_t i = 0; i < failed.size(); ++i)
            hint += (i ? QStringLiteral(", ") : QString()) + failed[i];
    }
    return hint.left(255);
}

} // namespace app
