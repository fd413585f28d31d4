// The timer page: what the pickers say goes into the timer model, and what the model says comes
// back to the page, the status bar and the tray.
#include "app/ondavoform1.h"
#include "ui_ondavoform1.h"

#include "core/clock.h"
#include "service/browserpane.h"
#include "service/requests.h"
#include "timer/timeractions.h"
#include "timer/timermodel.h"
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
    m_timer = new TimerModel(m_env.clock, m_env.platform, this);
    connect(m_timer, &TimerModel::countdownChanged, this, &TOndavoForm1::ShowCountdown);
    connect(m_timer, &TimerModel::lastMinuteChanged, this, &TOndavoForm1::UpdateCountdownStyle);
    connect(m_timer, &TimerModel::balloonDue, this, &TOndavoForm1::ShowTimerBalloon);
    connect(m_timer, &TimerModel::armedChanged, this, &TOndavoForm1::SetTimerControlsArmed);
    connect(m_timer, &TimerModel::disarmed, this, &TOndavoForm1::DisarmTimer);
    connect(m_timer, &TimerModel::actionFired, this, &TOndavoForm1::runTimerAction);
    connect(m_timer, &TimerModel::closeRequested, this, &QWidget::close);
    connect(m_timer, &TimerModel::quietSleepBegun, this, &TOndavoForm1::EnterQuietSleep);
    connect(m_timer, &TimerModel::loginDue, this, &TOndavoForm1::WakeUpLogin);
    connect(m_timer, &TimerModel::failed, this, &TOndavoForm1::showTimerFailure);
    connect(m_timer, &TimerModel::alarmDue, this, &TOndavoForm1::RingLocalAlarm);
    m_timer->setAlarmWatchMs(m_env.alarmWatchMs);

    connect(ui->TimerActionComboBox, &QComboBox::currentIndexChanged, this,
            &TOndavoForm1::TimerActionComboBoxChange);
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
    m_timer->setAction(TimerModel::actionFromIndex(m_state.LastActionId));
    list->setCurrentIndex(static_cast<int>(m_timer->action()));
}

void TOndavoForm1::TimerActionComboBoxChange()
{
    m_timer->setAction(TimerModel::actionFromIndex(ui->TimerActionComboBox->currentIndex()));
    UpdateActionFields();
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
    // The command is locked too: the field shows what the armed timer will run.
    for (QWidget *w : std::initializer_list<QWidget *>{
             ui->TimerSetBtn, ui->TimerDatePicker, ui->TimerTimePicker, ui->TimerActionComboBox,
             ui->TimerCommandEdit, ui->CloseMeOnExecChBox, ui->WakeUpDatePicker, ui->WakeUpTimePicker})
        w->setEnabled(!armed);
}

void TOndavoForm1::TimerSetBtnClick()
{
    TimerModel::Setting setting;
    setting.moment = CombineDateTime(ui->TimerDatePicker, ui->TimerTimePicker);
    setting.action = m_timer->action();
    setting.command = ui->TimerCommandEdit->text();
    setting.closeAfterCommand = ui->CloseMeOnExecChBox->isChecked();
    setting.wakeUp = CombineDateTime(ui->WakeUpDatePicker, ui->WakeUpTimePicker);
    const QString refusal = m_timer->arm(setting);
    if (!refusal.isEmpty())
        ui->TimerStatusEdit->setText(refusal);
}

// The model has disarmed: the countdown's traces go from the page, the status bar and the tray.
void TOndavoForm1::DisarmTimer()
{
    ui->TimerStatusEdit->clear();
    ClearCountdownPanel();
    m_myTrayIcon->setToolTip(appTitle());
    StopTrayAnimation();
}

void TOndavoForm1::TimerResetBtnClick()
{
    m_timer->reset();
    setTimerStatusStyle(ResetRemarkColor, false);
    ui->TimerStatusEdit->setText(m_timer->resetRemark());
}

void TOndavoForm1::TimersTabSheetShow()
{
    const DateTime armed = m_timer->timerTime();
    SetPickers(ui->TimerDatePicker, ui->TimerTimePicker, armed > DateTime() ? armed : m_env.clock->nowDays());
}

void TOndavoForm1::TimersTabSheetHide()
{
    ui->TimerStatusEdit->clear();
}

// --- Countdown and notifications --------------------------------------------------------------

void TOndavoForm1::ShowCountdown(const QString &text)
{
    ui->StatusPanel0->setText(text);
    ui->TimerStatusEdit->setText(QStringLiteral("Осталось ") + text);
    m_myTrayIcon->setToolTip(QStringLiteral("Ondavo - Таймер сработает через ") + text);
}

void TOndavoForm1::UpdateCountdownStyle(bool lastMinute)
{
    // Off the timer page the colour waits for the page to come back.
    if (ui->PageControl1->currentWidget() != ui->TimersTabSheet)
        return;
    if (lastMinute)
        setTimerStatusStyle(Qt::red, true);
    else
        setTimerStatusStyle(QApplication::palette(ui->TimerStatusEdit).color(QPalette::ButtonText), false);
}

void TOndavoForm1::ShowTimerBalloon(const QString &title, const QString &text, bool warning)
{
    if (m_myTrayIcon->isAnimating())
        return;
    m_myTrayIcon->setAnimate(true);
    m_myTrayIcon->showBalloon(title, text, warning);
}

void TOndavoForm1::ClearCountdownPanel()
{
    if (m_timer->timerTime().isNull())
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

// Said where the timer speaks, and in the tray when nobody looks at the window.
void TOndavoForm1::showTimerFailure(const QString &text)
{
    ui->TimerStatusEdit->setText(text);
    if (!isVisible() || isMinimized())
        m_myTrayIcon->showBalloon(QStringLiteral("Таймер Ondavo"), text, true);
}

// --- Actions ----------------------------------------------------------------------------------

void TOndavoForm1::runTimerAction(TimerModel::Action action)
{
    if (action == TimerModel::Action::Suspend)
        SuspendComputer();
}

void TOndavoForm1::SuspendComputer()
{
    // A clock pane that was never shown has nothing to stop.
    m_browser1->stop();
    if (m_browser2)
        m_browser2->stop();
}

void TOndavoForm1::EnterQuietSleep(const QString &wakeUpText)
{
    ui->StatusPanel1->setText(QStringLiteral("Активирован тихий режим \"Сон\""));
    // A pane that cannot go quiet does not stop the alarm.
    (void)m_browser1->navigate(Requests::sleep(m_env.endpoints, m_state.UserName, m_state.Passw, wakeUpText));
}

// The radio stayed silent after the wake-up: the local page rings, with no network.
void TOndavoForm1::RingLocalAlarm()
{
    // An earlier pause never silences an alarm.
    m_browser1->setAudioMuted(false);
    QUrl alarm = localRadioPage();
    alarm.setFragment(QStringLiteral("alarm"));
    if (!LoadLocalRadioPage(alarm))
        return;
    ui->StatusPanel1->setText(QStringLiteral("Радио не зазвучало: звонит будильник Ondavo"));
}

void TOndavoForm1::WakeUpLogin(TimerModel::LoginReason reason)
{
    if (reason == TimerModel::LoginReason::WakeUp)
        m_browser1->setAudioMuted(false);
    Login();
}
