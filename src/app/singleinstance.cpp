#include "app/singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace {
const QByteArray ActivateMessage = QByteArrayLiteral("activate\n");
const QByteArray AckMessage = QByteArrayLiteral("ok\n");

QString runtimeFolder()
{
    // $XDG_RUNTIME_DIR: per user, private, and not emptied by /tmp cleaners while we run.
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir;
}
} // namespace

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent), m_socketPath(runtimeFolder() + QLatin1Char('/') + name + QStringLiteral(".socket")),
      m_lock(runtimeFolder() + QLatin1Char('/') + name + QStringLiteral(".lock"))
{
    // Only a dead owner makes the lock stale, never its age: instances run for days.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::tryBecomePrimary()
{
    if (!m_lock.tryLock(0))
        return false;
    // We own the lock, so any socket file left behind belongs to a dead instance.
    QLocalServer::removeServer(m_socketPath);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine())
                    return;
                const QByteArray line = socket->readLine();
                if (line == ActivateMessage) {
                    socket->write(AckMessage);
                    socket->flush();
                    emit activationRequested();
                }
                socket->disconnectFromServer();
            });
        }
    });
    if (!m_server->listen(m_socketPath))
        qWarning("Ondavo: cannot listen on %s: %s", qPrintable(m_socketPath),
                 qPrintable(m_server->errorString()));
    return true;
}

bool SingleInstance::activatePrimary(int timeoutMs)
{
    // The first instance may hold the lock a moment before it listens: retry until the deadline.
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime())))) {
            socket.write(ActivateMessage);
            if (!socket.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime()))))
                return false;
            while (!socket.canReadLine() &&
                   socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            }
            return socket.readLine() == AckMessage;
        }
        QThread::msleep(50);
    }
    return false;
}
