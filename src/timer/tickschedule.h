#pragma once

#include <QtGlobal>

// When the next countdown tick should come, worked out from the wall clock at every tick, so
// that the tick that acts comes at the moment itself and not up to a second after it.
//
// Countdown ticks sit half a second off the whole seconds before the moment (at 45.5 s, 44.5 s,
// … 0.5 s before it): seconds left is cut toward zero, so a tick there sees the same whole number
// however its timer jitters, and exactly one tick sees each number. The last tick comes at the
// moment.
namespace TickSchedule {

constexpr qint64 OffsetMs = 500;
constexpr qint64 IntervalMs = 1000;

// msLeft: milliseconds from now to the moment. The delay of the next tick, in milliseconds;
// 0 when the moment has come.
qint64 nextDelayMs(qint64 msLeft);

} // namespace TickSchedule
