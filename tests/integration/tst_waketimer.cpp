// The real Linux platform's sleep until the alarm, against mock systemd managers: the user's on a
// private session bus, the system's beside a mock logind on a private system bus.

#include "fakes/soundserver.h"
#include "platform/platform.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaEnum>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <memory>

namespace {

const int kTimeoutMs = 20000;

// Every call lands in the mock's trail as "<CLOCK_MONOTONIC ns> <who> <what>", so that the calls on
// both buses can be put in order. Begin(faults, version) starts a row. A timer is accepted a little
// late, so that a Suspend sent before the answer would come first.
const char kBegin[] = "self.trail = []; self.units = set(); self.unit = ''; self.faults = args[0]\n"
                      "if args[1]: self._set_property(self.interface, 'Version', args[1])";
const char kStart[] = R"(import json
self.unit = json.dumps({'name': args[0], 'mode': args[1],
    'timer': {p[0]: [type(p[1]).__name__, p[1]] for p in args[2]},
    'aux': {u[0]: {p[0]: [type(p[1]).__name__, p[1]] for p in u[1]} for u in args[3]}})
refused = '%1 refuses' in self.faults
time.sleep(0 if refused else 0.02)
self.trail.append('%d %1 %s %s' % (time.monotonic_ns(), 'refuses' if refused else 'start', args[0]))
if refused:
    raise dbus.exceptions.DBusException('%2', name='%3')
self.units.add(args[0])
ret = dbus.ObjectPath('/org/freedesktop/systemd1/job/1'))";
const char kStop[] = R"(refused = 'stop refused' in self.faults
self.trail.append('%d %1 %s %s' % (time.monotonic_ns(), 'refuses to stop' if refused else 'stop', args[0]))
if refused:
    raise dbus.exceptions.DBusException('Access denied', name='org.freedesktop.DBus.Error.AccessDenied')
if args[0] not in self.units:
    raise dbus.exceptions.DBusException('Unit not loaded.', name='org.freedesktop.systemd1.NoSuchUnit')
self.units.discard(args[0])
ret = dbus.ObjectPath('/org/freedesktop/systemd1/job/2'))";
const char kSuspend[] = R"(self.trail.append('%d suspend %s' % (time.monotonic_ns(), bool(args[0])))
if 'logind refuses' in self.faults:
    raise dbus.exceptions.DBusException('Access denied', name='org.freedesktop.DBus.Error.AccessDenied'))";

struct Mock
{
    QString who;
    QStringList arguments; // for python3 -m dbusmock
    QString name;
    QDBusConnection bus() const
    {
        return arguments[0] == QLatin1String("--session") ? QDBusConnection::sessionBus()
                                                          : QDBusConnection::systemBus();
    }
    QDBusMessage call(const QString &method, const QVariantList &args = {},
                      const QString &interface = QStringLiteral("org.freedesktop.DBus.Mock")) const
    {
        QDBusMessage call =
            QDBusMessage::createMethodCall(name, "/" + QString(name).replace('.', '/'), interface, method);
        call.setArguments(args);
        QDBusPendingCallWatcher watcher(bus().asyncCall(call, kTimeoutMs));
        QSignalSpy(&watcher, &QDBusPendingCallWatcher::finished).wait(kTimeoutMs);
        return watcher.reply();
    }
    QDBusMessage own(const QString &method, const QVariantList &args = {}) const
    {
        return call(method, args, name + ".Manager");
    }
    bool up() const { return bus().interface()->isServiceRegistered(name); }
    QProcess process{};
};

const QString kSystemd = QStringLiteral("org.freedesktop.systemd1");

// Lists are written "a | b".
void row(const char *name, const char *userVersion, const char *faults, const char *steps, const char *calls,
         const char *failures = "", const char *warnings = "")
{
    const auto list = [](const char *text) {
        return QString::fromUtf8(text).split(" | ", Qt::SkipEmptyParts);
    };
    QTest::newRow(name) << QString(userVersion) << list(faults) << list(steps) << list(calls)
                        << list(failures) << list(warnings);
}

} // namespace

class TestWakeTimer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { m_platform = createSystemPlatform(); }
    void cleanup();
    void cleanupTestCase();
    void timerUnit_data();
    void timerUnit();
    void wake_data();
    void wake();
    void networkReturns();

private:
    void start(Mock &mock);
    void stop(Mock &mock);
    void setUp(const QString &userVersion, const QStringList &faults);
    QStringList trail();

    QTemporaryDir m_dir;
    QProcess m_buses[2];
    Mock m_user{
        "user", {"--session", kSystemd, "/org/freedesktop/systemd1", kSystemd + ".Manager"}, kSystemd};
    Mock m_system{
        "system", {"--system", kSystemd, "/org/freedesktop/systemd1", kSystemd + ".Manager"}, kSystemd};
    Mock m_logind{"logind", {"--system", "--template", "logind"}, "org.freedesktop.login1"};
    std::unique_ptr<Platform> m_platform;
};

void TestWakeTimer::start(Mock &mock)
{
    dieWithParent(mock.process);
    // Debian's interpreter: the one first on PATH may not see python3-dbusmock.
    mock.process.start(QStringLiteral("/usr/bin/python3"), QStringList{"-m", "dbusmock"} + mock.arguments);
    QTRY_VERIFY_WITH_TIMEOUT(mock.up() || mock.process.state() == QProcess::NotRunning, kTimeoutMs);
    if (!mock.up())
        QFAIL(qPrintable(mock.who + " did not come up (package python3-dbusmock): " +
                         QString::fromLocal8Bit(mock.process.readAllStandardError())));
    QList<QStringList> methods{{"Begin", "ass", "", kBegin}, {"Trail", "", "as", "ret = self.trail"}};
    if (&mock == &m_logind) {
        methods.append({"Suspend", "b", "", kSuspend});
    } else {
        const QString start =
            &mock == &m_user
                ? QString(kStart).arg(mock.who, "Cannot set property WakeSystem, or unknown property.",
                                      "org.freedesktop.DBus.Error.InvalidArgs")
                : QString(kStart).arg(mock.who, "Interactive authentication required.",
                                      "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired");
        methods.append({{"StartTransientUnit", "ssa(sv)a(sa(sv))", "o", start},
                        {"StopUnit", "ss", "o", QString(kStop).arg(mock.who)},
                        {"Elapse", "", "", "self.units.clear()"},
                        {"Unit", "", "s", "ret = self.unit"}});
    }
    for (const QStringList &method : methods)
        QCOMPARE(
            mock.call("AddMethod", {QString(), method[0], method[1], method[2], method[3]}).errorMessage(),
            QString());
}

void TestWakeTimer::stop(Mock &mock)
{
    mock.process.terminate();
    mock.process.waitForFinished(kTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!mock.up(), kTimeoutMs);
}

void TestWakeTimer::initTestCase()
{
    QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(
        QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen><policy "
                       "context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/><allow "
                       "eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>")
            .arg(m_dir.path())
            .toUtf8());
    config.close();
    // Before anything opens a bus: both are private ones, never the machine's.
    const char *variables[] = {"DBUS_SESSION_BUS_ADDRESS", "DBUS_SYSTEM_BUS_ADDRESS"};
    for (int bus = 0; bus < 2; ++bus) {
        dieWithParent(m_buses[bus]);
        m_buses[bus].start("dbus-daemon",
                           {"--config-file=" + config.fileName(), "--nofork", "--print-address=1"});
        QVERIFY2(m_buses[bus].waitForStarted(kTimeoutMs),
                 "dbus-daemon could not be started (package dbus-daemon)");
        QTRY_VERIFY_WITH_TIMEOUT(m_buses[bus].canReadLine(), kTimeoutMs);
        qputenv(variables[bus], m_buses[bus].readLine().trimmed());
    }
    QVERIFY(QDBusConnection::sessionBus().isConnected() && QDBusConnection::systemBus().isConnected());
    for (Mock *mock : {&m_user, &m_system, &m_logind}) {
        start(*mock);
        if (QTest::currentTestFailed())
            return;
    }
}

void TestWakeTimer::cleanup()
{
    m_platform.reset();
    for (Mock *mock : {&m_user, &m_system}) {
        if (!mock->up())
            start(*mock);
    }
}

void TestWakeTimer::cleanupTestCase()
{
    for (QProcess *process :
         {&m_user.process, &m_system.process, &m_logind.process, &m_buses[0], &m_buses[1]}) {
        process->kill();
        process->waitForFinished(kTimeoutMs);
    }
}

// Faults: "user refuses", "system refuses", "no system manager", "logind refuses", "stop refused".
// No user manager runs without a version.
void TestWakeTimer::setUp(const QString &userVersion, const QStringList &faults)
{
    if (userVersion.isEmpty())
        stop(m_user);
    if (faults.contains(QLatin1String("no system manager")))
        stop(m_system);
    for (const Mock *mock : {&m_user, &m_system, &m_logind}) {
        if (mock->up())
            QCOMPARE(mock->own("Begin", {faults, mock == &m_user ? userVersion : QString()}).errorMessage(),
                     QString());
    }
}

// Every call the mocks saw, in the order they answered, the timers named A, B, ... as they come.
// Each look is a round trip to every mock, so a few of them let every chain of answers finish.
QStringList TestWakeTimer::trail()
{
    std::multimap<qint64, QString> calls;
    for (int pass = 0; pass < 5; ++pass) {
        calls.clear();
        for (const Mock *mock : {&m_user, &m_system, &m_logind}) {
            const QDBusMessage reply = mock->own("Trail");
            for (const QString &entry : reply.arguments().value(0).toStringList()) {
                if (reply.type() == QDBusMessage::ReplyMessage) // not from a mock the row stopped
                    calls.emplace(entry.section(' ', 0, 0).toLongLong(), entry.section(' ', 1));
            }
        }
    }
    QStringList result, units;
    static const QRegularExpression unit(QStringLiteral("ondavo-wake-[0-9a-f]{16}\\.timer"));
    for (auto entry : calls) {
        const QString name = unit.match(entry.second).captured();
        if (!name.isEmpty() && !units.contains(name))
            units << name;
        result << (name.isEmpty() ? entry.second
                                  : entry.second.replace(name, QChar(char16_t(u'A' + units.indexOf(name)))));
    }
    return result;
}

void TestWakeTimer::timerUnit_data()
{
    QTest::addColumn<QString>("userVersion");
    QTest::addColumn<int>("secs");
    QTest::addColumn<int>("msec");

    QTest::newRow("in an hour") << "254" << 3600 << 0;
    QTest::newRow("tomorrow, to the system manager") << "252.38-1~deb12u1" << 86400 + 600 << 0;
    // One of now and then keeps daylight saving time (the test runs in Central European time).
    QTest::newRow("in half a year") << "254" << 183 * 86400 << 0;
    QTest::newRow("never late by a fraction") << "254" << 3600 << 999;
}

void TestWakeTimer::timerUnit()
{
    QFETCH(QString, userVersion);
    QFETCH(int, secs);
    QFETCH(int, msec);
    setUp(userVersion, {});

    QDateTime wakeAt = QDateTime::currentDateTime().addSecs(secs);
    wakeAt.setTime(QTime(wakeAt.time().hour(), wakeAt.time().minute(), wakeAt.time().second(), msec));
    m_platform->suspendUntil(wakeAt);
    QCOMPARE(trail().value(1), QStringLiteral("suspend True"));

    const Mock &manager = userVersion == QLatin1String("254") ? m_user : m_system;
    const QJsonObject unit =
        QJsonDocument::fromJson(manager.own("Unit").arguments().value(0).toString().toUtf8()).object();
    const QString name = unit["name"].toString();
    QVERIFY2(QRegularExpression("^ondavo-wake-[0-9a-f]+\\.timer$").match(name).hasMatch(), qPrintable(name));
    QCOMPARE(unit["mode"], QJsonValue("replace"));
    const QJsonObject timer = unit["timer"].toObject();
    QCOMPARE(timer["WakeSystem"], QJsonValue(QJsonArray{"Boolean", 1}));
    QCOMPARE(timer["RemainAfterElapse"], QJsonValue(QJsonArray{"Boolean", 0}));
    QCOMPARE(timer["AccuracyUSec"][0], QJsonValue("UInt64"));
    QVERIFY(timer["AccuracyUSec"][1].toInt() <= 1000000);

    const QJsonArray calendar = timer["TimersCalendar"][1].toArray();
    QCOMPARE(calendar.size(), 1);
    QCOMPARE(calendar[0][0], QJsonValue("OnCalendar"));
    QString spec = calendar[0][1].toString();
    const bool utc = spec.endsWith(QLatin1String(" UTC"));
    spec.chop(utc ? 4 : 0);
    const QDateTime due(QDate::fromString(spec.left(10), Qt::ISODate),
                        QTime::fromString(spec.mid(10), " HH:mm:ss"), utc ? Qt::UTC : Qt::LocalTime);
    QCOMPARE(due, wakeAt.addMSecs(-msec));

    // The service it triggers is of the timer's name, and does nothing.
    const QJsonObject aux = unit["aux"].toObject();
    QCOMPARE(aux.keys(), QStringList{name.chopped(6) + ".service"});
    const QJsonArray doNothing{QJsonArray{"/bin/true", QJsonArray{"/bin/true"}, 0}};
    QCOMPARE(aux[aux.keys().value(0)]["ExecStart"], QJsonValue(QJsonArray{"Array", doNothing}));
}

void TestWakeTimer::wake_data()
{
    QTest::addColumn<QString>("userVersion"); // empty: no user manager runs
    QTest::addColumn<QStringList>("faults");  // see setUp()
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("failures"); // "<request>: <reason>"
    QTest::addColumn<QStringList>("warnings");

    // sleep: until an hour from now; past: until a minute ago; answer: the manager's version is in;
    // settle: every answer is in.
    row("user manager 254", "254", "", "sleep", "user start A | suspend True");
    row("user manager 254.5-1", "254.5-1", "", "sleep", "user start A | suspend True");
    row("user manager 253", "253", "", "sleep", "system start A | suspend True");
    row("no user manager", "", "", "sleep", "system start A | suspend True");
    row("user manager refuses", "254", "user refuses", "sleep",
        "user refuses A | system start A | suspend True");
    row("both refuse", "254", "user refuses | system refuses", "sleep", "user refuses A | system refuses A",
        "WakeTimer: нет разрешения",
        "WakeTimer failed: нет разрешения .*user manager: org.freedesktop.DBus.Error.InvalidArgs: Cannot "
        "set property .*system manager: org.freedesktop.DBus.Error.InteractiveAuthorizationRequired: Inter");
    row("polkit says no", "252", "system refuses", "sleep", "system refuses A", "WakeTimer: нет разрешения",
        "systemd 252 cannot wake the system; system manager: org.freedesktop.DBus.Error.Interactive");
    row("user refuses, no system manager", "254", "user refuses | no system manager", "sleep",
        "user refuses A", "WakeTimer: система этого не поддерживает",
        "system manager: org.freedesktop.DBus.Error.ServiceUnknown");
    row("no managers", "", "no system manager", "sleep", "", "WakeTimer: системная служба недоступна",
        "WakeTimer failed: системная служба недоступна .user manager: "
        "org.freedesktop.DBus.Error.ServiceUnknown: .*; "
        "system manager: org.freedesktop.DBus.Error.ServiceUnknown: ");
    row("logind refuses", "254", "logind refuses", "sleep", "user start A | suspend True",
        "Suspend: нет разрешения", "Suspend failed: нет разрешения .*AccessDenied: Access denied");
    row("wake-up passed", "254", "", "past", "", "WakeTimer: время пробуждения слишком близко или уже прошло",
        "WakeTimer failed: время пробуждения");
    row("wake-up passed, then set again", "254", "", "past | sleep", "user start A | suspend True");
    row("cancelled", "254", "", "sleep | settle | cancel", "user start A | suspend True | user stop A");
    row("cancelled on the system manager", "252", "", "sleep | settle | cancel",
        "system start A | suspend True | system stop A");
    row("cancelled before the manager was asked", "254", "", "sleep | cancel", "");
    row("cancelled before the timer was accepted", "254", "", "sleep | answer | cancel",
        "user start A | user stop A");
    row("cancelled, nothing pending", "254", "", "cancel", "");
    row("timer elapsed", "254", "", "sleep | settle | elapse | cancel",
        "user start A | suspend True | user stop A");
    row("stop refused", "254", "stop refused", "sleep | settle | cancel",
        "user start A | suspend True | user refuses to stop A", "",
        "Could not stop the wake timer ondavo-wake-.* of the user manager : "
        "org.freedesktop.DBus.Error.AccessDenied "
        "Access denied");
    row("program closed", "254", "", "sleep | settle | close", "user start A | suspend True | user stop A");
    row("slept again", "254", "", "sleep | settle | sleep",
        "user start A | suspend True | user stop A | user start B | suspend True");
}

void TestWakeTimer::wake()
{
    QFETCH(QString, userVersion);
    QFETCH(QStringList, faults);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, failures);
    QFETCH(QStringList, warnings);
    setUp(userVersion, faults);
    for (const QString &warning : warnings)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
    if (warnings.isEmpty())
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));

    QSignalSpy failed(m_platform.get(), &Platform::requestFailed);
    for (const QString &step : steps) {
        if (step == QLatin1String("sleep") || step == QLatin1String("past"))
            m_platform->suspendUntil(
                QDateTime::currentDateTime().addSecs(step == QLatin1String("sleep") ? 3600 : -60));
        else if (step == QLatin1String("settle"))
            trail();
        else if (step == QLatin1String("answer"))
            m_user.own("Trail");
        else if (step == QLatin1String("cancel"))
            m_platform->cancelWakeTimer();
        else if (step == QLatin1String("elapse"))
            m_user.own("Elapse");
        else if (step == QLatin1String("close"))
            m_platform.reset();
    }
    QCOMPARE(trail(), calls);
    QStringList said;
    for (const QList<QVariant> &signal : failed)
        said << QMetaEnum::fromType<Platform::Request>().valueToKey(
                    int(signal[0].value<Platform::Request>())) +
                    QStringLiteral(": ") + signal[1].toString();
    QCOMPARE(said, failures);
}

QTEST_GUILESS_MAIN(TestWakeTimer)
#include "tst_waketimer.moc"

// NetworkManager through Qt's network information: only a return to full connectivity counts.
// (Without NetworkManager Qt takes GLib's monitor of the kernel's routes, which this test cannot
// steer; it is loaded once per process, so NetworkManager must be there first.)
void TestWakeTimer::networkReturns()
{
    Mock nm{"network",
            {"--system", "--template", "networkmanager", "--parameters", R"({"State": 20})"},
            "org.freedesktop.NetworkManager"};
    dieWithParent(nm.process);
    nm.process.start(QStringLiteral("/usr/bin/python3"), QStringList{"-m", "dbusmock"} + nm.arguments);
    QTRY_VERIFY_WITH_TIMEOUT(nm.up(), kTimeoutMs);
    QSignalSpy returned(m_platform.get(), &Platform::networkReturned);
    m_platform->watchNetwork();
    // Connecting, connected on the link only, then the internet; again; it drops; back again.
    for (const uint state : {40u, 60u, 70u, 70u, 20u, 70u}) {
        QCOMPARE(nm.call("SetGlobalConnectionState", {QVariant::fromValue(state)}).errorMessage(), QString());
        QTest::qWait(200);
    }
    QCOMPARE(returned.count(), 2);
    nm.process.kill();
    nm.process.waitForFinished(kTimeoutMs);
}
