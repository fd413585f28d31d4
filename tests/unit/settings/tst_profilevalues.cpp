#include "settings/profilevalues.h"

#include <QtTest>

#include <limits>

class TestProfileValues : public QObject
{
    Q_OBJECT
private slots:
    void integer_data();
    void integer();
    void boolean_data();
    void boolean();
    void writtenTextReadsBack_data();
    void writtenTextReadsBack();
};

void TestProfileValues::integer_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");

    QTest::newRow("decimal") << "42" << true << 42;
    QTest::newRow("leading blanks") << " \t 42" << true << 42;
    QTest::newRow("plus") << "+7" << true << 7;
    QTest::newRow("minus") << "-1" << true << -1;
    QTest::newRow("leading zeros") << "000000000000000000001" << true << 1;
    QTest::newRow("0x3") << "0x3" << true << 3;
    QTest::newRow("0X1f") << "0X1f" << true << 31;
    QTest::newRow("$1F") << "$1F" << true << 31;
    QTest::newRow("x10") << "x10" << true << 16;
    QTest::newRow("X10") << "X10" << true << 16;
    QTest::newRow("signed hex") << "-0x10" << true << -16;
    QTest::newRow("max") << "2147483647" << true << std::numeric_limits<int>::max();
    QTest::newRow("min") << "-2147483648" << true << std::numeric_limits<int>::min();
    QTest::newRow("hex max") << "0x7FFFFFFF" << true << std::numeric_limits<int>::max();
    QTest::newRow("hex min") << "-0x80000000" << true << std::numeric_limits<int>::min();

    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("blanks only") << "  " << false << 0;
    QTest::newRow("word") << "abc" << false << 0;
    QTest::newRow("sign only") << "-" << false << 0;
    QTest::newRow("double sign") << "--1" << false << 0;
    QTest::newRow("blank after sign") << "- 1" << false << 0;
    QTest::newRow("prefix only") << "0x" << false << 0;
    QTest::newRow("dollar only") << "$" << false << 0;
    QTest::newRow("sign after prefix") << "0x-1" << false << 0;
    QTest::newRow("hex digit in decimal") << "1f" << false << 0;
    QTest::newRow("bad hex digit") << "0xg" << false << 0;
    QTest::newRow("trailing blank") << "42 " << false << 0;
    QTest::newRow("inner blank") << "4 2" << false << 0;
    QTest::newRow("fraction") << "1.5" << false << 0;
    QTest::newRow("exponent") << "1e3" << false << 0;
    QTest::newRow("non-ASCII digit") << QStringLiteral("\u0663") << false << 0;
    QTest::newRow("over max") << "2147483648" << false << 0;
    QTest::newRow("under min") << "-2147483649" << false << 0;
    QTest::newRow("0x80000000") << "0x80000000" << false << 0;
    QTest::newRow("0xFFFFFFFF") << "0xFFFFFFFF" << false << 0;
    QTest::newRow("huge") << "99999999999999999999999" << false << 0;
}

void TestProfileValues::integer()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);

    const std::optional<qint32> parsed = ProfileValues::parseInteger(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(*parsed, value);
    QCOMPARE(ProfileValues::readInteger(text, 77), valid ? value : 77);
}

void TestProfileValues::boolean_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("defaultValue");
    QTest::addColumn<bool>("expected");

    QTest::newRow("1") << "1" << false << true;
    QTest::newRow("0") << "0" << true << false;
    QTest::newRow("2") << "2" << false << true;
    QTest::newRow("-1") << "-1" << false << true;
    QTest::newRow("hex zero") << "0x0" << true << false;
    QTest::newRow("yes, default false") << "yes" << false << false;
    QTest::newRow("yes, default true") << "yes" << true << true;
    QTest::newRow("true, default false") << "true" << false << false;
    QTest::newRow("empty, default false") << "" << false << false;
    QTest::newRow("empty, default true") << "" << true << true;
}

void TestProfileValues::boolean()
{
    QFETCH(QString, text);
    QFETCH(bool, defaultValue);
    QFETCH(bool, expected);
    QCOMPARE(ProfileValues::readBoolean(text, defaultValue), expected);
}

void TestProfileValues::writtenTextReadsBack_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("none selected") << -1 << "-1";
    QTest::newRow("zero") << 0 << "0";
    QTest::newRow("action 4") << 4 << "4";
    QTest::newRow("max") << std::numeric_limits<int>::max() << "2147483647";
    QTest::newRow("min") << std::numeric_limits<int>::min() << "-2147483648";
}

void TestProfileValues::writtenTextReadsBack()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(ProfileValues::integerText(value), text);
    QCOMPARE(ProfileValues::readInteger(text, value == 0 ? 1 : 0), value);
    QCOMPARE(ProfileValues::readBoolean(ProfileValues::booleanText(value != 0), value == 0), value != 0);
}

QTEST_GUILESS_MAIN(TestProfileValues)
#include "tst_profilevalues.moc"
