#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QTcpSocket;

// The endless station's samples on one connection, whose answer head and WAVE header are sent
// already: a second at once, so that a player can start, then every tenth of a second what the
// clock says is due. A child of its socket, it ends with the connection; a client that leaves more
// than maxUnsent bytes unread is dropped.
class ToneStream : public QObject
{
    Q_OBJECT
public:
    static constexpr int kSampleRate = 22050;

    ToneStream(QTcpSocket *socket, qint64 maxUnsent);

private:
    void send();

    QTcpSocket *m_socket;
    qint64 m_maxUnsent;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_due = 0; // frames accounted for since the start
    qint64 m_at = 0;  // the next frame's place in the second of tone
};
