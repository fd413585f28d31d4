#include "timer/tickschedule.h"

namespace TickSchedule {

qint64 nextDelayMs(qint64 msLeft)
{
    if (msLeft <= 0)
        return 0;
    if (msLeft <= OffsetMs)
        return msLeft;
    // The latest tick point moment - (k * 1000 + 500) that is still ahead of now.
    const qint64 k = (msLeft - OffsetMs - 1) / IntervalMs;
    return msLeft - OffsetMs - k * IntervalMs;
}

} // namespace TickSchedule
