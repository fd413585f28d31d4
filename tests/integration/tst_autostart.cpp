// The login entry as the desktop's session reads it, and what programs started from here inherit.
#include "fakes/testhome.h"
#include "platform/autostart.h"
#include "platform/platform.h"

#include <QProcess>
#include <QtTest>

class TestAutostart : public QObject
{
    Q_OBJECT
private slots:
    void entry_data();
    void entry();
    void childrenKeepTheirOwnSoundName();
};

static QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

static bool writeExecutable(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly) &&
           file.write(data) == data.size() && file.setPermissions(file.permissions() | QFile::ExeOwner);
}

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
    QVERIFY(writeExecutable(home.path() + '/' + program, ""));
    QString error;
    QVERIFY2(Autostart::set(true, home.path() + '/' + program, &error), qPrintable(error));
    QVERIFY(Autostart::isOn());
    const QString entry = home.config() + "/autostart/ondavo.desktop";
    const QStringList lines = QString::fromUtf8(contents(entry)).split('\n');
    QCOMPARE(lines.filter(QRegularExpression("^Exec=")), QStringList("Exec=" + exec.arg(home.path())));
    const int validator = QProcess::execute("desktop-file-validate", {entry});
    QVERIFY2(validator == 0 || validator == -2, "desktop-file-validate found errors"); // -2: not installed
    QVERIFY2(Autostart::set(false, QString(), &error), qPrintable(error));
    QVERIFY(!Autostart::isOn() && !QFile::exists(entry));
}

// A player the timer starts or opens must not pass for this program in the mixer, nor get its volume.
void TestAutostart::childrenKeepTheirOwnSoundName()
{
    TestHome home;
    // Stands in for the desktop's opener and for a started program: writes what it inherited.
    const QString tool = home.path() + "/xdg-open";
    QVERIFY(
        writeExecutable(tool, "#!/bin/sh\nprintf %s \"${PULSE_PROP_OVERRIDE-none}\" > \"${1#file://}\"\n"));
    qputenv("PATH", home.path().toLocal8Bit() + ':' + qgetenv("PATH"));
    qunsetenv("PULSE_PROP_OVERRIDE");
    nameSoundStreams("ondavo");
    QVERIFY(qgetenv("PULSE_PROP_OVERRIDE").contains("media.icon_name='ondavo'"));
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent"); // keeps off the machine's logind
    const std::unique_ptr<Platform> platform = createSystemPlatform();
    QString error;
    QVERIFY(platform->startDetached(tool, {home.path() + "/started"}, &error));
    QVERIFY(platform->openUrl(QUrl::fromLocalFile(home.path() + "/opened")));
    QTRY_COMPARE(contents(home.path() + "/started"), QByteArray("none"));
    QTRY_COMPARE(contents(home.path() + "/opened"), QByteArray("none"));
}

QTEST_MAIN(TestAutostart)
#include "tst_autostart.moc"
