#pragma once

#include <QString>
#include <QStringList>

// The five things the timer can do, in the order of the action list; the index is what the
// settings keep and what the tick switches on.
namespace TimerActions {

enum Index : int
{
    None = -1,
    CloseProgram = 0,
    PowerOff = 1,
    Suspend = 2,
    RunCommand = 3,
    QuietSleep = 4,
};

constexpr int Count = 5;

// The action list's texts, in index order.
QStringList listTexts();

// The page of extra fields an action needs ("Command", "WakeUpTimer"), or empty for none.
QString extraPage(int index);

// The tray balloon that announces the action seconds ahead.
struct Balloon
{
    QString title;
    QString text;
    bool warning = true;
};
Balloon balloon(int index, qint64 seconds, const QString &command);

// Why the program keeps the system awake, as the desktop shows it: the action and its moment.
QString keepAwakeReason(int index, const QString &momentText);
QString keepAwakeForAlarmReason(const QString &wakeUpText);

// Leading and trailing characters with codes up to 32 (blanks and control characters) removed;
// other white space, such as a no-break space, is part of the command.
QString trimControls(const QString &text);

} // namespace TimerActions
