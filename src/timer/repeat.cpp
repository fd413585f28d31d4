#include "timer/repeat.h"

#include <QCoreApplication>

namespace {
bool ticked(Repeat::Days days, const QDate &date)
{
    return days & (1 << (date.dayOfWeek() - 1));
}
} // namespace

std::optional<Repeat::Night> Repeat::next(Days days, const Night &last, qint64 nowMSecs)
{
    if (!(days & AllDays) || last.wakeUp.isNull())
        return std::nullopt;
    const double span = last.wakeUp.days() - last.sleepAt.days();
    // Compared as real instants: across a change of summer time a wall clock can read the same twice.
    const qint64 after = qMax(nowMSecs, last.wakeUp.toEpochMSecs());
    const QTime time = last.wakeUp.time();
    // From the day before the later of the two: a week and a day hold a ticked day after it.
    QDate day = QDateTime::fromMSecsSinceEpoch(after).date().addDays(-1);
    for (int i = 0; i < 9; ++i, day = day.addDays(1)) {
        const DateTime wake = DateTime::fromDateTime(day, time);
        if (ticked(days, day) && wake.toEpochMSecs() > after)
            return Night{DateTime(wake.days() - span), wake};
    }
    return std::nullopt;
}

QString Repeat::alarmText(const DateTime &wakeUp)
{
    static const char *const names[] = {QT_TRANSLATE_NOOP("Repeat", "пн"), QT_TRANSLATE_NOOP("Repeat", "вт"),
                                        QT_TRANSLATE_NOOP("Repeat", "ср"), QT_TRANSLATE_NOOP("Repeat", "чт"),
                                        QT_TRANSLATE_NOOP("Repeat", "пт"), QT_TRANSLATE_NOOP("Repeat", "сб"),
                                        QT_TRANSLATE_NOOP("Repeat", "вс")};
    return QCoreApplication::translate("Repeat", names[wakeUp.date().dayOfWeek() - 1]) + QLatin1Char(' ') +
           wakeUp.time().toString(QStringLiteral("HH:mm"));
}
