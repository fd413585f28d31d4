#pragma once

#include <QString>

// The XDG autostart entry that starts the program with the user's session. The entry's presence is
// the whole state, so it stays true when the user removes the entry with the desktop's own tools.
namespace Autostart {

// The desktop id of the installed desktop file, which the entry shares.
inline const QString DesktopId = QStringLiteral("ondavo");

// Passed only by the entry: the program then starts in the tray.
inline const QString Argument = QStringLiteral("--autostart");

// $XDG_CONFIG_HOME/autostart/ondavo.desktop, else ~/.config/autostart/ondavo.desktop.
QString entryPath();

// Whether the entry is there.
bool isOn();

// Writes the entry that starts executable with Argument, or removes it; false, with the reason in
// *error, when that failed.
bool set(bool on, const QString &executable, QString *error);

} // namespace Autostart
