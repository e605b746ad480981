#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

namespace tessary {

// Dates as the card database stores them and as the program reads and shows
// them.

// Parses a date given as "d/mm/yyyy" (day, month, year, whatever the locale;
// a time of day may follow). Invalid when the text names no date.
QDateTime parseDayMonthYear(const QString &text);

// Turns a stored date-time into text the way the desktop shows it: the
// short date, with the time only when it is not midnight.
QString dateTimeText(const QDateTime &value);

// A local date and time that exists even where the clocks skip it: in a
// daylight-saving gap (some zones skip from 23:59 straight to 01:00) the time
// moves forward by the length of the gap, so a date is never lost.
QDateTime localDateTime(const QDate &date, const QTime &time);

// The stored text of a date-time, "yyyy-MM-dd HH:mm:ss": a date without a
// time of day (its first moment) is kept at 00:00:00 whatever the zone, so
// the file holds calendar dates.
QString storedDateText(const QDateTime &value);

// Reads a stored date-time text back; invalid when it is not one.
QDateTime readStoredDate(const QString &text);

} // namespace tessary
