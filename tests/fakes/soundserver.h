#pragma once

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

// A helper process of a test or a bench ends with it, however it ends.
inline void dieWithParent(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

// A private PulseAudio server whose only sink is a null sink, so a web engine plays as on a desktop
// while nothing reaches a loudspeaker. Programs started after start(), and this process's own web
// engine, play into it through PULSE_SERVER; the sink's monitor is "<sink>.monitor".
class SoundServer
{
public:
    ~SoundServer()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }

    bool start(const QString &folder, const QString &sink)
    {
        const QString socket = folder + QStringLiteral("/native");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), folder);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder);
        m_process.setProcessEnvironment(env);
        m_process.setProgram(QStringLiteral("pulseaudio"));
        m_process.setArguments(
            {QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
             QStringLiteral("--use-pid-file=no"), QStringLiteral("--disable-shm=yes"), QStringLiteral("-L"),
             QStringLiteral("module-null-sink sink_name=") + sink, QStringLiteral("-L"),
             QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") + socket});
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        dieWithParent(m_process);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        QDeadlineTimer up(10000);
        while (!QFileInfo::exists(socket) && !up.hasExpired())
            ::usleep(50000);
        if (!QFileInfo::exists(socket))
            return false;
        m_address = QStringLiteral("unix:") + socket;
        qputenv("PULSE_SERVER", m_address.toLocal8Bit());
        return true;
    }

    QString address() const { return m_address; }
    qint64 pid() const { return m_process.state() == QProcess::Running ? m_process.processId() : 0; }

private:
    QProcess m_process;
    QString m_address;
};
