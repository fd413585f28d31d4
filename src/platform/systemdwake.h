#pragma once

#include "platform/platform.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

class QDBusError;

// A transient systemd timer with WakeSystem=true, so that the computer wakes from sleep by itself.
// The user's own manager takes it where it may wake the system (systemd 254 and later), else the
// system's manager, for which polkit may ask the user. The timer triggers a service that does
// nothing: waking up is all it is for. At most one timer is pending.
class SystemdWake : public QObject
{
    Q_OBJECT
public:
    explicit SystemdWake(QObject *parent = nullptr);
    // Stops the pending timer: with the program gone, nothing would ring after the wake-up.
    ~SystemdWake() override;

    // Replaces the pending timer with one due at wakeAt. Asynchronous: accepted() once a manager took
    // it, failed() when none did or wakeAt is too close to be slept until.
    void start(const QDateTime &wakeAt);
    // Stops the pending timer, also one still being asked for; nothing happens when there is none.
    void cancel();

signals:
    void accepted();
    // Once per start(), never for one that cancel() or a newer start() replaced.
    void failed(Platform::Request request, const QString &reason);

private:
    struct Attempt;

    void startOn(bool user, const std::shared_ptr<Attempt> &attempt);
    void answered(bool user, const std::shared_ptr<Attempt> &attempt, const QDBusError &error);
    // Static: a timer accepted after this object is gone is still stopped.
    static void stop(const QPointer<SystemdWake> &self, bool user, const QString &unit);
    void failLater(const std::shared_ptr<Attempt> &attempt, const QString &reason);
    void fail(const Attempt &attempt, const QString &reason);

    // Bumped by every start() and cancel(), so that an answer to an older request is dropped.
    quint64 m_request = 0;
    // The timer a manager accepted, and whether it was the user's; empty when none is pending.
    QString m_unit;
    bool m_userManager = true;
    // Stop requests sent and not answered yet, to the user's and to the system's manager: closing
    // waits until they have left.
    int m_stopsInFlight[2] = {0, 0};
};
