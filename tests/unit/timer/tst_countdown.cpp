#include "timer/countdown.h"
#include "timer/tickschedule.h"

#include <QtTest>

namespace {
const QDateTime Base(QDate(2026, 12, 8), QTime(16, 30, 0));

DateTime at(qint64 msFromBase)
{
    return DateTime::fromQDateTime(Base.addMSecs(msFromBase));
}
} // namespace

class TestCountdown : public QObject
{
    Q_OBJECT
private slots:
    void formatSeconds_data();
    void formatSeconds();
    void secondsBothSidesOfTheMoment_data();
    void secondsBothSidesOfTheMoment();
    void resetRemark_data();
    void resetRemark();
    void nextTickDelay_data();
    void nextTickDelay();
    void ticksSeeEachSecondOnce_data();
    void ticksSeeEachSecondOnce();
};

void TestCountdown::formatSeconds_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");
    const qint64 day = 86400;
    QTest::newRow("0") << qint64(0) << "00:00:00";
    QTest::newRow("9 s") << qint64(9) << "00:00:09";
    QTest::newRow("60 s") << qint64(60) << "00:01:00";
    QTest::newRow("1:02:05") << qint64(3725) << "01:02:05";
    QTest::newRow("a second short of a day") << day - 1 << "23:59:59";
    QTest::newRow("1 day") << day << "1 день 00:00:00";
    QTest::newRow("2 days 3:04:05") << 2 * day + 3 * 3600 + 4 * 60 + 5 << "2 дня 03:04:05";
    QTest::newRow("4 days") << 4 * day << "4 дня 00:00:00";
    QTest::newRow("5 days") << 5 * day << "5 дней 00:00:00";
    QTest::newRow("11 days") << 11 * day << "11 дней 00:00:00";
    QTest::newRow("21 days") << 21 * day << "21 дней 00:00:00";
    QTest::newRow("22 days") << 22 * day + 59 << "22 дней 00:00:59";
    QTest::newRow("400 days") << 400 * day + 10 * 3600 << "400 дней 10:00:00";
    QTest::newRow("negative counts as none") << qint64(-5) << "00:00:00";
}

void TestCountdown::formatSeconds()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(Countdown::formatSeconds(seconds), text);
}

void TestCountdown::secondsBothSidesOfTheMoment_data()
{
    QTest::addColumn<qint64>("nowMs"); // from the moment; negative is before it
    QTest::addColumn<qint64>("left");  // the distance either way
    QTest::addColumn<qint64>("until"); // what is still to go
    QTest::newRow("45.5 s before") << qint64(-45500) << qint64(45) << qint64(45);
    QTest::newRow("exactly 45 s before") << qint64(-45000) << qint64(45) << qint64(45);
    QTest::newRow("44.999 s before") << qint64(-44999) << qint64(44) << qint64(44);
    QTest::newRow("exactly 60 s before") << qint64(-60000) << qint64(60) << qint64(60);
    QTest::newRow("exactly a day before") << qint64(-86400000) << qint64(86400) << qint64(86400);
    QTest::newRow("1 ms before") << qint64(-1) << qint64(0) << qint64(0);
    QTest::newRow("at the moment") << qint64(0) << qint64(0) << qint64(0);
    QTest::newRow("45.2 s late") << qint64(45200) << qint64(45) << qint64(0);
    QTest::newRow("an hour late") << qint64(3600000) << qint64(3600) << qint64(0);
}

void TestCountdown::secondsBothSidesOfTheMoment()
{
    QFETCH(qint64, nowMs);
    QFETCH(qint64, left);
    QFETCH(qint64, until);
    // Moments with odd milliseconds and over a year apart keep exact whole seconds.
    for (const qint64 shift : {qint64(0), qint64(123), qint64(400LL * 86400000 + 7)}) {
        const DateTime moment = at(shift);
        const DateTime now = at(shift + nowMs);
        QCOMPARE(Countdown::secondsLeft(now, moment), left);
        QCOMPARE(Countdown::secondsLeft(moment, now), left);
        QCOMPARE(Countdown::secondsUntil(now, moment), until);
    }
}

void TestCountdown::resetRemark_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("remark"); // null: the remark stays
    const QString stirlitz = "Остановлен за %1 сек до конца. Всё балуетесь, Штирлиц.";
    const QString welldone = "Вы молодец. Успели отключить таймер.";
    QTest::newRow("0") << qint64(0) << stirlitz.arg(0);
    QTest::newRow("1") << qint64(1) << "Остановлен за 1 сек до конца. На этот раз мир уцелел!";
    QTest::newRow("2") << qint64(2) << stirlitz.arg(2);
    QTest::newRow("5") << qint64(5) << stirlitz.arg(5);
    QTest::newRow("6") << qint64(6) << welldone;
    QTest::newRow("29") << qint64(29) << welldone;
    QTest::newRow("30") << qint64(30) << QString();
    QTest::newRow("a day") << qint64(86400) << QString();
}

void TestCountdown::resetRemark()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, remark);
    const std::optional<QString> r = Countdown::resetRemark(seconds);
    QCOMPARE(r.has_value(), !remark.isNull());
    if (r)
        QCOMPARE(*r, remark);
}

void TestCountdown::nextTickDelay_data()
{
    QTest::addColumn<qint64>("msLeft");
    QTest::addColumn<qint64>("delay");
    QTest::newRow("moment passed") << qint64(-2500) << qint64(0);
    QTest::newRow("at the moment") << qint64(0) << qint64(0);
    QTest::newRow("1 ms left") << qint64(1) << qint64(1);
    QTest::newRow("half a second left") << qint64(500) << qint64(500);
    QTest::newRow("just past a half") << qint64(501) << qint64(1);
    QTest::newRow("0.9 s left") << qint64(900) << qint64(400);
    QTest::newRow("on a half-second point") << qint64(1500) << qint64(1000);
    QTest::newRow("armed 10 s ahead") << qint64(10000) << qint64(500);
    QTest::newRow("armed 10.2 s ahead") << qint64(10200) << qint64(700);
    QTest::newRow("armed a day ahead") << qint64(86400123) << qint64(623);
}

void TestCountdown::nextTickDelay()
{
    QFETCH(qint64, msLeft);
    QFETCH(qint64, delay);
    QCOMPARE(TickSchedule::nextDelayMs(msLeft), delay);
}

void TestCountdown::ticksSeeEachSecondOnce_data()
{
    QTest::addColumn<qint64>("armedMsAhead");
    QTest::addColumn<int>("jitterMs"); // every tick comes this much late
    QTest::newRow("armed 60 s ahead, on time") << qint64(60000) << 0;
    QTest::newRow("armed 60.7 s ahead, 20 ms late") << qint64(60700) << 20;
    QTest::newRow("armed 47.3 s ahead, 450 ms late") << qint64(47300) << 450;
}

// Follows the schedule tick by tick: every whole second from the first to 0 is seen exactly
// once, and the last tick comes at the moment (plus its own lateness).
void TestCountdown::ticksSeeEachSecondOnce()
{
    QFETCH(qint64, armedMsAhead);
    QFETCH(int, jitterMs);
    qint64 left = armedMsAhead;
    QList<qint64> seen;
    for (int guard = 0; guard < 1000 && left > 0; ++guard) {
        left -= TickSchedule::nextDelayMs(left) + jitterMs;
        if (left > 0)
            seen << left / 1000;
    }
    QVERIFY(left <= 0);
    QCOMPARE(-left, qint64(jitterMs));
    for (int i = 1; i < seen.size(); ++i)
        QCOMPARE(seen[i], seen[i - 1] - 1);
    QCOMPARE(seen.last(), qint64(0));
    QVERIFY(seen.contains(Countdown::BalloonSeconds));
}

QTEST_APPLESS_MAIN(TestCountdown)
#include "tst_countdown.moc"
