#include "radio/radiosession.h"

#include "platform/platform.h"
#include "service/browserpane.h"
#include "service/requests.h"
#include "settings/identity.h"

#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {
Q_LOGGING_CATEGORY(lcRadio, "ondavo.radio", QtInfoMsg)

const QString LocalRadioPage = QStringLiteral("radio/localhost/index.htm");
// A query, not a fragment: a fragment on the page already shown would be a jump within it, and the
// page reads its mode only when it loads.
const QString AlarmQuery = QStringLiteral("alarm");

bool isAlarmPage(const QUrl &url)
{
    return url.isLocalFile() && url.query() == AlarmQuery;
}
} // namespace

RadioSession::RadioSession(BrowserPane *pane, Platform *platform, const Endpoints &endpoints, QObject *parent)
    : QObject(parent), m_pane(pane), m_platform(platform), m_endpoints(endpoints),
      m_alarmWatch(new QTimer(this)), m_muteSettle(new QTimer(this)), m_muted(pane->isAudioMuted()),
      m_retry(new QTimer(this)), m_stall(new QTimer(this)), m_attempt(new QTimer(this)),
      m_fadeStep(new QTimer(this))
{
    // The engine pauses the page's own player when its sound goes off and on several times in a
    // breath, as a burst of media keys would make it; the pane only gets where the burst ended.
    m_muteSettle->setSingleShot(true);
    m_muteSettle->setInterval(MuteSettleMs);
    connect(m_muteSettle, &QTimer::timeout, this, [this] {
        if (m_pane->isAudioMuted() != m_muted)
            m_pane->setAudioMuted(m_muted);
    });
    m_alarmWatch->setSingleShot(true);
    m_alarmWatch->setInterval(AlarmWatchMs);
    // A page that plays is never doubled; every silent case rings.
    connect(m_alarmWatch, &QTimer::timeout, this, [this] {
        if (!m_audible)
            ringAlarm();
    });
    connect(m_pane, &BrowserPane::navigateError, this, &RadioSession::onNavigateError);
    connect(m_pane, &BrowserPane::navigateComplete2, this, &RadioSession::onPageLoaded);
    connect(m_pane, &BrowserPane::titleChange, this, &RadioSession::titleChange);
    connect(m_pane, &BrowserPane::statusTextChange, this, [this](const QString &text) {
        if (!m_ringing)
            emit statusTextChange(text);
    });
    connect(m_pane, &BrowserPane::audibleChanged, this, &RadioSession::onAudibleChanged);
    connect(m_pane, &BrowserPane::mediaEvent, this, &RadioSession::onMediaEvent);

    m_retry->setObjectName(QStringLiteral("ReconnectTimer"));
    m_stall->setObjectName(QStringLiteral("StallTimer"));
    m_attempt->setObjectName(QStringLiteral("AttemptTimer"));
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &RadioSession::reconnect);
    m_stall->setSingleShot(true);
    m_stall->setInterval(StallMs);
    connect(m_stall, &QTimer::timeout, this, [this] {
        m_lost = true;
        stationLost();
    });
    // A login that hangs (packets dropped on the way) gives the pane back to a page that needs no
    // network, and the next attempt follows.
    m_attempt->setSingleShot(true);
    m_attempt->setInterval(AttemptMs);
    connect(m_attempt, &QTimer::timeout, this, [this] {
        qCInfo(lcRadio) << "A reconnect attempt neither loaded nor failed; given up";
        m_pane->stop();
        if (isAlarmDue())
            ringAlarm();
        else
            loadLocalPage(false);
        stationLost();
    });
    m_fadeStep->setInterval(FadeStepMs);
    connect(m_fadeStep, &QTimer::timeout, this, &RadioSession::stepFade);
    connect(m_platform, &Platform::networkReturned, this, [this] {
        if (m_retry->isActive())
            reconnect();
    });
    // A sleep the timer asked for is over: whatever plays next plays at the listener's volume.
    connect(m_platform, &Platform::systemResumed, this, &RadioSession::endFade);
    m_platform->watchNetwork();
}

RadioSession::~RadioSession() = default;

void RadioSession::setIdentity(const QString &userName, const QString &passw)
{
    m_userName = userName;
    m_passw = passw;
}

void RadioSession::makeIdentityOwn(QRandomGenerator &random)
{
    if (m_userName.isEmpty())
        m_userName = Identity::makeAnonymousUserName(random);
    if (m_passw.isEmpty())
        m_passw = Identity::makeRandomPassword(random);
}

void RadioSession::setAlarmWatchMs(int ms)
{
    m_alarmWatch->setInterval(ms);
}

void RadioSession::setStallMs(int ms)
{
    m_stall->setInterval(ms);
}

void RadioSession::setAlarmRingMs(int ms)
{
    m_alarmRingMs = ms;
}

void RadioSession::setMediaPlayer(MediaPlayer *player)
{
    m_player = player;
    if (!player)
        return;
    connect(player, &MediaPlayer::playRequested, this, &RadioSession::play);
    connect(player, &MediaPlayer::pauseRequested, this, &RadioSession::pause);
    connect(player, &MediaPlayer::playPauseRequested, this, &RadioSession::playPause);
    connect(player, &MediaPlayer::stopRequested, this, &RadioSession::stopPlaying);
    connect(player, &MediaPlayer::volumeRequested, this, &RadioSession::setVolume);
    connect(this, &RadioSession::volumeChanged, player, &MediaPlayer::setVolume);
    player->setVolume(m_volume);
    connect(m_pane, &BrowserPane::titleChange, player, &MediaPlayer::setTitle);
    updateMediaStatus();
}

int RadioSession::reconnectDelayMs(int attempt)
{
    static constexpr int delays[] = {5000, 10000, 20000, 40000, 60000};
    return delays[std::clamp(attempt, 0, int(std::size(delays)) - 1)];
}

void RadioSession::login()
{
    if (m_closing)
        return;
    letStationGo();
    // A radio the listener paused stays paused: only a stop nobody asked for is undone.
    m_keep = !m_muted;
    sendLogin();
}

void RadioSession::sendLogin()
{
    if (m_closing)
        return;
    emit message(tr("Пожалуйста подождите. Производится подключение."));
    send(Requests::login(m_endpoints, m_userName, m_passw));
}

bool RadioSession::logoff()
{
    m_closing = true;
    letStationGo();
    m_alarmWatch->stop();
    emit message(tr("Пожалуйста подождите. Идет закрытие соединений."));
    m_ringing = false;
    return m_pane->navigate(Requests::logoff(m_endpoints, m_userName, m_passw));
}

void RadioSession::goQuiet(const QString &wakeUpText)
{
    if (m_closing)
        return;
    m_alarmWatch->stop();
    letStationGo();
    emit message(tr("Активирован тихий режим \"Сон\""));
    send(Requests::sleep(m_endpoints, m_userName, m_passw, wakeUpText));
}

void RadioSession::wakeUp(bool ring)
{
    if (m_closing)
        return;
    // The wake-up plays at the volume the radio had before it faded into quiet sleep.
    endFade();
    if (!ring) {
        login();
        return;
    }
    // An earlier pause never silences an alarm.
    setMuted(false);
    login();
    m_alarmWatch->start();
}

void RadioSession::endQuietSleep()
{
    endFade();
    setMuted(false);
    login();
}

void RadioSession::stopLoading()
{
    holdStation();
    m_pane->stop();
}

void RadioSession::holdStation()
{
    letStationGo();
}

void RadioSession::showClock(BrowserPane *clockPane)
{
    if (clockPane != m_clockPane) {
        m_clockPane = clockPane;
        connect(clockPane, &BrowserPane::navigateError, this, &RadioSession::onClockError);
    }
    navigateOrReport(Requests::clockPage(m_endpoints), clockPane);
}

void RadioSession::onClockError(const QUrl &url, bool *cancel)
{
    if (!Endpoints::isOnHost(url, m_endpoints.serviceHost)) {
        *cancel = true;
        return;
    }
    const QUrl page = m_platform->fileBesideExecutable(QStringLiteral("clock/default/index.htm"));
    if (page.isEmpty())
        emit localPageMissing(tr("Ошибка загрузки часов"),
                              tr("Не найден локальный шаблон часов!\r\nПереустановите программу."));
    else
        navigateOrReport(page, m_clockPane);
}

void RadioSession::ringAlarm()
{
    if (m_closing)
        return;
    m_alarmWatch->stop();
    setMuted(false);
    if (!loadLocalPage(true))
        return;
    m_ringing = true;
    if (!m_alarmDue)
        m_alarmEnds.setRemainingTime(m_alarmRingMs);
    m_alarmDue = true;
    if (m_platform->canPlaySound()) {
        emit message(tr("Радио не зазвучало: звонит будильник Ondavo"));
        return;
    }
    const QString unheard = tr("Будильник не слышен: звуковой сервер недоступен");
    emit message(unheard);
    emit soundUnheard(unheard);
}

void RadioSession::play()
{
    m_stopped = false;
    setMuted(false);
    updateMediaStatus();
    if (m_closing || m_keep)
        return;
    m_keep = true;
    // A station that died while it was paused comes back now.
    if (m_lost)
        reconnect();
}

void RadioSession::pause()
{
    letStationGo();
    setMuted(true);
}

void RadioSession::playPause()
{
    // By the sound as asked, not by what was last announced: a burst of presses ends where it should.
    if (m_muted)
        play();
    else
        pause();
}

void RadioSession::stopPlaying()
{
    // A live stream has nothing to resume from: the station stays, silent.
    m_stopped = true;
    letStationGo();
    setMuted(true);
    updateMediaStatus();
}

bool RadioSession::isAlarmWatched() const
{
    return m_alarmWatch->isActive();
}

MediaPlayer::Status RadioSession::mediaStatus() const
{
    if (m_stopped)
        return MediaPlayer::Status::Stopped;
    if (m_muted)
        return MediaPlayer::Status::Paused;
    return m_audible ? MediaPlayer::Status::Playing : MediaPlayer::Status::Stopped;
}

QString RadioSession::errorString() const
{
    return m_pane->errorString();
}

void RadioSession::onNavigateError(const QUrl &url, bool *cancel)
{
    // While closing, a fallback page would only undo the logoff and hold the window open: a
    // service that cannot be reached is told nothing more.
    if (m_closing) {
        *cancel = true;
        if (Requests::isLogoff(url))
            emit logoffFailed();
        return;
    }
    if (Requests::isSleep(url))
        emit sleepAnswered(false, m_pane->errorString());
    if (Endpoints::isOnHost(url, m_endpoints.serviceHost)) {
        // While the alarm is due, a failed attempt brings the alarm back rather than a player.
        if (isAlarmDue() && m_keep)
            ringAlarm();
        else
            loadPartnerPlayer();
    } else if (Endpoints::isOnHost(url, m_endpoints.partnerHost)) {
        loadLocalPage(false);
    } else {
        *cancel = true;
        return;
    }
    m_lost = true;
    stationLost();
}

void RadioSession::onPageLoaded(const QUrl &url)
{
    m_attempt->stop();
    if (!isAlarmPage(url))
        m_ringing = false;
    if (Requests::isSleep(url))
        emit sleepAnswered(true, QString());
    emit pageLoaded(url);
}

void RadioSession::onAudibleChanged(bool audible)
{
    m_audible = audible;
    updateMediaStatus();
}

void RadioSession::onMediaEvent(BrowserPane::MediaEvent event)
{
    using E = BrowserPane::MediaEvent;
    switch (event) {
    case E::Playing:
        if (m_lost)
            qCInfo(lcRadio) << "The station plays again";
        m_stall->stop();
        m_retry->stop();
        m_attempt->stop();
        m_attempts = 0;
        m_alarmDue = false;
        if (m_lost) {
            m_lost = false;
            emit message(QString());
        }
        // The listener may have played a station on a page that sat paused.
        if (!m_closing)
            m_keep = true;
        break;
    case E::Paused:
        // The listener's own hand on the page, the alarm's stop button too.
        letStationGo();
        break;
    case E::Error:
    case E::Ended:
        m_lost = true;
        stationLost();
        break;
    case E::Stalled:
        if (m_keep && !m_stall->isActive())
            m_stall->start();
        break;
    }
}

void RadioSession::stationLost()
{
    m_stall->stop();
    if (!m_keep || m_closing || m_retry->isActive())
        return;
    m_attempt->stop();
    const int ms = reconnectDelayMs(m_attempts++);
    m_retry->start(ms);
    qCInfo(lcRadio) << "The station stopped by itself; attempt" << m_attempts << "in" << ms / 1000 << "s";
    // While the alarm rings, panel 1 keeps saying why.
    if (!isAlarmDue())
        emit message(tr("Нет связи с радио: новая попытка через %1 с").arg(ms / 1000));
}

void RadioSession::reconnect()
{
    m_retry->stop();
    if (!m_keep || m_closing)
        return;
    m_attempt->start();
    // An attempt that loads a page but brings no sound leaves the alarm to ring again.
    if (isAlarmDue())
        m_alarmWatch->start();
    sendLogin();
}

void RadioSession::letStationGo()
{
    m_keep = false;
    m_alarmDue = false;
    m_retry->stop();
    m_stall->stop();
    m_attempt->stop();
    m_attempts = 0;
}

bool RadioSession::isAlarmDue() const
{
    return m_alarmDue && !m_alarmEnds.hasExpired();
}

bool RadioSession::isReconnectPending() const
{
    return m_retry->isActive();
}

void RadioSession::setVolume(double volume)
{
    // Whatever a caller hands over, the pane gets a volume it can play.
    volume = std::isfinite(volume) ? std::clamp(volume, 0.0, 1.0) : 1.0;
    if (volume == m_volume)
        return;
    m_volume = volume;
    applyVolume();
    emit volumeChanged(volume);
}

void RadioSession::fadeOut(qint64 msLeft)
{
    m_fadeEndMs = QDeadlineTimer(std::max<qint64>(msLeft, 0)).deadline();
    if (!m_fadeStep->isActive())
        m_fadeStep->start();
    stepFade();
}

void RadioSession::stepFade()
{
    const qint64 left = std::max<qint64>(m_fadeEndMs - QDeadlineTimer::current().deadline(), 0);
    m_fade = std::min(1.0, double(left) / FadeMs);
    if (left == 0)
        m_fadeStep->stop();
    applyVolume();
}

void RadioSession::endFade()
{
    m_fadeStep->stop();
    if (m_fade == 1.0)
        return;
    m_fade = 1.0;
    applyVolume();
}

bool RadioSession::isFading() const
{
    return m_fade < 1.0;
}

void RadioSession::applyVolume()
{
    m_pane->setVolume(m_volume * m_fade);
}

void RadioSession::loadPartnerPlayer()
{
    navigateOrReport(Requests::partnerPlayer(m_endpoints));
}

bool RadioSession::loadLocalPage(bool alarm)
{
    QUrl page = m_platform->fileBesideExecutable(LocalRadioPage);
    if (page.isEmpty()) {
        emit localPageMissing(tr("Ошибка загрузки программы"),
                              tr("Отсутствуют некоторые файлы программы!\r\nПереустановите программу."));
        return false;
    }
    if (alarm)
        page.setQuery(AlarmQuery);
    return navigateOrReport(page);
}

void RadioSession::send(const QUrl &request)
{
    m_ringing = false;
    (void)m_pane->navigate(request);
}

bool RadioSession::navigateOrReport(const QUrl &url, BrowserPane *pane)
{
    if (!pane) {
        pane = m_pane;
        m_ringing = false;
    }
    if (pane->navigate(url))
        return true;
    emit navigationFailed(pane->errorString());
    return false;
}

void RadioSession::setMuted(bool muted)
{
    if (!muted)
        m_stopped = false;
    m_muted = muted;
    if (!m_muteSettle->isActive())
        m_muteSettle->start();
    updateMediaStatus();
}

void RadioSession::updateMediaStatus()
{
    if (m_player)
        m_player->setStatus(mediaStatus());
}
