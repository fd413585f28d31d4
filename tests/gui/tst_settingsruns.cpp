#include "windowfixture.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSettings>
#include <QTimeEdit>
#include <QtTest>

namespace {
// Runs the program's window once: create, close through the logoff page, return the identity used.
struct RunResult
{
    QUrl login;
    QString userName;
    QString passw;
};

RunResult runOnce(WindowFixture &fx)
{
    TOndavoForm1 *w = fx.create();
    RunResult r{fx.radio()->navigations.value(0), w->state().UserName, w->state().Passw};
    w->close();
    fx.radio()->complete(fx.radio()->lastUrl());
    fx.window.reset();
    fx.panes.panes.clear();
    return r;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}
} // namespace

class TestSettingsRuns : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    void firstSecondThirdRun();
    void folderThatCannotBeCreated();
    void loadedValues_data();
    void loadedValues();
    void wakeUpTimeRoundTrips();
    void saveKeepsTheRestOfTheFile();
    void readOnlyFileIsNotReplaced();
};

void TestSettingsRuns::firstSecondThirdRun()
{
    WindowFixture fx;
    QVERIFY(!QFile::exists(fx.settingsPath()));

    const RunResult first = runOnce(fx);
    QCOMPARE(first.login.toString(),
             QString("http://svc.test:8470/redirector/?username=&passw=&action=login&client=Ondavo3"));
    QByteArray file = readFile(fx.settingsPath());
    // The six keys in their order, with an empty identity; the wake-up moment was never set: day 0.
    QCOMPARE(file, QByteArray("[Settings]\nTimerCmd=\nUserName=\nPassw=\nLastActionId=0\nCloseOnExec=0\n"
                              "WakeUpDate=30.12.1899\n"));

    const RunResult second = runOnce(fx);
    QVERIFY(QRegularExpression("^onAnnm-\\d{4,12}$").match(second.userName).hasMatch());
    QVERIFY(QRegularExpression("^[0-8A-Ya-y]{8}$").match(second.passw).hasMatch());
    QCOMPARE(second.login.query(QUrl::FullyEncoded),
             QString("username=%1&passw=%2&action=login&client=Ondavo3").arg(second.userName, second.passw));

    const RunResult third = runOnce(fx);
    QCOMPARE(third.userName, second.userName);
    QCOMPARE(third.passw, second.passw);
}

void TestSettingsRuns::folderThatCannotBeCreated()
{
    // A regular file where a parent folder should be: even root cannot create the data folder.
    TestHome base;
    writeFile(base.path() + "/blocker", "x");
    WindowFixture fx(base.path() + "/blocker/config");
    for (int run = 0; run < 2; ++run) {
        TOndavoForm1 *w = fx.create();
        QVERIFY(w->state().SettingsFile.isEmpty());
        QVERIFY(w->state().UserName.isEmpty());
        QVERIFY(w->state().Passw.isEmpty());
        QVERIFY(fx.radio()->lastUrl().toString().contains("?username=&passw=&action=login"));
        QVERIFY(w->close() == false);
        fx.radio()->complete(fx.radio()->lastUrl());
        QVERIFY(!w->isVisible());
        fx.window.reset();
        fx.panes.panes.clear();
    }
    QCOMPARE(QFileInfo(base.path() + "/blocker").size(), 1);
}

void TestSettingsRuns::loadedValues_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("timerCmd");
    QTest::addColumn<int>("lastActionId");
    QTest::addColumn<bool>("closeOnExec");
    QTest::addColumn<QTime>("wakeUpTime"); // invalid: the moment of loading

    QTest::newRow("hex action, negative boolean")
        << QByteArray("[Settings]\nTimerCmd=xterm\nLastActionId=0x3\nCloseOnExec=-1\nWakeUpDate=01.02.2027 "
                      "07:15:00\n")
        << "xterm" << 3 << true << QTime(7, 15);
    QTest::newRow("words read as defaults")
        << QByteArray(
               "[settings]\ntimercmd = \"ls -l\" \nLastActionId=abc\nCloseOnExec=yes\nWakeUpDate=nonsense\n")
        << "ls -l" << 0 << false << QTime();
    QTest::newRow("no keys at all") << QByteArray("; nothing here\n") << "" << 0 << false << QTime();
    QTest::newRow("two as true, midnight")
        << QByteArray("[Settings]\nCloseOnExec=2\nWakeUpDate=05.05.2027\n") << "" << 0 << true << QTime(0, 0);
    QTest::newRow("long command cut") << QByteArray("[Settings]\nTimerCmd=" + QByteArray(3000, 'a') + "\n")
                                      << QString(2047, 'a') << 0 << false << QTime();
}

void TestSettingsRuns::loadedValues()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, timerCmd);
    QFETCH(int, lastActionId);
    QFETCH(bool, closeOnExec);
    QFETCH(QTime, wakeUpTime);

    WindowFixture fx;
    writeFile(fx.settingsPath(), content);
    TOndavoForm1 *w = fx.create();
    QCOMPARE(fx.find<QLineEdit>("TimerCommandEdit")->text(), timerCmd);
    QCOMPARE(w->state().LastActionId, lastActionId);
    QCOMPARE(fx.find<QCheckBox>("CloseMeOnExecChBox")->isChecked(), closeOnExec);
    const QTime expected = wakeUpTime.isValid() ? wakeUpTime : fx.clock.now().time();
    QCOMPARE(w->state().WakeUpTime.time(), expected);
    QCOMPARE(fx.find<QTimeEdit>("WakeUpTimePicker")->time(), expected);
    // Whatever was stored, the wake-up date offered is tomorrow.
    QCOMPARE(fx.find<QDateEdit>("WakeUpDatePicker")->date(), QDate(2026, 12, 9));
    // A file with no identity gets one.
    QVERIFY(!w->state().UserName.isEmpty());
    QVERIFY(!w->state().Passw.isEmpty());
}

void TestSettingsRuns::wakeUpTimeRoundTrips()
{
    WindowFixture fx;
    writeFile(fx.settingsPath(), "[Settings]\nUserName=u\nPassw=p\nWakeUpDate=24.12.2026 06:45:30\n");
    runOnce(fx);
    QVERIFY(readFile(fx.settingsPath()).contains("WakeUpDate=24.12.2026 06:45:30\n"));
    TOndavoForm1 *w = fx.create();
    QCOMPARE(w->state().WakeUpTime.toQDateTime(), QDateTime(QDate(2026, 12, 24), QTime(6, 45, 30)));
    QCOMPARE(w->state().UserName, QString("u"));
}

void TestSettingsRuns::saveKeepsTheRestOfTheFile()
{
    WindowFixture fx;
    writeFile(fx.settingsPath(), "; my notes\n[Other]\nKeep=1\n\n[SETTINGS]\nUserName=me\nExtra=yes\n");
    runOnce(fx);
    const QByteArray after = readFile(fx.settingsPath());
    QVERIFY2(after.startsWith("; my notes\n[Other]\nKeep=1\n\n[SETTINGS]\nUserName=me\nExtra=yes\n"), after);
    QVERIFY(after.contains("TimerCmd=\n"));
    QVERIFY(after.contains("Passw="));
}

void TestSettingsRuns::readOnlyFileIsNotReplaced()
{
    WindowFixture fx;
    const QByteArray original = "[Settings]\nUserName=keep\nPassw=me\n";
    writeFile(fx.settingsPath(), original);
    QFile::setPermissions(fx.settingsPath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    TOndavoForm1 *w = fx.create();
    QSignalSpy closed(w, &TOndavoForm1::closed);
    w->close();
    fx.radio()->complete(fx.radio()->lastUrl());
    QMessageBox *box = writeFailureBox();
    QVERIFY(box);
    QCOMPARE(box->text(), "Unable to write to " + fx.settingsPath());
    box->button(QMessageBox::Ok)->click();
    QCOMPARE(closed.count(), 1);
    QCOMPARE(readFile(fx.settingsPath()), original);
}

QTEST_MAIN(TestSettingsRuns)
#include "tst_settingsruns.moc"
