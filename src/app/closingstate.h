#pragma once

#include <QObject>

class QTimer;

// The closing sequence's own state, apart from the window: whether closing has begun, whether the
// logoff has been done, the closing tick, and the bound on waiting for the service. Every way of
// closing (the user, the timer, the session's end) goes through the window's close query and so
// through here.
class ClosingState : public QObject
{
    Q_OBJECT
public:
    // The closing tick: a refused close is asked again this often.
    static constexpr int TickMs = 2000;
    // How long the closing sequence may wait for the service before the window closes anyway.
    static constexpr int DeadlineMs = 10000;

    explicit ClosingState(QObject *parent = nullptr);

    // A close request, after the logoff request was handed to the pane (logoffSent) or refused by
    // it. Returns whether the window may close.
    bool query(bool logoffSent);
    // A page of the radio pane has loaded; true when closing may go ahead now.
    bool pageLoaded(bool logoffPage);
    // Whether the last refused query should tell the user that the service cannot be told.
    bool reportLogoffFailure() const { return m_reportFailure; }

    bool isClosing() const { return m_closing; }       // from the first close request on; never reset
    bool isLogoffDone() const { return m_logoffDone; } // closing may go ahead
    // The bound ran out: the next close request passes whatever the service does.
    bool isForced() const { return m_forced; }
    bool isClosed() const { return m_closed; }
    void setClosed();

    // The settings are written once per close, even when the session's end wrote them first.
    bool settingsWritten() const { return m_settingsWritten; }
    void setSettingsWritten() { m_settingsWritten = true; }

    // The session or the system is ending: nobody may be there to answer a box.
    bool isSessionEnding() const { return m_sessionEnding; }
    void setSessionEnding() { m_sessionEnding = true; }

signals:
    // The closing tick, or the bound ran out: ask to close again.
    void closeDue();

private:
    QTimer *m_closerTimer;
    QTimer *m_deadline;
    bool m_closing = false;
    bool m_logoffDone = false;
    bool m_logoffRefused = false; // the pane refused a logoff request; the next close may pass
    bool m_reportFailure = false;
    bool m_forced = false;
    bool m_sessionEnding = false;
    bool m_closed = false;
    bool m_settingsWritten = false;
};
