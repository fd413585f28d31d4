#pragma once

#include <QString>

// What the main window keeps for the whole run; the names are the ones the handlers use. The
// identity is the radio session's, the timer's state the timer model's, the closing sequence's
// ClosingState's.
struct MainWindowState
{
    QString DataFolder;
    QString SettingsFile; // empty when DataFolder could not be created: no load, no save
    int LastActionId = 0; // the action to preselect, as read; the timer model keeps the one chosen
    int HoverTabIndex = 0;
};
