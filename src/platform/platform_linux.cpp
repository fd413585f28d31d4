#include "platform/platform.h"

#include "platform/autostart.h"
#include "platform/logind.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <limits>
#include <memory>
#include <sys/timerfd.h>
#include <unistd.h>
#include <utility>

namespace {

const char SoundNamesVariable[] = "PULSE_PROP_OVERRIDE";

// What nameSoundStreams() put into the environment, or empty.
QByteArray &ownSoundNames()
{
    static QByteArray names;
    return names;
}

// For a program started from here: without the program's own sound names, or the mixer would show
// the started player as this program and give it this program's restored volume, muted or not.
QProcessEnvironment childEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!ownSoundNames().isEmpty() && qgetenv(SoundNamesVariable) == ownSoundNames())
        env.remove(QString::fromLatin1(SoundNamesVariable));
    return env;
}

class LinuxPlatform final : public Platform
{
public:
    LinuxPlatform()
    {
        connect(&m_logind, &Logind::resumed, this, &Platform::systemResumed);
        connect(&m_logind, &Logind::failed, this, &Platform::requestFailed);
        watchWallClock();
    }

    ~LinuxPlatform() override
    {
        m_clockNotifier.reset();
        if (m_clockFd >= 0)
            ::close(m_clockFd);
    }

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

    bool openUrl(const QUrl &url) override
    {
        const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        if (ownSoundNames().isEmpty() || opener.isEmpty())
            return QDesktopServices::openUrl(url);
        // As Qt would open it, but in the environment of a program started from here.
        QProcess process;
        process.setProgram(opener);
        process.setArguments({QString::fromLatin1(url.toEncoded())});
        process.setProcessEnvironment(childEnvironment());
        return process.startDetached();
    }

    bool startDetached(const QString &program, const QStringList &arguments, QString *error) override
    {
        QProcess process;
        process.setProgram(program);
        process.setArguments(arguments);
        process.setProcessEnvironment(childEnvironment());
        if (process.startDetached())
            return true;
        // Qt says only "execv: No such file or directory" for a name that is nowhere on PATH.
        if (!program.contains(QLatin1Char('/')) && QStandardPaths::findExecutable(program).isEmpty())
            *error = QStringLiteral("программа %1 не найдена").arg(program);
        else
            *error = process.errorString();
        qCWarning(lcPlatform) << "Could not start" << program << arguments << ":" << *error;
        return false;
    }

    void requestPowerOff() override { m_logind.powerOff(); }
    void requestSuspend() override { m_logind.suspend(); }
    void inhibitIdle(const QString &why) override { m_logind.inhibitIdle(why); }
    void releaseIdle() override { m_logind.releaseIdle(); }

    bool startsAtLogin() const override { return Autostart::isOn(); }
    bool setStartsAtLogin(bool on, QString *error) override
    {
        return Autostart::set(on, QCoreApplication::applicationFilePath(), error);
    }

private:
    // An absolute CLOCK_REALTIME timer armed with TFD_TIMER_CANCEL_ON_SET is cancelled by the kernel
    // whenever the clock is set; its far-off expiry never comes.
    void watchWallClock()
    {
        m_clockFd = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
        if (m_clockFd < 0)
            return;
        if (!armClockTimer()) {
            ::close(m_clockFd);
            m_clockFd = -1;
            return;
        }
        m_clockNotifier = std::make_unique<QSocketNotifier>(m_clockFd, QSocketNotifier::Read);
        connect(m_clockNotifier.get(), &QSocketNotifier::activated, this, [this] {
            std::uint64_t expirations = 0;
            if (::read(m_clockFd, &expirations, sizeof expirations) < 0 && errno == ECANCELED) {
                // Re-armed before the signal so a second setting during the slots is not missed.
                armClockTimer();
                emit wallClockChanged();
            }
        });
    }

    bool armClockTimer() const
    {
        itimerspec farOff{};
        farOff.it_value.tv_sec = std::numeric_limits<time_t>::max();
        return ::timerfd_settime(m_clockFd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &farOff, nullptr) ==
               0;
    }

    Logind m_logind;
    int m_clockFd = -1;
    std::unique_ptr<QSocketNotifier> m_clockNotifier;
};

} // namespace

std::unique_ptr<Platform> createSystemPlatform()
{
    return std::make_unique<LinuxPlatform>();
}

void nameSoundStreams(const QString &iconName)
{
    if (qEnvironmentVariableIsSet(SoundNamesVariable))
        return;
    // libpulse puts these on the client, under what the web engine sets on each stream: the engine's
    // own application.icon_name stays there, but mixers look at media.icon_name first.
    const std::pair<const char *, QString> names[] = {
        {"application.name", QCoreApplication::applicationName()},
        {"application.icon_name", iconName},
        {"media.icon_name", iconName}};
    QByteArrayList pairs;
    for (const auto &[key, value] : names) {
        // A key the user names alone keeps the user's value.
        if (!qEnvironmentVariableIsSet((QByteArray(SoundNamesVariable) + '_' + key).constData()))
            pairs << QByteArray(key) + "='" + value.toUtf8() + '\'';
    }
    if (pairs.isEmpty())
        return;
    ownSoundNames() = pairs.join(' ');
    qputenv(SoundNamesVariable, ownSoundNames());
}
