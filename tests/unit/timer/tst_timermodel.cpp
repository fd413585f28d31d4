// The timer model on a clock that stands still and a platform that only records: arming, ticks,
// each action, quiet sleep and the failures the system reports.
#include "fakes/fakeplatform.h"
#include "fakes/testclock.h"
#include "settings/localedatetime.h"
#include "timer/timermodel.h"

#include <QTimer>
#include <QtTest>

#include <ctime>

namespace {
using Action = TimerModel::Action;
const QString Expired = "Установленное время уже истекло!";
const QString AlarmExpired = "Время будильника уже истекло!";

// One model; its signals and the system calls land in one log, in the order they came.
struct Model
{
    Model()
    {
        QObject::connect(&model, &TimerModel::countdownChanged, [this](const QString &t) { countdown = t; });
        QObject::connect(&model, &TimerModel::lastMinuteChanged, [this](bool on) { lastMinute = on; });
        QObject::connect(&model, &TimerModel::balloonDue, [this] { log("balloon"); });
        QObject::connect(&model, &TimerModel::disarmed, [this] { log("disarmed"); });
        QObject::connect(&model, &TimerModel::closeRequested, [this] { log("close"); });
        QObject::connect(&model, &TimerModel::quietSleepBegun, [this] { log("quiet"); });
        QObject::connect(&model, &TimerModel::loginDue, [this](TimerModel::LoginReason r) {
            log(QString("login ") + QMetaEnum::fromType<TimerModel::LoginReason>().valueToKey(int(r)));
        });
        QObject::connect(&model, &TimerModel::failed, [this](const QString &t) { log("failed " + t); });
        QObject::connect(&model, &TimerModel::alarmDue, [this] { log("ring"); });
        QObject::connect(&model, &TimerModel::snoozeOfferChanged,
                         [this](bool on) { log(on ? "snooze offered" : "snooze gone"); });
    }
    void log(const QString &what) { platform.calls << what; }
    QTimer *timer(const char *name) const { return model.findChild<QTimer *>(name); }
    // Arms for msAhead from now, the wake-up wakeMs from now.
    QString arm(Action action, qint64 msAhead, qint64 wakeMs = 3600000, const QString &command = {},
                bool closeAfter = false)
    {
        moment = clock.now().addMSecs(msAhead);
        return model.arm({DateTime::fromQDateTime(moment), action, command, closeAfter,
                          DateTime::fromQDateTime(clock.now().addMSecs(wakeMs))});
    }
    // The wall clock stands msFromMoment from the moment and the timer ticks.
    void tickAt(qint64 msFromMoment, const char *name = "Timer1")
    {
        clock.set(moment.addMSecs(msFromMoment));
        QMetaObject::invokeMethod(timer(name), "timeout");
    }

    TestClock clock;
    FakePlatform platform;
    TimerModel model{&clock, &platform};
    QDateTime moment;
    QString countdown;
    bool lastMinute = false;
};
} // namespace

class TestTimerModel : public QObject
{
    Q_OBJECT
private slots:
    void armingChecks_data();
    void armingChecks();
    void ticks_data();
    void ticks();
    void actions_data();
    void actions();
    void quietSleep_data();
    void quietSleep();
    void systemFailures_data();
    void systemFailures();
    void summerTime_data();
    void summerTime();
    void snooze_data();
    void snooze();
};

void TestTimerModel::armingChecks_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<qint64>("msAhead");
    QTest::addColumn<qint64>("wakeMs");
    QTest::addColumn<QString>("refusal"); // empty: armed
    QTest::newRow("a minute ahead") << 0 << qint64(60000) << qint64(0) << "";
    QTest::newRow("the moment is now") << 1 << qint64(0) << qint64(0) << "";
    QTest::newRow("a millisecond ago") << 2 << qint64(-1) << qint64(0) << Expired;
    QTest::newRow("no action selected") << -1 << qint64(5000) << qint64(0) << "";
    QTest::newRow("alarm before the moment, after now") << 4 << qint64(60000) << qint64(30000) << "";
    QTest::newRow("alarm already past") << 4 << qint64(60000) << qint64(-1000) << AlarmExpired;
    QTest::newRow("both past: the moment is told") << 4 << qint64(-5000) << qint64(-1000) << Expired;
}

void TestTimerModel::armingChecks()
{
    QFETCH(int, action);
    QFETCH(qint64, msAhead);
    QFETCH(qint64, wakeMs);
    QFETCH(QString, refusal);
    Model m;
    QCOMPARE(m.arm(Action(action), msAhead, wakeMs), refusal);
    const bool armed = refusal.isEmpty();
    QCOMPARE(m.model.phase(), armed ? TimerModel::Phase::Armed : TimerModel::Phase::Idle);
    QCOMPARE(m.timer("Timer1")->isActive(), armed);
    // The moment is kept even when it is refused, and so is a wake-up that was read.
    QCOMPARE(m.model.timerTime(), DateTime::fromQDateTime(m.moment));
    QCOMPARE(m.model.resetRemark(), armed ? QString("Таймер успешно отключен.") : QString());
    // Kept awake while armed, with the action in the reason.
    QCOMPARE(m.platform.idleInhibitedFor.isEmpty(), !armed);
    if (armed && action >= 0)
        QVERIFY(m.platform.idleInhibitedFor.contains(TimerActions::listTexts().at(action)));
}

void TestTimerModel::ticks_data()
{
    QTest::addColumn<QList<qint64>>("ticks"); // wall clock at each tick, from the moment
    QTest::addColumn<QString>("countdown");   // after the last tick
    QTest::addColumn<bool>("lastMinute");
    QTest::addColumn<QString>("remark");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("then"); // the machine resumes, or the clock is set, 10 min past the moment
    const QString armed = "Таймер успешно отключен.";
    const QString stirlitz = "Остановлен за 0 сек до конца. Всё балуетесь, Штирлиц.";
    const QStringList fired{"disarmed", "release", "suspend"};
    QTest::newRow("a day ahead") << QList<qint64>{-86400500} << "1 день 00:00:00" << false << armed
                                 << QStringList{} << QString();
    QTest::newRow("balloon once at 45 s") << QList<qint64>{-46500, -45500, -45100} << "00:00:45" << true
                                          << armed << QStringList{"balloon", "balloon"} << QString();
    QTest::newRow("last tick shows 00:00:00")
        << QList<qint64>{-500} << "00:00:00" << true << stirlitz << QStringList{} << QString();
    // A machine that slept through the moment wakes 45 s after it: no balloon for a moment that
    // has passed, the true distance shown, and the action at once.
    QTest::newRow("late tick") << QList<qint64>{-80500, 45200} << "00:00:45" << true << stirlitz << fired
                               << QString();
    // A moment the machine slept through, or the clock jumped over, is due at once.
    QTest::newRow("resumed past the moment")
        << QList<qint64>{} << "00:10:00" << true << stirlitz << fired << "resume";
    QTest::newRow("clock set past the moment")
        << QList<qint64>{} << "00:10:00" << true << stirlitz << fired << "clock";
    QTest::newRow("fires only once") << QList<qint64>{0, 1000} << "00:00:00" << true << stirlitz << fired
                                     << QString();
}

void TestTimerModel::ticks()
{
    QFETCH(QList<qint64>, ticks);
    QFETCH(QString, countdown);
    QFETCH(bool, lastMinute);
    QFETCH(QString, remark);
    QFETCH(QStringList, log);
    QFETCH(QString, then);
    Model m;
    m.arm(Action::Suspend, 2 * 86400000LL);
    m.platform.calls.clear();
    for (qint64 at : ticks)
        m.tickAt(at);
    if (!then.isEmpty()) {
        m.clock.set(m.moment.addSecs(600));
        if (then == "resume")
            emit m.platform.systemResumed();
        else
            emit m.platform.wallClockChanged();
        QTRY_VERIFY(m.platform.calls.contains("suspend"));
    }
    QCOMPARE(m.countdown, countdown);
    QCOMPARE(m.lastMinute, lastMinute);
    QCOMPARE(m.model.resetRemark(), remark);
    // "balloon" twice: the model announces each 45 s tick; the tray shows the first only.
    QCOMPARE(m.platform.calls, log);
}

void TestTimerModel::actions_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("starts");     // the system can start the command
    QTest::addColumn<bool>("closeAfter"); // close the program after the command
    QTest::addColumn<QStringList>("log"); // after the moment's tick, then after a second more
    const QStringList disarm{"disarmed", "release"};
    QTest::newRow("close") << 0 << "" << true << false << disarm + QStringList{"close"};
    QTest::newRow("power off") << 1 << "" << true << false << disarm + QStringList{"poweroff"};
    QTest::newRow("sleep") << 2 << "" << true << false << disarm + QStringList{"suspend"};
    QTest::newRow("command line") << 3 << " touch \"/tmp/a b\" " << true << false
                                  << disarm + QStringList{"start touch /tmp/a b"};
    QTest::newRow("address") << 3 << "http://example.org/" << true << true
                             << disarm + QStringList{"open http://example.org/", "close"};
    QTest::newRow("blank command: nothing, no close") << 3 << " \t" << true << true << disarm;
    // A failure reported as success would close the program over its own message.
    QTest::newRow("command cannot start: said, no close")
        << 3 << "no-such-program --flag" << false << true
        << disarm + QStringList{"start no-such-program --flag",
                                "failed Команда не запущена: No such file or directory"};
    QTest::newRow("quiet sleep") << 4 << "" << true << false
                                 << disarm + QStringList{"quiet",
                                                         "inhibit Будильник Ondavo включит радио в %wake"};
    QTest::newRow("none selected") << -1 << "" << true << false << disarm;
}

void TestTimerModel::actions()
{
    QFETCH(int, action);
    QFETCH(QString, command);
    QFETCH(bool, starts);
    QFETCH(bool, closeAfter);
    QFETCH(QStringList, log);
    Model m;
    m.platform.startSucceeds = starts;
    m.arm(Action(action), 10000, 86410000, command, closeAfter);
    log.replaceInStrings("%wake", LocaleDateTime::format(m.model.wakeUpTime(), QLocale()));
    m.platform.calls.clear();
    m.tickAt(0);
    // The close waits a second, so the started program can take the screen.
    QTimer *closeTimer = m.timer("CloseOnExecTimer");
    QCOMPARE(closeTimer->isActive(), log.endsWith("close") && action == 3);
    if (closeTimer->isActive()) {
        QCOMPARE(closeTimer->interval(), 1000);
        QMetaObject::invokeMethod(closeTimer, "timeout");
    }
    QCOMPARE(m.platform.calls, log);
}

void TestTimerModel::quietSleep_data()
{
    QTest::addColumn<qint64>("wakeMs"); // from arming; the moment is 30 s on
    QTest::addColumn<QString>("end");   // "wake-up" or "reset"
    QTest::addColumn<bool>("audible");  // the radio plays when the alarm watch ends
    QTest::newRow("wake-up, the radio silent: the program rings") << qint64(90000) << "wake-up" << false;
    QTest::newRow("wake-up, the radio plays: no second alarm") << qint64(90000) << "wake-up" << true;
    // Arming accepts it; the service still has the sleep request a second before the login.
    QTest::newRow("wake-up before the moment") << qint64(20000) << "wake-up" << false;
    QTest::newRow("user's reset never rings") << qint64(3600000) << "reset" << false;
}

void TestTimerModel::quietSleep()
{
    QFETCH(qint64, wakeMs);
    QFETCH(QString, end);
    QFETCH(bool, audible);
    Model m;
    m.arm(Action::QuietSleep, 30000, wakeMs);
    m.tickAt(0);
    QCOMPARE(m.model.phase(), TimerModel::Phase::QuietSleep);
    QVERIFY(!m.timer("Timer1")->isActive());
    // The first wake-up tick never comes sooner than a second after the sleep request.
    QCOMPARE(m.timer("WakeUpTimer")->interval(), 1000);
    m.platform.calls.clear();
    if (end == "reset") {
        m.model.reset();
        QCOMPARE(m.platform.calls, QStringList({"login UserReset", "disarmed", "release"}));
    } else {
        const qint64 wakeFromMoment = wakeMs - 30000;
        if (wakeFromMoment > 1000) {
            m.tickAt(wakeFromMoment - 500, "WakeUpTimer");
            QCOMPARE(m.countdown, QString("00:00:00"));
            QCOMPARE(m.timer("WakeUpTimer")->interval(), 500); // the next tick is the wake-up itself
        }
        m.tickAt(qMax<qint64>(wakeFromMoment, 1000), "WakeUpTimer");
        QCOMPARE(m.platform.calls, QStringList({"disarmed", "release", "login WakeUp", "snooze offered"}));
        m.model.setRadioAudible(audible);
        QCOMPARE(m.timer("AlarmWatch")->interval(), 20000);
        QMetaObject::invokeMethod(m.timer("AlarmWatch"), "timeout");
        QCOMPARE(m.platform.calls.endsWith("ring"), !audible);
    }
    QCOMPARE(m.timer("AlarmWatch")->isActive(), end == "wake-up");
    QCOMPARE(m.model.phase(), TimerModel::Phase::Idle);
    QVERIFY(!m.timer("WakeUpTimer")->isActive());
}

void TestTimerModel::systemFailures_data()
{
    QTest::addColumn<int>("action"); // armed and fired; -2: only armed
    QTest::addColumn<int>("request");
    QTest::addColumn<QStringList>("log");
    const auto refused = [](const char *what) {
        return QStringList{QString("failed ") + what + ": Access denied"};
    };
    QTest::newRow("power-off refused")
        << 1 << int(Platform::Request::PowerOff) << refused("Компьютер не выключен");
    // The panes were stopped for the sleep: the radio comes back.
    QTest::newRow("sleep refused") << 2 << int(Platform::Request::Suspend)
                                   << refused("Компьютер не уснул") + QStringList{"login SleepRefused"};
    QTest::newRow("idle lock refused while armed")
        << -2 << int(Platform::Request::IdleLock) << refused("Система может уснуть до срока таймера");
    QTest::newRow("idle lock refused after the moment")
        << -1 << int(Platform::Request::IdleLock) << QStringList{};
}

void TestTimerModel::systemFailures()
{
    QFETCH(int, action);
    QFETCH(int, request);
    QFETCH(QStringList, log);
    Model m;
    m.arm(Action(qMax(action, -1)), 1000);
    if (action != -2)
        m.tickAt(0);
    m.platform.calls.clear();
    emit m.platform.requestFailed(Platform::Request(request), "Access denied");
    QCOMPARE(m.platform.calls, log);
}

void TestTimerModel::summerTime_data()
{
    QTest::addColumn<QDateTime>("armedAt");
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<QString>("countdown");
    // Spring forward: 02:00 is 03:00, so under an hour is left.
    QTest::newRow("spring") << QDateTime(QDate(2026, 3, 8), QTime(1, 58, 19))
                            << QDateTime(QDate(2026, 3, 8), QTime(3, 58, 12)) << "00:59:53";
    // Fall back: 01:30 comes twice; the first is meant.
    QTest::newRow("autumn") << QDateTime(QDate(2026, 11, 1), QTime(0, 50))
                            << QDateTime(QDate(2026, 11, 1), QTime(1, 30)) << "00:40:00";
}

void TestTimerModel::summerTime()
{
    QFETCH(QDateTime, armedAt);
    QFETCH(QDateTime, moment);
    QFETCH(QString, countdown);
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "America/New_York");
    tzset();
    Model m;
    m.clock.set(QDateTime(armedAt.date(), armedAt.time()));
    m.model.arm({DateTime::fromQDateTime(moment), Action::CloseProgram, {}, false, {}});
    QMetaObject::invokeMethod(m.timer("Timer1"), "timeout");
    QCOMPARE(m.countdown, countdown);
    // The countdown and the firing agree: the close comes when the countdown runs out.
    m.clock.advanceMSecs(QTime(0, 0).msecsTo(QTime::fromString(countdown)) - 1);
    QMetaObject::invokeMethod(m.timer("Timer1"), "timeout");
    QVERIFY(!m.platform.calls.contains("close"));
    m.clock.advanceMSecs(1);
    QMetaObject::invokeMethod(m.timer("Timer1"), "timeout");
    QVERIFY(m.platform.calls.contains("close"));
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    tzset();
}

void TestTimerModel::snooze_data()
{
    QTest::addColumn<QString>("before"); // what happens between the wake-up and the snooze
    QTest::addColumn<bool>("snoozes");
    QTest::newRow("snoozed at once") << "" << true;
    QTest::newRow("snoozed after the program's own alarm") << "ring" << true;
    QTest::newRow("the user touched the program") << "touch" << false;
    QTest::newRow("half an hour passed") << "half an hour" << false;
    QTest::newRow("a new timer was armed") << "arm" << false;
}

// The alarm put off: quiet sleep again with its countdown, idle lock and wake-up ten minutes on;
// the wake-up the user chose stays the one the settings keep.
void TestTimerModel::snooze()
{
    QFETCH(QString, before);
    QFETCH(bool, snoozes);
    Model m;
    m.arm(Action::QuietSleep, 1000, 2000);
    m.tickAt(0);
    m.tickAt(1000, "WakeUpTimer");
    QVERIFY(m.model.isSnoozeOffered());
    const DateTime chosen = m.model.wakeUpTime();
    if (before == "ring")
        QMetaObject::invokeMethod(m.timer("AlarmWatch"), "timeout");
    else if (before == "touch")
        m.model.endSnoozeOffer();
    else if (before == "half an hour")
        QMetaObject::invokeMethod(m.timer("SnoozeOffer"), "timeout");
    else if (before == "arm")
        m.arm(Action::CloseProgram, 60000);
    m.platform.calls.clear();
    m.model.snooze();
    QCOMPARE(m.model.phase() == TimerModel::Phase::QuietSleep, snoozes);
    QCOMPARE(m.model.isSnoozeOffered(), false);
    if (!snoozes) {
        QVERIFY(!m.platform.calls.contains("quiet"));
        return;
    }
    QCOMPARE(m.platform.calls.mid(0, 2), QStringList({"snooze gone", "quiet"}));
    QVERIFY(m.platform.idleInhibitedFor.startsWith("Будильник Ondavo"));
    QVERIFY(!m.timer("AlarmWatch")->isActive());
    const QDateTime snoozedAt = m.clock.now();
    m.clock.set(snoozedAt.addSecs(599));
    QMetaObject::invokeMethod(m.timer("WakeUpTimer"), "timeout");
    QCOMPARE(m.countdown, QString("00:00:01"));
    m.clock.set(snoozedAt.addSecs(600));
    QMetaObject::invokeMethod(m.timer("WakeUpTimer"), "timeout");
    QVERIFY(m.platform.calls.contains("login WakeUp"));
    QCOMPARE(m.model.wakeUpTime(), chosen);
}

QTEST_GUILESS_MAIN(TestTimerModel)
#include "tst_timermodel.moc"
