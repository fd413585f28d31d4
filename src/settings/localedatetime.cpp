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

// The pattern with every field run outside quoted literals replaced by change(letter, length).
template <typename Change> QString mapFields(const QString &format, Change change)
{
    QString result;
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            const qsizetype end = skipQuoted(format, i);
            result += QStringView(format).mid(i, end - i);
            i = end;
            continue;
        }
        const qsizetype run = runLength(format, i, c);
        result += change(c, run);
        i += run;
    }
    return result;
}

// Non-breaking blanks in a pattern stand for the blank a person types.
QString plainBlanks(QString format)
{
    format.replace(QChar(0x00A0), u' ');
    format.replace(QChar(0x202F), u' ');
    return format;
}

// Days, months, hours, minutes and seconds of one digit where the pattern pads them to two.
QString unpadded(const QString &format)
{
    return mapFields(format, [](QChar c, qsizetype run) {
        if (run == 2 && QStringView(u"dMHhms").contains(c))
            return QString(c);
        return QString(run, c);
    });
}

// A lone "yyyy" becomes "yy", for a two-digit year typed where four are written.
QString narrowFourDigitYear(const QString &format)
{
    return mapFields(format, [](QChar c, qsizetype run) {
        return c == u'y' && run == 4 ? QStringLiteral("yy") : QString(run, c);
    });
}

// A 12-hour pattern as a 24-hour one: the AM/PM marker and the blanks before it go, "h" becomes "H".
QString twentyFourHour(const QString &format)
{
    bool changed = false;
    QString result = mapFields(format, [&changed](QChar c, qsizetype run) {
        if (c == u'a' || c == u'A' || c == u'p' || c == u'P') {
            changed = true;
            return QStringLiteral("\x01");
        }
        return c == u'h' ? QString(run, u'H') : QString(run, c);
    });
    if (!changed)
        return format;
    // The markers' place, with the blanks before it (or after it, when it leads).
    qsizetype at;
    while ((at = result.indexOf(QChar(1))) >= 0) {
        qsizetype left = at;
        qsizetype right = at + 1;
        while (right < result.size() && result.at(right) == QChar(1))
            ++right;
        while (left > 0 && result.at(left - 1) == u' ')
            --left;
        if (left == 0) {
            while (right < result.size() && result.at(right) == u' ')
                ++right;
        }
        result.remove(left, right - left);
    }
    return result.trimmed();
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
    // A person may have typed the text: any run of blanks counts as one.
    const QString trimmed = text.simplified();
    if (trimmed.isEmpty())
        return std::nullopt;

    const QString original = plainBlanks(locale.dateFormat(QLocale::ShortFormat));
    const QString fourDigits = widenTwoDigitYear(original);
    const QString twoDigits = narrowFourDigitYear(fourDigits);

    // The date may hold blanks itself (the C locale's "d MMM yyyy"); the blank after them
    // separates the time.
    const qsizetype dateBlanks = fourDigits.count(u' ');
    qsizetype split = -1;
    for (qsizetype n = 0; n <= dateBlanks; ++n) {
        split = trimmed.indexOf(u' ', split + 1);
        if (split < 0)
            break;
    }
    const QString datePart = split < 0 ? trimmed : trimmed.left(split);

    // The written form first, then what a person may type: one-digit fields, a two-digit year.
    struct DateFormat
    {
        QString format;
        bool windowed;
    };
    const DateFormat dateFormats[] = {
        {fourDigits, false}, {twoDigits, true}, {unpadded(fourDigits), false}, {unpadded(twoDigits), true}};
    QDate date;
    for (const DateFormat &format : dateFormats) {
        // A pattern without a lone four-digit year has nothing to window.
        if (format.windowed && twoDigits == fourDigits)
            continue;
        date = parseDate(datePart, locale, format.format, pivotYear, format.windowed);
        if (date.isValid())
            break;
    }
    if (!date.isValid())
        return std::nullopt;
    if (split < 0)
        return DateTime::fromDate(date);

    const QString timePart = trimmed.mid(split + 1);
    QStringList timeFormats;
    for (const QLocale::FormatType type : {QLocale::LongFormat, QLocale::ShortFormat}) {
        const QString format = plainBlanks(withoutTimeZone(locale.timeFormat(type)));
        timeFormats << format << twentyFourHour(format);
    }
    timeFormats.removeDuplicates();
    const qsizetype written = timeFormats.size();
    for (qsizetype i = 0; i < written; ++i)
        timeFormats << unpadded(timeFormats.at(i));
    timeFormats.removeDuplicates();
    for (const QString &format : std::as_const(timeFormats)) {
        const QTime time = locale.toTime(timePart, format);
        if (time.isValid())
            return DateTime::fromDateTime(date, time);
    }
    return std::nullopt;
}

} // namespace LocaleDateTime
