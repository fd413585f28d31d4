#include "fakes/testhome.h"
#include "platform/platform.h"
#include "service/webenginepane.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QLineEdit>
#include <QMetaEnum>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <functional>
#include <memory>

namespace {

constexpr int timeoutMs = 20000;

class RecordingPlatform : public Platform
{
public:
    QString appDataFolder() const override { return {}; }
    QUrl fileBesideExecutable(const QString &) const override { return {}; }
    void bringWindowToFront(QWindow *) override {}
    bool openUrl(const QUrl &url) override
    {
        opened.append(url);
        return true;
    }
    bool startDetached(const QString &, const QStringList &, QString *) override { return false; }
    void requestPowerOff() override {}
    void requestSuspend() override {}
    void inhibitIdle(const QString &) override {}
    void releaseIdle() override {}
    QList<QUrl> opened;
};

// Stands in for the desktop's handlers, which the engine reaches through QDesktopServices.
class DesktopOpener : public QObject
{
    Q_OBJECT
public:
    explicit DesktopOpener(const QStringList &schemes) : m_schemes(schemes)
    {
        for (const QString &scheme : m_schemes)
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~DesktopOpener() override
    {
        for (const QString &scheme : m_schemes)
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }

private:
    QStringList m_schemes;
};

QByteArray html(const QByteArray &title, const QByteArray &body)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title + "</title></head><body>" +
           body + "</body></html>";
}

QWebEnginePage *pageOf(BrowserPane *pane)
{
    auto *view = qobject_cast<QWebEngineView *>(pane->widget());
    return view ? view->page() : nullptr;
}

// The page's text as the user would read it; a null string when the engine never answered.
QString plainText(QWebEnginePage *page)
{
    auto result = std::make_shared<QString>();
    auto done = std::make_shared<bool>(false);
    page->toPlainText([result, done](const QString &text) {
        *result = text.isNull() ? QStringLiteral("") : text;
        *done = true;
    });
    if (!QTest::qWaitFor([done] { return *done; }, timeoutMs))
        return QString();
    return *result;
}

QVariant runScript(QWebEnginePage *page, const QString &script)
{
    auto result = std::make_shared<QVariant>();
    auto done = std::make_shared<bool>(false);
    page->runJavaScript(script, [result, done](const QVariant &value) {
        *result = value;
        *done = true;
    });
    if (!QTest::qWaitFor([done] { return *done; }, timeoutMs))
        return QVariant();
    return *result;
}

QList<QUrl> urlsOf(const QSignalSpy &spy)
{
    QList<QUrl> urls;
    for (const QList<QVariant> &args : spy)
        urls.append(args.at(0).toUrl());
    return urls;
}

// A mono 16-bit PCM WAVE of a quiet tone, ms long.
QByteArray toneWav(int ms)
{
    const int rate = 8000;
    const quint32 samples = quint32(rate * ms / 1000);
    QByteArray wav;
    QDataStream out(&wav, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + samples * 2);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(rate) << quint32(rate * 2) << quint16(2)
        << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(samples * 2);
    for (quint32 i = 0; i < samples; ++i)
        out << qint16((i / 10) % 2 ? 3000 : -3000);
    return wav;
}

QStringList textsOf(const QSignalSpy &spy)
{
    QStringList texts;
    for (const QList<QVariant> &args : spy)
        texts.append(args.at(0).toString());
    return texts;
}

QList<QWidget *> visibleTopLevels()
{
    QList<QWidget *> visible;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible())
            visible.append(widget);
    }
    return visible;
}

} // namespace

class TestWebEnginePane : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void navigateRefusesWhatCannotStart_data();
    void navigateRefusesWhatCannotStart();
    void completeTitleAndStatus();
    void hoveredLinkShowsInStatus();
    void localFileLoads();
    void failureReportedOnce_data();
    void failureReportedOnce();
    void fallbackFromInsideErrorHandler_data();
    void fallbackFromInsideErrorHandler();
    void replacedOrStoppedLoadIsNoError();
    void stopOnFreshPaneIsHarmless();
    void scriptDialogsStaySilent();
    void ctrlNIsSwallowed();
    void newWindowGoesToDefaultBrowser_data();
    void newWindowGoesToDefaultBrowser();
    void clickedLinkStaysOffTheDesktop_data();
    void clickedLinkStaysOffTheDesktop();
    void mediaWatchReports_data();
    void mediaWatchReports();
    void volumeReachesPlayers();
    void panesShareOneProfile();
    // Runs last: it takes the shared profile away.
    void paneOutlivingProfileRefusesToNavigate();

private:
    QUrl serverUrl(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
    }
    QUrl mediaPage(const QString &script) const
    {
        QUrl url = serverUrl(QStringLiteral("/media"));
        url.setQuery(QStringLiteral("s=") + QString::fromLatin1(QUrl::toPercentEncoding(script)));
        return url;
    }
    BrowserPane *makePane(QWidget *parent);

    TestHome m_home;
    QHttpServer m_server;
    quint16 m_port = 0;
    quint16 m_refusedPort = 0;
    // Accepts connections and never answers: a load that stays pending.
    QTcpServer m_silentServer;
    QList<QTcpSocket *> m_silentSockets;
    QTemporaryDir m_files;
    RecordingPlatform m_platform;
    QObject *m_profileOwner = nullptr;
    BrowserPaneFactory m_factory;
    std::unique_ptr<QWidget> m_window;
    BrowserPane *m_pane = nullptr;
};

void TestWebEnginePane::initTestCase()
{
    // The profile keeps cookies and cache in the XDG data and cache folders: the test's own.
    qputenv("XDG_DATA_HOME", (m_home.path() + QStringLiteral("/data")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (m_home.path() + QStringLiteral("/cache")).toLocal8Bit());

    const auto page = [](const QByteArray &title, const QByteArray &body) {
        return [content = html(title, body)] { return QHttpServerResponse("text/html", content); };
    };
    m_server.route("/title", page("Станция", "<p>Hello page</p>"
                                             "<a id=\"link\" href=\"/other\" style=\"display:block;"
                                             "position:absolute;left:0;top:100px;width:300px;height:60px\">"
                                             "Other link</a>"));
    m_server.route("/other", page("Other", "<p>Other page</p>"));
    m_server.route("/fallback", page("Fallback", "<p>Fallback page</p>"));
    m_server.route("/missing-with-body", [] {
        return QHttpServerResponse("text/html", html("Missing", "<p>Server says missing</p>"),
                                   QHttpServerResponse::StatusCode::NotFound);
    });
    m_server.route("/server-error", [] {
        return QHttpServerResponse("text/html", QByteArray(),
                                   QHttpServerResponse::StatusCode::InternalServerError);
    });
    m_server.route("/dialogs", page("Dialogs", "<script>alert('a'); var c = confirm('b');"
                                               "var p = prompt('c', 'd');"
                                               "document.title = 'after ' + c + ' ' + p;</script>"));
    m_server.route("/keys", page("keys", "<p>Keys</p><script>document.addEventListener('keydown', e => {"
                                         "var k = e.key.length == 1 ? e.key.toLowerCase() : e.key;"
                                         "document.title += '[' + (e.ctrlKey ? 'C' : '') + "
                                         "(e.shiftKey ? 'S' : '') + k + ']'; });</script>"));
    m_server.route("/window-open", page("Opener", "<script>window.open('/opened-by-script');</script>"));
    // Links that fill the page, so a click anywhere follows them.
    m_server.route("/blank-link", page("Link", "<a style=\"position:fixed;inset:0\" target=\"_blank\" "
                                               "href=\"/linked\">Open</a>"));
    m_server.route("/click-sh", page("Click", "<a style=\"position:fixed;inset:0\" href=\"#\" "
                                              "onclick=\"window.open('sh:foo'); return false\">Open</a>"));
    m_server.route("/three-popups", page("Popups", "<script>window.open('sh:foo'); window.open('sh:bar');"
                                                   "window.open('/x');</script>"));
    m_server.route("/late-open", page("Late", "<script>var w = window.open();"
                                              "if (w) w.location.href = '/late-target';</script>"));
    // Blocks of 40 pixels, one below the other every 50.
    m_server.route("/outside-links",
                   page("Outside", "<style>a{display:block;position:absolute;left:0;width:300px;height:40px}"
                                   "</style>"
                                   "<a style=\"top:0\" href=\"ssh://x\">ssh</a>"
                                   "<a style=\"top:50px\" href=\"mailto:someone@example.com\">mail</a>"
                                   "<a style=\"top:100px\" href=\"ondavo-test://x\">custom</a>"
                                   "<a style=\"top:150px\" href=\"javascript:location='ssh://y'\">script</a>"
                                   "<a style=\"top:200px\" target=\"_blank\" href=\"/linked\">web</a>"));
    m_server.route("/tone.wav", [] { return QHttpServerResponse("audio/wav", toneWav(600)); });
    // A page whose script is the query.
    m_server.route("/media", [](const QHttpServerRequest &request) {
        const QByteArray script =
            request.query().queryItemValue(QStringLiteral("s"), QUrl::FullyDecoded).toUtf8();
        return QHttpServerResponse("text/html", html("Media", "<audio id=\"p\"></audio><script>"
                                                              "var p = document.getElementById('p');" +
                                                                  script + "</script>"));
    });
    m_port = m_server.listen(QHostAddress::LocalHost, 0);
    QVERIFY(m_port != 0);

    QTcpServer refused;
    QVERIFY(refused.listen(QHostAddress::LocalHost, 0));
    m_refusedPort = refused.serverPort();
    refused.close();

    QVERIFY(m_silentServer.listen(QHostAddress::LocalHost, 0));
    connect(&m_silentServer, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_silentServer.nextPendingConnection())
            m_silentSockets.append(socket);
    });

    QVERIFY(m_files.isValid());
    QVERIFY(QDir(m_files.path()).mkpath(QStringLiteral("radio/localhost")));
    QFile local(m_files.filePath(QStringLiteral("radio/localhost/index.htm")));
    QVERIFY(local.open(QIODevice::WriteOnly));
    local.write(html("Local radio", "<p>Local radio page</p>"));
    local.close();

    m_profileOwner = new QObject(this);
    m_factory = makeWebEnginePaneFactory(&m_platform, m_profileOwner);
}

BrowserPane *TestWebEnginePane::makePane(QWidget *parent)
{
    BrowserPane *pane = m_factory(PaneRole::Radio, parent);
    parent->layout()->addWidget(pane->widget());
    return pane;
}

void TestWebEnginePane::init()
{
    m_platform.opened.clear();
    m_window = std::make_unique<QWidget>();
    new QVBoxLayout(m_window.get());
    m_window->resize(400, 300);
    m_pane = makePane(m_window.get());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestWebEnginePane::cleanup()
{
    m_window.reset();
    m_pane = nullptr;
}

void TestWebEnginePane::navigateRefusesWhatCannotStart_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<bool>("starts");

    QTest::newRow("empty") << QUrl() << false;
    QTest::newRow("invalid") << QUrl(QStringLiteral("http://exa mple.com/")) << false;
    QTest::newRow("relative") << QUrl(QStringLiteral("radio/localhost/index.htm")) << false;
    QTest::newRow("web address") << QUrl(QStringLiteral("http://127.0.0.1:1/")) << true;
}

void TestWebEnginePane::navigateRefusesWhatCannotStart()
{
    QFETCH(QUrl, url);
    QFETCH(bool, starts);

    QCOMPARE(m_pane->navigate(url), starts);
    QCOMPARE(m_pane->errorString().isEmpty(), starts);
}

void TestWebEnginePane::completeTitleAndStatus()
{
    QSignalSpy complete(m_pane, &BrowserPane::navigateComplete2);
    QSignalSpy titles(m_pane, &BrowserPane::titleChange);
    QSignalSpy status(m_pane, &BrowserPane::statusTextChange);
    QSignalSpy errors(m_pane, &BrowserPane::navigateError);

    const QUrl url = serverUrl(QStringLiteral("/title"));
    QVERIFY(m_pane->navigate(url));
    QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, timeoutMs);
    QCOMPARE(complete.at(0).at(0).toUrl(), url);
    QTRY_VERIFY_WITH_TIMEOUT(textsOf(titles).contains(QStringLiteral("Станция")), timeoutMs);
    // The address while loading, then an empty status bar.
    QVERIFY2(textsOf(status).contains(url.toString()), qPrintable(textsOf(status).join(u'|')));
    QTRY_COMPARE_WITH_TIMEOUT(textsOf(status).constLast(), QString(), timeoutMs);
    QCOMPARE(errors.count(), 0);
}

void TestWebEnginePane::hoveredLinkShowsInStatus()
{
    QSignalSpy complete(m_pane, &BrowserPane::navigateComplete2);
    QSignalSpy status(m_pane, &BrowserPane::statusTextChange);
    QVERIFY(m_pane->navigate(serverUrl(QStringLiteral("/title"))));
    QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, timeoutMs);
    QWidget *target = m_pane->widget()->focusProxy();
    QVERIFY(target);
    status.clear();

    // The link spans y 100..160 of the page; move across it and away again.
    const QString linkUrl = serverUrl(QStringLiteral("/other")).toString();
    QTest::mouseMove(target, QPoint(50, 20));
    QTest::mouseMove(target, QPoint(50, 130));
    QTRY_VERIFY_WITH_TIMEOUT(textsOf(status).contains(linkUrl), timeoutMs);
    QTest::mouseMove(target, QPoint(50, 250));
    QTRY_COMPARE_WITH_TIMEOUT(textsOf(status).constLast(), QString(), timeoutMs);
}

void TestWebEnginePane::localFileLoads()
{
    QSignalSpy complete(m_pane, &BrowserPane::navigateComplete2);
    QSignalSpy titles(m_pane, &BrowserPane::titleChange);
    const QUrl url = QUrl::fromLocalFile(m_files.filePath(QStringLiteral("radio/localhost/index.htm")));

    QVERIFY(m_pane->navigate(url));
    QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, timeoutMs);
    QCOMPARE(complete.at(0).at(0).toUrl(), url);
    QTRY_VERIFY_WITH_TIMEOUT(textsOf(titles).contains(QStringLiteral("Local radio")), timeoutMs);
    QCOMPARE(plainText(pageOf(m_pane)), QStringLiteral("Local radio page"));
}

void TestWebEnginePane::failureReportedOnce_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("cancel");

    const QString refused = QStringLiteral("http://127.0.0.1:%1/nothing").arg(m_refusedPort);
    const QString notFound = serverUrl(QStringLiteral("/not-there")).toString();
    const QString notFoundWithBody = serverUrl(QStringLiteral("/missing-with-body")).toString();
    const QString serverError = serverUrl(QStringLiteral("/server-error")).toString();
    QTest::newRow("refused, cancelled") << refused << true;
    QTest::newRow("refused, error page") << refused << false;
    QTest::newRow("404, cancelled") << notFound << true;
    QTest::newRow("404, error page") << notFound << false;
    QTest::newRow("404 with body, cancelled") << notFoundWithBody << true;
    QTest::newRow("404 with body, shown") << notFoundWithBody << false;
    QTest::newRow("500, cancelled") << serverError << true;
}

void TestWebEnginePane::failureReportedOnce()
{
    QFETCH(QString, address);
    QFETCH(bool, cancel);
    const QUrl failing(address);

    // Something on screen first, so a blank pane is the pane's own doing.
    QSignalSpy complete(m_pane, &BrowserPane::navigateComplete2);
    QVERIFY(m_pane->navigate(serverUrl(QStringLiteral("/title"))));
    QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, timeoutMs);
    complete.clear();

    QSignalSpy titles(m_pane, &BrowserPane::titleChange);
    QList<QUrl> failed;
    connect(m_pane, &BrowserPane::navigateError, this, [&](const QUrl &url, bool *cancelFlag) {
        QVERIFY(cancelFlag && !*cancelFlag);
        failed.append(url);
        *cancelFlag = cancel;
    });

    QVERIFY(m_pane->navigate(failing));
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, timeoutMs);
    QCOMPARE(failed.at(0), failing);

    QWebEnginePage *page = pageOf(m_pane);
    if (cancel) {
        QTRY_COMPARE_WITH_TIMEOUT(plainText(page), QStringLiteral(""), timeoutMs);
        // The blank page is the pane's own: the program sees no completion and no title of it.
        QCOMPARE(urlsOf(complete), QList<QUrl>());
        for (const QString &title : textsOf(titles))
            QVERIFY2(!title.contains(QStringLiteral("blank")), qPrintable(title));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(!plainText(page).isEmpty() && !plainText(page).contains("Hello page"),
                                 timeoutMs);
        QCOMPARE(urlsOf(complete), QList<QUrl>());
    }

    // The pane goes on normally, and the failure was reported only once.
    const QUrl next = serverUrl(QStringLiteral("/other"));
    QVERIFY(m_pane->navigate(next));
    QTRY_COMPARE_WITH_TIMEOUT(urlsOf(complete), QList<QUrl>{next}, timeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(plainText(page), QStringLiteral("Other page"), timeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(textsOf(titles).constLast(), QStringLiteral("Other"), timeoutMs);
    QCOMPARE(failed.count(), 1);
}

void TestWebEnginePane::fallbackFromInsideErrorHandler_data()
{
    QTest::addColumn<QStringList>("chain");
    QTest::addColumn<bool>("cancel");

    const QString refused = QStringLiteral("http://127.0.0.1:%1/redirector/").arg(m_refusedPort);
    const QString notFound = serverUrl(QStringLiteral("/export/radio_player.html")).toString();
    const QString fallback = serverUrl(QStringLiteral("/fallback")).toString();
    const QString local =
        QUrl::fromLocalFile(m_files.filePath(QStringLiteral("radio/localhost/index.htm"))).toString();

    QTest::newRow("refused to page") << QStringList{refused, fallback} << false;
    QTest::newRow("404 to page") << QStringList{notFound, fallback} << false;
    QTest::newRow("refused to 404 to local file") << QStringList{refused, notFound, local} << false;
    QTest::newRow("cancelled and redirected") << QStringList{refused, fallback} << true;
}

void TestWebEnginePane::fallbackFromInsideErrorHandler()
{
    QFETCH(QStringList, chain);
    QFETCH(bool, cancel);

    QSignalSpy complete(m_pane, &BrowserPane::navigateComplete2);
    QList<QUrl> failed;
    connect(m_pane, &BrowserPane::navigateError, this, [&](const QUrl &url, bool *cancelFlag) {
        failed.append(url);
        *cancelFlag = cancel;
        const int at = chain.indexOf(url.toString());
        QVERIFY2(at >= 0 && at + 1 < chain.size(), qPrintable(url.toString()));
        QVERIFY(m_pane->navigate(QUrl(chain.at(at + 1))));
    });

    QVERIFY(m_pane->navigate(QUrl(chain.first())));
    const QUrl last(chain.last());
    QTRY_COMPARE_WITH_TIMEOUT(urlsOf(complete), QList<QUrl>{last}, timeoutMs);
    QList<QUrl> expectedFailures;
    for (int i = 0; i + 1 < chain.size(); ++i)
        expectedFailures.append(QUrl(chain.at(i)));
    QCOMPARE(failed, expectedFailures);

    // The fallback stays on screen: no error page comes after it.
    QWebEnginePage *page = pageOf(m_pane);
    QTRY_VERIFY_WITH_TIMEOUT(plainText(page).endsWith(QStringLiteral("page")), timeoutMs);
    QCOMPARE(page->url(), last);
    QCOMPARE(runScript(page, QStringLiteral("document.readyState")).toString(), QStringLiteral("complete"));
    QCOMPARE(page->url(), last);
    QCOMPARE(failed, expectedFailures);
}

void TestWebEnginePane::replacedOrStoppedLoadIsNoError()
{
    QSignalSpy complete(m_pane, &BrowserPane::navigateComplete2);
    QSignalSpy errors(m_pane, &BrowserPane::navigateError);
    QSignalSpy status(m_pane, &BrowserPane::statusTextChange);
    const QUrl pending(QStringLiteral("http://127.0.0.1:%1/never").arg(m_silentServer.serverPort()));

    // A pending load is stopped: the status bar clears, and nothing failed.
    QVERIFY(m_pane->navigate(pending));
    QTRY_VERIFY_WITH_TIMEOUT(!m_silentSockets.isEmpty(), timeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(textsOf(status).constLast(), pending.toString(), timeoutMs);
    m_pane->stop();
    QTRY_COMPARE_WITH_TIMEOUT(textsOf(status).constLast(), QString(), timeoutMs);

    // A pending load replaced by a new navigation is no failure either.
    const int connections = m_silentSockets.count();
    QVERIFY(m_pane->navigate(pending));
    QTRY_VERIFY_WITH_TIMEOUT(m_silentSockets.count() > connections, timeoutMs);
    const QUrl next = serverUrl(QStringLiteral("/title"));
    QVERIFY(m_pane->navigate(next));
    QTRY_COMPARE_WITH_TIMEOUT(urlsOf(complete), QList<QUrl>{next}, timeoutMs);
    QCOMPARE(errors.count(), 0);

    qDeleteAll(m_silentSockets);
    m_silentSockets.clear();
}

void TestWebEnginePane::stopOnFreshPaneIsHarmless()
{
    QSignalSpy errors(m_pane, &BrowserPane::navigateError);
    QSignalSpy complete(m_pane, &BrowserPane::navigateComplete2);
    m_pane->stop();
    m_pane->stop();

    // Still usable afterwards.
    QVERIFY(m_pane->navigate(serverUrl(QStringLiteral("/other"))));
    QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, timeoutMs);
    QCOMPARE(errors.count(), 0);
}

void TestWebEnginePane::scriptDialogsStaySilent()
{
    // Any window that shows up is noted and closed, so a modal dialog cannot stall the test.
    const QList<QWidget *> before = visibleTopLevels();
    QList<QWidget *> appeared;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, this, [&] {
        for (QWidget *widget : visibleTopLevels()) {
            if (!before.contains(widget) && !appeared.contains(widget)) {
                appeared.append(widget);
                widget->close();
            }
        }
    });
    watcher.start(50);

    QSignalSpy titles(m_pane, &BrowserPane::titleChange);
    QVERIFY(m_pane->navigate(serverUrl(QStringLiteral("/dialogs"))));

    // The script runs on past every dialog: confirm says no, prompt gives nothing.
    QTRY_VERIFY_WITH_TIMEOUT(textsOf(titles).contains(QStringLiteral("after false null")), timeoutMs);
    QCOMPARE(appeared, QList<QWidget *>());
}

void TestWebEnginePane::ctrlNIsSwallowed()
{
    auto *edit = new QLineEdit(m_window.get());
    m_window->layout()->addWidget(edit);
    auto *newWindow = new QAction(m_window.get());
    newWindow->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    m_window->addAction(newWindow);
    QSignalSpy triggered(newWindow, &QAction::triggered);
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));

    // The window's shortcut does work while another widget has the focus.
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(triggered.count(), 1);

    QSignalSpy complete(m_pane, &BrowserPane::navigateComplete2);
    QSignalSpy titles(m_pane, &BrowserPane::titleChange);
    QVERIFY(m_pane->navigate(serverUrl(QStringLiteral("/keys"))));
    QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, timeoutMs);
    QWidget *target = m_pane->widget()->focusProxy();
    QVERIFY(target);
    m_pane->widget()->setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(target->hasFocus(), timeoutMs);

    const QList<QWidget *> before = visibleTopLevels();
    QTest::keyClick(target, Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(target, Qt::Key_N, Qt::ControlModifier | Qt::AltModifier);
    QTest::keyClick(target, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(target, Qt::Key_X);

    // The later keys reach the page; Ctrl+N (with or without Alt) reaches neither it nor the window.
    QTRY_VERIFY_WITH_TIMEOUT(!textsOf(titles).isEmpty() && textsOf(titles).constLast().endsWith("[x]"),
                             timeoutMs);
    const QString seen = textsOf(titles).constLast();
    QVERIFY2(seen.contains(QStringLiteral("[CSn]")), qPrintable(seen));
    QVERIFY2(!seen.contains(QStringLiteral("[Cn]")), qPrintable(seen));
    QCOMPARE(triggered.count(), 1);
    QCOMPARE(m_platform.opened, QList<QUrl>());
    QCOMPARE(visibleTopLevels(), before);
}

// Only a click opens a window, and only a web page goes to the default browser.
void TestWebEnginePane::newWindowGoesToDefaultBrowser_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("click");
    QTest::addColumn<QString>("expected"); // empty: nothing is opened

    QTest::newRow("target=_blank, clicked") << "/blank-link" << true << "/linked";
    QTest::newRow("window.open as the page loads") << "/window-open" << false << "";
    QTest::newRow("window.open, address set later") << "/late-open" << false << "";
    QTest::newRow("three pop-ups as the page loads") << "/three-popups" << false << "";
    QTest::newRow("a click opens another scheme") << "/click-sh" << true << "";
}

void TestWebEnginePane::newWindowGoesToDefaultBrowser()
{
    QFETCH(QString, path);
    QFETCH(bool, click);
    QFETCH(QString, expected);

    const QList<QWidget *> before = visibleTopLevels();
    QSignalSpy complete(m_pane, &BrowserPane::navigateComplete2);
    const QUrl url = serverUrl(path);
    QVERIFY(m_pane->navigate(url));
    QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, timeoutMs);
    if (click) {
        QWidget *input = m_pane->widget()->focusProxy();
        QVERIFY(input);
        QTest::mouseClick(input, Qt::LeftButton, {}, input->rect().center());
    }
    if (expected.isEmpty()) {
        QTest::qWait(1500);
        QCOMPARE(m_platform.opened, QList<QUrl>());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(m_platform.opened, QList<QUrl>{serverUrl(expected)}, timeoutMs);
    }
    QCOMPARE(pageOf(m_pane)->url(), url);
    QCOMPARE(urlsOf(complete), QList<QUrl>{url});
    QCOMPARE(visibleTopLevels(), before);
    QCOMPARE(m_window->findChildren<QWebEngineView *>().count(), 1);
}

// A clicked link to another scheme reaches no desktop handler; a new window to a web page still
// reaches the default browser.
void TestWebEnginePane::clickedLinkStaysOffTheDesktop_data()
{
    QTest::addColumn<int>("block");
    // The address the pane keeps to itself, and what reaches the default browser; empty: nothing.
    QTest::addColumn<QString>("refused");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ssh:") << 0 << "ssh://x" << QString();
    QTest::newRow("mailto:") << 1 << "mailto:someone@example.com" << QString();
    QTest::newRow("custom scheme") << 2 << "ondavo-test://x" << QString();
    QTest::newRow("javascript: sends the page to ssh:") << 3 << "ssh://y" << QString();
    QTest::newRow("target=_blank to a web page") << 4 << QString() << "/linked";
}

void TestWebEnginePane::clickedLinkStaysOffTheDesktop()
{
    QFETCH(int, block);
    QFETCH(QString, refused);
    QFETCH(QString, expected);

    DesktopOpener desktop({"ssh", "mailto", "ondavo-test", "http", "https"});
    QSignalSpy complete(m_pane, &BrowserPane::navigateComplete2);
    const QUrl url = serverUrl(QStringLiteral("/outside-links"));
    QVERIFY(m_pane->navigate(url));
    QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, timeoutMs);
    if (!refused.isEmpty())
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QRegularExpression::escape(refused)));

    QWidget *input = m_pane->widget()->focusProxy();
    QVERIFY(input);
    QTest::mouseClick(input, Qt::LeftButton, {}, QPoint(50, 20 + 50 * block));
    if (expected.isEmpty()) {
        QTest::qWait(1500);
        QCOMPARE(m_platform.opened, QList<QUrl>());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(m_platform.opened, QList<QUrl>{serverUrl(expected)}, timeoutMs);
    }
    QCOMPARE(desktop.opened, QList<QUrl>());
    QCOMPARE(pageOf(m_pane)->url(), url);
    QCOMPARE(urlsOf(complete), QList<QUrl>{url});
}

void TestWebEnginePane::mediaWatchReports_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("events");
    using E = BrowserPane::MediaEvent;
    const auto names = [](std::initializer_list<E> events) {
        QStringList list;
        for (E e : events)
            list << QString::fromLatin1(QMetaEnum::fromType<E>().valueToKey(int(e)));
        return list;
    };
    QTest::newRow("plays to its end") << "p.src = '/tone.wav'; p.play();" << names({E::Playing, E::Ended});
    QTest::newRow("stream missing") << "p.src = '/no-such.wav'; p.play();" << names({E::Error});
    QTest::newRow("paused on the page")
        << "p.onplaying = function () { setTimeout(function () { p.pause(); }, 100); };"
           "p.src = '/tone.wav'; p.play();"
        << names({E::Playing, E::Paused});
    // The page cannot write the watch's lines: it does not know the key.
    QTest::newRow("page forges reports")
        << "console.log('ondavo-media-0000000000000000:error'); console.log('ondavo-media-:error');"
           "console.log('error'); p.src = '/tone.wav'; p.play();"
        << names({E::Playing, E::Ended});
    QTest::newRow("player made after the watch")
        << "var q = document.createElement('audio'); document.body.appendChild(q);"
           "q.src = '/tone.wav'; q.play();"
        << names({E::Playing, E::Ended});
}

void TestWebEnginePane::mediaWatchReports()
{
    QFETCH(QString, script);
    QFETCH(QStringList, events);
    QSignalSpy media(m_pane, &BrowserPane::mediaEvent);
    QVERIFY(m_pane->navigate(mediaPage(script)));
    QTRY_COMPARE_WITH_TIMEOUT(media.count(), events.size(), timeoutMs);
    QTest::qWait(300); // nothing more comes
    QStringList seen;
    for (const QList<QVariant> &args : media)
        seen << QString::fromLatin1(QMetaEnum::fromType<BrowserPane::MediaEvent>().valueToKey(
            int(args.at(0).value<BrowserPane::MediaEvent>())));
    QCOMPARE(seen, events);
}

void TestWebEnginePane::volumeReachesPlayers()
{
    QSignalSpy media(m_pane, &BrowserPane::mediaEvent);
    // Set before the page loads: its player starts at it.
    m_pane->setVolume(0.25);
    QVERIFY(m_pane->navigate(mediaPage(QStringLiteral("p.loop = true; p.src = '/tone.wav'; p.play();"))));
    QTRY_VERIFY_WITH_TIMEOUT(!media.isEmpty(), timeoutMs);
    QWebEnginePage *page = pageOf(m_pane);
    QCOMPARE(runScript(page, QStringLiteral("p.volume")).toDouble(), 0.25);
    // The local page's own Web Audio reads it from the document.
    QCOMPARE(runScript(page, QStringLiteral("document.documentElement.dataset.ondavoVolume")).toString(),
             QStringLiteral("0.25"));
    // While it plays, and beyond the ends of the scale.
    m_pane->setVolume(0.6);
    QTRY_COMPARE_WITH_TIMEOUT(runScript(page, QStringLiteral("p.volume")).toDouble(), 0.6, timeoutMs);
    m_pane->setVolume(7);
    QTRY_COMPARE_WITH_TIMEOUT(runScript(page, QStringLiteral("p.volume")).toDouble(), 1.0, timeoutMs);
    m_pane->setVolume(1.0);
}

void TestWebEnginePane::panesShareOneProfile()
{
    QWidget other;
    new QVBoxLayout(&other);
    BrowserPane *second = makePane(&other);
    QVERIFY(pageOf(second));
    QCOMPARE(pageOf(second)->profile(), pageOf(m_pane)->profile());
    // On disk, so cookies outlive the run, and here inside the test's own XDG folders.
    QVERIFY(!pageOf(m_pane)->profile()->isOffTheRecord());
    QVERIFY2(pageOf(m_pane)->profile()->persistentStoragePath().startsWith(m_home.path()),
             qPrintable(pageOf(m_pane)->profile()->persistentStoragePath()));
}

void TestWebEnginePane::paneOutlivingProfileRefusesToNavigate()
{
    QSignalSpy complete(m_pane, &BrowserPane::navigateComplete2);
    QVERIFY(m_pane->navigate(serverUrl(QStringLiteral("/title"))));
    QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, timeoutMs);

    delete m_profileOwner;
    m_profileOwner = nullptr;
    QVERIFY(!m_pane->navigate(serverUrl(QStringLiteral("/other"))));
    QVERIFY(!m_pane->errorString().isEmpty());
    m_pane->stop();
    QVERIFY(m_pane->widget());
}

int main(int argc, char *argv[])
{
    // The web engine shares OpenGL contexts with the widgets; this must precede the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestWebEnginePane test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_webenginepane.moc"
