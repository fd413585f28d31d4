#!/usr/bin/env bash
# A look at the real program as a person would see it: Xvfb with a window manager (openbox) and
# an XEmbed tray (trayer), the reference service, and screenshots after each step:
#   1. start, 2. minimise (the window goes to the tray), 3. click the tray icon (it comes back),
#   4. rest the pointer on the timer tab (it opens by itself), 5. then on the about tab.
# Needs: apt-get install xvfb openbox trayer xdotool imagemagick. Usage: tests/manual/tray-check.sh [build] [out-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin="$root/${1:-build}/bin"
out=${2:-/tmp/ondavo-tray-check}
mkdir -p "$out"
work=$(mktemp -d)
export DISPLAY=:57 XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" QTWEBENGINE_DISABLE_SANDBOX=1
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
Xvfb :57 -screen 0 1024x700x24 >/dev/null 2>&1 & pids+=($!)
sleep 1
openbox >/dev/null 2>&1 & pids+=($!)
trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 --SetDockType true >/dev/null 2>&1 & pids+=($!)
"$bin/ondavo-service" --port 8470 >/dev/null & pids+=($!)
"$bin/ondavo-service" --port 8471 >/dev/null & pids+=($!)
sleep 1
"$bin/ondavo" & app=$!; pids+=($app)
sleep 8
shot() { import -window root "$out/$1.png"; echo "$out/$1.png"; }
win=$(xdotool search --sync --onlyvisible --name '^Ondavo' | head -1)
shot 1-started
echo "visible windows named Ondavo: $(xdotool search --onlyvisible --name '^Ondavo' | wc -l)"
xdotool windowminimize "$win"; sleep 2
shot 2-minimised
echo "after minimise, visible: $(xdotool search --onlyvisible --name '^Ondavo' | wc -l)"
# The tray icon sits at the right end of trayer's strip at the bottom right.
tray=$(xdotool search --onlyvisible --class trayer | head -1)
eval "$(xdotool getwindowgeometry --shell "$tray")"; echo "tray strip at $X,$Y size ${WIDTH}x$HEIGHT"
xdotool mousemove $((X + WIDTH - 12)) $((Y + HEIGHT / 2)); sleep 0.5; xdotool click 1; sleep 2
shot 3-restored
echo "after tray click, visible: $(xdotool search --onlyvisible --name '^Ondavo' | wc -l)"
# The timer tab is the third; rest on it (coordinates relative to the window itself).
xdotool mousemove --window "$win" 200 12; sleep 0.1; xdotool mousemove --window "$win" 205 13; sleep 1
shot 4-timer-tab
xdotool mousemove --window "$win" 280 12; sleep 0.1; xdotool mousemove --window "$win" 281 13; sleep 1
shot 5-about-tab
kill -TERM "$app"; wait "$app" || true
echo "settings: $(cat "$XDG_CONFIG_HOME/Ondavo/settings.ini" | tr '\n' ' ')"
