#include "app/closingstate.h"

#include <QTimer>

ClosingState::ClosingState(QObject *parent) : QObject(parent), m_deadline(new QTimer(this))
{
    m_deadline->setObjectName(QStringLiteral("CloseDeadline"));
    m_deadline->setInterval(DeadlineMs);
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, [this] {
        m_forced = true;
        emit deadlineReached();
    });
}

bool ClosingState::query(bool logoffDone, bool logoffSent)
{
    m_reportFailure = false;
    if (!m_deadline->isActive())
        m_deadline->start();
    if (logoffSent)
        return logoffDone;
    // The service cannot be told; say so once, and let the next request through.
    const bool pass = logoffDone || m_logoffRefused;
    m_reportFailure = !m_logoffRefused && !m_sessionEnding;
    m_logoffRefused = true;
    return pass;
}

void ClosingState::setClosed()
{
    m_closed = true;
    m_deadline->stop();
}
