#include "ui/hintstyle.h"
#include "ui/trayicon.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimeEdit>
#include <QToolTip>
#include <QtTest>

class TestWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void components_data();
    void components();
    void tabs();
    void pickersHoldTheStoredValue();
    void statusBarPanels();
    void timersAllOff();
    void trayIconAndMenu();
    void windowFrame();
    void statusLineIsUpperCase_data();
    void statusLineIsUpperCase();
    void actionListHintIsNeverShown();
    void tabOrder();
    void keysFromAnywhere_data();
    void keysFromAnywhere();

private:
    WindowFixture *fx = nullptr;
    QWidget *w(const char *name) { return fx->find<QWidget>(name); }
};

void TestWindow::initTestCase()
{
    QApplication::setStyle(new HintStyle);
    fx = new WindowFixture;
    fx->create();
    fx->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(fx->window.get()));
}

void TestWindow::components_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QRect>("geometry"); // empty: laid out, not placed
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("hintShown");
    QTest::addColumn<bool>("enabled");

    auto row = [](const char *name, const char *kind, QRect geo, const QString &caption, const QString &hint,
                  bool shown = true, bool enabled = true) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind) << geo << caption
                            << hint << shown << enabled;
    };
    const QString none;
    row("TimerLabel1", "QLabel", {41, 29, 93, 21}, "Дата и время:", none, false);
    row("TimerActionLabel", "QLabel", {41, 56, 71, 21}, "Действие:", none, false);
    row("TimerDatePicker", "QDateEdit", {158, 28, 137, 21}, none, "День, когда свершится задуманное");
    row("TimerTimePicker", "QTimeEdit", {316, 28, 137, 21}, none, "Час Х");
    row("TimerSetBtn", "QPushButton", {176, 145, 119, 25}, "Установить", "Запустить отсчет времени");
    row("TimerResetBtn", "QPushButton", {316, 144, 119, 25}, "Снять", "Остановить отсчет времени", true,
        false);
    row("TimerStatusEdit", "UpperCaseEdit", {36, 175, 525, 24}, "", "Вот оно как");
    row("TimerActionComboBox", "QComboBox", {158, 55, 321, 24}, none,
        "Действие, которое будет выполнено в установленное время", false);
    row("ElementsNote", "QStackedWidget", {12, 83, 585, 56}, none, none, false);
    row("TimerCommandLabel", "QLabel", {29, 5, 119, 21}, "Командная строка:", none, false);
    row("TimerCommandEdit", "QLineEdit", {146, 2, 321, 24}, "",
        "Командная строка, которую нужно выполнить, либо имя файла или папки.");
    row("CloseMeOnExecChBox", "QCheckBox", {154, 32, 301, 17}, "Выключить Ondavo после запуска команды", none,
        false);
    row("WakeUpLabel1", "QLabel", {29, 2, 93, 21}, "Будильник:", none, false);
    row("WakeUpDatePicker", "QDateEdit", {146, 2, 137, 21}, none, none, false);
    row("WakeUpTimePicker", "QTimeEdit", {304, 2, 137, 21}, none, none, false);
    row("ProgTimerGroupBox", "QGroupBox", {}, "Выполнить действие в заданное время", none, false);
    row("AboutGroupBox", "QGroupBox", {3, 0, 608, 207}, "О программе", none, false);
    row("Label1", "QLabel", {12, 55, 283, 16}, "Ondavo", none, false);
    row("VersionLabel", "QLabel", {12, 93, 283, 16}, "Ver.", none, false);
    row("UpdatePageLabel", "LinkLabel", {84, 145, 138, 16}, "Скачать новую версию", none, false);
    row("HomePageLabel", "LinkLabel", {86, 167, 134, 16}, "Страничка программы", none, false);
    row("Label2", "QLabel", {516, 183, 84, 16}, "© Ondavo, 2009", none, false, false);
}

void TestWindow::components()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    QFETCH(QString, hint);
    QFETCH(bool, hintShown);
    QFETCH(bool, enabled);

    QWidget *c = w(qPrintable(name));
    QVERIFY2(c, qPrintable(name));
    QCOMPARE(QString::fromLatin1(c->metaObject()->className()), kind);
    if (!geometry.isEmpty())
        QCOMPARE(c->geometry(), geometry);
    if (!caption.isNull()) {
        QString text;
        if (auto *l = qobject_cast<QLabel *>(c))
            text = l->text();
        else if (auto *b = qobject_cast<QAbstractButton *>(c))
            text = b->text();
        else if (auto *e = qobject_cast<QLineEdit *>(c))
            text = e->text();
        else if (auto *g = qobject_cast<QGroupBox *>(c))
            text = g->title();
        QCOMPARE(text, caption);
    }
    QCOMPARE(c->toolTip(), hint);
    // A hint that is shown stays 5 s; the delay before it comes from the application's style.
    if (hintShown)
        QCOMPARE(c->toolTipDuration(), 5000);
    QCOMPARE(c->isEnabled(), enabled);
}

void TestWindow::tabs()
{
    auto *tabs = fx->find<QTabWidget>("PageControl1");
    QVERIFY(tabs);
    const QStringList pages{"RadioSheet", "ClockSheet", "TimersTabSheet", "HelpTabSheet"};
    const QStringList captions{"Радио", "Часы", "Таймер", ""};
    QCOMPARE(tabs->count(), 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(tabs->widget(i)->objectName(), pages[i]);
        QCOMPARE(tabs->tabText(i), captions[i]);
        QVERIFY2(!tabs->tabIcon(i).isNull(), qPrintable(pages[i]));
    }
    QCOMPARE(tabs->currentIndex(), 0);
    // The timer group box fills its page less a 3 px margin on three sides.
    tabs->setCurrentIndex(2);
    auto *box = w("ProgTimerGroupBox");
    const QRect page = tabs->widget(2)->rect();
    QCOMPARE(box->geometry(), QRect(3, 0, page.width() - 6, page.height() - 3));
    tabs->setCurrentIndex(0);
    QCOMPARE(fx->find<QStackedWidget>("ElementsNote")->currentIndex(), 1);
    // The radio pane sits in its tab from the start; the clock pane waits for its tab.
    QVERIFY(fx->radio());
    QVERIFY(fx->radio()->widget()->parentWidget() == w("Browser1"));
    QVERIFY(!fx->clockPane());
}

void TestWindow::pickersHoldTheStoredValue()
{
    // Until the timer page is first shown; showing it sets its pickers to now.
    WindowFixture fresh;
    fresh.create();
    const QDateTime stored(QDate(2009, 3, 16), QTime(23, 51, 6, 31));
    for (const char *name : {"TimerDatePicker", "TimerTimePicker", "WakeUpDatePicker", "WakeUpTimePicker"})
        QCOMPARE(fresh.find<QDateTimeEdit>(name)->dateTime(), stored);
}

void TestWindow::statusBarPanels()
{
    const struct
    {
        const char *name;
        int width;
        QFrame::Shadow shadow;
        QFrame::Shape shape;
    } panels[] = {{"StatusPanel0", 110, QFrame::Sunken, QFrame::Panel},
                  {"StatusPanel1", 460, QFrame::Sunken, QFrame::Panel},
                  {"StatusPanel2", 50, QFrame::Plain, QFrame::NoFrame}};
    int x = 0;
    for (const auto &p : panels) {
        auto *label = fx->find<QLabel>(p.name);
        QVERIFY(label);
        QCOMPARE(label->width(), p.width);
        QCOMPARE(label->x(), x);
        QCOMPARE(label->frameShape(), p.shape);
        if (p.shape != QFrame::NoFrame)
            QCOMPARE(label->frameShadow(), p.shadow);
        x += p.width;
    }
    QCOMPARE(w("StatusBar1")->height(), 19);
    QCOMPARE(fx->find<QLabel>("StatusPanel1")->text(),
             QString("Пожалуйста подождите. Производится подключение."));
}

void TestWindow::timersAllOff()
{
    QCOMPARE(fx->window->timer()->phase(), TimerModel::Phase::Idle);
    QCOMPARE(fx->window->timer()->nextTickMs(), -1);
    QCOMPARE(fx->window->closingState()->msToTick(), -1);
    auto *t = fx->find<QTimer>("AutoOpenTabTimer");
    QCOMPARE(t->interval(), 200);
    QVERIFY(!t->isActive());
}

void TestWindow::trayIconAndMenu()
{
    QSystemTrayIcon *tray = fx->window->trayIcon()->systemTrayIcon();
    QCOMPARE(tray->objectName(), QString("myTrayIcon"));
    QVERIFY(tray->isVisible());
    QCOMPARE(fx->window->trayIcon()->iconIndex(), 0);
    QVERIFY(!fx->window->trayIcon()->isAnimating());
    QCOMPARE(tray->toolTip(), QString("Ondavo"));
    QVERIFY(!tray->icon().isNull());
    QMenu *menu = fx->window->trayPopupMenu();
    QCOMPARE(tray->contextMenu(), menu);
    QCOMPARE(menu->objectName(), QString("TrayPopupMenu"));
    // The snooze (hidden until an alarm), the start at login and the volume come before the close.
    QCOMPARE(menu->actions().size(), 4);
    QCOMPARE(menu->actions().at(2)->text(), QString("Громкость: 100 %"));
    QAction *close1 = menu->actions().last();
    QCOMPARE(close1->objectName(), QString("Close1"));
    QCOMPARE(close1->text(), QString("Выключить Ondavo"));
    QCOMPARE(close1->toolTip(), QString("Выключить программу"));
    QCOMPARE(close1->shortcut(), QKeySequence(Qt::Key_F10));
    QVERIFY(!close1->icon().isNull());
    // The same item serves the window: F10 and the window's context menu.
    QVERIFY(fx->window->actions().contains(close1));
    QCOMPARE(fx->window->contextMenuPolicy(), Qt::CustomContextMenu);
}

void TestWindow::windowFrame()
{
    TOndavoForm1 *win = fx->window.get();
    QCOMPARE(win->windowTitle(), QString("Ondavo"));
    QCOMPARE(win->size(), QSize(622, 260));
    QVERIFY(!(win->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(win->windowFlags() & Qt::WindowMinimizeButtonHint);
    QCOMPARE(win->minimumSize(), QSize(622, 260));
    QCOMPARE(win->maximumSize(), QSize(630, 270));
    win->resize(800, 600);
    QCOMPARE(win->size(), QSize(630, 270));
    win->resize(622, 260);
    QCOMPARE(win->font().pixelSize(), 13);
    QCOMPARE(win->font().family(), QString("Tahoma"));
    QVERIFY2(QFont::substitutes("Tahoma").contains("DejaVu Sans", Qt::CaseInsensitive),
             qPrintable(QFont::substitutes("Tahoma").join(',')));
    QCOMPARE(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 3000);
}

void TestWindow::statusLineIsUpperCase_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("latin") << "abc Def"
                           << "ABC DEF";
    QTest::newRow("cyrillic") << "таймер ёж"
                              << "ТАЙМЕР ЁЖ";
    QTest::newRow("digits and signs") << "12:30 ok!"
                                      << "12:30 OK!";
}

void TestWindow::statusLineIsUpperCase()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    auto *edit = fx->find<QLineEdit>("TimerStatusEdit");
    edit->clear();
    for (const QChar ch : typed)
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    QCOMPARE(edit->text(), shown);
    edit->setText(typed);
    QCOMPARE(edit->text(), shown);
    QVERIFY(!edit->isReadOnly());
}

void TestWindow::actionListHintIsNeverShown()
{
    auto *combo = w("TimerActionComboBox");
    QHelpEvent event(QEvent::ToolTip, QPoint(5, 5), combo->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(combo, &event);
    QVERIFY(!QToolTip::isVisible());
    auto *edit = w("TimerCommandEdit");
    QHelpEvent shown(QEvent::ToolTip, QPoint(5, 5), edit->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(edit, &shown);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), edit->toolTip());
    QToolTip::hideText();
}

void TestWindow::tabOrder()
{
    // As the eye reads the timer page: the moment, the action and what it needs, then the buttons
    // and the status line after them; then the about page's links, top first. A control's own inner
    // parts (a picker's text field) do not count.
    const QStringList order{
        "TimerDatePicker",    "TimerTimePicker",  "TimerActionComboBox",  "TimerCommandEdit",
        "CloseMeOnExecChBox", "WakeUpDatePicker", "WakeUpTimePicker",     "RepeatMonChBox",
        "RepeatTueChBox",     "RepeatWedChBox",   "RepeatThuChBox",       "RepeatFriChBox",
        "RepeatSatChBox",     "RepeatSunChBox",   "SleepUntilAlarmChBox", "TimerSetBtn",
        "TimerResetBtn",      "TimerStatusEdit",  "UpdatePageLabel",      "HomePageLabel"};
    for (int i = 0; i + 1 < order.size(); ++i) {
        QWidget *next = w(qPrintable(order[i]))->nextInFocusChain();
        while (next && !order.contains(next->objectName()))
            next = next->nextInFocusChain();
        QVERIFY(next);
        QCOMPARE(next->objectName(), order[i + 1]);
    }
}

void TestWindow::keysFromAnywhere_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("tab"); // shown after the key
    // A picker takes Tab for its own sections.
    QTest::newRow("Ctrl+Tab in the date picker")
        << "TimerDatePicker" << int(Qt::Key_Tab) << int(Qt::ControlModifier) << 3;
    QTest::newRow("Ctrl+Shift+Tab in the status line")
        << "TimerStatusEdit" << int(Qt::Key_Backtab) << int(Qt::ControlModifier | Qt::ShiftModifier) << 1;
}

void TestWindow::keysFromAnywhere()
{
    QFETCH(QString, control);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, tab);
    auto *tabs = fx->find<QTabWidget>("PageControl1");
    tabs->setCurrentWidget(w("TimersTabSheet"));
    QWidget *focused = w(qPrintable(control));
    focused->setFocus();
    QTest::keyClick(focused, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(tabs->currentIndex(), tab);
    // The tab strip takes the focus, so that a screen reader says the tab now selected.
    QCOMPARE(fx->window->focusWidget(), tabs->tabBar());
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
