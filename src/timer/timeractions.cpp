#include "timer/timeractions.h"

namespace TimerActions {

QStringList listTexts()
{
    return {QStringLiteral("Выключение программы"), QStringLiteral("Отключение компьютера"),
            QStringLiteral("Переход системы в \"Спящий\" режим"), QStringLiteral("Выполнить команду системы"),
            QStringLiteral("Тихий режим сна + Будильник")};
}

QString extraPage(int index)
{
    switch (index) {
    case RunCommand:
        return QStringLiteral("Command");
    case QuietSleep:
        return QStringLiteral("WakeUpTimer");
    default:
        return QString();
    }
}

Balloon balloon(int index, qint64 seconds, const QString &command)
{
    const QString n = QString::number(seconds);
    const QString lead = QStringLiteral("Через ") + n + QStringLiteral(" секунд ");
    const QString clickLine = QStringLiteral("\r\nДля перехода к таймеру щелкните по этому сообщению.");
    Balloon b;
    b.title = QStringLiteral("Таймер Ondavo включен!");
    switch (index) {
    case CloseProgram:
        b.warning = false;
        b.text = lead + QStringLiteral("программа Ondavo будет выключена.") + clickLine;
        break;
    case PowerOff:
        b.text = lead + QStringLiteral("компьютер будет выключен!") + clickLine;
        break;
    case Suspend:
        b.text = lead + QStringLiteral("компьютер будет переведен в \"Спящий\" режим!") + clickLine;
        break;
    case RunCommand:
        b.text = lead + QStringLiteral("будет запущена команда \"") + command + QLatin1Char('"') + clickLine;
        break;
    default:
        b.text = QStringLiteral("Таймер сработает через ") + n + QStringLiteral(" секунд. ");
        break;
    }
    return b;
}

QString keepAwakeReason(int index, const QString &momentText)
{
    const QStringList texts = listTexts();
    if (index < 0 || index >= texts.size())
        return QStringLiteral("Таймер Ondavo сработает в %1").arg(momentText);
    return QStringLiteral("Таймер Ondavo: «%1» в %2").arg(texts.at(index), momentText);
}

QString keepAwakeForAlarmReason(const QString &wakeUpText)
{
    return QStringLiteral("Будильник Ondavo включит радио в %1").arg(wakeUpText);
}

QString trimControls(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

} // namespace TimerActions
