#pragma once

#include "core/datetime.h"
#include "platform/platform.h"
#include "timer/timeractions.h"

#include <QObject>
#include <QString>

class Clock;
class QTimer;

// The timer apart from its widgets: what is armed, the ticks aimed at its moment, the action at
// the moment, and quiet sleep up to its wake-up. The window hands it what the pickers say and
// draws what it emits; the radio pane is reached only through the signals.
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
        QuietSleep
    };
    Q_ENUM(Phase)

    // Why the radio pane is to log in again.
    enum class LoginReason
    {
        WakeUp,      // the wake-up moment came
        UserReset,   // the user ended quiet sleep early
        SleepRefused // the system did not go to sleep, and the panes were stopped for it
    };
    Q_ENUM(LoginReason)

    // What the page says when "Установить" is pressed.
    struct Setting
    {
        DateTime moment;
        Action action = Action::None;
        QString command;
        bool closeAfterCommand = false;
        DateTime wakeUp; // read only for quiet sleep
    };

    // The program stays this long after starting the command when it is to close then, so the
    // started program can take the screen.
    static constexpr int CloseAfterCommandMs = 1000;
    // The service has the sleep request at least this long before a wake-up login can end it.
    static constexpr int MinQuietSleepMs = 1000;
    // After the wake-up login the radio has this long to be heard before the program rings itself.
    static constexpr int AlarmWatchMs = 20000;
    // After a wake-up the alarm can be put off this long, until the user touches the program or
    // for half an hour at most.
    static constexpr int SnoozeMinutes = 10;
    static constexpr int SnoozeOfferMs = 30 * 60 * 1000;

    TimerModel(Clock *clock, Platform *platform, QObject *parent = nullptr);
    ~TimerModel() override;

    // Arms for the setting; the refusal text when the moment (or the wake-up) has passed, else
    // empty. The moment, and for quiet sleep the wake-up, are kept even when refused.
    QString arm(const Setting &setting);
    // The user's reset: quiet sleep ends with a login; the remark is resetRemark().
    void reset();
    // The program ends: nothing armed may act after this, and the system is let go.
    void stop();
    // A moment that passed while the machine slept, or before the clock was set, is due now.
    void tickNow();
    // Quiet sleep again until SnoozeMinutes from now, while the offer lasts.
    void snooze();
    bool isSnoozeOffered() const;
    // The user touched the program: the alarm has been noticed.
    void endSnoozeOffer();

    // Whether the radio pane makes sound now: the alarm watch listens to it.
    void setRadioAudible(bool audible) { m_radioAudible = audible; }
    void setAlarmWatchMs(int ms);

    Phase phase() const { return m_phase; }
    DateTime timerTime() const { return m_timerTime; } // 0 while nothing is armed
    DateTime wakeUpTime() const { return m_wakeUpTime; }
    void setWakeUpTime(const DateTime &moment) { m_wakeUpTime = moment; }
    // The action chosen on the page, which arming takes; kept in the settings.
    Action action() const { return m_action; }
    void setAction(Action action);
    static Action actionFromIndex(int index);
    QString command() const { return m_command; }
    QString resetRemark() const { return m_resetRemark; }

    // The timer's two clocks, as the page's ticks.
    void Timer1Timer();
    void WakeUpTimerTimer();

signals:
    // The countdown text towards the moment or the wake-up, every tick.
    void countdownChanged(const QString &text);
    // Every countdown tick: whether less than a minute is left.
    void lastMinuteChanged(bool lastMinute);
    // 45 seconds before the moment.
    void balloonDue(const QString &title, const QString &text, bool warning);
    // The page is to look armed (also during quiet sleep) or idle.
    void armedChanged(bool armed);
    // The timer was disarmed: the countdown's traces are to go.
    void disarmed();
    // The moment came and this action starts now (the window stops the panes before a sleep).
    void actionFired(TimerModel::Action action);
    // The program is to close: action 0, or after the command.
    void closeRequested();
    // Quiet sleep begun: the radio is to go quiet until the wake-up.
    void quietSleepBegun(const QString &wakeUpText);
    void loginDue(TimerModel::LoginReason reason);
    // Something the timer asked of the system failed: the text names what, and why.
    void failed(const QString &text);
    // The radio stayed silent after the wake-up: the program's own alarm is to ring.
    void alarmDue();
    void snoozeOfferChanged(bool offered);

private:
    void DisarmTimer();
    void StopWakeUpTimer();
    void runAction();
    void RunTimerCommand();
    void EnterQuietSleep(const DateTime &wakeAt);
    void scheduleTick(QTimer *timer, qint64 msLeft, qint64 atLeastMs = 0);
    void onRequestFailed(Platform::Request request, const QString &reason);

    Clock *m_clock;
    Platform *m_platform;
    QTimer *m_timer1;
    QTimer *m_wakeUpTimer;
    QTimer *m_closeOnExecTimer;
    QTimer *m_alarmWatch;
    QTimer *m_snoozeOffer;

    Phase m_phase = Phase::Idle;
    DateTime m_timerTime;
    DateTime m_wakeUpTime; // as chosen; a snooze wakes at m_wakeAt instead
    DateTime m_wakeAt;
    Action m_action = Action::CloseProgram;
    QString m_command;
    bool m_closeAfterCommand = false;
    QString m_resetRemark;
    bool m_suspendRequested = false; // a refusal of this sleep brings the radio back
    bool m_radioAudible = false;
};
