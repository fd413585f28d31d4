#include "platform/logind.h"

#include "platform/dbusreply.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QVariantMap>

#include <limits>

namespace {

const QString kLogindService = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kLogindManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
// polkit may be waiting for the user to type a password; libdbus reads this value as "no timeout".
const int kInteractiveTimeout = std::numeric_limits<int>::max();

// For the journal: why there is no bus, as the system says it.
QString noBusText(const QDBusConnection &bus)
{
    const QString detail = failureDetail(bus.lastError());
    return detail.isEmpty() ? QStringLiteral("No D-Bus connection") : detail;
}

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

} // namespace

// One inhibitIdle(): it fails once both services have answered and neither granted the lock.
struct Logind::IdleAttempt
{
    quint64 request = 0;
    int pending = 2;
    bool granted = false;
    QDBusError logindError;
    QString noBus; // why logind could not be asked, for the journal
    QString portalError;
};

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

void Logind::powerOff()
{
    callPower(Platform::Request::PowerOff, QStringLiteral("PowerOff"));
}

void Logind::suspend()
{
    callPower(Platform::Request::Suspend, QStringLiteral("Suspend"));
}

void Logind::callPower(Platform::Request request, const QString &method)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        QMetaObject::invokeMethod(
            this, [this, request, detail = noBusText(bus)] { fail(request, noBusSentence(), detail); },
            Qt::QueuedConnection);
        return;
    }
    using Reply = QDBusPendingReply<>;
    onReply<Reply>(bus.asyncCall(logindCall(method, {true}), kInteractiveTimeout),
                   [self = QPointer<Logind>(this), request](const Reply &reply) {
                       if (self && reply.isError())
                           self->fail(request, failureSentence(reply.error()), failureDetail(reply.error()));
                   });
}

void Logind::inhibitIdle(const QString &why)
{
    auto attempt = std::make_shared<IdleAttempt>();
    attempt->request = ++m_idleRequest;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected()) {
        const QDBusMessage call =
            logindCall(QStringLiteral("Inhibit"),
                       {QStringLiteral("idle"), QStringLiteral("Ondavo"), why, QStringLiteral("block")});
        using Reply = QDBusPendingReply<QDBusUnixFileDescriptor>;
        onReply<Reply>(bus.asyncCall(call, kInteractiveTimeout),
                       [self = QPointer<Logind>(this), attempt](const Reply &reply) {
                           // A stale lock is not kept: its descriptor closes with the reply.
                           if (!self || attempt->request != self->m_idleRequest)
                               return;
                           if (reply.isValid())
                               self->m_idleLock = reply.value();
                           else
                               attempt->logindError = reply.error();
                           self->idleAnswered(*attempt, reply.isValid());
                       });
    } else {
        attempt->noBus = noBusText(bus);
        refuseIdleLater(attempt);
    }
    inhibitThroughPortal(why, attempt);
}

// Asked without looking first: the bus starts a portal on demand, and says so when there is none.
void Logind::inhibitThroughPortal(const QString &why, const std::shared_ptr<IdleAttempt> &attempt)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        refuseIdleLater(attempt);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        kPortalService, QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
    const uint idleFlag = 8;
    call << QString() << idleFlag << QVariantMap{{QStringLiteral("reason"), why}};
    using Reply = QDBusPendingReply<QDBusObjectPath>;
    onReply<Reply>(bus.asyncCall(call), [self = QPointer<Logind>(this), attempt](const Reply &reply) {
        if (!self || attempt->request != self->m_idleRequest) {
            if (reply.isValid())
                closePortalRequest(reply.value());
            return;
        }
        if (reply.isValid()) {
            closePortalRequest(self->m_portalLock);
            self->m_portalLock = reply.value();
        } else if (!isServiceAbsent(reply.error())) {
            attempt->portalError = failureDetail(reply.error());
        }
        self->idleAnswered(*attempt, reply.isValid());
    });
}

void Logind::idleAnswered(IdleAttempt &attempt, bool granted)
{
    attempt.granted = attempt.granted || granted;
    if (--attempt.pending > 0 || attempt.granted)
        return;
    // The portal's own refusal goes to the journal only; logind's answer is the reason.
    QStringList details{attempt.noBus.isEmpty() ? failureDetail(attempt.logindError) : attempt.noBus};
    if (!attempt.portalError.isEmpty())
        details << QStringLiteral("desktop portal: %1").arg(attempt.portalError);
    fail(Platform::Request::IdleLock,
         attempt.noBus.isEmpty() ? failureSentence(attempt.logindError) : noBusSentence(),
         details.join("; "));
}

// Queued so that a failure is never reported from inside the call that caused it.
void Logind::refuseIdleLater(const std::shared_ptr<IdleAttempt> &attempt)
{
    QMetaObject::invokeMethod(
        this,
        [this, attempt] {
            if (attempt->request == m_idleRequest)
                idleAnswered(*attempt, false);
        },
        Qt::QueuedConnection);
}

void Logind::fail(Platform::Request request, const QString &reason, const QString &detail)
{
    qCWarning(lcPlatform).noquote() << request << "failed:" << reason << "(" + detail + ")";
    emit failed(request, reason);
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
