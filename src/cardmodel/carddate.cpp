#include "cardmodel/carddate.h"

#include <QDateTime>

namespace tessary {

QString dateSeparator(const QLocale &locale)
{
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    bool inQuote = false;
    bool seenField = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\'')) {
            inQuote = !inQuote;
            continue;
        }
        if (inQuote)
            continue;
        if (c == QLatin1Char('d') || c == QLatin1Char('M') || c == QLatin1Char('y')) {
            seenField = true;
            continue;
        }
        // A blank only spaces the fields of a written-out date ("5 Mar 2024"
        // in the C locale); the separator is the mark between numeric fields.
        if (seenField && !c.isLetter() && !c.isSpace())
            return QString(c);
    }
    return QStringLiteral("/");
}

QString cardDateText(const QDate &date, const QLocale &locale)
{
    if (!date.isValid())
        return QString();
    return QString::number(date.day()) + dateSeparator(locale) + locale.monthName(date.month(), QLocale::ShortFormat) +
           QStringLiteral(", ") + QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
}

void formatCardDateText(QString &text, const QVariant &value, const QLocale &locale)
{
    if (text.isEmpty())
        return;
    QDate date;
    if (value.metaType().id() == QMetaType::QDateTime && value.toDateTime().isValid())
        date = value.toDateTime().date();
    else if (value.metaType().id() == QMetaType::QDate)
        date = value.toDate();
    if (!date.isValid()) {
        QDateTime parsed = locale.toDateTime(text, QLocale::ShortFormat);
        date = parsed.isValid() ? parsed.date() : locale.toDate(text, QLocale::ShortFormat);
    }
    if (date.isValid())
        text = cardDateText(date, locale);
}

} // namespace tessary
