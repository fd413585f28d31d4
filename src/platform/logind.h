#pragma once

#include "platform/platform.h"

#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>
#include <memory>

// systemd-logind on the system bus: power requests, the idle lock and the wake-up signal. The idle
// lock is also taken through the desktop portal where one runs, since some desktops only listen
// there. Every refusal, and every call made without a bus, ends in failed().
class Logind : public QObject
{
    Q_OBJECT
public:
    explicit Logind(QObject *parent = nullptr);
    ~Logind() override;

    void powerOff();
    void suspend();

    // Asynchronous: the lock is held from the reply on. A newer call replaces the old lock once the
    // new one is granted. It fails only when neither logind nor the portal grants it.
    void inhibitIdle(const QString &why);
    void releaseIdle();

signals:
    void resumed();
    // Asynchronous, once per request; never for an idle request that releaseIdle() or a newer call
    // replaced.
    void failed(Platform::Request request, const QString &reason);

private slots:
    void onPrepareForSleep(bool start);

private:
    struct IdleAttempt;

    void callPower(Platform::Request request, const QString &method);
    void inhibitThroughPortal(const QString &why, const std::shared_ptr<IdleAttempt> &attempt);
    void idleAnswered(IdleAttempt &attempt, bool granted);
    void refuseIdleLater(const std::shared_ptr<IdleAttempt> &attempt);
    // reason is for the person; detail, the system's own words, for the journal only.
    void fail(Platform::Request request, const QString &reason, const QString &detail);

    // Bumped by every inhibitIdle() and releaseIdle(), so that a reply to an older request is dropped.
    quint64 m_idleRequest = 0;
    // Closing the descriptor ends logind's lock; closing the request ends the portal's.
    QDBusUnixFileDescriptor m_idleLock;
    QDBusObjectPath m_portalLock;
};
