// The timer model on a clock that stands still and a platform that only records, with the real
// radio session on a fake pane: arming, ticks, each action, quiet sleep, the failures the system
// reports, and the requests the radio sends meanwhile.
#include "fakes/fakepane.h"
#include "fakes/fakeplatform.h"
#include "fakes/testclock.h"
#include "radio/radiosession.h"
#include "settings/localedatetime.h"
#include "timer/timermodel.h"

#include <QTemporaryDir>
#include <QtTest>

#include <ctime>

namespace {
using Action = TimerModel::Action;
const QString Expired = "Установленное время уже истекло!";
const QString AlarmExpired = "Время будильника уже истекло!";

// One model; its signals, the system calls and the radio's requests land in one log, in order.
struct Model
{
    Model()
    {
        QDir().mkpath(exe.filePath("radio/localhost"));
        QFile page(exe.filePath("radio/localhost/index.htm"));
        page.open(QIODevice::WriteOnly);
        platform.exeFolder = exe.path() + '/';
        pane.log = &platform.calls;
        QObject::connect(&model, &TimerModel::ticked, [this](const QString &t, bool last) {
            countdown = t;
            lastMinute = last;
        });
        QObject::connect(&model, &TimerModel::wakeUpTicked, [this](const QString &t) { countdown = t; });
        QObject::connect(&model, &TimerModel::balloonDue, [this] { log("balloon"); });
        QObject::connect(&model, &TimerModel::disarmed, [this] { log("disarmed"); });
        QObject::connect(&model, &TimerModel::closeRequested, [this] { log("close"); });
        QObject::connect(&model, &TimerModel::failed, [this](const QString &t) { log("failed " + t); });
        QObject::connect(&model, &TimerModel::warning, [this](const QString &t) { log("warning " + t); });
        QObject::connect(&model, &TimerModel::snoozeOfferChanged,
                         [this](bool on) { log(on ? "snooze offered" : "snooze gone"); });
        QObject::connect(&model, &TimerModel::notice, [this](const QString &t) { log("notice " + t); });
    }
    void log(const QString &what) { platform.calls << what; }
    // Arms for msAhead from now, the wake-up wakeMs from now.
    QString arm(Action action, qint64 msAhead, qint64 wakeMs = 3600000, const QString &command = {},
                bool closeAfter = false)
    {
        moment = clock.now().addMSecs(msAhead);
        TimerSettings draft;
        draft.action = int(action);
        draft.command = command;
        draft.closeAfterCommand = closeAfter;
        draft.moment = DateTime::fromQDateTime(moment);
        draft.wakeUp = DateTime::fromQDateTime(clock.now().addMSecs(wakeMs));
        return model.arm(draft);
    }
    // The wall clock stands msFromMoment from the moment and the countdown (or wake-up) ticks.
    void tickAt(qint64 msFromMoment, bool wakeUp = false)
    {
        clock.set(moment.addMSecs(msFromMoment));
        wakeUp ? model.onWakeUpTick() : model.tick();
    }

    QTemporaryDir exe;
    TestClock clock;
    FakePlatform platform;
    FakePane pane;
    RadioSession radio{&pane, &platform, {"svc.test", "partner.test", "http://site.test"}};
    TimerModel model{&clock, &platform, &radio};
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
    void fadeOut_data();
    void fadeOut();
    void summerTime_data();
    void summerTime();
    void snooze_data();
    void snooze();
    void nights_data();
    void nights();
    void resumeAtStart_data();
    void resumeAtStart();
};

void TestTimerModel::armingChecks_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<qint64>("msAhead");
    QTest::addColumn<qint64>("wakeMs");
    QTest::addColumn<QString>("refusal"); // empty: armed; "warning …": armed, and that said
    QTest::newRow("a minute ahead") << 0 << qint64(60000) << qint64(0) << "";
    QTest::newRow("the moment is now") << 1 << qint64(0) << qint64(0) << "";
    QTest::newRow("a millisecond ago") << 2 << qint64(-1) << qint64(0) << Expired;
    QTest::newRow("no action selected") << -1 << qint64(5000) << qint64(0) << "";
    QTest::newRow("alarm before the moment, after now") << 4 << qint64(60000) << qint64(30000) << "";
    QTest::newRow("alarm already past") << 4 << qint64(60000) << qint64(-1000) << AlarmExpired;
    QTest::newRow("both past: the moment is told") << 4 << qint64(-5000) << qint64(-1000) << Expired;
    // No sound server: armed, and said at once, for an alarm nobody would hear.
    QTest::newRow("alarm that cannot be heard")
        << 4 << qint64(60000) << qint64(3600000)
        << "warning Будильник не будет слышен: звуковой сервер недоступен";
}

void TestTimerModel::armingChecks()
{
    QFETCH(int, action);
    QFETCH(qint64, msAhead);
    QFETCH(qint64, wakeMs);
    QFETCH(QString, refusal);
    Model m;
    const bool warned = refusal.startsWith("warning");
    m.platform.soundHeard = !warned;
    QCOMPARE(m.arm(Action(action), msAhead, wakeMs), warned ? QString() : refusal);
    QCOMPARE(m.platform.calls.filter("warning"), warned ? QStringList{refusal} : QStringList());
    const bool armed = refusal.isEmpty() || warned;
    QCOMPARE(m.model.phase(), armed ? TimerModel::Phase::Armed : TimerModel::Phase::Idle);
    QCOMPARE(m.model.nextTickMs() >= 0, armed);
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
    // The radio pane stops before the sleep is asked for.
    const QStringList fired{"disarmed", "release", "stop", "suspend"};
    QTest::newRow("a day ahead") << QList<qint64>{-86400500} << "1 день 00:00:00" << false << armed
                                 << QStringList{} << QString();
    // Ticks slightly less than a second apart both see 45 s: one balloon, until the user saw it.
    QTest::newRow("balloon once at 45 s") << QList<qint64>{-46500, -45500, -45100} << "00:00:45" << true
                                          << armed << QStringList{"balloon"} << QString();
    QTest::newRow("balloon again once seen") << QList<qint64>{-45500, -45100} << "00:00:45" << true << armed
                                             << QStringList{"balloon", "balloon"} << "seen";
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
    if (then == "seen") {
        m.model.balloonSeen();
        m.tickAt(ticks.last() + 50);
    } else if (!then.isEmpty()) {
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
    QTest::newRow("sleep") << 2 << "" << true << false << disarm + QStringList{"stop", "suspend"};
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
                                 << disarm + QStringList{"sleep",
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
    const bool waits = log.endsWith("close") && action == 3;
    QCOMPARE(m.model.isCloseAfterCommandPending(), waits);
    if (waits) {
        QVERIFY(!m.platform.calls.contains("close"));
        QTRY_VERIFY_WITH_TIMEOUT(!m.model.isCloseAfterCommandPending(), 3000);
    }
    QCOMPARE(m.platform.calls, log);
}

void TestTimerModel::quietSleep_data()
{
    QTest::addColumn<qint64>("wakeMs");   // from arming; the moment is 30 s on
    QTest::addColumn<QString>("end");     // "wake-up", "reset", "arm" or "close"
    QTest::addColumn<bool>("audible");    // the radio plays when the alarm watch ends
    QTest::addColumn<QStringList>("log"); // from the moment on
    const QStringList began{"disarmed", "release", "sleep", "inhibit"};
    const QStringList woke = began + QStringList{"disarmed", "release", "login", "snooze offered"};
    QTest::newRow("wake-up, the radio silent: the program rings")
        << qint64(90000) << "wake-up" << false << woke + QStringList{"alarm"};
    QTest::newRow("wake-up, the radio plays: no second alarm") << qint64(90000) << "wake-up" << true << woke;
    // Arming accepts it; the service still has the sleep request a second before the login.
    QTest::newRow("wake-up before the moment")
        << qint64(20000) << "wake-up" << false << woke + QStringList{"alarm"};
    QTest::newRow("user's reset never rings")
        << qint64(3600000) << "reset" << false << began + QStringList{"login", "disarmed", "release"};
    // The page locks its set button meanwhile; the model refuses on its own.
    QTest::newRow("arming again is refused") << qint64(3600000) << "arm" << false << began;
    // Closing: no wake-up login after the logoff, and nothing rings.
    QTest::newRow("the program closes")
        << qint64(60000) << "close" << false << began + QStringList{"logoff", "release"};
}

void TestTimerModel::quietSleep()
{
    QFETCH(qint64, wakeMs);
    QFETCH(QString, end);
    QFETCH(bool, audible);
    QFETCH(QStringList, log);
    Model m;
    m.radio.setAlarmWatchMs(10);
    m.arm(Action::QuietSleep, 30000, wakeMs);
    m.platform.calls.clear();
    m.tickAt(0);
    QCOMPARE(m.model.phase(), TimerModel::Phase::QuietSleep);
    // The first wake-up tick never comes sooner than a second after the sleep request.
    QCOMPARE(m.model.nextTickMs(), 1000);
    const qint64 wakeFromMoment = qMax<qint64>(wakeMs - 30000, 1000);
    if (end == "reset") {
        m.model.reset();
    } else if (end == "arm") {
        QCOMPARE(m.arm(Action::CloseProgram, 60000),
                 QString("Тихий режим \"Сон\" уже включен: сначала нажмите \"Снять\""));
        QCOMPARE(m.model.phase(), TimerModel::Phase::QuietSleep);
    } else if (end == "close") {
        QVERIFY(m.radio.logoff());
        m.model.stop();
        m.tickAt(wakeFromMoment, true);
    } else {
        if (wakeFromMoment > 1000) {
            m.tickAt(wakeFromMoment - 500, true);
            QCOMPARE(m.countdown, QString("00:00:00"));
            QCOMPARE(m.model.nextTickMs(), 500); // the next tick is the wake-up itself
        }
        m.tickAt(wakeFromMoment, true);
        QCOMPARE(m.pane.isAudioMuted(), false);
        m.pane.setAudible(audible);
        QVERIFY(m.radio.isAlarmWatched());
        QTRY_VERIFY(!m.radio.isAlarmWatched());
    }
    m.platform.calls.replaceInStrings(QRegularExpression("^inhibit .*"), "inhibit");
    QCOMPARE(m.platform.calls, log);
    QCOMPARE(m.model.nextTickMs() >= 0, end == "arm");
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
                                   << refused("Компьютер не уснул") + QStringList{"login"};
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

// The sound falls over the last minute before an action that ends it, and is back when the action
// is called off or the system refuses it.
void TestTimerModel::fadeOut_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<qint64>("tickAt"); // ms from the moment
    QTest::addColumn<QString>("then");
    QTest::addColumn<double>("volume"); // what the pane plays at, the listener's being 0.8
    QTest::newRow("over a minute ahead") << 4 << qint64(-61000) << "" << 0.8;
    QTest::newRow("quiet sleep, half-way") << 4 << qint64(-30000) << "" << 0.4;
    QTest::newRow("closing, 45 s left") << 0 << qint64(-45000) << "" << 0.6;
    QTest::newRow("power-off, 15 s left") << 1 << qint64(-15000) << "" << 0.2;
    QTest::newRow("sleep, 6 s left") << 2 << qint64(-6000) << "" << 0.08;
    QTest::newRow("a command plays on") << 3 << qint64(-30000) << "" << 0.8;
    QTest::newRow("at the moment") << 4 << qint64(0) << "" << 0.0;
    QTest::newRow("reset") << 4 << qint64(-30000) << "reset" << 0.8;
    QTest::newRow("armed anew") << 1 << qint64(-30000) << "arm" << 0.8;
    QTest::newRow("power-off refused") << 1 << qint64(0) << "refused" << 0.8;
    QTest::newRow("sleep refused") << 2 << qint64(0) << "refused" << 0.8;
}

void TestTimerModel::fadeOut()
{
    QFETCH(int, action);
    QFETCH(qint64, tickAt);
    QFETCH(QString, then);
    QFETCH(double, volume);
    Model m;
    m.radio.setVolume(0.8);
    m.arm(Action(action), 120000);
    m.tickAt(tickAt);
    if (then == "reset")
        m.model.reset();
    else if (then == "arm")
        m.arm(Action(action), 600000);
    else if (then == "refused")
        emit m.platform.requestFailed(action == 1 ? Platform::Request::PowerOff : Platform::Request::Suspend,
                                      "Access denied");
    QVERIFY2(qAbs(m.pane.volume - volume) < 0.01, qPrintable(QString::number(m.pane.volume)));
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
    TimerSettings draft;
    draft.moment = DateTime::fromQDateTime(moment); // the wall-clock reading, as the pickers give it
    m.model.arm(draft);
    m.model.tick();
    QCOMPARE(m.countdown, countdown);
    // The countdown and the firing agree: the close comes when the countdown runs out.
    m.clock.advanceMSecs(QTime(0, 0).msecsTo(QTime::fromString(countdown)) - 1);
    m.model.tick();
    QVERIFY(!m.platform.calls.contains("close"));
    m.clock.advanceMSecs(1);
    m.model.tick();
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
    QTest::newRow("the program began to close") << "close" << false;
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
    if (before == "half an hour")
        m.model.setSnoozeOfferMs(10);
    m.arm(Action::QuietSleep, 1000, 2000);
    m.tickAt(0);
    m.tickAt(1000, true);
    QVERIFY(m.model.isSnoozeOffered());
    const DateTime chosen = m.model.wakeUpTime();
    if (before == "ring")
        m.radio.ringAlarm();
    else if (before == "touch")
        m.model.endSnoozeOffer();
    else if (before == "half an hour")
        QTRY_VERIFY(!m.model.isSnoozeOffered());
    else if (before == "arm")
        m.arm(Action::CloseProgram, 60000);
    else if (before == "close")
        m.model.stop();
    m.platform.calls.clear();
    m.model.snooze();
    QCOMPARE(m.model.phase() == TimerModel::Phase::QuietSleep, snoozes);
    QCOMPARE(m.model.isSnoozeOffered(), false);
    if (!snoozes) {
        QVERIFY(!m.platform.calls.contains("sleep"));
        return;
    }
    QCOMPARE(m.platform.calls.mid(0, 2), QStringList({"snooze gone", "sleep"}));
    QVERIFY(m.platform.idleInhibitedFor.startsWith("Будильник Ondavo"));
    QVERIFY(!m.radio.isAlarmWatched() && !m.radio.isAlarmRinging());
    const QDateTime snoozedAt = m.clock.now();
    m.clock.set(snoozedAt.addSecs(599));
    m.model.onWakeUpTick();
    QCOMPARE(m.countdown, QString("00:00:01"));
    m.clock.set(snoozedAt.addSecs(600));
    m.model.onWakeUpTick();
    QVERIFY(m.platform.calls.contains("login"));
    QCOMPARE(m.model.wakeUpTime(), chosen);
}

// Night after night, and the computer asleep until the alarm: quiet sleep armed 30 s ahead (the
// clock stands at Thursday 1 January 2026, 12:00), the wake-up an hour ahead.
void TestTimerModel::nights_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<bool>("sleepUntilAlarm");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("log"); // what the radio, the platform and the model said, from the moment
    QTest::addColumn<QString>("next");    // the next alarm, as the tray says it
    const QStringList night{"arm", "moment", "answered", "wake"};
    QTest::newRow("every day: tomorrow armed by itself, no second sleep today")
        << int(Repeat::AllDays) << false << night << QStringList{"sleep", "login", "snooze offered"}
        << "Будильник: пт 13:00";
    QTest::newRow("after the snooze, tomorrow again")
        << int(Repeat::AllDays) << false << night + QStringList{"snooze", "snooze ends"}
        << QStringList{"sleep", "login", "snooze offered", "snooze gone", "sleep", "login", "snooze offered"}
        << "Будильник: пт 13:00";
    // The computer was off through the wake-up: the radio logs in, nothing rings, the miss is said.
    QTest::newRow("an hour late: no alarm, the miss said")
        << int(Repeat::AllDays) << false << QStringList{"arm", "moment", "late wake"}
        << QStringList{"sleep", "login", "warning Будильник пропущен: он должен был прозвенеть %wake"}
        << "Будильник: пт 13:00";
    // Off through the whole night: it is gone, not played late; the next one is armed.
    QTest::newRow("a repeated night slept through")
        << int(Repeat::AllDays) << false << QStringList{"arm", "late moment"}
        << QStringList{"warning Будильник пропущен: он должен был прозвенеть %wake"} << "Будильник: пт 13:00";
    QTest::newRow("asleep until two minutes before the alarm")
        << 0 << true << night
        << QStringList{"sleep", "suspend-until -2m", "cancel-wake", "login", "snooze offered"} << "";
    QTest::newRow("no timer, no sleep: said, and kept awake")
        << 0 << true << QStringList{"arm", "moment", "answered", "timer refused"}
        << QStringList{"sleep", "suspend-until -2m", "failed Компьютер не уснул до будильника: Access denied"}
        << "Будильник: чт 13:00";
    QTest::newRow("reset stops the timer")
        << 0 << true << QStringList{"arm", "moment", "answered", "reset"}
        << QStringList{"sleep", "suspend-until -2m", "cancel-wake", "login"} << "";
    QTest::newRow("a snooze keeps the computer up")
        << 0 << true << night + QStringList{"snooze", "answered"}
        << QStringList{"sleep",          "suspend-until -2m", "cancel-wake", "login",
                       "snooze offered", "snooze gone",       "sleep"}
        << "Будильник: чт 13:10";
    QTest::newRow("closing stops the timer")
        << 0 << true << QStringList{"arm", "moment", "answered", "close"}
        << QStringList{"sleep", "suspend-until -2m", "cancel-wake"} << "";
    // The program's own alarm is the guarantee then: quiet sleep stays.
    QTest::newRow("the service refuses the sleep")
        << 0 << false << QStringList{"arm", "moment", "refused"}
        << QStringList{"sleep", "failed Будильник не принят сервисом: ответ 403", "partner"}
        << "Будильник: чт 13:00";
}

void TestTimerModel::nights()
{
    QFETCH(int, days);
    QFETCH(bool, sleepUntilAlarm);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, log);
    QFETCH(QString, next);
    Model m;
    m.clock.set(QDateTime(QDate(2026, 1, 1), QTime(12, 0)));
    const QDateTime wake = m.clock.now().addSecs(3600);
    QDateTime snoozeEnds;
    for (const QString &step : steps) {
        if (step == "arm") {
            TimerSettings draft;
            draft.action = int(Action::QuietSleep);
            m.moment = m.clock.now().addSecs(30);
            draft.moment = DateTime::fromQDateTime(m.moment);
            draft.wakeUp = DateTime::fromQDateTime(wake);
            draft.repeatDays = Repeat::Days(days);
            draft.sleepUntilAlarm = sleepUntilAlarm;
            QCOMPARE(m.model.arm(draft), QString());
            m.platform.calls.clear();
        } else if (step == "moment") {
            m.tickAt(0);
        } else if (step == "late moment") {
            m.clock.set(wake.addSecs(2 * 3600));
            m.model.tick();
        } else if (step == "answered" || step == "refused") {
            if (step == "answered")
                m.pane.complete(m.pane.lastUrl());
            else
                m.pane.fail(m.pane.lastUrl(), "ответ 403");
        } else if (step == "wake" || step == "late wake") {
            m.clock.set(wake.addSecs(step == "wake" ? 0 : 61 * 60));
            m.model.onWakeUpTick();
        } else if (step == "snooze") {
            m.model.snooze();
            snoozeEnds = m.clock.now().addSecs(600);
        } else if (step == "snooze ends") {
            m.clock.set(snoozeEnds);
            m.model.onWakeUpTick();
        } else if (step == "timer refused") {
            emit m.platform.requestFailed(Platform::Request::WakeTimer, "Access denied");
        } else if (step == "reset") {
            m.model.reset();
        } else if (step == "close") {
            m.model.stop();
        }
    }
    QStringList got;
    for (const QString &call : std::as_const(m.platform.calls)) {
        if (call.startsWith("inhibit") || call == "release" || call == "disarmed")
            continue;
        got << (call == "suspend-until " + wake.addSecs(-120).toString(Qt::ISODate) ? "suspend-until -2m"
                                                                                    : call);
    }
    log.replaceInStrings("%wake", LocaleDateTime::format(DateTime::fromQDateTime(wake), QLocale()));
    QCOMPARE(got, log);
    QCOMPARE(m.model.nextAlarmText(), next);
    // Asleep or not, the machine is held awake through quiet sleep.
    if (m.model.phase() == TimerModel::Phase::QuietSleep)
        QVERIFY(!m.platform.idleInhibitedFor.isEmpty());
}

// A program started with days kept arms the next night by itself, and says so.
void TestTimerModel::resumeAtStart_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<QDateTime>("keptSleep");
    QTest::addColumn<QDateTime>("keptWake");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("phase");
    QTest::addColumn<QDateTime>("wake"); // the wake-up armed
    const QDate thu(2026, 1, 1);
    const QDateTime sleep(thu.addDays(-1), QTime(23, 0)), wake(thu, QTime(7, 0));
    QTest::newRow("the next night ahead")
        << int(Repeat::AllDays) << sleep << wake << QDateTime(thu, QTime(12, 0)) << "Armed"
        << QDateTime(thu.addDays(1), QTime(7, 0));
    QTest::newRow("its moment passed, its wake-up ahead: the wake-up alone")
        << int(Repeat::AllDays) << sleep.addDays(-2) << wake.addDays(-2) << QDateTime(thu, QTime(3, 0))
        << "QuietSleep" << wake;
    QTest::newRow("the kept night still to come")
        << 0x10 << sleep << wake << QDateTime(thu.addDays(-1), QTime(22, 0)) << "Armed" << wake;
    QTest::newRow("no day ticked") << 0 << sleep << wake << QDateTime(thu, QTime(12, 0)) << "Idle"
                                   << QDateTime();
}

void TestTimerModel::resumeAtStart()
{
    QFETCH(int, days);
    QFETCH(QDateTime, keptSleep);
    QFETCH(QDateTime, keptWake);
    QFETCH(QDateTime, now);
    QFETCH(QString, phase);
    QFETCH(QDateTime, wake);
    Model m;
    m.clock.set(now);
    TimerSettings kept;
    kept.repeatDays = Repeat::Days(days);
    kept.quietSleepAt = DateTime::fromQDateTime(keptSleep);
    kept.wakeUp = DateTime::fromQDateTime(keptWake);
    m.model.setKept(kept);
    m.model.resumeRepeat();
    QCOMPARE(QMetaEnum::fromType<TimerModel::Phase>().valueToKey(int(m.model.phase())), phase);
    QCOMPARE(m.model.wakeUpTime().toQDateTime(), wake.isValid() ? wake : keptWake);
    // Nothing goes to the service: the radio plays as at any start until the night's moment.
    QVERIFY(!m.platform.calls.contains("sleep"));
    QCOMPARE(m.platform.calls.filter("notice").size(), wake.isValid() ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestTimerModel)
#include "tst_timermodel.moc"
