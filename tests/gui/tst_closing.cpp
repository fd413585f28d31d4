#include "windowfixture.h"

#include "service/requests.h"

#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QtTest>

namespace {
bool isLogoff(const QUrl &url)
{
    return url.toString().contains("action=logoff");
}
} // namespace

class TestClosing : public QObject
{
    Q_OBJECT
private slots:
    void firstRequestSendsLogoffAndWaits();
    void closesWhenLogoffPageCompletes();
    void everyCloseSourceStartsTheSequence_data();
    void everyCloseSourceStartsTheSequence();
    void refusedLogoffShowsErrorAndUserCanStillClose();
    void unreachableServiceClosesAtOnce();
    void unwritableSettingsStillClose();
    void sessionEndDoesNotBlock();
    void refusedRequestKeepsTheClosingTick();
    void secondStartBringsWindowForward();
};

void TestClosing::firstRequestSendsLogoffAndWaits()
{
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    w->show();
    QSignalSpy closed(w, &TOndavoForm1::closed);

    QVERIFY(!w->close());
    QVERIFY(w->isVisible());
    QCOMPARE(w->closingState()->state(), ClosingState::State::WaitingForLogoff);
    QVERIFY(isLogoff(fx.radio()->lastUrl()));
    QCOMPARE(fx.radio()->lastUrl().toString(),
             QString("http://svc.test:8470/redirector/?username=&passw=&action=logoff"));
    QCOMPARE(fx.find<QLabel>("StatusPanel1")->text(),
             QString("Пожалуйста подождите. Идет закрытие соединений."));
    QVERIFY(w->closingState()->msToTick() >= 0);
    QCOMPARE(closed.count(), 0);
    QCOMPARE(fx.radio()->stops, 0);
}

void TestClosing::closesWhenLogoffPageCompletes()
{
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    w->show();
    QSignalSpy closed(w, &TOndavoForm1::closed);
    w->close();
    const int sent = fx.radio()->navigations.size();

    fx.radio()->complete(fx.radio()->lastUrl());
    QCOMPARE(closed.count(), 1);
    QVERIFY(!w->isVisible());
    // The passing request hands a second logoff to the pane, then saves and stops the panes.
    QCOMPARE(fx.radio()->navigations.size(), sent + 1);
    QVERIFY(isLogoff(fx.radio()->lastUrl()));
    QCOMPARE(fx.radio()->stops, 1);
    QVERIFY(QFile::exists(fx.settingsPath()));
    QCOMPARE(w->closingState()->msToTick(), -1);
}

void TestClosing::everyCloseSourceStartsTheSequence_data()
{
    QTest::addColumn<QString>("source");
    QTest::newRow("menu item") << "menu";
    QTest::newRow("F10") << "f10";
    QTest::newRow("window close") << "close";
}

void TestClosing::everyCloseSourceStartsTheSequence()
{
    QFETCH(QString, source);
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    if (source == "menu")
        w->trayPopupMenu()->actions().last()->trigger();
    else if (source == "f10")
        QTest::keyClick(w, Qt::Key_F10);
    else
        w->close();
    QVERIFY(w->closingState()->isClosing());
    QVERIFY(w->isVisible());
    QVERIFY(isLogoff(fx.radio()->lastUrl()));
}

void TestClosing::refusedLogoffShowsErrorAndUserCanStillClose()
{
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    w->show();
    QSignalSpy closed(w, &TOndavoForm1::closed);
    fx.radio()->refuseNavigation = true;

    QVERIFY(!w->close());
    QCOMPARE(w->closingState()->state(), ClosingState::State::Unreachable);
    QCOMPARE(w->closingState()->msToTick(), -1);
    QCOMPARE(openBoxes(w).size(), 1);
    QCOMPARE(openBoxes(w).first()->text(), fx.radio()->errorString());
    openBoxes(w).first()->accept();

    // The user asks again: the program goes, although the service could not be told.
    QVERIFY(w->close());
    QCOMPARE(closed.count(), 1);
    QCOMPARE(fx.radio()->stops, 1);
    QVERIFY(QFile::exists(fx.settingsPath()));
}

void TestClosing::unreachableServiceClosesAtOnce()
{
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    w->show();
    QSignalSpy closed(w, &TOndavoForm1::closed);
    w->close();
    // A page that fails while closing, other than the logoff, changes nothing.
    QVERIFY(fx.radio()->fail(QUrl("http://svc.test:8470/ads/frame.html")));
    QCOMPARE(closed.count(), 0);
    // The logoff itself fails: the service cannot be told, so the window does not wait for the
    // next closing tick; no partner or local page undoes the logoff.
    QVERIFY(fx.radio()->fail(fx.radio()->lastUrl()));
    QCOMPARE(closed.count(), 1);
    QVERIFY(Requests::isLogoff(fx.radio()->lastUrl()));
}

void TestClosing::unwritableSettingsStillClose()
{
    // Root ignores file modes, so the write is made to fail in a way root cannot bypass:
    // settings.ini is a directory, which no file can replace.
    WindowFixture fx;
    QVERIFY(QDir().mkpath(fx.settingsPath()));
    TOndavoForm1 *w = fx.create();
    w->show();
    QSignalSpy closed(w, &TOndavoForm1::closed);
    // A power-off is armed for a moment that comes while the box is up.
    const QDateTime moment = fx.clock.now().addSecs(5);
    TimerSettings powerOff;
    powerOff.action = int(TimerModel::Action::PowerOff);
    powerOff.moment = DateTime::fromQDateTime(moment);
    QVERIFY(w->timer()->arm(powerOff).isEmpty());
    w->close();
    fx.radio()->complete(fx.radio()->lastUrl());
    // The armed timer ended with the window, and so did the hold on the system.
    QCOMPARE(w->timer()->nextTickMs(), -1);
    QCOMPARE(fx.platform.idleInhibitedFor, QString());
    fx.clock.set(moment.addSecs(1));
    w->timer()->tick();
    QVERIFY(!fx.platform.calls.contains("poweroff"));
    // The box says why and holds the end of the program until it is answered, or for a while
    // when nobody is there to answer it; the window is gone meanwhile.
    QMessageBox *box = writeFailureBox();
    QVERIFY(box);
    QCOMPARE(box->text(), "Unable to write to " + fx.settingsPath());
    QVERIFY(!w->isVisible());
    QCOMPARE(closed.count(), 0);
    w->closingState()->writeFailureBoundReached();
    QCOMPARE(closed.count(), 1);
    QVERIFY(QFileInfo(fx.settingsPath()).isDir());
}

void TestClosing::sessionEndDoesNotBlock()
{
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    w->show();
    QSignalSpy closed(w, &TOndavoForm1::closed);
    w->endSession();
    QVERIFY(isLogoff(fx.radio()->lastUrl()));
    // The settings are on disk before the session may end, and no box waits for an answer.
    QVERIFY(QFile::exists(fx.settingsPath()));
    QVERIFY(openBoxes(w).isEmpty());
    // Written once: the close that follows does not write it again.
    QVERIFY(QFile::remove(fx.settingsPath()));
    w->closingState()->tick();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!QFile::exists(fx.settingsPath()));
}

void TestClosing::refusedRequestKeepsTheClosingTick()
{
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    w->show();
    w->close();
    const int first = w->closingState()->msToTick();
    QTest::qWait(150);
    // A late page of the login lands after the logoff went out, so the next request is refused too.
    fx.radio()->complete(
        QUrl("http://svc.test:8470/redirector/?username=&passw=&action=login&client=Ondavo3"));
    QVERIFY(!w->close());
    // Still counting toward the first tick, not started afresh.
    const int left = w->closingState()->msToTick();
    QVERIFY2(left >= 0 && left <= first - 100, qPrintable(QString::number(left)));
}

void TestClosing::secondStartBringsWindowForward()
{
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    w->RestoreFromTray();
    QCOMPARE(fx.platform.broughtToFront, QList<QWindow *>{w->windowHandle()});
}

QTEST_MAIN(TestClosing)
#include "tst_closing.moc"
