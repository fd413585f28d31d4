#include "platform/platform.h"
#include "radio/radiosession.h"
#include "ui/trayicon.h"
#include "windowfixture.h"

#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QWheelEvent>
#include <QtTest>

class TestTray : public QObject
{
    Q_OBJECT
private slots:
    void minimiseGoesToTray();
    void withoutTrayTheWindowStaysMinimised();
    void restoreFromTray_data();
    void restoreFromTray();
    void balloonClickShowsTimerPage();
    void animationStepsAndStops();
    void tabOpensAfterRest_data();
    void tabOpensAfterRest();
    void movementRestartsAndLeavingCancels();
    void restingOnShownTabChangesNothing();
    void aboutPageReadsVersionAtEveryShow();
    void linksOpenInBrowser_data();
    void linksOpenInBrowser();
    void contextMenuStaysAfterTrayMenu();
    void restoreWithRealPlatform();
    void startAtLoginItem_data();
    void startAtLoginItem();
    void wheelTurnsVolume_data();
    void wheelTurnsVolume();

private:
    static void moveOver(QWidget *target, const QPoint &pos)
    {
        QMouseEvent move(QEvent::MouseMove, pos, target->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(target, &move);
    }
    static void leave(QWidget *target)
    {
        QEvent ev(QEvent::Leave);
        QApplication::sendEvent(target, &ev);
    }
    static void activate(TOndavoForm1 *w, QSystemTrayIcon::ActivationReason reason)
    {
        emit w->trayIcon()->systemTrayIcon()->activated(reason);
    }
};

// The wheel over the icon turns the radio in steps of 5 %, on their grid; a touchpad's parts of a
// notch add up. The menu says the outcome.
void TestTray::wheelTurnsVolume_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<QList<int>>("deltas");
    QTest::addColumn<double>("volume");
    QTest::newRow("a notch down") << 1.0 << QList<int>{-120} << 0.95;
    QTest::newRow("two up") << 0.5 << QList<int>{120, 120} << 0.6;
    QTest::newRow("off the grid") << 0.42 << QList<int>{120} << 0.45;
    QTest::newRow("never past full") << 0.97 << QList<int>{240} << 1.0;
    QTest::newRow("never below silence") << 0.03 << QList<int>{-120, -120} << 0.0;
    QTest::newRow("a touchpad's halves") << 1.0 << QList<int>{-60, -60} << 0.95;
    QTest::newRow("half a notch") << 1.0 << QList<int>{-60} << 1.0;
}

void TestTray::wheelTurnsVolume()
{
    QFETCH(double, start);
    QFETCH(QList<int>, deltas);
    QFETCH(double, volume);
    WindowFixture fx;
    fx.create()->radio()->setVolume(start);
    QSystemTrayIcon *icon = fx.window->trayIcon()->systemTrayIcon();
    for (int delta : deltas) {
        QWheelEvent wheel(QPointF(), QPointF(), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(icon, &wheel);
    }
    QCOMPARE(fx.window->radio()->volume(), volume);
    QCOMPARE(fx.window->findChild<QMenu *>("VolumeMenu")->title(),
             QString("Громкость: %1 %").arg(qRound(volume * 100)));
}

void TestTray::minimiseGoesToTray()
{
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    w->showMinimized();
    QTRY_VERIFY(!w->isVisible());
    QVERIFY(w->trayIcon()->systemTrayIcon()->isVisible());
    // The panes and the closing sequence are untouched by hiding.
    QVERIFY(!w->closingState()->isClosing());
}

void TestTray::withoutTrayTheWindowStaysMinimised()
{
    WindowFixture fx;
    fx.trayAvailable = false;
    TOndavoForm1 *w = fx.create();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QVERIFY(!w->trayIcon()->systemTrayIcon()->isVisible());
    QVERIFY(fx.find<QTimer>("TrayRetryTimer")->isActive());

    w->showMinimized();
    QTest::qWait(50);
    QVERIFY(w->isVisible());
    QVERIFY(w->isMinimized());

    // A tray appears later: the icon shows up, and from then on minimising goes to the tray.
    w->showNormal();
    fx.trayAvailable = true;
    fx.tick("TrayRetryTimer");
    QVERIFY(w->trayIcon()->systemTrayIcon()->isVisible());
    QVERIFY(!fx.find<QTimer>("TrayRetryTimer")->isActive());
    w->showMinimized();
    QTRY_VERIFY(!w->isVisible());
}

void TestTray::restoreFromTray_data()
{
    QTest::addColumn<int>("reason");
    QTest::newRow("click") << int(QSystemTrayIcon::Trigger);
    QTest::newRow("double-click") << int(QSystemTrayIcon::DoubleClick);
    QTest::newRow("middle button") << int(QSystemTrayIcon::MiddleClick);
}

void TestTray::restoreFromTray()
{
    QFETCH(int, reason);
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    w->showMinimized();
    QTRY_VERIFY(!w->isVisible());
    w->trayIcon()->setAnimate(true);
    w->trayIcon()->setIconIndex(1);

    activate(w, QSystemTrayIcon::ActivationReason(reason));
    QVERIFY(w->isVisible());
    QVERIFY(!w->isMinimized());
    QVERIFY(!(w->windowFlags() & Qt::WindowStaysOnTopHint));
    QCOMPARE(fx.platform.broughtToFront, QList<QWindow *>{w->windowHandle()});
    QCOMPARE(w->trayIcon()->iconIndex(), 0);
    QVERIFY(!w->trayIcon()->isAnimating());
    // The right button only opens the menu.
    activate(w, QSystemTrayIcon::Context);
    QCOMPARE(fx.platform.broughtToFront.size(), 1);
}

void TestTray::balloonClickShowsTimerPage()
{
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    w->show();
    w->showMinimized();
    QTRY_VERIFY(!w->isVisible());
    emit w->trayIcon()->systemTrayIcon()->messageClicked();
    QVERIFY(w->isVisible());
    QCOMPARE(fx.find<QTabWidget>("PageControl1")->currentWidget()->objectName(), QString("TimersTabSheet"));
}

void TestTray::animationStepsAndStops()
{
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    TrayIcon *tray = w->trayIcon();
    auto *step = fx.find<QTimer>("TrayAnimationTimer");
    QCOMPARE(step->interval(), 500);
    tray->setAnimate(true);
    QVERIFY(step->isActive());
    const QList<int> expected{1, 0, 1, 0};
    for (int index : expected) {
        fx.tick("TrayAnimationTimer");
        QCOMPARE(tray->iconIndex(), index);
    }
    fx.tick("TrayAnimationTimer");
    activate(w, QSystemTrayIcon::Trigger);
    QCOMPARE(tray->iconIndex(), 0);
    QVERIFY(!step->isActive());
}

void TestTray::tabOpensAfterRest_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("edge"); // which point of the tab the pointer rests on
    QTest::newRow("clock, centre") << 1 << "centre";
    QTest::newRow("timer, left edge is inside") << 2 << "left";
    QTest::newRow("about, top edge is inside") << 3 << "top";
    QTest::newRow("right edge belongs to the next tab") << 2 << "right-of-previous";
}

void TestTray::tabOpensAfterRest()
{
    QFETCH(int, tab);
    QFETCH(QString, edge);
    WindowFixture fx;
    fx.platform.versionText = "1.0.7.7";
    TOndavoForm1 *w = fx.create();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    auto *tabs = fx.find<QTabWidget>("PageControl1");
    QTabBar *bar = tabs->tabBar();
    QPoint p = bar->tabRect(tab).center();
    if (edge == "left")
        p.setX(bar->tabRect(tab).left());
    else if (edge == "top")
        p.setY(bar->tabRect(tab).top());
    else if (edge == "right-of-previous")
        p = QPoint(bar->tabRect(tab - 1).left() + bar->tabRect(tab - 1).width(),
                   bar->tabRect(tab).center().y());

    moveOver(bar, p);
    QCOMPARE(w->state().HoverTabIndex, tab);
    QVERIFY(fx.find<QTimer>("AutoOpenTabTimer")->isActive());
    QCOMPARE(tabs->currentIndex(), 0);
    fx.tick("AutoOpenTabTimer");
    QCOMPARE(tabs->currentIndex(), tab);
    QVERIFY(!fx.find<QTimer>("AutoOpenTabTimer")->isActive());
    // The page's show handler ran.
    if (tab == 1)
        QCOMPARE(fx.clockPane()->navigations, QList<QUrl>{QUrl("http://svc.test:8470/clock/default/")});
    if (tab == 3)
        QCOMPARE(fx.find<QLabel>("VersionLabel")->text(), QString("Ver. 1.0.7.7"));
}

void TestTray::movementRestartsAndLeavingCancels()
{
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    w->show();
    auto *tabs = fx.find<QTabWidget>("PageControl1");
    QTabBar *bar = tabs->tabBar();
    auto *timer = fx.find<QTimer>("AutoOpenTabTimer");

    moveOver(bar, bar->tabRect(1).center());
    QVERIFY(timer->isActive());
    // Every movement stops the timer and starts a full interval again.
    moveOver(bar, bar->tabRect(2).center());
    QVERIFY(timer->isActive());
    QVERIFY(timer->remainingTime() > 150);
    QCOMPARE(w->state().HoverTabIndex, 2);

    leave(bar);
    QVERIFY(!timer->isActive());
    QCOMPARE(tabs->currentIndex(), 0);

    // The strip beside the tabs is outside every tab: the timer stops, the index stays.
    moveOver(bar, bar->tabRect(1).center());
    const QPoint beside(bar->tabRect(3).right() + 5, bar->tabRect(3).center().y());
    moveOver(tabs, bar->mapTo(tabs, beside));
    QVERIFY(!timer->isActive());
    QCOMPARE(w->state().HoverTabIndex, 1);
    QCOMPARE(tabs->currentIndex(), 0);
    QVERIFY(!fx.clockPane());
}

void TestTray::restingOnShownTabChangesNothing()
{
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    w->show();
    auto *tabs = fx.find<QTabWidget>("PageControl1");
    tabs->setCurrentIndex(1);
    QCOMPARE(fx.clockPane()->navigations.size(), 1);
    moveOver(tabs->tabBar(), tabs->tabBar()->tabRect(1).center());
    fx.tick("AutoOpenTabTimer");
    QCOMPARE(tabs->currentIndex(), 1);
    QCOMPARE(fx.clockPane()->navigations.size(), 1);
    QCOMPARE(w->state().HoverTabIndex, 1);
}

void TestTray::aboutPageReadsVersionAtEveryShow()
{
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    w->show();
    auto *tabs = fx.find<QTabWidget>("PageControl1");
    auto *label = fx.find<QLabel>("VersionLabel");
    QCOMPARE(label->text(), QString("Ver."));
    tabs->setCurrentIndex(3);
    QCOMPARE(label->text(), QString("Ver. "));
    tabs->setCurrentIndex(0);
    fx.platform.versionText = "1.0.7.7";
    tabs->setCurrentIndex(3);
    QCOMPARE(label->text(), QString("Ver. 1.0.7.7"));
}

void TestTray::linksOpenInBrowser_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("releasedOver"); // false: the button comes up off the label
    QTest::addColumn<QList<QUrl>>("opened");
    const QList<QUrl> home{QUrl("http://site.test/index.php?action=ondavo")};
    QTest::newRow("home") << "HomePageLabel" << true << home;
    QTest::newRow("update") << "UpdatePageLabel" << true
                            << QList<QUrl>{QUrl("http://site.test/index.php?action=ondavo&subact=download")};
    QTest::newRow("home, dragged off") << "HomePageLabel" << false << QList<QUrl>{};
    QTest::newRow("update, dragged off") << "UpdatePageLabel" << false << QList<QUrl>{};
    QTest::newRow("credit does nothing") << "Label2" << true << QList<QUrl>{};
    QTest::newRow("version does nothing") << "VersionLabel" << true << QList<QUrl>{};
}

void TestTray::linksOpenInBrowser()
{
    QFETCH(QString, label);
    QFETCH(bool, releasedOver);
    QFETCH(QList<QUrl>, opened);
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    w->show();
    fx.find<QTabWidget>("PageControl1")->setCurrentIndex(3);
    QWidget *target = fx.find<QWidget>(qPrintable(label));
    // The label that took the press gets the release, wherever the pointer is then.
    QTest::mousePress(target, Qt::LeftButton, {}, target->rect().center());
    QTest::mouseRelease(target, Qt::LeftButton, {},
                        releasedOver ? target->rect().center() : target->rect().bottomRight() + QPoint(5, 5));
    QCOMPARE(fx.platform.openedUrls, opened);
}

void TestTray::contextMenuStaysAfterTrayMenu()
{
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    w->show();
    QMenu *menu = w->trayPopupMenu();
    menu->popup(QPoint(10, 10));
    menu->hide();
    emit w->customContextMenuRequested(QPoint(20, 20));
    QVERIFY(menu->isVisible());
    menu->hide();
}

// The same ways back, through the real platform layer rather than the fake.
void TestTray::restoreWithRealPlatform()
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/ondavo-test-bus");
    WindowFixture fx;
    const std::unique_ptr<Platform> platform = createSystemPlatform();
    fx.env.platform = platform.get();
    TOndavoForm1 *w = fx.create();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    // With no tray on this platform the window stays minimised in the task bar; the icon's click
    // still brings it back.
    w->showMinimized();
    QTRY_VERIFY(w->isMinimized());
    activate(w, QSystemTrayIcon::Trigger);
    QTRY_VERIFY(w->isVisible());
    QVERIFY(!w->isMinimized());
    // A second start, while the window is minimised but still shown.
    w->setWindowState(Qt::WindowMinimized);
    QTRY_VERIFY(w->isMinimized() || !w->isVisible());
    w->RestoreFromTray();
    QTRY_VERIFY(w->isVisible() && !w->isMinimized());
    w->hide();
    w->RestoreFromTray();
    QTRY_VERIFY(w->isVisible() && !w->isMinimized());
}

void TestTray::startAtLoginItem_data()
{
    QTest::addColumn<bool>("there");   // the login entry exists when the menu opens
    QTest::addColumn<bool>("fails");   // changing it fails
    QTest::addColumn<bool>("checked"); // after a click
    QTest::newRow("turned on") << false << false << true;
    QTest::newRow("turned off") << true << false << false;
    QTest::newRow("cannot be changed: said, and left as it is") << false << true << false;
}

// The item shows the entry as it is now, not as the program last left it.
void TestTray::startAtLoginItem()
{
    QFETCH(bool, there);
    QFETCH(bool, fails);
    QFETCH(bool, checked);
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    fx.platform.atLogin = there;
    fx.platform.atLoginFails = fails;
    QAction *item = fx.find<QAction>("AutostartItem");
    emit w->trayPopupMenu()->aboutToShow();
    QCOMPARE(item->isChecked(), there);
    item->trigger();
    QCOMPARE(item->isChecked(), checked);
    QCOMPARE(fx.platform.atLogin, checked);
    QCOMPARE(openBoxes(w).size(), fails ? 1 : 0);
}

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
