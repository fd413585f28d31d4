// The radio session on a fake pane: which requests go out in which order, where a failed page
// leads, when the program's own alarm rings, and what the desktop's player controls see.
#include "fakes/fakepane.h"
#include "fakes/fakeplatform.h"
#include "radio/radiosession.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QUrl ServicePage("http://svc.test:8470/redirector/?username=&passw=&action=login&client=Ondavo3");
const QUrl PartnerPage("http://partner.test:8471/export/radio_player.html");
const QUrl LogoffPage("http://svc.test:8470/redirector/?username=&passw=&action=logoff");
const QString Connecting = "Пожалуйста подождите. Производится подключение.";
const QString Ringing = "Радио не зазвучало: звонит будильник Ondavo";

// A session on a fake pane; the pane's requests and the session's words land in one log.
struct Session
{
    explicit Session(bool localPage = true)
    {
        if (localPage) {
            QDir().mkpath(exe.filePath("radio/localhost"));
            QFile page(exe.filePath("radio/localhost/index.htm"));
            page.open(QIODevice::WriteOnly);
        }
        platform.exeFolder = exe.path() + '/';
        pane.log = &log;
        radio.setAlarmWatchMs(10);
        QObject::connect(&radio, &RadioSession::message, [this](const QString &t) { panel = t; });
        QObject::connect(&radio, &RadioSession::localPageMissing, [this] { log << "missing"; });
        QObject::connect(&radio, &RadioSession::logoffFailed, [this] { log << "logoff failed"; });
        QObject::connect(&radio, &RadioSession::soundUnheard, [this] { log << "unheard"; });
    }
    // One step of a flow, as the timer, the closing sequence, the engine or the listener takes it.
    void step(const QString &what)
    {
        if (what == "login")
            radio.login();
        else if (what == "logoff")
            radio.logoff();
        else if (what == "quiet")
            radio.goQuiet("09.12.2026 07:00:00");
        else if (what == "wake-up")
            radio.wakeUp();
        else if (what == "reset")
            radio.endQuietSleep();
        else if (what == "pause")
            radio.pause();
        else if (what == "plays")
            pane.setAudible(true);
        else if (what == "watch ends")
            QTRY_VERIFY(!radio.isAlarmWatched());
        else if (what == "service fails")
            pane.fail(ServicePage);
        else if (what == "partner fails")
            pane.fail(PartnerPage);
        else if (what == "station plays")
            pane.media(BrowserPane::MediaEvent::Playing);
        else if (what == "page pause")
            pane.media(BrowserPane::MediaEvent::Paused);
        else if (what == "stream fails")
            pane.media(BrowserPane::MediaEvent::Error);
        else if (what == "stream ends")
            pane.media(BrowserPane::MediaEvent::Ended);
        else if (what == "stream stalls")
            pane.media(BrowserPane::MediaEvent::Stalled);
        else if (what == "short alarm")
            radio.setAlarmRingMs(0);
        else if (what == "play")
            radio.play();
        else if (what == "hold")
            radio.holdStation();
        else if (what == "network back")
            emit platform.networkReturned();
        else if (what == "retry")
            fire("ReconnectTimer");
        else if (what == "stall ends")
            fire("StallTimer");
        else if (what == "attempt hangs")
            fire("AttemptTimer");
        else
            QFAIL(qPrintable("unknown step " + what));
    }
    // The timer's wait, cut short: it must be running.
    void fire(const QString &name)
    {
        auto *timer = radio.findChild<QTimer *>(name);
        QVERIFY(timer && timer->isActive());
        timer->start(0);
        QTRY_VERIFY(!timer->isActive());
    }

    QTemporaryDir exe;
    FakePlatform platform;
    FakePane pane;
    RadioSession radio{&pane, &platform, {"svc.test:8470", "partner.test:8471", "http://site.test"}};
    QStringList log;
    QString panel;
};
} // namespace

class TestRadioSession : public QObject
{
    Q_OBJECT
private slots:
    void flows_data();
    void flows();
    void fallbackChain_data();
    void fallbackChain();
    void volumeAndFade_data();
    void volumeAndFade();
    void alarmKeepsItsMessage();
    void playerControls_data();
    void playerControls();
};

void TestRadioSession::flows_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("requests"); // what reached the pane, in order
    QTest::addColumn<QString>("panel");        // status-bar panel 1 at the end
    QTest::addColumn<bool>("muted");
    QTest::addColumn<bool>("pending"); // a reconnect attempt is still to come
    const QString quiet = "Активирован тихий режим \"Сон\"";
    QTest::newRow("start") << QStringList{"login"} << QStringList{"login"} << Connecting << false << false;
    QTest::newRow("quiet sleep") << QStringList{"login", "quiet"} << QStringList{"login", "sleep"} << quiet
                                 << false << false;
    QTest::newRow("wake-up unmutes a radio paused by the keys")
        << QStringList{"quiet", "pause", "wake-up", "plays", "watch ends"} << QStringList{"sleep", "login"}
        << Connecting << false << false;
    QTest::newRow("reset unmutes too") << QStringList{"quiet", "pause", "reset"}
                                       << QStringList{"sleep", "login"} << Connecting << false << false;
    QTest::newRow("a plain login keeps the pause")
        << QStringList{"pause", "login"} << QStringList{"login"} << Connecting << true << false;
    // Whatever page the pane is on at the wake-up, silence rings: here every host is down.
    QTest::newRow("every host down at the wake-up")
        << QStringList{"quiet", "wake-up", "service fails", "partner fails", "watch ends"}
        << QStringList{"sleep", "login", "partner", "local", "alarm"} << Ringing << false << true;
    QTest::newRow("the local page already showing")
        << QStringList{"login", "service fails", "partner fails", "quiet", "wake-up", "watch ends"}
        << QStringList{"login", "partner", "local", "sleep", "login", "alarm"} << Ringing << false << false;
    // From the logoff on nothing else reaches the service, and nothing rings.
    QTest::newRow("closing ends it all")
        << QStringList{"wake-up", "logoff", "login", "quiet", "wake-up", "watch ends", "service fails"}
        << QStringList{"login", "logoff"} << "Пожалуйста подождите. Идет закрытие соединений." << false
        << false;
    // The station kept playing.
    QTest::addColumn<bool>("pending"); // an attempt is still to come
    const auto retryIn = [](int s) { return QString("Нет связи с радио: новая попытка через %1 с").arg(s); };
    const QStringList downTwice = {"service fails", "partner fails", "retry"};
    QTest::newRow("the stream fails: back in 5 s")
        << QStringList{"login", "station plays", "stream fails", "retry"} << QStringList{"login", "login"}
        << Connecting << false << false;
    QTest::newRow("every host down: 5, 10, 20 s")
        << (QStringList{"login"} + downTwice + downTwice + QStringList{"service fails", "partner fails"})
        << QStringList{"login", "partner", "local", "login", "partner", "local", "login", "partner", "local"}
        << retryIn(20) << false << true;
    QTest::newRow("the count starts anew once the station plays")
        << QStringList{"login", "stream fails",  "retry",       "stream fails",
                       "retry", "station plays", "stream fails"}
        << QStringList{"login", "login", "login"} << retryIn(5) << false << true;
    QTest::newRow("stalled for 10 s") << QStringList{"login", "station plays", "stream stalls", "stall ends"}
                                      << QStringList{"login"} << retryIn(5) << false << true;
    QTest::newRow("a stall it recovers from")
        << QStringList{"login", "station plays", "stream stalls", "station plays"} << QStringList{"login"}
        << Connecting << false << false;
    QTest::newRow("one attempt at a time")
        << QStringList{"login",      "stream fails", "stream ends", "stream stalls",
                       "stall ends", "retry",        "network back"}
        << QStringList{"login", "login"} << Connecting << false << false;
    QTest::newRow("the network returns: at once")
        << QStringList{"login", "service fails", "network back"} << QStringList{"login", "partner", "login"}
        << Connecting << false << false;
    QTest::newRow("the network returns while it plays")
        << QStringList{"login", "station plays", "network back"} << QStringList{"login"} << Connecting
        << false << false;
    QTest::newRow("an attempt that hangs")
        << QStringList{"login", "stream fails", "retry", "attempt hangs"}
        << QStringList{"login", "login", "stop", "local"} << retryIn(10) << false << true;
    // Nothing undoes a pause the listener made.
    QTest::newRow("paused on the page") << QStringList{"login", "station plays", "page pause", "stream fails"}
                                        << QStringList{"login"} << Connecting << false << false;
    QTest::newRow("paused by the keys, then played")
        << QStringList{"login", "station plays", "pause", "stream fails", "play"}
        << QStringList{"login", "login"} << Connecting << false << false;
    QTest::newRow("a login while paused") << QStringList{"pause", "login", "stream fails"}
                                          << QStringList{"login"} << Connecting << true << false;
    QTest::newRow("quiet sleep") << QStringList{"login", "stream fails", "quiet"}
                                 << QStringList{"login", "sleep"} << "Активирован тихий режим \"Сон\""
                                 << false << false;
    QTest::newRow("a failed sleep request")
        << QStringList{"login", "quiet", "service fails"} << QStringList{"login", "sleep", "partner"}
        << "Активирован тихий режим \"Сон\"" << false << false;
    QTest::newRow("a sleep under way") << QStringList{"login", "stream fails", "hold", "network back"}
                                       << QStringList{"login"} << retryIn(5) << false << false;
    QTest::newRow("closing") << QStringList{"login", "stream fails", "logoff", "network back"}
                             << QStringList{"login", "logoff"}
                             << "Пожалуйста подождите. Идет закрытие соединений." << false << false;
    // The alarm after a wake-up: a failed attempt rings it again; the station back stops it.
    const QStringList rang = {"quiet", "wake-up", "service fails", "partner fails", "watch ends"};
    QTest::newRow("alarm: every host still down")
        << (rang + QStringList{"retry", "service fails"})
        << QStringList{"sleep", "login", "partner", "local", "alarm", "login", "alarm"} << Ringing << false
        << true;
    QTest::newRow("alarm: an attempt that hangs")
        << (rang + QStringList{"retry", "attempt hangs"})
        << QStringList{"sleep", "login", "partner", "local", "alarm", "login", "stop", "alarm"} << Ringing
        << false << true;
    QTest::newRow("alarm: the station comes back")
        << (rang + QStringList{"retry", "station plays"})
        << QStringList{"sleep", "login", "partner", "local", "alarm", "login"} << QString() << false << false;
    QTest::newRow("alarm: over after its half hour")
        << (QStringList{"short alarm"} + rang + QStringList{"retry", "service fails"})
        << QStringList{"sleep", "login", "partner", "local", "alarm", "login", "partner"} << retryIn(10)
        << false << true;
    QTest::newRow("alarm: stopped by hand")
        << (rang + QStringList{"page pause"}) << QStringList{"sleep", "login", "partner", "local", "alarm"}
        << Ringing << false << false;
}

void TestRadioSession::flows()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, requests);
    QFETCH(QString, panel);
    QFETCH(bool, muted);
    QFETCH(bool, pending);
    Session s;
    for (const QString &step : steps)
        s.step(step);
    QCOMPARE(s.log, requests);
    QCOMPARE(s.panel, panel);
    QCOMPARE(s.radio.isMuted(), muted);
    QTRY_COMPARE(s.pane.isAudioMuted(), muted);
    QCOMPARE(s.radio.isReconnectPending(), pending);
    // An attempt while the alarm is due watches again.
    QVERIFY(!s.radio.isAlarmWatched() || steps.last() == "wake-up" || steps.contains("retry"));
}

void TestRadioSession::volumeAndFade_data()
{
    QTest::addColumn<double>("volume");     // the listener's, as handed over
    QTest::addColumn<qint64>("fadeLeftMs"); // a fade aimed this far ahead; -1 for none
    QTest::addColumn<QString>("then");
    QTest::addColumn<double>("heard"); // what the pane plays at
    QTest::addColumn<double>("kept");  // the listener's volume afterwards
    QTest::newRow("a quarter") << 0.25 << qint64(-1) << "" << 0.25 << 0.25;
    QTest::newRow("garbage reads as full") << qQNaN() << qint64(-1) << "" << 1.0 << 1.0;
    QTest::newRow("below silence") << -1.0 << qint64(-1) << "" << 0.0 << 0.0;
    QTest::newRow("half-way through the fade") << 0.5 << qint64(30000) << "" << 0.25 << 0.5;
    QTest::newRow("the fade's end") << 0.5 << qint64(0) << "" << 0.0 << 0.5;
    QTest::newRow("the moment far off") << 0.5 << qint64(120000) << "" << 0.5 << 0.5;
    QTest::newRow("quiet sleep stays silent") << 0.5 << qint64(0) << "quiet" << 0.0 << 0.5;
    QTest::newRow("the wake-up plays as before") << 0.5 << qint64(0) << "wake-up" << 0.5 << 0.5;
    QTest::newRow("reset ends it") << 0.5 << qint64(10000) << "reset" << 0.5 << 0.5;
    QTest::newRow("the computer woke") << 0.8 << qint64(0) << "resumed" << 0.8 << 0.8;
}

void TestRadioSession::volumeAndFade()
{
    QFETCH(double, volume);
    QFETCH(qint64, fadeLeftMs);
    QFETCH(QString, then);
    QFETCH(double, heard);
    QFETCH(double, kept);
    Session s;
    MediaPlayer player("ondavo", QUrl());
    s.radio.setMediaPlayer(&player);
    s.radio.setVolume(volume);
    if (fadeLeftMs >= 0)
        s.radio.fadeOut(fadeLeftMs);
    if (then == "resumed")
        emit s.platform.systemResumed();
    else if (!then.isEmpty())
        s.step(then);
    QVERIFY2(qAbs(s.pane.volume - heard) < 0.01, qPrintable(QString::number(s.pane.volume)));
    QCOMPARE(s.radio.volume(), kept);
    // The desktop's player shows the listener's volume, never the fade.
    QCOMPARE(player.volume(), kept);
}

void TestRadioSession::fallbackChain_data()
{
    QTest::addColumn<QUrl>("failed");
    QTest::addColumn<bool>("localPage"); // the local radio page is beside the executable
    QTest::addColumn<bool>("closing");
    QTest::addColumn<QString>("next"); // what the pane was sent to or told, empty for nothing
    QTest::addColumn<bool>("cancel");
    const QUrl local = QUrl::fromLocalFile("/opt/x/radio/localhost/index.htm");
    QTest::newRow("service page") << ServicePage << true << false << "partner" << false;
    QTest::newRow("service frame on another path")
        << QUrl("http://svc.test:8470/ads/frame.html") << true << false << "partner" << false;
    QTest::newRow("the service named in a partner address")
        << QUrl("http://partner.test:8471/?ref=svc.test:8470") << true << false << "local" << false;
    QTest::newRow("service host spelled with its default port")
        << QUrl("http://SVC.test:8470/redirector/") << true << false << "partner" << false;
    QTest::newRow("service host on another port")
        << QUrl("http://svc.test:8471/") << true << false << "" << true;
    QTest::newRow("partner page") << PartnerPage << true << false << "local" << false;
    QTest::newRow("partner page, local page missing") << PartnerPage << false << false << "missing" << false;
    QTest::newRow("other host") << QUrl("http://cdn.example/stream.mp3") << true << false << "" << true;
    QTest::newRow("local page itself") << local << true << false << "" << true;
    // A fallback page while closing would undo the logoff.
    QTest::newRow("service page while closing") << ServicePage << true << true << "" << true;
    QTest::newRow("logoff fails while closing") << LogoffPage << true << true << "logoff failed" << true;
}

void TestRadioSession::fallbackChain()
{
    QFETCH(QUrl, failed);
    QFETCH(bool, localPage);
    QFETCH(bool, closing);
    QFETCH(QString, next);
    QFETCH(bool, cancel);
    Session s(localPage);
    if (closing)
        s.radio.logoff();
    s.log.clear();
    QCOMPARE(s.pane.fail(failed), cancel);
    QCOMPARE(s.log, next.isEmpty() ? QStringList() : QStringList{next});
    if (next == "local")
        QCOMPARE(s.pane.lastUrl(), QUrl::fromLocalFile(s.exe.filePath("radio/localhost/index.htm")));
}

// The page's own status texts (its address, then an empty one) never replace the alarm's message;
// the next request of the program's own ends the alarm and its silence.
void TestRadioSession::alarmKeepsItsMessage()
{
    Session s;
    QSignalSpy status(&s.radio, &RadioSession::statusTextChange);
    s.radio.ringAlarm();
    QCOMPARE(s.log, QStringList{"alarm"});
    emit s.pane.statusTextChange(s.pane.lastUrl().toString());
    s.pane.complete(s.pane.lastUrl());
    emit s.pane.statusTextChange(QString());
    QCOMPARE(status.count(), 0);
    QVERIFY(s.radio.isAlarmRinging());
    s.radio.login();
    emit s.pane.statusTextChange("Готово");
    QCOMPARE(status.count(), 1);
    QVERIFY(!s.radio.isAlarmRinging());

    // With no sound server the alarm says it is not heard, rather than that it rings.
    s.platform.soundHeard = false;
    s.radio.ringAlarm();
    QCOMPARE(s.panel, QString("Будильник не слышен: звуковой сервер недоступен"));
    QVERIFY(s.log.endsWith("unheard"));
}

void TestRadioSession::playerControls_data()
{
    QTest::addColumn<QStringList>("presses"); // what the desktop sent, as fast as it can
    QTest::addColumn<bool>("muted");
    QTest::addColumn<MediaPlayer::Status>("status");
    using S = MediaPlayer::Status;
    QTest::newRow("pause") << QStringList{"Pause"} << true << S::Paused;
    QTest::newRow("four play-pauses in a burst") << QStringList(4, "PlayPause") << false << S::Playing;
    QTest::newRow("three play-pauses in a burst") << QStringList(3, "PlayPause") << true << S::Paused;
    QTest::newRow("stop says stopped") << QStringList{"Stop"} << true << S::Stopped;
    QTest::newRow("stop, then play") << QStringList{"Stop", "Play"} << false << S::Playing;
    QTest::newRow("stop, then play-pause plays") << QStringList{"Stop", "PlayPause"} << false << S::Playing;
}

void TestRadioSession::playerControls()
{
    QFETCH(QStringList, presses);
    QFETCH(bool, muted);
    QFETCH(MediaPlayer::Status, status);
    Session s;
    MediaPlayer player("ondavo", QUrl());
    s.radio.setMediaPlayer(&player);
    s.radio.login();
    s.pane.setAudible(true);
    QCOMPARE(player.status(), MediaPlayer::Status::Playing);
    QSignalSpy switched(&s.pane, &BrowserPane::audioMutedChanged);
    for (const QString &press : presses)
        QMetaObject::invokeMethod(&player, qPrintable(press.front().toLower() + press.mid(1) + "Requested"));
    QCOMPARE(player.status(), status);
    // The engine gets the burst's outcome only: switched on and off at once, it pauses the page.
    QTRY_COMPARE(s.pane.isAudioMuted(), muted);
    QTest::qWait(RadioSession::MuteSettleMs * 2);
    QCOMPARE(switched.count(), muted ? 1 : 0);
    // Only the sound changed: the pane was never sent anywhere by the keys.
    QCOMPARE(s.log, QStringList{"login"});
}

QTEST_GUILESS_MAIN(TestRadioSession)
#include "tst_radiosession.moc"
