// The closing sequence's transitions, without a window: the radio session on a fake pane plays
// the service, and the test plays the window, which asks to close again whenever it is told to.
#include "app/closingstate.h"
#include "fakes/fakepane.h"
#include "fakes/fakeplatform.h"
#include "radio/radiosession.h"

#include <QtTest>

class TestClosingState : public QObject
{
    Q_OBJECT
private slots:
    void transitions_data();
    void transitions();
};

void TestClosingState::transitions_data()
{
    // Steps: "close" a close request, "refuse" one whose logoff the pane cannot start, "logoff" /
    // "other" a page loaded, "failed" the logoff page failed to load, "tick" the closing tick,
    // "bound" the bound ran out, "session" the session is ending, "saved" / "unsaved" the window
    // closed with the settings written or not, "answer" the box was answered, "box bound" nobody
    // answered it in time.
    QTest::addColumn<QStringList>("steps");
    // Per step: 1 the window may close, 0 it may not, - nothing was asked.
    QTest::addColumn<QString>("results");
    QTest::addColumn<QString>("state");    // at the end
    QTest::addColumn<QStringList>("said"); // the pane's requests and what the window was told
    QTest::addColumn<bool>("ticking");     // the closing tick runs at the end

    const QStringList begun{"begun", "logoff"};
    QTest::newRow("logoff page closes") << QStringList{"close", "logoff"} << "01"
                                        << "WaitingForLogoff" << begun + QStringList{"logoff"} << true;
    QTest::newRow("logoff page before the request") << QStringList{"logoff", "close"} << "-1"
                                                    << "WaitingForLogoff" << begun << true;
    QTest::newRow("silent service: the tick closes")
        << QStringList{"close", "tick"} << "01"
        << "WaitingForLogoff" << begun + QStringList{"logoff"} << true;
    QTest::newRow("another page: the tick resends, the next closes")
        << QStringList{"close", "other", "tick", "tick"} << "0001"
        << "WaitingForLogoff" << begun + QStringList{"logoff", "logoff"} << true;
    QTest::newRow("pages before any request do not close") << QStringList{"logoff", "other"} << "--"
                                                           << "Open" << QStringList{} << false;
    QTest::newRow("endless fallback: the bound closes")
        << QStringList{"close", "other", "tick", "other", "bound"} << "00001"
        << "TimeUp" << begun + QStringList{"logoff"} << true;
    QTest::newRow("the logoff fails outright: nothing to wait for") << QStringList{"close", "failed"} << "01"
                                                                    << "Unreachable" << begun << true;
    QTest::newRow("refused logoff: said once, the next request passes")
        << QStringList{"refuse", "refuse"} << "01"
        << "Unreachable" << QStringList{"begun", "said"} << false;
    QTest::newRow("session ending: nobody to tell") << QStringList{"session", "refuse"} << "-0"
                                                    << "Unreachable" << QStringList{"begun"} << false;
    QTest::newRow("closed with the settings written")
        << QStringList{"close", "logoff", "saved", "tick", "close"} << "01--1"
        << "Ended" << begun + QStringList{"logoff", "finished"} << false;
    QTest::newRow("write failure: the box, then the end")
        << QStringList{"close", "tick", "unsaved", "answer"} << "01--"
        << "Ended" << begun + QStringList{"logoff", "box", "finished"} << false;
    QTest::newRow("write failure nobody answers: the box goes by itself")
        << QStringList{"close", "tick", "unsaved", "box bound"} << "01--"
        << "Ended" << begun + QStringList{"logoff", "box", "box gone", "finished"} << false;
    QTest::newRow("write failure at the session's end: no box")
        << QStringList{"session", "close", "tick", "unsaved"} << "-01-"
        << "Ended" << begun + QStringList{"logoff", "finished"} << false;
}

void TestClosingState::transitions()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, results);
    QFETCH(QString, state);
    QFETCH(QStringList, said);
    QFETCH(bool, ticking);
    FakePlatform platform;
    FakePane pane;
    QStringList log;
    pane.log = &log;
    RadioSession radio(&pane, &platform, {"svc.test", "partner.test", "http://site.test"});
    ClosingState closing(&radio);
    const QUrl logoffPage("http://svc.test/redirector/?username=&passw=&action=logoff");
    QString got;
    bool asked = false;
    // The window: every close request is a query, and a passing one closes.
    const auto ask = [&] {
        asked = true;
        got += closing.query() ? '1' : '0';
        if (closing.reportLogoffRefused())
            log << "said";
    };
    connect(&closing, &ClosingState::closeDue, ask);
    connect(&closing, &ClosingState::closingBegun, [&] { log << "begun"; });
    connect(&closing, &ClosingState::writeFailureDue, [&] { log << "box"; });
    connect(&closing, &ClosingState::writeFailureTimedOut, [&] {
        log << "box gone";
        closing.writeFailureAnswered();
    });
    connect(&closing, &ClosingState::finished, [&] { log << "finished"; });
    for (const QString &step : steps) {
        asked = false;
        pane.refuseNavigation = step == "refuse";
        if (step == "close" || step == "refuse")
            ask();
        else if (step == "logoff" || step == "other")
            pane.complete(step == "logoff" ? logoffPage
                                           : QUrl("http://partner.test/export/radio_player.html"));
        else if (step == "failed")
            pane.fail(logoffPage);
        else if (step == "tick")
            closing.tick();
        else if (step == "bound")
            closing.boundReached();
        else if (step == "session")
            closing.setSessionEnding();
        else if (step == "saved" || step == "unsaved")
            closing.closed(step == "saved");
        else if (step == "answer")
            closing.writeFailureAnswered();
        else if (step == "box bound")
            closing.writeFailureBoundReached();
        if (!asked)
            got += (step == "other" && closing.isClosing()) ? '0' : '-';
    }
    QCOMPARE(got, results);
    QCOMPARE(QMetaEnum::fromType<ClosingState::State>().valueToKey(int(closing.state())), state);
    QCOMPARE(log, said);
    QCOMPARE(closing.msToTick() >= 0, ticking);
}

QTEST_GUILESS_MAIN(TestClosingState)
#include "tst_closingstate.moc"
