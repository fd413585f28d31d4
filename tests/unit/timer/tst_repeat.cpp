// Which night a repeated alarm arms next, on the calendar's edges and the clock's.
#include "settings/profilevalues.h"
#include "timer/repeat.h"

#include <QtTest>

#include <ctime>

namespace {
DateTime at(int y, int m, int d, int h, int min)
{
    return DateTime::encode(y, m, d, h, min, 0, 0);
}
} // namespace

class TestRepeat : public QObject
{
    Q_OBJECT
private slots:
    // New York, with both changes of summer time in the table.
    void initTestCase()
    {
        m_zone = qgetenv("TZ");
        qputenv("TZ", "America/New_York");
        tzset();
    }
    void cleanupTestCase()
    {
        if (m_zone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", m_zone);
        tzset();
    }
    void next_data();
    void next();
    void daysText_data();
    void daysText();

private:
    QByteArray m_zone;
};

void TestRepeat::next_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<DateTime>("lastSleep");
    QTest::addColumn<DateTime>("lastWake");
    QTest::addColumn<QDateTime>("now");  // local wall clock; a second reading of a repeated hour by offset
    QTest::addColumn<DateTime>("sleep"); // the next night; a null wake-up: none
    QTest::addColumn<DateTime>("wake");
    // Tuesday 8 December 2026, 07:00, woken from 23:00 the evening before.
    const DateTime sleep = at(2026, 12, 7, 23, 0), wake = at(2026, 12, 8, 7, 0);
    const QDateTime justAfter = wake.toQDateTime().addSecs(1);
    const char *names[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
    for (int d = 0; d < 7; ++d) {
        // Monday is six days on; Tuesday itself a week on.
        const int ahead = (d + 7 - 1) % 7 == 0 ? 7 : (d + 7 - 1) % 7;
        QTest::newRow(names[d]) << (1 << d) << sleep << wake << justAfter << sleep.addDays(ahead)
                                << wake.addDays(ahead);
    }
    QTest::newRow("every day") << int(Repeat::AllDays) << sleep << wake << justAfter << sleep.addDays(1)
                               << wake.addDays(1);
    QTest::newRow("no day") << 0 << sleep << wake << justAfter << DateTime() << DateTime();
    QTest::newRow("weekdays, on a Friday") << 0x1f << at(2026, 12, 10, 23, 0) << at(2026, 12, 11, 7, 0)
                                           << QDateTime(QDate(2026, 12, 11), QTime(7, 0, 1))
                                           << at(2026, 12, 13, 23, 0) << at(2026, 12, 14, 7, 0);
    QTest::newRow("month's end") << int(Repeat::AllDays) << at(2026, 11, 29, 22, 30)
                                 << at(2026, 11, 30, 6, 15) << QDateTime(QDate(2026, 11, 30), QTime(6, 16))
                                 << at(2026, 11, 30, 22, 30) << at(2026, 12, 1, 6, 15);
    QTest::newRow("year's end") << int(Repeat::AllDays) << at(2026, 12, 31, 0, 30) << at(2026, 12, 31, 8, 0)
                                << QDateTime(QDate(2026, 12, 31), QTime(9, 0)) << at(2027, 1, 1, 0, 30)
                                << at(2027, 1, 1, 8, 0);
    // 8 March 2026 has no 02:00-03:00, 1 November 2026 has 01:00-02:00 twice. The times of day
    // stay, whatever the night's length.
    QTest::newRow("spring forward") << int(Repeat::AllDays) << at(2026, 3, 6, 23, 0) << at(2026, 3, 7, 7, 0)
                                    << QDateTime(QDate(2026, 3, 7), QTime(7, 1)) << at(2026, 3, 7, 23, 0)
                                    << at(2026, 3, 8, 7, 0);
    QTest::newRow("fall back, in the repeated hour")
        << int(Repeat::AllDays) << at(2026, 10, 30, 23, 0) << at(2026, 10, 31, 1, 30)
        << QDateTime(QDate(2026, 10, 31), QTime(1, 31)) << at(2026, 10, 31, 23, 0) << at(2026, 11, 1, 1, 30);
    QTest::newRow("fall back: the second 01:30 is the same night")
        << int(Repeat::AllDays) << at(2026, 10, 31, 23, 0) << at(2026, 11, 1, 1, 30)
        << QDateTime(QDate(2026, 11, 1), QTime(1, 30, 30), Qt::OffsetFromUTC, -5 * 3600)
        << at(2026, 11, 1, 23, 0) << at(2026, 11, 2, 1, 30);
    // The clock is set back over the wake-up that just rang: not that night again.
    QTest::newRow("clock set back") << int(Repeat::AllDays) << sleep << wake
                                    << wake.toQDateTime().addSecs(-1800) << sleep.addDays(1)
                                    << wake.addDays(1);
    // Off for four nights: those are gone, the next one is the one ahead.
    QTest::newRow("nights slept through")
        << int(Repeat::AllDays) << sleep << wake << QDateTime(QDate(2026, 12, 12), QTime(12, 0))
        << sleep.addDays(5) << wake.addDays(5);
}

void TestRepeat::next()
{
    QFETCH(int, days);
    QFETCH(DateTime, lastSleep);
    QFETCH(DateTime, lastWake);
    QFETCH(QDateTime, now);
    QFETCH(DateTime, sleep);
    QFETCH(DateTime, wake);
    const auto night = Repeat::next(Repeat::Days(days), {lastSleep, lastWake}, now.toMSecsSinceEpoch());
    QCOMPARE(night.has_value(), !wake.isNull());
    if (night) {
        QCOMPARE(night->wakeUp.toQDateTime(), wake.toQDateTime());
        QCOMPARE(night->sleepAt.toQDateTime(), sleep.toQDateTime());
    }
}

void TestRepeat::daysText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("days");
    QTest::addColumn<QString>("written"); // what the days write back
    QTest::newRow("weekdays") << "1,2,3,4,5" << 0x1f << "1,2,3,4,5";
    QTest::newRow("blanks and order") << " 7, 1 " << 0x41 << "1,7";
    QTest::newRow("nothing") << "" << 0 << "";
    QTest::newRow("a day out of the week") << "1,8" << 0 << "";
    QTest::newRow("words") << "пн,вт" << 0 << "";
    QTest::newRow("a trailing comma") << "1," << 0 << "";
}

void TestRepeat::daysText()
{
    QFETCH(QString, text);
    QFETCH(int, days);
    QFETCH(QString, written);
    QCOMPARE(int(ProfileValues::parseDays(text)), days);
    QCOMPARE(ProfileValues::daysText(quint8(days)), written);
}

QTEST_GUILESS_MAIN(TestRepeat)
#include "tst_repeat.moc"
