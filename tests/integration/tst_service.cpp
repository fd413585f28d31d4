// The real ondavo-service binary, started as the program's scripts start it and asked over HTTP.

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <csignal>
#include <functional>
#include <memory>
#include <sys/resource.h>

namespace {

const int kTimeoutMs = 10000;

struct Service
{
    std::unique_ptr<QProcess> process;
    QByteArray firstLine;
    quint16 port = 0;
};

// Starts the service and reads the line it prints once it is listening (or refusing). inChild runs
// in the new process before the service does.
Service startService(const QStringList &arguments, const std::function<void()> &inChild = {})
{
    Service s;
    s.process = std::make_unique<QProcess>();
    s.process->setProgram(QStringLiteral(ONDAVO_SERVICE_BINARY));
    s.process->setArguments(arguments);
    if (inChild)
        s.process->setChildProcessModifier(inChild);
    s.process->start();
    if (!s.process->waitForStarted(kTimeoutMs))
        return s;
    QElapsedTimer timer;
    timer.start();
    while (!s.process->canReadLine() && s.process->state() == QProcess::Running &&
           timer.elapsed() < kTimeoutMs)
        s.process->waitForReadyRead(100);
    s.firstLine = s.process->readLine().trimmed();
    static const QRegularExpression line(
        QStringLiteral("^(?:listening|refusing connections) on http://[^ ]+:(\\d+)$"));
    const QRegularExpressionMatch m = line.match(QString::fromUtf8(s.firstLine));
    if (m.hasMatch())
        s.port = static_cast<quint16>(m.captured(1).toUInt());
    return s;
}

void stopService(Service &s)
{
    if (s.process && s.process->state() != QProcess::NotRunning) {
        s.process->terminate();
        if (!s.process->waitForFinished(kTimeoutMs))
            s.process->kill();
    }
}

QString titleOf(const QByteArray &body)
{
    static const QRegularExpression title(QStringLiteral("<title>(.*)</title>"));
    return title.match(QString::fromUtf8(body)).captured(1);
}

struct Reply
{
    int status = 0;
    QByteArray contentType;
    QByteArray body;
};

// The Content-Length of the first answer in reply; -1 before its headers are complete.
qsizetype contentLength(const QByteArray &reply)
{
    const qsizetype end = reply.indexOf("\r\n\r\n");
    static const QRegularExpression header(QStringLiteral("\r\nContent-Length: (\\d+)\r\n"));
    const QRegularExpressionMatch m = header.match(QString::fromLatin1(reply.left(end + 2)));
    return end < 0 || !m.hasMatch() ? -1 : m.captured(1).toLongLong();
}

// Descriptors the process holds open: a connection it has let go holds none.
int openFiles(const Service &s)
{
    return int(QDir(QStringLiteral("/proc/%1/fd").arg(s.process->processId()))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

// Asks for the endless station on socket; what the service answered so far is at its read end.
bool openStream(QTcpSocket &socket, quint16 port)
{
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(kTimeoutMs) &&
           socket.write("GET /stream.wav HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n") > 0;
}

// Where the first answer in reply ends; -1 while it is incomplete. A HEAD answer has no body.
qsizetype firstAnswerEnd(const QByteArray &reply, bool head)
{
    const qsizetype length = contentLength(reply);
    const qsizetype end = reply.indexOf("\r\n\r\n") + 4 + (head ? 0 : length);
    return length < 0 || end > reply.size() ? -1 : end;
}

} // namespace

class TestService : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void pages_data();
    void pages();
    void failures_data();
    void failures();
    void rawTargetsAreLogged_data();
    void rawTargetsAreLogged();
    void limits_data();
    void limits();
    void floodOfOtherUsers();
    void stream();
    void streamEnds_data();
    void streamEnds();
    void survivesKill_data();
    void survivesKill();
    void crowdedAddress_data();
    void crowdedAddress();
    void refuseKeepsThePortClosed();
    void signalsEndItCleanly_data();
    void signalsEndItCleanly();
    void badStart_data();
    void badStart();
    void existingLogMadePrivate();

private:
    Reply get(quint16 port, const QByteArray &target);
    QByteArrayList newLogLines();

    QTemporaryDir m_dir;
    QString m_logPath;
    qint64 m_logRead = 0;
    Service m_service; // plain service with a log
    Service m_failing; // the same with --fail rules
    QNetworkAccessManager m_nam;
};

void TestService::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Services started without --state keep it here, not in the home of whoever runs the tests.
    qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toLocal8Bit());
    m_nam.setProxy(QNetworkProxy::NoProxy);
    m_logPath = m_dir.filePath(QStringLiteral("requests.log"));

    m_service =
        startService({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--log"), m_logPath});
    QVERIFY2(m_service.port != 0, m_service.firstLine.constData());
    QVERIFY(m_service.firstLine.startsWith("listening on http://127.0.0.1:"));
    QCOMPARE(int(QFile::permissions(m_logPath) & 0x0777), 0x0600); // read and written by its owner only
    const QString state = m_dir.filePath(QStringLiteral("data/ondavo-service/state.db"));
    QCOMPARE(int(QFile::permissions(state) & 0x0777), 0x0600); // it holds the password keys

    m_failing =
        startService({QStringLiteral("--address"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                      QStringLiteral("0"), QStringLiteral("--fail"), QStringLiteral("/clock/default/=404"),
                      QStringLiteral("--fail"), QStringLiteral("/redirector/=503")});
    QVERIFY2(m_failing.port != 0, m_failing.firstLine.constData());
}

void TestService::cleanupTestCase()
{
    stopService(m_service);
    stopService(m_failing);
}

Reply TestService::get(quint16 port, const QByteArray &target)
{
    const QUrl url =
        QUrl::fromEncoded("http://127.0.0.1:" + QByteArray::number(port) + target, QUrl::StrictMode);
    QNetworkRequest request(url);
    QNetworkReply *reply = m_nam.get(request);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    Reply r;
    if (finished.wait(kTimeoutMs)) {
        r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        r.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
        r.body = reply->readAll();
    }
    reply->deleteLater();
    return r;
}

// Lines the service appended to its log since the last call.
QByteArrayList TestService::newLogLines()
{
    QFile log(m_logPath);
    if (!log.open(QIODevice::ReadOnly) || !log.seek(m_logRead))
        return {};
    const QByteArray text = log.readAll();
    m_logRead += text.size();
    QByteArrayList lines = text.split('\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

void TestService::pages_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("contains");

    QTest::newRow("login, empty identity")
        << QByteArray("/redirector/?username=&passw=&action=login&client=Ondavo3") << 200
        << QStringLiteral("Ондаво Радио — станции") << QStringLiteral("preload=\"none\"");
    QTest::newRow("login, encoded identity")
        << QByteArray("/redirector/"
                      "?username=a%26action%3Dlogoff%23x&passw=1%2B2%20%2541&action=login&client=Ondavo3")
        << 200 << QStringLiteral("Ондаво Радио — станции") << QStringLiteral("<b>a&amp;action=logoff#x</b>");
    QTest::newRow("logoff") << QByteArray("/redirector/?username=onAnnm-1&passw=p&action=logoff") << 200
                            << QStringLiteral("Ондаво Радио — до свидания") << QStringLiteral("До свидания!");
    QTest::newRow("sleep") << QByteArray("/redirector/?username=u&passw=p&action=sleep&client=Ondavo3"
                                         "&uptime=09.12.2026%207:30:00")
                           << 200 << QStringLiteral("Ондаво Радио — тихий режим")
                           << QStringLiteral("<b>09.12.2026 7:30:00</b>");
    QTest::newRow("sleep, hostile wake-up time")
        << QByteArray("/redirector/?username=u&passw=p&action=sleep&client=Ondavo3"
                      "&uptime=%3Cscript%3Ealert(1)%3C/script%3E")
        << 200 << QStringLiteral("Ондаво Радио — тихий режим")
        << QStringLiteral("<b>&lt;script&gt;alert(1)&lt;/script&gt;</b>");
    QTest::newRow("no action") << QByteArray("/redirector/?username=u&passw=p") << 400
                               << QStringLiteral("Ошибка 400") << QStringLiteral("Неверный запрос.");
    QTest::newRow("no query") << QByteArray("/redirector/") << 400 << QStringLiteral("Ошибка 400")
                              << QStringLiteral("Неверный запрос.");
    QTest::newRow("unknown action") << QByteArray("/redirector/?action=reboot") << 400
                                    << QStringLiteral("Ошибка 400") << QStringLiteral("Неверный запрос.");
    QTest::newRow("wake-up in the year 9999")
        << QByteArray("/redirector/?username=u9&passw=p&action=sleep&uptime=31.12.9999%207:30") << 400
        << QStringLiteral("Ошибка 400") << QStringLiteral("Неверный запрос.");
    QTest::newRow("clock") << QByteArray("/clock/default/") << 200 << QStringLiteral("Ондаво — часы")
                           << QStringLiteral("id=\"time\"");
    QTest::newRow("partner player") << QByteArray("/export/radio_player.html") << 200
                                    << QStringLiteral("Радиоплеер партнёра") << QStringLiteral("<audio");
    QTest::newRow("unknown path") << QByteArray("/favicon.ico") << 404 << QStringLiteral("Ошибка 404")
                                  << QStringLiteral("Страница не найдена.");
}

void TestService::pages()
{
    QFETCH(QByteArray, target);
    QFETCH(int, status);
    QFETCH(QString, title);
    QFETCH(QString, contains);

    newLogLines(); // skip whatever came before
    const Reply r = get(m_service.port, target);
    QCOMPARE(r.status, status);
    QCOMPARE(r.contentType, QByteArray("text/html; charset=utf-8"));
    const QString body = QString::fromUtf8(r.body);
    QVERIFY2(body.contains(contains), qPrintable(body));
    QVERIFY(!body.contains(QLatin1String("<script>alert")));
    const QString gotTitle = titleOf(r.body);
    QCOMPARE(gotTitle, title);
    QVERIFY(!gotTitle.contains(QLatin1String("127.0.0.1")));
    QVERIFY(!gotTitle.contains(QString::number(m_service.port)));
    QVERIFY(!gotTitle.contains(QLatin1String("localhost")));

    // Written before the answer, so it is there as soon as the reply is.
    static const QRegularExpression password(QStringLiteral("passw=[^&]+")); // masked, as below
    QCOMPARE(newLogLines(),
             QByteArrayList{"GET " + QString::fromLatin1(target).replace(password, "passw=***").toLatin1()});
}

void TestService::failures_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("status");

    QTest::newRow("failed clock") << QByteArray("/clock/default/") << 404;
    QTest::newRow("failed clock, any query") << QByteArray("/clock/default/?x=1") << 404;
    QTest::newRow("failed login") << QByteArray("/redirector/?username=&passw=&action=login&client=Ondavo3")
                                  << 503;
    QTest::newRow("failed even without action") << QByteArray("/redirector/") << 503;
    QTest::newRow("other paths still served") << QByteArray("/export/radio_player.html") << 200;
}

void TestService::failures()
{
    QFETCH(QByteArray, target);
    QFETCH(int, status);

    const Reply r = get(m_failing.port, target);
    QCOMPARE(r.status, status);
    QVERIFY(!r.body.isEmpty());
    if (status != 200)
        QCOMPARE(titleOf(r.body), QStringLiteral("Ошибка %1").arg(status));
}

void TestService::rawTargetsAreLogged_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("logged");

    const QByteArray login = "/redirector/?username=&passw=&action=login&client=Ondavo3";
    QTest::newRow("empty identity") << login << login;
    const QByteArray sleep = "/redirector/?username=onAnnm-5120739&passw=aB3xY0kq&action=sleep&client=Ondavo3"
                             "&uptime=12/9/2026%207:30:00%20AM";
    QTest::newRow("sleep, password masked") << sleep << QByteArray(sleep).replace("aB3xY0kq", "***");
    const QByteArray hostile = "/redirector/?username=a%26b%3D%23%25&passw=%D0%BF+1&action=logoff";
    QTest::newRow("escapes kept as sent") << hostile << QByteArray(hostile).replace("%D0%BF+1", "***");
    QTest::newRow("empty query kept") << QByteArray("/clock/default/?") << QByteArray("/clock/default/?");
    // Qt hands over the target in its canonical form: escapes of unreserved characters come out
    // decoded and hex digits in upper case. Browsers and QUrl never send the other spelling.
    QTest::newRow("non-canonical escapes")
        << QByteArray("/redirector/?u=%7e%41&p=%d0%bf") << QByteArray("/redirector/?u=~A&p=%D0%BF");
}

void TestService::rawTargetsAreLogged()
{
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, logged);

    newLogLines();
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_service.port);
    QVERIFY(socket.waitForConnected(kTimeoutMs));
    socket.write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    // The service closes the connection after the answer, as the client asked.
    QTRY_VERIFY_WITH_TIMEOUT(socket.state() == QAbstractSocket::UnconnectedState, kTimeoutMs);
    QVERIFY(socket.readAll().startsWith("HTTP/1.1 "));
    QCOMPARE(newLogLines(), QByteArrayList{"GET " + logged});
}

void TestService::limits_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("byteGapMs"); // 0: sent at once; otherwise a byte at a time
    QTest::addColumn<int>("status");    // of the first answer; 0: no answer at all
    QTest::addColumn<bool>("closes");   // the service ends the connection...
    QTest::addColumn<int>("notBeforeMs");
    QTest::addColumn<int>("withinMs"); // ...in this span after the first byte was sent
    QTest::addColumn<QByteArrayList>("logged");

    const QByteArray host = "Host: 127.0.0.1\r\n";
    const QByteArray clock = "GET /clock/default/ HTTP/1.1\r\n" + host;
    // The request line may be 8 KiB, headers 16 KiB; a logged line is cut to 1 KiB.
    const QByteArray longest = "/" + QByteArray(8192 - 14, 'a');
    const QByteArray fill = "X-Fill: " + QByteArray(16 * 1024 - host.size() - 12, 'f') + "\r\n";
    const QByteArray bigHeaders = clock + ("X-Fill: " + QByteArray(1000, 'f') + "\r\n").repeated(20);
    const QByteArray played = "GET /played?station=fip HTTP/1.1\r\n" + host + "\r\n";

    QTest::newRow("request line too long")
        << "GET /" + QByteArray(9000, 'a') + " HTTP/1.1\r\n" + host + "\r\n"
        << 0 << 414 << true << 0 << 2000 << QByteArrayList();
    QTest::newRow("request line of 200 kB, its 414 read")
        << "GET /" + QByteArray(200000, 'a') + " HTTP/1.1\r\n" + host + "\r\n"
        << 0 << 414 << true << 0 << 2000 << QByteArrayList();
    QTest::newRow("longest request line, logged line cut")
        << "GET " + longest + " HTTP/1.1\r\n" + host + "\r\n"
        << 0 << 404 << false << 0 << 0 << QByteArrayList{"GET " + longest.left(1024 - 7) + "..."};
    const QByteArray fitsLog = "/" + QByteArray(1024 - 5, 'b');
    QTest::newRow("logged line at the cut")
        << "GET " + fitsLog + " HTTP/1.1\r\n" + host + "\r\n"
        << 0 << 404 << false << 0 << 0 << QByteArrayList{"GET " + fitsLog};
    QTest::newRow("headers too large") << bigHeaders + "\r\n"
                                       << 0 << 431 << true << 0 << 2000 << QByteArrayList();
    QTest::newRow("largest headers") << "GET /clock/default/ HTTP/1.1\r\n" + host + fill + "\r\n"
                                     << 0 << 200 << false << 0 << 0 << QByteArrayList{"GET /clock/default/"};
    QTest::newRow("idle connection closed")
        << QByteArray() << 0 << 0 << true << 4000 << 8000 << QByteArrayList();
    QTest::newRow("half-sent request dropped") << clock << 0 << 0 << true << 4000 << 8000 << QByteArrayList();
    QTest::newRow("trickled request dropped")
        << QByteArray("GET /clock/default/ HTTP/1.1\r\nX-Slow: yyyyyyyyyyyyyyyy") << 400 << 0 << true << 9000
        << 13000 << QByteArrayList();
    QTest::newRow("HTTP/1.0 closes") << QByteArray("GET /clock/default/ HTTP/1.0\r\n\r\n") << 0 << 200 << true
                                     << 0 << 2000 << QByteArrayList{"GET /clock/default/"};
    QTest::newRow("close among keep-alive options")
        << clock + "Connection: keep-alive, Close\r\n\r\n"
        << 0 << 200 << true << 0 << 2000 << QByteArrayList{"GET /clock/default/"};
    QTest::newRow("close in a second Connection header")
        << clock + "Connection: keep-alive\r\nConnection: close\r\n\r\n"
        << 0 << 200 << true << 0 << 2000 << QByteArrayList{"GET /clock/default/"};
    QTest::newRow("HTTP/1.1 stays open")
        << clock + "Connection: keep-alive\r\n\r\n"
        << 0 << 200 << false << 0 << 0 << QByteArrayList{"GET /clock/default/"};
    QTest::newRow("HEAD: headers, no body")
        << "HEAD /clock/default/ HTTP/1.1\r\n" + host + "\r\n"
        << 0 << 200 << false << 0 << 0 << QByteArrayList{"HEAD /clock/default/"};
    QTest::newRow("HEAD of a missing page, HTTP/1.0")
        << QByteArray("HEAD /nothing HTTP/1.0\r\n\r\n") << 0 << 404 << true << 0 << 2000
        << QByteArrayList{"HEAD /nothing"};
    QTest::newRow("pipelined") << played + played << 0 << 204 << false << 0 << 0
                               << QByteArrayList{"GET /played?station=fip", "GET /played?station=fip"};
    QTest::newRow("pipelined, the last one closes")
        << played + played + clock + "Connection: close\r\n\r\n"
        << 0 << 204 << true << 0 << 2000
        << QByteArrayList{"GET /played?station=fip", "GET /played?station=fip", "GET /clock/default/"};
    // A body that looks like a request is passed over, not taken for one.
    QTest::newRow("body passed over")
        << "POST /played HTTP/1.1\r\nContent-Length: 28\r\n\r\nGET /x HTTP/1.1\r\nX: yyyyyyyy" + clock +
               "Connection: close\r\n\r\n"
        << 0 << 405 << true << 0 << 2000 << QByteArrayList{"POST /played", "GET /clock/default/"};
    QTest::newRow("chunked body refused")
        << QByteArray("POST /played HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n") << 0 << 411 << true
        << 0 << 2000 << QByteArrayList();
    QTest::newRow("large body refused")
        << QByteArray("POST /played HTTP/1.1\r\nContent-Length: 100000\r\n\r\n") << 0 << 413 << true << 0
        << 2000 << QByteArrayList();
}

void TestService::limits()
{
    QFETCH(QByteArray, request);
    QFETCH(int, byteGapMs);
    QFETCH(int, status);
    QFETCH(bool, closes);
    QFETCH(int, notBeforeMs);
    QFETCH(int, withinMs);
    QFETCH(QByteArrayList, logged);

    newLogLines();
    QTcpSocket socket;
    QByteArray reply;
    connect(&socket, &QTcpSocket::readyRead, this, [&] { reply += socket.readAll(); });
    socket.connectToHost(QHostAddress::LocalHost, m_service.port);
    QVERIFY(socket.waitForConnected(kTimeoutMs));
    // A client's request still on its way when the service answers, not all in the kernel already.
    socket.setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 4096);
    QElapsedTimer sent;
    sent.start();
    if (byteGapMs == 0) {
        socket.write(request);
    } else {
        for (qsizetype i = 0; i < request.size() && socket.state() == QAbstractSocket::ConnectedState; ++i) {
            socket.write(request.constData() + i, 1);
            QTest::qWait(byteGapMs);
        }
    }

    const bool head = request.startsWith("HEAD ");
    if (closes) {
        const int left = static_cast<int>(qMax<qint64>(withinMs - sent.elapsed(), 0));
        QTRY_VERIFY_WITH_TIMEOUT(socket.state() == QAbstractSocket::UnconnectedState, left);
        QVERIFY2(sent.elapsed() >= notBeforeMs, qPrintable(QString::number(sent.elapsed())));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(firstAnswerEnd(reply, head) > 0, kTimeoutMs);
    }
    reply += socket.readAll();
    QCOMPARE(newLogLines(), logged);

    if (status == 0) {
        QVERIFY2(reply.isEmpty(), reply.left(200).constData());
        return;
    }
    QVERIFY2(reply.startsWith("HTTP/1.1 " + QByteArray::number(status) + ' '), reply.left(200).constData());
    QVERIFY(firstAnswerEnd(reply, head) > 0);
    QCOMPARE(reply.contains("\r\nConnection: close\r\n"), closes);
    if (head) {
        // The headers of the GET answer, its length included, and nothing after them.
        QCOMPARE(firstAnswerEnd(reply, true), reply.size());
        const Reply full = get(m_service.port, request.split(' ').at(1));
        QCOMPARE(full.status, status);
        QVERIFY(!full.body.isEmpty());
        QCOMPARE(contentLength(reply), full.body.size());
    }
    if (!closes) {
        // Still open: a later request on it is answered and ends it, as it asks.
        reply.clear();
        socket.write("GET /played?station=fip HTTP/1.1\r\nConnection: close\r\n\r\n");
        // Well before the idle limit would end it anyway.
        QTRY_VERIFY_WITH_TIMEOUT(socket.state() == QAbstractSocket::UnconnectedState, 2000);
        reply += socket.readAll();
        QVERIFY2(reply.startsWith("HTTP/1.1 204 "), reply.constData());
        QVERIFY(reply.contains("\r\nConnection: close\r\n"));
    }
}

void TestService::floodOfOtherUsers()
{
    Service s = startService({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--state"),
                              m_dir.filePath(QStringLiteral("flood.db"))});
    const auto residentKb = [&s] {
        QFile status(QStringLiteral("/proc/%1/status").arg(s.process->processId()));
        static const QRegularExpression rss(QStringLiteral("\nVmRSS:\\s*(\\d+) kB"));
        return status.open(QIODevice::ReadOnly) ? rss.match(status.readAll()).captured(1).toLongLong() : 0;
    };
    const QByteArray sleeper = "/redirector/?username=sleeper&passw=pw&action=";
    QCOMPARE(get(s.port, sleeper + "sleep").status, 200);
    QCOMPARE(get(s.port, "/played?username=player&passw=pw&station=fip").status, 204);
    const qint64 before = residentKb();

    // 20,000 others with the longest names and passwords play and sleep, pipelined.
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, s.port);
    QMap<int, int> statuses;
    QByteArray reply;
    const QDeadlineTimer deadline(60000);
    for (int first = 100000; first < 120000 && !deadline.hasExpired(); first += 100) {
        for (int user = first; user < first + 100; ++user) {
            const QByteArray name = QByteArray("%F0%9F%98%80").repeated(58) + QByteArray::number(user);
            const QByteArray who = "username=" + name + "&passw=" + name;
            socket.write("GET /played?" + who + "&station=fip HTTP/1.1\r\n\r\nGET /redirector/?" + who +
                         "&action=sleep HTTP/1.1\r\n\r\n");
        }
        for (int answers = 0; answers < 200 && socket.waitForReadyRead(kTimeoutMs);) {
            reply += socket.readAll();
            for (qsizetype end; (end = firstAnswerEnd(reply, false)) > 0; ++answers, reply.remove(0, end))
                ++statuses[reply.mid(9, 3).toInt()];
        }
    }
    QCOMPARE(statuses, (QMap<int, int>{{204, 20000}, {200, 9999}, {503, 10001}}));

    const qint64 after = residentKb();
    qInfo("VmRSS %lld kB before the flood, %lld kB after; the README's budget: 16 MiB more", before, after);
    QVERIFY(before > 0 && after - before <= 16 * 1024);
    QCOMPARE(get(s.port, "/redirector/?username=sleeper&passw=x&action=login").status, 403);
    // Long out of the recent listeners, the player still owns its name.
    QCOMPARE(get(s.port, "/played?username=player&passw=x&station=fip").status, 403);
    QCOMPARE(get(s.port, "/played?username=player&passw=pw&station=fip").status, 204);
    QVERIFY(get(s.port, sleeper + "login").body.contains("data-wake=\"signal\""));
    stopService(s);
}

// The endless station as a player gets it: a header that announces no end, a second at once so that
// playing can start, then the tone as fast as it plays, by the service's clock and without a seam.
void TestService::stream()
{
    constexpr int rate = 22050;
    QTcpSocket socket;
    QByteArray reply;
    QElapsedTimer clock; // from the first byte
    QList<QPair<qint64, qsizetype>> arrivals;
    connect(&socket, &QTcpSocket::readyRead, this, [&] {
        if (!clock.isValid())
            clock.start();
        reply += socket.readAll();
        arrivals.append({clock.elapsed(), reply.size()});
    });
    QVERIFY(openStream(socket, m_service.port));
    QTRY_VERIFY_WITH_TIMEOUT(clock.isValid(), kTimeoutMs);
    // Meanwhile the service answers others at once.
    QElapsedTimer other;
    other.start();
    QCOMPARE(get(m_service.port, "/clock/default/").status, 200);
    QVERIFY2(other.elapsed() < 1000, qPrintable(QString::number(other.elapsed())));
    QTest::qWait(int(2200 - clock.elapsed()));
    socket.abort();

    const qsizetype headEnd = reply.indexOf("\r\n\r\n") + 4;
    const QByteArray head = reply.left(headEnd);
    QVERIFY2(head.startsWith("HTTP/1.1 200 "), head.constData());
    QVERIFY(head.contains("\r\nContent-Type: audio/wav\r\n"));
    QVERIFY(head.contains("\r\nConnection: close\r\n"));
    QVERIFY(!head.contains("Content-Length"));
    const QByteArray wav = reply.mid(headEnd);
    // PCM, mono, 22050 Hz, 44100 bytes a second, 2 a frame, 16 bits; the largest sizes: no end.
    QCOMPARE(wav.left(44).toHex(), QByteArray("52494646ffffffff57415645666d7420100000000100010022560000"
                                              "44ac00000200100064617461ffffffff"));

    // Seconds of sound received by a moment: the first one at once, then one a second.
    for (const qint64 ms : {1000, 2000}) {
        qsizetype bytes = 0;
        for (const auto &[at, size] : arrivals)
            bytes = at <= ms ? size : bytes;
        const double seconds = double(bytes - headEnd - 44) / (2 * rate);
        QVERIFY2(std::abs(seconds - (1 + ms / 1000.0)) < 0.4,
                 qPrintable(QStringLiteral("%1 s of sound %2 ms after the first byte").arg(seconds).arg(ms)));
    }

    const auto *samples = reinterpret_cast<const qint16_le *>(wav.constData() + 44);
    const qsizetype count = (wav.size() - 44) / 2;
    int peak = 0;
    int rises = 0;
    int jump = 0;
    for (qsizetype i = 1; i < count; ++i) {
        peak = std::max(peak, std::abs(int(samples[i])));
        rises += samples[i - 1] < 0 && samples[i] >= 0;
        jump = std::max(jump, std::abs(samples[i] - samples[i - 1]));
    }
    // A quarter of full scale; 440 Hz; no step larger than the sine's own.
    QVERIFY2(std::abs(peak - 8192) < 80, qPrintable(QString::number(peak)));
    const double hz = rises * double(rate) / count;
    QVERIFY2(std::abs(hz - 440) < 2, qPrintable(QString::number(hz)));
    const double steepest = 2 * M_PI * 440 / rate * 8192;
    QVERIFY2(jump <= steepest * 1.02, qPrintable(QString::number(jump)));
}

void TestService::streamEnds_data()
{
    QTest::addColumn<bool>("stopsReading"); // or closes the connection
    QTest::addColumn<int>("withinMs");      // the service has let the connection go
    QTest::newRow("the client closes") << false << 3000;
    // The service holds what it cannot send for 5 s, beside what the system buffers.
    QTest::newRow("the client stops reading") << true << 25000;
}

// A stream ends with its client: the service keeps nothing of it.
void TestService::streamEnds()
{
    QFETCH(bool, stopsReading);
    QFETCH(int, withinMs);
    Service s = startService({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--state"),
                              m_dir.filePath(QStringLiteral("streams.db"))});
    QVERIFY2(s.port != 0, s.firstLine.constData());
    const int idle = openFiles(s);
    QTcpSocket socket;
    if (stopsReading)
        socket.setReadBufferSize(4096); // and nothing is read from it
    QVERIFY(openStream(socket, s.port));
    // Begun: the first bytes are here, all this client takes when it stops reading.
    QTRY_VERIFY_WITH_TIMEOUT(socket.bytesAvailable() >= (stopsReading ? 4096 : 1), kTimeoutMs);
    QVERIFY(openFiles(s) > idle);
    if (!stopsReading)
        socket.disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(openFiles(s), idle, withinMs);
    stopService(s);
}

void TestService::survivesKill_data()
{
    QTest::addColumn<QStringList>("requests"); // "status target", or "kill": SIGKILL, start again
    QTest::addColumn<QString>("wake");         // what the last answer, a login, starts by itself

    const QString played = QStringLiteral("204 /played?username=%1&passw=p&station=%2");
    const QString redirector = QStringLiteral("%1 /redirector/?username=%2&passw=%3&action=%4");
    const auto login = [&](const char *user) { return redirector.arg(200).arg(user, "p", "login"); };
    const auto sleep = [&](const char *user) { return redirector.arg(200).arg(user, "p", "sleep"); };
    const QString kill = QStringLiteral("kill");

    QTest::newRow("bound by a login")
        << QStringList{login("a"), kill, redirector.arg(403).arg("a", "q", "login"), login("a")} << "";
    QTest::newRow("a pending wake-up and its station")
        << QStringList{played.arg("c", "fip"), sleep("c"), kill, redirector.arg(403).arg("c", "q", "sleep"),
                       login("c")}
        << "fip";
    QTest::newRow("a station played during the sleep")
        << QStringList{sleep("d"), played.arg("d", "kexp"), kill, login("d")} << "kexp";
    QTest::newRow("the empty name's wake-up") << QStringList{sleep(""), kill, kill, login("")} << "signal";
    QTest::newRow("ended by its login") << QStringList{sleep("e"), login("e"), kill, login("e")} << "";
    // The session a reconnect takes up again is kept in memory only.
    QTest::newRow("an unfinished session is not kept")
        << QStringList{played.arg("g", "stream"), login("g"), kill, login("g")} << "";
    QTest::newRow("ended by a logoff")
        << QStringList{sleep("f"), redirector.arg(200).arg("f", "p", "logoff"), kill, login("f")} << "";
}

// What was answered is on disk before the answer: a killed service starts again with it.
void TestService::survivesKill()
{
    QFETCH(QStringList, requests);
    QFETCH(QString, wake);

    QTemporaryDir dir;
    const QStringList arguments{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--state"),
                                dir.filePath(QStringLiteral("state.db"))};
    Service s = startService(arguments);
    QVERIFY2(s.port != 0, s.firstLine.constData());
    Reply last;
    for (const QString &request : requests) {
        if (request == QLatin1String("kill")) {
            s.process->kill(); // SIGKILL
            QVERIFY(s.process->waitForFinished(kTimeoutMs));
            s = startService(arguments);
            QVERIFY2(s.port != 0, s.firstLine.constData());
            continue;
        }
        last = get(s.port, request.section(QLatin1Char(' '), 1).toUtf8());
        QVERIFY2(QString::number(last.status) == request.section(QLatin1Char(' '), 0, 0),
                 qPrintable(request));
    }
    QVERIFY(last.body.contains("data-wake=\"" + wake.toUtf8() + '"'));
    stopService(s);
}

void TestService::crowdedAddress_data()
{
    QTest::addColumn<int>("hard"); // the service's hard file limit; its soft one is 1024
    QTest::newRow("ulimit -n 1024") << 1024;
    QTest::newRow("soft 1024, hard 4096") << 4096;
}

// A thousand half-sent requests from one address, connecting again whenever they are dropped, leave
// room for other clients; the service takes every file descriptor it may.
void TestService::crowdedAddress()
{
    QFETCH(int, hard);
    rlimit own = {};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &own) == 0);
    own.rlim_cur = own.rlim_max; // the crowd's sockets are this process's too
    if (::setrlimit(RLIMIT_NOFILE, &own) != 0 || own.rlim_max < rlim_t(qMax(hard, 1200)))
        QSKIP("needs more file descriptors than this process may have");
    Service s = startService({QStringLiteral("--port"), QStringLiteral("0")}, [hard] {
        const rlimit files = {1024, rlim_t(hard)};
        ::setrlimit(RLIMIT_NOFILE, &files);
    });
    QVERIFY2(s.port != 0, s.firstLine.constData());
    QFile limits(QStringLiteral("/proc/%1/limits").arg(s.process->processId()));
    QVERIFY(limits.open(QIODevice::ReadOnly));
    static const QRegularExpression files(QStringLiteral("\nMax open files +(\\d+) +(\\d+)"));
    const QRegularExpressionMatch m = files.match(QString::fromLatin1(limits.readAll()));
    QCOMPARE(m.captured(1).toInt(), hard);
    QCOMPARE(m.captured(2).toInt(), hard);

    QObject crowd;
    int refused = 0;
    for (int i = 0; i < 1000; ++i) {
        auto *socket = new QTcpSocket(&crowd);
        const auto again = [socket, port = s.port] { socket->connectToHost(QHostAddress::LocalHost, port); };
        connect(socket, &QTcpSocket::connected, socket,
                [socket] { socket->write("GET /clock/default/ HTTP/1.1\r\nHost: 127.0.0.1\r\n"); });
        connect(socket, &QTcpSocket::readyRead, socket,
                [socket, &refused] { refused += socket->readAll().startsWith("HTTP/1.1 429 "); });
        connect(socket, &QTcpSocket::disconnected, socket,
                [socket, again] { QTimer::singleShot(200, socket, again); });
        again();
    }
    QTest::qWait(1500);

    // Loopback answers every 127.x address: this client is another one.
    QTcpSocket other;
    QVERIFY(other.bind(QHostAddress(QStringLiteral("127.0.0.2"))));
    other.connectToHost(QHostAddress::LocalHost, s.port);
    QVERIFY(other.waitForConnected(kTimeoutMs));
    other.write("GET /clock/default/ HTTP/1.1\r\nConnection: close\r\n\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(other.state() == QAbstractSocket::UnconnectedState, kTimeoutMs);
    const QByteArray reply = other.readAll();
    QVERIFY2(reply.startsWith("HTTP/1.1 200 "), reply.left(200).constData());
    // The crowd is told why, as other early refusals are.
    QVERIFY(refused > 0);
    stopService(s);
}

void TestService::refuseKeepsThePortClosed()
{
    Service refusing =
        startService({QStringLiteral("--refuse"), QStringLiteral("--port"), QStringLiteral("0")});
    QVERIFY2(refusing.firstLine.startsWith("refusing connections on http://127.0.0.1:"),
             refusing.firstLine.constData());
    QVERIFY(refusing.port != 0);
    QCOMPARE(refusing.process->state(), QProcess::Running);

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, refusing.port);
    QVERIFY(!socket.waitForConnected(kTimeoutMs));
    QCOMPARE(socket.error(), QAbstractSocket::ConnectionRefusedError);
    stopService(refusing);
    QCOMPARE(refusing.process->exitStatus(), QProcess::NormalExit);
}

void TestService::signalsEndItCleanly_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("streaming"); // a client takes the endless station meanwhile
    QTest::newRow("SIGTERM") << int(SIGTERM) << false;
    QTest::newRow("SIGINT") << int(SIGINT) << false;
    QTest::newRow("SIGTERM mid-stream") << int(SIGTERM) << true;
}

void TestService::signalsEndItCleanly()
{
    QFETCH(int, signal);
    QFETCH(bool, streaming);
    Service s = startService({QStringLiteral("--port"), QStringLiteral("0")});
    QVERIFY(s.port != 0);
    QTcpSocket client;
    if (streaming) {
        QVERIFY(openStream(client, s.port));
        QTRY_VERIFY_WITH_TIMEOUT(client.bytesAvailable() > 0, kTimeoutMs);
    }
    QCOMPARE(::kill(static_cast<pid_t>(s.process->processId()), signal), 0);
    QVERIFY(s.process->waitForFinished(kTimeoutMs));
    QCOMPARE(s.process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(s.process->exitCode(), 0);
    if (!streaming)
        return;
    // The stream ended with it, and nothing holds its port.
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, kTimeoutMs);
    Service again = startService({QStringLiteral("--port"), QString::number(s.port)});
    QCOMPARE(again.port, s.port);
    stopService(again);
}

void TestService::badStart_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("bad --fail") << QStringList{"--port", "0", "--fail", "/clock/default/"} << 2;
    QTest::newRow("bad --port") << QStringList{"--port", "99999"} << 2;
    QTest::newRow("bad --address") << QStringList{"--address", "nowhere", "--port", "0"} << 2;
    QTest::newRow("log folder missing")
        << QStringList{"--port", "0", "--log", "/nonexistent-dir/requests.log"} << 1;
    QTest::newRow("port taken") << QStringList{"--port", "<busy>"} << 1;
    QTest::newRow("state folder missing")
        << QStringList{"--port", "0", "--state", "/nonexistent-dir/s.db"} << 1;
    QTest::newRow("state folder read-only") << QStringList{"--port", "0", "--state", "/proc/ondavo.db"} << 1;
    QTest::newRow("state is a folder") << QStringList{"--port", "0", "--state", "<dir>"} << 1;
    QTest::newRow("state is a device") << QStringList{"--port", "0", "--state", "/dev/null"} << 1;
    QTest::newRow("state without file") << QStringList{"--port", "0", "--state="} << 2;
}

void TestService::badStart()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    arguments.replaceInStrings(QStringLiteral("<busy>"), QString::number(m_service.port));
    arguments.replaceInStrings(QStringLiteral("<dir>"), m_dir.path());

    QProcess process;
    process.start(QStringLiteral(ONDAVO_SERVICE_BINARY), arguments);
    QVERIFY(process.waitForFinished(kTimeoutMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    QVERIFY(process.readAllStandardError().startsWith("ondavo-service: "));
}

// The mode open() gives applies to new files only; a log already there keeps its lines, not its mode.
void TestService::existingLogMadePrivate()
{
    const QString path = m_dir.filePath(QStringLiteral("existing.log"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old\n") == 4);
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    Service s = startService({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--log"), path});
    QVERIFY2(s.port != 0, s.firstLine.constData());
    QCOMPARE(int(QFile::permissions(path) & 0x0777), 0x0600);
    stopService(s);
    QCOMPARE(QFileInfo(path).size(), 4);
}

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
