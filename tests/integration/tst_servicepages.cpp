// The service's pages and arguments, driven in-process without a socket.

#include "serviceoptions.h"
#include "servicepages.h"

#include <QRegularExpression>
#include <QtTest>

using QueryItems = QList<QPair<QString, QString>>;

namespace {

QString titleOf(const QByteArray &body)
{
    static const QRegularExpression title(QStringLiteral("<title>(.*)</title>"));
    return title.match(QString::fromUtf8(body)).captured(1);
}

} // namespace

class TestServicePages : public QObject
{
    Q_OBJECT
private slots:
    void respond_data();
    void respond();
    void failuresOverrideEveryMethodAndQuery();
    void parseQuery_data();
    void parseQuery();
    void htmlEscape_data();
    void htmlEscape();
    void fillTemplate_data();
    void fillTemplate();
    void arguments_data();
    void arguments();
};

void TestServicePages::respond_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("contains");
    QTest::addColumn<QStringList>("absent");

    const QString stations = QStringLiteral("Ондаво Радио — станции");
    const QString sleep = QStringLiteral("Ондаво Радио — тихий режим");
    const QStringList player{QStringLiteral("<audio id=\"player\" controls preload=\"none\">"),
                             QStringLiteral("data-url=\"https://")};
    const QStringList noAutoplay{QStringLiteral("autoplay")};

    QTest::newRow("login, empty identity")
        << QByteArray("GET") << "/redirector/" << QByteArray("username=&passw=&action=login&client=Ondavo3")
        << 200 << stations << (player + QStringList{QStringLiteral("гость")}) << noAutoplay;
    QTest::newRow("login, user name decoded and escaped")
        << QByteArray("GET") << "/redirector/"
        << QByteArray("username=a%26b%3Ci%3E%20%D0%AF&passw=x%2By&action=login&client=Ondavo3") << 200
        << stations << QStringList{QStringLiteral("<b>a&amp;b&lt;i&gt; Я</b>")}
        << QStringList{QStringLiteral("<i>")};
    QTest::newRow("login, plus stays a plus")
        << QByteArray("GET") << "/redirector/" << QByteArray("username=a+b&action=login") << 200 << stations
        << QStringList{QStringLiteral("<b>a+b</b>")} << QStringList();
    QTest::newRow("logoff") << QByteArray("GET") << "/redirector/"
                            << QByteArray("username=u&passw=p&action=logoff") << 200
                            << QStringLiteral("Ондаво Радио — до свидания")
                            << QStringList{QStringLiteral("До свидания!")}
                            << QStringList{QStringLiteral("<audio")};
    QTest::newRow("sleep shows the wake-up time")
        << QByteArray("GET") << "/redirector/"
        << QByteArray("username=u&passw=p&action=sleep&client=Ondavo3&uptime=09.12.2026%207:30:00") << 200
        << sleep << QStringList{QStringLiteral("<b>09.12.2026 7:30:00</b>")}
        << QStringList{QStringLiteral("<audio"), QStringLiteral("<script")};
    QTest::newRow("sleep escapes a hostile wake-up time")
        << QByteArray("GET") << "/redirector/"
        << QByteArray("action=sleep&uptime=%3Cscript%3Ealert(%22x%22)%3C/script%3E%27") << 200 << sleep
        << QStringList{QStringLiteral("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;&#39;")}
        << QStringList{QStringLiteral("<script"), QStringLiteral("alert(\"")};
    QTest::newRow("sleep without a wake-up time")
        << QByteArray("GET") << "/redirector/" << QByteArray("action=sleep") << 200 << sleep
        << QStringList{QStringLiteral("Время пробуждения не указано.")}
        << QStringList{QStringLiteral("<audio")};
    QTest::newRow("encoded key still names the action")
        << QByteArray("GET") << "/redirector/" << QByteArray("act%69on=logoff") << 200
        << QStringLiteral("Ондаво Радио — до свидания") << QStringList() << QStringList();
    QTest::newRow("missing action") << QByteArray("GET") << "/redirector/" << QByteArray("username=u&passw=p")
                                    << 400 << QStringLiteral("Ошибка 400") << QStringList() << QStringList();
    QTest::newRow("no query at all") << QByteArray("GET") << "/redirector/" << QByteArray() << 400
                                     << QStringLiteral("Ошибка 400") << QStringList() << QStringList();
    QTest::newRow("unknown action") << QByteArray("GET") << "/redirector/" << QByteArray("action=dance")
                                    << 400 << QStringLiteral("Ошибка 400") << QStringList() << QStringList();
    QTest::newRow("action is case-sensitive")
        << QByteArray("GET") << "/redirector/" << QByteArray("action=Login") << 400
        << QStringLiteral("Ошибка 400") << QStringList() << QStringList();
    QTest::newRow("empty action") << QByteArray("GET") << "/redirector/" << QByteArray("action=") << 400
                                  << QStringLiteral("Ошибка 400") << QStringList() << QStringList();
    QTest::newRow("a second action is ambiguous")
        << QByteArray("GET") << "/redirector/" << QByteArray("username=x&action=logoff&passw=&action=login")
        << 400 << QStringLiteral("Ошибка 400") << QStringList() << QStringList();
    QTest::newRow("clock page") << QByteArray("GET") << "/clock/default/" << QByteArray() << 200
                                << QStringLiteral("Ондаво — часы")
                                << QStringList{QStringLiteral("id=\"time\""),
                                               QStringLiteral("setTimeout(tick")}
                                << QStringList{QStringLiteral("http")};
    QTest::newRow("partner player") << QByteArray("GET") << "/export/radio_player.html" << QByteArray() << 200
                                    << QStringLiteral("Радиоплеер партнёра") << player << noAutoplay;
    QTest::newRow("redirector without its slash")
        << QByteArray("GET") << "/redirector" << QByteArray("action=login") << 404
        << QStringLiteral("Ошибка 404") << QStringList() << QStringList();
    QTest::newRow("unknown path") << QByteArray("GET") << "/index.html" << QByteArray() << 404
                                  << QStringLiteral("Ошибка 404") << QStringList() << QStringList();
    QTest::newRow("POST is not served")
        << QByteArray("POST") << "/redirector/" << QByteArray("action=login") << 405
        << QStringLiteral("Ошибка 405") << QStringList() << QStringList();
}

void TestServicePages::respond()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, query);
    QFETCH(int, status);
    QFETCH(QString, title);
    QFETCH(QStringList, contains);
    QFETCH(QStringList, absent);

    const PageResponse r = ServicePages().respond(method, path, query);
    QCOMPARE(r.status, status);
    QCOMPARE(r.contentType, QByteArray("text/html; charset=utf-8"));
    QCOMPARE(titleOf(r.body), title);
    const QString body = QString::fromUtf8(r.body);
    QVERIFY(body.contains(QLatin1String("<meta charset=\"utf-8\">")));
    for (const QString &text : contains)
        QVERIFY2(body.contains(text), qPrintable(text));
    for (const QString &text : absent)
        QVERIFY2(!body.contains(text), qPrintable(text));
    // No page takes anything from elsewhere except the station streams.
    QVERIFY(!body.contains(QLatin1String(" src=\"http")));
    QVERIFY(!body.contains(QLatin1String("href=\"http")));
    QVERIFY(!body.contains(QLatin1String("{{")));

    bool hasPolicy = false;
    for (const auto &[name, value] : r.headers) {
        if (name == "Content-Security-Policy") {
            hasPolicy = true;
            QVERIFY(value.startsWith("default-src 'none'"));
        }
    }
    QVERIFY(hasPolicy);
}

void TestServicePages::failuresOverrideEveryMethodAndQuery()
{
    ServicePages pages;
    pages.setFailure(QStringLiteral("/clock/default/"), 404);
    pages.setFailure(QStringLiteral("/redirector/"), 503);

    QCOMPARE(pages.respond("GET", QStringLiteral("/clock/default/"), QByteArray()).status, 404);
    QCOMPARE(pages.respond("GET", QStringLiteral("/clock/default/"), "x=1").status, 404);
    QCOMPARE(pages.respond("POST", QStringLiteral("/clock/default/"), QByteArray()).status, 404);
    const PageResponse login = pages.respond("GET", QStringLiteral("/redirector/"), "action=login");
    QCOMPARE(login.status, 503);
    QCOMPARE(titleOf(login.body), QStringLiteral("Ошибка 503"));
    QVERIFY(!login.body.isEmpty());
    // Other paths are untouched.
    QCOMPARE(pages.respond("GET", QStringLiteral("/export/radio_player.html"), QByteArray()).status, 200);
    QCOMPARE(pages.respond("GET", QStringLiteral("/clock/default"), QByteArray()).status, 404);
}

void TestServicePages::parseQuery_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QueryItems>("items");

    const auto item = [](const char *k, const QString &v) { return qMakePair(QString::fromUtf8(k), v); };

    QTest::newRow("empty") << QByteArray() << QueryItems();
    QTest::newRow("empty values keep their keys")
        << QByteArray("username=&passw=&action=login")
        << QueryItems{item("username", QString()), item("passw", QString()), item("action", "login")};
    QTest::newRow("blank and ampersand decoded")
        << QByteArray("uptime=09.12.2026%207:30:00&u=a%26b%3Dc")
        << QueryItems{item("uptime", "09.12.2026 7:30:00"), item("u", "a&b=c")};
    QTest::newRow("plus is literal") << QByteArray("p=1+2%2B3") << QueryItems{item("p", "1+2+3")};
    QTest::newRow("UTF-8") << QByteArray("u=%D0%BF%D0%B0%D1%80%D0%BE%D0%BB%D1%8C")
                           << QueryItems{item("u", QStringLiteral("пароль"))};
    QTest::newRow("lowercase hex") << QByteArray("u=%d0%bf") << QueryItems{item("u", QStringLiteral("п"))};
    QTest::newRow("stray percent kept")
        << QByteArray("u=100%&v=%zz") << QueryItems{item("u", "100%"), item("v", "%zz")};
    QTest::newRow("cut escapes kept")
        << QByteArray("u=%4&v=%&w=a%41") << QueryItems{item("u", "%4"), item("v", "%"), item("w", "aA")};
    QTest::newRow("key without value")
        << QByteArray("flag&a=1") << QueryItems{item("flag", QString()), item("a", "1")};
    QTest::newRow("empty items skipped") << QByteArray("&&a=1&") << QueryItems{item("a", "1")};
    QTest::newRow("only the first = splits") << QByteArray("a=b=c") << QueryItems{item("a", "b=c")};
    QTest::newRow("invalid UTF-8 becomes replacement")
        << QByteArray("u=%FF") << QueryItems{item("u", QString(QChar(QChar::ReplacementCharacter)))};
}

void TestServicePages::parseQuery()
{
    QFETCH(QByteArray, raw);
    QFETCH(QueryItems, items);
    QCOMPARE(ServicePages::parseQuery(raw), items);
}

void TestServicePages::htmlEscape_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("escaped");

    QTest::newRow("plain") << QStringLiteral("09.12.2026 7:30:00") << QStringLiteral("09.12.2026 7:30:00");
    QTest::newRow("markup") << QStringLiteral("<script>a&&b</script>")
                            << QStringLiteral("&lt;script&gt;a&amp;&amp;b&lt;/script&gt;");
    QTest::newRow("both quotes") << QStringLiteral("\"x' onload='y")
                                 << QStringLiteral("&quot;x&#39; onload=&#39;y");
    QTest::newRow("entity stays text") << QStringLiteral("&amp;") << QStringLiteral("&amp;amp;");
    QTest::newRow("Cyrillic untouched") << QStringLiteral("Будильник") << QStringLiteral("Будильник");
}

void TestServicePages::htmlEscape()
{
    QFETCH(QString, text);
    QFETCH(QString, escaped);
    QCOMPARE(ServicePages::htmlEscape(text), escaped);
}

void TestServicePages::fillTemplate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("filled");

    QTest::newRow("one name") << QStringLiteral("<p>{{A}}</p>") << QStringLiteral("<p>1</p>");
    QTest::newRow("repeated and adjacent")
        << QStringLiteral("{{A}}{{B_C}}{{A}}") << QStringLiteral("1{{A}}1");
    QTest::newRow("inserted text is not scanned again")
        << QStringLiteral("x{{B_C}}y") << QStringLiteral("x{{A}}y");
    QTest::newRow("unknown name is empty") << QStringLiteral("[{{NOPE}}]") << QStringLiteral("[]");
    QTest::newRow("script braces stay")
        << QStringLiteral("f({{a:1}}); {{ }}") << QStringLiteral("f({{a:1}}); {{ }}");
    QTest::newRow("brace run before a name") << QStringLiteral("{{{A}}") << QStringLiteral("{1");
    QTest::newRow("unterminated") << QStringLiteral("a {{A") << QStringLiteral("a {{A");
    QTest::newRow("no placeholders") << QStringLiteral("plain") << QStringLiteral("plain");
}

void TestServicePages::fillTemplate()
{
    QFETCH(QString, text);
    QFETCH(QString, filled);
    const QHash<QString, QString> values{{QStringLiteral("A"), QStringLiteral("1")},
                                         {QStringLiteral("B_C"), QStringLiteral("{{A}}")}};
    QCOMPARE(ServicePages::fillTemplate(text, values), filled);
}

void TestServicePages::arguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<QStringList>("failures"); // "path status"
    QTest::addColumn<bool>("refuse");
    QTest::addColumn<QString>("log");

    const int run = int(ArgumentsResult::Run);
    const int error = int(ArgumentsResult::Error);
    const QString local = QStringLiteral("127.0.0.1");

    QTest::newRow("defaults") << QStringList() << run << local << 8470 << QStringList() << false << QString();
    QTest::newRow("the run script's flags") << QStringList{"--address", "127.0.0.1", "--port", "8471"} << run
                                            << local << 8471 << QStringList() << false << QString();
    QTest::newRow("port 0 picks one")
        << QStringList{"--port=0"} << run << local << 0 << QStringList() << false << QString();
    QTest::newRow("IPv6 any") << QStringList{"--address", "::"} << run << "::" << 8470 << QStringList()
                              << false << QString();
    QTest::newRow("localhost means the loopback") << QStringList{"--address", "localhost"} << run << local
                                                  << 8470 << QStringList() << false << QString();
    QTest::newRow("everything") << QStringList{"--fail",    "/clock/default/=404",
                                               "--fail",    "/redirector/=503",
                                               "--refuse",  "--log",
                                               "/tmp/r.log"}
                                << run << local << 8470
                                << QStringList{"/clock/default/ 404", "/redirector/ 503"} << true
                                << "/tmp/r.log";
    QTest::newRow("path holding =") << QStringList{"--fail", "/a=b=500"} << run << local << 8470
                                    << QStringList{"/a=b 500"} << false << QString();
    QTest::newRow("host name is not an address") << QStringList{"--address", "example.org"} << error
                                                 << QString() << 0 << QStringList() << false << QString();
    QTest::newRow("port too large") << QStringList{"--port", "65536"} << error << QString() << 0
                                    << QStringList() << false << QString();
    QTest::newRow("port not a number")
        << QStringList{"--port", "http"} << error << QString() << 0 << QStringList() << false << QString();
    QTest::newRow("negative port") << QStringList{"--port", "-1"} << error << QString() << 0 << QStringList()
                                   << false << QString();
    QTest::newRow("fail without status") << QStringList{"--fail", "/clock/default/"} << error << QString()
                                         << 0 << QStringList() << false << QString();
    QTest::newRow("fail path without slash") << QStringList{"--fail", "clock=404"} << error << QString() << 0
                                             << QStringList() << false << QString();
    QTest::newRow("fail with a success status")
        << QStringList{"--fail", "/x=200"} << error << QString() << 0 << QStringList() << false << QString();
    QTest::newRow("fail past 599") << QStringList{"--fail", "/x=600"} << error << QString() << 0
                                   << QStringList() << false << QString();
    QTest::newRow("log without file")
        << QStringList{"--log="} << error << QString() << 0 << QStringList() << false << QString();
    QTest::newRow("unknown option") << QStringList{"--verbose"} << error << QString() << 0 << QStringList()
                                    << false << QString();
    QTest::newRow("stray argument") << QStringList{"8470"} << error << QString() << 0 << QStringList()
                                    << false << QString();
    QTest::newRow("help") << QStringList{"--help"} << int(ArgumentsResult::Help) << QString() << 0
                          << QStringList() << false << QString();
}

void TestServicePages::arguments()
{
    QFETCH(QStringList, args);
    QFETCH(int, result);
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(QStringList, failures);
    QFETCH(bool, refuse);
    QFETCH(QString, log);

    ServiceOptions options;
    QString message;
    const ArgumentsResult got =
        parseServiceArguments(QStringList{QStringLiteral("ondavo-service")} + args, &options, &message);
    QCOMPARE(int(got), result);
    if (got != ArgumentsResult::Run) {
        QVERIFY(!message.isEmpty());
        return;
    }
    QCOMPARE(options.address, QHostAddress(address));
    QCOMPARE(int(options.port), port);
    QStringList gotFailures;
    for (const auto &[path, status] : options.failures)
        gotFailures.append(path + QLatin1Char(' ') + QString::number(status));
    QCOMPARE(gotFailures, failures);
    QCOMPARE(options.refuse, refuse);
    QCOMPARE(options.logFile, log);
}

QTEST_APPLESS_MAIN(TestServicePages)
#include "tst_servicepages.moc"
