#pragma once

#include "core/datetime.h"

#include <QString>

#include <optional>

// Quiet sleep on chosen weekdays: which night comes next, and the days' text forms.
namespace Repeat {

// The ticked days of the wake-up: bit 0 is Monday, bit 6 Sunday (Qt's day of the week less one).
using Days = quint8;
constexpr Days AllDays = 0x7f;

struct Night
{
    DateTime sleepAt; // the quiet-sleep moment
    DateTime wakeUp;
};

// The next night to arm: its wake-up falls on the first ticked day at the time of day of the last
// wake-up, later than now (ms since 1970 UTC, a real instant) and later than the last wake-up
// itself, so a clock set back never brings a night twice and the nights slept through never come.
// The quiet-sleep moment is the same wall-clock span before it as before the last wake-up, so both
// keep their times of day. Nothing when no day is ticked.
std::optional<Night> next(Days days, const Night &last, qint64 nowMSecs);

// "вт 07:00": the day and time of a wake-up, for the tray.
QString alarmText(const DateTime &wakeUp);

} // namespace Repeat
