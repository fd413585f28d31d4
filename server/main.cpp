// ondavo-service: serves the program's service pages on one address and port. Run twice, it is
// both the service host and the partner player host.

#include "connectionguard.h"
#include "serviceoptions.h"
#include "servicepages.h"
#include "tonestream.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QMetaEnum>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// SIGTERM and SIGINT only write a byte here; the event loop reads it and quits, so the server and
// the log are closed by their destructors rather than in a signal handler.
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    if (::write(signalPipe[1], &byte, 1) < 0) {
        // Nothing safe is left to do inside a handler.
    }
}

bool installSignalHandlers()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}

void printLine(std::FILE *stream, const QString &text)
{
    std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stream);
    std::fflush(stream);
}

QString baseUrl(const QHostAddress &address, quint16 port)
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
                             : address.toString();
    return QStringLiteral("http://%1:%2").arg(host).arg(port);
}

QByteArray methodName(QHttpServerRequest::Method method)
{
    const char *key = QMetaEnum::fromType<QHttpServerRequest::Method>().valueToKey(static_cast<int>(method));
    return key ? QByteArray(key).toUpper() : QByteArrayLiteral("UNKNOWN");
}

// A logged line is cut to this many bytes, its last three "...".
constexpr qsizetype kMaxLogLine = 1024;

QByteArray logLine(const QByteArray &method, const QByteArray &target)
{
    QByteArray line = method + ' ' + target;
    if (line.size() > kMaxLogLine)
        line = line.left(kMaxLogLine - 3) + "...";
    return line + '\n';
}

// The request target as the client sent it: path, and '?' with the query when there was one.
QByteArray requestTarget(const QUrl &url)
{
    QByteArray target = url.path(QUrl::FullyEncoded).toUtf8();
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toUtf8();
    return target;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ondavo-service"));

    ServiceOptions options;
    QString message;
    switch (parseServiceArguments(QCoreApplication::arguments(), &options, &message)) {
    case ArgumentsResult::Help:
        printLine(stdout, message);
        return 0;
    case ArgumentsResult::Error:
        printLine(stderr, QStringLiteral("ondavo-service: ") + message);
        return 2;
    case ArgumentsResult::Run:
        break;
    }

    // Every connection takes a descriptor: take as many as the system lets this process have.
    rlimit files = {};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }

    if (!installSignalHandlers()) {
        printLine(stderr, QStringLiteral("ondavo-service: cannot install signal handlers"));
        return 1;
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] {
        char buffer[16];
        while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        QCoreApplication::quit();
    });

    QFile log;
    if (!options.logFile.isEmpty()) {
        log.setFileName(options.logFile);
        // Only its owner reads the log: the targets name the listeners. The mode given to open()
        // only applies to a new file, so one already there is made private on what was opened.
        if (!log.open(QIODevice::WriteOnly | QIODevice::Append,
                      QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
            printLine(stderr, QStringLiteral("ondavo-service: cannot open log %1: %2")
                                  .arg(options.logFile, log.errorString()));
            return 1;
        }
        if (::fchmod(log.handle(), S_IRUSR | S_IWUSR) != 0) {
            printLine(stderr, QStringLiteral("ondavo-service: cannot make log %1 private: %2")
                                  .arg(options.logFile, QString::fromLocal8Bit(std::strerror(errno))));
            return 1;
        }
    }

    QString statePath = options.stateFile;
    if (statePath.isEmpty()) {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                               QStringLiteral("/ondavo-service");
        QDir().mkpath(folder);
        statePath = folder + QStringLiteral("/state.db");
    }
    ServicePages pages(statePath);
    if (!pages.stateError().isEmpty()) {
        printLine(
            stderr,
            QStringLiteral("ondavo-service: cannot keep state in %1: %2").arg(statePath, pages.stateError()));
        return 1;
    }
    for (const auto &[path, status] : options.failures)
        pages.setFailure(path, status);

    // Every request the guard lets through goes to one handler: the pages decide by path, and every
    // such request is logged the same way, answered or not.
    const ConnectionLimits limits;
    QHttpServer server;
    server.setMissingHandler([&](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        QTcpSocket *socket = responder.socket();
        const bool close = GuardedTcpServer::takeCloseAfterAnswer(socket);
        const QUrl url = request.url();
        const QByteArray method = methodName(request.method());
        if (log.isOpen()) {
            log.write(logLine(method, ServicePages::maskedTarget(requestTarget(url))));
            log.flush(); // tests read the log while the service runs
        }
        const PageResponse page = pages.respond(method, url.path(), url.query(QUrl::FullyEncoded).toUtf8());
        const bool head = method == "HEAD";
        // An endless answer has no length: its end is the connection's.
        const bool stream = page.endless && !head;
        responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(page.status));
        if (!page.contentType.isEmpty())
            responder.writeHeader("Content-Type", page.contentType);
        for (const auto &[name, value] : page.headers)
            responder.writeHeader(name, value);
        // A HEAD answer says how long the GET body is, and leaves it out.
        if (!page.endless)
            responder.writeHeader("Content-Length", QByteArray::number(page.body.size()));
        if (close || stream)
            responder.writeHeader("Connection", "close");
        responder.writeBody(head ? QByteArray() : page.body);
        if (stream) {
            GuardedTcpServer::endRequests(socket);
            new ToneStream(socket, limits.maxUnsent);
            return;
        }
        // disconnectFromHost writes what is pending first.
        if (close)
            socket->disconnectFromHost();
    });

    if (options.refuse) {
        // A host that is down: nothing listens, so connections are refused outright. With port 0
        // a port that was free a moment ago is reported.
        quint16 port = options.port;
        if (port == 0) {
            QTcpServer probe;
            if (!probe.listen(options.address, 0)) {
                printLine(stderr, QStringLiteral("ondavo-service: no free port: ") + probe.errorString());
                return 1;
            }
            port = probe.serverPort();
        }
        printLine(stdout, QStringLiteral("refusing connections on ") + baseUrl(options.address, port));
    } else {
        auto *listener = new GuardedTcpServer(limits, &server);
        if (!listener->listen(options.address, options.port)) {
            printLine(stderr, QStringLiteral("ondavo-service: cannot listen on %1: %2")
                                  .arg(baseUrl(options.address, options.port), listener->errorString()));
            return 1;
        }
        server.bind(listener);
        const quint16 port = listener->serverPort();
        printLine(stdout, QStringLiteral("listening on ") + baseUrl(options.address, port));
    }
    return app.exec();
}
