#pragma once

#include <QString>
#include <QStringList>

// The settings file's one section and its keys, in the order a new file holds them.
namespace SettingsKeys {

inline const QString Section = QStringLiteral("Settings");
inline const QString TimerCmd = QStringLiteral("TimerCmd");
inline const QString UserName = QStringLiteral("UserName");
inline const QString Passw = QStringLiteral("Passw");
inline const QString LastActionId = QStringLiteral("LastActionId");
inline const QString CloseOnExec = QStringLiteral("CloseOnExec");
inline const QString WakeUpDate = QStringLiteral("WakeUpDate");

inline const QStringList All = {TimerCmd, UserName, Passw, LastActionId, CloseOnExec, WakeUpDate};

// Beside them, written once they have something to keep: the repeated alarm.
inline const QString RepeatDays = QStringLiteral("RepeatDays");
inline const QString QuietSleepAt = QStringLiteral("QuietSleepAt");
inline const QString SleepUntilAlarm = QStringLiteral("SleepUntilAlarm");
// And the radio's volume in percent, once it is not full.
inline const QString Volume = QStringLiteral("Volume");

} // namespace SettingsKeys
