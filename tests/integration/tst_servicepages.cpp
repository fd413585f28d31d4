// The service's pages and arguments, driven in-process without a socket.

#include "buildconfig.h"
#include "serviceoptions.h"
#include "servicepages.h"
#include "signalwav.h"

#include <QRegularExpression>
#include <QtEndian>
#include <QtTest>

using QueryItems = QList<QPair<QString, QString>>;

namespace {

QString titleOf(const QByteArray &body)
{
    static const QRegularExpression title(QStringLiteral("<title>(.*)</title>"));
    return title.match(QString::fromUtf8(body)).captured(1);
}

// The station a station page starts by itself; null when the page has no such field.
QString wakeStationOf(const QByteArray &body)
{
    static const QRegularExpression wake(QStringLiteral("data-wake=\"([^\"]*)\""));
    return wake.match(QString::fromUtf8(body)).captured(1);
}

template <typename T> T readLittle(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<T>(bytes.constData() + at);
}

} // namespace

class TestServicePages : public QObject
{
    Q_OBJECT
private slots:
    void respond_data();
    void respond();
    void failuresOverrideEveryMethodAndQuery();
    void wakeUp_data();
    void wakeUp();
    void ownResponses_data();
    void ownResponses();
    void listenerMemory_data();
    void listenerMemory();
    void bindingsAreKept();
    void signalWav_data();
    void signalWav();
    void parseQuery_data();
    void parseQuery();
    void htmlEscape_data();
    void htmlEscape();
    void fillTemplate_data();
    void fillTemplate();
    void arguments_data();
    void arguments();
    void stateArgument();
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
                                // no address: the same page is the local clock, with no network
                                << QStringList{QStringLiteral("http:"), QStringLiteral("https:")};
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
    QTest::newRow("HEAD is answered as GET")
        << QByteArray("HEAD") << "/clock/default/" << QByteArray() << 200 << QStringLiteral("Ондаво — часы")
        << QStringList{QStringLiteral("id=\"time\"")} << QStringList();

    // The program's site, as the about page links it; the version is the one the program reports.
    const QString version = QStringLiteral("Версия ") + QLatin1String(ONDAVO_VERSION);
    const QString home = QStringLiteral("Ондаво — радио и часы в трее");
    const QString download = QStringLiteral("Ондаво — скачать и установить");
    const QStringList noScript{QStringLiteral("<script")};
    QTest::newRow("site home page")
        << QByteArray("GET") << "/index.php" << QByteArray("action=ondavo") << 200 << home
        << QStringList{version, QStringLiteral("системном трее"), QStringLiteral("Будильник"),
                       QStringLiteral("Программируемый таймер"),
                       QStringLiteral("href=\"/index.php?action=ondavo&amp;subact=download\"")}
        << noScript;
    QTest::newRow("site download page")
        << QByteArray("GET") << "/index.php" << QByteArray("action=ondavo&subact=download") << 200 << download
        << QStringList{version, QStringLiteral("<pre>scripts/run.sh</pre>"),
                       QStringLiteral("<pre>scripts/test.sh</pre>"),
                       QStringLiteral("<pre>cmake -S . -B build &amp;&amp; cmake --build build &amp;&amp; "
                                      "cmake --install build --prefix /usr/local</pre>"),
                       QStringLiteral("href=\"/index.php?action=ondavo\"")}
        << noScript;
    QTest::newRow("site, items in another order")
        << QByteArray("GET") << "/index.php" << QByteArray("subact=download&x=1&action=ondavo") << 200
        << download << QStringList{version} << QStringList();
    QTest::newRow("site home page by HEAD")
        << QByteArray("HEAD") << "/index.php" << QByteArray("action=ondavo") << 200 << home
        << QStringList{version} << QStringList();
    QTest::newRow("site of another program")
        << QByteArray("GET") << "/index.php" << QByteArray("action=other&subact=download") << 404
        << QStringLiteral("Ошибка 404") << QStringList() << QStringList();
    QTest::newRow("site without action") << QByteArray("GET") << "/index.php" << QByteArray() << 404
                                         << QStringLiteral("Ошибка 404") << QStringList() << QStringList();
    QTest::newRow("site, unknown section")
        << QByteArray("GET") << "/index.php" << QByteArray("action=ondavo&subact=forum") << 404
        << QStringLiteral("Ошибка 404") << QStringList() << QStringList();
    QTest::newRow("site by POST") << QByteArray("POST") << "/index.php" << QByteArray("action=ondavo") << 405
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
    QByteArray allow;
    for (const auto &[name, value] : r.headers) {
        if (name == "Content-Security-Policy") {
            hasPolicy = true;
            QVERIFY(value.startsWith("default-src 'none'"));
        } else if (name == "Allow") {
            allow = value;
        }
    }
    QVERIFY(hasPolicy);
    QCOMPARE(allow, status == 405 ? QByteArray("GET, HEAD") : QByteArray());
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

void TestServicePages::wakeUp_data()
{
    QTest::addColumn<QStringList>("requests"); // "status [HEAD] target"; the last one is a login
    QTest::addColumn<QString>("wake");

    // Users are given as they appear in a query, so the rows also show which spellings are one user.
    const auto played = [](const char *user, const char *station, int status = 204) {
        return QStringLiteral("%1 /played?username=%2&passw=p&station=%3").arg(status).arg(user, station);
    };
    const auto sleep = [](const char *user) {
        return QStringLiteral("200 /redirector/?username=%1&passw=p&action=sleep&client=Ondavo3&uptime=7:30")
            .arg(user);
    };
    const auto login = [](const char *user) {
        return QStringLiteral("200 /redirector/?username=%1&passw=p&action=login&client=Ondavo3").arg(user);
    };

    // The service's clock is UTC; it reads a wake-up time as the westernmost zone's.
    const auto sleepOn = [](int status, const QDate &day) {
        return QStringLiteral("%1 /redirector/?username=u&passw=p&action=sleep&uptime=%2%207:30")
            .arg(status)
            .arg(day.toString(QStringLiteral("dd.MM.yyyy")));
    };
    const QDate today = QDateTime::currentDateTimeUtc().date();
    QTest::newRow("a wake-up a week ahead")
        << QStringList{sleepOn(200, today.addDays(7)), login("u")} << "signal";
    QTest::newRow("a wake-up nine days ahead is refused")
        << QStringList{sleepOn(400, today.addDays(9)), login("u")} << "";
    QTest::newRow("a HEAD changes nothing")
        << QStringList{played("ann", "fip"), sleep("ann"), played("ann", "kexp").replace(" /", " HEAD /"),
                       login("ann").replace("200 /", "200 HEAD /"), login("ann")}
        << "fip";
    QTest::newRow("logoff during the sleep ends it quietly")
        << QStringList{played("ann", "fip"), sleep("ann"),
                       "200 /redirector/?username=ann&passw=p&action=logoff", login("ann")}
        << "";
    QTest::newRow("sleep then login wakes with the last station")
        << QStringList{played("u", "fip"), sleep("u"), login("u")} << "fip";
    QTest::newRow("login of a stranger is quiet") << QStringList{login("u")} << "";
    // A login into an unfinished session (a station played, then neither a logoff nor a sleep) is
    // the program coming back after a lost network: the station starts again, as often as it comes.
    const QString logoff = QStringLiteral("200 /redirector/?username=u&passw=p&action=logoff");
    QTest::newRow("played, then a login resumes the station")
        << QStringList{played("u", "fip"), login("u")} << "fip";
    QTest::newRow("every reconnect resumes")
        << QStringList{played("u", "fip"), played("u", "stream"), login("u"), login("u")} << "stream";
    QTest::newRow("a logoff ends the session") << QStringList{played("u", "fip"), logoff, login("u")} << "";
    QTest::newRow("a station played after the logoff starts another")
        << QStringList{played("u", "fip"), logoff, played("u", "kexp"), login("u")} << "kexp";
    QTest::newRow("a refused logoff does not end it")
        << QStringList{played("u", "fip"), "403 /redirector/?username=u&passw=q&action=logoff", login("u")}
        << "fip";
    QTest::newRow("the guest's session is everybody's: never resumed")
        << QStringList{played("", "fip"), login("")} << "";
    QTest::newRow("another user's session") << QStringList{played("a", "fip"), login("b")} << "";
    QTest::newRow("played during the sleep: the session goes on after the wake-up")
        << QStringList{played("u", "fip"), sleep("u"), played("u", "kexp"), login("u"), login("u")} << "kexp";
    QTest::newRow("a second sleep ends what played during the first")
        << QStringList{sleep("u"), played("u", "kexp"), sleep("u"), login("u"), login("u")} << "";
    QTest::newRow("nothing played: the signal") << QStringList{sleep("u"), login("u")} << "signal";
    QTest::newRow("the latest station counts")
        << QStringList{played("u", "fip"), played("u", "kexp"), sleep("u"), login("u")} << "kexp";
    QTest::newRow("a station played during the sleep counts")
        << QStringList{played("u", "fip"), sleep("u"), played("u", "kexp"), login("u")} << "kexp";
    QTest::newRow("another user's sleep") << QStringList{played("a", "fip"), sleep("a"), login("b")} << "";
    QTest::newRow("the sleeper still wakes after another's login")
        << QStringList{played("a", "fip"), sleep("a"), login("b"), login("a")} << "fip";
    QTest::newRow("another user's station")
        << QStringList{played("b", "kexp"), sleep("a"), login("a")} << "signal";
    QTest::newRow("second login after the alarm")
        << QStringList{played("u", "fip"), sleep("u"), login("u"), login("u")} << "";
    QTest::newRow("two sleeps, one alarm")
        << QStringList{sleep("u"), sleep("u"), login("u"), login("u")} << "";
    QTest::newRow("a refused login does not end the sleep")
        << QStringList{sleep("u"), "400 /redirector/?username=u&action=login&action=login", login("u")}
        << "signal";
    QTest::newRow("unknown station refused, nothing changes")
        << QStringList{played("u", "fip"), played("u", "jazz", 400), sleep("u"), login("u")} << "fip";
    QTest::newRow("station ids are case-sensitive")
        << QStringList{played("u", "FIP", 400), sleep("u"), login("u")} << "signal";
    QTest::newRow("missing station refused")
        << QStringList{"400 /played?username=u", sleep("u"), login("u")} << "signal";
    QTest::newRow("ampersand belongs to the name")
        << QStringList{played("a%26b", "fip"), played("a", "kexp"), sleep("a%26b"), login("a%26b")} << "fip";
    QTest::newRow("percent, encoded or stray")
        << QStringList{played("100%25", "fip"), sleep("100%"), login("100%25")} << "fip";
    QTest::newRow("Cyrillic, either hex case")
        << QStringList{played("%D0%AF%D0%BD%D0%B0", "fip"), sleep("%d0%af%d0%bd%d0%b0"),
                       login("%D0%AF%D0%BD%D0%B0")}
        << "fip";
    QTest::newRow("Cyrillic names differ")
        << QStringList{played("%D0%AF", "fip"), sleep("%D0%AE"), login("%D0%AE")} << "signal";
    QTest::newRow("empty name is a user") << QStringList{played("", "kexp"), sleep(""), login("")} << "kexp";
    QTest::newRow("empty name's sleep is its own") << QStringList{sleep(""), login("guest")} << "";
    QTest::newRow("empty name binds no password")
        << QStringList{sleep(""), "200 /redirector/?username=&passw=other&action=login"} << "signal";
    const QString other = QStringLiteral("403 /redirector/?username=w&passw=q&action=");
    QTest::newRow("another password is refused and changes nothing")
        << QStringList{played("w", "fip"), sleep("w"),      "403 /played?username=w&passw=q&station=kexp",
                       other + "logoff",   other + "sleep", other + "login",
                       login("w")}
        << "fip";
    QTest::newRow("another password's sleep does not ring")
        << QStringList{played("w", "fip"), "200 /redirector/?username=w&passw=p&action=logoff",
                       other + "sleep", login("w")}
        << "";
    const QByteArray face = "%F0%9F%98%80"; // a character of a surrogate pair
    QTest::newRow("names and passwords over 64 characters refused")
        << QStringList{sleep(face.repeated(64)), "400 /played?station=fip&username=" + face.repeated(65),
                       "400 /redirector/?action=sleep&passw=" + QByteArray(65, 'p'), login(face.repeated(64))}
        << "signal";
}

void TestServicePages::wakeUp()
{
    QFETCH(QStringList, requests);
    QFETCH(QString, wake);

    ServicePages pages;
    PageResponse last;
    for (const QString &request : requests) {
        const bool head = request.section(QLatin1Char(' '), 1, 1) == QLatin1String("HEAD");
        const QString target = request.section(QLatin1Char(' '), head ? 2 : 1);
        last = pages.respond(head ? "HEAD" : "GET", target.section(QLatin1Char('?'), 0, 0),
                             target.section(QLatin1Char('?'), 1).toUtf8());
        QVERIFY2(QString::number(last.status) == request.section(QLatin1Char(' '), 0, 0),
                 qPrintable(request));
    }
    QCOMPARE(titleOf(last.body), QStringLiteral("Ондаво Радио — станции"));
    QCOMPARE(wakeStationOf(last.body), wake);
    // The page starts the station it finds among its buttons.
    if (!wake.isEmpty())
        QVERIFY(last.body.contains("data-id=\"" + wake.toUtf8() + "\""));
}

void TestServicePages::ownResponses_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("bodyStart");

    const QByteArray html = "text/html; charset=utf-8";
    QTest::newRow("played") << QByteArray("GET") << "/played" << QByteArray("username=u&station=signal")
                            << 204 << QByteArray() << QByteArray();
    QTest::newRow("played, unknown station") << QByteArray("GET") << "/played" << QByteArray("station=x")
                                             << 400 << html << QByteArray("<!doctype html>");
    QTest::newRow("played by POST") << QByteArray("POST") << "/played" << QByteArray("station=fip") << 405
                                    << html << QByteArray("<!doctype html>");
    QTest::newRow("played by HEAD") << QByteArray("HEAD") << "/played" << QByteArray("station=fip") << 204
                                    << QByteArray() << QByteArray();
    QTest::newRow("signal") << QByteArray("GET") << "/signal.wav" << QByteArray() << 200
                            << QByteArray("audio/wav") << QByteArray("RIFF");
    QTest::newRow("signal, any query") << QByteArray("GET") << "/signal.wav" << QByteArray("t=1") << 200
                                       << QByteArray("audio/wav") << QByteArray("RIFF");
    QTest::newRow("signal by POST") << QByteArray("POST") << "/signal.wav" << QByteArray() << 405 << html
                                    << QByteArray("<!doctype html>");
    QTest::newRow("stream") << QByteArray("GET") << "/stream.wav" << QByteArray() << 200
                            << QByteArray("audio/wav") << QByteArray("RIFF");
    QTest::newRow("stream by POST") << QByteArray("POST") << "/stream.wav" << QByteArray() << 405 << html
                                    << QByteArray("<!doctype html>");
}

void TestServicePages::ownResponses()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, query);
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, bodyStart);

    const PageResponse r = ServicePages().respond(method, path, query);
    QCOMPARE(r.status, status);
    QCOMPARE(r.contentType, contentType);
    QVERIFY(r.body.startsWith(bodyStart));
    QCOMPARE(r.body.isEmpty(), bodyStart.isEmpty());
}

void TestServicePages::listenerMemory_data()
{
    // "s user[=503]" sleeps for an hour (or is refused), "p user station" plays, "t user=wake" logs in and
    // expects wake: a station, empty for a sleep with nothing played, "-" for none; "+ N" adds N hours.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("size");

    QTest::newRow("the least recent goes past capacity")
        << QStringList{"p a fip", "p b fip", "p c fip", "p d fip", "s a", "s b", "t a=", "t b=fip"} << 3;
    QTest::newRow("playing keeps a listener")
        << QStringList{"p a fip", "p b fip", "p c fip", "p a fip", "p d fip", "s b", "t b="} << 3;
    QTest::newRow("a login keeps a listener")
        << QStringList{"p a fip", "p b fip", "p c fip", "t a=fip", "p d fip", "s b", "t b="} << 3;
    QTest::newRow("others' traffic never pushes a sleeper out")
        << QStringList{"p a fip", "s a", "p b fip", "p c fip", "p d fip", "p e fip", "t a=fip"} << 3;
    QTest::newRow("a full table refuses new sleepers, keeps the old")
        << QStringList{"s a", "s b", "s c=503", "s a", "t c=-", "t a=", "s c", "t b=", "t c="} << 3;
    QTest::newRow("a wake-up is forgotten a day after its time")
        << QStringList{"s a", "+ 24", "s b", "t a=", "s a", "+ 26", "t a=-", "t b=-"} << 2;
    QTest::newRow("one listener, many requests")
        << QStringList{"s a",      "p a fip", "s a",      "p a kexp", "t a=kexp",
                       "t a=kexp", "s a",     "t a=kexp", "t a=-"}
        << 1;
    QStringList many;
    for (int i = 0; i < 50; ++i)
        many << QStringLiteral("p u%1 fip").arg(i);
    // A listener pushed out forgets its session too.
    QTest::newRow("never past capacity")
        << (many + QStringList{"s u46", "t u46=", "t u47=-", "t u49=fip"}) << 3;
}

void TestServicePages::listenerMemory()
{
    QFETCH(QStringList, steps);
    QFETCH(int, size);

    ListenerMemory memory(3, 2);
    qint64 now = 0;
    for (const QString &step : steps) {
        const QStringList words = step.split(QLatin1Char(' '));
        const QString user = words.at(1).section(QLatin1Char('='), 0, 0);
        const QString result = words.at(1).section(QLatin1Char('='), 1);
        if (words.at(0) == QLatin1String("+")) {
            now += words.at(1).toLongLong() * 3600 * 1000;
        } else if (words.at(0) == QLatin1String("s")) {
            QCOMPARE(memory.refusal(user, QString(), true, now), result.toInt());
            if (result.isEmpty())
                QVERIFY(memory.slept(user, QString(), now + 3600 * 1000, now));
        } else if (words.at(0) == QLatin1String("p")) {
            QVERIFY(memory.played(user, QString(), words.at(2), now));
        } else {
            std::optional<QString> wake;
            QVERIFY(memory.loggedIn(user, QString(), now, &wake));
            QCOMPARE(wake ? *wake : QStringLiteral("-"), result);
        }
        QVERIFY(memory.size() <= 3);
    }
    QCOMPARE(int(memory.size()), size);
}

// Once the state has no room for another binding, new names are refused; bound ones, long gone from
// the recent listeners, keep their passwords.
void TestServicePages::bindingsAreKept()
{
    ListenerMemory memory(3, 2, QString(), 64 * 1024);
    const auto name = [](int i) { return QString(60, QLatin1Char('n')) + QString::number(i); };
    int bound = 0;
    while (bound < 5000 && memory.refusal(name(bound), QStringLiteral("p"), false, 0) == 0)
        QVERIFY(memory.played(name(bound++), QStringLiteral("p"), QStringLiteral("fip"), 0));
    QVERIFY2(bound > 100 && bound < 5000, qPrintable(QString::number(bound)));
    QCOMPARE(memory.refusal(name(bound), QStringLiteral("p"), true, 0), 503);
    QCOMPARE(memory.refusal(name(0), QStringLiteral("q"), false, 0), 403);
    QCOMPARE(memory.refusal(name(0), QStringLiteral("p"), true, 0), 0);
    QCOMPARE(memory.refusal(QString(), QStringLiteral("q"), true, 0), 0); // binds nothing, needs no room
}

void TestServicePages::signalWav_data()
{
    QTest::addColumn<int>("rate");
    QTest::newRow("8000 Hz") << 8000;
    QTest::newRow("22050 Hz") << 22050;
    QTest::newRow("44100 Hz") << 44100;
}

void TestServicePages::signalWav()
{
    QFETCH(int, rate);
    const QByteArray wav = ::signalWav(rate);

    QVERIFY(wav.size() > 44);
    QCOMPARE(wav.left(4), QByteArray("RIFF"));
    QCOMPARE(readLittle<quint32>(wav, 4), quint32(wav.size() - 8));
    QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
    QCOMPARE(readLittle<quint32>(wav, 16), 16u);        // format chunk size
    QCOMPARE(readLittle<quint16>(wav, 20), quint16(1)); // PCM
    QCOMPARE(readLittle<quint16>(wav, 22), quint16(1)); // mono
    QCOMPARE(readLittle<quint32>(wav, 24), quint32(rate));
    QCOMPARE(readLittle<quint32>(wav, 28), quint32(rate * 2)); // bytes per second
    QCOMPARE(readLittle<quint16>(wav, 32), quint16(2));        // bytes per frame
    QCOMPARE(readLittle<quint16>(wav, 34), quint16(16));       // bits
    QCOMPARE(wav.mid(36, 4), QByteArray("data"));
    const quint32 dataBytes = readLittle<quint32>(wav, 40);
    QCOMPARE(dataBytes, quint32(wav.size() - 44));
    QCOMPARE(dataBytes % 2, 0u);
    const double seconds = dataBytes / 2.0 / rate;
    QVERIFY2(seconds > 2 && seconds < 5, qPrintable(QString::number(seconds)));

    QList<int> samples;
    for (qsizetype at = 44; at < wav.size(); at += 2)
        samples.append(readLittle<qint16>(wav, at));
    const int peak = std::abs(*std::max_element(samples.cbegin(), samples.cend(),
                                                [](int a, int b) { return std::abs(a) < std::abs(b); }));
    // Loud enough to wake, far from clipping.
    QVERIFY2(peak > 32767 / 5 && peak < 32767 / 2, qPrintable(QString::number(peak)));

    // Beeps are sounding runs between silences of 10 ms or more; each is an 880 Hz tone.
    const int silence = rate / 100;
    QList<QPair<int, int>> beeps; // first sample, length
    int quiet = silence;
    for (int i = 0; i < samples.size(); ++i) {
        if (samples.at(i) == 0) {
            ++quiet;
            continue;
        }
        if (quiet >= silence)
            beeps.append({i, 0});
        beeps.last().second = i - beeps.last().first + 1;
        quiet = 0;
    }
    QCOMPARE(beeps.size(), 8);
    for (const auto &[first, length] : beeps) {
        QVERIFY2(length > rate / 20 && length < rate / 2, qPrintable(QString::number(length)));
        int rises = 0;
        for (int i = first + 1; i < first + length; ++i)
            rises += samples.at(i - 1) < 0 && samples.at(i) >= 0;
        const double hz = rises * double(rate) / length;
        QVERIFY2(hz > 860 && hz < 900, qPrintable(QString::number(hz)));
    }
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

// SQLite keeps a database named ":memory:" in no file at all.
void TestServicePages::stateArgument()
{
    ServiceOptions options;
    QString message;
    QCOMPARE(parseServiceArguments({QStringLiteral("ondavo-service"), QStringLiteral("--state=:memory:")},
                                   &options, &message),
             ArgumentsResult::Run);
    QCOMPARE(options.stateFile, QDir::currentPath() + QStringLiteral("/:memory:"));
}

// Qt SQL loads its SQLite driver as a plugin, which takes an application object.
QTEST_GUILESS_MAIN(TestServicePages)
#include "tst_servicepages.moc"
