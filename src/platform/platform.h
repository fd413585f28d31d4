#pragma once

#include <QString>
#include <memory>

class QWidget;
class QUrl;

// The operating system behind one interface; exactly one implementation is compiled in.
class Platform
{
public:
    virtual ~Platform();

    // The per-user folder the program's own data folder goes into (XDG config folder on Linux).
    virtual QString appDataFolder() const = 0;

    // The folder of the running executable, with its trailing separator.
    virtual QString executableFolder() const = 0;

    // Shows a minimised or hidden window normally and makes it the active window.
    virtual void bringWindowToFront(QWidget *window) = 0;

    // Opens a web address in the user's default browser; false when nothing could open it.
    virtual bool openUrl(const QUrl &url) = 0;

    // Whether the desktop has a tray (notification area) the icon can live in right now.
    virtual bool isSystemTrayAvailable() const;

    // The FileVersion of the running executable's version record, or empty.
    virtual QString fileVersionText() const;
};

std::unique_ptr<Platform> createSystemPlatform();
