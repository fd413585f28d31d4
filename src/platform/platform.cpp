#include "platform/platform.h"

#include "about/versionrecord.h"

#include <QSystemTrayIcon>

Q_LOGGING_CATEGORY(lcPlatform, "ondavo.platform", QtInfoMsg)

Platform::~Platform() = default;

bool Platform::isSystemTrayAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool Platform::startsAtLogin() const
{
    return false;
}

bool Platform::setStartsAtLogin(bool, QString *error)
{
    *error = QStringLiteral("запуск вместе с системой здесь не поддерживается");
    return false;
}

QString Platform::fileVersionText() const
{
    return VersionRecord::getFileVersionText();
}
