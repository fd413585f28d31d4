#include "radio/radiosession.h"

#include "platform/platform.h"
#include "service/browserpane.h"
#include "service/requests.h"
#include "settings/identity.h"

#include <QTimer>

namespace {
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
      m_alarmWatch(new QTimer(this)), m_muteSettle(new QTimer(this)), m_muted(pane->isAudioMuted())
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

void RadioSession::setMediaPlayer(MediaPlayer *player)
{
    m_player = player;
    if (!player)
        return;
    connect(player, &MediaPlayer::playRequested, this, &RadioSession::play);
    connect(player, &MediaPlayer::pauseRequested, this, &RadioSession::pause);
    connect(player, &MediaPlayer::playPauseRequested, this, &RadioSession::playPause);
    connect(player, &MediaPlayer::stopRequested, this, &RadioSession::stopPlaying);
    connect(m_pane, &BrowserPane::titleChange, player, &MediaPlayer::setTitle);
    updateMediaStatus();
}

void RadioSession::login()
{
    if (m_closing)
        return;
    emit message(tr("Пожалуйста подождите. Производится подключение."));
    send(Requests::login(m_endpoints, m_userName, m_passw));
}

bool RadioSession::logoff()
{
    m_closing = true;
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
    emit message(tr("Активирован тихий режим \"Сон\""));
    send(Requests::sleep(m_endpoints, m_userName, m_passw, wakeUpText));
}

void RadioSession::wakeUp(bool ring)
{
    if (m_closing)
        return;
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
    setMuted(false);
    login();
}

void RadioSession::stopLoading()
{
    m_pane->stop();
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
}

void RadioSession::pause()
{
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
    if (Endpoints::isOnHost(url, m_endpoints.serviceHost))
        loadPartnerPlayer();
    else if (Endpoints::isOnHost(url, m_endpoints.partnerHost))
        loadLocalPage(false);
    else
        *cancel = true;
}

void RadioSession::onPageLoaded(const QUrl &url)
{
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
