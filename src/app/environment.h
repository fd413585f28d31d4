#pragma once

#include "service/browserpane.h"
#include "service/endpoints.h"

class Clock;
class MediaPlayer;
class Platform;

// Everything the main window needs from outside; main() passes the real ones, tests pass fakes.
struct Environment
{
    Clock *clock = nullptr;
    Platform *platform = nullptr;
    BrowserPaneFactory paneFactory;
    Endpoints endpoints;
    // How long the radio may stay silent after a wake-up before the program rings its own alarm.
    int alarmWatchMs = 20000;
    // The desktop's player controls, when the program could take its place on the session bus.
    MediaPlayer *mediaPlayer = nullptr;
};
