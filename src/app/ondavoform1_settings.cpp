// The settings file: where it lives, and what is read at creation and written at the close.
#include "app/ondavoform1.h"
#include "ui_ondavoform1.h"

#include "core/clock.h"
#include "platform/platform.h"
#include "settings/identity.h"
#include "settings/inifile.h"
#include "settings/localedatetime.h"
#include "settings/profilevalues.h"

#include <QDir>
#include <QLocale>

namespace {
const QString Section = QStringLiteral("Settings");
const QString KeyTimerCmd = QStringLiteral("TimerCmd");
const QString KeyUserName = QStringLiteral("UserName");
const QString KeyPassw = QStringLiteral("Passw");
const QString KeyLastActionId = QStringLiteral("LastActionId");
const QString KeyCloseOnExec = QStringLiteral("CloseOnExec");
const QString KeyWakeUpDate = QStringLiteral("WakeUpDate");
} // namespace

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
    // Only a file that was read counts: what is not a regular file, or cannot be read, is taken
    // as no file at all, so no identity is made up that could never be kept.
    const IniFile ini = IniFile::load(m_state.SettingsFile);
    if (ini.source() != IniFile::Source::File)
        return;
    const QLocale locale;
    const QDateTime now = m_env.clock->now();

    ui->TimerCommandEdit->setText(ini.value(Section, KeyTimerCmd));
    m_state.UserName = ini.value(Section, KeyUserName);
    m_state.Passw = ini.value(Section, KeyPassw);
    m_state.LastActionId = ProfileValues::readInteger(ini.value(Section, KeyLastActionId), 0);
    ui->CloseMeOnExecChBox->setChecked(ProfileValues::readBoolean(ini.value(Section, KeyCloseOnExec), false));
    m_timer->setWakeUpTime(LocaleDateTime::parse(ini.value(Section, KeyWakeUpDate), locale, now.date().year())
                               .value_or(DateTime::fromQDateTime(now)));

    // The wake-up date is always offered as tomorrow; only the time of day is remembered.
    ui->WakeUpDatePicker->setDate(now.date().addDays(1));
    ui->WakeUpTimePicker->setTime(m_timer->wakeUpTime().time());

    if (m_state.UserName.isEmpty())
        m_state.UserName = Identity::makeAnonymousUserName(m_random);
    if (m_state.Passw.isEmpty())
        m_state.Passw = Identity::makeRandomPassword(m_random);
}

bool TOndavoForm1::SaveSettings()
{
    if (m_state.SettingsFile.isEmpty())
        return true;
    // Everything else in the file (other sections, keys, comments) is kept as it was. A file that
    // could not be read, or something that is not a file, is never replaced: save() fails.
    IniFile ini = IniFile::load(m_state.SettingsFile);
    ini.setValue(Section, KeyTimerCmd, ui->TimerCommandEdit->text());
    ini.setValue(Section, KeyUserName, m_state.UserName);
    ini.setValue(Section, KeyPassw, m_state.Passw);
    ini.setValue(Section, KeyLastActionId, ProfileValues::integerText(static_cast<int>(m_timer->action())));
    ini.setValue(Section, KeyCloseOnExec, ProfileValues::booleanText(ui->CloseMeOnExecChBox->isChecked()));
    ini.setValue(Section, KeyWakeUpDate, LocaleDateTime::format(m_timer->wakeUpTime(), QLocale()));
    return ini.save(m_state.SettingsFile);
}
