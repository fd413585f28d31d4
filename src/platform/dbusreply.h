#pragma once

#include <QDBusError>
#include <QDBusPendingCallWatcher>
#include <QObject>

// Answers that mean nothing listens there (no service, no bus), not that a service refused.
inline bool isServiceAbsent(const QDBusError &error)
{
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::NoServer:
    case QDBusError::Disconnected:
        return true;
    default:
        return error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
    }
}

// What a failed call means to a person, in the interface's language, picked by the error's name. The
// system's own message may hold paths and is in the system's language: it is for the journal only
// (failureDetail()).
QString failureSentence(const QDBusError &error);
// Said where there is no bus to call at all.
QString noBusSentence();
// The error as the journal gets it: its name and the system's message.
QString failureDetail(const QDBusError &error);

// Calls handler with the reply once it arrives. The watcher is not owned by the caller: a reply that
// comes after the caller is gone (a lock granted, a timer accepted) must still be handled.
template <typename Reply, typename Handler> void onReply(const QDBusPendingCall &call, Handler handler)
{
    auto *watcher = new QDBusPendingCallWatcher(call);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [handler](QDBusPendingCallWatcher *w) {
                         w->deleteLater();
                         handler(Reply(*w));
                     });
}
