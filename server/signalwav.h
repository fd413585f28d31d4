#pragma once

#include <QByteArray>

// A gentle alarm pattern (groups of short 880 Hz beeps with a rest between them) as a 16-bit mono
// PCM WAVE file, so the service has a station that plays without the internet.
QByteArray signalWav(int sampleRate);
