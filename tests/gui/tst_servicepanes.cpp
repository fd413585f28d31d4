#include "windowfixture.h"

#include <QLabel>
#include <QTabWidget>
#include <QtTest>

namespace {
const QUrl ServicePage("http://svc.test:8470/redirector/?username=&passw=&action=login&client=Ondavo3");
const QUrl PartnerPage("http://partner.test:8471/export/radio_player.html");
const QUrl ClockPage("http://svc.test:8470/clock/default/");

void makeFile(const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<html></html>");
}
} // namespace

class TestServicePanes : public QObject
{
    Q_OBJECT
private slots:
    void loginAtStart();
    void statusText_data();
    void statusText();
    void title_data();
    void title();
    void missingLocalRadioPageShowsBoxOnce();
    void clockPageOnEveryShow();
    void clockFallback_data();
    void clockFallback();
    void refusedLoginIsSilent();
};

void TestServicePanes::loginAtStart()
{
    WindowFixture fx;
    fx.create();
    QCOMPARE(fx.radio()->navigations, QList<QUrl>{ServicePage});
    QCOMPARE(fx.find<QLabel>("StatusPanel1")->text(),
             QString("Пожалуйста подождите. Производится подключение."));
}

void TestServicePanes::statusText_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("panel");
    const QString before = "Пожалуйста подождите. Производится подключение.";
    QTest::newRow("plain text replaces") << 0 << "Готово"
                                         << "Готово";
    QTest::newRow("empty clears") << 0 << ""
                                  << "";
    QTest::newRow("service host clears") << 0 << "http://svc.test:8470/redirector/"
                                         << "";
    QTest::newRow("host is case-sensitive") << 0 << "http://SVC.TEST:8470/"
                                            << "http://SVC.TEST:8470/";
    QTest::newRow("other tab ignored") << 1 << "Готово" << before;
    QTest::newRow("timer tab ignored") << 2 << "" << before;
}

void TestServicePanes::statusText()
{
    QFETCH(int, tab);
    QFETCH(QString, text);
    QFETCH(QString, panel);
    WindowFixture fx;
    fx.create();
    fx.find<QTabWidget>("PageControl1")->setCurrentIndex(tab);
    emit fx.radio()->statusTextChange(text);
    QCOMPARE(fx.find<QLabel>("StatusPanel1")->text(), panel);
}

void TestServicePanes::title_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("caption");
    QTest::newRow("page title") << 0 << "Станции"
                                << "Ondavo - Станции";
    QTest::newRow("host in title") << 0 << "svc.test:8470/redirector"
                                   << "Ondavo";
    QTest::newRow("empty title") << 0 << ""
                                 << "Ondavo - ";
    QTest::newRow("other tab ignored") << 3 << "Станции"
                                       << "Ondavo";
}

void TestServicePanes::title()
{
    QFETCH(int, tab);
    QFETCH(QString, title);
    QFETCH(QString, caption);
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    auto *tabs = fx.find<QTabWidget>("PageControl1");
    tabs->setCurrentIndex(tab);
    emit fx.radio()->titleChange(title);
    // Coming back to the radio tab does not pick up a title that came meanwhile.
    tabs->setCurrentIndex(0);
    QCOMPARE(w->windowTitle(), caption);
}

void TestServicePanes::missingLocalRadioPageShowsBoxOnce()
{
    WindowFixture fx;
    TOndavoForm1 *w = fx.create();
    fx.radio()->fail(ServicePage);
    fx.radio()->fail(fx.radio()->lastUrl());
    const QList<QMessageBox *> boxes = openBoxes(w);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first()->windowTitle(), QString("Ошибка загрузки программы"));
    QCOMPARE(boxes.first()->text(),
             QString("Отсутствуют некоторые файлы программы!\r\nПереустановите программу."));
    QCOMPARE(boxes.first()->icon(), QMessageBox::Critical);
    QCOMPARE(fx.radio()->lastUrl(), PartnerPage);
}

void TestServicePanes::clockPageOnEveryShow()
{
    WindowFixture fx;
    fx.create();
    auto *tabs = fx.find<QTabWidget>("PageControl1");
    QVERIFY(!fx.clockPane());
    tabs->setCurrentIndex(1);
    tabs->setCurrentIndex(2);
    tabs->setCurrentIndex(1);
    QCOMPARE(fx.clockPane()->navigations, (QList<QUrl>{ClockPage, ClockPage}));
    QCOMPARE(fx.panes.panes.size(), 2);
}

void TestServicePanes::clockFallback_data()
{
    QTest::addColumn<QUrl>("failed");
    QTest::addColumn<bool>("fileThere");
    QTest::addColumn<QString>("result"); // "local", "box" or "cancel"
    QTest::newRow("service fails, local page there") << ClockPage << true << "local";
    QTest::newRow("service fails, local page missing") << ClockPage << false << "box";
    QTest::newRow("partner host is not a fallback here") << PartnerPage << true << "cancel";
}

void TestServicePanes::clockFallback()
{
    QFETCH(QUrl, failed);
    QFETCH(bool, fileThere);
    QFETCH(QString, result);
    WindowFixture fx;
    const QString local = fx.platform.exeFolder + "clock/default/index.htm";
    if (fileThere)
        makeFile(local);
    TOndavoForm1 *w = fx.create();
    fx.find<QTabWidget>("PageControl1")->setCurrentIndex(1);
    const bool cancel = fx.clockPane()->fail(failed);
    QCOMPARE(cancel, result == "cancel");
    if (result == "local")
        QCOMPARE(fx.clockPane()->lastUrl(), QUrl::fromLocalFile(local));
    else
        QCOMPARE(fx.clockPane()->lastUrl(), ClockPage);
    const QList<QMessageBox *> boxes = openBoxes(w);
    QCOMPARE(boxes.size(), result == "box" ? 1 : 0);
    if (result == "box") {
        QCOMPARE(boxes.first()->windowTitle(), QString("Ошибка загрузки часов"));
        QCOMPARE(boxes.first()->text(),
                 QString("Не найден локальный шаблон часов!\r\nПереустановите программу."));
    }
    // The radio pane is never touched by the clock's chain.
    QCOMPARE(fx.radio()->navigations.size(), 1);
}

void TestServicePanes::refusedLoginIsSilent()
{
    WindowFixture fx;
    auto inner = fx.env.paneFactory;
    fx.env.paneFactory = [inner](PaneRole role, QWidget *parent) {
        BrowserPane *pane = inner(role, parent);
        static_cast<FakePane *>(pane)->refuseNavigation = true;
        return pane;
    };
    TOndavoForm1 *w = fx.create();
    QVERIFY(fx.radio()->navigations.isEmpty());
    QVERIFY(openBoxes(w).isEmpty());
    QCOMPARE(fx.find<QLabel>("StatusPanel1")->text(),
             QString("Пожалуйста подождите. Производится подключение."));
}

QTEST_MAIN(TestServicePanes)
#include "tst_servicepanes.moc"
