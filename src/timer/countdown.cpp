#include "timer/countdown.h"

namespace Countdown {

QString formatSeconds(qint64 seconds)
{
    const qint64 s = qMax<qint64>(seconds, 0);
    const qint64 m = s / 60;
    const qint64 h = m / 60;
    const qint64 d = h / 24;
    QString text;
    // Only the day count itself picks the word: 21 and 22 both take "дней".
    if (d == 1)
        text = QStringLiteral("1 день ");
    else if (d >= 2 && d <= 4)
        text = QString::number(d) + QStringLiteral(" дня ");
    else if (d >= 5)
        text = QString::number(d) + QStringLiteral(" дней ");
    const auto two = [](qint64 v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return text + two(h % 24) + QLatin1Char(':') + two(m % 60) + QLatin1Char(':') + two(s % 60);
}

std::optional<QString> resetRemark(qint64 seconds)
{
    if (seconds == 1)
        return QStringLiteral("Остановлен за 1 сек до конца. На этот раз мир уцелел!");
    if (seconds >= 0 && seconds < 6)
        return QStringLiteral("Остановлен за %1 сек до конца. Всё балуетесь, Штирлиц.").arg(seconds);
    if (seconds >= 0 && seconds < 30)
        return QStringLiteral("Вы молодец. Успели отключить таймер.");
    return std::nullopt;
}

QString armedRemark()
{
    return QStringLiteral("Таймер успешно отключен.");
}

} // namespace Countdown
