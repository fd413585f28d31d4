// The timer page: arming and disarming, the countdown with its tray notices, and the five
// actions with quiet sleep.
#include "app/ondavoform1.h"
#include "ui_ondavoform1.h"

#include "core/clock.h"
#include "platform/platform.h"
#include "service/browserpane.h"
#include "service/requests.h"
#include "settings/localedatetime.h"
#include "timer/countdown.h"
#include "timer/tickschedule.h"
#include "timer/timeractions.h"
#include "timer/timercommand.h"
#include "ui/trayicon.h"

#include <QApplication>
#include <QLocale>
#include <QMenu>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTimer>

namespace {
const QColor ResetRemarkColor(0, 128, 0);
// The timer status line keeps this much room to the group box's right edge as the window widens.
constexpr int StatusEditRightMargin = 49;
// Each list row is this tall, as the list was designed.
constexpr int ActionItemHeight = 16;
} // namespace

void TOndavoForm1::setupTimerPage()
{
    for (QTimer *t : {m_timer1, m_wakeUpTimer}) {
        // One shot at a time, each aimed from the wall clock: see TickSchedule.
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);
    }
    connect(m_timer1, &QTimer::timeout, this, &TOndavoForm1::Timer1Timer);
    connect(m_wakeUpTimer, &QTimer::timeout, this, &TOndavoForm1::WakeUpTimerTimer);
    // A moment that passed while the machine slept, or before the clock was set, is due now.
    connect(m_env.platform, &Platform::systemResumed, this, &TOndavoForm1::tickNow);
    connect(m_env.platform, &Platform::wallClockChanged, this, &TOndavoForm1::tickNow);

    connect(ui->TimerActionComboBox, &QComboBox::currentIndexChanged, this,
            &TOndavoForm1::UpdateActionFields);
    connect(ui->TimerCommandEdit, &QLineEdit::textChanged, this, &TOndavoForm1::UpdateActionFields);
    connect(ui->TimerSetBtn, &QPushButton::clicked, this, &TOndavoForm1::TimerSetBtnClick);
    connect(ui->TimerResetBtn, &QPushButton::clicked, this, &TOndavoForm1::TimerResetBtnClick);

    // A plain item delegate takes the rows' height from the list; the style's menu-like one would not.
    ui->TimerActionComboBox->setItemDelegate(new QStyledItemDelegate(ui->TimerActionComboBox));

    // The list swallows its right-clicks; they bring up the window's menu as everywhere else.
    ui->TimerActionComboBox->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->TimerActionComboBox, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_trayPopupMenu->popup(ui->TimerActionComboBox->mapToGlobal(pos)); });

    // The status line sits on the button colour of the running theme, which a form cannot name.
    QPalette p = ui->TimerStatusEdit->palette();
    p.setColor(QPalette::Base, p.color(QPalette::Button));
    ui->TimerStatusEdit->setPalette(p);
    ui->ProgTimerGroupBox->installEventFilter(this);
}

void TOndavoForm1::anchorTimerStatusEdit()
{
    QWidget *edit = ui->TimerStatusEdit;
    edit->resize(ui->ProgTimerGroupBox->width() - edit->x() - StatusEditRightMargin, edit->height());
}

// --- Timer page and arming --------------------------------------------------------------------

DateTime TOndavoForm1::CombineDateTime(const QDateEdit *datePicker, const QTimeEdit *timePicker) const
{
    const QDate d = datePicker->date();
    const QTime t = timePicker->time();
    return DateTime::encode(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec());
}

void TOndavoForm1::SetPickers(QDateEdit *datePicker, QTimeEdit *timePicker, const DateTime &moment)
{
    datePicker->setDate(moment.date());
    timePicker->setTime(moment.time());
}

void TOndavoForm1::FillActionList()
{
    QComboBox *list = ui->TimerActionComboBox;
    const QSignalBlocker quiet(list);
    list->clear();
    list->addItems(TimerActions::listTexts());
    for (int i = 0; i < list->count(); ++i)
        list->setItemData(i, QSize(list->width(), ActionItemHeight), Qt::SizeHintRole);
    const bool known = m_state.LastActionId >= 0 && m_state.LastActionId < list->count();
    list->setCurrentIndex(known ? m_state.LastActionId : -1);
}

void TOndavoForm1::UpdateActionFields()
{
    const int index = ui->TimerActionComboBox->currentIndex();
    const QString page = TimerActions::extraPage(index);
    ui->ElementsNote->setVisible(!page.isEmpty());
    if (page == QLatin1String("Command"))
        ui->ElementsNote->setCurrentWidget(ui->CommandPage);
    else if (page == QLatin1String("WakeUpTimer"))
        ui->ElementsNote->setCurrentWidget(ui->WakeUpTimerPage);
    const bool blankCommand = TimerActions::trimControls(ui->TimerCommandEdit->text()).isEmpty();
    ui->TimerSetBtn->setEnabled(!(index == TimerActions::RunCommand && blankCommand));
}

void TOndavoForm1::SetTimerControlsArmed(bool armed)
{
    ui->TimerResetBtn->setEnabled(armed);
    // The command is locked too, so the notice and the action use the command that was armed.
    for (QWidget *w : std::initializer_list<QWidget *>{
             ui->TimerSetBtn, ui->TimerDatePicker, ui->TimerTimePicker, ui->TimerActionComboBox,
             ui->TimerCommandEdit, ui->CloseMeOnExecChBox, ui->WakeUpDatePicker, ui->WakeUpTimePicker})
        w->setEnabled(!armed);
}

void TOndavoForm1::TimerSetBtnClick()
{
    m_state.TimerTime = CombineDateTime(ui->TimerDatePicker, ui->TimerTimePicker);
    if (m_env.clock->nowDays() > m_state.TimerTime) {
        ui->TimerStatusEdit->setText(QStringLiteral("Установленное время уже истекло!"));
        return;
    }
    const int index = ui->TimerActionComboBox->currentIndex();
    if (index == TimerActions::QuietSleep) {
        m_state.WakeUpTime = CombineDateTime(ui->WakeUpDatePicker, ui->WakeUpTimePicker);
        if (m_env.clock->nowDays() > m_state.WakeUpTime) {
            ui->TimerStatusEdit->setText(QStringLiteral("Время будильника уже истекло!"));
            return;
        }
    }
    scheduleTick(m_timer1, m_state.TimerTime);
    SetTimerControlsArmed(true);
    m_state.ResetRemark = Countdown::armedRemark();
    m_env.platform->inhibitIdle(
        TimerActions::keepAwakeReason(index, LocaleDateTime::format(m_state.TimerTime, QLocale())));
}

void TOndavoForm1::DisarmTimer()
{
    m_timer1->stop();
    m_state.TimerTime = DateTime();
    SetTimerControlsArmed(false);
    ui->TimerStatusEdit->clear();
    ClearCountdownPanel();
    m_myTrayIcon->setToolTip(appTitle());
    StopTrayAnimation();
    // Before any action runs, so the program never holds up its own shutdown or sleep.
    m_env.platform->releaseIdle();
}

void TOndavoForm1::StopWakeUpTimer()
{
    m_wakeUpTimer->stop();
}

void TOndavoForm1::TimerResetBtnClick()
{
    if (m_wakeUpTimer->isActive()) {
        StopWakeUpTimer();
        Login();
    }
    DisarmTimer();
    setTimerStatusStyle(ResetRemarkColor, false);
    ui->TimerStatusEdit->setText(m_state.ResetRemark);
}

void TOndavoForm1::TimersTabSheetShow()
{
    const DateTime moment = m_state.TimerTime > DateTime() ? m_state.TimerTime : m_env.clock->nowDays();
    SetPickers(ui->TimerDatePicker, ui->TimerTimePicker, moment);
}

void TOndavoForm1::TimersTabSheetHide()
{
    ui->TimerStatusEdit->clear();
}

// --- Countdown and notifications --------------------------------------------------------------

void TOndavoForm1::scheduleTick(QTimer *timer, const DateTime &moment)
{
    const qint64 msLeft = moment.toMSecs() - m_env.clock->nowDays().toMSecs();
    timer->start(static_cast<int>(TickSchedule::nextDelayMs(msLeft)));
}

void TOndavoForm1::tickNow()
{
    for (QTimer *t : {m_timer1, m_wakeUpTimer})
        if (t->isActive())
            t->start(0);
}

void TOndavoForm1::Timer1Timer()
{
    ShowCountdown(m_state.TimerTime);
    UpdateCountdownStyle(Countdown::secondsUntil(m_env.clock->nowDays(), m_state.TimerTime));
    if (m_state.TimerTime > DateTime() && m_env.clock->nowDays() >= m_state.TimerTime) {
        DisarmTimer();
        runTimerAction(ui->TimerActionComboBox->currentIndex());
        return;
    }
    scheduleTick(m_timer1, m_state.TimerTime);
}

void TOndavoForm1::ShowCountdown(const DateTime &target)
{
    const QString text = Countdown::format(target, m_env.clock->nowDays());
    ui->StatusPanel0->setText(text);
    ui->TimerStatusEdit->setText(QStringLiteral("Осталось ") + text);
    m_myTrayIcon->setToolTip(QStringLiteral("Ondavo - Таймер сработает через ") + text);
}

void TOndavoForm1::UpdateCountdownStyle(qint64 seconds)
{
    if (ui->PageControl1->currentWidget() == ui->TimersTabSheet) {
        if (seconds < Countdown::LastMinuteSeconds)
            setTimerStatusStyle(Qt::red, true);
        else
            setTimerStatusStyle(QApplication::palette(ui->TimerStatusEdit).color(QPalette::ButtonText),
                                false);
    }
    if (seconds == Countdown::BalloonSeconds)
        ShowTimerBalloon(seconds);
    if (const auto remark = Countdown::resetRemark(seconds))
        m_state.ResetRemark = *remark;
}

void TOndavoForm1::ShowTimerBalloon(qint64 seconds)
{
    if (m_myTrayIcon->isAnimating())
        return;
    const TimerActions::Balloon b =
        TimerActions::balloon(ui->TimerActionComboBox->currentIndex(), seconds, ui->TimerCommandEdit->text());
    m_myTrayIcon->setAnimate(true);
    m_myTrayIcon->showBalloon(b.title, b.text, b.warning);
}

void TOndavoForm1::ClearCountdownPanel()
{
    if (m_state.TimerTime.isNull())
        ui->StatusPanel0->clear();
}

void TOndavoForm1::setTimerStatusStyle(const QColor &color, bool bold)
{
    QPalette p = ui->TimerStatusEdit->palette();
    p.setColor(QPalette::Text, color);
    ui->TimerStatusEdit->setPalette(p);
    QFont f = ui->TimerStatusEdit->font();
    f.setBold(bold);
    ui->TimerStatusEdit->setFont(f);
}

// --- Actions ----------------------------------------------------------------------------------

void TOndavoForm1::runTimerAction(int index)
{
    switch (index) {
    case TimerActions::CloseProgram:
        close();
        break;
    case TimerActions::PowerOff:
        PowerOffComputer();
        break;
    case TimerActions::Suspend:
        SuspendComputer();
        break;
    case TimerActions::RunCommand:
        RunTimerCommand();
        break;
    case TimerActions::QuietSleep:
        EnterQuietSleep();
        break;
    default:
        break; // no action selected: the moment only disarms
    }
}

void TOndavoForm1::PowerOffComputer()
{
    // The session's end then closes the program through its own closing sequence.
    m_env.platform->requestPowerOff();
}

void TOndavoForm1::SuspendComputer()
{
    // A clock pane that was never shown has nothing to stop.
    m_browser1->stop();
    if (m_browser2)
        m_browser2->stop();
    m_env.platform->requestSuspend();
}

void TOndavoForm1::RunTimerCommand()
{
    const TimerCommand command = TimerCommand::resolve(ui->TimerCommandEdit->text());
    if (command.kind == TimerCommand::Nothing)
        return;
    // A command that cannot be started is not reported.
    if (command.kind == TimerCommand::Open)
        (void)m_env.platform->openUrl(command.url);
    else
        (void)m_env.platform->startDetached(command.program, command.arguments);
    // The program stays a moment so the started one can take the screen; the window stays live.
    if (ui->CloseMeOnExecChBox->isChecked())
        m_closeOnExecTimer->start();
}

void TOndavoForm1::EnterQuietSleep()
{
    SetTimerControlsArmed(true);
    scheduleTick(m_wakeUpTimer, m_state.WakeUpTime);
    ui->StatusPanel1->setText(QStringLiteral("Активирован тихий режим \"Сон\""));
    const QString wakeUpText = LocaleDateTime::format(m_state.WakeUpTime, QLocale());
    // A pane that cannot go quiet does not stop the alarm.
    (void)m_browser1->navigate(Requests::sleep(m_env.endpoints, m_state.UserName, m_state.Passw, wakeUpText));
    m_env.platform->inhibitIdle(TimerActions::keepAwakeForAlarmReason(wakeUpText));
}

void TOndavoForm1::WakeUpTimerTimer()
{
    ShowCountdown(m_state.WakeUpTime);
    if (m_state.WakeUpTime > DateTime() && m_env.clock->nowDays() >= m_state.WakeUpTime) {
        StopWakeUpTimer();
        DisarmTimer();
        Login();
        return;
    }
    scheduleTick(m_wakeUpTimer, m_state.WakeUpTime);
}
