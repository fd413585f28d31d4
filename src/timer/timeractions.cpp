#include "timer/timeractions.h"

#include <QCoreApplication>

namespace TimerActions {

QStringList listTexts()
{
    return {QCoreApplication::translate("TimerActions", "Выключение программы"),
            QCoreApplication::translate("TimerActions", "Отключение компьютера"),
            QCoreApplication::translate("TimerActions", "Переход системы в \"Спящий\" режим"),
            QCoreApplication::translate("TimerActions", "Выполнить команду системы"),
            QCoreApplication::translate("TimerActions", "Тихий режим сна + Будильник")};
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
    const int n = static_cast<int>(seconds);
    //: The balloon's lead, followed by what will happen; keep the blank at the end.
    const QString lead = QCoreApplication::translate("TimerActions", "Через %n секунд ", nullptr, n);
    const QString clickLine =
        QStringLiteral("\r\n") +
        QCoreApplication::translate("TimerActions", "Для перехода к таймеру щелкните по этому сообщению.");
    Balloon b;
    b.title = QCoreApplication::translate("TimerActions", "Таймер Ondavo включен!");
    switch (index) {
    case CloseProgram:
        b.warning = false;
        b.text = lead + QCoreApplication::translate("TimerActions", "программа Ondavo будет выключена.") +
                 clickLine;
        break;
    case PowerOff:
        b.text = lead + QCoreApplication::translate("TimerActions", "компьютер будет выключен!") + clickLine;
        break;
    case Suspend:
        b.text =
            lead +
            QCoreApplication::translate("TimerActions", "компьютер будет переведен в \"Спящий\" режим!") +
            clickLine;
        break;
    case RunCommand:
        b.text = lead +
                 QCoreApplication::translate("TimerActions", "будет запущена команда \"%1\"").arg(command) +
                 clickLine;
        break;
    default:
        //: Keep the blank at the end.
        b.text =
            QCoreApplication::translate("TimerActions", "Таймер сработает через %n секунд. ", nullptr, n);
        break;
    }
    return b;
}

QString keepAwakeReason(int index, const QString &momentText)
{
    const QStringList texts = listTexts();
    if (index < 0 || index >= texts.size())
        return QCoreApplication::translate("TimerActions", "Таймер Ondavo сработает в %1").arg(momentText);
    return QCoreApplication::translate("TimerActions", "Таймер Ondavo: «%1» в %2")
        .arg(texts.at(index), momentText);
}

QString keepAwakeForAlarmReason(const QString &wakeUpText)
{
    return QCoreApplication::translate("TimerActions", "Будильник Ondavo включит радио в %1").arg(wakeUpText);
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
