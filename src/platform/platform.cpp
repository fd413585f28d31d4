#include "platform/platform.h"

#include "about/versionrecord.h"

Q_LOGGING_CATEGORY(lcPlatform, "ondavo.platform", QtInfoMsg)

Platform::~Platform() = default;

bool Platform::canPlaySound() const
{
    return true;
}

void Platform::watchTermination() {}

void Platform::watchNetwork() {}

void Platform::suspendUntil(const QDateTime &)
{
    QMetaObject::invokeMethod(
        this, [this] { emit requestFailed(Request::WakeTimer, tr("эта система не умеет будить себя сама")); },
        Qt::QueuedConnection);
}

void Platform::cancelWakeTimer() {}

bool Platform::startsAtLogin() const
{
    return false;
}

bool Platform::setStartsAtLogin(bool, QString *error)
{
    *error = tr("запуск вместе с системой здесь не поддерживается");
    return false;
}

QString Platform::fileVersionText() const
{
    return VersionRecord::getFileVersionText();
}
