#pragma once

#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

// systemd-logind on the system bus: power requests, the idle lock and the wake-up signal. The idle
// lock is also taken through the desktop portal where one runs, since some desktops only listen
// there. Without these services every call quietly does nothing.
class Logind : public QObject
{
    Q_OBJECT
public:
    explicit Logind(QObject *parent = nullptr);
    ~Logind() override;

    void powerOff();
    void suspend();

    // Asynchronous: the lock is held from the reply on. A newer call replaces the old lock once the
    // new one is granted.
    void inhibitIdle(const QString &why);
    void releaseIdle();

signals:
    void resumed();

private slots:
    void onPrepareForSleep(bool start);

private:
    void inhibitThroughPortal(const QString &why, quint64 request);

    // Bumped by every inhibitIdle() and releaseIdle(), so that a reply to an older request is dropped.
    quint64 m_idleRequest = 0;
    // Closing the descriptor ends logind's lock; closing the request ends the portal's.
    QDBusUnixFileDescriptor m_idleLock;
    QDBusObjectPath m_portalLock;
};
