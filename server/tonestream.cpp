#include "tonestream.h"

#include "signalwav.h"

#include <QTcpSocket>

namespace {

constexpr int kTickMs = 100;
constexpr qint64 kFrameBytes = 2;
// The most one tick sends: after a stall of the event loop what was missed is skipped, not sent
// in a burst.
constexpr qint64 kMostFrames = ToneStream::kSampleRate / 5;

// What the system holds for the client beside what Qt does: its own default grows to megabytes,
// which a client that stops reading would fill for a minute before the idle limit saw it.
constexpr int kSystemBuffer = 64 * 1024;

const QByteArray &toneSecond()
{
    static const QByteArray second = steadyToneSecond(ToneStream::kSampleRate);
    return second;
}

} // namespace

ToneStream::ToneStream(QTcpSocket *socket, qint64 maxUnsent)
    : QObject(socket), m_socket(socket), m_maxUnsent(maxUnsent)
{
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSystemBuffer);
    connect(&m_timer, &QTimer::timeout, this, &ToneStream::send);
    // The socket is deleted later; no tick may write to it meanwhile.
    connect(socket, &QAbstractSocket::disconnected, &m_timer, &QTimer::stop);
    m_timer.start(kTickMs);
    m_clock.start();
    // The first second, ahead of the clock.
    m_due = -kSampleRate;
    send();
}

void ToneStream::send()
{
    // Counted from the clock, not from the ticks, so the stream keeps the rate however late a tick.
    const qint64 due = m_clock.elapsed() * kSampleRate / 1000;
    qint64 frames = due - m_due;
    if (m_due >= 0 && frames > kMostFrames)
        frames = kMostFrames;
    m_due = due;
    if (m_socket->bytesToWrite() + frames * kFrameBytes > m_maxUnsent) {
        m_socket->abort();
        m_socket->deleteLater();
        return;
    }
    const QByteArray &second = toneSecond();
    while (frames > 0) {
        const qint64 run = qMin(frames, kSampleRate - m_at);
        m_socket->write(second.constData() + m_at * kFrameBytes, run * kFrameBytes);
        m_at = (m_at + run) % kSampleRate;
        frames -= run;
    }
}
