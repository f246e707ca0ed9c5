// Texts and rules of checking: status-line texts, result captions, run reports, the timer interval.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace app {

// The result of a check of an account that cannot be checked (no login address for its host
// type); the run counts it as nothing.
inline constexpr int kNoHostRule = -999;
// The result of a mail-server check that failed; the account's status says why. The run counts
// it as nothing and goes on.
inline constexpr int kCheckFailed = -3;

QString CheckingHostText(const QString& host, const QString& userName);

// Short date, " || ", long time without the time zone, in the user's locale.
QString LastCheckedText(const QDateTime& when, const QLocale& locale = QLocale());

// Why an account's fields are not shown or checked: its record could not be read.
QString UnreadableAccountText(const QString& name);

// The caption of lblStatus after a check with this result.
QString ResultCaption(int result);

struct RunReport {
    QString statusText;
    QString picture; // the picture file the tray shows after the run
};

// The report of a check-all run from its total and the previous run's total.
RunReport ReportRun(int total, int lastTotal);

// The version check's status text for the version document's body.
QString VersionReport(const QString& body, const QString& runningVersion);

// Longest interval the check timer accepts, in whole minutes: the timer counts milliseconds in
// a signed 32-bit number.
inline constexpr int kMaxTimerMinutes = 35791;

// The timer interval in milliseconds for a number of minutes: none for 0 or less (the timer is
// left as it was), and at most kMaxTimerMinutes minutes.
std::optional<std::uint32_t> TimerInterval(int minutes);

// The tooltip text: the status line and, when accounts failed in the run, a second line
// "Not checked: " with their names; cut to its first 255 characters.
QString TrayHint(const QString& statusText, const std::vector<QString>& failed = {});

} // namespace app
