#include "service/requests.h"

#include <QtTest>

class TestRequests : public QObject
{
    Q_OBJECT
private slots:
    void addresses_data();
    void addresses();
};

void TestRequests::addresses_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QByteArray>("expected");

    const Endpoints ep{QStringLiteral("svc.example:8470"), QStringLiteral("partner.example"), QString()};
    const QByteArray base = "http://svc.example:8470/redirector/?username=";

    QTest::newRow("login, empty identity")
        << Requests::login(ep, QString(), QString()) << base + "&passw=&action=login&client=Ondavo3";
    QTest::newRow("login, generated identity") << Requests::login(ep, "onAnnm-5120739", "aB3xY0kq")
                                               << base + "onAnnm-5120739&passw=aB3xY0kq&action=login&client=Ondavo3";
    QTest::newRow("logoff has no client key")
        << Requests::logoff(ep, "onAnnm-1", "p") << base + "onAnnm-1&passw=p&action=logoff";
    QTest::newRow("sleep at midnight: the date alone")
        << Requests::sleep(ep, "u", "p", "09.12.2026")
        << base + "u&passw=p&action=sleep&client=Ondavo3&uptime=09.12.2026";
    QTest::newRow("sleep with a time: only the blank is encoded")
        << Requests::sleep(ep, "u", "p", "09.12.2026 7:30:00")
        << base + "u&passw=p&action=sleep&client=Ondavo3&uptime=09.12.2026%207:30:00";
    QTest::newRow("sleep with a US date")
        << Requests::sleep(ep, "u", "p", "12/9/2026 7:30:00 AM")
        << base + "u&passw=p&action=sleep&client=Ondavo3&uptime=12/9/2026%207:30:00%20AM";
    QTest::newRow("hostile user name cannot add keys")
        << Requests::login(ep, "a&action=logoff#x", "p")
        << base + "a%26action%3Dlogoff%23x&passw=p&action=login&client=Ondavo3";
    QTest::newRow("hostile password: plus, percent, blank, Cyrillic")
        << Requests::logoff(ep, "u", "1+2 %41пароль")
        << base + "u&passw=1%2B2%20%2541%D0%BF%D0%B0%D1%80%D0%BE%D0%BB%D1%8C&action=logoff";
    QTest::newRow("clock page") << Requests::clockPage(ep) << QByteArray("http://svc.example:8470/clock/default/");
    QTest::newRow("partner player")
        << Requests::partnerPlayer(ep) << QByteArray("http://partner.example/export/radio_player.html");
}

void TestRequests::addresses()
{
    QFETCH(QUrl, url);
    QFETCH(QByteArray, expected);
    QVERIFY2(url.isValid(), qPrintable(url.errorString()));
    QCOMPARE(url.toEncoded(), expected);
}

QTEST_APPLESS_MAIN(TestRequests)
#include "tst_requests.moc"
