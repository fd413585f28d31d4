#pragma once

#include <QByteArray>

// A gentle alarm pattern (groups of short 880 Hz beeps with a rest between them) as a 16-bit mono
// PCM WAVE file, so the service has a station that plays without the internet.
QByteArray signalWav(int sampleRate);

// The endless station: a header of the same format whose sizes say the data never ends, and one
// second of a steady 440 Hz tone at a quarter of full scale. A second holds whole periods, so
// seconds sent one after another join without a seam.
QByteArray endlessWavHeader(int sampleRate);
QByteArray steadyToneSecond(int sampleRate);
