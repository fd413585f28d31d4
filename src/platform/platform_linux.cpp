#include "platform/platform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>

namespace {

class LinuxPlatform final : public Platform
{
public:
    QString appDataFolder() const override
    {
        // $XDG_CONFIG_HOME, else ~/.config; Qt applies the same rule.
        return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    }

    QString executableFolder() const override
    {
        return QDir(QCoreApplication::applicationDirPath()).absolutePath() + QLatin1Char('/');
    }

    void bringWindowToFront(QWidget *window) override
    {
        if (!window)
            return;
        if (window->isMinimized() || window->isHidden())
            window->showNormal();
        window->raise();
        window->activateWindow();
    }

    bool openUrl(const QUrl &url) override { return QDesktopServices::openUrl(url); }

    bool startDetached(const QString &program, const QStringList &arguments) override
    {
        return QProcess::startDetached(program, arguments);
    }

    // logind over D-Bus comes next.
    void requestPowerOff() override {}
    void requestSuspend() override {}
    void inhibitIdle(const QString &) override {}
    void releaseIdle() override {}
};

} // namespace

std::unique_ptr<Platform> createSystemPlatform()
{
    return std::make_unique<LinuxPlatform>();
}
