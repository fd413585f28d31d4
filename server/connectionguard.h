#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <deque>

class QTcpSocket;

// What one connection may send and how long it may take. Anyone can connect, and QHttpServer 6.4
// reads a request line and headers of any length and waits forever for the rest of a request.
struct ConnectionLimits
{
    int maxRequestLine = 8 * 1024;  // bytes, without the line end; longer: 414
    int maxHeaderBytes = 16 * 1024; // header lines and the blank line after them; more: 431
    qint64 maxBody = 16 * 1024;     // the service takes no bodies; a longer one: 413
    int idleMs = 5000;              // no byte in either direction for this long: dropped
    int headMs = 10000;             // a request line and headers still incomplete after this: dropped
    qint64 maxUnsent = 1024 * 1024; // answers the client has not read; past this: dropped
    int lingerMs = 1000;            // after a refusal, what the client still sends is read and
    qint64 lingerMax = 512 * 1024;  // discarded for this long, up to this much, then it is closed
    int maxConnections = 0;         // open at once, more are closed at once; 0: what the process's
                                    // file descriptors allow, 64 kept spare, at most 10000
    int maxPerClient = 64;          // open at once from one address (IPv6: one /64); more get 429
};

// Accepts connections for QHttpServer (bind it there) and watches each connection's bytes before
// the server reads them.
class GuardedTcpServer : public QTcpServer
{
    Q_OBJECT
public:
    explicit GuardedTcpServer(const ConnectionLimits &limits = {}, QObject *parent = nullptr);

    // Once per answer, for the request being answered on socket: whether the connection ends after
    // the answer (HTTP/1.0, or "close" among its Connection options).
    static bool takeCloseAfterAnswer(QTcpSocket *socket);
    // The answer being sent on socket goes on as long as the client takes it: see
    // ConnectionGuard::endRequests().
    static void endRequests(QTcpSocket *socket);
    int openConnections() const { return m_open; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    ConnectionLimits m_limits;
    int m_open = 0;
    QHash<QHostAddress, int> m_perClient; // open connections, refused ones still lingering included
};

// One connection's watch. A child of its socket, it reads nothing: it peeks at each new byte before
// QHttpServer's reader sees it, follows request boundaries, and answers a request that is too
// large itself, so the server never reads it.
class ConnectionGuard : public QObject
{
    Q_OBJECT
public:
    ConnectionGuard(QTcpSocket *socket, const ConnectionLimits &limits);
    // Call once the HTTP server has connected its reader: this one must run after it.
    void followServer();
    bool takeCloseAfterAnswer();
    // Answers status and ends the connection, whatever the client sends.
    void refuse(int status);
    // The connection carries one endless answer from now on: no later request is read (its answer
    // would land inside the stream), and what the client still sends is discarded up to lingerMax.
    // The idle limit stays: a client that takes nothing for that long is dropped.
    void endRequests();

private:
    void beforeServer();
    void afterServer();
    int scan(const char *data, qsizetype size); // 0 or the status to refuse with
    int headComplete();
    void halfClose();
    void discard();
    void drop();
    void arm();

    QTcpSocket *m_socket;
    ConnectionLimits m_limits;
    QTimer m_timer;
    QElapsedTimer m_headClock;  // runs from the first byte of the head being received
    QByteArray m_head;          // the current request's head so far
    qsizetype m_lineEnd = -1;   // where the request line ended in m_head; -1 while it goes on
    qint64 m_bodyLeft = 0;      // body bytes still to pass
    qint64 m_unread = 0;        // bytes the server left in the buffer, all seen here already
    std::deque<bool> m_closing; // per complete head not yet answered: close after its answer
    bool m_refused = false;
    qint64 m_discarded = 0;
};
