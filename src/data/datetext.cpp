#include "datetext.h"

#include <QLocale>
#include <QRegularExpression>

namespace tessary {

namespace {

const QString kStoredDateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

} // namespace

// A local date and time that exists even where the clocks skip it: in a
// daylight-saving gap (some zones skip from 23:59 straight to 01:00) the time
// moves forward by the length of the gap, so a date is never lost.
QDateTime localDateTime(const QDate &date, const QTime &time)
{
    QDateTime dt(date, time);
    if (!dt.isValid() && date.isValid() && time.isValid())
        dt = date.startOfDay().addMSecs(QTime(0, 0).msecsTo(time));
    return dt;
}

// The stored text of a date-time: a date without a time of day (its first
// moment) is kept at 00:00:00 whatever the zone, so the file holds
// calendar dates.
QString storedDateText(const QDateTime &value)
{
    if (value == value.date().startOfDay())
        return value.date().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 00:00:00");
    return value.toString(kStoredDateFormat);
}

QDateTime readStoredDate(const QString &text)
{
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss"));
    if (text.size() == 19 && text.at(10) == QLatin1Char(' ') && date.isValid() && time.isValid())
        return localDateTime(date, time);
    return {};
}

QDateTime parseDayMonthYear(const QString &text)
{
    static const QRegularExpression re(
        QStringLiteral("^\\s*(\\d{1,2})/(\\d{1,2})/(\\d{1,4})(?:\\s+(\\d{1,2}):(\\d{2})(?::(\\d{2}))?)?\\s*$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return {};
    const QDate date(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
    if (!date.isValid())
        return {};
    QTime time(0, 0);
    if (!m.captured(4).isEmpty()) {
        time = QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).isEmpty() ? 0 : m.captured(6).toInt());
        if (!time.isValid())
            return {};
    }
    return localDateTime(date, time);
}

QString dateTimeText(const QDateTime &value)
{
    const QLocale locale = QLocale::system();
    QString text = locale.toString(value.date(), QLocale::ShortFormat);
    if (value != value.date().startOfDay())
        text += QLatin1Char(' ') + locale.toString(value.time(), QLocale::LongFormat);
    return text;
}

} // namespace tessary
