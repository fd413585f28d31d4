// The login entry as the desktop's session reads it, and what programs started from here inherit.
#include "fakes/testhome.h"
#include "platform/autostart.h"
#include "platform/platform.h"

#include <QDesktopServices>
#include <QProcess>
#include <QtTest>

class TestAutostart : public QObject
{
    Q_OBJECT
private slots:
    void entry_data();
    void entry();
    void state_data();
    void state();
    void childrenKeepTheirOwnSoundName_data();
    void childrenKeepTheirOwnSoundName();
};

// Stands in for what Qt would open a file with when the desktop has no opener of its own.
class QtOpener : public QObject
{
    Q_OBJECT
public:
    QList<QByteArray> inherited; // PULSE_PROP_OVERRIDE as each open would hand it on
public slots:
    void open(const QUrl &) { inherited << qgetenv("PULSE_PROP_OVERRIDE"); }
};

static QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

static bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly) &&
           file.write(data) == data.size();
}

static bool writeExecutable(const QString &path, const QByteArray &data)
{
    return writeFile(path, data) && QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
}

static bool valid(const QString &entry)
{
    const int validator = QProcess::execute("desktop-file-validate", {entry});
    return validator == 0 || validator == -2; // -2: not installed
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
    qputenv("XDG_CONFIG_DIRS", (home.path() + "/xdg").toLocal8Bit()); // not the machine's entries
    QVERIFY(writeExecutable(home.path() + '/' + program, ""));
    QString error;
    QVERIFY2(Autostart::set(true, home.path() + '/' + program, &error), qPrintable(error));
    QVERIFY(Autostart::isOn());
    const QString entry = home.config() + "/autostart/ondavo.desktop";
    const QStringList lines = QString::fromUtf8(contents(entry)).split('\n');
    QCOMPARE(lines.filter(QRegularExpression("^Exec=")), QStringList("Exec=" + exec.arg(home.path())));
    QVERIFY2(valid(entry), "desktop-file-validate found errors");
    QVERIFY2(Autostart::set(false, QString(), &error), qPrintable(error));
    QVERIFY(!Autostart::isOn() && !QFile::exists(entry));
}

void TestAutostart::state_data()
{
    QTest::addColumn<QByteArray>("user");    // the user's entry; null: none
    QTest::addColumn<bool>("linked");        // the entry is a link to the user's own file, or to nothing
    QTest::addColumn<QByteArray>("system");  // in the second system folder; null: none
    QTest::addColumn<bool>("on");            // on the desktops ubuntu:GNOME
    QTest::addColumn<bool>("hiddenWhenOff"); // switching off writes a hiding entry rather than none

    const QByteArray app = "[Desktop Entry]\nType=Application\nName=X\nExec=x\n";
    const QByteArray no;
    QTest::newRow("link to a user's file") << app << true << no << true << false;
    QTest::newRow("link to nothing") << no << true << no << false << false;
    QTest::newRow("Hidden") << app + "Hidden = true\n" << false << no << false << false;
    QTest::newRow("Hidden in another group") << app + "[Desktop Action a]\nHidden=true\n"
                                             << false << no << true << false;
    QTest::newRow("GNOME disabled") << app + "X-GNOME-Autostart-enabled=false\n"
                                    << true << no << false << false;
    QTest::newRow("OnlyShowIn excluding") << app + "OnlyShowIn=KDE;XFCE;\n" << false << no << false << false;
    QTest::newRow("OnlyShowIn including") << app + "OnlyShowIn=KDE;GNOME;\n" << false << no << true << false;
    QTest::newRow("NotShowIn including") << app + "NotShowIn=GNOME\n" << false << no << false << false;
    QTest::newRow("garbage") << QByteArray("\0\xff[Desktop Entry\nExec=x\n", 24) << false << no << false
                             << false;
    QTest::newRow("system entry") << no << false << app << true << true;
    QTest::newRow("user entry over the system one") << app + "Hidden=true\n" << false << app << false << true;
}

// What the session would start, and that switching never writes through a link.
void TestAutostart::state()
{
    QFETCH(QByteArray, user);
    QFETCH(bool, linked);
    QFETCH(QByteArray, system);
    QFETCH(bool, on);
    QFETCH(bool, hiddenWhenOff);
    TestHome home;
    const QString program = home.path() + "/bin/ondavo";
    const QString entry = home.config() + "/autostart/ondavo.desktop";
    const QString target = home.path() + "/mine/ondavo.desktop";
    qputenv("XDG_CONFIG_DIRS", (home.path() + "/xdg1:" + home.path() + "/xdg2").toLocal8Bit());
    qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    QVERIFY(writeExecutable(program, "") &&
            (system.isNull() || writeFile(home.path() + "/xdg2/autostart/ondavo.desktop", system)));
    const auto prepare = [&] {
        QFile::remove(entry);
        return (user.isNull() || writeFile(linked ? target : entry, user)) &&
               (!linked || (QDir().mkpath(home.config() + "/autostart") && QFile::link(target, entry)));
    };

    QVERIFY(prepare());
    QCOMPARE(Autostart::isOn(), on);
    QString error;
    QVERIFY2(Autostart::set(true, program, &error), qPrintable(error));
    QVERIFY(Autostart::isOn());
    QVERIFY(QFileInfo(entry).isFile() && !QFileInfo(entry).isSymLink());
    QCOMPARE(contents(target), linked ? user : QByteArray());

    QVERIFY(prepare());
    QVERIFY2(Autostart::set(false, QString(), &error), qPrintable(error));
    QVERIFY(!Autostart::isOn());
    QVERIFY(!QFileInfo(entry).isSymLink());
    QCOMPARE(QFile::exists(entry), hiddenWhenOff);
    QVERIFY(!hiddenWhenOff || (contents(entry).contains("\nHidden=true\n") && valid(entry)));
    QCOMPARE(contents(target), linked ? user : QByteArray());
}

void TestAutostart::childrenKeepTheirOwnSoundName_data()
{
    QTest::addColumn<QString>("opener"); // the desktop's opener on PATH, empty for none
    QTest::addColumn<QString>("script"); // its words: where it writes what it inherited
    QTest::newRow("xdg-open") << "xdg-open"
                              << "\"${1#file://}\"";
    QTest::newRow("gio open") << "gio"
                              << "\"${2#file://}\"";
    // Nothing to open with: said, never left to a browser Qt would pick in this environment.
    QTest::newRow("none") << ""
                          << "";
}

// A player the timer starts or opens must not pass for this program in the mixer, nor get its volume.
void TestAutostart::childrenKeepTheirOwnSoundName()
{
    QFETCH(QString, opener);
    QFETCH(QString, script);
    TestHome home;
    // Stands in for the desktop's opener and for a started program: writes what it inherited.
    const QString tool = home.path() + "/started-tool";
    const QByteArray body = "#!/bin/sh\nprintf %s \"${PULSE_PROP_OVERRIDE-none}\" > ";
    QVERIFY(writeExecutable(tool, body + "\"$1\"\n"));
    if (!opener.isEmpty())
        QVERIFY(writeExecutable(home.path() + "/bin/" + opener, body + script.toUtf8() + "\n"));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", home.path().toLocal8Bit() + "/bin");
    qunsetenv("PULSE_PROP_OVERRIDE");
    nameSoundStreams("ondavo");
    QVERIFY(qgetenv("PULSE_PROP_OVERRIDE").contains("media.icon_name='ondavo'"));
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent"); // keeps off the machine's logind
    const std::unique_ptr<Platform> platform = createSystemPlatform();
    QString error;
    QVERIFY(platform->startDetached(tool, {home.path() + "/started"}, &error));
    QtOpener qtOpener;
    QDesktopServices::setUrlHandler("file", &qtOpener, "open");
    QCOMPARE(platform->openUrl(QUrl::fromLocalFile(home.path() + "/opened")), !opener.isEmpty());
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(qtOpener.inherited, QList<QByteArray>());
    qputenv("PATH", path);
    QTRY_COMPARE(contents(home.path() + "/started"), QByteArray("none"));
    if (!opener.isEmpty())
        QTRY_COMPARE(contents(home.path() + "/opened"), QByteArray("none"));
}

QTEST_MAIN(TestAutostart)
#include "tst_autostart.moc"
