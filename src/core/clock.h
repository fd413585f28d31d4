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
