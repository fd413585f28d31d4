// The real window with real web panes, against real ondavo-service processes: what reaches the
// service and the partner host, where the panes end up, and what the window shows meanwhile.

#include "app/ondavoform1.h"
#include "fakes/fakeplatform.h"
#include "fakes/soundrecorder.h"
#include "fakes/testclock.h"
#include "platform/mediaplayer.h"
#include "service/webenginepane.h"
#include "settings/inifile.h"
#include "settings/settingskeys.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <csignal>
#include <memory>

namespace {

constexpr int timeoutMs = 30000;
// The alarm watch, shortened: a person's 20 s are not what this test is about.
constexpr int AlarmWatchMs = 3000;
// One second of sound at this level or above is heard.
constexpr double HeardDb = -40;

const QString LoginTitle = QStringLiteral("Ондаво Радио — станции");
const QString PartnerTitle = QStringLiteral("Радиоплеер партнёра");
const QString LocalRadioTitle = QStringLiteral("Ондаво Радио");
const QString PartnerRequest = QStringLiteral("GET /export/radio_player.html");
const QString ClockRequest = QStringLiteral("GET /clock/default/");
const QString FirstRunLogin = QStringLiteral("GET /redirector/?username=&passw=&action=login&client=Ondavo3");

QString binFolder()
{
    return QStringLiteral(ONDAVO_BIN_DIR "/");
}

// One ondavo-service process with its request log.
class Service
{
public:
    // Starts the service on a free port and waits for the line that names it. What it keeps goes
    // beside its log: a service started again with another log has forgotten everything.
    bool start(const QString &logPath, const QStringList &extra, quint16 onPort = 0)
    {
        m_logPath = logPath;
        m_process.setProgram(QStringLiteral(ONDAVO_SERVICE_BINARY));
        m_process.setArguments(QStringList{QStringLiteral("--port"), QString::number(onPort),
                                           QStringLiteral("--log"), logPath, QStringLiteral("--state"),
                                           logPath + QStringLiteral(".db")} +
                               extra);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(timeoutMs))
            return false;
        QElapsedTimer timer;
        timer.start();
        while (!m_process.canReadLine() && m_process.state() == QProcess::Running &&
               timer.elapsed() < timeoutMs)
            m_process.waitForReadyRead(100);
        static const QRegularExpression line(
            QStringLiteral("^(?:listening|refusing connections) on http://127\\.0\\.0\\.1:(\\d+)$"));
        const QRegularExpressionMatch m = line.match(QString::fromUtf8(m_process.readLine().trimmed()));
        port = m.hasMatch() ? static_cast<quint16>(m.captured(1).toUInt()) : 0;
        return port != 0;
    }

    ~Service()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(timeoutMs))
                m_process.kill();
        }
    }

    QStringList log() const
    {
        QFile f(m_logPath);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    qsizetype count(const QString &line) const { return log().count(line); }

    // As a network that is cut: the service is there, and answers nothing.
    void freeze(bool frozen) { ::kill(pid_t(m_process.processId()), frozen ? SIGSTOP : SIGCONT); }

    quint16 port = 0;

private:
    QProcess m_process;
    QString m_logPath;
};

// Like QTest::qWaitFor, but each round lets the event loop run for a while: the engine needs many
// rounds of messages, and single passes with sleeps between them slow it down a hundredfold.
template <typename Predicate> bool waitUntil(Predicate predicate)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!predicate()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}

QWebEnginePage *pageOf(BrowserPane *pane)
{
    auto *view = pane ? qobject_cast<QWebEngineView *>(pane->widget()) : nullptr;
    return view ? view->page() : nullptr;
}

QUrl urlOf(BrowserPane *pane)
{
    QWebEnginePage *page = pageOf(pane);
    return page ? page->url() : QUrl();
}

// The page's text as the user would read it; a null string when the engine never answered.
QString plainText(BrowserPane *pane)
{
    auto result = std::make_shared<QString>();
    auto done = std::make_shared<bool>(false);
    pageOf(pane)->toPlainText([result, done](const QString &text) {
        *result = text.isNull() ? QStringLiteral("") : text;
        *done = true;
    });
    if (!waitUntil([done] { return *done; }))
        return QString();
    return *result;
}

QList<QWidget *> visibleTopLevels()
{
    QList<QWidget *> visible;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible())
            visible << w;
    return visible;
}

// The window-modal boxes open now; they are opened without a loop of their own.
QList<QMessageBox *> openBoxes(QWidget *window)
{
    QList<QMessageBox *> boxes;
    for (QMessageBox *b : window->findChildren<QMessageBox *>())
        if (b->isVisible())
            boxes << b;
    return boxes;
}

// The desktop's own client of media players, on this run's session bus; what it printed.
QString playerctl(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("playerctl"), args);
    // The program answers on this thread: wait in the event loop, never blocked.
    waitUntil([&p] { return p.state() == QProcess::NotRunning; });
    return QString::fromUtf8(p.readAllStandardOutput().trimmed());
}

// A page whose player plays a steady tone of a quarter of full scale, looped.
QString steadyTonePage()
{
    return QStringLiteral(
        "<title>long</title><audio id=a loop></audio><script>"
        "var rate = 8000, n = rate * 8, b = new ArrayBuffer(44 + 2 * n), v = new DataView(b);"
        "function s(o, t) { for (var i = 0; i < t.length; ++i) v.setUint8(o + i, t.charCodeAt(i)); }"
        "s(0, 'RIFF'); v.setUint32(4, 36 + 2 * n, true); s(8, 'WAVEfmt '); v.setUint32(16, 16, true);"
        "v.setUint16(20, 1, true); v.setUint16(22, 1, true); v.setUint32(24, rate, true);"
        "v.setUint32(28, 2 * rate, true); v.setUint16(32, 2, true); v.setUint16(34, 16, true);"
        "s(36, 'data'); v.setUint32(40, 2 * n, true);"
        "for (var i = 0; i < n; ++i) v.setInt16(44 + 2 * i, 8000 * Math.sin(i * 0.3454), true);"
        "a.src = URL.createObjectURL(new Blob([b], {type: 'audio/wav'})); a.play();</script>");
}

QStringList textsOf(const QSignalSpy &spy)
{
    QStringList texts;
    for (const QList<QVariant> &args : spy)
        texts << args.at(0).toString();
    return texts;
}

QUrl dataPage(const QString &html)
{
    return QUrl(QStringLiteral("data:text/html;charset=utf-8,") +
                QString::fromUtf8(QUrl::toPercentEncoding(html)));
}

// Notes and closes every top-level window that was not there when it started, so a dialog that
// runs its own loop cannot stall the test.
class NewWindowWatcher : public QObject
{
public:
    NewWindowWatcher() : m_before(visibleTopLevels())
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            for (QWidget *w : visibleTopLevels()) {
                if (!m_before.contains(w) && !appeared.contains(w)) {
                    appeared << w;
                    w->close();
                }
            }
        });
        m_poll.start(20);
    }
    QList<QWidget *> appeared;

private:
    QList<QWidget *> m_before;
    QTimer m_poll;
};

} // namespace

class TestWindowEngine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void loginRequest_data();
    void loginRequest();
    void serviceFailureGoesToPartner_data();
    void serviceFailureGoesToPartner();
    void partnerFailureEndsOnLocalPage_data();
    void partnerFailureEndsOnLocalPage();
    void missingLocalRadioPageShowsOneBox();
    void clockRequestedOnEveryShow();
    void clockFallsBackToLocalPage_data();
    void clockFallsBackToLocalPage();
    void titleAndStatusOnlyOnRadioTab();
    void failureOnNeitherHostIsCancelled();
    void closeWaitsForLogoff_data();
    void closeWaitsForLogoff();
    void noNewWindowAndNoDialog();
    void mediaKeysReachOnlyTheProgram();
    void alarmIsHeard_data();
    void alarmIsHeard();
    void stationComesBack_data();
    void stationComesBack();

private:
    void pausedAndPlayedByTheDesktop();
    // Starts the service and the partner host with these arguments, then the window on them.
    bool startWindow(const QStringList &serviceArgs = {}, const QStringList &partnerArgs = {});
    // The login page has loaded in full and titled the window; a navigation started before that
    // would merely take over the login's load.
    bool waitForLoginPage()
    {
        return waitUntil([this] {
            return m_window->windowTitle() == QStringLiteral("Ondavo - ") + LoginTitle &&
                   !m_radioComplete->isEmpty() &&
                   m_radioComplete->constFirst().constFirst().toUrl().query().contains(
                       QStringLiteral("action=login"));
        });
    }
    QTabWidget *tabs() const { return m_window->findChild<QTabWidget *>(QStringLiteral("PageControl1")); }
    QLabel *statusPanel1() const { return m_window->findChild<QLabel *>(QStringLiteral("StatusPanel1")); }
    QString settingsPath() const { return m_appData + QStringLiteral("/Ondavo/settings.ini"); }
    QUrl partnerUrl() const
    {
        return QUrl(QStringLiteral("http://localhost:%1/export/radio_player.html").arg(m_partner->port));
    }

    std::unique_ptr<QTemporaryDir> m_case;
    QString m_appData;
    FakePlatform m_platform;
    QObject *m_profileOwner = nullptr;
    BrowserPaneFactory m_factory;
    TestClock m_clock{QDateTime(QDate(2026, 12, 8), QTime(16, 30, 0))};
    std::unique_ptr<Service> m_service;
    std::unique_ptr<Service> m_partner;
    std::unique_ptr<TOndavoForm1> m_window;
    std::unique_ptr<QSignalSpy> m_radioComplete; // the radio pane's completed pages since its start
    std::unique_ptr<MediaPlayer> m_mediaPlayer;
    std::unique_ptr<QTemporaryDir> m_soundFolder;
    std::unique_ptr<SoundRecorder> m_sound;
};

void TestWindowEngine::initTestCase()
{
    QVERIFY(QFileInfo::exists(binFolder() + QStringLiteral("radio/localhost/index.htm")));
    QVERIFY(QFileInfo::exists(binFolder() + QStringLiteral("clock/default/index.htm")));
    // One profile for the whole run, as in the program: the engine starts once.
    // Before the engine's first sound: it plays into a private sound server that the test hears.
    m_sound = std::make_unique<SoundRecorder>();
    m_soundFolder = std::make_unique<QTemporaryDir>();
    QVERIFY2(m_sound->start(m_soundFolder->path()), "pulseaudio and parec are needed");
    m_profileOwner = new QObject;
    m_factory = makeWebEnginePaneFactory(&m_platform, m_profileOwner);
}

void TestWindowEngine::init()
{
    m_case = std::make_unique<QTemporaryDir>();
    QVERIFY(m_case->isValid());
    m_appData = m_case->path() + QStringLiteral("/appdata");
    m_platform.appData = m_appData;
    m_platform.exeFolder = binFolder();
    m_platform.openedUrls.clear();
}

void TestWindowEngine::cleanup()
{
    m_radioComplete.reset();
    m_window.reset();
    m_mediaPlayer.reset();
    m_service.reset();
    m_partner.reset();
    m_case.reset();
}

void TestWindowEngine::cleanupTestCase()
{
    delete m_profileOwner;
    m_profileOwner = nullptr;
}

bool TestWindowEngine::startWindow(const QStringList &serviceArgs, const QStringList &partnerArgs)
{
    m_service = std::make_unique<Service>();
    m_partner = std::make_unique<Service>();
    if (!m_service->start(m_case->filePath(QStringLiteral("service.log")), serviceArgs) ||
        !m_partner->start(m_case->filePath(QStringLiteral("partner.log")), partnerArgs))
        return false;
    // A refusing service only names a port that was free; the partner must not have taken it.
    if (m_partner->port == m_service->port) {
        m_partner = std::make_unique<Service>();
        if (!m_partner->start(m_case->filePath(QStringLiteral("partner2.log")), partnerArgs) ||
            m_partner->port == m_service->port)
            return false;
    }

    Environment env;
    env.clock = &m_clock;
    env.platform = &m_platform;
    env.paneFactory = m_factory;
    // The partner host is spelled apart from the service host, so the window tells their
    // failures apart.
    env.endpoints = {QStringLiteral("127.0.0.1:%1").arg(m_service->port),
                     QStringLiteral("localhost:%1").arg(m_partner->port),
                     QStringLiteral("http://127.0.0.1:1")};
    env.alarmWatchMs = AlarmWatchMs;
    m_mediaPlayer = std::make_unique<MediaPlayer>(QStringLiteral("ondavo"), QUrl());
    if (m_mediaPlayer->registerOnSessionBus())
        env.mediaPlayer = m_mediaPlayer.get();
    m_window = std::make_unique<TOndavoForm1>(env);
    m_radioComplete = std::make_unique<QSignalSpy>(m_window->radioPane(), &BrowserPane::navigateComplete2);
    m_window->show();
    return true;
}

void TestWindowEngine::loginRequest_data()
{
    QTest::addColumn<QByteArray>("settingsFile"); // null: none
    QTest::addColumn<QString>("expected");        // the login line, as a pattern

    QTest::newRow("first run, empty identity") << QByteArray() << QRegularExpression::escape(FirstRunLogin);
    QTest::newRow("settings without identity")
        << QByteArray("[Settings]\n")
        << QStringLiteral("GET /redirector/\\?username=onAnnm-\\d{4,12}&passw=\\*\\*\\*"
                          "&action=login&client=Ondavo3");
}

void TestWindowEngine::loginRequest()
{
    QFETCH(QByteArray, settingsFile);
    QFETCH(QString, expected);

    if (!settingsFile.isNull()) {
        QVERIFY(QDir().mkpath(QFileInfo(settingsPath()).path()));
        QFile f(settingsPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(settingsFile);
    }
    QVERIFY(startWindow());
    QVERIFY(waitForLoginPage());

    const QStringList log = m_service->log();
    QCOMPARE(log.filter(QStringLiteral("/redirector/")).count(), 1);
    const QString line = log.filter(QStringLiteral("/redirector/")).constFirst();
    QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(expected)).match(line).hasMatch(),
             qPrintable(line));
    // Exactly the name the window holds, unchanged on the way; the service never logs a password.
    QCOMPARE(line, QStringLiteral("GET /redirector/?username=%1&passw=%2&action=login&client=Ondavo3")
                       .arg(m_window->radio()->userName(),
                            m_window->radio()->passw().isEmpty() ? QString() : QStringLiteral("***")));
    QCOMPARE(m_partner->log(), QStringList());
}

void TestWindowEngine::serviceFailureGoesToPartner_data()
{
    QTest::addColumn<QStringList>("serviceArgs");
    QTest::addColumn<bool>("serviceSeesLogin");

    QTest::newRow("service answers 404") << QStringList{"--fail", "/redirector/=404"} << true;
    QTest::newRow("service refuses") << QStringList{"--refuse"} << false;
}

void TestWindowEngine::serviceFailureGoesToPartner()
{
    QFETCH(QStringList, serviceArgs);
    QFETCH(bool, serviceSeesLogin);

    QVERIFY(startWindow(serviceArgs));
    QTRY_COMPARE_WITH_TIMEOUT(m_partner->count(PartnerRequest), 1, timeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(urlOf(m_window->radioPane()), partnerUrl(), timeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_window->windowTitle(), QStringLiteral("Ondavo - ") + PartnerTitle, timeoutMs);
    QCOMPARE(m_service->count(FirstRunLogin), serviceSeesLogin ? 1 : 0);
    QCOMPARE(m_partner->count(PartnerRequest), 1);
    QVERIFY(openBoxes(m_window.get()).isEmpty());
}

void TestWindowEngine::partnerFailureEndsOnLocalPage_data()
{
    QTest::addColumn<QStringList>("serviceArgs");
    QTest::addColumn<QStringList>("partnerArgs");

    QTest::newRow("both answer 404") << QStringList{"--fail", "/redirector/=404"}
                                     << QStringList{"--fail", "/export/radio_player.html=404"};
    QTest::newRow("both refuse") << QStringList{"--refuse"} << QStringList{"--refuse"};
    QTest::newRow("service 503, partner refuses")
        << QStringList{"--fail", "/redirector/=503"} << QStringList{"--refuse"};
}

void TestWindowEngine::partnerFailureEndsOnLocalPage()
{
    QFETCH(QStringList, serviceArgs);
    QFETCH(QStringList, partnerArgs);

    QVERIFY(startWindow(serviceArgs, partnerArgs));
    const QUrl local = QUrl::fromLocalFile(binFolder() + QStringLiteral("radio/localhost/index.htm"));
    QTRY_COMPARE_WITH_TIMEOUT(urlOf(m_window->radioPane()), local, timeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_window->windowTitle(), QStringLiteral("Ondavo - ") + LocalRadioTitle,
                              timeoutMs);
    QVERIFY(openBoxes(m_window.get()).isEmpty());
    // The chain stops at the local page: nobody is asked twice.
    QVERIFY(m_service->count(FirstRunLogin) <= 1);
    QVERIFY(m_partner->count(PartnerRequest) <= 1);
}

void TestWindowEngine::missingLocalRadioPageShowsOneBox()
{
    QTemporaryDir emptyExe;
    QVERIFY(emptyExe.isValid());
    m_platform.exeFolder = emptyExe.path() + QLatin1Char('/');
    QVERIFY(startWindow({"--refuse"}, {"--fail", "/export/radio_player.html=404"}));

    QTRY_COMPARE_WITH_TIMEOUT(openBoxes(m_window.get()).count(), 1, timeoutMs);
    QMessageBox *box = openBoxes(m_window.get()).constFirst();
    QCOMPARE(box->windowTitle(), QStringLiteral("Ошибка загрузки программы"));
    QCOMPARE(box->text(),
             QStringLiteral("Отсутствуют некоторые файлы программы!\r\nПереустановите программу."));
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QTRY_COMPARE_WITH_TIMEOUT(m_partner->count(PartnerRequest), 1, timeoutMs);

    // A later page loading in full shows that the chain has run out; still just the one box.
    QVERIFY(m_window->radioPane()->navigate(dataPage(QStringLiteral("<title>marker</title>"))));
    QTRY_COMPARE_WITH_TIMEOUT(m_window->windowTitle(), QStringLiteral("Ondavo - marker"), timeoutMs);
    QCOMPARE(openBoxes(m_window.get()).count(), 1);
    QCOMPARE(m_partner->count(PartnerRequest), 1);
}

void TestWindowEngine::clockRequestedOnEveryShow()
{
    QVERIFY(startWindow());
    QTRY_COMPARE_WITH_TIMEOUT(m_service->count(FirstRunLogin), 1, timeoutMs);
    QCOMPARE(m_service->count(ClockRequest), 0);

    const int clockTab = tabs()->indexOf(m_window->findChild<QWidget *>(QStringLiteral("ClockSheet")));
    QVERIFY(clockTab > 0);
    tabs()->setCurrentIndex(clockTab);
    QTRY_COMPARE_WITH_TIMEOUT(m_service->count(ClockRequest), 1, timeoutMs);
    const QUrl clockUrl(QStringLiteral("http://127.0.0.1:%1/clock/default/").arg(m_service->port));
    QTRY_COMPARE_WITH_TIMEOUT(urlOf(m_window->clockPane()), clockUrl, timeoutMs);

    tabs()->setCurrentIndex(0);
    tabs()->setCurrentIndex(clockTab);
    QTRY_COMPARE_WITH_TIMEOUT(m_service->count(ClockRequest), 2, timeoutMs);
    QCOMPARE(m_partner->log(), QStringList());
}

void TestWindowEngine::clockFallsBackToLocalPage_data()
{
    QTest::addColumn<QStringList>("serviceArgs");
    QTest::addColumn<bool>("localPagePresent");

    QTest::newRow("404, local page") << QStringList{"--fail", "/clock/default/=404"} << true;
    QTest::newRow("500, local page") << QStringList{"--fail", "/clock/default/=500"} << true;
    QTest::newRow("404, local page missing") << QStringList{"--fail", "/clock/default/=404"} << false;
}

void TestWindowEngine::clockFallsBackToLocalPage()
{
    QFETCH(QStringList, serviceArgs);
    QFETCH(bool, localPagePresent);

    QTemporaryDir emptyExe;
    QVERIFY(emptyExe.isValid());
    if (!localPagePresent)
        m_platform.exeFolder = emptyExe.path() + QLatin1Char('/');
    QVERIFY(startWindow(serviceArgs));
    QVERIFY(waitForLoginPage());

    tabs()->setCurrentWidget(m_window->findChild<QWidget *>(QStringLiteral("ClockSheet")));
    QTRY_COMPARE_WITH_TIMEOUT(m_service->count(ClockRequest), 1, timeoutMs);
    if (localPagePresent) {
        const QUrl local = QUrl::fromLocalFile(binFolder() + QStringLiteral("clock/default/index.htm"));
        QTRY_COMPARE_WITH_TIMEOUT(urlOf(m_window->clockPane()), local, timeoutMs);
        QVERIFY(openBoxes(m_window.get()).isEmpty());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(openBoxes(m_window.get()).count(), 1, timeoutMs);
        QMessageBox *box = openBoxes(m_window.get()).constFirst();
        QCOMPARE(box->windowTitle(), QStringLiteral("Ошибка загрузки часов"));
        QCOMPARE(box->text(),
                 QStringLiteral("Не найден локальный шаблон часов!\r\nПереустановите программу."));
    }
    // The radio pane is not part of the clock's chain.
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Ondavo - ") + LoginTitle);
    QCOMPARE(m_partner->log(), QStringList());
}

void TestWindowEngine::titleAndStatusOnlyOnRadioTab()
{
    QVERIFY(startWindow());
    const QString loginCaption = QStringLiteral("Ondavo - ") + LoginTitle;
    QVERIFY(waitForLoginPage());
    // The login's status texts name the service host, so they clear the connecting text.
    QTRY_COMPARE_WITH_TIMEOUT(statusPanel1()->text(), QString(), timeoutMs);

    // On the timer tab a new radio page neither retitles the window nor writes the panel.
    tabs()->setCurrentWidget(m_window->findChild<QWidget *>(QStringLiteral("TimersTabSheet")));
    const QString sentinel = QStringLiteral("sentinel");
    statusPanel1()->setText(sentinel);
    QSignalSpy titles(m_window->radioPane(), &BrowserPane::titleChange);
    QSignalSpy statuses(m_window->radioPane(), &BrowserPane::statusTextChange);
    QSignalSpy complete(m_window->radioPane(), &BrowserPane::navigateComplete2);
    QVERIFY(m_window->radioPane()->navigate(partnerUrl()));
    QTRY_VERIFY_WITH_TIMEOUT(complete.count() > 0 && titles.count() > 0 &&
                                 titles.constLast().constFirst().toString() == PartnerTitle,
                             timeoutMs);
    QVERIFY(statuses.count() > 0); // the pane did report status texts
    QCOMPARE(m_window->windowTitle(), loginCaption);
    QCOMPARE(statusPanel1()->text(), sentinel);

    // Coming back does not fetch the missed title.
    tabs()->setCurrentIndex(0);
    QCOMPARE(m_window->windowTitle(), loginCaption);

    // On the radio tab both reach the window again.
    QVERIFY(m_window->radioPane()->navigate(dataPage(QStringLiteral("<title>Станция</title>"))));
    QTRY_COMPARE_WITH_TIMEOUT(m_window->windowTitle(), QStringLiteral("Ondavo - Станция"), timeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(statusPanel1()->text() != sentinel, timeoutMs);
}

void TestWindowEngine::failureOnNeitherHostIsCancelled()
{
    QVERIFY(startWindow());
    QVERIFY(waitForLoginPage());
    const QStringList serviceBefore = m_service->log();

    // 127.0.0.2 is loopback too, but neither host's name is in the address, and nothing listens.
    const QUrl elsewhere(QStringLiteral("http://127.0.0.2:1/neither"));
    QSignalSpy errors(m_window->radioPane(), &BrowserPane::navigateError);
    QVERIFY(m_window->radioPane()->navigate(elsewhere));
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, timeoutMs);
    QCOMPARE(errors.constFirst().constFirst().toUrl(), elsewhere);

    // Cancelled: a blank page rather than the engine's error page, and no fallback.
    QTRY_COMPARE_WITH_TIMEOUT(urlOf(m_window->radioPane()), QUrl(QStringLiteral("about:blank")), timeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(plainText(m_window->radioPane()), QString(QStringLiteral("")), timeoutMs);
    QCOMPARE(m_service->log(), serviceBefore);
    QCOMPARE(m_partner->log(), QStringList());
    QCOMPARE(errors.count(), 1);
    QVERIFY(openBoxes(m_window.get()).isEmpty());
}

void TestWindowEngine::closeWaitsForLogoff_data()
{
    QTest::addColumn<QStringList>("serviceArgs");
    // Either way the window goes before the first closing tick is due.
    // The completed logoff page lets the window go before the closing timer has to.
    QTest::newRow("service answers") << QStringList();
    // The logoff fails outright: nothing can be told, so the window goes without waiting for a tick.
    QTest::newRow("service refuses") << QStringList{"--refuse"};
}

void TestWindowEngine::closeWaitsForLogoff()
{
    QFETCH(QStringList, serviceArgs);

    QVERIFY(startWindow(serviceArgs));
    if (serviceArgs.isEmpty()) {
        QVERIFY(waitForLoginPage());
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(!m_radioComplete->isEmpty(), timeoutMs);
        QCOMPARE(m_radioComplete->constFirst().constFirst().toUrl(), partnerUrl());
    }
    QVERIFY(!QFileInfo::exists(settingsPath()));

    QSignalSpy closed(m_window.get(), &TOndavoForm1::closed);
    QElapsedTimer elapsed;
    elapsed.start();

    // The first request is refused while the logoff goes out.
    QVERIFY(!m_window->close());
    QCOMPARE(closed.count(), 0);
    QVERIFY(m_window->isVisible());

    QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, timeoutMs);
    qInfo("closed %lld ms after the close request", static_cast<long long>(elapsed.elapsed()));
    QVERIFY(elapsed.elapsed() < ClosingState::TickMs);
    QVERIFY(!m_window->isVisible());
    const QString logoff = QStringLiteral("GET /redirector/?username=&passw=&action=logoff");
    if (serviceArgs.isEmpty()) {
        QCOMPARE(m_service->log().constFirst(), FirstRunLogin);
        QCOMPARE(m_service->log().at(1), logoff);
    }
    // Whatever the service did, the partner host never hears of the close.
    QCOMPARE(m_partner->log().filter(QStringLiteral("redirector")), QStringList());
    QVERIFY(m_partner->count(PartnerRequest) <= 1);

    // A first run's close writes every key, its identity still empty.
    QVERIFY(QFileInfo::exists(settingsPath()));
    const IniFile ini = IniFile::load(settingsPath());
    for (const QString &key : SettingsKeys::All)
        QVERIFY2(ini.contains(SettingsKeys::Section, key), qPrintable(key));
    QCOMPARE(ini.value(SettingsKeys::Section, SettingsKeys::UserName, QStringLiteral("absent")), QString());
    QCOMPARE(ini.value(SettingsKeys::Section, SettingsKeys::Passw, QStringLiteral("absent")), QString());
}

void TestWindowEngine::noNewWindowAndNoDialog()
{
    QVERIFY(startWindow());
    QVERIFY(waitForLoginPage());
    NewWindowWatcher watcher;

    // A page that would open a window on Ctrl+N, and notes every key it sees in its title.
    const QString keysPage = QStringLiteral(
        "<title>keys</title><p>keys</p><script>document.addEventListener('keydown', e => {"
        "var k = e.key.length == 1 ? e.key.toLowerCase() : e.key;"
        "if (e.ctrlKey && !e.shiftKey && k == 'n') window.open('http://127.0.0.2:1/ctrl-n');"
        "document.title += '[' + (e.ctrlKey ? 'C' : '') + (e.shiftKey ? 'S' : '') + k + ']'; });"
        "</script>");
    QSignalSpy complete(m_window->radioPane(), &BrowserPane::navigateComplete2);
    QVERIFY(m_window->radioPane()->navigate(dataPage(keysPage)));
    QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, timeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_window->windowTitle(), QStringLiteral("Ondavo - keys"), timeoutMs);

    QWidget *target = m_window->radioPane()->widget()->focusProxy();
    QVERIFY(target);
    m_window->activateWindow();
    m_window->radioPane()->widget()->setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(target->hasFocus(), timeoutMs);
    QTest::keyClick(target, Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(target, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(target, Qt::Key_X);

    // The later keys reached the page; Ctrl+N reached nothing.
    QTRY_VERIFY_WITH_TIMEOUT(m_window->windowTitle().endsWith(QStringLiteral("[x]")), timeoutMs);
    QVERIFY2(m_window->windowTitle().contains(QStringLiteral("[CSn]")), qPrintable(m_window->windowTitle()));
    QVERIFY2(!m_window->windowTitle().contains(QStringLiteral("[Cn]")), qPrintable(m_window->windowTitle()));
    QCOMPARE(m_platform.openedUrls, QList<QUrl>());

    // An alert shows nothing and holds nothing up: the script goes on past it.
    QVERIFY(m_window->radioPane()->navigate(
        dataPage(QStringLiteral("<title>before</title><script>alert('Ондаво');"
                                "document.title = 'after alert';</script>"))));
    QTRY_COMPARE_WITH_TIMEOUT(m_window->windowTitle(), QStringLiteral("Ondavo - after alert"), timeoutMs);
    QCOMPARE(watcher.appeared, QList<QWidget *>());
    QCOMPARE(m_platform.openedUrls, QList<QUrl>());
    QVERIFY(openBoxes(m_window.get()).isEmpty());
}

// A clip long enough for the engine to offer the desktop a media player of its own: the program's
// must be the only one, and the desktop's keys, however fast, reach the sound and never the page.
void TestWindowEngine::mediaKeysReachOnlyTheProgram()
{
    QVERIFY(startWindow());
    QVERIFY(waitForLoginPage());
    QVERIFY2(playerctl({QStringLiteral("--list-all")}) == QStringLiteral("ondavo"), "no session bus?");
    QVERIFY(m_window->radioPane()->navigate(dataPage(steadyTonePage())));
    QVERIFY(waitUntil([this] { return m_window->radio()->isAudible(); }));
    QTest::qWait(1500);
    QCOMPARE(playerctl({QStringLiteral("--list-all")}), QStringLiteral("ondavo"));
    // Four play-pauses within a millisecond: the engine, switched off and on so fast, would pause
    // the page's player.
    QProcess burst;
    burst.start(
        QStringLiteral("sh"),
        {QStringLiteral("-c"), QStringLiteral("for i in 1 2 3 4; do dbus-send --session --type=method_call "
                                              "--dest=org.mpris.MediaPlayer2.ondavo /org/mpris/MediaPlayer2 "
                                              "org.mpris.MediaPlayer2.Player.PlayPause & done; wait")});
    QVERIFY(waitUntil([&burst] { return burst.state() == QProcess::NotRunning; }));
    QTest::qWait(500);
    auto paused = std::make_shared<QVariant>();
    pageOf(m_window->radioPane())
        ->runJavaScript(QStringLiteral("document.getElementById('a').paused"),
                        [paused](const QVariant &v) { *paused = v; });
    QVERIFY(waitUntil([paused] { return paused->isValid(); }));
    QCOMPARE(paused->toBool(), false);
    QCOMPARE(m_window->radioPane()->isAudioMuted(), false);
    QCOMPARE(playerctl({QStringLiteral("status")}), QStringLiteral("Playing"));
}

int main(int argc, char *argv[])
{
    // The engine's profile, the settings and the instance lock all stay in folders of this run.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    const struct
    {
        const char *var;
        const char *folder;
    } places[] = {{"XDG_CONFIG_HOME", "config"},
                  {"XDG_DATA_HOME", "data"},
                  {"XDG_CACHE_HOME", "cache"},
                  {"XDG_RUNTIME_DIR", "run"}};
    for (const auto &p : places) {
        const QString path = home.filePath(QLatin1String(p.folder));
        QDir().mkpath(path);
        qputenv(p.var, path.toLocal8Bit());
    }
    QFile::setPermissions(home.filePath(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // A session bus of this run's own, where playerctl finds the program as a desktop would.
    QProcess sessionBus;
    dieWithParent(sessionBus);
    sessionBus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                     QStringLiteral("--print-address")});
    if (!sessionBus.waitForReadyRead(10000))
        return 1;
    qputenv("DBUS_SESSION_BUS_ADDRESS", sessionBus.readLine().trimmed());

    // The web engine shares OpenGL contexts with the widgets; this must precede the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    // The closing sequence, not the last window, decides when the program ends.
    QApplication::setQuitOnLastWindowClosed(false);
    TestWindowEngine test;
    return QTest::qExec(&test, argc, argv);
}

// The alarm as a person hears it, recorded from the sound server: after a quiet sleep the radio
// sounds within 25 s of the wake-up, whatever the service does meanwhile; an ordinary login stays
// quiet.
void TestWindowEngine::alarmIsHeard_data()
{
    QTest::addColumn<QString>("meanwhile"); // what happens to the service during the sleep
    QTest::addColumn<bool>("rings");        // the program's own alarm rings
    QTest::newRow("the service plays its station") << "nothing" << false;
    QTest::newRow("the service is unreachable at the wake-up") << "down" << true;
    // A laptop whose network did not come back: the pane ends on the local page, and rings there.
    QTest::newRow("every host unreachable at the wake-up") << "all down" << true;
    QTest::newRow("every host down, the local page already showing") << "on the local page" << true;
    QTest::newRow("the service forgot the sleeper: its page plays nothing") << "restart" << true;
    QTest::newRow("an ordinary login stays quiet") << "no sleep" << false;
}

void TestWindowEngine::alarmIsHeard()
{
    QFETCH(QString, meanwhile);
    QFETCH(bool, rings);
    QVERIFY(startWindow());
    QVERIFY(waitForLoginPage());
    if (meanwhile == "no sleep") {
        m_sound->skip();
        QVERIFY(m_sound->loudest(AlarmWatchMs + 4000) < HeardDb);
        return;
    }
    tabs()->setCurrentIndex(2);
    const QDateTime moment = m_clock.now().addSecs(60);
    m_window->findChild<QComboBox *>(QStringLiteral("TimerActionComboBox"))->setCurrentIndex(4);
    m_window->findChild<QDateEdit *>(QStringLiteral("TimerDatePicker"))->setDate(moment.date());
    m_window->findChild<QTimeEdit *>(QStringLiteral("TimerTimePicker"))->setTime(moment.time());
    m_window->findChild<QDateEdit *>(QStringLiteral("WakeUpDatePicker"))->setDate(moment.date());
    m_window->findChild<QTimeEdit *>(QStringLiteral("WakeUpTimePicker"))
        ->setTime(moment.addSecs(3600).time());
    m_window->findChild<QPushButton *>(QStringLiteral("TimerSetBtn"))->click();
    m_clock.set(moment);
    m_window->timer()->tick();
    QVERIFY(waitUntil(
        [this] { return plainText(m_window->radioPane()).contains(QStringLiteral("Тихий режим")); }));
    QCOMPARE(m_service->log().filter(QStringLiteral("action=sleep")).size(), 1);

    const quint16 port = m_service->port;
    if (meanwhile != "nothing")
        m_service.reset();
    if (meanwhile == "all down" || meanwhile == "on the local page")
        m_partner.reset();
    if (meanwhile == "on the local page") {
        const QUrl local = QUrl::fromLocalFile(binFolder() + QStringLiteral("radio/localhost/index.htm"));
        QVERIFY(m_window->radioPane()->navigate(local));
        QVERIFY(waitUntil([this, local] { return urlOf(m_window->radioPane()) == local; }));
    }
    // On the radio tab, where the page's own status texts reach the status bar.
    tabs()->setCurrentIndex(0);
    if (meanwhile == "restart") {
        m_service = std::make_unique<Service>();
        QVERIFY(m_service->start(m_case->filePath(QStringLiteral("service2.log")), {}, port));
    }
    m_sound->skip();
    m_clock.set(moment.addSecs(3600));
    m_window->timer()->onWakeUpTick();
    QElapsedTimer sinceWakeUp;
    sinceWakeUp.start();
    const double level = m_sound->loudest(25000, HeardDb);
    QVERIFY2(level >= HeardDb, qPrintable(QString("loudest second: %1 dBFS").arg(level)));
    qInfo("heard at %.1f dBFS, %lld ms after the wake-up", level, sinceWakeUp.elapsed());
    // The program's own alarm never doubles a station that plays, and while it rings it says why.
    QCOMPARE(urlOf(m_window->radioPane()).query() == QStringLiteral("alarm"), rings);
    if (rings) {
        QTest::qWait(500);
        QCOMPARE(statusPanel1()->text(), QStringLiteral("Радио не зазвучало: звонит будильник Ondavo"));
    }
    if (!rings)
        pausedAndPlayedByTheDesktop();
}

// The desktop's player controls, as the desktop uses them: playerctl on the session bus.
void TestWindowEngine::pausedAndPlayedByTheDesktop()
{
    const auto playerctl = [](const QStringList &args) {
        return ::playerctl(QStringList{QStringLiteral("--player=ondavo")} + args);
    };
    QVERIFY(playerctl({QStringLiteral("--list-all")}).contains(QStringLiteral("ondavo")));
    QCOMPARE(playerctl({QStringLiteral("metadata"), QStringLiteral("title")}),
             pageOf(m_window->radioPane())->title());
    QCOMPARE(playerctl({QStringLiteral("status")}), QStringLiteral("Playing"));

    playerctl({QStringLiteral("pause")});
    QTest::qWait(500);
    m_sound->skip();
    QVERIFY(m_sound->loudest(2500) < HeardDb);
    QCOMPARE(playerctl({QStringLiteral("status")}), QStringLiteral("Paused"));

    playerctl({QStringLiteral("play")});
    QVERIFY(m_sound->loudest(5000, HeardDb) >= HeardDb);
    QCOMPARE(playerctl({QStringLiteral("status")}), QStringLiteral("Playing"));
}

#include "tst_windowengine.moc"

// A station that plays an endless stream, every host then cut off and back: the station is heard
// again with no hand on the program. Paused on its page, it stays silent: nothing undoes that. What
// the sound server gets follows the desktop's volume control, which reads the volume back.
void TestWindowEngine::stationComesBack_data()
{
    QTest::addColumn<QString>("then");
    QTest::newRow("every host cut off, then back") << "cut off";
    QTest::newRow("paused on its page") << "paused";
    QTest::newRow("the desktop's volume") << "volume";
}

void TestWindowEngine::stationComesBack()
{
    QFETCH(QString, then);
    QDir().mkpath(m_appData + QStringLiteral("/Ondavo"));
    QFile settings(settingsPath());
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[Settings]\nUserName=listener\nPassw=secret\n");
    settings.close();
    QVERIFY(startWindow());
    QVERIFY(waitForLoginPage());
    m_window->radio()->setStallMs(2000);
    QSignalSpy words(m_window->radio(), &RadioSession::message);
    // The listener picks the service's endless station.
    pageOf(m_window->radioPane())
        ->runJavaScript(QStringLiteral("document.querySelector('button[data-id=stream]').click()"));
    m_sound->skip();
    QVERIFY(m_sound->loudest(10000, HeardDb) >= HeardDb);
    const auto logins = [this] { return m_service->log().filter(QStringLiteral("action=login")).size(); };
    QCOMPARE(logins(), 1);

    if (then == "volume") {
        QVERIFY2(playerctl({QStringLiteral("--list-all")}) == QStringLiteral("ondavo"), "no session bus?");
        m_sound->skip();
        const double full = m_sound->loudest(2500);
        playerctl({QStringLiteral("--player=ondavo"), QStringLiteral("volume"), QStringLiteral("0.25")});
        QVERIFY(waitUntil([this] { return m_window->radio()->volume() == 0.25; }));
        QTest::qWait(300);
        m_sound->skip();
        const double quarter = m_sound->loudest(2500);
        qInfo("at full volume %.1f dBFS, at a quarter %.1f dBFS", full, quarter);
        QVERIFY(quarter <= full - 6);
        QCOMPARE(playerctl({QStringLiteral("--player=ondavo"), QStringLiteral("volume")}).toDouble(), 0.25);
        return;
    }
    if (then == "paused") {
        pageOf(m_window->radioPane())
            ->runJavaScript(QStringLiteral("document.getElementById('player').pause()"));
        QTest::qWait(1000);
        m_sound->skip();
        QVERIFY(m_sound->loudest(10000) < HeardDb);
        QCOMPARE(logins(), 1);
        QVERIFY(!m_window->radio()->isReconnectPending());
        return;
    }
    m_service->freeze(true);
    m_partner->freeze(true);
    QVERIFY(waitUntil([this] { return !m_window->radio()->isAudible(); }));
    QTest::qWait(6000);
    m_sound->skip();
    QVERIFY(m_sound->loudest(1000) < HeardDb);
    m_service->freeze(false);
    m_partner->freeze(false);
    QElapsedTimer back;
    back.start();
    const double level = m_sound->loudest(30000, HeardDb);
    QVERIFY2(level >= HeardDb, qPrintable(QString::number(level)));
    qInfo("heard again %lld ms after the hosts came back, at %.1f dBFS", back.elapsed(), level);
    QVERIFY(logins() >= 2);
    QVERIFY(textsOf(words).contains(QStringLiteral("Нет связи с радио: новая попытка через 5 с")));
}
