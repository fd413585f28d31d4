#pragma once

#include <QObject>

class QTimer;

// The closing sequence's own state, apart from the window: which requests may pass, whether a
// failed logoff has been reported, and the bound on waiting for the service. Every way of
// closing (the user, the timer, the session's end) goes through the window's close query and so
// through here.
class ClosingState : public QObject
{
    Q_OBJECT
public:
    // How long the closing sequence may wait for the service before the window closes anyway.
    static constexpr int DeadlineMs = 10000;

    explicit ClosingState(QObject *parent = nullptr);

    // A close request: starts the bound on the first one. logoffDone tells whether the logoff
    // page had already loaded; logoffSent whether the logoff request could be handed to the pane
    // now. Returns whether the window may close.
    bool query(bool logoffDone, bool logoffSent);
    // Whether the last refused query should tell the user that the service cannot be told.
    bool reportLogoffFailure() const { return m_reportFailure; }

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
    void deadlineReached();

private:
    QTimer *m_deadline;
    bool m_logoffRefused = false; // the pane refused a logoff request; the next close may pass
    bool m_reportFailure = false;
    bool m_forced = false;
    bool m_sessionEnding = false;
    bool m_closed = false;
    bool m_settingsWritten = false;
};
