#include "app/singleinstance.h"
#include "fakes/testhome.h"

#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>

class TestSingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void secondStartAsksFirstAndExits();
    void crashedInstanceLeavesNothingBlocking();
    void realProgramTwiceThenTerminated();

private:
    static QProcessEnvironment envFor(const TestHome &home)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home.config());
        env.insert("XDG_RUNTIME_DIR", home.runtime());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1"); // tests run as root in CI
        return env;
    }
};

void TestSingleInstance::secondStartAsksFirstAndExits()
{
    TestHome home;
    SingleInstance first;
    QVERIFY(first.tryBecomePrimary());
    QSignalSpy activated(&first, &SingleInstance::activationRequested);

    QProcess second;
    second.setProcessEnvironment(envFor(home));
    second.start(ONDAVO_BINARY, {});
    QVERIFY(second.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(activated.count(), 1, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 30000);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    // It created nothing of its own: no data folder, no settings.
    QVERIFY(!QFileInfo::exists(home.config() + "/Ondavo"));
}

void TestSingleInstance::crashedInstanceLeavesNothingBlocking()
{
    TestHome home;
    // What a killed instance leaves: a lock naming a process that is gone, and its socket file.
    QProcess dead;
    dead.start("sh", {"-c", "echo $$"});
    QVERIFY(dead.waitForFinished());
    const QByteArray deadPid = dead.readAllStandardOutput().trimmed();
    QVERIFY(!deadPid.isEmpty());
    {
        QFile lock(home.runtime() + "/ondavo.lock");
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(deadPid + "\n" + QCoreApplication::applicationName().toUtf8() + "\n" +
                   QSysInfo::machineHostName().toUtf8() + "\n");
        QFile socket(home.runtime() + "/ondavo.socket");
        QVERIFY(socket.open(QIODevice::WriteOnly));
    }
    SingleInstance next;
    QVERIFY(next.tryBecomePrimary());
    // And it is reachable: a later start finds it.
    QSignalSpy activated(&next, &SingleInstance::activationRequested);
    QProcess later;
    later.setProcessEnvironment(envFor(home));
    later.start(ONDAVO_BINARY, {});
    QTRY_COMPARE_WITH_TIMEOUT(activated.count(), 1, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(later.state(), QProcess::NotRunning, 30000);
    QCOMPARE(later.exitCode(), 0);
}

void TestSingleInstance::realProgramTwiceThenTerminated()
{
    TestHome home;
    QProcess first;
    first.setProcessEnvironment(envFor(home));
    first.setProcessChannelMode(QProcess::ForwardedChannels);
    first.start(ONDAVO_BINARY, {});
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(home.runtime() + "/ondavo.socket"), 60000);

    QProcess second;
    second.setProcessEnvironment(envFor(home));
    second.start(ONDAVO_BINARY, {});
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 30000);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);

    // The end of the session: the program sends its logoff, keeps its settings and goes.
    ::kill(pid_t(first.processId()), SIGTERM);
    QTRY_COMPARE_WITH_TIMEOUT(first.state(), QProcess::NotRunning, 30000);
    QCOMPARE(first.exitStatus(), QProcess::NormalExit);
    QVERIFY(QFileInfo::exists(home.config() + "/Ondavo/settings.ini"));
    QVERIFY(!QFileInfo::exists(home.runtime() + "/ondavo.lock"));
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
