#!/usr/bin/env bash
# The timer tried as a person would: the real program under Xvfb with a window manager and a tray,
# the reference service, and a mock logind on a private bus (nothing reaches the real machine).
# Each action is armed by mouse and keys a minute ahead and watched as it fires; screenshots of the
# page armed, in its last minute, after a reset, during quiet sleep and after the wake-up go to the
# output folder. Takes about eight minutes.
# Needs: apt-get install xvfb openbox trayer xdotool imagemagick dbus-daemon python3-dbusmock.
# Usage: tests/manual/timer-check.sh [build] [out-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin="$root/${1:-build}/bin"
out=${2:-/tmp/ondavo-timer-check}
mkdir -p "$out"
work=$(mktemp -d)
export DISPLAY=:59 XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" QTWEBENGINE_DISABLE_SANDBOX=1
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/bus" DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT

cat > "$work/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:path=$work/bus</listen>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>
EOF
Xvfb :59 -screen 0 1024x700x24 >/dev/null 2>&1 & pids+=($!)
dbus-daemon --config-file="$work/bus.conf" --nofork >/dev/null 2>&1 & pids+=($!)
sleep 1
openbox >/dev/null 2>&1 & pids+=($!)
trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 --SetDockType true >/dev/null 2>&1 & pids+=($!)
/usr/bin/python3 -m dbusmock --system --template logind -l "$work/logind.log" >/dev/null 2>&1 & pids+=($!)
"$bin/ondavo-service" --port 8470 --log "$work/service.log" >/dev/null & pids+=($!)
"$bin/ondavo-service" --port 8471 >/dev/null & pids+=($!)
sleep 2
start_program() {
    "$bin/ondavo" & app=$!; pids+=($app)
    sleep 8
    win=$(xdotool search --sync --onlyvisible --name '^Ondavo' | head -1)
}
# Points on the window's client area, as laid out by its form.
at() { xdotool mousemove --window "$win" "$1" "$2" click "${3:-1}"; sleep 0.3; }
shot() { import -window root "$out/$1.png"; echo "screenshot: $out/$1.png"; }
timer_tab() { at 201 15; }
pick_action() { # index 0..4, by keys in the open list
    at 321 95; xdotool key Home; for _ in $(seq "$1"); do xdotool key Down; done; xdotool key Return; sleep 0.3
}
# Showing the page sets its moment to now; one minute up from there.
a_minute_ahead() { at 43 15; timer_tab; at 346 66; xdotool key Up; }
press_set() { at 238 185; }
press_reset() { at 379 184; }
wait_for() { # file pattern seconds
    for _ in $(seq $(( $3 * 4 ))); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.25; done
    echo "NOT SEEN within $3 s: $2 in $1"; return 1
}
check() { if "$@"; then echo "ok: ${*: -2:1}"; fi; }

# A wake-up time that cannot be read stands for the moment of the start, offered for tomorrow.
mkdir -p "$XDG_CONFIG_HOME/Ondavo"
printf '[Settings]\nWakeUpDate=unreadable\n' > "$XDG_CONFIG_HOME/Ondavo/settings.ini"
start_program
timer_tab

# Power off: the mock logind is asked, interactively; the idle lock names the action.
pick_action 1; a_minute_ahead; press_set; sleep 2; shot 1-armed
check wait_for "$work/logind.log" 'Inhibit "idle" "Ondavo" "Таймер Ondavo: «Отключение компьютера»' 5
sleep 15; shot 2-last-minute
check wait_for "$work/logind.log" 'PowerOff True' 75

# Sleep.
pick_action 2; a_minute_ahead; press_set
check wait_for "$work/logind.log" 'Suspend True' 75

# A reset shows the remark in green.
pick_action 0; a_minute_ahead; press_set; sleep 3; press_reset; sleep 0.5; shot 3-after-reset

# Quiet sleep a minute ahead, the alarm about six minutes after the start: the radio goes quiet,
# then plays.
pick_action 4
at 170 123; xdotool key Down            # tomorrow becomes today
at 348 123; xdotool key --repeat 6 Up   # six minutes after the start
a_minute_ahead; press_set
check wait_for "$work/service.log" 'action=sleep' 75
at 43 15; sleep 2; shot 4-quiet-sleep
check wait_for "$work/service.log" 'station=signal' 180
sleep 2; shot 5-after-wake-up

# The list's right-click opens the window's menu.
timer_tab; at 321 95 3; sleep 0.5; shot 6-list-right-click; xdotool key Escape

# Close the program: the ordinary closing sequence, and the settings kept.
pick_action 0; a_minute_ahead; press_set
for _ in $(seq 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.25; done
if kill -0 "$app" 2>/dev/null; then echo "NOT CLOSED"; else echo "ok: closed by the timer"; fi
grep -q '^LastActionId=0' "$XDG_CONFIG_HOME/Ondavo/settings.ini" && echo "ok: settings kept"
