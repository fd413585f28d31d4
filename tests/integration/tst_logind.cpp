// The real Linux platform against a mock logind and a mock desktop portal on a private bus.

#include "fakes/soundserver.h"
#include "platform/platform.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const int kTimeoutMs = 20000;
const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kMockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

// Hands out request objects whose Close removes them from the open list.
const char kPortalInhibitCode[] = R"(
self.opened = getattr(self, 'opened', {})
self.count = getattr(self, 'count', 0) + 1
ret = dbus.ObjectPath('/org/freedesktop/portal/desktop/request/1_1/t%d' % self.count)
self.opened[str(ret)] = '%d %s' % (args[1], args[2]['reason'])
self.AddObject(ret, 'org.freedesktop.portal.Request', {}, [('Close', '', '',
    'del objects["/org/freedesktop/portal/desktop"].opened[self.path]')])
)";

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(kTimeoutMs))
        process.kill();
}

// Waits for the reply inside the event loop. Replies and signals reach the main thread in the order
// they arrived, so once this returns everything the peer sent before it has been handled.
QDBusMessage roundTrip(const QDBusConnection &bus, const QDBusMessage &call)
{
    QDBusPendingCallWatcher watcher(bus.asyncCall(call, kTimeoutMs));
    // Always delivered through the event loop, even when the reply is already in.
    QSignalSpy finished(&watcher, &QDBusPendingCallWatcher::finished);
    finished.wait(kTimeoutMs);
    return watcher.reply();
}

QDBusMessage callMock(const QString &method, const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kLogind, kLogindPath, kMockInterface, method);
    call.setArguments(arguments);
    return roundTrip(QDBusConnection::systemBus(), call);
}

// The arguments of every logged call of a logind method.
QList<QVariantList> callsOf(const QString &method)
{
    QList<QVariantList> calls;
    const QDBusMessage reply = callMock(QStringLiteral("GetMethodCalls"), {method});
    if (reply.type() != QDBusMessage::ReplyMessage)
        return calls;
    const auto log = reply.arguments().value(0).value<QDBusArgument>();
    log.beginArray();
    while (!log.atEnd()) {
        qulonglong stamp = 0;
        QVariantList arguments;
        log.beginStructure();
        log >> stamp >> arguments;
        log.endStructure();
        calls << arguments;
    }
    log.endArray();
    return calls;
}

QDBusMessage listInhibitorsCall()
{
    return QDBusMessage::createMethodCall(kLogind, kLogindPath,
                                          QStringLiteral("org.freedesktop.login1.Manager"),
                                          QStringLiteral("ListInhibitors"));
}

// logind's inhibitors as "what who why mode".
QStringList inhibitors()
{
    const QDBusMessage reply = QDBusConnection::systemBus().call(listInhibitorsCall());
    QStringList result;
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {QStringLiteral("error: ") + reply.errorMessage()};
    const auto list = reply.arguments().value(0).value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        QString what, who, why, mode;
        uint uid = 0, pid = 0;
        list.beginStructure();
        list >> what >> who >> why >> mode >> uid >> pid;
        list.endStructure();
        result << QStringList{what, who, why, mode}.join(QLatin1Char(' '));
    }
    list.endArray();
    return result;
}

QDBusMessage portalOpenedCall()
{
    return QDBusMessage::createMethodCall(
        kPortal, kPortalPath, QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Opened"));
}

// The portal's open requests as "flags reason".
QStringList portalRequests()
{
    const QDBusMessage reply = QDBusConnection::sessionBus().call(portalOpenedCall());
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {QStringLiteral("error: ") + reply.errorMessage()};
    return reply.arguments().value(0).toStringList();
}

} // namespace

class TestLogind : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void powerRequests_data();
    void powerRequests();
    void idleLock_data();
    void idleLock();
    void resume_data();
    void resume();
    void failures_data();
    void failures();

private:
    void startPortal();
    void startMock(QProcess &mock, const QStringList &arguments, const QDBusConnection &bus,
                   const QString &name);

    QTemporaryDir m_dir;
    QProcess m_daemon;
    QProcess m_logind;
    QProcess m_portal;
    std::unique_ptr<Platform> m_platform;
};

void TestLogind::startMock(QProcess &mock, const QStringList &arguments, const QDBusConnection &bus,
                           const QString &name)
{
    dieWithParent(mock);
    // Debian's interpreter: the one first on PATH may not see python3-dbusmock.
    mock.start(QStringLiteral("/usr/bin/python3"),
               QStringList{QStringLiteral("-m"), QStringLiteral("dbusmock")} + arguments);
    QTRY_VERIFY_WITH_TIMEOUT(
        bus.interface()->isServiceRegistered(name) || mock.state() == QProcess::NotRunning, kTimeoutMs);
    if (!bus.interface()->isServiceRegistered(name))
        QFAIL(qPrintable(
            QStringLiteral("%1 did not come up (package python3-dbusmock): %2 %3")
                .arg(name, mock.errorString(), QString::fromLocal8Bit(mock.readAllStandardError()))));
}

void TestLogind::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        QStringLiteral(R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
            .arg(m_dir.path())
            .toUtf8());
    file.close();

    dieWithParent(m_daemon);
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForStarted(kTimeoutMs))
        QFAIL(qPrintable(QStringLiteral("dbus-daemon could not be started (package dbus-daemon): ") +
                         m_daemon.errorString()));
    QDeadlineTimer deadline(kTimeoutMs);
    while (!m_daemon.canReadLine() && m_daemon.state() == QProcess::Running && !deadline.hasExpired())
        m_daemon.waitForReadyRead(100);
    const QByteArray address = m_daemon.readLine().trimmed();
    if (address.isEmpty())
        QFAIL(qPrintable(QStringLiteral("dbus-daemon printed no address: ") +
                         QString::fromLocal8Bit(m_daemon.readAllStandardError())));

    // Before anything opens a bus: both buses are the private one, never the machine's.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    QVERIFY(QDBusConnection::systemBus().isConnected());
    QVERIFY(QDBusConnection::sessionBus().isConnected());

    startMock(m_logind, {QStringLiteral("--system"), QStringLiteral("--template"), QStringLiteral("logind")},
              QDBusConnection::systemBus(), kLogind);
    if (QTest::currentTestFailed())
        return;
    startPortal();
}

void TestLogind::startPortal()
{
    startMock(
        m_portal,
        {QStringLiteral("--session"), kPortal, kPortalPath, QStringLiteral("org.freedesktop.portal.Inhibit")},
        QDBusConnection::sessionBus(), kPortal);

    QDBusMessage addMethod =
        QDBusMessage::createMethodCall(kPortal, kPortalPath, kMockInterface, QStringLiteral("AddMethod"));
    addMethod << QString() << QStringLiteral("Inhibit") << QStringLiteral("sua{sv}") << QStringLiteral("o")
              << QString::fromUtf8(kPortalInhibitCode);
    QCOMPARE(QDBusConnection::sessionBus().call(addMethod).errorMessage(), QString());
    addMethod.setArguments({QString(), QStringLiteral("Opened"), QString(), QStringLiteral("as"),
                            QStringLiteral("ret = sorted(getattr(self, 'opened', {}).values())")});
    QCOMPARE(QDBusConnection::sessionBus().call(addMethod).errorMessage(), QString());
}

void TestLogind::init()
{
    QCOMPARE(callMock(QStringLiteral("ClearCalls"), {}).errorMessage(), QString());
    m_platform = createSystemPlatform();
}

void TestLogind::cleanup()
{
    m_platform.reset();
    QCOMPARE(callMock(QStringLiteral("Reset"), {}).errorMessage(), QString());
    if (m_portal.state() == QProcess::NotRunning)
        startPortal();
    // Every lock dies with the platform, so no test leaves one behind for the next.
    QTRY_COMPARE_WITH_TIMEOUT(inhibitors(), QStringList(), kTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(portalRequests(), QStringList(), kTimeoutMs);
}

void TestLogind::cleanupTestCase()
{
    stop(m_portal);
    stop(m_logind);
    stop(m_daemon);
}

void TestLogind::powerRequests_data()
{
    QTest::addColumn<bool>("suspend");
    QTest::addColumn<QString>("method");

    QTest::newRow("power off") << false << QStringLiteral("PowerOff");
    QTest::newRow("suspend") << true << QStringLiteral("Suspend");
}

void TestLogind::powerRequests()
{
    QFETCH(bool, suspend);
    QFETCH(QString, method);

    if (suspend)
        m_platform->requestSuspend();
    else
        m_platform->requestPowerOff();

    const QList<QVariantList> interactive{{true}};
    QTRY_COMPARE_WITH_TIMEOUT(callsOf(method), interactive, kTimeoutMs);
    const QString other = suspend ? QStringLiteral("PowerOff") : QStringLiteral("Suspend");
    QCOMPARE(callsOf(other), QList<QVariantList>());
}

void TestLogind::idleLock_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("held");

    // "settle" lets every reply sent so far arrive; without it the next step beats the reply.
    const QString settle = QStringLiteral("settle");
    const QString release = QStringLiteral("release");
    const QString first = QStringLiteral("Alarm at 06:30");
    const QString second = QStringLiteral("Sleep timer, 20 minutes");

    QTest::newRow("taken") << QStringList{first, settle} << QStringList{first};
    QTest::newRow("released") << QStringList{first, settle, release} << QStringList();
    QTest::newRow("released before the reply") << QStringList{first, release} << QStringList();
    QTest::newRow("replaced") << QStringList{first, settle, second} << QStringList{second};
    QTest::newRow("replaced before the reply") << QStringList{first, second} << QStringList{second};
    QTest::newRow("taken again after a release")
        << QStringList{first, settle, release, second} << QStringList{second};
    QTest::newRow("taken again before the reply")
        << QStringList{first, release, second} << QStringList{second};
    QTest::newRow("released twice") << QStringList{first, release, settle, release} << QStringList();
}

void TestLogind::idleLock()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, held);

    for (const QString &step : steps) {
        if (step == QLatin1String("settle")) {
            roundTrip(QDBusConnection::systemBus(), listInhibitorsCall());
            roundTrip(QDBusConnection::sessionBus(), portalOpenedCall());
        } else if (step == QLatin1String("release")) {
            m_platform->releaseIdle();
        } else {
            m_platform->inhibitIdle(step);
        }
    }

    QStringList logind, portal;
    for (const QString &why : held) {
        logind << QStringLiteral("idle Ondavo %1 block").arg(why);
        portal << QStringLiteral("8 %1").arg(why);
    }
    // The mocks answer in order, so the first look already sees every request made above; a lock
    // that should go away is seen going.
    QTRY_COMPARE_WITH_TIMEOUT(inhibitors(), logind, kTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(portalRequests(), portal, kTimeoutMs);
}

void TestLogind::resume_data()
{
    QTest::addColumn<QList<bool>>("starts");
    QTest::addColumn<int>("resumes");

    QTest::newRow("woken") << QList<bool>{false} << 1;
    QTest::newRow("going to sleep") << QList<bool>{true} << 0;
    QTest::newRow("slept and woken") << QList<bool>{true, false} << 1;
    QTest::newRow("woken twice") << QList<bool>{false, true, false} << 2;
}

void TestLogind::resume()
{
    QFETCH(QList<bool>, starts);
    QFETCH(int, resumes);

    QSignalSpy resumed(m_platform.get(), &Platform::systemResumed);
    for (bool start : starts) {
        const QDBusMessage reply =
            callMock(QStringLiteral("EmitSignal"),
                     {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                      QStringLiteral("b"), QVariant(QVariantList{start})});
        QCOMPARE(reply.errorMessage(), QString());
    }
    // The signals came before the replies to EmitSignal, which roundTrip waited for.
    QCOMPARE(resumed.count(), resumes);
}

void TestLogind::failures_data()
{
    QTest::addColumn<Platform::Request>("request");
    QTest::addColumn<QString>("setup"); // logind refused it, no portal runs, released before the answers
    QTest::addColumn<bool>("fails");

    using R = Platform::Request;
    const QString refused = QStringLiteral("refused");
    QTest::newRow("power-off refused") << R::PowerOff << refused << true;
    QTest::newRow("suspend refused") << R::Suspend << refused << true;
    QTest::newRow("idle lock refused, no portal")
        << R::IdleLock << QStringLiteral("refused, no portal") << true;
    QTest::newRow("idle lock refused, portal grants") << R::IdleLock << refused << false;
    QTest::newRow("idle lock refused, then released")
        << R::IdleLock << QStringLiteral("refused, no portal, released") << false;
    QTest::newRow("no portal, logind grants") << R::IdleLock << QStringLiteral("no portal") << false;
    QTest::newRow("power-off granted") << R::PowerOff << QString() << false;
    QTest::newRow("idle lock granted") << R::IdleLock << QString() << false;
}

void TestLogind::failures()
{
    QFETCH(Platform::Request, request);
    QFETCH(QString, setup);
    QFETCH(bool, fails);

    const bool lock = request == Platform::Request::IdleLock;
    const bool suspend = request == Platform::Request::Suspend;
    const char *method = lock ? "Inhibit" : suspend ? "Suspend" : "PowerOff";
    const QString reason = QStringLiteral("Interactive authentication required.");
    const QString refuse = QStringLiteral("raise dbus.exceptions.DBusException('%1', "
                                          "name='org.freedesktop.DBus.Error.AccessDenied')");
    if (setup.contains(QLatin1String("refused")))
        callMock(QStringLiteral("AddMethod"),
                 {QString(), method, lock ? "ssss" : "b", lock ? "h" : "", refuse.arg(reason)});
    if (setup.contains(QLatin1String("no portal"))) {
        stop(m_portal);
        QTRY_VERIFY_WITH_TIMEOUT(!QDBusConnection::sessionBus().interface()->isServiceRegistered(kPortal),
                                 kTimeoutMs);
    }
    // The person reads a sentence of the program's; the system's own words go to the journal.
    if (fails)
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("failed: нет разрешения .*AccessDenied: " + reason));
    QSignalSpy failed(m_platform.get(), &Platform::requestFailed);
    if (lock)
        m_platform->inhibitIdle(QStringLiteral("Alarm at 06:30"));
    else
        (m_platform.get()->*(suspend ? &Platform::requestSuspend : &Platform::requestPowerOff))();
    if (setup.contains(QLatin1String("released")))
        m_platform->releaseIdle();
    // Every answer to the request is in once the mocks have answered a later call.
    roundTrip(QDBusConnection::systemBus(), listInhibitorsCall());
    roundTrip(QDBusConnection::sessionBus(), portalOpenedCall());
    const QList<QVariantList> once{{QVariant::fromValue(request), QStringLiteral("нет разрешения")}};
    QCOMPARE(QList<QVariantList>(failed), fails ? once : QList<QVariantList>());
}

QTEST_GUILESS_MAIN(TestLogind)
#include "tst_logind.moc"
