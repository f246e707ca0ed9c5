// Dates and times as the user's locale writes them.
#pragma once

#include <QDate>
#include <QString>
#include <QTime>

namespace app {

// The locale's long time format without a time zone (for example 1:05:09 PM).
QString LongTimeText(const QTime& time);
// The locale's short date format (for example 12/9/26).
QString ShortDateText(const QDate& date);

} // namespace app
