#pragma once

#include "platform/mediaplayer.h"
#include "service/browserpane.h"
#include "service/endpoints.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QUrl>

class QRandomGenerator;
class Platform;
class QTimer;

// The radio as the program keeps it: who it is to the service, what it asks of the service and in
// which order, where the pane goes when a page fails, the local page and its alarm, and whether the
// radio is heard. It drives the radio pane through BrowserPane alone.
//
// A night: the timer model calls goQuiet() at the quiet-sleep moment, which sends the sleep request;
// at the wake-up it calls wakeUp(), which logs in with the sound on and starts the alarm watch. When
// the watch ends with nothing heard (no network, a fallback page, a dead stream, a service that
// forgot), ringAlarm() loads the local page in its alarm mode, which needs no network. A snooze is
// goQuiet() again. logoff() begins the closing: after it nothing else goes to the service.
//
// The clock pane's page comes from the same service and falls back to its own local page.
//
// The station is kept playing: a stop nobody asked for (a stream that fails, ends or stalls, a
// login that ends on a fallback page) logs in again after 5, 10, 20 and 40 s, then every minute,
// and at once when the network returns. The listener's own pause, quiet sleep, a sleep or
// power-off under way and the closing end it; the station playing again starts the count anew.
// While the alarm is due, a failed attempt rings it again at once.
//
// The listener's volume holds for everything the pane plays; a timer action that ends the sound
// fades it out over its last minute first.
//
// login(): Login; logoff(): Logoff; onNavigateError(): Browser1NavigateError; loadPartnerPlayer():
// LoadPartnerPlayer; loadLocalPage(): LoadLocalRadioPage; showClock(): ClockSheetShow;
// onClockError(): Browser2NavigateError.
class RadioSession : public QObject
{
    Q_OBJECT
public:
    // How long the radio may stay silent after a wake-up before the program rings its own alarm.
    static constexpr int AlarmWatchMs = 20000;
    // The sound is switched this long after the last press: a burst reaches the pane as its outcome.
    static constexpr int MuteSettleMs = 50;
    // A stream that gets no data for this long has stopped.
    static constexpr int StallMs = 10000;
    // A reconnect attempt that neither loads nor fails in this long has failed.
    static constexpr int AttemptMs = 15000;
    // The sound fades out over this long before a timer action ends it.
    static constexpr int FadeMs = 60000;
    static constexpr int FadeStepMs = 100;
    // The alarm is brought back by failed attempts for this long after it first rang, as long as
    // the local page itself rings.
    static constexpr int AlarmRingMs = 30 * 60 * 1000;
    // How long to wait before reconnect attempt number attempt (from 0).
    static int reconnectDelayMs(int attempt);

    RadioSession(BrowserPane *pane, Platform *platform, const Endpoints &endpoints,
                 QObject *parent = nullptr);
    ~RadioSession() override;

    void setIdentity(const QString &userName, const QString &passw);
    // A run without an identity speaks as the guest, whose pending wake-up every guest shares: an
    // alarm needs an identity of the person's own, made here and kept for the settings file.
    void makeIdentityOwn(QRandomGenerator &random);
    QString userName() const { return m_userName; }
    QString passw() const { return m_passw; }
    const Endpoints &endpoints() const { return m_endpoints; }
    void setAlarmWatchMs(int ms);
    void setStallMs(int ms);
    void setAlarmRingMs(int ms);

    // The desktop's player controls follow the radio from now on, and reach it.
    void setMediaPlayer(MediaPlayer *player);

    // The login request: the station last played, or the service's own page.
    void login();
    // The logoff request; false, with errorString(), when the pane could not start it. Closing has
    // begun then, whatever the pane did: nothing else is sent, and no alarm rings.
    bool logoff();
    // The sleep request: the service keeps the radio quiet until the wake-up.
    void goQuiet(const QString &wakeUpText);
    // The wake-up login: with the sound on, and the alarm watch started. A wake-up that comes long
    // after its moment only logs in: nobody set an alarm for now.
    void wakeUp(bool ring = true);
    // The user ended quiet sleep early: a login with the sound on; the user is here, so no watch.
    void endQuietSleep();
    // The computer is going to sleep: the pane stops loading.
    void stopLoading();
    // The clock page, anew on every visit of its tab, in the clock pane.
    void showClock(BrowserPane *clockPane);
    // The radio stayed silent after the wake-up: the local page rings the program's own alarm.
    void ringAlarm();

    // The listener's own controls: they act on the sound only, never on the page's player, so the
    // station stays and nothing can leave it paused.
    void play();
    void pause();
    void playPause();
    void stopPlaying();

    // The listener's volume, 0 to 1; the desktop's player shows it and may set it.
    double volume() const { return m_volume; }
    void setVolume(double volume);
    // The sound falls to silence by msLeft from now (the last FadeMs of it); fadeOut() again aims
    // at a new moment. endFade() brings the volume back at once.
    void fadeOut(qint64 msLeft);
    void endFade();
    bool isFading() const;
    // A sleep or power-off is under way: the station is not brought back.
    void holdStation();
    bool isReconnectPending() const;

    bool isClosing() const { return m_closing; }
    bool isAlarmRinging() const { return m_ringing; }
    bool isAlarmWatched() const;
    bool isAudible() const { return m_audible; }
    bool isMuted() const { return m_muted; }
    MediaPlayer::Status mediaStatus() const;
    QString errorString() const;

signals:
    // A text of the session's own for status-bar panel 1.
    void message(const QString &text);
    // The page's own status text and title, as the pane reports them; no status text comes while
    // the alarm rings, so its message stays up.
    void statusTextChange(const QString &text);
    void titleChange(const QString &text);
    void pageLoaded(const QUrl &url);
    // The logoff request failed outright: the service cannot be told, there is nothing to wait for.
    void logoffFailed();
    // A fallback page could not even be started: the pane's reason.
    void navigationFailed(const QString &reason);
    // The local radio page, or the local clock page, is not beside the executable: the box's words.
    void localPageMissing(const QString &caption, const QString &text);
    // The alarm is due, but nothing can make it heard.
    void soundUnheard(const QString &text);
    // The service answered the sleep request: it keeps the radio quiet, or it refused, and why.
    void sleepAnswered(bool accepted, const QString &reason);
    void volumeChanged(double volume);

private:
    void onNavigateError(const QUrl &url, bool *cancel);
    void onClockError(const QUrl &url, bool *cancel);
    void onPageLoaded(const QUrl &url);
    void onAudibleChanged(bool audible);
    void onMediaEvent(BrowserPane::MediaEvent event);
    void sendLogin();
    // The station stopped by itself: a reconnect attempt is due, unless one is already.
    void stationLost();
    void reconnect();
    // Nothing more is brought back until the listener or the timer logs in again.
    void letStationGo();
    void stepFade();
    bool isAlarmDue() const;
    void applyVolume();
    void loadPartnerPlayer();
    bool loadLocalPage(bool alarm);
    // Guarded: a pane that cannot start the request is not worth a word; the panel says enough.
    void send(const QUrl &request);
    bool navigateOrReport(const QUrl &url, BrowserPane *pane = nullptr);
    void setMuted(bool muted);
    void updateMediaStatus();

    BrowserPane *m_pane;
    Platform *m_platform;
    Endpoints m_endpoints;
    QString m_userName;
    QString m_passw;
    QTimer *m_alarmWatch;
    QTimer *m_muteSettle;
    MediaPlayer *m_player = nullptr;
    BrowserPane *m_clockPane = nullptr;
    bool m_closing = false;
    bool m_ringing = false;
    bool m_audible = false;
    bool m_muted = false;   // as the listener or the alarm last asked; the pane follows it settled
    bool m_stopped = false; // the listener pressed Stop: silent, and said so, until Play

    QTimer *m_retry;   // the next reconnect attempt
    QTimer *m_stall;   // a stream without data, until it counts as stopped
    QTimer *m_attempt; // an attempt in flight
    QTimer *m_fadeStep;
    int m_attempts = 0;      // since the station last played
    bool m_keep = false;     // the station is to be brought back when it stops
    bool m_lost = false;     // it stopped by itself and has not played since
    bool m_alarmDue = false; // the alarm rang and nobody has heard the radio or stopped it since
    QDeadlineTimer m_alarmEnds;
    int m_alarmRingMs = AlarmRingMs;
    double m_volume = 1.0;
    double m_fade = 1.0;
    qint64 m_fadeEndMs = 0; // on the monotonic clock
};
