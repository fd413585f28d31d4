#pragma once

#include "core/datetime.h"

#include <QDateTime>
#include <QString>

#include <optional>

class QRandomGenerator;

// What the timer page shows and arms, and what of it the file keeps.
struct TimerSettings
{
    int action = 0;                 // index in the action list, -1 for none (LastActionId)
    QString command;                // TimerCmd
    bool closeAfterCommand = false; // CloseOnExec
    DateTime moment;                // never kept: an armed timer ends with the program
    DateTime wakeUp;                // WakeUpDate: the wake-up last set with the set button
    quint8 repeatDays = 0;          // RepeatDays: the wake-up's days, bit 0 Monday; none, no repeat
    DateTime quietSleepAt;          // QuietSleepAt: the quiet-sleep moment a repeat keeps
    bool sleepUntilAlarm = false;   // SleepUntilAlarm: the computer sleeps until the alarm

    // The wake-up the page offers at start: tomorrow, at the kept time of day.
    QDateTime offeredWakeUp(const QDate &today) const { return QDateTime(today.addDays(1), wakeUp.time()); }
};

// The settings file as it is read at start and written at the close.
struct Settings
{
    QString userName;
    QString passw;
    TimerSettings timer;
    double volume = 1.0; // the radio's, 0 to 1

    // Nothing when no file could be read at path: then no identity is made up either, since it
    // could never be kept. A missing user name or password is made up from random.
    static std::optional<Settings> load(const QString &path, const QDateTime &now, QRandomGenerator &random);
    // Replaces the file, keeping everything else it holds; false when that failed.
    bool save(const QString &path) const;
};
