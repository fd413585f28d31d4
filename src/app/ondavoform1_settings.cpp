// The settings file: where it lives, and what the window shows of it at creation and hands back at
// the close.
#include "app/ondavoform1.h"
#include "ui_ondavoform1.h"

#include "core/clock.h"
#include "platform/platform.h"
#include "radio/radiosession.h"
#include "settings/settingsfile.h"
#include "ui/checkrow.h"

#include <QDir>

void TOndavoForm1::resolvePaths()
{
    const QString appData = m_env.platform->appDataFolder();
    m_state.DataFolder = appData + QStringLiteral("/Ondavo");
    // Without a per-user folder there is nowhere sound to keep settings: run without them
    // rather than writing to the root of the file system.
    const bool ok = !appData.isEmpty() && QDir().mkpath(m_state.DataFolder);
    m_state.SettingsFile = ok ? m_state.DataFolder + QStringLiteral("/settings.ini") : QString();
}

void TOndavoForm1::LoadSettings()
{
    if (m_state.SettingsFile.isEmpty())
        return;
    const QDateTime now = m_env.clock->now();
    const std::optional<Settings> s = Settings::load(m_state.SettingsFile, now, m_random);
    if (!s)
        return;
    m_radio->setIdentity(s->userName, s->passw);
    m_radio->setVolume(s->volume);
    m_state.LastActionId = s->timer.action;
    m_timer->setKept(s->timer);
    ui->TimerCommandEdit->setText(s->timer.command);
    ui->CloseMeOnExecChBox->setChecked(s->timer.closeAfterCommand);
    ui->SleepUntilAlarmChBox->setChecked(s->timer.sleepUntilAlarm);
    CheckRow::setChecked(ui->RepeatDaysRow, s->timer.repeatDays);
    const QDateTime offered = s->timer.offeredWakeUp(now.date());
    ui->WakeUpDatePicker->setDate(offered.date());
    ui->WakeUpTimePicker->setTime(offered.time());
}

bool TOndavoForm1::SaveSettings()
{
    if (m_state.SettingsFile.isEmpty())
        return true;
    Settings s{m_radio->userName(), m_radio->passw(), timerDraft()};
    s.timer.wakeUp = m_timer->wakeUpTime();
    s.timer.quietSleepAt = m_timer->quietSleepAt();
    s.volume = m_radio->volume();
    return s.save(m_state.SettingsFile);
}
