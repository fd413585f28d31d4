#include "timer/timermodel.h"

#include "core/clock.h"
#include "radio/radiosession.h"
#include "settings/localedatetime.h"
#include "timer/countdown.h"
#include "timer/tickschedule.h"
#include "timer/timercommand.h"

#include <QLocale>
#include <QTimer>

namespace {

// The actions after which nothing is heard: the radio fades out before them.
bool endsSound(TimerModel::Action action)
{
    using A = TimerModel::Action;
    return action == A::CloseProgram || action == A::PowerOff || action == A::Suspend ||
           action == A::QuietSleep;
}

QTimer *makeTimer(QObject *owner, const char *name, int intervalMs)
{
    auto *t = new QTimer(owner);
    t->setObjectName(QLatin1String(name));
    t->setInterval(intervalMs);
    t->setSingleShot(true);
    return t;
}

qint64 msFromNow(const QDateTime &now, const DateTime &moment)
{
    return moment.toEpochMSecs() - now.toMSecsSinceEpoch();
}

QString missedText(const DateTime &wakeUp)
{
    return TimerModel::tr("Будильник пропущен: он должен был прозвенеть %1")
        .arg(LocaleDateTime::format(wakeUp, QLocale()));
}

QString failureText(Platform::Request request, const QString &reason)
{
    switch (request) {
    case Platform::Request::PowerOff:
        return TimerModel::tr("Компьютер не выключен: %1").arg(reason);
    case Platform::Request::Suspend:
        return TimerModel::tr("Компьютер не уснул: %1").arg(reason);
    case Platform::Request::WakeTimer:
        // No timer, no sleep: the computer stays awake, held so, until the alarm.
        return TimerModel::tr("Компьютер не уснул до будильника: %1").arg(reason);
    case Platform::Request::IdleLock:
        break;
    }
    return TimerModel::tr("Система может уснуть до срока таймера: %1").arg(reason);
}

} // namespace

TimerModel::TimerModel(Clock *clock, Platform *platform, RadioSession *radio, QObject *parent)
    : QObject(parent), m_clock(clock), m_platform(platform), m_radio(radio),
      m_timer1(makeTimer(this, "Timer1", 1000)), m_wakeUpTimer(makeTimer(this, "WakeUpTimer", 1000)),
      m_closeOnExecTimer(makeTimer(this, "CloseOnExecTimer", CloseAfterCommandMs)),
      m_snoozeOffer(makeTimer(this, "SnoozeOffer", SnoozeOfferMs)),
      m_sleepRequestWait(makeTimer(this, "SleepRequestWait", SleepRequestWaitMs))
{
    // One shot at a time, each aimed from the wall clock: see TickSchedule.
    m_timer1->setTimerType(Qt::PreciseTimer);
    m_wakeUpTimer->setTimerType(Qt::PreciseTimer);
    connect(m_timer1, &QTimer::timeout, this, &TimerModel::tick);
    connect(m_wakeUpTimer, &QTimer::timeout, this, &TimerModel::onWakeUpTick);
    connect(m_closeOnExecTimer, &QTimer::timeout, this, &TimerModel::closeRequested);
    connect(m_snoozeOffer, &QTimer::timeout, this, &TimerModel::endSnoozeOffer);
    connect(m_sleepRequestWait, &QTimer::timeout, this, &TimerModel::suspendForAlarm);
    connect(m_radio, &RadioSession::sleepAnswered, this, &TimerModel::onSleepAnswered);
    connect(m_platform, &Platform::systemResumed, this, [this] {
        m_suspendRequested = false; // that sleep came and went
        tickNow();
    });
    connect(m_platform, &Platform::wallClockChanged, this, &TimerModel::tickNow);
    connect(m_platform, &Platform::requestFailed, this, &TimerModel::onRequestFailed);
}

TimerModel::~TimerModel() = default;

TimerModel::Action TimerModel::actionFromIndex(int index)
{
    return index >= 0 && index < TimerActions::Count ? static_cast<Action>(index) : Action::None;
}

void TimerModel::setSnoozeOfferMs(int ms)
{
    m_snoozeOffer->setInterval(ms);
}

QString TimerModel::snoozeText()
{
    return tr("Отложить на %1 минут").arg(SnoozeMinutes);
}

int TimerModel::nextTickMs() const
{
    for (const QTimer *t : {m_timer1, m_wakeUpTimer})
        if (t->isActive())
            return t->interval();
    return -1;
}

bool TimerModel::isCloseAfterCommandPending() const
{
    return m_closeOnExecTimer->isActive();
}

bool TimerModel::isSnoozeOffered() const
{
    return m_snoozeOffer->isActive();
}

void TimerModel::endSnoozeOffer()
{
    const bool was = m_snoozeOffer->isActive();
    m_snoozeOffer->stop();
    if (was)
        emit snoozeOfferChanged(false);
}

void TimerModel::snooze()
{
    if (!isSnoozeOffered())
        return;
    endSnoozeOffer();
    // A night a repeat armed meanwhile comes again after the snooze's wake-up; the wake-up the
    // user chose stays what the settings keep.
    m_timer1->stop();
    EnterQuietSleep(DateTime::fromQDateTime(m_clock->now().addSecs(SnoozeMinutes * 60)), Sleep::Snooze);
}

void TimerModel::setAction(Action action)
{
    // While armed the armed action stays what fires.
    if (m_phase == Phase::Idle)
        m_action = action;
}

QString TimerModel::arm(const TimerSettings &draft)
{
    // The page shows the set button only when arming may be asked; the rule is kept here.
    if (m_phase == Phase::QuietSleep)
        return tr("Тихий режим \"Сон\" уже включен: сначала нажмите \"Снять\"");
    if (m_phase == Phase::Ended)
        return QString();
    const QDateTime now = m_clock->now();
    const Action action = actionFromIndex(draft.action);
    m_timerTime = draft.moment;
    if (msFromNow(now, m_timerTime) < 0)
        return tr("Установленное время уже истекло!");
    if (action == Action::QuietSleep) {
        m_wakeUpTime = draft.wakeUp;
        if (msFromNow(now, m_wakeUpTime) < 0)
            return tr("Время будильника уже истекло!");
    }
    endSnoozeOffer(); // the user is here
    cancelWakeTimer();
    m_radio->endFade();
    m_action = action;
    m_command = draft.command;
    m_closeAfterCommand = draft.closeAfterCommand;
    m_repeat = action == Action::QuietSleep ? draft.repeatDays : 0;
    m_sleepUntilAlarm = draft.sleepUntilAlarm;
    m_night = {m_timerTime, m_wakeUpTime};
    m_phase = Phase::Armed;
    m_balloonShown = false;
    scheduleTick(m_timer1, msFromNow(now, m_timerTime));
    emit armedChanged(true);
    m_resetRemark = Countdown::armedRemark();
    m_platform->inhibitIdle(TimerActions::keepAwakeReason(static_cast<int>(m_action),
                                                          LocaleDateTime::format(m_timerTime, QLocale())));
    if (m_action == Action::QuietSleep && !m_platform->canPlaySound())
        emit warning(tr("Будильник не будет слышен: звуковой сервер недоступен"));
    return QString();
}

void TimerModel::setKept(const TimerSettings &kept)
{
    m_wakeUpTime = kept.wakeUp;
    m_repeat = kept.repeatDays;
    m_sleepUntilAlarm = kept.sleepUntilAlarm;
    // Without its moment, a kept night is its wake-up alone.
    m_night = {kept.quietSleepAt.isNull() ? kept.wakeUp : kept.quietSleepAt, kept.wakeUp};
}

void TimerModel::resumeRepeat()
{
    if (m_phase != Phase::Idle || !m_repeat)
        return;
    const auto night = nextNight();
    if (!night)
        return;
    armNight(*night);
    emit notice(tr("Будильник повторяется: следующий %1").arg(Repeat::alarmText(night->wakeUp)));
}

// The night armed last while its wake-up is still ahead (the program ended before it, or a snooze
// came in between), else the next one.
std::optional<Repeat::Night> TimerModel::nextNight() const
{
    const qint64 now = m_clock->now().toMSecsSinceEpoch();
    if (m_repeat && m_night.wakeUp.toEpochMSecs() > now)
        return m_night;
    return Repeat::next(m_repeat, m_night, now);
}

void TimerModel::armNight(const Repeat::Night &night)
{
    m_night = night;
    m_wakeUpTime = night.wakeUp;
    m_action = Action::QuietSleep;
    m_resetRemark = Countdown::armedRemark();
    m_balloonShown = false;
    const qint64 msLeft = msFromNow(m_clock->now(), night.sleepAt);
    if (msLeft <= 0) {
        EnterQuietSleep(night.wakeUp, Sleep::WakeUpOnly);
        return;
    }
    m_timerTime = night.sleepAt;
    m_phase = Phase::Armed;
    scheduleTick(m_timer1, msLeft);
    emit armedChanged(true);
    m_platform->inhibitIdle(TimerActions::keepAwakeReason(static_cast<int>(m_action),
                                                          LocaleDateTime::format(m_timerTime, QLocale())));
}

QString TimerModel::nextAlarmText() const
{
    DateTime wakeUp;
    if (m_phase == Phase::QuietSleep)
        wakeUp = m_wakeAt;
    else if (m_phase == Phase::Armed && m_action == Action::QuietSleep)
        wakeUp = m_wakeUpTime;
    return wakeUp.isNull() ? QString() : tr("Будильник: ") + Repeat::alarmText(wakeUp);
}

void TimerModel::reset()
{
    if (m_phase == Phase::Armed)
        m_radio->endFade();
    if (m_phase == Phase::QuietSleep) {
        m_wakeUpTimer->stop();
        m_sleepRequestWait->stop();
        cancelWakeTimer();
        m_radio->endQuietSleep();
    }
    if (m_phase != Phase::Ended)
        DisarmTimer();
}

void TimerModel::stop()
{
    m_timer1->stop();
    m_wakeUpTimer->stop();
    m_closeOnExecTimer->stop();
    m_sleepRequestWait->stop();
    endSnoozeOffer();
    cancelWakeTimer();
    m_timerTime = DateTime();
    m_phase = Phase::Ended;
    m_suspendRequested = false;
    m_platform->releaseIdle();
}

void TimerModel::DisarmTimer()
{
    m_timer1->stop();
    m_timerTime = DateTime();
    m_phase = Phase::Idle;
    m_balloonShown = false;
    emit armedChanged(false);
    emit disarmed();
    // Before any action runs, so the program never holds up its own shutdown or sleep.
    m_platform->releaseIdle();
}

void TimerModel::scheduleTick(QTimer *timer, qint64 msLeft, qint64 atLeastMs)
{
    timer->start(static_cast<int>(qMax(atLeastMs, TickSchedule::nextDelayMs(msLeft))));
}

void TimerModel::tickNow()
{
    for (QTimer *t : {m_timer1, m_wakeUpTimer})
        if (t->isActive())
            t->start(0);
}

void TimerModel::tick()
{
    if (m_phase != Phase::Armed)
        return;
    const qint64 msLeft = msFromNow(m_clock->now(), m_timerTime);
    const qint64 seconds = Countdown::secondsUntil(msLeft);
    emit ticked(Countdown::formatSeconds(Countdown::secondsLeft(msLeft)),
                seconds < Countdown::LastMinuteSeconds);
    if (seconds == Countdown::BalloonSeconds && !m_balloonShown) {
        m_balloonShown = true;
        const TimerActions::Balloon b = TimerActions::balloon(static_cast<int>(m_action), seconds, m_command);
        emit balloonDue(b.title, b.text, b.warning);
    }
    if (const auto remark = Countdown::resetRemark(seconds))
        m_resetRemark = *remark;
    if (endsSound(m_action) && msLeft <= RadioSession::FadeMs)
        m_radio->fadeOut(msLeft);
    if (msLeft <= 0) {
        DisarmTimer();
        runAction();
        return;
    }
    scheduleTick(m_timer1, msLeft);
}

void TimerModel::runAction()
{
    switch (m_action) {
    case Action::CloseProgram:
        emit closeRequested();
        break;
    case Action::PowerOff:
        // The session's end then closes the program through its own closing sequence.
        m_radio->holdStation();
        m_platform->requestPowerOff();
        break;
    case Action::Suspend:
        m_radio->stopLoading();
        m_suspendRequested = true;
        m_platform->requestSuspend();
        break;
    case Action::RunCommand:
        RunTimerCommand();
        break;
    case Action::QuietSleep:
        // A repeated night the machine slept through is gone: said, and the next one armed.
        if (m_repeat && -msFromNow(m_clock->now(), m_wakeUpTime) > StaleAlarmMs) {
            emit warning(missedText(m_wakeUpTime));
            m_radio->endFade();
            if (const auto night = nextNight())
                armNight(*night);
            break;
        }
        EnterQuietSleep(m_wakeUpTime, Sleep::Night);
        break;
    case Action::None:
        break;
    }
    emit actionFired(m_action);
}

void TimerModel::RunTimerCommand()
{
    const TimerCommand command = TimerCommand::resolve(m_command);
    if (command.kind == TimerCommand::Nothing)
        return;
    QString error;
    bool started = false;
    if (command.kind == TimerCommand::Open) {
        started = m_platform->openUrl(command.url);
        if (!started)
            error = tr("Не удалось открыть %1").arg(command.url.toDisplayString());
    } else {
        started = m_platform->startDetached(command.program, command.arguments, &error);
        if (!started)
            error = tr("Команда не запущена: %1").arg(error);
    }
    if (!started) {
        // The program stays, so the message can be read.
        emit failed(error);
        return;
    }
    if (m_closeAfterCommand)
        m_closeOnExecTimer->start();
}

void TimerModel::EnterQuietSleep(const DateTime &wakeAt, Sleep kind)
{
    m_wakeAt = wakeAt;
    m_phase = Phase::QuietSleep;
    emit armedChanged(true);
    // Even a wake-up already due waits: a login in the same breath could cancel the sleep request
    // before the service has it.
    scheduleTick(m_wakeUpTimer, msFromNow(m_clock->now(), m_wakeAt), MinQuietSleepMs);
    const QString wakeUpText = LocaleDateTime::format(m_wakeAt, QLocale());
    if (kind != Sleep::WakeUpOnly)
        m_radio->goQuiet(wakeUpText);
    m_platform->inhibitIdle(TimerActions::keepAwakeForAlarmReason(wakeUpText));
    // A snooze keeps the computer awake: the person is up.
    cancelWakeTimer();
    if (kind == Sleep::Night && m_sleepUntilAlarm)
        m_sleepRequestWait->start();
}

// The service has the sleep request (or never answered): the computer may sleep until shortly
// before the alarm.
void TimerModel::suspendForAlarm()
{
    m_sleepRequestWait->stop();
    const DateTime wakeAt = m_wakeAt.addMSecs(-WakeEarlyMs);
    if (m_phase == Phase::QuietSleep && msFromNow(m_clock->now(), wakeAt) > 0) {
        m_wakeTimerAsked = true;
        m_platform->suspendUntil(wakeAt.toQDateTime());
    }
}

// The wake timer goes when it is no longer wanted: a reset, a snooze, a new arming, the close.
void TimerModel::cancelWakeTimer()
{
    if (!m_wakeTimerAsked)
        return;
    m_wakeTimerAsked = false;
    m_platform->cancelWakeTimer();
}

void TimerModel::onSleepAnswered(bool accepted, const QString &reason)
{
    if (m_phase != Phase::QuietSleep)
        return;
    // The program's own alarm still rings at the wake-up: quiet sleep stays.
    if (!accepted)
        emit failed(tr("Будильник не принят сервисом: %1").arg(reason));
    if (m_sleepRequestWait->isActive())
        suspendForAlarm();
}

void TimerModel::onWakeUpTick()
{
    if (m_phase != Phase::QuietSleep)
        return;
    const qint64 msLeft = msFromNow(m_clock->now(), m_wakeAt);
    emit wakeUpTicked(Countdown::formatSeconds(Countdown::secondsLeft(msLeft)));
    if (msLeft > 0) {
        scheduleTick(m_wakeUpTimer, msLeft);
        return;
    }
    m_wakeUpTimer->stop();
    m_sleepRequestWait->stop();
    DisarmTimer();
    cancelWakeTimer();
    const bool stale = -msLeft > StaleAlarmMs;
    m_radio->wakeUp(!stale);
    if (stale) {
        emit warning(missedText(m_wakeAt));
    } else {
        m_snoozeOffer->start();
        emit snoozeOfferChanged(true);
    }
    if (const auto night = nextNight())
        armNight(*night);
}

void TimerModel::onRequestFailed(Platform::Request request, const QString &reason)
{
    if (request == Platform::Request::IdleLock && (m_phase == Phase::Idle || m_phase == Phase::Ended))
        return; // a lock for a timer that is gone
    if (request == Platform::Request::WakeTimer && m_phase != Phase::QuietSleep)
        return;
    emit failed(failureText(request, reason));
    // The computer stays on: the radio is heard again.
    if (request == Platform::Request::PowerOff || request == Platform::Request::Suspend)
        m_radio->endFade();
    // The panes were stopped for the sleep that did not come: the radio must not stay silent.
    if (request == Platform::Request::Suspend && m_suspendRequested) {
        m_suspendRequested = false;
        m_radio->login();
    }
}
