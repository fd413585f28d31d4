#pragma once

#include "core/datetime.h"
#include "platform/platform.h"
#include "settings/settingsfile.h"
#include "timer/repeat.h"
#include "timer/timeractions.h"

#include <QObject>
#include <QString>

class Clock;
class QTimer;
class RadioSession;

// The timer apart from its widgets: what is armed, the ticks aimed at its moment, the action at the
// moment, and quiet sleep up to its wake-up. It guards its own phases: the page hands it what the
// person chose, and draws what it emits. Every action goes through the radio session or the
// platform.
//
// A night: arm() with quiet sleep; tick() counts down to the moment, announces it 45 s ahead, then
// disarms and asks the radio to go quiet (the sleep request) and the platform to keep the machine
// awake; onWakeUpTick() counts down to the wake-up, then asks the radio to wake up (the login with
// its alarm watch) and offers the snooze for a while; snooze() is quiet sleep again, ten minutes on.
// With weekdays ticked, each wake-up arms the next night by itself; with the computer to sleep
// until the alarm, quiet sleep asks the platform for a wake timer and a real sleep once the
// service has the sleep request.
//
// arm(): TimerSetBtnClick; reset(): TimerResetBtnClick; tick(): Timer1Timer; onWakeUpTick():
// WakeUpTimerTimer.
class TimerModel : public QObject
{
    Q_OBJECT
public:
    enum class Action
    {
        None = -1, // nothing selected: the moment only disarms
        CloseProgram = TimerActions::CloseProgram,
        PowerOff = TimerActions::PowerOff,
        Suspend = TimerActions::Suspend,
        RunCommand = TimerActions::RunCommand,
        QuietSleep = TimerActions::QuietSleep,
    };
    Q_ENUM(Action)

    enum class Phase
    {
        Idle,
        Armed,
        QuietSleep,
        Ended // the program is closing: nothing arms or acts any more
    };
    Q_ENUM(Phase)

    // The program stays this long after starting the command when it is to close then, so the
    // started program can take the screen.
    static constexpr int CloseAfterCommandMs = 1000;
    // The service has the sleep request at least this long before a wake-up login can end it.
    static constexpr int MinQuietSleepMs = 1000;
    // After a wake-up the alarm can be put off this long, until the user touches the program or
    // for half an hour at most.
    static constexpr int SnoozeMinutes = 10;
    static constexpr int SnoozeOfferMs = 30 * 60 * 1000;
    // A wake-up this late (the computer was off or asleep through it) only logs in: nobody set an
    // alarm for now.
    static constexpr qint64 StaleAlarmMs = 60 * 60 * 1000;
    // The computer wakes this long before the alarm, so the network is back in time.
    static constexpr qint64 WakeEarlyMs = 2 * 60 * 1000;
    // The computer goes to sleep once the service has the sleep request, or after this long.
    static constexpr int SleepRequestWaitMs = 15000;

    TimerModel(Clock *clock, Platform *platform, RadioSession *radio, QObject *parent = nullptr);
    ~TimerModel() override;

    // Arms for what the page says; the refusal text, or empty. The moment, and for quiet sleep the
    // wake-up, are kept even when refused. Quiet sleep must be ended first: arming during it is
    // refused.
    QString arm(const TimerSettings &draft);
    // The user's reset: quiet sleep ends with a login; the remark is resetRemark().
    void reset();
    // The program is closing: nothing armed acts after this, and the system is let go.
    void stop();
    // A moment that passed while the machine slept, or before the clock was set, is due now.
    void tickNow();

    // Quiet sleep again until SnoozeMinutes from now, while the offer lasts.
    void snooze();
    bool isSnoozeOffered() const;
    // The user touched the program: the alarm has been noticed.
    void endSnoozeOffer();
    void setSnoozeOfferMs(int ms);
    static QString snoozeText();

    // The user has seen the balloon (touched the tray icon): a later one may show again.
    void balloonSeen() { m_balloonShown = false; }

    Phase phase() const { return m_phase; }
    // The moment last offered to arming (a refused one stays, so the page can show it again); 0
    // once the timer has been disarmed.
    DateTime timerTime() const { return m_timerTime; }
    // The wake-up last offered to arming; the settings keep it.
    DateTime wakeUpTime() const { return m_wakeUpTime; }
    // What the settings kept: the wake-up and, for a repeat, its night and days.
    void setKept(const TimerSettings &kept);
    // With days kept, arms the next night by itself (the wake-up alone when its quiet-sleep moment
    // has passed) and says so.
    void resumeRepeat();
    // The quiet-sleep moment of the night last armed; the settings keep it for a repeat.
    DateTime quietSleepAt() const { return m_night.sleepAt; }
    // "Будильник: вт 07:00" while an alarm is ahead, else empty.
    QString nextAlarmText() const;
    // The action chosen on the page, which arming takes; kept in the settings.
    Action action() const { return m_action; }
    void setAction(Action action);
    static Action actionFromIndex(int index);
    QString resetRemark() const { return m_resetRemark; }
    // The delay of the next countdown or wake-up tick, or -1 when neither is due.
    int nextTickMs() const;
    bool isCloseAfterCommandPending() const;

    // The two ticks, each aimed at the moment from the wall clock.
    void tick();
    void onWakeUpTick();

signals:
    // Every countdown tick: the text towards the moment, and whether less than a minute is left.
    void ticked(const QString &countdown, bool lastMinute);
    // Every wake-up tick: the text towards the wake-up.
    void wakeUpTicked(const QString &countdown);
    // 45 seconds before the moment, once until the user has seen it.
    void balloonDue(const QString &title, const QString &text, bool warning);
    // The page is to look armed (also during quiet sleep) or idle.
    void armedChanged(bool armed);
    // The timer was disarmed: the countdown's traces are to go.
    void disarmed();
    // The moment came and this action starts now (the window stops its clock pane before a sleep).
    void actionFired(TimerModel::Action action);
    // The program is to close: action 0, or after the command.
    void closeRequested();
    // Something the timer asked of the system failed: the text names what, and why.
    void failed(const QString &text);
    // Said at once, in the tray too: the alarm about to be armed cannot be heard, or one was missed.
    void warning(const QString &text);
    // Said on the page: a repeat armed by itself.
    void notice(const QString &text);
    void snoozeOfferChanged(bool offered);

private:
    void DisarmTimer();
    void runAction();
    void RunTimerCommand();
    enum class Sleep
    {
        Night,     // the sleep request, and the computer to sleep if asked
        Snooze,    // the sleep request only: the person is up
        WakeUpOnly // the night's moment has passed: only the wake-up is ahead
    };
    void EnterQuietSleep(const DateTime &wakeAt, Sleep kind);
    std::optional<Repeat::Night> nextNight() const;
    void armNight(const Repeat::Night &night);
    void suspendForAlarm();
    void cancelWakeTimer();
    void onSleepAnswered(bool accepted, const QString &reason);
    void scheduleTick(QTimer *timer, qint64 msLeft, qint64 atLeastMs = 0);
    void onRequestFailed(Platform::Request request, const QString &reason);

    Clock *m_clock;
    Platform *m_platform;
    RadioSession *m_radio;
    QTimer *m_timer1;
    QTimer *m_wakeUpTimer;
    QTimer *m_closeOnExecTimer;
    QTimer *m_snoozeOffer;
    QTimer *m_sleepRequestWait;

    Phase m_phase = Phase::Idle;
    DateTime m_timerTime;
    DateTime m_wakeUpTime; // as chosen; a snooze wakes at m_wakeAt instead
    DateTime m_wakeAt;
    Action m_action = Action::CloseProgram;
    QString m_command;
    bool m_closeAfterCommand = false;
    QString m_resetRemark;
    bool m_balloonShown = false;
    Repeat::Days m_repeat = 0;
    Repeat::Night m_night; // the night armed last, which the next one follows
    bool m_sleepUntilAlarm = false;
    bool m_wakeTimerAsked = false;
    bool m_suspendRequested = false; // a refusal of this sleep brings the radio back
};
