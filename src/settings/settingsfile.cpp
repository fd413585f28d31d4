#include "settings/settingsfile.h"

#include "settings/identity.h"
#include "settings/inifile.h"
#include "settings/localedatetime.h"
#include "settings/profilevalues.h"
#include "settings/settingskeys.h"

#include <QLocale>

namespace Keys = SettingsKeys;

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
    return ini.save(path);
}
