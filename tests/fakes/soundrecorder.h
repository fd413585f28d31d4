#pragma once

#include "fakes/soundserver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QVector>

#include <cmath>

// What a person at this machine would hear: a private sound server (SoundServer) and a recording
// of its sink's monitor.
class SoundRecorder
{
public:
    static constexpr int Rate = 16000; // mono, 16-bit

    ~SoundRecorder()
    {
        m_recorder.terminate();
        if (!m_recorder.waitForFinished(5000))
            m_recorder.kill();
    }

    bool start(const QString &folder)
    {
        if (!m_server.start(folder, QStringLiteral("heard")))
            return false;
        m_recorder.setProgram(QStringLiteral("parec"));
        m_recorder.setArguments({QStringLiteral("-d"), QStringLiteral("heard.monitor"),
                                 QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                                 QStringLiteral("--channels=1"), QStringLiteral("--rate=%1").arg(Rate)});
        dieWithParent(m_recorder);
        m_recorder.start();
        return m_recorder.waitForStarted(5000);
    }

    QString address() const { return m_server.address(); }

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

    SoundServer m_server;
    QProcess m_recorder;
};
