#include "signalwav.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kToneHz = 880.0;
constexpr double kAmplitude = 0.3 * 32767; // well below full scale: it wakes, it does not blare
constexpr int kBeepsPerGroup = 4;
constexpr double kBeepSeconds = 0.15;
constexpr double kGapSeconds = 0.10;
constexpr double kRestSeconds = 0.5;
constexpr int kGroups = 2;
constexpr double kRampSeconds = 0.005; // fades each beep in and out, so it does not click
// The endless station's tone: a quarter of full scale, about -12 dBFS at its peaks.
constexpr double kSteadyHz = 440.0;
constexpr double kSteadyAmplitude = 0.25 * 32767;

template <typename T> void append(QByteArray &out, T value)
{
    const T little = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&little), sizeof little);
}

// 16-bit mono PCM.
void appendHeader(QByteArray &out, int sampleRate, quint32 riffBytes, quint32 dataBytes)
{
    out.append("RIFF");
    append<quint32>(out, riffBytes);
    out.append("WAVEfmt ");
    append<quint32>(out, 16); // size of the format chunk
    append<quint16>(out, 1);  // PCM
    append<quint16>(out, 1);  // mono
    append<quint32>(out, quint32(sampleRate));
    append<quint32>(out, quint32(sampleRate) * 2); // bytes per second
    append<quint16>(out, 2);                       // bytes per sample frame
    append<quint16>(out, 16);                      // bits per sample
    out.append("data");
    append<quint32>(out, dataBytes);
}

} // namespace

QByteArray signalWav(int sampleRate)
{
    const int beep = int(std::lround(kBeepSeconds * sampleRate));
    const int gap = int(std::lround(kGapSeconds * sampleRate));
    const int rest = int(std::lround(kRestSeconds * sampleRate));
    const int ramp = std::max(1, int(std::lround(kRampSeconds * sampleRate)));
    const int group = kBeepsPerGroup * (beep + gap) + rest;
    const quint32 dataBytes = quint32(kGroups * group) * 2;

    QByteArray out;
    out.reserve(44 + int(dataBytes));
    appendHeader(out, sampleRate, 36 + dataBytes, dataBytes);

    for (int i = 0; i < kGroups * group; ++i) {
        const int inGroup = i % group;
        const int inBeep = inGroup % (beep + gap);
        double sample = 0;
        if (inGroup < kBeepsPerGroup * (beep + gap) && inBeep < beep) {
            const double envelope = std::min({1.0, double(inBeep) / ramp, double(beep - 1 - inBeep) / ramp});
            sample = kAmplitude * envelope * std::sin(2 * kPi * kToneHz * inBeep / sampleRate);
        }
        append<qint16>(out, qint16(std::lround(sample)));
    }
    return out;
}

QByteArray endlessWavHeader(int sampleRate)
{
    // The size players read as "unknown": they play on until the connection ends.
    QByteArray out;
    appendHeader(out, sampleRate, 0xFFFFFFFF, 0xFFFFFFFF);
    return out;
}

QByteArray steadyToneSecond(int sampleRate)
{
    QByteArray out;
    out.reserve(2 * sampleRate);
    for (int i = 0; i < sampleRate; ++i)
        append<qint16>(
            out, qint16(std::lround(kSteadyAmplitude * std::sin(2 * kPi * kSteadyHz * i / sampleRate))));
    return out;
}
