#pragma once

#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QDateTime;
class QUrl;
class QWindow;

// Failures of the system (a refused power-off, a command that cannot start) go to the journal here.
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)

// The operating system behind one interface; exactly one implementation is compiled in.
class Platform : public QObject
{
    Q_OBJECT
public:
    ~Platform() override;

    // The requests whose outcome the system reports later.
    enum class Request
    {
        PowerOff,
        Suspend,
        IdleLock,
        WakeTimer
    };
    Q_ENUM(Request)

    // The per-user folder the program's own data folder goes into (XDG config folder on Linux).
    virtual QString appDataFolder() const = 0;

    // A file shipped beside the running executable, relativePath below its folder, as a file: URL
    // made from the path's bytes; empty when no regular file is there. Never the working directory.
    virtual QUrl fileBesideExecutable(const QString &relativePath) const = 0;

    // Makes a shown window the active one, in front of the other windows.
    virtual void bringWindowToFront(QWindow *window) = 0;

    // Opens a web address in the user's default browser, or a local file or folder (file: URL)
    // with the desktop's default handler; false when nothing could open it.
    virtual bool openUrl(const QUrl &url) = 0;

    // Starts a program with its arguments, detached and without a shell; false, with the system's
    // reason in *error, when it could not be started.
    virtual bool startDetached(const QString &program, const QStringList &arguments, QString *error) = 0;

    // A plain, unforced request to shut the computer down / to put it to sleep. The system may ask
    // the user first. Returns at once; a refusal or failure comes later as requestFailed().
    virtual void requestPowerOff() = 0;
    virtual void requestSuspend() = 0;

    // Puts the computer to sleep until wakeAt (a local wall-clock moment; the caller passes it two
    // minutes before the alarm so the network is back in time). A systemd timer with WakeSystem=true
    // is started first, and only once systemd has accepted it is logind asked to Suspend
    // (interactive, as requestSuspend). Asynchronous. No timer, no sleep: a timer that cannot be
    // had comes as requestFailed(Request::WakeTimer, reason) and the computer stays awake. A newer
    // call, or cancelWakeTimer(), replaces the request: no failure of the old one is said then.
    virtual void suspendUntil(const QDateTime &wakeAt);
    // Stops the pending wake timer, if any (the alarm was reset, snoozed, re-armed, or the program
    // closes). Nothing happens when there is none.
    virtual void cancelWakeTimer();

    // Keeps the system from idling into sleep until releaseIdle(); why is shown to the user by
    // the desktop. A second call replaces the first. A lock nobody grants is a requestFailed().
    virtual void inhibitIdle(const QString &why) = 0;
    virtual void releaseIdle() = 0;

    // Whether sound can be heard at all: a sound server answers, or there is a card to play on.
    virtual bool canPlaySound() const;

    // From now on the signals the system and the session end with come as terminationRequested().
    virtual void watchTermination();
    // From now on a network that comes back comes as networkReturned(), where the system tells.
    virtual void watchNetwork();

    // The FileVersion of the running executable's version record, or empty.
    virtual QString fileVersionText() const;

    // Whether the program starts with the user's session (then in the tray).
    virtual bool startsAtLogin() const;
    // Makes it start with the session, or not; false, with the reason in *error, when that failed.
    virtual bool setStartsAtLogin(bool on, QString *error);

signals:
    // The system refused or could not carry out a request; reason is its own words. Said once per
    // request, asynchronously, and never for a request that releaseIdle() or a newer one replaced.
    void requestFailed(Platform::Request request, const QString &reason);
    // The system has woken from sleep.
    void systemResumed();
    // The computer is online again after being without a network.
    void networkReturned();
    // The system or the session is ending (SIGTERM, SIGHUP), once watchTermination() was called.
    void terminationRequested();
    // The wall clock was set (by hand or by time synchronisation), so timers measured on it are off.
    void wallClockChanged();
};

std::unique_ptr<Platform> createSystemPlatform();

// The file relativePath in folder (the folder's bytes, with its trailing separator) as a file: URL
// that keeps those bytes, or empty when folder is not absolute or no regular file is there.
QUrl fileUrlIn(const QByteArray &folder, const QString &relativePath);

// Names the web engine's sound streams after the application in the desktop's volume mixer, with
// iconName for their icon, unless the user's environment names them already. Call it before the web
// engine starts: its processes take the name from the environment. Programs the platform starts do
// not inherit it.
void nameSoundStreams(const QString &iconName);
