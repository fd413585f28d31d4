// The timer page: what the pickers say goes into the timer model, and what the model says comes
// back to the page, the status bar and the tray.
#include "app/ondavoform1.h"
#include "ui_ondavoform1.h"

#include "core/clock.h"
#include "radio/radiosession.h"
#include "service/browserpane.h"
#include "timer/timeractions.h"
#include "timer/timermodel.h"
#include "ui/checkrow.h"
#include "ui/trayicon.h"

#include <QApplication>
#include <QMenu>
#include <QSignalBlocker>
#include <QStyledItemDelegate>

namespace {
const QColor ResetRemarkColor(0, 128, 0);
// The timer status line keeps this much room to the group box's right edge as the window widens.
constexpr int StatusEditRightMargin = 49;
// Each list row is this tall, as the list was designed.
constexpr int ActionItemHeight = 16;
} // namespace

void TOndavoForm1::setupTimerPage()
{
    m_timer = new TimerModel(m_env.clock, m_env.platform, m_radio, this);
    connect(m_timer, &TimerModel::ticked, this, &TOndavoForm1::Timer1Timer);
    connect(m_timer, &TimerModel::wakeUpTicked, this, &TOndavoForm1::ShowCountdown); // WakeUpTimerTimer
    connect(m_timer, &TimerModel::balloonDue, this, &TOndavoForm1::ShowTimerBalloon);
    connect(m_timer, &TimerModel::armedChanged, this, &TOndavoForm1::SetTimerControlsArmed);
    connect(m_timer, &TimerModel::disarmed, this, &TOndavoForm1::DisarmTimer);
    connect(m_timer, &TimerModel::actionFired, this, &TOndavoForm1::SuspendComputer);
    connect(m_timer, &TimerModel::closeRequested, this, &QWidget::close);
    connect(m_timer, &TimerModel::failed, this, &TOndavoForm1::showTimerFailure);
    connect(m_timer, &TimerModel::warning, this, &TOndavoForm1::showWarning);
    connect(m_timer, &TimerModel::notice, ui->TimerStatusEdit, &QLineEdit::setText);
    // Once closing has begun nothing armed may act, nor send anything after the logoff.
    connect(m_closing, &ClosingState::closingBegun, m_timer, &TimerModel::stop);

    connect(ui->TimerActionComboBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_timer->setAction(TimerModel::actionFromIndex(index)); // TimerActionComboBoxChange
        UpdateActionFields();
    });
    connect(ui->TimerCommandEdit, &QLineEdit::textChanged, this, &TOndavoForm1::UpdateActionFields);
    connect(ui->TimerSetBtn, &QPushButton::clicked, this, &TOndavoForm1::TimerSetBtnClick);
    connect(ui->TimerResetBtn, &QPushButton::clicked, this, &TOndavoForm1::TimerResetBtnClick);

    // The list keeps its hint text but never shows it; a plain item delegate takes the rows'
    // height from the list, where the style's menu-like one would not.
    ui->TimerActionComboBox->installEventFilter(this);
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

    // The repeat's row holds more than the form's face fits into it: a size smaller.
    QFont small = font();
    small.setPixelSize(11);
    ui->RepeatDaysRow->setFont(small);
    ui->SleepUntilAlarmChBox->setFont(small);
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

// What the page says now, as the model arms it and the settings keep it.
TimerSettings TOndavoForm1::timerDraft() const
{
    TimerSettings draft;
    draft.action = static_cast<int>(m_timer->action());
    draft.command = ui->TimerCommandEdit->text();
    draft.closeAfterCommand = ui->CloseMeOnExecChBox->isChecked();
    draft.moment = CombineDateTime(ui->TimerDatePicker, ui->TimerTimePicker);
    draft.wakeUp = CombineDateTime(ui->WakeUpDatePicker, ui->WakeUpTimePicker);
    draft.repeatDays = CheckRow::checked(ui->RepeatDaysRow); // Monday first
    draft.sleepUntilAlarm = ui->SleepUntilAlarmChBox->isChecked();
    return draft;
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

void TOndavoForm1::UpdateActionFields()
{
    const int action = static_cast<int>(m_timer->action());
    const QString page = TimerActions::extraPage(action);
    ui->ElementsNote->setVisible(!page.isEmpty());
    ui->ElementsNote->setCurrentWidget(page == QLatin1String("Command") ? ui->CommandPage
                                                                        : ui->WakeUpTimerPage);
    const bool blankCommand = TimerActions::trimControls(ui->TimerCommandEdit->text()).isEmpty();
    ui->TimerSetBtn->setEnabled(!(action == TimerActions::RunCommand && blankCommand));
}

void TOndavoForm1::SetTimerControlsArmed(bool armed)
{
    ui->TimerResetBtn->setEnabled(armed);
    // The command is locked too: the field shows what the armed timer will run.
    for (QWidget *w : std::initializer_list<QWidget *>{
             ui->TimerSetBtn, ui->TimerDatePicker, ui->TimerTimePicker, ui->TimerActionComboBox,
             ui->TimerCommandEdit, ui->CloseMeOnExecChBox, ui->WakeUpDatePicker, ui->WakeUpTimePicker,
             ui->RepeatDaysRow, ui->SleepUntilAlarmChBox})
        w->setEnabled(!armed);
}

void TOndavoForm1::TimerSetBtnClick()
{
    const QString refusal = m_timer->arm(timerDraft());
    if (!refusal.isEmpty())
        ui->TimerStatusEdit->setText(refusal);
    else if (m_timer->action() == TimerModel::Action::QuietSleep)
        m_radio->makeIdentityOwn(m_random);
}

// The model has disarmed: the countdown's traces go from the page, the status bar and the tray.
void TOndavoForm1::DisarmTimer()
{
    ui->TimerStatusEdit->clear();
    ui->StatusPanel0->clear(); // ClearCountdownPanel: nothing is armed now
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
    const DateTime offered = m_timer->timerTime();
    SetPickers(ui->TimerDatePicker, ui->TimerTimePicker,
               offered > DateTime() ? offered : m_env.clock->nowDays());
}

// --- Countdown and notifications --------------------------------------------------------------

void TOndavoForm1::Timer1Timer(const QString &countdown, bool lastMinute)
{
    ShowCountdown(countdown);
    // UpdateCountdownStyle: off the timer page the colour waits for the page to come back.
    if (ui->PageControl1->currentWidget() != ui->TimersTabSheet)
        return;
    if (lastMinute)
        setTimerStatusStyle(Qt::red, true);
    else
        setTimerStatusStyle(QApplication::palette(ui->TimerStatusEdit).color(QPalette::ButtonText), false);
}

void TOndavoForm1::ShowCountdown(const QString &text)
{
    ui->StatusPanel0->setText(text);
    ui->TimerStatusEdit->setText(tr("Осталось ") + text);
    // The next alarm below the countdown, as the tray shows it without the window.
    const QString alarm = m_timer->nextAlarmText();
    m_myTrayIcon->setToolTip(tr("Ondavo - Таймер сработает через ") + text +
                             (alarm.isEmpty() ? QString() : QLatin1Char('\n') + alarm));
}

// The model shows each balloon once, until the user has seen it.
void TOndavoForm1::ShowTimerBalloon(const QString &title, const QString &text, bool warning)
{
    m_myTrayIcon->setAnimate(true);
    m_myTrayIcon->showBalloon(title, text, warning);
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
        m_myTrayIcon->showBalloon(tr("Таймер Ondavo"), text, true);
}

// A warning about the alarm goes to the tray as well: it matters most when nobody looks.
void TOndavoForm1::showWarning(const QString &text)
{
    ui->TimerStatusEdit->setText(text);
    m_myTrayIcon->showBalloon(tr("Будильник Ondavo"), text, true);
}

// The radio pane has stopped for the sleep already; the clock pane stops too, if it was ever made.
void TOndavoForm1::SuspendComputer(TimerModel::Action action)
{
    if (action == TimerModel::Action::Suspend && m_browser2)
        m_browser2->stop();
}
