#include "settings/localedatetime.h"

#include <QtTest>

class TestLocaleDateTime : public QObject
{
    Q_OBJECT
private slots:
    void patterns_data();
    void patterns();
    void roundTrip_data();
    void roundTrip();
    void parse_data();
    void parse();
    void typed_data();
    void typed();
};

void TestLocaleDateTime::patterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("widened");
    QTest::addColumn<QString>("withoutZone");

    QTest::newRow("en_US date") << "M/d/yy"
                                << "M/d/yyyy"
                                << "M/d/yy";
    QTest::newRow("four-digit year") << "dd.MM.yyyy"
                                     << "dd.MM.yyyy"
                                     << "dd.MM.yyyy";
    QTest::newRow("quoted yy") << "'yy' d.M.yy"
                               << "'yy' d.M.yyyy"
                               << "'yy' d.M.yy";
    QTest::newRow("three y") << "d.M.yyy"
                             << "d.M.yyy"
                             << "d.M.yyy";
    QTest::newRow("zone last") << "h:mm:ss AP t"
                               << "h:mm:ss AP t"
                               << "h:mm:ss AP";
    QTest::newRow("zone first") << "tttt HH:mm:ss"
                                << "tttt HH:mm:ss"
                                << "HH:mm:ss";
    QTest::newRow("zone in brackets") << "h:mm:ss (t) AP"
                                      << "h:mm:ss (t) AP"
                                      << "h:mm:ss AP";
    QTest::newRow("quoted t kept") << "HH 'at' mm t"
                                   << "HH 'at' mm t"
                                   << "HH 'at' mm";
    QTest::newRow("no zone") << "HH:mm:ss"
                             << "HH:mm:ss"
                             << "HH:mm:ss";
}

void TestLocaleDateTime::patterns()
{
    QFETCH(QString, pattern);
    QFETCH(QString, widened);
    QFETCH(QString, withoutZone);
    QCOMPARE(LocaleDateTime::widenTwoDigitYear(pattern), widened);
    QCOMPARE(LocaleDateTime::withoutTimeZone(pattern), withoutZone);
}

void TestLocaleDateTime::roundTrip_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("text");

    const QDate day(2026, 3, 16);
    const QDate epoch(1899, 12, 30);
    const QTime late(23, 51, 6, 31);
    const QTime morning(7, 5, 0);
    const QTime midnight(0, 0);
    const QTime halfSecond(0, 0, 0, 500);
    QTest::newRow("ru moment") << "ru_RU" << day << late << "16.03.2026 23:51:06";
    QTest::newRow("ru midnight") << "ru_RU" << day << midnight << "16.03.2026";
    QTest::newRow("ru day 0") << "ru_RU" << epoch << midnight << "30.12.1899";
    QTest::newRow("en moment") << "en_US" << day << late << "3/16/2026 11:51:06 PM";
    QTest::newRow("en morning") << "en_US" << day << morning << "3/16/2026 7:05:00 AM";
    QTest::newRow("en midnight") << "en_US" << day << midnight << "3/16/2026";
    QTest::newRow("en day 0") << "en_US" << epoch << midnight << "12/30/1899";
    QTest::newRow("de moment") << "de_DE" << day << late << "16.03.2026 23:51:06";
    QTest::newRow("de day 0") << "de_DE" << epoch << midnight << "30.12.1899";
    QTest::newRow("de half second") << "de_DE" << day << halfSecond << "16.03.2026";
    QTest::newRow("C moment") << "C" << day << late << "16 Mar 2026 23:51:06";
    QTest::newRow("C midnight") << "C" << day << midnight << "16 Mar 2026";
    QTest::newRow("C day 0") << "C" << epoch << midnight << "30 Dec 1899";
}

void TestLocaleDateTime::roundTrip()
{
    QFETCH(QString, locale);
    QFETCH(QDate, date);
    QFETCH(QTime, time);
    QFETCH(QString, text);

    const QLocale loc(locale);
    const QString written = LocaleDateTime::format(DateTime::fromDateTime(date, time), loc);
    QCOMPARE(written, text);

    const std::optional<DateTime> read = LocaleDateTime::parse(written, loc, 2026);
    QVERIFY(read.has_value());
    // Milliseconds are never written.
    QCOMPARE(read->toQDateTime(), QDateTime(date, QTime(time.hour(), time.minute(), time.second())));
    if (date == DateTime::epoch() && time == QTime(0, 0))
        QCOMPARE(read->days(), 0.0);
}

void TestLocaleDateTime::parse_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("pivotYear");
    QTest::addColumn<QDateTime>("expected"); // invalid: does not parse

    const QDateTime none;
    const QDateTime moment(QDate(2026, 3, 16), QTime(23, 51, 6));
    QTest::newRow("garbage") << "ru_RU"
                             << "abc" << 2026 << none;
    QTest::newRow("empty") << "ru_RU"
                           << "" << 2026 << none;
    QTest::newRow("time without date") << "ru_RU"
                                       << "23:51:06" << 2026 << none;
    QTest::newRow("31 February") << "ru_RU"
                                 << "31.02.2026" << 2026 << none;
    QTest::newRow("hour 25") << "ru_RU"
                             << "16.03.2026 25:00:00" << 2026 << none;
    QTest::newRow("trailing text") << "ru_RU"
                                   << "16.03.2026 23:51:06 x" << 2026 << none;
    QTest::newRow("glued text") << "ru_RU"
                                << "16.03.2026x" << 2026 << none;
    QTest::newRow("other locale's order") << "en_US"
                                          << "16.03.2026" << 2026 << none;
    QTest::newRow("time zone text") << "en_US"
                                    << "3/16/2026 11:51:06 PM UTC" << 2026 << none;
    QTest::newRow("surrounding blanks") << "ru_RU"
                                        << "  16.03.2026 23:51:06 " << 2026 << moment;
    QTest::newRow("short time") << "ru_RU"
                                << "16.03.2026 23:51" << 2026 << QDateTime(QDate(2026, 3, 16), QTime(23, 51));
    QTest::newRow("en short time") << "en_US"
                                   << "3/16/2026 11:51 PM" << 2026
                                   << QDateTime(QDate(2026, 3, 16), QTime(23, 51));
    QTest::newRow("C short time") << "C"
                                  << "16 Mar 2026 23:51:06" << 2026 << moment;

    // Two-digit years land in [pivot - 50, pivot + 49].
    QTest::newRow("yy this century") << "en_US"
                                     << "3/16/26 11:51:06 PM" << 2026 << moment;
    QTest::newRow("yy 99") << "en_US"
                           << "12/30/99" << 2026 << QDateTime(QDate(1999, 12, 30), QTime(0, 0));
    QTest::newRow("yy lowest") << "de_DE"
                               << "01.01.76" << 2026 << QDateTime(QDate(1976, 1, 1), QTime(0, 0));
    QTest::newRow("yy highest") << "de_DE"
                                << "31.12.75" << 2026 << QDateTime(QDate(2075, 12, 31), QTime(0, 0));
    QTest::newRow("yy other pivot") << "de_DE"
                                    << "01.01.29 10:00" << 2080 << QDateTime(QDate(2129, 1, 1), QTime(10, 0));
    QTest::newRow("yy leap day") << "en_US"
                                 << "2/29/24" << 2026 << QDateTime(QDate(2024, 2, 29), QTime(0, 0));
}

// What a person may type where the program writes padded fields and four-digit years.
void TestLocaleDateTime::typed_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected"); // invalid: does not parse

    const QDateTime none;
    const QDate eve(2026, 12, 24);
    const QDateTime morning(eve, QTime(6, 45, 30));
    const QDateTime evening(eve, QTime(18, 45, 30));
    QTest::newRow("ru one-digit hour") << "ru_RU"
                                       << "24.12.2026 6:45:30" << morning;
    QTest::newRow("ru one-digit day and month")
        << "ru_RU"
        << "1.2.2027 7:05" << QDateTime(QDate(2027, 2, 1), QTime(7, 5));
    QTest::newRow("ru two-digit year") << "ru_RU"
                                       << "24.12.26 06:45:30" << morning;
    QTest::newRow("ru two-digit year, date only") << "ru_RU"
                                                  << "16.03.26" << QDateTime(QDate(2026, 3, 16), QTime(0, 0));
    QTest::newRow("ru two-digit year, last century") << "ru_RU"
                                                     << "6.3.76" << QDateTime(QDate(1976, 3, 6), QTime(0, 0));
    QTest::newRow("ru one-digit seconds") << "ru_RU"
                                          << "24.12.2026 6:45:3" << QDateTime(eve, QTime(6, 45, 3));
    QTest::newRow("ru blanks doubled") << "ru_RU"
                                       << "24.12.2026   6:45:30" << morning;
    QTest::newRow("ru hour 24") << "ru_RU"
                                << "24.12.2026 24:00" << none;
    QTest::newRow("ru three-digit year") << "ru_RU"
                                         << "24.12.202" << none;
    QTest::newRow("ru day 32") << "ru_RU"
                               << "32.1.2026" << none;
    QTest::newRow("ru three-digit day") << "ru_RU"
                                        << "024.12.2026" << none;

    QTest::newRow("en PM") << "en_US"
                           << "12/24/2026 6:45:30 PM" << evening;
    QTest::newRow("en lower-case pm, short time") << "en_US"
                                                  << "12/24/26 6:45 pm" << QDateTime(eve, QTime(18, 45));
    QTest::newRow("en 24-hour") << "en_US"
                                << "12/24/2026 18:45:30" << evening;
    QTest::newRow("en 24-hour short") << "en_US"
                                      << "12/24/2026 18:45" << QDateTime(eve, QTime(18, 45));
    QTest::newRow("en one-digit seconds") << "en_US"
                                          << "12/24/2026 6:45:3 PM" << QDateTime(eve, QTime(18, 45, 3));
    QTest::newRow("en non-breaking blank")
        << "en_US" << QStringLiteral("12/24/2026 6:45:30\u202FPM") << evening;
    QTest::newRow("en 24-hour with PM") << "en_US"
                                        << "12/24/2026 18:45:30 PM" << none;
    QTest::newRow("en month 13") << "en_US"
                                 << "13/24/2026" << none;

    QTest::newRow("de one-digit everything") << "de_DE"
                                             << "1.2.27 7:5:0" << QDateTime(QDate(2027, 2, 1), QTime(7, 5));
    QTest::newRow("de 12-hour text") << "de_DE"
                                     << "24.12.2026 6:45:30 PM" << none;

    QTest::newRow("C one-digit hour")
        << "C"
        << "6 Mar 2026 6:45:30" << QDateTime(QDate(2026, 3, 6), QTime(6, 45, 30));
    QTest::newRow("C two-digit year") << "C"
                                      << "24 Dec 26" << QDateTime(eve, QTime(0, 0));
}

void TestLocaleDateTime::typed()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);

    const std::optional<DateTime> read = LocaleDateTime::parse(text, QLocale(locale), 2026);
    QCOMPARE(read.has_value(), expected.isValid());
    if (read)
        QCOMPARE(read->toQDateTime(), expected);
}

void TestLocaleDateTime::parse()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(int, pivotYear);
    QFETCH(QDateTime, expected);

    const std::optional<DateTime> read = LocaleDateTime::parse(text, QLocale(locale), pivotYear);
    QCOMPARE(read.has_value(), expected.isValid());
    if (read)
        QCOMPARE(read->toQDateTime(), expected);
}

QTEST_GUILESS_MAIN(TestLocaleDateTime)
#include "tst_localedatetime.moc"
