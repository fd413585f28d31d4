#include "timer/countdown.h"

#include <QCoreApplication>

namespace Countdown {

QString formatSeconds(qint64 seconds)
{
    const qint64 s = qMax<qint64>(seconds, 0);
    const qint64 m = s / 60;
    const qint64 h = m / 60;
    const qint64 d = h / 24;
    QString text;
    // In Russian only the day count itself picks the word: 21 and 22 both take "дней". Other
    // languages give each of the three words their own plural forms.
    const int days = static_cast<int>(d);
    if (d == 1)
        //: The day part of a countdown for 1 day; keep the blank at the end.
        text = QCoreApplication::translate("Countdown", "%n день ", nullptr, days);
    else if (d >= 2 && d <= 4)
        //: The day part of a countdown for 2 to 4 days; keep the blank at the end.
        text = QCoreApplication::translate("Countdown", "%n дня ", nullptr, days);
    else if (d >= 5)
        //: The day part of a countdown for 5 days or more; keep the blank at the end.
        text = QCoreApplication::translate("Countdown", "%n дней ", nullptr, days);
    const auto two = [](qint64 v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return text + two(h % 24) + QLatin1Char(':') + two(m % 60) + QLatin1Char(':') + two(s % 60);
}

std::optional<QString> resetRemark(qint64 seconds)
{
    if (seconds == 1)
        return QCoreApplication::translate("Countdown",
                                           "Остановлен за 1 сек до конца. На этот раз мир уцелел!");
    if (seconds >= 0 && seconds < 6)
        return QCoreApplication::translate(
            "Countdown", "Остановлен за %n сек до конца. Всё балуетесь, Штирлиц.", nullptr, int(seconds));
    if (seconds >= 0 && seconds < 30)
        return QCoreApplication::translate("Countdown", "Вы молодец. Успели отключить таймер.");
    return std::nullopt;
}

QString armedRemark()
{
    return QCoreApplication::translate("Countdown", "Таймер успешно отключен.");
}

} // namespace Countdown
