#include "windowfixture.h"

#include "fakes/hostilepaths.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTimeEdit>
#include <QtTest>

#include <functional>
#include <optional>

namespace {
// Runs the program's window once: create, close through the logoff page, return the identity used.
struct RunResult
{
    QUrl login;
    QString userName;
    QString passw;
};

RunResult runOnce(WindowFixture &fx, const std::function<void()> &meanwhile = {})
{
    TOndavoForm1 *w = fx.create();
    if (meanwhile)
        meanwhile();
    RunResult r{fx.radio()->navigations.value(0), w->radio()->userName(), w->radio()->passw()};
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

QByteArray utf16le(const QString &text)
{
    QByteArray data;
    for (const QChar c : text) {
        data.append(char(c.unicode() & 0xFF));
        data.append(char(c.unicode() >> 8));
    }
    return data;
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
    void hostileSettingsPath_data();
    void hostileSettingsPath();
    void keptAcrossRuns_data();
    void keptAcrossRuns();
    void commandComesBack_data();
    void commandComesBack();
    void repeatAcrossRuns_data();
    void repeatAcrossRuns();
    void volumeAcrossRuns_data();
    void volumeAcrossRuns();
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
        QVERIFY(w->radio()->userName().isEmpty());
        QVERIFY(w->radio()->passw().isEmpty());
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
    // Typed by a person rather than written by the program.
    QTest::newRow("one-digit hour") << QByteArray("[Settings]\nWakeUpDate=24.12.2026 6:45:30\n") << "" << 0
                                    << false << QTime(6, 45, 30);
    QTest::newRow("two-digit year, no seconds")
        << QByteArray("[Settings]\nWakeUpDate=1.2.27 7:05\n") << "" << 0 << false << QTime(7, 5);
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
    QCOMPARE(w->timer()->wakeUpTime().time(), expected);
    QCOMPARE(fx.find<QTimeEdit>("WakeUpTimePicker")->time(), expected);
    // Whatever was stored, the wake-up date offered is tomorrow.
    QCOMPARE(fx.find<QDateEdit>("WakeUpDatePicker")->date(), QDate(2026, 12, 9));
    // A file with no identity gets one.
    QVERIFY(!w->radio()->userName().isEmpty());
    QVERIFY(!w->radio()->passw().isEmpty());
}

void TestSettingsRuns::wakeUpTimeRoundTrips()
{
    WindowFixture fx;
    writeFile(fx.settingsPath(), "[Settings]\nUserName=u\nPassw=p\nWakeUpDate=24.12.2026 06:45:30\n");
    runOnce(fx);
    QVERIFY(readFile(fx.settingsPath()).contains("WakeUpDate=24.12.2026 06:45:30\n"));
    TOndavoForm1 *w = fx.create();
    QCOMPARE(w->timer()->wakeUpTime().toQDateTime(), QDateTime(QDate(2026, 12, 24), QTime(6, 45, 30)));
    QCOMPARE(w->radio()->userName(), QString("u"));
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
    QCOMPARE(fx.closeAnsweringWriteFailure(), "Unable to write to " + fx.settingsPath());
    QCOMPARE(closed.count(), 1);
    QCOMPARE(readFile(fx.settingsPath()), original);
}

void TestSettingsRuns::hostileSettingsPath_data()
{
    using HostilePaths::Kind;
    QTest::addColumn<Kind>("kind");
    QTest::newRow("FIFO") << Kind::Fifo;
    QTest::newRow("link to a FIFO") << Kind::LinkToFifo;
    QTest::newRow("directory") << Kind::Directory;
    QTest::newRow("socket") << Kind::Socket;
    QTest::newRow("device") << Kind::Device;
    QTest::newRow("writable, unreadable") << Kind::Unreadable;
}

// What is not a file that could be read counts as no file: the start neither hangs nor makes up an
// identity, and the close reports that it could not write rather than replace it.
void TestSettingsRuns::hostileSettingsPath()
{
    QFETCH(HostilePaths::Kind, kind);
    WindowFixture fx;
    const QByteArray original = "[Settings]\nUserName=keep\nPassw=me\n";
    QVERIFY(QDir().mkpath(QFileInfo(fx.settingsPath()).path()));
    QVERIFY(HostilePaths::make(kind, fx.settingsPath(), original));
    const QString before = HostilePaths::describe(fx.settingsPath());
    {
        // Root reads anything whatever its mode; without that right it reads as a user does.
        HostilePaths::NoReadOverride asUser;
        if (kind == HostilePaths::Kind::Unreadable && HostilePaths::readable(fx.settingsPath()))
            QSKIP("This system does not let a test make a file unreadable");

        TOndavoForm1 *w = nullptr;
        {
            std::optional<HostilePaths::FifoRelease> release;
            if (kind == HostilePaths::Kind::Fifo || kind == HostilePaths::Kind::LinkToFifo)
                release.emplace(fx.settingsPath(), original);
            w = fx.create();
            QVERIFY2(!release || !release->fired(), "the start waited for a writer");
        }
        QVERIFY(w->radio()->userName().isEmpty());
        QVERIFY(w->radio()->passw().isEmpty());
        QVERIFY(fx.radio()->lastUrl().toString().contains("?username=&passw=&action=login"));

        QSignalSpy closed(w, &TOndavoForm1::closed);
        QCOMPARE(fx.closeAnsweringWriteFailure(), "Unable to write to " + fx.settingsPath());
        QCOMPARE(closed.count(), 1);
    }
    QCOMPARE(HostilePaths::describe(fx.settingsPath()), before);
    if (kind == HostilePaths::Kind::Unreadable)
        QCOMPARE(readFile(fx.settingsPath()), original);
}

void TestSettingsRuns::keptAcrossRuns_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArrayList>("kept"); // each of them verbatim in the file after a run
    QTest::addColumn<QByteArray>("header");   // the section's header as it is written in the file

    const QByteArray marks3("\xEF\xBB\xBF\xEF\xBB\xBF\xEF\xBB\xBF");
    const QByteArray identity("UserName=u1\nPassw=p1\n");
    QTest::newRow("8-bit lines")
        << "; \xCA\xEE\xEC\xEC\xE5\xED\xF2\n[\xC4\xF0\xF3\xE3\xEE\xE5]\nK=\xE7\xED\n[Settings]\nNote=\xFF "
           "stray\n" +
               identity
        << QByteArrayList{"; \xCA\xEE\xEC\xEC\xE5\xED\xF2\n[\xC4\xF0\xF3\xE3\xEE\xE5]\nK=\xE7\xED\n",
                          "\nNote=\xFF stray\n"}
        << QByteArray("[Settings]");
    QTest::newRow("three UTF-8 marks")
        << marks3 + "[Settings]\n" + identity << QByteArrayList{marks3} << QByteArray("[Settings]");
    QTest::newRow("three UTF-16 marks")
        << "\xFF\xFE\xFF\xFE\xFF\xFE" + utf16le("; \u65E5\r\n[Settings]\r\nUserName=u1\r\nPassw=p1\r\n")
        << QByteArrayList{"\xFF\xFE\xFF\xFE\xFF\xFE" + utf16le("; \u65E5\r\n")} << utf16le("[Settings]");
    QTest::newRow("brackets in the header's comment")
        << "[Settings] ; see [x]\n" + identity << QByteArrayList{"[Settings] ; see [x]\n"}
        << QByteArray("[Settings]");
}

// What the program does not own survives a run byte for byte, and the values it wrote are the ones the
// next run reads.
void TestSettingsRuns::keptAcrossRuns()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArrayList, kept);
    QFETCH(QByteArray, header);

    WindowFixture fx;
    writeFile(fx.settingsPath(), content);
    const RunResult first = runOnce(fx);
    QCOMPARE(first.userName, QString("u1"));
    QCOMPARE(first.passw, QString("p1"));
    const QByteArray after = readFile(fx.settingsPath());
    for (const QByteArray &bytes : kept)
        QVERIFY2(after.contains(bytes), bytes.toHex(' '));
    QCOMPARE(after.count(header), 1);

    const RunResult second = runOnce(fx);
    QCOMPARE(second.userName, QString("u1"));
    QCOMPARE(second.passw, QString("p1"));
    QCOMPARE(readFile(fx.settingsPath()), after);
}

void TestSettingsRuns::commandComesBack_data()
{
    QTest::addColumn<QByteArray>("stored"); // the command's line before the first run
    QTest::addColumn<QString>("typed");     // typed in the first run; null: left alone
    QTest::newRow("quoted program and argument")
        << QByteArray("TimerCmd=") << "\"/opt/my tools/rec\" --out \"/home/u/a b.ogg\"";
    QTest::newRow("quoted folder") << QByteArray("TimerCmd=") << "'/home/u/My Music'";
    QTest::newRow("8-bit path, untouched")
        << QByteArray("TimerCmd=/home/u/\xC7\xE2\xF3\xEA.ogg") << QString();
}

// The command the next run reads, and so starts, is the one this run had.
void TestSettingsRuns::commandComesBack()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, typed);
    WindowFixture fx;
    writeFile(fx.settingsPath(), "[Settings]\n" + stored + "\nUserName=u1\nPassw=p1\n");
    QString command;
    for (int run = 0; run < 2; ++run) {
        runOnce(fx, [&] {
            auto *edit = fx.find<QLineEdit>("TimerCommandEdit");
            if (run == 0 && !typed.isNull())
                edit->setText(typed);
            if (run == 0)
                command = edit->text();
            QCOMPARE(edit->text(), command);
        });
    }
    if (typed.isNull())
        QVERIFY(readFile(fx.settingsPath()).contains(stored + "\n"));
}

QTEST_MAIN(TestSettingsRuns)
#include "tst_settingsruns.moc"

// A repeated alarm is kept in keys beside the others and comes back armed; what the program cannot
// read stays as it was; a first run's alarm gets an identity of its own, kept for the next run.
void TestSettingsRuns::repeatAcrossRuns_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file, a first run that arms quiet sleep
    QTest::addColumn<int>("ticked");         // day boxes ticked after the start
    QTest::addColumn<TimerModel::Phase>("phase");
    QTest::addColumn<QByteArray>("kept"); // verbatim in the file after the run
    const QByteArray night("QuietSleepAt=07.12.2026 23:00:00\nWakeUpDate=08.12.2026 07:00:00\n");
    // Tuesday 8 December, 16:30: tonight's 23:00 is armed, for Wednesday's 07:00.
    QTest::newRow("every day") << "[Settings]\nRepeatDays=1,2,3,4,5,6,7\n" + night << 7
                               << TimerModel::Phase::Armed << QByteArray("RepeatDays=1,2,3,4,5,6,7\n");
    QTest::newRow("garbage days: none, and kept")
        << "[Settings]\nRepeatDays=\xD0\xBF\xD0\xBD,7x\n" + night << 0 << TimerModel::Phase::Idle
        << QByteArray("RepeatDays=\xD0\xBF\xD0\xBD,7x\n");
    QTest::newRow("a first run's alarm")
        << QByteArray() << 0 << TimerModel::Phase::Armed << QByteArray("Passw=");
}

void TestSettingsRuns::repeatAcrossRuns()
{
    QFETCH(QByteArray, content);
    QFETCH(int, ticked);
    QFETCH(TimerModel::Phase, phase);
    QFETCH(QByteArray, kept);
    WindowFixture fx;
    if (!content.isNull())
        writeFile(fx.settingsPath(), content);
    QString identity;
    runOnce(fx, [&] {
        if (content.isNull()) {
            auto *list = fx.find<QComboBox>("TimerActionComboBox");
            list->setCurrentIndex(4);
            fx.find<QDateEdit>("TimerDatePicker")->setDate(fx.clock.now().date());
            fx.find<QTimeEdit>("TimerTimePicker")->setTime(fx.clock.now().time().addSecs(60));
            fx.find<QDateEdit>("WakeUpDatePicker")->setDate(fx.clock.now().date().addDays(1));
            fx.find<QPushButton>("TimerSetBtn")->click();
            identity = fx.window->radio()->userName();
        }
        const QList<QCheckBox *> days = fx.window->findChildren<QCheckBox *>(QRegularExpression("^Repeat"));
        QCOMPARE(
            std::count_if(days.begin(), days.end(), [](const QCheckBox *box) { return box->isChecked(); }),
            qsizetype(ticked));
        QCOMPARE(fx.window->timer()->phase(), phase);
    });
    const QByteArray after = readFile(fx.settingsPath());
    QVERIFY2(after.contains(kept), after);
    if (content.isNull()) {
        QVERIFY(!identity.isEmpty());
        QVERIFY2(after.contains("UserName=" + identity.toUtf8() + '\n'), after);
        QCOMPARE(runOnce(fx).userName, identity);
    }
}

// The radio's volume comes back at the next start; what cannot be read plays at full and stays.
void TestSettingsRuns::volumeAcrossRuns_data()
{
    QTest::addColumn<QByteArray>("stored"); // the key's line, or nothing
    QTest::addColumn<int>("quieter");       // presses on the tray menu's "Тише" in the first run
    QTest::addColumn<double>("first");      // the volume at the first start
    QTest::addColumn<QByteArray>("after");  // in the file afterwards; empty: no key at all
    QTest::addColumn<double>("second");
    QTest::newRow("none: full, and none written") << QByteArray() << 0 << 1.0 << QByteArray() << 1.0;
    QTest::newRow("a third") << QByteArray("Volume=35\n") << 0 << 0.35 << QByteArray("Volume=35\n") << 0.35;
    QTest::newRow("garbage: full, kept") << QByteArray("Volume=\xD0\xB3\xD1\x80\n") << 0 << 1.0
                                         << QByteArray("Volume=\xD0\xB3\xD1\x80\n") << 1.0;
    QTest::newRow("over full") << QByteArray("Volume=150\n") << 0 << 1.0 << QByteArray("Volume=150\n") << 1.0;
    QTest::newRow("below silence") << QByteArray("Volume=-5\n") << 0 << 1.0 << QByteArray("Volume=-5\n")
                                   << 1.0;
    QTest::newRow("turned down in the tray") << QByteArray() << 3 << 1.0 << QByteArray("Volume=85\n") << 0.85;
    QTest::newRow("garbage, then turned down")
        << QByteArray("Volume=x\n") << 1 << 1.0 << QByteArray("Volume=95\n") << 0.95;
    QTest::newRow("silence is kept") << QByteArray("Volume=5\n") << 2 << 0.05 << QByteArray("Volume=0\n")
                                     << 0.0;
}

void TestSettingsRuns::volumeAcrossRuns()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, quieter);
    QFETCH(double, first);
    QFETCH(QByteArray, after);
    QFETCH(double, second);
    WindowFixture fx;
    writeFile(fx.settingsPath(), "[Settings]\nUserName=u1\nPassw=p1\n" + stored);
    runOnce(fx, [&] {
        QCOMPARE(fx.window->radio()->volume(), first);
        auto *item = fx.window->findChild<QAction *>("QuieterItem");
        QVERIFY(item);
        for (int i = 0; i < quieter; ++i)
            item->trigger();
    });
    const QByteArray file = readFile(fx.settingsPath());
    QVERIFY2(after.isEmpty() ? !file.contains("Volume=") : file.contains(after), file);
    runOnce(fx, [&] { QCOMPARE(fx.window->radio()->volume(), second); });
}
