#pragma once

#include <QDBusPendingCallWatcher>
#include <QObject>

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
