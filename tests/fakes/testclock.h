#pragma once

#include "core/clock.h"

// A clock that stands still until told to move.
class TestClock final : public Clock
{
public:
    explicit TestClock(const QDateTime &start = QDateTime(QDate(2026, 1, 1), QTime(12, 0))) : m_now(start) {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &t) { m_now = t; }
    void advanceMSecs(qint64 ms) { m_now = m_now.addMSecs(ms); }

private:
    QDateTime m_now;
};
