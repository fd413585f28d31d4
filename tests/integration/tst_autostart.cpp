// The login entry on disk, as the desktop's session reads it.
#include "fakes/testhome.h"
#include "platform/autostart.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

class TestAutostart : public QObject
{
    Q_OBJECT
private slots:
    void entry_data();
    void entry();
    void switchedOffByDesktop_data();
    void switchedOffByDesktop();
};

void TestAutostart::entry_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("exec");
    QTest::newRow("plain path") << "bin/ondavo"
                                << "%1/bin/ondavo --autostart";
    QTest::newRow("path with a blank") << "my apps/ondavo"
                                       << R"("%1/my apps/ondavo" --autostart)";
    QTest::newRow("quotes, dollar, backslash, percent") << R"(100% "$x"\y/ondavo)"
                                                        << R"("%1/100%% \\"\\$x\\"\\\\y/ondavo" --autostart)";
}

void TestAutostart::entry()
{
    QFETCH(QString, program);
    QFETCH(QString, exec);
    TestHome home;
    const QString executable = home.path() + '/' + program;
    QVERIFY(QDir().mkpath(QFileInfo(executable).absolutePath()));
    QFile file(executable);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.setPermissions(file.permissions() | QFile::ExeOwner));
    QCOMPARE(Autostart::entryPath(), home.config() + "/autostart/ondavo.desktop");

    QString error;
    QVERIFY2(Autostart::set(true, executable, &error), qPrintable(error));
    QVERIFY(Autostart::isOn());
    QFile entry(Autostart::entryPath());
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(entry.readAll()).split('\n');
    QCOMPARE(lines.filter(QRegularExpression("^Exec=")), QStringList("Exec=" + exec.arg(home.path())));
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (!validator.isEmpty()) {
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(validator, {entry.fileName()});
        QVERIFY(check.waitForFinished(10000));
        const QByteArray said = check.readAll();
        QVERIFY2(check.exitCode() == 0 && said.isEmpty(), said.constData());
    }

    QVERIFY2(Autostart::set(false, executable, &error), qPrintable(error));
    QVERIFY(!Autostart::isOn());
    QVERIFY(!entry.exists());
}

void TestAutostart::switchedOffByDesktop_data()
{
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<bool>("on");
    QTest::newRow("hidden") << QByteArray("[Desktop Entry]\nExec=ondavo\nHidden = true\n") << false;
    QTest::newRow("GNOME's switch") << QByteArray("[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n")
                                    << false;
    QTest::newRow("another group's key")
        << QByteArray("[Desktop Entry]\nExec=ondavo\n[Desktop Action x]\nHidden=true\n") << true;
}

void TestAutostart::switchedOffByDesktop()
{
    QFETCH(QByteArray, entry);
    QFETCH(bool, on);
    TestHome home;
    QVERIFY(QDir().mkpath(home.config() + "/autostart"));
    QFile file(Autostart::entryPath());
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(entry) == entry.size());
    file.close();
    QCOMPARE(Autostart::isOn(), on);
}

QTEST_MAIN(TestAutostart)
#include "tst_autostart.moc"
