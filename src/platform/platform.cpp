#include "platform/platform.h"

#include "about/versionrecord.h"

#include <QSystemTrayIcon>

Q_LOGGING_CATEGORY(lcPlatform, "ondavo.platform", QtInfoMsg)

Platform::~Platform() = default;

bool Platform::isSystemTrayAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QString Platform::fileVersionText() const
{
    return VersionRecord::getFileVersionText();
}
