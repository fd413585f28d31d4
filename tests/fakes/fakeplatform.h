#pragma once

#include "platform/platform.h"

#include <QList>
#include <QUrl>

// Records what the program asks of the system; never touches it.
class FakePlatform final : public Platform
{
public:
    QString appData;
    QString exeFolder;
    QList<QWidget *> broughtToFront;
    QList<QUrl> openedUrls;
    bool trayAvailable = true;
    QString versionText;

    QString appDataFolder() const override { return appData; }
    QString executableFolder() const override { return exeFolder; }
    void bringWindowToFront(QWidget *window) override { broughtToFront << window; }
    bool openUrl(const QUrl &url) override
    {
        openedUrls << url;
        return true;
    }
    bool isSystemTrayAvailable() const override { return trayAvailable; }
    QString fileVersionText() const override { return versionText; }
};
