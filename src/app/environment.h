#pragma once

#include "radio/radiosession.h"
#include "service/browserpane.h"
#include "service/endpoints.h"

#include <functional>

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
    // Whether the desktop has a tray (notification area) the icon can live in right now; empty,
    // the desktop is asked.
    std::function<bool()> trayAvailable;
    int alarmWatchMs = RadioSession::AlarmWatchMs;
    // The desktop's player controls, when the program could take its place on the session bus.
    MediaPlayer *mediaPlayer = nullptr;
};
