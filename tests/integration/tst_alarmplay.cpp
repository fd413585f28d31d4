// The wake-up after a quiet sleep, end to end: the real service process and the real web engine,
// with no click anywhere. Playing means the audio element runs and its clock moves.

#include "fakes/testhome.h"
#include "service/requests.h"
#include "service/webenginepane.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <memory>

namespace {

constexpr int timeoutMs = 20000;
// How long a page that should stay quiet is watched.
constexpr int quietMs = 3000;

// Like QTest::qWaitFor, but each round lets the engine's messages run for a while.
template <typename Predicate> bool waitUntil(Predicate predicate, int ms = timeoutMs)
{
    QDeadlineTimer deadline(ms);
    while (!predicate()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}

QVariant runScript(QWebEnginePage *page, const QString &script)
{
    auto result = std::make_shared<QVariant>();
    auto done = std::make_shared<bool>(false);
    page->runJavaScript(script, [result, done](const QVariant &value) {
        *result = value;
        *done = true;
    });
    if (!waitUntil([done] { return *done; }))
        return QVariant();
    return *result;
}

struct Player
{
    bool valid = false;
    bool paused = true;
    bool loop = false;
    double time = 0;
    QString station; // the id of the highlighted station, empty when none
};

Player playerOf(QWebEnginePage *page)
{
    const QVariantMap m =
        runScript(page, QStringLiteral("(function () { var p = document.getElementById('player');"
                                       "var b = document.querySelector('#stations button.playing');"
                                       "return p ? { paused: p.paused, loop: p.loop, time: p.currentTime,"
                                       "station: b ? b.dataset.id : '' } : null; })()"))
            .toMap();
    Player p;
    p.valid = m.contains(QStringLiteral("paused"));
    p.paused = m.value(QStringLiteral("paused")).toBool();
    p.loop = m.value(QStringLiteral("loop")).toBool();
    p.time = m.value(QStringLiteral("time")).toDouble();
    p.station = m.value(QStringLiteral("station")).toString();
    return p;
}

} // namespace

class TestAlarmPlay : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void wakeUp_data();
    void wakeUp();

private:
    // Loads url in the pane and waits until the page has loaded.
    bool open(const QUrl &url);
    // The stations the service was told of for user, in order.
    QStringList reportedStations(const QString &user) const;

    TestHome m_home;
    QTemporaryDir m_dir;
    QProcess m_service;
    Endpoints m_endpoints;
    QObject *m_profileOwner = nullptr;
    std::unique_ptr<QWidget> m_window;
    BrowserPane *m_pane = nullptr;
};

void TestAlarmPlay::initTestCase()
{
    qputenv("XDG_DATA_HOME", (m_home.path() + QStringLiteral("/data")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (m_home.path() + QStringLiteral("/cache")).toLocal8Bit());
    QVERIFY(m_dir.isValid());

    m_service.setProgram(QStringLiteral(ONDAVO_SERVICE_BINARY));
    m_service.setArguments({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--log"),
                            m_dir.filePath(QStringLiteral("service.log"))});
    m_service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_service.start();
    QVERIFY(m_service.waitForStarted(timeoutMs));
    QElapsedTimer timer;
    timer.start();
    while (!m_service.canReadLine() && m_service.state() == QProcess::Running && timer.elapsed() < timeoutMs)
        m_service.waitForReadyRead(100);
    static const QRegularExpression line(QStringLiteral("^listening on http://(127\\.0\\.0\\.1:\\d+)$"));
    const QRegularExpressionMatch m = line.match(QString::fromUtf8(m_service.readLine().trimmed()));
    QVERIFY(m.hasMatch());
    m_endpoints.serviceHost = m.captured(1);

    m_profileOwner = new QObject(this);
    m_window = std::make_unique<QWidget>();
    new QVBoxLayout(m_window.get());
    m_pane = makeWebEnginePaneFactory(nullptr, m_profileOwner)(PaneRole::Radio, m_window.get());
    m_window->layout()->addWidget(m_pane->widget());
    m_window->resize(400, 300);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestAlarmPlay::cleanupTestCase()
{
    m_window.reset();
    delete m_profileOwner;
    m_profileOwner = nullptr;
    m_service.terminate();
    if (!m_service.waitForFinished(timeoutMs))
        m_service.kill();
}

bool TestAlarmPlay::open(const QUrl &url)
{
    QSignalSpy complete(m_pane, &BrowserPane::navigateComplete2);
    if (!m_pane->navigate(url))
        return false;
    return waitUntil([&] {
        for (const QList<QVariant> &args : complete) {
            if (args.at(0).toUrl() == url)
                return true;
        }
        return false;
    });
}

QStringList TestAlarmPlay::reportedStations(const QString &user) const
{
    QFile log(m_dir.filePath(QStringLiteral("service.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    QStringList stations;
    for (const QByteArray &entry : log.readAll().split('\n')) {
        if (!entry.startsWith("GET /played?"))
            continue;
        const QUrlQuery query(QString::fromUtf8(entry.mid(int(qstrlen("GET /played?")))));
        if (query.queryItemValue(QStringLiteral("username"), QUrl::FullyDecoded) == user)
            stations.append(query.queryItemValue(QStringLiteral("station"), QUrl::FullyDecoded));
    }
    return stations;
}

void TestAlarmPlay::wakeUp_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("sleeper");  // who sent the sleep request; null: nobody
    QTest::addColumn<int>("loginsBefore"); // logins of user between the sleep and the one watched
    QTest::addColumn<bool>("rings");

    // Every row has users of its own: the service keeps them for the whole run.
    QTest::newRow("sleep then login rings")
        << QStringLiteral("Соня & Ко 100%") << QStringLiteral("Соня & Ко 100%") << 0 << true;
    QTest::newRow("empty user name rings too") << QStringLiteral("") << QStringLiteral("") << 0 << true;
    QTest::newRow("ordinary login stays quiet") << QStringLiteral("Пётр") << QString() << 0 << false;
    // The program reconnecting after the alarm played: the station comes back by itself.
    QTest::newRow("a login after the alarm takes it up again")
        << QStringLiteral("Вера") << QStringLiteral("Вера") << 1 << true;
    QTest::newRow("another user's sleep") << QStringLiteral("Борис") << QStringLiteral("Анна") << 0 << false;
}

void TestAlarmPlay::wakeUp()
{
    QFETCH(QString, user);
    QFETCH(QString, sleeper);
    QFETCH(int, loginsBefore);
    QFETCH(bool, rings);

    const QString password = QStringLiteral("p");
    if (!sleeper.isNull())
        QVERIFY(open(Requests::sleep(m_endpoints, sleeper, password, QStringLiteral("09.12.2026 7:30:00"))));
    for (int i = 0; i < loginsBefore; ++i) {
        QVERIFY(open(Requests::login(m_endpoints, user, password)));
        // Its page plays and says so, which leaves a session to take up again.
        QTRY_COMPARE_WITH_TIMEOUT(reportedStations(user).size(), i + 1, timeoutMs);
    }
    QVERIFY(open(Requests::login(m_endpoints, user, password)));
    QWebEnginePage *page = qobject_cast<QWebEngineView *>(m_pane->widget())->page();

    if (!rings) {
        QTest::qWait(quietMs);
        const Player p = playerOf(page);
        QVERIFY(p.valid);
        QVERIFY(p.paused);
        QCOMPARE(p.time, 0.0);
        QCOMPARE(p.station, QString());
        return;
    }

    // Nobody played a station before the sleep, so the service's own signal sounds, and goes on
    // sounding past its end.
    Player first;
    QVERIFY(waitUntil([&] {
        first = playerOf(page);
        return !first.paused && first.time > 0;
    }));
    QCOMPARE(first.station, QStringLiteral("signal"));
    QVERIFY(first.loop);
    double last = first.time;
    bool wrapped = false;
    QVERIFY2(waitUntil([&] {
                 const Player p = playerOf(page);
                 wrapped = wrapped || (!p.paused && p.time < last - 1);
                 last = p.time;
                 return wrapped && !p.paused && p.time > 0.5;
             }),
             qPrintable(QStringLiteral("stuck at %1 s").arg(last)));

    // The page told the service what played, so the next wake-up starts it again.
    QTRY_COMPARE_WITH_TIMEOUT(reportedStations(user), QStringList(loginsBefore + 1, QStringLiteral("signal")),
                              timeoutMs);
}

int main(int argc, char *argv[])
{
    // The web engine shares OpenGL contexts with the widgets; this must precede the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestAlarmPlay test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_alarmplay.moc"
