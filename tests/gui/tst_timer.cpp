#include "service/requests.h"
#include "settings/localedatetime.h"
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
#include <QUrlQuery>
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
    // The wall clock moves on and the countdown (or the wake-up) ticks.
    void tickAt(qint64 msFromMoment, bool wakeUp = false)
    {
        clock.set(moment.addMSecs(msFromMoment));
        wakeUp ? window->timer()->onWakeUpTick() : window->timer()->tick();
    }
    TimerModel::Phase phase() const { return window->timer()->phase(); }
    QDateTime moment; // where tickAt counts from
};
} // namespace

class TestTimer : public QObject
{
    Q_OBJECT
private slots:
    void armingThroughThePage_data();
    void armingThroughThePage();
    void rejectedMomentShowsAtNextShowing();
    void blankCommandDisablesSetButton_data();
    void blankCommandDisablesSetButton();
    void countdownAndLastMinute();
    void balloonOnceAt45Seconds();
    void disarmingClearsEverything_data();
    void disarmingClearsEverything();
    void resetShowsRemarkInGreen();
    void actionsReachThePanes_data();
    void actionsReachThePanes();
    void failuresAreSaid_data();
    void failuresAreSaid();
    void quietSleepToWakeUp();
    void snoozeFromTheMenu_data();
    void snoozeFromTheMenu();
    void statusLineForm();
};

void TestTimer::armingThroughThePage_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<qint64>("msAhead");
    QTest::addColumn<QString>("message"); // empty: armed
    QTest::newRow("a minute ahead") << 1 << qint64(60000) << "";
    QTest::newRow("a millisecond ago") << 2 << qint64(-1) << Expired;
    QTest::newRow("alarm already past") << 4 << qint64(60000) << AlarmExpired;
}

// What the pickers say reaches the model, and the page locks while armed.
void TestTimer::armingThroughThePage()
{
    QFETCH(int, action);
    QFETCH(qint64, msAhead);
    QFETCH(QString, message);
    TimerPage p;
    p.arm(action, msAhead, -1000);
    const bool armed = message.isEmpty();
    QCOMPARE(p.status()->text(), message);
    QCOMPARE(p.window->timer()->timerTime(), DateTime::fromQDateTime(p.clock.now().addMSecs(msAhead)));
    QCOMPARE(int(p.window->timer()->action()), action);
    QCOMPARE(p.resetBtn()->isEnabled(), armed);
    for (const char *name :
         {"TimerSetBtn", "TimerDatePicker", "TimerTimePicker", "TimerActionComboBox", "TimerCommandEdit",
          "CloseMeOnExecChBox", "WakeUpDatePicker", "WakeUpTimePicker"})
        QVERIFY2(p.find<QWidget>(name)->isEnabled() == !armed, name);
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
            QCOMPARE(p.phase(), TimerModel::Phase::QuietSleep);
            p.tickAt(50000, true);
        }
    }
    QCOMPARE(p.phase(), TimerModel::Phase::Idle);
    QCOMPARE(p.window->timer()->nextTickMs(), -1);
    QVERIFY(p.window->timer()->timerTime().isNull());
    QCOMPARE(p.panel(0), QString());
    QCOMPARE(p.hint(), QString("Ondavo"));
    QVERIFY(!p.window->trayIcon()->isAnimating());
    QVERIFY(p.setBtn()->isEnabled());
    QVERIFY(!p.resetBtn()->isEnabled());
    QCOMPARE(p.platform.idleInhibitedFor, QString());
    if (how != "reset")
        QCOMPARE(p.status()->text(), QString());
}

void TestTimer::resetShowsRemarkInGreen()
{
    TimerPage p;
    p.moment = p.clock.now().addSecs(40);
    p.arm(0, 40000);
    p.tickAt(-1500);
    QVERIFY(p.status()->font().bold());
    p.resetBtn()->click();
    QCOMPARE(p.status()->text(), QString("ОСТАНОВЛЕН ЗА 1 СЕК ДО КОНЦА. НА ЭТОТ РАЗ МИР УЦЕЛЕЛ!"));
    QCOMPARE(p.status()->palette().color(QPalette::Text), QColor(0, 128, 0));
    QVERIFY(!p.status()->font().bold());
    QVERIFY(!p.window->closingState()->isClosing());
}

void TestTimer::actionsReachThePanes_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<bool>("closing");
    QTest::addColumn<int>("stops"); // of the radio pane
    QTest::newRow("close") << 0 << true << 0;
    QTest::newRow("sleep stops the panes") << 2 << false << 1;
    QTest::newRow("none selected") << -1 << false << 0;
}

void TestTimer::actionsReachThePanes()
{
    QFETCH(int, action);
    QFETCH(bool, closing);
    QFETCH(int, stops);
    TimerPage p;
    p.moment = p.clock.now().addSecs(10);
    p.arm(action, 10000);
    p.tickAt(3);
    QCOMPARE(p.window->closingState()->isClosing(), closing);
    QCOMPARE(Requests::isLogoff(p.radio()->lastUrl()), closing);
    QCOMPARE(p.radio()->stops, stops);
    QCOMPARE(p.panel(0), QString());
}

void TestTimer::failuresAreSaid_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<bool>("hidden");    // the window is in the tray
    QTest::addColumn<QString>("status"); // the status line after the failure
    QTest::addColumn<bool>("login");     // the radio logs in again
    QTest::newRow("command, window shown")
        << 3 << false << "КОМАНДА НЕ ЗАПУЩЕНА: NO SUCH FILE OR DIRECTORY" << false;
    QTest::newRow("sleep refused, in the tray") << 2 << true << "КОМПЬЮТЕР НЕ УСНУЛ: ACCESS DENIED" << true;
}

// A failure of the system is said where the timer speaks, and in the tray when nobody looks; the
// program stays to say it, even when it was to close after the command.
void TestTimer::failuresAreSaid()
{
    QFETCH(int, action);
    QFETCH(bool, hidden);
    QFETCH(QString, status);
    QFETCH(bool, login);
    TimerPage p;
    p.find<QLineEdit>("TimerCommandEdit")->setText("no-such-program");
    p.find<QCheckBox>("CloseMeOnExecChBox")->setChecked(true);
    p.platform.startSucceeds = false;
    p.moment = p.clock.now().addSecs(5);
    p.arm(action, 5000);
    if (hidden)
        p.window->hide();
    QSignalSpy balloons(p.window->trayIcon(), &TrayIcon::balloonShown);
    p.tickAt(0);
    const int navigations = p.radio()->navigations.size();
    if (action == 2)
        emit p.platform.requestFailed(Platform::Request::Suspend, "Access denied");
    QCOMPARE(p.status()->text(), status);
    QCOMPARE(balloons.size(), hidden ? 1 : 0);
    if (hidden)
        QVERIFY(balloons.first().at(2).toBool()); // the warning icon
    QCOMPARE(p.radio()->navigations.size(), navigations + (login ? 1 : 0));
    QVERIFY(p.radio()->lastUrl().toString().contains("action=login"));
    QVERIFY(!p.window->timer()->isCloseAfterCommandPending());
    QVERIFY(!p.window->closingState()->isClosing());
}

// What quiet sleep shows: the page armed again, the radio told to go quiet, the countdown to the
// wake-up, and the login after it.
void TestTimer::quietSleepToWakeUp()
{
    TimerPage p;
    p.moment = p.clock.now().addSecs(30);
    p.arm(4, 30000, 90000);
    p.tickAt(0);
    QVERIFY(p.resetBtn()->isEnabled());
    QVERIFY(!p.setBtn()->isEnabled());
    QCOMPARE(p.panel(1), SleepPanel);
    QVERIFY2(p.radio()->lastUrl().toString().contains("&action=sleep&client=Ondavo3&uptime="),
             qPrintable(p.radio()->lastUrl().toString()));
    p.tickAt(59500, true);
    // Below the countdown, the alarm's day and time, as the tray shows it without the window.
    const QString wakeUp = QLocale(QLocale::Russian).toString(p.moment.addSecs(60), "ddd HH:mm").toLower();
    QCOMPARE(p.hint(), "Ondavo - Таймер сработает через 00:00:00\nБудильник: " + wakeUp);

    p.tickAt(60000, true);
    QVERIFY(p.radio()->lastUrl().toString().contains("action=login"));
    QCOMPARE(p.panel(1), QString("Пожалуйста подождите. Производится подключение."));
}

void TestTimer::snoozeFromTheMenu_data()
{
    QTest::addColumn<bool>("touch");  // the user clicks in the window first
    QTest::addColumn<bool>("byKeys"); // the menu opens with Shift+F10, not the right button
    QTest::newRow("snoozed") << false << false;
    QTest::newRow("snoozed from the keyboard") << false << true;
    QTest::newRow("the window was touched") << true << false;
}

void TestTimer::snoozeFromTheMenu()
{
    QFETCH(bool, touch);
    QFETCH(bool, byKeys);
    TimerPage p;
    p.moment = p.clock.now().addSecs(30);
    p.arm(4, 30000, 60000);
    p.tickAt(0);
    p.tickAt(30000, true);
    QAction *snooze = p.find<QAction>("SnoozeItem");
    QVERIFY(p.window->trayPopupMenu()->actions().contains(snooze));
    QVERIFY(snooze->isVisible());
    // A right-click or Shift+F10 opens the menu that offers it; a left click is a touch.
    if (byKeys)
        QTest::keyClick(p.tabs()->tabBar(), Qt::Key_F10, Qt::ShiftModifier);
    else
        QTest::mouseClick(p.window.get(), Qt::RightButton);
    QVERIFY(snooze->isVisible());
    if (byKeys) {
        QTRY_VERIFY(p.window->trayPopupMenu()->isVisible());
        QVERIFY(!p.window->closingState()->isClosing()); // Shift+F10 is not F10
        p.window->trayPopupMenu()->hide();
    }
    if (touch)
        QTest::mouseClick(p.status(), Qt::LeftButton);
    QCOMPARE(snooze->isVisible(), !touch);
    if (touch)
        return;
    snooze->trigger();
    QVERIFY(!snooze->isVisible());
    const QString wakeUp =
        LocaleDateTime::format(DateTime::fromQDateTime(p.clock.now().addSecs(600)), QLocale());
    QCOMPARE(QUrlQuery(p.radio()->lastUrl()).queryItemValue("uptime", QUrl::FullyDecoded), wakeUp);
    QCOMPARE(p.panel(1), SleepPanel);
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
