// The timer's command action with the real platform layer: real programs, started detached and
// without a shell, leave their mark on disk.
#include "app/ondavoform1.h"
#include "fakes/fakepane.h"
#include "fakes/testclock.h"
#include "fakes/testhome.h"
#include "platform/platform.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QtTest>

class TestRunCommand : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void commandRuns_data();
    void commandRuns();

private:
    QTemporaryDir m_dir;
};

void TestRunCommand::initTestCase()
{
    // No system or session bus here: the idle lock must not reach the real machine's logind.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/ondavo-test-bus");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/ondavo-test-bus");
    QVERIFY(m_dir.isValid());
    // Writes its arguments, one a line, to the file named by its first argument.
    QFile tool(m_dir.filePath("write marker"));
    QVERIFY(tool.open(QIODevice::WriteOnly));
    tool.write("#!/bin/sh\nout=$1; shift\nprintf '%s\\n' \"$@\" > \"$out\"\n");
    tool.close();
    QVERIFY(tool.setPermissions(tool.permissions() | QFile::ExeOwner));
}

void TestRunCommand::commandRuns_data()
{
    const QString tool = '"' + m_dir.filePath("write marker") + '"';
    const QString marker = m_dir.filePath("marker %1");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("marker");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("program with a blank, arguments with blanks")
        << QString("  %1 \"%2\" \"Пора вставать\" second\t").arg(tool, marker.arg(1)) << marker.arg(1)
        << QByteArray("Пора вставать\nsecond\n");
    QTest::newRow("program found on the path")
        << QString("sh -c \"echo ran > '%1'\"").arg(marker.arg(2)) << marker.arg(2) << QByteArray("ran\n");
    QTest::newRow("no shell: its signs are plain arguments")
        << QString("%1 \"%2\" $HOME ; rm").arg(tool, marker.arg(3)) << marker.arg(3)
        << QByteArray("$HOME\n;\nrm\n");
}

void TestRunCommand::commandRuns()
{
    QFETCH(QString, command);
    QFETCH(QString, marker);
    QFETCH(QByteArray, content);

    TestHome home;
    TestClock clock(QDateTime(QDate(2026, 12, 8), QTime(16, 30, 0)));
    const std::unique_ptr<Platform> platform = createSystemPlatform();
    FakePaneFactory panes;
    Environment env;
    env.clock = &clock;
    env.platform = platform.get();
    env.paneFactory = panes.factory();
    env.endpoints = {"svc.test:8470", "partner.test:8471", "http://site.test"};
    TOndavoForm1 window(env);
    window.findChild<QTabWidget *>("PageControl1")->setCurrentIndex(2);
    window.findChild<QLineEdit *>("TimerCommandEdit")->setText(command);
    window.findChild<QComboBox *>("TimerActionComboBox")->setCurrentIndex(3);
    const QDateTime moment = clock.now().addSecs(5);
    window.findChild<QDateEdit *>("TimerDatePicker")->setDate(moment.date());
    window.findChild<QTimeEdit *>("TimerTimePicker")->setTime(moment.time());
    window.findChild<QPushButton *>("TimerSetBtn")->click();

    clock.set(moment);
    window.timer()->tick();
    const auto written = [&marker] {
        QFile f(marker);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    QTRY_COMPARE(written(), content);
}

QTEST_MAIN(TestRunCommand)
#include "tst_runcommand.moc"
