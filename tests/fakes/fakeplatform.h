#pragma once

#include "platform/platform.h"

#include <QDateTime>
#include <QFile>
#include <QList>
#include <QStringList>
#include <QUrl>

// Records what the program asks of the system; never touches it.
class FakePlatform final : public Platform
{
public:
    QString appData;
    QString exeFolder;
    QList<QWindow *> broughtToFront;
    QList<QUrl> openedUrls;
    bool startSucceeds = true;
    bool soundHeard = true; // a sound server answers
    QString versionText;
    QString idleInhibitedFor;  // empty while no lock is held
    bool atLogin = false;      // the login entry is there
    bool atLoginFails = false; // changing it fails and says why
    // suspendUntil() fails as a refused timer does.
    bool wakeTimerRefused = false;
    // Every request to the system in order: "open <url>", "start <program> <args…>", "poweroff",
    // "suspend", "inhibit <why>", "release", "login on", "login off".
    QStringList calls;

    QString appDataFolder() const override { return appData; }
    QUrl fileBesideExecutable(const QString &relativePath) const override
    {
        return fileUrlIn(QFile::encodeName(exeFolder), relativePath);
    }
    void bringWindowToFront(QWindow *window) override { broughtToFront << window; }
    bool openUrl(const QUrl &url) override
    {
        openedUrls << url;
        calls << QStringLiteral("open ") + url.toString();
        return true;
    }
    bool startDetached(const QString &program, const QStringList &arguments, QString *error) override
    {
        calls << (QStringList{QStringLiteral("start"), program} + arguments).join(QLatin1Char(' '));
        if (!startSucceeds)
            *error = QStringLiteral("No such file or directory");
        return startSucceeds;
    }
    void requestPowerOff() override { calls << QStringLiteral("poweroff"); }
    void requestSuspend() override { calls << QStringLiteral("suspend"); }
    // Recorded as "suspend-until <ISO date-time>" and "cancel-wake".
    void suspendUntil(const QDateTime &wakeAt) override
    {
        calls << QStringLiteral("suspend-until ") + wakeAt.toString(Qt::ISODate);
        if (wakeTimerRefused)
            QMetaObject::invokeMethod(
                this, [this] { emit requestFailed(Request::WakeTimer, QStringLiteral("Access denied")); },
                Qt::QueuedConnection);
    }
    void cancelWakeTimer() override { calls << QStringLiteral("cancel-wake"); }
    void inhibitIdle(const QString &why) override
    {
        idleInhibitedFor = why;
        calls << QStringLiteral("inhibit ") + why;
    }
    void releaseIdle() override
    {
        if (idleInhibitedFor.isEmpty())
            return;
        idleInhibitedFor.clear();
        calls << QStringLiteral("release");
    }
    bool canPlaySound() const override { return soundHeard; }
    QString fileVersionText() const override { return versionText; }
    bool startsAtLogin() const override { return atLogin; }
    bool setStartsAtLogin(bool on, QString *error) override
    {
        calls << (on ? QStringLiteral("login on") : QStringLiteral("login off"));
        if (atLoginFails) {
            *error = QStringLiteral("Permission denied");
            return false;
        }
        atLogin = on;
        return true;
    }
};
