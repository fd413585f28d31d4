#pragma once

#include <QDateTime>

// A moment as a day count: the integer part counts days since 30 December 1899 (day 0), the
// fraction is the time of day. Local wall-clock time, no time zone. 0 means "no timer".
class DateTime
{
public:
    constexpr DateTime() = default;
    constexpr explicit DateTime(double days) : m_days(days) {}

    static DateTime fromDate(const QDate &date);
    static DateTime fromDateTime(const QDate &date, const QTime &time);
    static DateTime fromQDateTime(const QDateTime &dt);
    // A date-time from its seven parts; 0 when a part is out of its range (years 1 to 9999).
    static DateTime encode(int year, int month, int day, int hour, int minute, int second, int msec);

    constexpr double days() const { return m_days; }
    constexpr bool isNull() const { return m_days == 0.0; }

    // Negative values follow the day-count convention: the date is the integer part rounded
    // toward zero and the time of day is the absolute value of the fraction.
    QDate date() const;
    QTime time() const;
    QDateTime toQDateTime() const;
    // Milliseconds since the epoch, on the wall clock; exact for every value made from a QTime.
    qint64 toMSecs() const;
    // The real instant this local wall-clock reading names, in milliseconds since 1970 UTC, so that
    // distances hold across a change of summer time. In a repeated hour, its first occurrence.
    qint64 toEpochMSecs() const;

    DateTime dateOnly() const;
    DateTime addDays(int days) const { return fromDateTime(date().addDays(days), time()); }
    DateTime addMSecs(qint64 msecs) const { return fromQDateTime(toQDateTime().addMSecs(msecs)); }

    friend constexpr bool operator==(DateTime a, DateTime b) { return a.m_days == b.m_days; }
    friend constexpr bool operator!=(DateTime a, DateTime b) { return a.m_days != b.m_days; }
    friend constexpr bool operator<(DateTime a, DateTime b) { return a.m_days < b.m_days; }
    friend constexpr bool operator<=(DateTime a, DateTime b) { return a.m_days <= b.m_days; }
    friend constexpr bool operator>(DateTime a, DateTime b) { return a.m_days > b.m_days; }
    friend constexpr bool operator>=(DateTime a, DateTime b) { return a.m_days >= b.m_days; }

    static const QDate &epoch();

private:
    double m_days = 0.0;
};

Q_DECLARE_METATYPE(DateTime)
