#include "timer/repeat.h"

#include <QStringList>

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

QString Repeat::daysText(Days days)
{
    QStringList numbers;
    for (int d = 0; d < 7; ++d)
        if (days & (1 << d))
            numbers << QString::number(d + 1);
    return numbers.join(QLatin1Char(','));
}

Repeat::Days Repeat::parseDays(const QString &text)
{
    Days days = 0;
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return 0;
    for (const QString &part : trimmed.split(QLatin1Char(','))) {
        bool ok = false;
        const int d = part.trimmed().toInt(&ok);
        if (!ok || d < 1 || d > 7)
            return 0; // a hand-edited value the program cannot read is no repeat at all
        days |= Days(1 << (d - 1));
    }
    return days;
}

QString Repeat::alarmText(const DateTime &wakeUp)
{
    static const char *const names[] = {"пн", "вт", "ср", "чт", "пт", "сб", "вс"};
    return QString::fromUtf8(names[wakeUp.date().dayOfWeek() - 1]) + QLatin1Char(' ') +
           wakeUp.time().toString(QStringLiteral("HH:mm"));
}
