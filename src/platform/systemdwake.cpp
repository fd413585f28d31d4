#include "platform/systemdwake.h"

#include "platform/dbusreply.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QPointer>
#include <QRandomGenerator>
#include <QStringList>

#include <limits>
#include <utility>

namespace {

const QString kSystemd = QStringLiteral("org.freedesktop.systemd1");
const QString kSystemdPath = QStringLiteral("/org/freedesktop/systemd1");
const QString kSystemdManager = QStringLiteral("org.freedesktop.systemd1.Manager");
// The first release whose user manager may wake the system (it is given CAP_WAKE_ALARM).
const int kUserWakeVersion = 254;
// A wake-up this close could pass while the computer is still going to sleep, which would then
// sleep through it.
const qint64 kShortestSleepSecs = 30;
// polkit may be waiting for the user to type a password; libdbus reads this value as "no timeout".
const int kInteractiveTimeout = std::numeric_limits<int>::max();
// Closing the program does not wait long for a manager that does not answer.
const int kClosingTimeoutMs = 2000;

// StartTransientUnit's a(sv), a(sa(sv)), TimersCalendar's a(ss) and ExecStart's a(sasb).
struct UnitProperty
{
    QString name;
    QDBusVariant value;
};
using UnitProperties = QList<UnitProperty>;
struct AuxUnit
{
    QString name;
    UnitProperties properties;
};
using CalendarTimer = std::pair<QString, QString>;
struct ExecCommand
{
    QString path;
    QStringList argv;
    bool ignoreFailure = false;
};

QDBusArgument &operator<<(QDBusArgument &arg, const UnitProperty &property)
{
    arg.beginStructure();
    arg << property.name << property.value;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, UnitProperty &property)
{
    arg.beginStructure();
    arg >> property.name >> property.value;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const AuxUnit &unit)
{
    arg.beginStructure();
    arg << unit.name << unit.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, AuxUnit &unit)
{
    arg.beginStructure();
    arg >> unit.name >> unit.properties;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const ExecCommand &command)
{
    arg.beginStructure();
    arg << command.path << command.argv << command.ignoreFailure;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, ExecCommand &command)
{
    arg.beginStructure();
    arg >> command.path >> command.argv >> command.ignoreFailure;
    arg.endStructure();
    return arg;
}

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<UnitProperty>();
        qDBusRegisterMetaType<UnitProperties>();
        qDBusRegisterMetaType<AuxUnit>();
        qDBusRegisterMetaType<QList<AuxUnit>>();
        qDBusRegisterMetaType<CalendarTimer>();
        qDBusRegisterMetaType<QList<CalendarTimer>>();
        qDBusRegisterMetaType<ExecCommand>();
        qDBusRegisterMetaType<QList<ExecCommand>>();
        return true;
    }();
    Q_UNUSED(registered)
}

template <typename T> UnitProperty property(const QString &name, const T &value)
{
    return {name, QDBusVariant(QVariant::fromValue(value))};
}

// The timer's properties, and the service it triggers as StartTransientUnit's aux.
QList<AuxUnit> wakeUnits(const QString &timer, const QDateTime &wakeAt, UnitProperties *timerProperties)
{
    // In UTC: the manager's time zone need not be the program's, and the moment must not shift with
    // a change of daylight saving time. Fractions of a second are cut, so the wake-up is never late.
    const QString calendar = wakeAt.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + " UTC";
    const QString description = SystemdWake::tr("Ondavo: пробуждение к будильнику");
    *timerProperties = {property(QStringLiteral("Description"), description),
                        property(QStringLiteral("TimersCalendar"),
                                 QList<CalendarTimer>{{QStringLiteral("OnCalendar"), calendar}}),
                        property(QStringLiteral("WakeSystem"), true),
                        property(QStringLiteral("RemainAfterElapse"), false),
                        property(QStringLiteral("AccuracyUSec"), qulonglong(1000000))};
    // A timer starts the service of its own name.
    const QString service = timer.left(timer.lastIndexOf(QLatin1Char('.'))) + ".service";
    const QString doNothing = QStringLiteral("/bin/true");
    return {{service,
             {property(QStringLiteral("Description"), description),
              property(QStringLiteral("ExecStart"), QList<ExecCommand>{{doNothing, {doNothing}, false}})}}};
}

QString managerName(bool user)
{
    return user ? QStringLiteral("user manager") : QStringLiteral("system manager");
}

QString noBusText(bool user, const QDBusConnection &bus)
{
    const QString error = bus.lastError().message();
    return managerName(user) + QStringLiteral(": ") + (error.isEmpty() ? QStringLiteral("no bus") : error);
}

QDBusConnection busOf(bool user)
{
    return user ? QDBusConnection::sessionBus() : QDBusConnection::systemBus();
}

QDBusMessage managerCall(bool user, const QString &method)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kSystemd, kSystemdPath, kSystemdManager, method);
    // The system's manager may let polkit ask the user instead of refusing outright.
    message.setInteractiveAuthorizationAllowed(!user);
    return message;
}

bool tooSoon(const QDateTime &wakeAt)
{
    return !wakeAt.isValid() || QDateTime::currentDateTimeUtc().secsTo(wakeAt) < kShortestSleepSecs;
}

// "254.5-1" and "252.38-1~deb12u1" alike: the release is the leading number.
int releaseOf(const QString &version)
{
    int release = 0;
    for (const QChar c : version) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9') || release > 100000)
            break;
        release = release * 10 + c.digitValue();
    }
    return release;
}

} // namespace

// One start(): the journal gets every manager's answer, the user the last refusal in words of the
// interface.
struct SystemdWake::Attempt
{
    quint64 request = 0;
    QDateTime wakeAt;
    QString unit;
    QStringList notes;
    QString refusal;
};

SystemdWake::SystemdWake(QObject *parent) : QObject(parent)
{
    registerTypes();
}

SystemdWake::~SystemdWake()
{
    cancel();
    // Messages leave in order: once the bus has answered, the stops sent before it have gone out,
    // even if the program ends right after.
    for (const bool user : {true, false}) {
        if (m_stopsInFlight[user ? 0 : 1] > 0)
            busOf(user).call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                            QStringLiteral("/org/freedesktop/DBus"),
                                                            QStringLiteral("org.freedesktop.DBus"),
                                                            QStringLiteral("GetId")),
                             QDBus::Block, kClosingTimeoutMs);
    }
}

void SystemdWake::start(const QDateTime &wakeAt)
{
    cancel();
    auto attempt = std::make_shared<Attempt>();
    attempt->request = m_request;
    attempt->wakeAt = wakeAt;
    attempt->unit = QStringLiteral("ondavo-wake-%1.timer")
                        .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
    if (tooSoon(wakeAt)) {
        failLater(attempt, tr("время пробуждения слишком близко или уже прошло"));
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        attempt->notes << noBusText(true, bus);
        startOn(false, attempt);
        return;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        kSystemd, kSystemdPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kSystemdManager << QStringLiteral("Version");
    using Reply = QDBusPendingReply<QDBusVariant>;
    onReply<Reply>(bus.asyncCall(get), [self = QPointer<SystemdWake>(this), attempt](const Reply &reply) {
        if (!self || attempt->request != self->m_request)
            return;
        const QString version = reply.isValid() ? reply.value().variant().toString() : QString();
        if (releaseOf(version) >= kUserWakeVersion) {
            self->startOn(true, attempt);
            return;
        }
        attempt->notes
            << (reply.isValid()
                    ? QStringLiteral("user manager: systemd %1 cannot wake the system").arg(version)
                    : QStringLiteral("user manager: %1: %2")
                          .arg(reply.error().name(), reply.error().message()));
        self->startOn(false, attempt);
    });
}

void SystemdWake::startOn(bool user, const std::shared_ptr<Attempt> &attempt)
{
    QDBusConnection bus = busOf(user);
    if (!bus.isConnected()) {
        attempt->notes << noBusText(user, bus);
        failLater(attempt, QString());
        return;
    }
    UnitProperties timer;
    const QList<AuxUnit> aux = wakeUnits(attempt->unit, attempt->wakeAt, &timer);
    QDBusMessage call = managerCall(user, QStringLiteral("StartTransientUnit"));
    call << attempt->unit << QStringLiteral("replace") << QVariant::fromValue(timer)
         << QVariant::fromValue(aux);
    using Reply = QDBusPendingReply<QDBusObjectPath>;
    onReply<Reply>(bus.asyncCall(call, user ? -1 : kInteractiveTimeout),
                   [self = QPointer<SystemdWake>(this), user, attempt](const Reply &reply) {
                       if (self && attempt->request == self->m_request)
                           self->answered(user, attempt, reply.error());
                       else if (reply.isValid()) // replaced meanwhile: not wanted any more
                           stop(self, user, attempt->unit);
                   });
}

void SystemdWake::answered(bool user, const std::shared_ptr<Attempt> &attempt, const QDBusError &error)
{
    if (!error.isValid()) {
        m_unit = attempt->unit;
        m_userManager = user;
        // polkit may have waited for the password until the wake-up was too close.
        if (tooSoon(attempt->wakeAt)) {
            cancel();
            fail(*attempt, tr("время пробуждения слишком близко или уже прошло"));
            return;
        }
        emit accepted();
        return;
    }
    attempt->notes << QStringLiteral("%1: %2: %3").arg(managerName(user), error.name(), error.message());
    if (!isServiceAbsent(error))
        attempt->refusal = failureSentence(error);
    if (user)
        startOn(false, attempt);
    else
        fail(*attempt, QString());
}

void SystemdWake::cancel()
{
    ++m_request;
    if (m_unit.isEmpty())
        return;
    stop(this, m_userManager, m_unit);
    m_unit.clear();
}

void SystemdWake::stop(const QPointer<SystemdWake> &self, bool user, const QString &unit)
{
    QDBusMessage call = managerCall(user, QStringLiteral("StopUnit"));
    call << unit << QStringLiteral("replace");
    if (self)
        ++self->m_stopsInFlight[user ? 0 : 1];
    using Reply = QDBusPendingReply<QDBusObjectPath>;
    const auto stopped = [self, user, unit](const Reply &reply) {
        if (self)
            --self->m_stopsInFlight[user ? 0 : 1];
        // A timer that has elapsed is gone by itself.
        if (reply.isError() && reply.error().name() != QLatin1String("org.freedesktop.systemd1.NoSuchUnit"))
            qCWarning(lcPlatform).noquote()
                << "Could not stop the wake timer" << unit << "of the" << managerName(user) << ":"
                << reply.error().name() << reply.error().message();
    };
    onReply<Reply>(busOf(user).asyncCall(call, user ? -1 : kInteractiveTimeout), stopped);
}

// Queued so that a failure is never reported from inside the call that caused it.
void SystemdWake::failLater(const std::shared_ptr<Attempt> &attempt, const QString &reason)
{
    QMetaObject::invokeMethod(
        this,
        [this, attempt, reason] {
            if (attempt->request == m_request)
                fail(*attempt, reason);
        },
        Qt::QueuedConnection);
}

// An empty reason is made from the managers' answers.
void SystemdWake::fail(const Attempt &attempt, const QString &reason)
{
    QString text = reason;
    if (text.isEmpty())
        text = attempt.refusal.isEmpty() ? noBusSentence() : attempt.refusal;
    const QString notes = attempt.notes.isEmpty() ? QString() : " (" + attempt.notes.join("; ") + ")";
    qCWarning(lcPlatform).noquote() << Platform::Request::WakeTimer << "failed:" << text + notes;
    emit failed(Platform::Request::WakeTimer, text);
}
