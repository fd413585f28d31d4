#include "app/closingstate.h"

#include <QTimer>

ClosingState::ClosingState(QObject *parent)
    : QObject(parent), m_closerTimer(new QTimer(this)), m_deadline(new QTimer(this))
{
    m_closerTimer->setObjectName(QStringLiteral("CloserTimer"));
    m_closerTimer->setInterval(TickMs);
    connect(m_closerTimer, &QTimer::timeout, this, &ClosingState::closeDue);
    m_deadline->setObjectName(QStringLiteral("CloseDeadline"));
    m_deadline->setInterval(DeadlineMs);
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, [this] {
        m_forced = true;
        emit closeDue();
    });
}

bool ClosingState::query(bool logoffSent)
{
    m_closing = true;
    m_reportFailure = false;
    if (!m_deadline->isActive())
        m_deadline->start();
    const bool wasDone = m_logoffDone;
    if (logoffSent) {
        m_logoffDone = true;
        // Only switched on: a running closing tick keeps its phase.
        if (!m_closerTimer->isActive())
            m_closerTimer->start();
        return wasDone;
    }
    // The service cannot be told; say so once, and let the next request through.
    const bool pass = wasDone || m_logoffRefused;
    m_reportFailure = !m_logoffRefused && !m_sessionEnding;
    m_logoffRefused = true;
    return pass;
}

bool ClosingState::pageLoaded(bool logoffPage)
{
    m_logoffDone = logoffPage;
    return m_closing && m_logoffDone;
}

void ClosingState::setClosed()
{
    m_closed = true;
    m_closerTimer->stop();
    m_deadline->stop();
}
