// The interface's language: what a start under the desktop's locale shows (the program's words,
// their plural forms and Qt's own words), and the D-Bus failures said for a person.
#include "app/language.h"
#include "platform/dbusreply.h"
#include "timer/countdown.h"
#include "timer/repeat.h"
#include "timer/timeractions.h"

#include <QDBusMessage>
#include <QProcess>
#include <QtTest>

namespace {
const char ProbeVariable[] = "ONDAVO_LANGUAGE_PROBE";

// What a start in the child's locale shows.
QStringList probeTexts()
{
    const qint64 day = 86400;
    return {QCoreApplication::translate("TOndavoForm1", "Таймер"),
            Countdown::formatSeconds(day),
            Countdown::formatSeconds(2 * day + 3 * 3600 + 4 * 60 + 5),
            Countdown::formatSeconds(5 * day),
            Countdown::formatSeconds(21 * day),
            *Countdown::resetRemark(0),
            TimerActions::balloon(TimerActions::QuietSleep, 45, QString()).text,
            Repeat::alarmText(DateTime::fromDateTime(QDate(2026, 12, 8), QTime(7, 0))),
            failureSentence(QDBusError(QDBusError::AccessDenied, QStringLiteral("/run/x: denied"))),
            QCoreApplication::translate("QLineEdit", "&Undo")};
}
} // namespace

class TestLanguage : public QObject
{
    Q_OBJECT
private slots:
    void start_data();
    void start();
    void failureSentence_data();
    void failureSentence();
};

void TestLanguage::start_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("texts"); // one a line, joined by |
    const QString english = "Timer|1 day 00:00:00|2 days 03:04:05|5 days 00:00:00|21 days 00:00:00|"
                            "Stopped 0 seconds before the end. Still fooling around, Stierlitz.|"
                            "The timer goes off in 45 seconds. |Tue 07:00|permission denied|&Undo";
    const QString russian = "Таймер|1 день 00:00:00|2 дня 03:04:05|5 дней 00:00:00|21 дней 00:00:00|"
                            "Остановлен за 0 сек до конца. Всё балуетесь, Штирлиц.|"
                            "Таймер сработает через 45 секунд. |вт 07:00|нет разрешения|&Отменить действие";
    QTest::newRow("en_US") << QStringList{"LANG=en_US.UTF-8"} << english;
    QTest::newRow("ru_RU") << QStringList{"LANG=ru_RU.UTF-8"} << russian;
    QTest::newRow("C.UTF-8") << QStringList{"LANG=C.UTF-8"} << russian;
    QTest::newRow("LANGUAGE first") << QStringList{"LANG=ru_RU.UTF-8", "LANGUAGE=en_GB:ru"} << english;
    QTest::newRow("German") << QStringList{"LANG=de_DE.UTF-8"} << russian;
    QTest::newRow("German, then English") << QStringList{"LANGUAGE=de:en"} << english;
    QTest::newRow("unknown, then English") << QStringList{"LANGUAGE=xx:en"} << english;
    QTest::newRow("Russian before English") << QStringList{"LANGUAGE=ru:en"} << russian;
}

// The test program started again in the row's locale only, as the desktop would start the program.
void TestLanguage::start()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, texts);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
        env.remove(QString::fromLatin1(name));
    for (const QString &pair : environment)
        env.insert(pair.section('=', 0, 0), pair.section('=', 1));
    env.insert(QString::fromLatin1(ProbeVariable), QStringLiteral("1"));
    QProcess probe;
    probe.setProcessEnvironment(env);
    probe.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(probe.waitForFinished(30000));
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()).trimmed(), texts);
}

// Names the engine tests do not meet; their mocks refuse with AccessDenied, polkit's
// InteractiveAuthorizationRequired, InvalidArgs and ServiceUnknown.
void TestLanguage::failureSentence_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("sentence");
    for (const auto &[name, sentence] : std::initializer_list<std::pair<const char *, const char *>>{
             {"org.freedesktop.PolicyKit1.Error.NotAuthorized", "нет разрешения"},
             {"org.freedesktop.DBus.Error.NoReply", "система не ответила"},
             {"org.freedesktop.DBus.Error.Timeout", "система не ответила"},
             {"org.freedesktop.DBus.Error.NameHasNoOwner", "системная служба недоступна"},
             {"org.freedesktop.login1.SleepVerbNotSupported", "система этого не поддерживает"},
             {"org.freedesktop.login1.OperationInProgress", "система занята таким же запросом"},
             {"org.example.Odd", "система отказала"}})
        QTest::newRow(name) << name << sentence;
}

void TestLanguage::failureSentence()
{
    QFETCH(QString, name);
    QFETCH(QString, sentence);
    const QString message = QStringLiteral("Failed to connect to socket /run/dbus/system_bus_socket");
    const QDBusError error(QDBusMessage::createError(name, message));
    QCOMPARE(::failureSentence(error), sentence);
    QVERIFY(failureDetail(error).contains(message));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(ProbeVariable)) {
        Language::install(&app);
        QTextStream(stdout) << probeTexts().join('|');
        return 0;
    }
    TestLanguage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_language.moc"
