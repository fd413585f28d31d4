#!/usr/bin/env bash
# The timer tried as a person would: the real program under Xvfb with a window manager and a tray,
# the reference service, and a mock logind on a private bus (nothing reaches the real machine).
# Each action is armed by mouse and keys a minute ahead and watched as it fires; screenshots of the
# page armed, in its last minute, after a reset, during quiet sleep and after the wake-up go to the
# output folder. Takes about eight minutes.
# Needs: apt-get install xvfb openbox trayer xdotool imagemagick dbus-daemon python3-dbusmock.
# Usage: tests/manual/timer-check.sh [build] [out-dir]
set -euo pipefail
check_name=timer-check
# shellcheck source=desktop-session.sh
source "$(dirname "$0")/desktop-session.sh"

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
