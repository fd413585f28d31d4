#pragma once

#include <QString>

// The XDG autostart entry that starts the program with the user's session. The state is what the
// session would do with the entry, so it stays true when the user changes the entry with the
// desktop's own tools.
namespace Autostart {

// The desktop id of the installed desktop file, which the entry shares.
inline const QString DesktopId = QStringLiteral("ondavo");

// Passed only by the entry: the program then starts in the tray.
inline const QString Argument = QStringLiteral("--autostart");

// $XDG_CONFIG_HOME/autostart/ondavo.desktop, else ~/.config/autostart/ondavo.desktop.
QString entryPath();

// Whether the session starts the entry: the user's own one, else the first in $XDG_CONFIG_DIRS
// (default /etc/xdg). One that is hidden, disabled, not for $XDG_CURRENT_DESKTOP or unreadable is off.
bool isOn();

// Writes the entry that starts executable with Argument, or removes it, writing a hiding one where a
// system-wide entry would still start. A link at entryPath() is replaced, never what it points to.
// False, with the reason in *error, when that failed.
bool set(bool on, const QString &executable, QString *error);

} // namespace Autostart
