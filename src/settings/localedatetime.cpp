#include "settings/localedatetime.h"

namespace LocaleDateTime {

namespace {

// Length of the run of `c` starting at `from`.
qsizetype runLength(const QString &format, qsizetype from, QChar c)
{
    qsizetype end = from;
    while (end < format.size() && format.at(end) == c)
        ++end;
    return end - from;
}

// Index just past the quoted literal that starts at `from` ('' inside it is a quote).
qsizetype skipQuoted(const QString &format, qsizetype from)
{
    qsizetype i = from + 1;
    while (i < format.size()) {
        if (format.at(i) == u'\'') {
            if (i + 1 < format.size() && format.at(i + 1) == u'\'') {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return i;
}

bool isOpening(QChar c)
{
    return c == u' ' || c == u'(' || c == u'[';
}

bool isClosing(QChar c)
{
    return c == u')' || c == u']';
}

// Index of the lone two-digit year token, or -1.
qsizetype twoDigitYear(const QString &format)
{
    qsizetype i = 0;
    while (i < format.size()) {
        if (format.at(i) == u'\'') {
            i = skipQuoted(format, i);
            continue;
        }
        const qsizetype run = runLength(format, i, format.at(i));
        if (format.at(i) == u'y' && run == 2)
            return i;
        i += run;
    }
    return -1;
}

QDate parseDate(const QString &text, const QLocale &locale, const QString &format, int pivotYear,
                bool windowed)
{
    // Qt reads "yy" as 19yy; only its last two digits count. (So a 29 February of a year 00 is
    // lost: 1900 had none.)
    QDate date = locale.toDate(text, format);
    if (!date.isValid() || !windowed)
        return date;
    const int first = pivotYear - 50;
    const int year = first + ((date.year() % 100 - first % 100) % 100 + 100) % 100;
    return QDate(year, date.month(), date.day());
}

} // namespace

QString withoutTimeZone(const QString &pattern)
{
    QString format = pattern;
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            i = skipQuoted(format, i);
            continue;
        }
        if (c != u't') {
            ++i;
            continue;
        }
        // Drop the zone with the brackets around it and the blanks before it (or, at the very
        // start, after it), so "h:mm:ss AP (t)" becomes "h:mm:ss AP".
        qsizetype left = i;
        qsizetype right = i + runLength(format, i, c);
        while (left > 0 && isOpening(format.at(left - 1)))
            --left;
        while (right < format.size() && isClosing(format.at(right)))
            ++right;
        if (left == 0) {
            while (right < format.size() && format.at(right) == u' ')
                ++right;
        }
        format.remove(left, right - left);
        i = left;
    }
    return format.trimmed();
}

QString widenTwoDigitYear(const QString &format)
{
    QString widened = format;
    const qsizetype year = twoDigitYear(format);
    if (year >= 0)
        widened.replace(year, 2, QStringLiteral("yyyy"));
    return widened;
}

QString format(const DateTime &value, const QLocale &locale)
{
    const QDate date = value.date();
    const QTime time = value.time();
    if (!date.isValid())
        return QString();
    QString text = locale.toString(date, widenTwoDigitYear(locale.dateFormat(QLocale::ShortFormat)));
    if (time.hour() != 0 || time.minute() != 0 || time.second() != 0)
        text += u' ' + locale.toString(time, withoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
    return text;
}

std::optional<DateTime> parse(const QString &text, const QLocale &locale, int pivotYear)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;

    const QString original = locale.dateFormat(QLocale::ShortFormat);
    const QString widened = widenTwoDigitYear(original);
    const QStringList timeFormats = {withoutTimeZone(locale.timeFormat(QLocale::LongFormat)),
                                     withoutTimeZone(locale.timeFormat(QLocale::ShortFormat))};

    // The date may hold blanks itself (the C locale's "d MMM yyyy"); the blank after them
    // separates the time.
    const qsizetype dateBlanks = widened.count(u' ');
    qsizetype split = -1;
    for (qsizetype n = 0; n <= dateBlanks; ++n) {
        split = trimmed.indexOf(u' ', split + 1);
        if (split < 0)
            break;
    }
    const QString datePart = split < 0 ? trimmed : trimmed.left(split);
    QDate date = parseDate(datePart, locale, widened, pivotYear, false);
    if (!date.isValid() && original != widened)
        date = parseDate(datePart, locale, original, pivotYear, true);
    if (!date.isValid())
        return std::nullopt;
    if (split < 0)
        return DateTime::fromDate(date);
    const QString timePart = trimmed.mid(split + 1);
    for (const QString &format : timeFormats) {
        const QTime time = locale.toTime(timePart, format);
        if (time.isValid())
            return DateTime::fromDateTime(date, time);
    }
    return std::nullopt;
}

} // namespace LocaleDateTime
