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
    const QString quiet = "Активирован тихий режим \"Сон\"";
    QTest::newRow("start") << QStringList{"login"} << QStringList{"login"} << Connecting << false;
    QTest::newRow("quiet sleep") << QStringList{"login", "quiet"} << QStringList{"login", "sleep"} << quiet
                                 << false;
    QTest::newRow("wake-up unmutes a radio paused by the keys")
        << QStringList{"quiet", "pause", "wake-up", "plays", "watch ends"} << QStringList{"sleep", "login"}
        << Connecting << false;
    QTest::newRow("reset unmutes too")
        << QStringList{"quiet", "pause", "reset"} << QStringList{"sleep", "login"} << Connecting << false;
    QTest::newRow("a plain login keeps the pause")
        << QStringList{"pause", "login"} << QStringList{"login"} << Connecting << true;
    // Whatever page the pane is on at the wake-up, silence rings: here every host is down.
    QTest::newRow("every host down at the wake-up")
        << QStringList{"quiet", "wake-up", "service fails", "partner fails", "watch ends"}
        << QStringList{"sleep", "login", "partner", "local", "alarm"} << Ringing << false;
    QTest::newRow("the local page already showing")
        << QStringList{"login", "service fails", "partner fails", "quiet", "wake-up", "watch ends"}
        << QStringList{"login", "partner", "local", "sleep", "login", "alarm"} << Ringing << false;
    // From the logoff on nothing else reaches the service, and nothing rings.
    QTest::newRow("closing ends it all")
        << QStringList{"wake-up", "logoff", "login", "quiet", "wake-up", "watch ends", "service fails"}
        << QStringList{"login", "logoff"} << "Пожалуйста подождите. Идет закрытие соединений." << false;
}

void TestRadioSession::flows()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, requests);
    QFETCH(QString, panel);
    QFETCH(bool, muted);
    Session s;
    for (const QString &step : steps)
        s.step(step);
    QCOMPARE(s.log, requests);
    QCOMPARE(s.panel, panel);
    QCOMPARE(s.radio.isMuted(), muted);
    QTRY_COMPARE(s.pane.isAudioMuted(), muted);
    QVERIFY(!s.radio.isAlarmWatched() || steps.last() == "wake-up");
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
