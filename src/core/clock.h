#pragma once

#include "core/datetime.h"

// The only way the program reads the wall clock, so that tests can set the time.
class Clock
{
public:
    virtual ~Clock();
    virtual QDateTime now() const = 0;
    DateTime today() const { return DateTime::fromDate(now().date()); }
    DateTime nowDays() const { return DateTime::fromQDateTime(now()); }
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override;
};

// A clock that stands still until told to move.
class TestClock final : public Clock
{
public:
    explicit TestClock(const QDateTime &start = QDateTime(QDate(2026, 1, 1), QTime(12, 0)))
        : m_now(start)
    {
    }
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &t) { m_now = t; }
    void advanceMSecs(qint64 ms) { m_now = m_now.addMSecs(ms); }

private:
    QDateTime m_now;
};
