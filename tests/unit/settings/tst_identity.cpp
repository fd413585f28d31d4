#include "settings/identity.h"

#include <QRegularExpression>
#include <QSet>
#include <QtTest>

class TestIdentity : public QObject
{
    Q_OBJECT
private slots:
    void userName();
    void password();
};

void TestIdentity::userName()
{
    // The four numbers come in the order drawn.
    QRandomGenerator draws(7);
    QRandomGenerator rng(7);
    QString expected = QStringLiteral("onAnnm-");
    for (int i = 0; i < 4; ++i)
        expected += QString::number(draws.bounded(1000));
    QCOMPARE(Identity::makeAnonymousUserName(rng), expected);

    const QRegularExpression shape(QStringLiteral("^onAnnm-\\d{1,3}\\d{1,3}\\d{1,3}\\d{1,3}$"));
    int shortest = 100;
    int longest = 0;
    for (int i = 0; i < 5000; ++i) {
        const QString name = Identity::makeAnonymousUserName(rng);
        QVERIFY2(shape.match(name).hasMatch(), qPrintable(name));
        shortest = std::min<int>(shortest, name.size());
        longest = std::max<int>(longest, name.size());
    }
    QVERIFY(shortest >= 11);
    QCOMPARE(longest, 19);
}

void TestIdentity::password()
{
    const QString alphabet = QStringLiteral("012345678ABCDEFGHIJKLMNOPQRSTUVWXYabcdefghijklmnopqrstuvwxy");
    QCOMPARE(alphabet.size(), 59);

    QRandomGenerator rng(20260316);
    QSet<QChar> seen;
    for (int i = 0; i < 2000; ++i) {
        const QString password = Identity::makeRandomPassword(rng);
        QCOMPARE(password.size(), 8);
        for (const QChar c : password) {
            QVERIFY2(alphabet.contains(c), qPrintable(password));
            seen.insert(c);
        }
    }
    QCOMPARE(seen.size(), 59);
}

QTEST_GUILESS_MAIN(TestIdentity)
#include "tst_identity.moc"
