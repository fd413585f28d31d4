#pragma once

#include "core/datetime.h"
#include "platform/platform.h"
#include "settings/settingsfile.h"
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
    void setWakeUpTime(const DateTime &moment) { m_wakeUpTime = moment; }
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
    // The alarm about to be armed cannot be heard: said at once, in the tray too.
    void warning(const QString &text);
    void snoozeOfferChanged(bool offered);

private:
    void DisarmTimer();
    void runAction();
    void RunTimerCommand();
    void EnterQuietSleep(const DateTime &wakeAt);
    void scheduleTick(QTimer *timer, qint64 msLeft, qint64 atLeastMs = 0);
    void onRequestFailed(Platform::Request request, const QString &reason);

    Clock *m_clock;
    Platform *m_platform;
    RadioSession *m_radio;
    QTimer *m_timer1;
    QTimer *m_wakeUpTimer;
    QTimer *m_closeOnExecTimer;
    QTimer *m_snoozeOffer;

    Phase m_phase = Phase::Idle;
    DateTime m_timerTime;
    DateTime m_wakeUpTime; // as chosen; a snooze wakes at m_wakeAt instead
    DateTime m_wakeAt;
    Action m_action = Action::CloseProgram;
    QString m_command;
    bool m_closeAfterCommand = false;
    QString m_resetRemark;
    bool m_balloonShown = false;
    bool m_suspendRequested = false; // a refusal of this sleep brings the radio back
};
