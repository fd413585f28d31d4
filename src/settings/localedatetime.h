#pragma once

#include "core/datetime.h"

#include <QLocale>
#include <QString>

#include <optional>

// The settings file's date-time text: the locale's short date, then, unless the time of day is
// 00:00:00, one blank and the locale's long time without its time zone. Two-digit years are
// written with four digits so that no moment is ever read back in another century.
namespace LocaleDateTime {

QString format(const DateTime &value, const QLocale &locale);

// A date alone (midnight) or a date, a blank and a time in the long or short time format. Text a
// person typed reads too: fields the pattern pads to two digits may have one, the year may have two
// digits where the pattern has four, a 12-hour time may be given as 24-hour without AM/PM, and runs
// of blanks count as one. A two-digit year is placed in the hundred years from pivotYear - 50 to
// pivotYear + 49.
std::optional<DateTime> parse(const QString &text, const QLocale &locale, int pivotYear);

// Pattern helpers: a lone "yy" becomes "yyyy"; the "t" tokens go with the blanks and brackets
// around them. Quoted literals are left alone.
QString widenTwoDigitYear(const QString &format);
QString withoutTimeZone(const QString &format);

} // namespace LocaleDateTime
