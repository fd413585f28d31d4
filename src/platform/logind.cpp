#include "platform/logind.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QVariantMap>

namespace {

const QString kLogindService = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kLogindManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");

QDBusMessage logindCall(const QString &method, const QVariantList &arguments)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(kLogindService, kLogindPath, kLogindManager, method);
    message.setArguments(arguments);
    // Lets polkit ask the user instead of refusing outright.
    message.setInteractiveAuthorizationAllowed(true);
    return message;
}

void closePortalRequest(const QDBusObjectPath &handle)
{
    if (handle.path().isEmpty())
        return;
    QDBusConnection::sessionBus().send(QDBusMessage::createMethodCall(
        kPortalService, handle.path(), QStringLiteral("org.freedesktop.portal.Request"),
        QStringLiteral("Close")));
}

// The watcher is not owned by the caller: a lock granted after the caller is gone must still be
// given back.
template <typename Reply, typename Handler> void onReply(const QDBusPendingCall &call, Handler handler)
{
    auto *watcher = new QDBusPendingCallWatcher(call);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [handler](QDBusPendingCallWatcher *w) {
                         w->deleteLater();
                         handler(Reply(*w));
                     });
}

} // namespace

Logind::Logind(QObject *parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected())
        bus.connect(kLogindService, kLogindPath, kLogindManager, QStringLiteral("PrepareForSleep"), this,
                    SLOT(onPrepareForSleep(bool)));
}

Logind::~Logind()
{
    releaseIdle();
}

// Refusals and errors are dropped with the replies: polkit has already told the user, if anyone.
void Logind::powerOff()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected())
        bus.asyncCall(logindCall(QStringLiteral("PowerOff"), {true}));
}

void Logind::suspend()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected())
        bus.asyncCall(logindCall(QStringLiteral("Suspend"), {true}));
}

void Logind::inhibitIdle(const QString &why)
{
    const quint64 request = ++m_idleRequest;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected()) {
        const QDBusMessage call =
            logindCall(QStringLiteral("Inhibit"),
                       {QStringLiteral("idle"), QStringLiteral("Ondavo"), why, QStringLiteral("block")});
        using Reply = QDBusPendingReply<QDBusUnixFileDescriptor>;
        onReply<Reply>(bus.asyncCall(call), [self = QPointer<Logind>(this), request](const Reply &reply) {
            // A stale lock is not kept: its descriptor closes with the reply.
            if (self && request == self->m_idleRequest && reply.isValid())
                self->m_idleLock = reply.value();
        });
    }
    inhibitThroughPortal(why, request);
}

void Logind::inhibitThroughPortal(const QString &why, quint64 request)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(kPortalService))
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        kPortalService, QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
    const uint idleFlag = 8;
    call << QString() << idleFlag << QVariantMap{{QStringLiteral("reason"), why}};
    using Reply = QDBusPendingReply<QDBusObjectPath>;
    onReply<Reply>(bus.asyncCall(call), [self = QPointer<Logind>(this), request](const Reply &reply) {
        if (!reply.isValid())
            return;
        if (!self || request != self->m_idleRequest) {
            closePortalRequest(reply.value());
            return;
        }
        closePortalRequest(self->m_portalLock);
        self->m_portalLock = reply.value();
    });
}

void Logind::releaseIdle()
{
    ++m_idleRequest;
    m_idleLock = QDBusUnixFileDescriptor();
    closePortalRequest(m_portalLock);
    m_portalLock = QDBusObjectPath();
}

void Logind::onPrepareForSleep(bool start)
{
    if (!start)
        emit resumed();
}
