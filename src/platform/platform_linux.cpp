#include "platform/platform.h"

#include "platform/autostart.h"
#include "platform/logind.h"
#include "platform/systemdwake.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QNetworkInformation>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QUrl>
#include <QWindow>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <glob.h>
#include <limits>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <sys/un.h>
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

// Whether a server listens on the Unix socket at path; connecting to one answers at once.
bool listensAt(const QByteArray &path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// A PulseAudio (or PipeWire) server as libpulse finds it: PULSE_SERVER's entries, else the
// runtime folder's socket. A server over the network is taken on trust.
bool soundServerAnswers()
{
    const QByteArray servers = qgetenv("PULSE_SERVER");
    if (servers.isEmpty())
        return listensAt(qgetenv("XDG_RUNTIME_DIR") + "/pulse/native");
    for (QByteArray entry : servers.split(' ')) {
        if (entry.startsWith('{'))
            entry = entry.mid(entry.indexOf('}') + 1);
        if (entry.startsWith("unix:"))
            entry = entry.mid(5);
        if (entry.isEmpty())
            continue;
        if (!entry.startsWith('/') || listensAt(entry))
            return true;
    }
    return false;
}

// Without a server the engine plays straight to ALSA, which needs a playback device.
bool soundCardPresent()
{
    glob_t found = {};
    const bool any = ::glob("/dev/snd/pcmC*D*p", 0, nullptr, &found) == 0 && found.gl_pathc > 0;
    ::globfree(&found);
    return any;
}

// SIGTERM and SIGHUP arrive when the system or the session ends; the handler only writes a byte to
// a socket, which the event loop turns into a signal on the GUI thread.
int g_terminationFds[2] = {-1, -1};

extern "C" void onTerminationSignal(int)
{
    const char byte = 1;
    // Nothing else is async-signal-safe enough to do here.
    [[maybe_unused]] const ssize_t n = ::write(g_terminationFds[0], &byte, 1);
}

class LinuxPlatform final : public Platform
{
public:
    LinuxPlatform()
    {
        connect(&m_logind, &Logind::resumed, this, &Platform::systemResumed);
        connect(&m_logind, &Logind::failed, this, &Platform::requestFailed);
        // A Suspend refused after the timer was accepted leaves the timer: it does no harm awake,
        // and wakes the computer should it be put to sleep some other way.
        connect(&m_wake, &SystemdWake::accepted, &m_logind, &Logind::suspend);
        connect(&m_wake, &SystemdWake::failed, this, &Platform::requestFailed);
        watchWallClock();
    }

    void watchNetwork() override
    {
        // NetworkManager's backend, where it runs; without one the radio's own timers suffice.
        if (m_networkWatched ||
            !QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
            return;
        m_networkWatched = true;
        QNetworkInformation *info = QNetworkInformation::instance();
        m_online = info->reachability() == QNetworkInformation::Reachability::Online;
        connect(info, &QNetworkInformation::reachabilityChanged, this,
                [this](QNetworkInformation::Reachability r) {
                    const bool online = r == QNetworkInformation::Reachability::Online;
                    if (online && !m_online)
                        emit networkReturned();
                    m_online = online;
                });
    }

    ~LinuxPlatform() override
    {
        if (m_terminationNotifier) {
            ::signal(SIGTERM, SIG_DFL);
            ::signal(SIGHUP, SIG_DFL);
        }
        m_clockNotifier.reset();
        if (m_clockFd >= 0)
            ::close(m_clockFd);
    }

    QString appDataFolder() const override
    {
        // $XDG_CONFIG_HOME, else ~/.config; Qt applies the same rule.
        return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    }

    QUrl fileBesideExecutable(const QString &relativePath) const override
    {
        // The folder's own bytes: a name that is not valid text must still find the files.
        char path[PATH_MAX];
        const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path);
        if (n <= 0 || size_t(n) >= sizeof path)
            return QUrl();
        const QByteArray executable(path, n);
        return fileUrlIn(executable.left(executable.lastIndexOf('/') + 1), relativePath);
    }

    void bringWindowToFront(QWindow *window) override
    {
        if (!window)
            return;
        window->raise();
        window->requestActivate();
    }

    bool openUrl(const QUrl &url) override
    {
        if (ownSoundNames().isEmpty())
            return QDesktopServices::openUrl(url);
        // The desktop's opener, in the environment of a program started from here. Qt's own
        // fallbacks would start a browser of their choosing in this process's environment.
        const std::pair<QString, QStringList> openers[] = {{QStringLiteral("xdg-open"), {}},
                                                           {QStringLiteral("gio"), {QStringLiteral("open")}},
                                                           {QStringLiteral("kde-open5"), {}},
                                                           {QStringLiteral("exo-open"), {}}};
        for (const auto &[name, verb] : openers) {
            const QString opener = QStandardPaths::findExecutable(name);
            if (opener.isEmpty())
                continue;
            QProcess process;
            process.setProgram(opener);
            process.setArguments(verb + QStringList{QString::fromLatin1(url.toEncoded())});
            process.setProcessEnvironment(childEnvironment());
            return process.startDetached();
        }
        qCWarning(lcPlatform) << "Could not open" << url.toDisplayString()
                              << ": no xdg-open, gio, kde-open5 or exo-open";
        return false;
    }

    bool startDetached(const QString &program, const QStringList &arguments, QString *error) override
    {
        QProcess process;
        process.setProgram(program);
        process.setArguments(arguments);
        process.setProcessEnvironment(childEnvironment());
        if (process.startDetached())
            return true;
        // Qt says only "execv: No such file or directory" for a name that is nowhere on PATH. Its
        // words for other failures hold the system's, which go to the journal only.
        if (!program.contains(QLatin1Char('/')) && QStandardPaths::findExecutable(program).isEmpty())
            *error = Platform::tr("программа %1 не найдена").arg(program);
        else
            *error = Platform::tr("программу запустить не удалось");
        qCWarning(lcPlatform) << "Could not start" << program << arguments << ":" << process.errorString();
        return false;
    }

    void requestPowerOff() override { m_logind.powerOff(); }
    void requestSuspend() override { m_logind.suspend(); }
    void suspendUntil(const QDateTime &wakeAt) override { m_wake.start(wakeAt); }
    void cancelWakeTimer() override { m_wake.cancel(); }
    void inhibitIdle(const QString &why) override { m_logind.inhibitIdle(why); }
    void releaseIdle() override { m_logind.releaseIdle(); }

    bool canPlaySound() const override { return soundServerAnswers() || soundCardPresent(); }

    void watchTermination() override
    {
        if (m_terminationNotifier ||
            (g_terminationFds[0] < 0 &&
             ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_terminationFds) != 0))
            return;
        m_terminationNotifier = std::make_unique<QSocketNotifier>(g_terminationFds[1], QSocketNotifier::Read);
        connect(m_terminationNotifier.get(), &QSocketNotifier::activated, this, [this] {
            char byte;
            [[maybe_unused]] const ssize_t n = ::read(g_terminationFds[1], &byte, 1);
            emit terminationRequested();
        });
        struct sigaction action = {};
        action.sa_handler = onTerminationSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGHUP, &action, nullptr);
    }

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
    bool m_networkWatched = false;
    bool m_online = true;
    SystemdWake m_wake;
    int m_clockFd = -1;
    std::unique_ptr<QSocketNotifier> m_clockNotifier;
    std::unique_ptr<QSocketNotifier> m_terminationNotifier;
};

} // namespace

std::unique_ptr<Platform> createSystemPlatform()
{
    return std::make_unique<LinuxPlatform>();
}

QUrl fileUrlIn(const QByteArray &folder, const QString &relativePath)
{
    const QByteArray path = folder + QFile::encodeName(relativePath);
    struct stat info = {};
    if (!folder.startsWith('/') || ::stat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return QUrl();
    // Percent-encoded, the bytes reach the engine as they are, whatever the locale's encoding.
    return QUrl::fromEncoded("file://" + path.toPercentEncoding("/"));
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
