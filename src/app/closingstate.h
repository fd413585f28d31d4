#pragma once

#include <QObject>

class QTimer;
class QUrl;
class RadioSession;

// The closing sequence, apart from the window: it sends the logoff through the radio session,
// waits for the service's page or its own closing tick, and never waits longer than its bound.
// Every way of closing (the user, the timer, the session's end) goes through the window's close
// query and so through query(); the window shows what it says.
class ClosingState : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Open,             // not closing
        OpenLoggedOff,    // not closing, but a logoff page has loaded: the first request passes
        WaitingForLogoff, // the logoff went out and nothing else loaded since: a request passes
        LogoffUndone,     // another page loaded since: the next request logs off again
        Unreachable,      // the service cannot be told (the pane refused, or the logoff failed)
        TimeUp,           // the bound ran out: the next request passes whatever the service does
        Closed,           // the window has closed
        ReportingFailure, // the settings could not be written and the box says so
        Ended             // the program may end
    };
    Q_ENUM(State)

    // The closing tick: a refused close is asked again this often.
    static constexpr int TickMs = 2000;
    // How long the closing sequence may wait for the service before the window closes anyway.
    static constexpr int DeadlineMs = 10000;
    // How long a failed write of the settings is shown before the program ends anyway.
    static constexpr int WriteFailureBoxMs = 30000;

    explicit ClosingState(RadioSession *radio, QObject *parent = nullptr);

    State state() const { return m_state; }
    // A close request; the logoff goes out unless the service cannot be told. True when the
    // window may close now.
    bool query();
    // The window has closed; a failed write of the settings is reported unless nobody is there.
    void closed(bool settingsSaved);
    // The box that reports the failed write was answered, or timed out.
    void writeFailureAnswered();

    bool isClosing() const { return m_state != State::Open && m_state != State::OpenLoggedOff; }
    bool isClosed() const { return m_state >= State::Closed; }
    // The last request found the pane refusing the logoff for the first time: say why.
    bool reportLogoffRefused() const { return m_reportRefusal; }

    // The session or the system is ending: nobody may be there to answer a box.
    bool isSessionEnding() const { return m_sessionEnding; }
    void setSessionEnding() { m_sessionEnding = true; }
    // The settings are written once per close, even when the session's end wrote them first.
    bool settingsWritten() const { return m_settingsWritten; }
    void setSettingsWritten() { m_settingsWritten = true; }

    // How long until the closing tick, or -1 while it does not run.
    int msToTick() const;
    // The tick and the two bounds, as their timers fire them.
    void tick();
    void boundReached();
    void writeFailureBoundReached() { emit writeFailureTimedOut(); }

signals:
    // The first close request: from now on nothing is armed and nothing else reaches the service.
    void closingBegun();
    // Ask to close again: the closing tick, the logoff page, a logoff that failed, the bound.
    void closeDue();
    void writeFailureDue();
    void writeFailureTimedOut();
    void finished();

private:
    void onPageLoaded(const QUrl &url);
    void onLogoffFailed();

    RadioSession *m_radio;
    QTimer *m_closerTimer;
    QTimer *m_deadline;
    QTimer *m_boxBound;
    State m_state = State::Open;
    bool m_reportRefusal = false;
    bool m_sessionEnding = false;
    bool m_settingsWritten = false;
};
