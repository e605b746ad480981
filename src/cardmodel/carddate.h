#pragma once

// The date form cards print: "d/MMM, yyyy".

#include <QDate>
#include <QLocale>
#include <QString>
#include <QVariant>

namespace tessary {

// A date as cards print it: the day without a leading zero, the locale's
// date separator, the abbreviated month name, a comma and a blank, and the
// four-digit year.
QString cardDateText(const QDate &date, const QLocale &locale = QLocale::system());
// The separator of the locale's short date format ("/" when it has none).
QString dateSeparator(const QLocale &locale = QLocale::system());

// A date text as cards print it. `text` is what the data text is about to
// print for `value` (the row's stored date): when it is that date's text,
// or otherwise reads as a date in the locale's short form, it becomes the
// card's date text. Empty texts stay empty; anything else stays unchanged.
void formatCardDateText(QString &text, const QVariant &value, const QLocale &locale = QLocale::system());

} // namespace tessary
