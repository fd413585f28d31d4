#include "settings/settingsfile.h"

#include "settings/identity.h"
#include "settings/inifile.h"
#include "settings/localedatetime.h"
#include "settings/profilevalues.h"
#include "settings/settingskeys.h"

#include <QLocale>

#include <cmath>

namespace Keys = SettingsKeys;

namespace {
// A volume that cannot be read back plays at full: a radio silenced by a typo would seem dead.
double readVolume(const QString &text)
{
    const int percent = ProfileValues::readInteger(text, 100);
    return percent >= 0 && percent <= 100 ? percent / 100.0 : 1.0;
}
} // namespace

std::optional<Settings> Settings::load(const QString &path, const QDateTime &now, QRandomGenerator &random)
{
    // What is not a regular file, or cannot be read, is taken as no file at all.
    const IniFile ini = IniFile::load(path);
    if (ini.source() != IniFile::Source::File)
        return std::nullopt;
    const auto value = [&ini](const QString &key) { return ini.value(Keys::Section, key); };
    Settings s;
    s.timer.command = value(Keys::TimerCmd);
    s.userName = value(Keys::UserName);
    s.passw = value(Keys::Passw);
    s.timer.action = ProfileValues::readInteger(value(Keys::LastActionId), 0);
    s.timer.closeAfterCommand = ProfileValues::readBoolean(value(Keys::CloseOnExec), false);
    s.timer.wakeUp = LocaleDateTime::parse(value(Keys::WakeUpDate), QLocale(), now.date().year())
                         .value_or(DateTime::fromQDateTime(now));
    s.timer.repeatDays = ProfileValues::parseDays(value(Keys::RepeatDays));
    s.timer.quietSleepAt =
        LocaleDateTime::parse(value(Keys::QuietSleepAt), QLocale(), now.date().year()).value_or(DateTime());
    s.timer.sleepUntilAlarm = ProfileValues::readBoolean(value(Keys::SleepUntilAlarm), false);
    s.volume = readVolume(value(Keys::Volume));
    if (s.userName.isEmpty())
        s.userName = Identity::makeAnonymousUserName(random);
    if (s.passw.isEmpty())
        s.passw = Identity::makeRandomPassword(random);
    return s;
}

bool Settings::save(const QString &path) const
{
    // Everything else in the file (other sections, keys, comments) is kept as it was. A file that
    // could not be read, or something that is not a file, is never replaced: save() fails.
    IniFile ini = IniFile::load(path);
    const auto set = [&ini](const QString &key, const QString &text) {
        ini.setValue(Keys::Section, key, text);
    };
    set(Keys::TimerCmd, timer.command);
    set(Keys::UserName, userName);
    set(Keys::Passw, passw);
    set(Keys::LastActionId, ProfileValues::integerText(timer.action));
    set(Keys::CloseOnExec, ProfileValues::booleanText(timer.closeAfterCommand));
    set(Keys::WakeUpDate, LocaleDateTime::format(timer.wakeUp, QLocale()));
    // The repeat's keys appear once there is a repeat to keep, and are kept up to date after. Days
    // the file already says (a hand-edited or garbage value says none) keep their text.
    const auto setKept = [&](const QString &key, bool worth, const QString &text) {
        if (worth || ini.contains(Keys::Section, key))
            set(key, text);
    };
    if (ProfileValues::parseDays(ini.value(Keys::Section, Keys::RepeatDays)) != timer.repeatDays)
        setKept(Keys::RepeatDays, timer.repeatDays != 0, ProfileValues::daysText(timer.repeatDays));
    setKept(Keys::QuietSleepAt, timer.repeatDays != 0, LocaleDateTime::format(timer.quietSleepAt, QLocale()));
    setKept(Keys::SleepUntilAlarm, timer.sleepUntilAlarm, ProfileValues::booleanText(timer.sleepUntilAlarm));
    const int percent = int(std::lround(volume * 100));
    if (readVolume(ini.value(Keys::Section, Keys::Volume)) * 100 != percent)
        setKept(Keys::Volume, percent < 100, ProfileValues::integerText(percent));
    return ini.save(path);
}
