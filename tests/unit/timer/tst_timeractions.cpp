#include "timer/timeractions.h"
#include "timer/timercommand.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestTimerActions : public QObject
{
    Q_OBJECT
private slots:
    void balloon_data();
    void balloon();
    void trimControls_data();
    void trimControls();
    void resolveCommand_data();
    void resolveCommand();

private:
    QTemporaryDir m_dir;
};

void TestTimerActions::balloon_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("warning");
    const QString click = "\r\nДля перехода к таймеру щелкните по этому сообщению.";
    QTest::newRow("close") << 0 << "Через 45 секунд программа Ondavo будет выключена." + click << false;
    QTest::newRow("power off") << 1 << "Через 45 секунд компьютер будет выключен!" + click << true;
    QTest::newRow("sleep") << 2 << "Через 45 секунд компьютер будет переведен в \"Спящий\" режим!" + click
                           << true;
    QTest::newRow("command") << 3 << "Через 45 секунд будет запущена команда \" vlc  --x\"" + click << true;
    QTest::newRow("quiet sleep") << 4 << "Таймер сработает через 45 секунд. " << true;
    QTest::newRow("none selected") << -1 << "Таймер сработает через 45 секунд. " << true;
}

void TestTimerActions::balloon()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(bool, warning);
    // The command goes in as typed, blanks and all.
    const TimerActions::Balloon b = TimerActions::balloon(index, 45, " vlc  --x");
    QCOMPARE(b.title, QString("Таймер Ondavo включен!"));
    QCOMPARE(b.text, text);
    QCOMPARE(b.warning, warning);
}

void TestTimerActions::trimControls_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("trimmed");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("spaces and tabs") << " \t  \t"
                                     << "";
    QTest::newRow("control characters") << QString("\x01\x1f ls \r\n") << "ls";
    QTest::newRow("inner blanks stay") << "  a  b  "
                                       << "a  b";
    QTest::newRow("no-break space is text") << QString::fromUtf8("\u00a0") << QString::fromUtf8("\u00a0");
    QTest::newRow("DEL is text") << QString("\x7f") << QString("\x7f");
}

void TestTimerActions::trimControls()
{
    QFETCH(QString, text);
    QFETCH(QString, trimmed);
    QCOMPARE(TimerActions::trimControls(text), trimmed);
}

void TestTimerActions::resolveCommand_data()
{
    QVERIFY(m_dir.isValid());
    const QString root = m_dir.path();
    QDir(root).mkpath("My Music");
    QFile doc(root + "/notes.txt");
    QVERIFY(doc.open(QIODevice::WriteOnly));
    doc.close();
    QVERIFY(QFile(root + "/a b.txt").open(QIODevice::WriteOnly));
    QFile tool(root + "/alarm tool");
    QVERIFY(tool.open(QIODevice::WriteOnly));
    tool.write("#!/bin/sh\n");
    tool.close();
    tool.setPermissions(tool.permissions() | QFile::ExeOwner);

    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("target"); // Open: the URL; Start: the program
    QTest::addColumn<QStringList>("arguments");
    using C = TimerCommand;
    QTest::newRow("blank") << " \t " << int(C::Nothing) << "" << QStringList();
    QTest::newRow("folder with a blank")
        << root + "/My Music" << int(C::Open) << QUrl::fromLocalFile(root + "/My Music").toString()
        << QStringList();
    QTest::newRow("document, padded") << "  " + root + "/notes.txt\t" << int(C::Open)
                                      << QUrl::fromLocalFile(root + "/notes.txt").toString() << QStringList();
    QTest::newRow("executable file with a blank")
        << root + "/alarm tool" << int(C::Start) << root + "/alarm tool" << QStringList();
    QTest::newRow("quoted folder") << "\"" + root + "/My Music\"" << int(C::Open)
                                   << QUrl::fromLocalFile(root + "/My Music").toString() << QStringList();
    QTest::newRow("quoted document") << "\"" + root + "/a b.txt\"" << int(C::Open)
                                     << QUrl::fromLocalFile(root + "/a b.txt").toString() << QStringList();
    QTest::newRow("quoted executable")
        << "\"" + root + "/alarm tool\"" << int(C::Start) << root + "/alarm tool" << QStringList();
    QTest::newRow("web address") << "https://example.org/a?b=c" << int(C::Open) << "https://example.org/a?b=c"
                                 << QStringList();
    QTest::newRow("command line with arguments")
        << "notify-send \"Пора вставать\" -t 5000" << int(C::Start) << "notify-send"
        << QStringList{"Пора вставать", "-t", "5000"};
    QTest::newRow("quoted program") << "\"" + root + "/alarm tool\" --loud" << int(C::Start)
                                    << root + "/alarm tool" << QStringList{"--loud"};
    QTest::newRow("missing absolute file is a command")
        << "/no/such/file.txt" << int(C::Start) << "/no/such/file.txt" << QStringList();
    QTest::newRow("drive-letter look is no URL") << "c:stuff" << int(C::Start) << "c:stuff" << QStringList();
    QTest::newRow("only quotes") << "\"\"" << int(C::Start) << "" << QStringList();
}

void TestTimerActions::resolveCommand()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(QString, target);
    QFETCH(QStringList, arguments);
    const TimerCommand c = TimerCommand::resolve(text);
    QCOMPARE(int(c.kind), kind);
    if (c.kind == TimerCommand::Open)
        QCOMPARE(c.url.toString(), target);
    else
        QCOMPARE(c.program, target);
    QCOMPARE(c.arguments, arguments);
}

QTEST_APPLESS_MAIN(TestTimerActions)
#include "tst_timeractions.moc"
