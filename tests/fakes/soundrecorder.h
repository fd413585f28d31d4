#pragma once

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QVector>

#include <cmath>
#include <csignal>
#include <sys/prctl.h>

// What a person at this machine would hear: a private PulseAudio server whose only sink is a
// null sink, and a recording of that sink's monitor. Programs started after start() (and this
// process's web engine) play into it through PULSE_SERVER.
class SoundRecorder
{
public:
    static constexpr int Rate = 16000; // mono, 16-bit

    ~SoundRecorder()
    {
        for (QProcess *p : {&m_recorder, &m_server}) {
            p->terminate();
            if (!p->waitForFinished(5000))
                p->kill();
        }
    }

    bool start(const QString &folder)
    {
        const QString socket = folder + QStringLiteral("/native");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), folder);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder);
        m_server.setProcessEnvironment(env);
        m_server.setProgram(QStringLiteral("pulseaudio"));
        m_server.setArguments(
            {QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
             QStringLiteral("--use-pid-file=no"), QStringLiteral("--disable-shm=yes"), QStringLiteral("-L"),
             QStringLiteral("module-null-sink sink_name=heard"), QStringLiteral("-L"),
             QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") + socket});
        dieWithParent(m_server);
        m_server.start();
        QDeadlineTimer up(10000);
        while (!QFileInfo::exists(socket) && !up.hasExpired())
            QTest::qWait(50);
        if (!QFileInfo::exists(socket))
            return false;
        m_address = QStringLiteral("unix:") + socket;
        qputenv("PULSE_SERVER", m_address.toLocal8Bit());
        m_recorder.setProgram(QStringLiteral("parec"));
        m_recorder.setArguments({QStringLiteral("-d"), QStringLiteral("heard.monitor"),
                                 QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                                 QStringLiteral("--channels=1"), QStringLiteral("--rate=%1").arg(Rate)});
        dieWithParent(m_recorder);
        m_recorder.start();
        return m_recorder.waitForStarted(5000);
    }

    QString address() const { return m_address; }

    // Forgets what was played so far.
    void skip()
    {
        QTest::qWait(50);
        m_recorder.readAllStandardOutput();
    }

    // Listens for up to ms and returns the loudest level of any one second heard, in dBFS (a tone
    // at a quarter of full scale reads about -15; silence reads -inf). Stops early once a second
    // reaches stopAbove.
    double loudest(int ms, double stopAbove = 0)
    {
        QVector<qint16> samples;
        double best = -INFINITY;
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired() && best < stopAbove) {
            QTest::qWait(100); // the engine keeps running meanwhile
            const QByteArray data = m_recorder.readAllStandardOutput();
            const auto *p = reinterpret_cast<const qint16 *>(data.constData());
            samples.append(QVector<qint16>(p, p + data.size() / 2));
            // Every whole second, slid by a tenth of a second.
            for (qsizetype first = 0; first + Rate <= samples.size(); first += Rate / 10)
                best = std::max(best, level(samples.constData() + first));
            if (samples.size() > Rate)
                samples.remove(0, samples.size() - Rate);
        }
        return best;
    }

private:
    static double level(const qint16 *second)
    {
        double sum = 0;
        for (int i = 0; i < Rate; ++i)
            sum += double(second[i]) * second[i];
        return 20 * std::log10(std::sqrt(sum / Rate) / 32768.0);
    }

    static void dieWithParent(QProcess &process)
    {
        process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    }

    QProcess m_server;
    QProcess m_recorder;
    QString m_address;
};
