#include "platform/dbusreply.h"

#include <QCoreApplication>
#include <QHash>

namespace {

// Each error the program may meet reads as one of these, after the frame that says what failed.
const char *const Denied = QT_TRANSLATE_NOOP("Platform", "нет разрешения");
const char *const NoAnswer = QT_TRANSLATE_NOOP("Platform", "система не ответила");
const char *const Absent = QT_TRANSLATE_NOOP("Platform", "системная служба недоступна");
const char *const Unsupported = QT_TRANSLATE_NOOP("Platform", "система этого не поддерживает");
const char *const Busy = QT_TRANSLATE_NOOP("Platform", "система занята таким же запросом");
const char *const Refused = QT_TRANSLATE_NOOP("Platform", "система отказала");

const char *sentenceOf(const QDBusError &error)
{
    if (isServiceAbsent(error))
        return Absent;
    switch (error.type()) {
    case QDBusError::AccessDenied:
        return Denied;
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return NoAnswer;
    // The program's calls are well formed: arguments refused mean a property or value this
    // version of the service does not know.
    case QDBusError::NotSupported:
    case QDBusError::InvalidArgs:
    case QDBusError::UnknownProperty:
    case QDBusError::PropertyReadOnly:
        return Unsupported;
    default:
        break;
    }
    // Names Qt has no type for: polkit's and logind's own.
    static const QHash<QString, const char *> names = {
        {QStringLiteral("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"), Denied},
        {QStringLiteral("org.freedesktop.PolicyKit1.Error.NotAuthorized"), Denied},
        {QStringLiteral("org.freedesktop.PolicyKit1.Error.Cancelled"), Denied},
        {QStringLiteral("org.freedesktop.DBus.Error.Spawn.ServiceNotFound"), Absent},
        {QStringLiteral("org.freedesktop.login1.OperationInProgress"), Busy},
        {QStringLiteral("org.freedesktop.login1.SleepVerbNotSupported"), Unsupported},
    };
    return names.value(error.name(), Refused);
}

} // namespace

QString failureSentence(const QDBusError &error)
{
    return QCoreApplication::translate("Platform", sentenceOf(error));
}

QString noBusSentence()
{
    return QCoreApplication::translate("Platform", Absent);
}

QString failureDetail(const QDBusError &error)
{
    if (error.name().isEmpty())
        return error.message();
    return error.message().isEmpty() ? error.name() : error.name() + QStringLiteral(": ") + error.message();
}
