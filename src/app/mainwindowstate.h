#pragma once

#include "core/datetime.h"

#include <QString>

// What the main window keeps for the whole run; the names are the ones the handlers use.
struct MainWindowState
{
    QString DataFolder;
    QString SettingsFile; // empty when DataFolder could not be created: no load, no save
    DateTime TimerTime;   // 0: no timer armed
    DateTime WakeUpTime;
    QString ResetRemark;
    QString UserName;
    QString Passw;
    int LastActionId = 0;
    bool LogoffDone = false; // closing may go ahead
    bool Closing = false;    // from the first close request on; never reset
    int HoverTabIndex = 0;
};
