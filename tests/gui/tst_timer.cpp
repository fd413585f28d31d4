#include "ui/trayicon.h"
#include "windowfixture.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimeEdit>
#include <QtTest>

namespace {
const QString Expired = "УСТАНОВЛЕННОЕ ВРЕМЯ УЖЕ ИСТЕКЛО!";
const QString AlarmExpired = "ВРЕМЯ БУДИЛЬНИКА УЖЕ ИСТЕКЛО!";
const QString SleepPanel = "Активирован тихий режим \"Сон\"";

// The window with its timer page on screen, and the few moves a person makes there.
struct TimerPage : WindowFixture
{
    TimerPage()
    {
        create()->show();
        tabs()->setCurrentWidget(find<QWidget>("TimersTabSheet"));
    }
    QTabWidget *tabs() const { return find<QTabWidget>("PageControl1"); }
    QComboBox *actions() const { return find<QComboBox>("TimerActionComboBox"); }
    QLineEdit *status() const { return find<QLineEdit>("TimerStatusEdit"); }
    QPushButton *setBtn() const { return find<QPushButton>("TimerSetBtn"); }
    QPushButton *resetBtn() const { return find<QPushButton>("TimerResetBtn"); }
    QString panel(int i) const { return find<QLabel>(qPrintable(QString("StatusPanel%1").arg(i)))->text(); }
    QString hint() const { return window->trayIcon()->toolTip(); }
    bool timerOn(const char *name) const { return find<QTimer>(name)->isActive(); }
    DateTime now() const { return DateTime::fromQDateTime(clock.now()); }

    void setMoment(const char *date, const char *time, const QDateTime &moment) const
    {
        find<QDateEdit>(date)->setDate(moment.date());
        find<QTimeEdit>(time)->setTime(moment.time());
    }
    // Picks the action and the moments, then presses "Установить".
    void arm(int action, qint64 msAhead, qint64 wakeMsAhead = 3600 * 1000) const
    {
        actions()->setCurrentIndex(action);
        setMoment("TimerDatePicker", "TimerTimePicker", clock.now().addMSecs(msAhead));
        setMoment("WakeUpDatePicker", "WakeUpTimePicker", clock.now().addMSecs(wakeMsAhead));
        setBtn()->click();
    }
    // The wall clock moves on and the countdown timer ticks.
    void tickAt(qint64 msFromMoment, const char *timer = "Timer1")
    {
        clock.set(moment.addMSecs(msFromMoment));
        tick(timer);
    }
    QDateTime moment; // where tickAt counts from
};
} // namespace

class TestTimer : public QObject
{
    Q_OBJECT
private slots:
    void armingChecks_data();
    void armingChecks();
    void rejectedMomentShowsAtNextShowing();
    void blankCommandDisablesSetButton_data();
    void blankCommandDisablesSetButton();
    void countdownAndLastMinute();
    void balloonOnceAt45Seconds();
    void disarmingClearsEverything_data();
    void disarmingClearsEverything();
    void resetRemarkByLastTick_data();
    void resetRemarkByLastTick();
    void actionRunsOnceAtTheMoment_data();
    void actionRunsOnceAtTheMoment();
    void closeAfterCommandKeepsWindowLive();
    void quietSleepToWakeUp();
    void quietSleepResetByUser();
    void lateTickIsATickAtTheMoment();
    void resumeTicksAtOnce();
    void statusLineForm();
};

void TestTimer::armingChecks_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<qint64>("msAhead");
    QTest::addColumn<qint64>("wakeMsAhead");
    QTest::addColumn<QString>("message"); // empty: armed
    QTest::newRow("a minute ahead") << 0 << qint64(60000) << qint64(0) << "";
    QTest::newRow("the moment is now") << 1 << qint64(0) << qint64(0) << "";
    QTest::newRow("a millisecond ago") << 2 << qint64(-1) << qint64(0) << Expired;
    QTest::newRow("yesterday") << 0 << qint64(-86400000) << qint64(0) << Expired;
    QTest::newRow("no action selected") << -1 << qint64(5000) << qint64(0) << "";
    QTest::newRow("alarm before the moment, after now") << 4 << qint64(60000) << qint64(30000) << "";
    QTest::newRow("alarm already past") << 4 << qint64(60000) << qint64(-1000) << AlarmExpired;
    QTest::newRow("both past: the moment is told") << 4 << qint64(-5000) << qint64(-1000) << Expired;
}

void TestTimer::armingChecks()
{
    QFETCH(int, action);
    QFETCH(qint64, msAhead);
    QFETCH(qint64, wakeMsAhead);
    QFETCH(QString, message);
    TimerPage p;
    p.arm(action, msAhead, wakeMsAhead);
    const bool armed = message.isEmpty();
    QCOMPARE(p.status()->text(), message);
    QCOMPARE(p.timerOn("Timer1"), armed);
    QCOMPARE(p.resetBtn()->isEnabled(), armed);
    for (const char *name :
         {"TimerSetBtn", "TimerDatePicker", "TimerTimePicker", "TimerActionComboBox", "TimerCommandEdit",
          "CloseMeOnExecChBox", "WakeUpDatePicker", "WakeUpTimePicker"})
        QVERIFY2(p.find<QWidget>(name)->isEnabled() == !armed, name);
    // The moment is kept even when it is refused.
    QCOMPARE(p.window->state().TimerTime, DateTime::fromQDateTime(p.clock.now().addMSecs(msAhead)));
    QCOMPARE(p.window->state().ResetRemark, armed ? QString("Таймер успешно отключен.") : QString());
    // Kept awake while armed, with the action and its moment in the reason.
    QCOMPARE(p.platform.idleInhibitedFor.isEmpty(), !armed);
    if (armed && action >= 0)
        QVERIFY2(p.platform.idleInhibitedFor.contains(p.actions()->currentText()),
                 qPrintable(p.platform.idleInhibitedFor));
}

void TestTimer::rejectedMomentShowsAtNextShowing()
{
    TimerPage p;
    // Showing the page offers now; pressing at once finds that moment already gone.
    QCOMPARE(p.find<QTimeEdit>("TimerTimePicker")->time(), p.clock.now().time());
    p.clock.advanceMSecs(300);
    p.setBtn()->click();
    QCOMPARE(p.status()->text(), Expired);

    const QDateTime rejected = p.clock.now().addSecs(-3600);
    p.setMoment("TimerDatePicker", "TimerTimePicker", rejected);
    p.setBtn()->click();
    p.tabs()->setCurrentIndex(0);
    QCOMPARE(p.status()->text(), QString()); // leaving the page empties its status line
    p.clock.advanceMSecs(5000);
    p.tabs()->setCurrentIndex(2);
    QCOMPARE(p.find<QDateEdit>("TimerDatePicker")->date(), rejected.date());
    QCOMPARE(p.find<QTimeEdit>("TimerTimePicker")->time(), rejected.time());
}

void TestTimer::blankCommandDisablesSetButton_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("page"); // the extra fields shown, empty: none
    QTest::newRow("command, empty") << 3 << "" << false << "CommandPage";
    QTest::newRow("command, blanks and tabs") << 3 << " \t \t" << false << "CommandPage";
    QTest::newRow("command, one letter") << 3 << "  x " << true << "CommandPage";
    QTest::newRow("command, no-break space") << 3 << QString::fromUtf8("\u00a0") << true << "CommandPage";
    QTest::newRow("alarm, empty command") << 4 << "" << true << "WakeUpTimerPage";
    QTest::newRow("close, empty command") << 0 << "" << true << "";
    QTest::newRow("none selected") << -1 << "" << true << "";
}

void TestTimer::blankCommandDisablesSetButton()
{
    QFETCH(int, action);
    QFETCH(QString, command);
    QFETCH(bool, enabled);
    QFETCH(QString, page);
    TimerPage p;
    p.find<QLineEdit>("TimerCommandEdit")->setText("placeholder");
    p.actions()->setCurrentIndex(action);
    auto *edit = p.find<QLineEdit>("TimerCommandEdit");
    edit->clear();
    QTest::keyClicks(edit, command);
    QCOMPARE(p.setBtn()->isEnabled(), enabled);
    auto *note = p.find<QStackedWidget>("ElementsNote");
    QCOMPARE(note->isVisible(), !page.isEmpty());
    if (!page.isEmpty())
        QCOMPARE(note->currentWidget()->objectName(), page);
}

void TestTimer::countdownAndLastMinute()
{
    TimerPage p;
    p.moment = p.clock.now().addSecs(2 * 86400 + 61);
    p.arm(0, p.clock.now().msecsTo(p.moment));
    auto bold = [&] { return p.status()->font().bold(); };
    auto red = [&] { return p.status()->palette().color(QPalette::Text) == QColor(Qt::red); };

    p.tickAt(-(2 * 86400000LL + 60500));
    QCOMPARE(p.panel(0), QString("2 дня 00:01:00"));
    QCOMPARE(p.status()->text(), QString("ОСТАЛОСЬ 2 ДНЯ 00:01:00"));
    QCOMPARE(p.hint(), QString("Ondavo - Таймер сработает через 2 дня 00:01:00"));
    QVERIFY(!bold() && !red());

    p.tickAt(-59500);
    QCOMPARE(p.panel(0), QString("00:00:59"));
    QVERIFY(bold() && red());

    // On another tab the colour is left alone, and the status line stays empty until shown.
    p.tabs()->setCurrentIndex(0);
    p.tickAt(-70500);
    QVERIFY(bold() && red());
    p.tabs()->setCurrentIndex(2);
    p.tickAt(-69500);
    QVERIFY(!bold() && !red());
    QCOMPARE(p.status()->text(), QString("ОСТАЛОСЬ 00:01:09"));
}

void TestTimer::balloonOnceAt45Seconds()
{
    TimerPage p;
    p.moment = p.clock.now().addSecs(120);
    p.arm(1, 120000);
    TrayIcon *tray = p.window->trayIcon();
    p.tickAt(-46500);
    QVERIFY(!tray->isAnimating());
    p.tickAt(-45500);
    QVERIFY(tray->isAnimating());
    // A second tick that also sees 45 seconds shows no second balloon; the animation says it
    // was shown, and a click on the icon ends it.
    p.tickAt(-45100);
    QVERIFY(tray->isAnimating());
    emit tray->systemTrayIcon()->activated(QSystemTrayIcon::Trigger);
    QVERIFY(!tray->isAnimating());
    QCOMPARE(tray->iconIndex(), 0);
}

void TestTimer::disarmingClearsEverything_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("user's reset") << "reset";
    QTest::newRow("the moment") << "moment";
    QTest::newRow("the wake-up") << "wake-up";
}

void TestTimer::disarmingClearsEverything()
{
    QFETCH(QString, how);
    TimerPage p;
    p.moment = p.clock.now().addSecs(50);
    p.arm(how == "reset" ? 2 : how == "moment" ? -1 : 4, 50000, 100000);
    p.tickAt(-45500);
    QVERIFY(p.window->trayIcon()->isAnimating());
    if (how == "reset") {
        p.resetBtn()->click();
    } else {
        p.tickAt(0);
        if (how == "wake-up") {
            QVERIFY(p.timerOn("WakeUpTimer"));
            p.tickAt(50000, "WakeUpTimer");
        }
    }
    QVERIFY(!p.timerOn("Timer1"));
    QVERIFY(!p.timerOn("WakeUpTimer"));
    QVERIFY(p.window->state().TimerTime.isNull());
    QCOMPARE(p.panel(0), QString());
    QCOMPARE(p.hint(), QString("Ondavo"));
    QVERIFY(!p.window->trayIcon()->isAnimating());
    QVERIFY(p.setBtn()->isEnabled());
    QVERIFY(!p.resetBtn()->isEnabled());
    QCOMPARE(p.platform.idleInhibitedFor, QString());
    if (how != "reset")
        QCOMPARE(p.status()->text(), QString());
}

void TestTimer::resetRemarkByLastTick_data()
{
    QTest::addColumn<qint64>("lastTickMs"); // before the moment; 0: no tick yet
    QTest::addColumn<QString>("remark");
    QTest::newRow("no tick yet") << qint64(0) << "ТАЙМЕР УСПЕШНО ОТКЛЮЧЕН.";
    QTest::newRow("30.5 s") << qint64(30500) << "ТАЙМЕР УСПЕШНО ОТКЛЮЧЕН.";
    QTest::newRow("29.5 s") << qint64(29500) << "ВЫ МОЛОДЕЦ. УСПЕЛИ ОТКЛЮЧИТЬ ТАЙМЕР.";
    QTest::newRow("5.5 s") << qint64(5500) << "ОСТАНОВЛЕН ЗА 5 СЕК ДО КОНЦА. ВСЁ БАЛУЕТЕСЬ, ШТИРЛИЦ.";
    QTest::newRow("1.5 s") << qint64(1500) << "ОСТАНОВЛЕН ЗА 1 СЕК ДО КОНЦА. НА ЭТОТ РАЗ МИР УЦЕЛЕЛ!";
    QTest::newRow("0.5 s") << qint64(500) << "ОСТАНОВЛЕН ЗА 0 СЕК ДО КОНЦА. ВСЁ БАЛУЕТЕСЬ, ШТИРЛИЦ.";
}

void TestTimer::resetRemarkByLastTick()
{
    QFETCH(qint64, lastTickMs);
    QFETCH(QString, remark);
    TimerPage p;
    p.moment = p.clock.now().addSecs(40);
    p.arm(0, 40000);
    if (lastTickMs)
        p.tickAt(-lastTickMs);
    QVERIFY(p.status()->text().startsWith("ОСТАЛОСЬ") == (lastTickMs != 0));
    p.resetBtn()->click();
    QCOMPARE(p.status()->text(), remark);
    QCOMPARE(p.status()->palette().color(QPalette::Text), QColor(0, 128, 0));
    QVERIFY(!p.status()->font().bold());
    QVERIFY(!p.window->state().Closing);
}

void TestTimer::actionRunsOnceAtTheMoment_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("calls"); // to the system, after the armed lock
    QTest::addColumn<bool>("closing");
    QTest::newRow("close") << 0 << "" << QStringList{"release"} << true;
    QTest::newRow("power off") << 1 << "" << QStringList{"release", "poweroff"} << false;
    QTest::newRow("sleep") << 2 << "" << QStringList{"release", "suspend"} << false;
    QTest::newRow("command line") << 3 << " touch \"/tmp/a b\" "
                                  << QStringList{"release", "start touch /tmp/a b"} << false;
    QTest::newRow("address") << 3 << "http://example.org/"
                             << QStringList{"release", "open http://example.org/"} << false;
    QTest::newRow("none selected") << -1 << "" << QStringList{"release"} << false;
}

void TestTimer::actionRunsOnceAtTheMoment()
{
    QFETCH(int, action);
    QFETCH(QString, command);
    QFETCH(QStringList, calls);
    QFETCH(bool, closing);
    TimerPage p;
    p.find<QLineEdit>("TimerCommandEdit")->setText(command);
    p.moment = p.clock.now().addSecs(10);
    p.arm(action, 10000);
    p.platform.calls.clear();
    const int navigations = p.radio()->navigations.size();

    p.tickAt(-500);
    QVERIFY(p.platform.calls.isEmpty());
    QCOMPARE(p.panel(0), QString("00:00:00"));
    p.tickAt(3);
    QCOMPARE(p.platform.calls, calls);
    QCOMPARE(p.window->state().Closing, closing);
    QCOMPARE(p.radio()->navigations.size(), navigations + (closing ? 1 : 0));
    QCOMPARE(p.radio()->stops, action == 2 ? 1 : 0);
    QVERIFY(!p.find<QTimer>("CloseOnExecTimer")->isActive());
    // The tick disarmed before acting: another tick finds nothing to do.
    p.tickAt(1000);
    QCOMPARE(p.platform.calls, calls);
}

void TestTimer::closeAfterCommandKeepsWindowLive()
{
    TimerPage p;
    p.find<QLineEdit>("TimerCommandEdit")->setText("no-such-program --flag");
    p.find<QCheckBox>("CloseMeOnExecChBox")->setChecked(true);
    p.platform.startSucceeds = false;
    p.moment = p.clock.now().addSecs(5);
    p.arm(3, 5000);
    p.tickAt(0);
    QVERIFY(p.platform.calls.contains("start no-such-program --flag"));
    // A second passes with the window answering, then the ordinary closing sequence starts,
    // though the command could not be started.
    auto *wait = p.find<QTimer>("CloseOnExecTimer");
    QVERIFY(wait->isActive());
    QCOMPARE(wait->interval(), 1000);
    QVERIFY(!p.window->state().Closing);
    p.tick("CloseOnExecTimer");
    QVERIFY(p.window->state().Closing);
    QVERIFY(p.radio()->lastUrl().toString().contains("action=logoff"));
}

void TestTimer::quietSleepToWakeUp()
{
    TimerPage p;
    p.moment = p.clock.now().addSecs(30);
    p.arm(4, 30000, 90000);
    p.tickAt(0);
    // The page looks armed again, only "Снять" usable, and the radio goes quiet.
    QVERIFY(p.timerOn("WakeUpTimer"));
    QVERIFY(!p.timerOn("Timer1"));
    QVERIFY(p.resetBtn()->isEnabled());
    QVERIFY(!p.setBtn()->isEnabled());
    QCOMPARE(p.panel(1), SleepPanel);
    QVERIFY2(p.radio()->lastUrl().toString().contains("&action=sleep&client=Ondavo3&uptime="),
             qPrintable(p.radio()->lastUrl().toString()));
    QVERIFY(p.platform.idleInhibitedFor.startsWith("Будильник Ondavo"));

    p.tickAt(59500, "WakeUpTimer");
    QCOMPARE(p.panel(0), QString("00:00:00"));
    QCOMPARE(p.hint(), QString("Ondavo - Таймер сработает через 00:00:00"));
    QVERIFY(p.timerOn("WakeUpTimer"));
    // The wake-up tick comes at the wake-up moment itself.
    QCOMPARE(p.find<QTimer>("WakeUpTimer")->interval(), 500);

    p.tickAt(60000, "WakeUpTimer");
    QVERIFY(!p.timerOn("WakeUpTimer"));
    QVERIFY(p.radio()->lastUrl().toString().contains("action=login"));
    QCOMPARE(p.panel(1), QString("Пожалуйста подождите. Производится подключение."));
    QCOMPARE(p.panel(0), QString());
    QCOMPARE(p.hint(), QString("Ondavo"));
    QVERIFY(p.setBtn()->isEnabled());
    QCOMPARE(p.platform.idleInhibitedFor, QString());
}

void TestTimer::quietSleepResetByUser()
{
    TimerPage p;
    p.moment = p.clock.now().addSecs(30);
    p.arm(4, 30000, 3600000);
    p.tickAt(-500); // the last countdown tick leaves the remark for 0 seconds
    p.tickAt(0);
    const int navigations = p.radio()->navigations.size();
    p.resetBtn()->click();
    QVERIFY(!p.timerOn("WakeUpTimer"));
    QCOMPARE(p.radio()->navigations.size(), navigations + 1);
    QVERIFY(p.radio()->lastUrl().toString().contains("action=login"));
    QCOMPARE(p.status()->text(), QString("ОСТАНОВЛЕН ЗА 0 СЕК ДО КОНЦА. ВСЁ БАЛУЕТЕСЬ, ШТИРЛИЦ."));
    QCOMPARE(p.platform.idleInhibitedFor, QString());
}

void TestTimer::lateTickIsATickAtTheMoment()
{
    TimerPage p;
    p.moment = p.clock.now().addSecs(100);
    p.arm(2, 100000);
    p.tickAt(-80500);
    // The machine slept through the moment and wakes 45 s after it.
    p.tickAt(45200);
    QVERIFY(!p.window->trayIcon()->isAnimating()); // no balloon for a moment that has passed
    QCOMPARE(p.platform.calls.last(), QString("suspend"));
    QVERIFY(p.status()->font().bold()); // the last style: the moment itself, red and bold
}

void TestTimer::resumeTicksAtOnce()
{
    TimerPage p;
    p.moment = p.clock.now().addSecs(100);
    p.arm(1, 100000);
    QVERIFY(p.find<QTimer>("Timer1")->remainingTime() > 0);
    p.clock.set(p.moment.addSecs(600));
    emit p.platform.systemResumed();
    QTRY_COMPARE(p.platform.calls.last(), QString("poweroff"));
}

void TestTimer::statusLineForm()
{
    TimerPage p;
    QLineEdit *status = p.status();
    // Bold by design, and it can be taken away at run time.
    QVERIFY(status->font().bold());
    p.resetBtn()->setEnabled(true);
    p.resetBtn()->click();
    QVERIFY(!status->font().bold());
    // It widens with its group box, keeping its left edge.
    const int width = status->width();
    p.window->resize(p.window->maximumSize());
    QTRY_COMPARE(status->width(), width + p.window->maximumWidth() - p.window->minimumWidth());
    QCOMPARE(status->x(), 36);
    // Coming to it by Tab does not select what it says.
    QVERIFY(QTest::qWaitForWindowActive(p.window.get()));
    p.resetBtn()->setEnabled(true);
    p.resetBtn()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(p.resetBtn(), Qt::Key_Tab);
    QTRY_VERIFY(status->hasFocus());
    QVERIFY(!status->hasSelectedText());
    // Each action row is 16 px high.
    QComboBox *list = p.actions();
    QCOMPARE(list->view()->sizeHintForRow(0), 16);
}

QTEST_MAIN(TestTimer)
#include "tst_timer.moc"
