#pragma once

#include "core/datetime.h"

#include <QString>
#include <optional>

// The countdown's arithmetic and texts, apart from any widget.
namespace Countdown {

// Whole seconds in msLeft, the milliseconds from now to the moment, whichever comes first, cut
// toward zero. Counted on whole milliseconds between real instants: a day fraction times 86400 can
// land a hair under an exact second, and a wall-clock distance is an hour off across summer time.
inline qint64 secondsLeft(qint64 msLeft)
{
    return (msLeft < 0 ? -msLeft : msLeft) / 1000;
}
inline qint64 secondsLeft(const DateTime &a, const DateTime &b)
{
    return secondsLeft(b.toEpochMSecs() - a.toEpochMSecs());
}

// Seconds still to go; at or after the moment, 0. A late tick is a tick at the moment, not one
// that many seconds before it.
inline qint64 secondsUntil(qint64 msLeft)
{
    return msLeft > 0 ? msLeft / 1000 : 0;
}
inline qint64 secondsUntil(const DateTime &now, const DateTime &moment)
{
    return secondsUntil(moment.toEpochMSecs() - now.toEpochMSecs());
}

// "[D день|дня|дней ]hh:mm:ss" for a number of seconds (negative counts as 0).
QString formatSeconds(qint64 seconds);

// The countdown text for the distance between two moments.
inline QString format(const DateTime &a, const DateTime &b)
{
    return formatSeconds(secondsLeft(a, b));
}

// What a reset at this many seconds before the moment would say, or nothing when the remark
// made at arming (or by an earlier tick) stays.
std::optional<QString> resetRemark(qint64 seconds);

// The remark every successful arming starts with.
QString armedRemark();

// The seconds before the moment at which the coming action is announced.
constexpr qint64 BalloonSeconds = 45;
// Below this many seconds the timer page shows the countdown in red.
constexpr qint64 LastMinuteSeconds = 60;

} // namespace Countdown
