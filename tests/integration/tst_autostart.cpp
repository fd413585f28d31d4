// The login entry on disk, as the desktop's session reads it, and what programs started from here
// inherit.
#include "fakes/testhome.h"
#include "platform/autostart.h"
#include "platform/platform.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestAutostart : public QObject
{
    Q_OBJECT
private slots:
    void entry_data();
    void entry();
    void switchedOffByDesktop_data();
    void switchedOffByDesktop();
    void childrenKeepTheirOwnSoundName_data();
    void childrenKeepTheirOwnSoundName();
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

void TestAutostart::childrenKeepTheirOwnSoundName_data()
{
    QTest::addColumn<bool>("open");
    QTest::newRow("started program") << false;
    QTest::newRow("opened address") << true;
}

// A player the timer starts must not pass for this program in the mixer, nor get its volume.
void TestAutostart::childrenKeepTheirOwnSoundName()
{
    QFETCH(bool, open);
    QTemporaryDir dir;
    const QString marker = dir.filePath("marker");
    QFile opener(dir.filePath("xdg-open"));
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\nprintf '%s' \"${PULSE_PROP_OVERRIDE-none}\" > \"${1#file://}\"\n");
    QVERIFY(opener.setPermissions(opener.permissions() | QFile::ExeOwner));
    opener.close();
    qputenv("PATH", dir.path().toLocal8Bit() + ':' + qgetenv("PATH"));
    qunsetenv("PULSE_PROP_OVERRIDE");
    nameSoundStreams("ondavo");
    QVERIFY(qgetenv("PULSE_PROP_OVERRIDE").contains("media.icon_name='ondavo'"));

    // No bus: the platform's logind client must not reach the real machine's.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/ondavo-test-bus");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/ondavo-test-bus");
    const std::unique_ptr<Platform> platform = createSystemPlatform();
    QString error;
    QVERIFY(open ? platform->openUrl(QUrl::fromLocalFile(marker))
                 : platform->startDetached(opener.fileName(), {marker}, &error));
    const auto written = [&marker] {
        QFile f(marker);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    QTRY_COMPARE(written(), QByteArray("none"));
}

QTEST_MAIN(TestAutostart)
#include "tst_autostart.moc"
