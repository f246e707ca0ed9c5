#include "app/DateTimeText.h"

#include <QLocale>
#include <QRegularExpression>

namespace app {

QString LongTimeText(const QTime& time)
{
    const QLocale locale = QLocale::system();
    // The long format names the time zone; a time of day shown to the user does not need it.
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*\\(?t+\\)?")));
    return locale.toString(time, format.trimmed());
}

QString ShortDateText(const QDate& date)
{
    return QLocale::system().toString(date, QLocale::ShortFormat);
}

} // namespace app
