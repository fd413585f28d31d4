// The closing sequence's transitions, without a window: each step is what the window reports, and
// each result is whether the window may close then.
#include "app/closingstate.h"

#include <QTimer>
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
    // Steps: "close" a close request whose logoff went out, "refuse" one whose logoff the pane
    // refused, "logoff" / "other" a page loaded, "tick" the closing tick (the window then asks
    // again), "bound" the bound ran out, "session" the session is ending.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("results"); // per step: 1 the window may close, 0 not, - nothing asked
    QTest::addColumn<bool>("ticking");    // the closing tick runs at the end
    QTest::addColumn<bool>("report");     // the last refusal is to be said
    QTest::newRow("logoff page closes") << QStringList{"close", "logoff"} << "01" << true << false;
    QTest::newRow("logoff page before the request")
        << QStringList{"logoff", "close"} << "-1" << true << false;
    QTest::newRow("silent service: the tick closes") << QStringList{"close", "tick"} << "01" << true << false;
    QTest::newRow("another page: the tick resends, the next closes")
        << QStringList{"close", "other", "tick", "tick"} << "0001" << true << false;
    QTest::newRow("pages before any request do not close")
        << QStringList{"logoff", "other"} << "--" << false << false;
    QTest::newRow("endless fallback: the bound closes")
        << QStringList{"close", "other", "tick", "other", "bound"} << "00001" << true << false;
    QTest::newRow("refused logoff: said once, the next request passes")
        << QStringList{"refuse", "refuse"} << "01" << false << false;
    QTest::newRow("refused logoff, first time") << QStringList{"refuse"} << "0" << false << true;
    QTest::newRow("session ending: nobody to tell")
        << QStringList{"session", "refuse"} << "-0" << false << false;
}

void TestClosingState::transitions()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, results);
    QFETCH(bool, ticking);
    QFETCH(bool, report);
    ClosingState state;
    auto *closer = state.findChild<QTimer *>("CloserTimer");
    QCOMPARE(closer->interval(), 2000);
    int due = 0;
    connect(&state, &ClosingState::closeDue, [&] { ++due; });
    QString got;
    for (const QString &step : steps) {
        const int dueBefore = due;
        if (step == "close")
            got += state.query(true) ? '1' : '0';
        else if (step == "refuse")
            got += state.query(false) ? '1' : '0';
        else if (step == "logoff" || step == "other")
            got += state.pageLoaded(step == "logoff") ? '1' : (state.isClosing() ? '0' : '-');
        else if (step == "session") {
            state.setSessionEnding();
            got += '-';
        } else
            QMetaObject::invokeMethod(
                state.findChild<QTimer *>(step == "tick" ? "CloserTimer" : "CloseDeadline"), "timeout");
        if (step == "tick" || step == "bound") {
            QCOMPARE(due, dueBefore + 1);
            // The window asks again; after the bound it closes without asking.
            got += state.isForced() || state.query(true) ? '1' : '0';
        }
    }
    QCOMPARE(got, results);
    QCOMPARE(closer->isActive(), ticking);
    QCOMPARE(state.reportLogoffFailure(), report);
    QCOMPARE(state.isClosing(), steps.contains("close") || steps.contains("refuse"));
    state.setClosed();
    QVERIFY(!closer->isActive());
}

QTEST_GUILESS_MAIN(TestClosingState)
#include "tst_closingstate.moc"
