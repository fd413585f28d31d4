#!/usr/bin/env bash
# The alarm every morning tried as a person would: the real program under Xvfb with a window
# manager and a tray, the reference service, every weekday ticked by mouse, quiet sleep armed a
# minute ahead with the wake-up a minute after it. After the wake-up the timer must be armed again
# for tomorrow with no second sleep request, and after closing and starting again it must be armed
# by itself. Screenshots go to the output folder. Takes about four minutes.
# Needs: apt-get install xvfb openbox trayer xdotool imagemagick dbus-daemon python3-dbusmock.
# Usage: tests/manual/repeat-check.sh [build] [out-dir]
set -euo pipefail
check_name=repeat-check
display=:62
# shellcheck source=desktop-session.sh
source "$(dirname "$0")/desktop-session.sh"

mkdir -p "$XDG_CONFIG_HOME/Ondavo"
printf '[Settings]\nWakeUpDate=unreadable\n' > "$XDG_CONFIG_HOME/Ondavo/settings.ini"
start_program
timer_tab
pick_action 4
at 170 123; xdotool key Down            # tomorrow becomes today
at 348 123; xdotool key --repeat 2 Up   # two minutes after the start
for day in 0 1 2 3 4 5 6; do at $(( 125 + 36 * day )) 151; done
a_minute_ahead; press_set; sleep 1; shot 1-armed
check wait_for "$work/service.log" 'action=sleep' 75
check wait_for "$work/service.log" 'station=signal' 120
sleep 3; timer_tab; sleep 1.5; shot 2-armed-for-tomorrow
sleeps=$(grep -c 'action=sleep' "$work/service.log")
[ "$sleeps" = 1 ] && echo "ok: one sleep request today" || echo "SLEEP REQUESTS: $sleeps"

# Closed by the window's menu key, started again: armed by itself.
xdotool key --window "$win" F10
for _ in $(seq 80); do kill -0 "$app" 2>/dev/null || break; sleep 0.25; done
kill -0 "$app" 2>/dev/null && echo "NOT CLOSED" || echo "ok: closed"
grep '^RepeatDays=\|^QuietSleepAt=\|^WakeUpDate=' "$XDG_CONFIG_HOME/Ondavo/settings.ini"
start_program
timer_tab; sleep 1.5; shot 3-started-again
sleeps=$(grep -c 'action=sleep' "$work/service.log")
[ "$sleeps" = 1 ] && echo "ok: still one sleep request" || echo "SLEEP REQUESTS: $sleeps"
