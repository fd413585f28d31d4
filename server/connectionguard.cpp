#include "connectionguard.h"

#include "servicepages.h"

#include <QTcpSocket>

#include <algorithm>

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// What waits in a connection's read buffer: the socket stops reading from the system past this.
// Holds the largest request the limits let through.
constexpr qint64 kReadBuffer = 64 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 411:
        return QByteArrayLiteral("Length Required");
    case 413:
        return QByteArrayLiteral("Payload Too Large");
    case 414:
        return QByteArrayLiteral("URI Too Long");
    case 429:
        return QByteArrayLiteral("Too Many Requests");
    case 431:
        return QByteArrayLiteral("Request Header Fields Too Large");
    default:
        return QByteArrayLiteral("Bad Request");
    }
}

// Who a connection counts against: its address, or for IPv6 its /64, which one client usually has.
QHostAddress clientOf(const QHostAddress &peer)
{
    bool v4 = false;
    const quint32 ip4 = peer.toIPv4Address(&v4);
    if (v4)
        return QHostAddress(ip4);
    Q_IPV6ADDR ip6 = peer.toIPv6Address();
    std::fill(ip6.c + 8, ip6.c + 16, quint8(0));
    return QHostAddress(ip6);
}

// QHttpServer skips the same characters between requests.
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v';
}

} // namespace

GuardedTcpServer::GuardedTcpServer(const ConnectionLimits &limits, QObject *parent)
    : QTcpServer(parent), m_limits(limits)
{
    if (m_limits.maxConnections <= 0) {
        rlimit files = {};
        const rlim_t soft = ::getrlimit(RLIMIT_NOFILE, &files) == 0 ? files.rlim_cur : 1024;
        m_limits.maxConnections = static_cast<int>(qBound<rlim_t>(16, soft > 80 ? soft - 64 : 16, 10000));
    }
    // Qt's default queue of 50 overflows when a burst of connections meets a busy moment, and each
    // connection it turns away waits a second for its SYN to be sent again.
    setListenBacklogSize(1024);
    // Out of file descriptors, QTcpServer stops accepting for good; try again shortly.
    connect(this, &QTcpServer::acceptError, this,
            [this] { QTimer::singleShot(100, this, &QTcpServer::resumeAccepting); });
}

bool GuardedTcpServer::takeCloseAfterAnswer(QTcpSocket *socket)
{
    auto *guard = socket->findChild<ConnectionGuard *>(QString(), Qt::FindDirectChildrenOnly);
    return !guard || guard->takeCloseAfterAnswer();
}

void GuardedTcpServer::endRequests(QTcpSocket *socket)
{
    if (auto *guard = socket->findChild<ConnectionGuard *>(QString(), Qt::FindDirectChildrenOnly))
        guard->endRequests();
}

void GuardedTcpServer::incomingConnection(qintptr descriptor)
{
    if (m_open >= m_limits.maxConnections) {
        ::close(static_cast<int>(descriptor));
        return;
    }
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        ::close(static_cast<int>(descriptor));
        return;
    }
    // One client's connections must leave room for everyone else's. A refusal holds its descriptor
    // while it lingers, so past twice the cap there is no answer at all.
    const QHostAddress client = clientOf(socket->peerAddress());
    const int fromClient = m_perClient.value(client);
    if (fromClient >= 2 * m_limits.maxPerClient) {
        delete socket;
        return;
    }
    // Pipelined answers are small writes one after another: without this each waits for the
    // client's delayed acknowledgement, some 40 ms.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    auto *guard = new ConnectionGuard(socket, m_limits);
    ++m_open;
    m_perClient[client] = fromClient + 1;
    connect(guard, &QObject::destroyed, this, [this, client] {
        --m_open;
        if (--m_perClient[client] == 0)
            m_perClient.remove(client);
    });
    // QHttpServer 6.4 takes the socket and connects its reader in here, before any byte is read.
    addPendingConnection(socket);
    guard->followServer();
    if (fromClient >= m_limits.maxPerClient)
        guard->refuse(429);
}

ConnectionGuard::ConnectionGuard(QTcpSocket *socket, const ConnectionLimits &limits)
    : QObject(socket), m_socket(socket), m_limits(limits)
{
    socket->setReadBufferSize(kReadBuffer);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ConnectionGuard::drop);
    connect(socket, &QIODevice::readyRead, this, &ConnectionGuard::beforeServer);
    // A client taking its answer is not idle.
    connect(socket, &QIODevice::bytesWritten, this, &ConnectionGuard::arm);
    arm();
}

void ConnectionGuard::followServer()
{
    connect(m_socket, &QIODevice::readyRead, this, &ConnectionGuard::afterServer);
}

bool ConnectionGuard::takeCloseAfterAnswer()
{
    // An answer to a request never seen here: end the connection rather than guess.
    if (m_closing.empty())
        return true;
    const bool close = m_closing.front();
    m_closing.pop_front();
    return close;
}

// The server reads one request per readyRead and signals readyRead again for what it left, so only
// what lies past what it left last time is new.
void ConnectionGuard::beforeServer()
{
    // Requests sent without reading the answers would pile the answers up here.
    if (m_socket->bytesToWrite() > m_limits.maxUnsent) {
        drop();
        return;
    }
    const qint64 available = m_socket->bytesAvailable();
    const qint64 fresh = available - m_unread;
    if (fresh <= 0)
        return;
    const QByteArray buffered = m_socket->peek(available);
    const int status = scan(buffered.constData() + (buffered.size() - fresh), fresh);
    if (status != 0) {
        refuse(status);
        return;
    }
    arm();
}

void ConnectionGuard::afterServer()
{
    m_unread = m_socket->bytesAvailable();
}

int ConnectionGuard::scan(const char *data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        if (m_bodyLeft > 0) {
            const qint64 skip = qMin<qint64>(m_bodyLeft, size - i);
            m_bodyLeft -= skip;
            i += skip - 1;
            continue;
        }
        const char c = data[i];
        if (m_head.isEmpty()) {
            if (isBlank(c))
                continue;
            m_headClock.start();
        }
        m_head.append(c);
        if (m_lineEnd < 0) {
            if (c == '\n') {
                const qsizetype length = m_head.size() - (m_head.endsWith("\r\n") ? 2 : 1);
                if (length > m_limits.maxRequestLine)
                    return 414;
                m_lineEnd = m_head.size();
            } else if (m_head.size() > m_limits.maxRequestLine + 1) { // + 1: room for a CR
                return 414;
            }
            continue;
        }
        if (m_head.size() - m_lineEnd > m_limits.maxHeaderBytes)
            return 431;
        if (c == '\n' && (m_head.endsWith("\n\n") || m_head.endsWith("\n\r\n"))) {
            if (const int status = headComplete())
                return status;
        }
    }
    return 0;
}

int ConnectionGuard::headComplete()
{
    const QList<QByteArray> lines = m_head.split('\n');
    const QByteArray requestLine = lines.constFirst().trimmed();
    // HTTP/1.0 clients expect the end of the answer to be the end of the connection.
    bool close = requestLine.mid(requestLine.lastIndexOf(' ') + 1) != "HTTP/1.1";
    qint64 length = 0;
    bool seenLength = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "connection") {
            for (const QByteArray &option : value.split(','))
                close = close || option.trimmed().compare("close", Qt::CaseInsensitive) == 0;
        } else if (name == "transfer-encoding") {
            // Chunks would have to be followed to find the next request; no page takes a body.
            return 411;
        } else if (name == "content-length" && !seenLength) {
            // The server goes by the first one; what is not a number is no body.
            seenLength = true;
            length = value.toLongLong();
        }
    }
    if (length > m_limits.maxBody)
        return 413;
    m_bodyLeft = qMax<qint64>(length, 0);
    m_closing.push_back(close);
    m_head.clear();
    m_lineEnd = -1;
    m_headClock.invalidate();
    return 0;
}

void ConnectionGuard::refuse(int status)
{
    // The server's reader, next in line for this readyRead, must not see the request.
    disconnect(m_socket, &QIODevice::readyRead, nullptr, nullptr);
    const PageResponse page = ServicePages::errorPage(status);
    QByteArray answer = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    answer += "Content-Type: " + page.contentType + "\r\n";
    for (const auto &[name, value] : page.headers)
        answer += name + ": " + value + "\r\n";
    answer += "Content-Length: " + QByteArray::number(page.body.size()) + "\r\nConnection: close\r\n\r\n";
    // Closing with the rest of the request unread would reset the connection, and the client would
    // lose the answer: send it, end the sending side, and read what still comes for a while.
    m_refused = true;
    m_timer.start(m_limits.lingerMs);
    connect(m_socket, &QIODevice::readyRead, this, &ConnectionGuard::discard);
    connect(m_socket, &QIODevice::bytesWritten, this, &ConnectionGuard::halfClose);
    m_socket->write(answer + page.body);
    discard();
}

void ConnectionGuard::endRequests()
{
    disconnect(m_socket, &QIODevice::readyRead, nullptr, nullptr);
    connect(m_socket, &QIODevice::readyRead, this, &ConnectionGuard::discard);
    // A request begun behind this one would otherwise hold the head's time limit over the stream.
    m_head.clear();
    m_lineEnd = -1;
    m_headClock.invalidate();
    discard();
}

void ConnectionGuard::halfClose()
{
    if (m_socket->bytesToWrite() == 0)
        ::shutdown(static_cast<int>(m_socket->socketDescriptor()), SHUT_WR);
}

void ConnectionGuard::discard()
{
    m_discarded += m_socket->skip(m_socket->bytesAvailable());
    if (m_discarded > m_limits.lingerMax)
        drop();
}

void ConnectionGuard::drop()
{
    disconnect(m_socket, &QIODevice::readyRead, nullptr, nullptr);
    m_socket->abort();
    m_socket->deleteLater();
}

void ConnectionGuard::arm()
{
    if (m_refused)
        return;
    qint64 ms = m_limits.idleMs;
    if (m_headClock.isValid())
        ms = qMin<qint64>(ms, m_limits.headMs - m_headClock.elapsed());
    m_timer.start(static_cast<int>(qMax<qint64>(ms, 0)));
}
