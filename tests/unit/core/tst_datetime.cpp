#include "fakes/testclock.h"
#include "core/datetime.h"

#include <QtTest>

#include <cmath>
#include <limits>

class TestDateTime : public QObject
{
    Q_OBJECT
private slots:
    void fromQDateTime_data();
    void fromQDateTime();
    void roundTrip_data();
    void roundTrip();
    void testClockMoves();
    void outOfRangeIsDayZero();
    void encodeParts_data();
    void encodeParts();
};

void TestDateTime::encodeParts_data()
{
    QTest::addColumn<QList<int>>("parts"); // year, month, day, hour, minute, second, msec
    QTest::addColumn<QDateTime>("encoded"); // invalid: day 0, the encoding failed
    QTest::newRow("ordinary") << QList<int>{2026, 12, 24, 6, 45, 30, 5}
                              << QDateTime(QDate(2026, 12, 24), QTime(6, 45, 30, 5));
    QTest::newRow("leap day") << QList<int>{2028, 2, 29, 0, 0, 0, 0} << QDateTime(QDate(2028, 2, 29), QTime(0, 0));
    QTest::newRow("last moment") << QList<int>{9999, 12, 31, 23, 59, 59, 999}
                                 << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999));
    QTest::newRow("no leap day") << QList<int>{2027, 2, 29, 0, 0, 0, 0} << QDateTime();
    QTest::newRow("month 13") << QList<int>{2026, 13, 1, 0, 0, 0, 0} << QDateTime();
    QTest::newRow("day 0") << QList<int>{2026, 1, 0, 0, 0, 0, 0} << QDateTime();
    QTest::newRow("year 0") << QList<int>{0, 1, 1, 0, 0, 0, 0} << QDateTime();
    QTest::newRow("year 10000") << QList<int>{10000, 1, 1, 0, 0, 0, 0} << QDateTime();
    QTest::newRow("hour 24") << QList<int>{2026, 1, 1, 24, 0, 0, 0} << QDateTime();
    QTest::newRow("minute 60") << QList<int>{2026, 1, 1, 0, 60, 0, 0} << QDateTime();
    QTest::newRow("second -1") << QList<int>{2026, 1, 1, 0, 0, -1, 0} << QDateTime();
    QTest::newRow("msec 1000") << QList<int>{2026, 1, 1, 0, 0, 0, 1000} << QDateTime();
}

void TestDateTime::encodeParts()
{
    QFETCH(QList<int>, parts);
    QFETCH(QDateTime, encoded);
    const DateTime dt = DateTime::encode(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5], parts[6]);
    if (!encoded.isValid()) {
        QVERIFY(dt.isNull());
        return;
    }
    QCOMPARE(dt.toQDateTime(), encoded);
    // Wall-clock milliseconds: counted in UTC, where no day is longer than another.
    QCOMPARE(dt.toMSecs(), QDateTime(DateTime::epoch(), QTime(0, 0), Qt::UTC)
                               .msecsTo(QDateTime(encoded.date(), encoded.time(), Qt::UTC)));
}

void TestDateTime::outOfRangeIsDayZero()
{
    for (double v : {std::nan(""), std::numeric_limits<double>::infinity(), -1e300, 1e300}) {
        QCOMPARE(DateTime(v).date(), QDate(1899, 12, 30));
        QCOMPARE(DateTime(v).time(), QTime(0, 0));
    }
}

void TestDateTime::fromQDateTime_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<double>("days");

    QTest::newRow("epoch") << QDate(1899, 12, 30) << QTime(0, 0) << 0.0;
    QTest::newRow("epoch noon") << QDate(1899, 12, 30) << QTime(12, 0) << 0.5;
    QTest::newRow("first day of 1900") << QDate(1900, 1, 1) << QTime(0, 0) << 2.0;
    QTest::newRow("2000-01-01 06:00") << QDate(2000, 1, 1) << QTime(6, 0) << 36526.25;
    QTest::newRow("stored picker value") << QDate(2009, 3, 16) << QTime(23, 51, 6, 31)
                                         << 39888.0 + (23 * 3600000.0 + 51 * 60000 + 6031) / 86400000.0;
    QTest::newRow("day before epoch 06:00") << QDate(1899, 12, 29) << QTime(6, 0) << -1.25;
}

void TestDateTime::fromQDateTime()
{
    QFETCH(QDate, date);
    QFETCH(QTime, time);
    QFETCH(double, days);

    const DateTime dt = DateTime::fromDateTime(date, time);
    QCOMPARE(dt.days(), days);
    QCOMPARE(dt.date(), date);
    QCOMPARE(dt.time(), time);
}

void TestDateTime::roundTrip_data()
{
    QTest::addColumn<QDateTime>("value");
    QTest::newRow("millisecond before midnight") << QDateTime(QDate(2026, 12, 8), QTime(23, 59, 59, 999));
    QTest::newRow("one millisecond past midnight") << QDateTime(QDate(2026, 12, 8), QTime(0, 0, 0, 1));
    QTest::newRow("far future") << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999));
    QTest::newRow("leap day") << QDateTime(QDate(2024, 2, 29), QTime(13, 7, 3, 500));
}

void TestDateTime::roundTrip()
{
    QFETCH(QDateTime, value);
    const DateTime dt = DateTime::fromQDateTime(value);
    QCOMPARE(dt.toQDateTime(), value);
    QCOMPARE(dt.dateOnly().toQDateTime(), QDateTime(value.date(), QTime(0, 0)));
    QCOMPARE(dt.addDays(1).date(), value.date().addDays(1));
    QCOMPARE(dt.addDays(1).time(), value.time());
    QVERIFY(!dt.isNull());
    QVERIFY(DateTime().isNull());
}

void TestDateTime::testClockMoves()
{
    TestClock clock(QDateTime(QDate(2026, 12, 8), QTime(23, 59, 59)));
    clock.advanceMSecs(1000);
    QCOMPARE(clock.now(), QDateTime(QDate(2026, 12, 9), QTime(0, 0)));
    QCOMPARE(clock.today(), DateTime::fromDate(QDate(2026, 12, 9)));
    QCOMPARE(clock.nowDays(), DateTime::fromDate(QDate(2026, 12, 9)));
}

QTEST_APPLESS_MAIN(TestDateTime)
#include "tst_datetime.moc"
