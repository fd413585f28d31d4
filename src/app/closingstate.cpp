#include "app/closingstate.h"

#include "radio/radiosession.h"
#include "service/requests.h"

#include <QTimer>

namespace {
QTimer *makeTimer(QObject *owner, const char *name, int intervalMs, bool singleShot)
{
    auto *t = new QTimer(owner);
    t->setObjectName(QLatin1String(name));
    t->setInterval(intervalMs);
    t->setSingleShot(singleShot);
    return t;
}
} // namespace

ClosingState::ClosingState(RadioSession *radio, QObject *parent)
    : QObject(parent), m_radio(radio), m_closerTimer(makeTimer(this, "CloserTimer", TickMs, false)),
      m_deadline(makeTimer(this, "CloseDeadline", DeadlineMs, true)),
      m_boxBound(makeTimer(this, "WriteFailureBoxBound", WriteFailureBoxMs, true))
{
    connect(m_closerTimer, &QTimer::timeout, this, &ClosingState::tick);
    connect(m_deadline, &QTimer::timeout, this, &ClosingState::boundReached);
    connect(m_boxBound, &QTimer::timeout, this, &ClosingState::writeFailureBoundReached);
    connect(m_radio, &RadioSession::pageLoaded, this, &ClosingState::onPageLoaded);
    connect(m_radio, &RadioSession::logoffFailed, this, &ClosingState::onLogoffFailed);
}

bool ClosingState::query()
{
    m_reportRefusal = false;
    switch (m_state) {
    case State::Unreachable:
    case State::TimeUp:
    case State::Closed:
    case State::ReportingFailure:
    case State::Ended:
        return true;
    case State::Open:
    case State::OpenLoggedOff:
        m_deadline->start();
        emit closingBegun();
        break;
    case State::WaitingForLogoff:
    case State::LogoffUndone:
        break;
    }
    const bool pass = m_state == State::OpenLoggedOff || m_state == State::WaitingForLogoff;
    if (!m_radio->logoff()) {
        // The service cannot be told: say so once, and let the next request through.
        m_reportRefusal = !m_sessionEnding;
        m_state = State::Unreachable;
        return pass;
    }
    m_state = State::WaitingForLogoff;
    // Only switched on: a running closing tick keeps its phase.
    if (!m_closerTimer->isActive())
        m_closerTimer->start();
    return pass;
}

void ClosingState::onPageLoaded(const QUrl &url)
{
    const bool logoffPage = Requests::isLogoff(url);
    switch (m_state) {
    case State::Open:
    case State::OpenLoggedOff:
        m_state = logoffPage ? State::OpenLoggedOff : State::Open;
        break;
    case State::WaitingForLogoff:
    case State::LogoffUndone:
        m_state = logoffPage ? State::WaitingForLogoff : State::LogoffUndone;
        if (logoffPage)
            emit closeDue();
        break;
    default:
        break;
    }
}

void ClosingState::onLogoffFailed()
{
    if (m_state != State::WaitingForLogoff && m_state != State::LogoffUndone)
        return;
    m_state = State::Unreachable;
    emit closeDue();
}

int ClosingState::msToTick() const
{
    return m_closerTimer->remainingTime();
}

void ClosingState::tick()
{
    if (isClosing() && !isClosed())
        emit closeDue();
}

void ClosingState::boundReached()
{
    if (!isClosing() || isClosed())
        return;
    m_state = State::TimeUp;
    emit closeDue();
}

void ClosingState::closed(bool settingsSaved)
{
    if (isClosed())
        return;
    m_closerTimer->stop();
    m_deadline->stop();
    if (!settingsSaved && !m_sessionEnding) {
        m_state = State::ReportingFailure;
        m_boxBound->start();
        emit writeFailureDue();
        return;
    }
    m_state = State::Ended;
    emit finished();
}

void ClosingState::writeFailureAnswered()
{
    if (m_state != State::ReportingFailure)
        return;
    m_boxBound->stop();
    m_state = State::Ended;
    emit finished();
}
