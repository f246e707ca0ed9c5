// Dates and times as the user's locale writes them.
#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

namespace app {

// The locale's long time format without a time zone (for example 1:05:09 PM).
QString LongTimeText(const QTime& time, const QLocale& locale = QLocale::system());
// The locale's short date format (for example 12/9/26).
QString ShortDateText(const QDate& date, const QLocale& locale = QLocale::system());
// A time format without its time-zone fields, quoted literal text kept as it is.
QString WithoutTimeZone(const QString& format);

} // namespace app
