#include "app/DateTimeText.h"

namespace app {

QString WithoutTimeZone(const QString& format)
{
    // Drops every run of 't' outside quotes, with the blanks and brackets around it.
    QString kept;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == '\'') {
            quoted = !quoted;
            kept += c;
        } else if (!quoted && c == 't') {
            while (!kept.isEmpty() && (kept.back() == ' ' || kept.back() == '(' || kept.back() == QChar(0x00A0)))
                kept.chop(1);
            while (i + 1 < format.size() && (format[i + 1] == 't' || format[i + 1] == ')'))
                ++i;
        } else {
            kept += c;
        }
    }
    return kept.trimmed();
}

QString LongTimeText(const QTime& time, const QLocale& locale)
{
    // The long format names the time zone; a time of day shown to the user does not need it.
    return locale.toString(time, WithoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
}

QString ShortDateText(const QDate& date, const QLocale& locale)
{
    return locale.toString(date, QLocale::ShortFormat);
}

} // namespace app
