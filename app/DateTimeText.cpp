// Dates and times in the user's locale, written without the time zone.
#include "app/DateTimeText.h"

#include <optional>

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

namespace {

// Asking the system locale for its formats costs more than writing the text, and a run writes
// one for each account: the formats of the locale last asked for are kept.
struct Formats {
    QLocale locale;
    QString shortDate;
    QString longTime;
};

const Formats& FormatsOf(const QLocale& locale)
{
    thread_local std::optional<Formats> kept;
    if (!kept || !(kept->locale == locale)) {
        // The long format names the time zone; a time of day shown to the user does not need it.
        kept = Formats { locale, locale.dateFormat(QLocale::ShortFormat),
            WithoutTimeZone(locale.timeFormat(QLocale::LongFormat)) };
    }
    return *kept;
}

} // namespace

QString LongTimeText(const QTime& time, const QLocale& locale)
{
    return locale.toString(time, FormatsOf(locale).longTime);
}

QString ShortDateText(const QDate& date, const QLocale& locale)
{
    return locale.toString(date, FormatsOf(locale).shortDate);
}

} // namespace app
