#include "core/datetime.h"

#include <cmath>

namespace {
constexpr qint64 MSecsPerDay = 24 * 60 * 60 * 1000;

// Splits a day count into whole days (toward zero) and milliseconds of the day, rounded to the
// nearest millisecond so that values made from a QTime come back exactly.
void split(double value, qint64 *day, qint64 *msecs)
{
    // Beyond any date Qt can hold (or not a number at all): treat as day 0 rather than overflow.
    if (!std::isfinite(value) || std::fabs(value) > 1e9)
        value = 0.0;
    double whole = std::trunc(value);
    qint64 ms = std::llround(std::fabs(value - whole) * MSecsPerDay);
    qint64 d = static_cast<qint64>(whole);
    if (ms >= MSecsPerDay) {
        ms -= MSecsPerDay;
        d += value < 0 ? -1 : 1;
    }
    *day = d;
    *msecs = ms;
}
} // namespace

const QDate &DateTime::epoch()
{
    static const QDate e(1899, 12, 30);
    return e;
}

DateTime DateTime::fromDate(const QDate &date)
{
    return fromDateTime(date, QTime(0, 0));
}

DateTime DateTime::fromDateTime(const QDate &date, const QTime &time)
{
    if (!date.isValid())
        return DateTime();
    const qint64 day = epoch().daysTo(date);
    const double frac = time.isValid() ? double(time.msecsSinceStartOfDay()) / MSecsPerDay : 0.0;
    // Before the epoch the fraction still counts forward within the day, away from zero.
    return DateTime(day < 0 ? double(day) - frac : double(day) + frac);
}

DateTime DateTime::encode(int year, int month, int day, int hour, int minute, int second, int msec)
{
    const QDate date(year, month, day);
    if (year < 1 || year > 9999 || !date.isValid() || !QTime::isValid(hour, minute, second, msec))
        return DateTime();
    return fromDateTime(date, QTime(hour, minute, second, msec));
}

DateTime DateTime::fromQDateTime(const QDateTime &dt)
{
    return fromDateTime(dt.date(), dt.time());
}

QDate DateTime::date() const
{
    qint64 day, ms;
    split(m_days, &day, &ms);
    return epoch().addDays(day);
}

QTime DateTime::time() const
{
    qint64 day, ms;
    split(m_days, &day, &ms);
    return QTime::fromMSecsSinceStartOfDay(int(ms));
}

QDateTime DateTime::toQDateTime() const
{
    return QDateTime(date(), time());
}

qint64 DateTime::toMSecs() const
{
    qint64 day, ms;
    split(m_days, &day, &ms);
    return day * MSecsPerDay + ms;
}

qint64 DateTime::toEpochMSecs() const
{
    const QDate d = date();
    const QTime t = time();
    const qint64 asUtc = QDateTime(d, t, Qt::UTC).toMSecsSinceEpoch();
    // The local offsets a day either side cover both readings of a repeated hour; the earlier
    // candidate that really shows this wall clock is the first occurrence.
    qint64 best = 0;
    bool found = false;
    for (const qint64 side : {-MSecsPerDay, MSecsPerDay}) {
        const int offset = QDateTime::fromMSecsSinceEpoch(asUtc + side).offsetFromUtc();
        const qint64 candidate = asUtc - offset * qint64(1000);
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(candidate);
        if (local.date() == d && local.time() == t && (!found || candidate < best)) {
            best = candidate;
            found = true;
        }
    }
    // A reading skipped by the clock (the spring gap): whatever Qt makes of it.
    return found ? best : QDateTime(d, t).toMSecsSinceEpoch();
}

DateTime DateTime::dateOnly() const
{
    return fromDate(date());
}
