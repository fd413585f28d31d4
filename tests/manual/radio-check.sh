#!/usr/bin/env bash
# The radio that keeps playing, tried as a person would: the real program under Xvfb with a window
# manager and a tray, a private sound server whose null sink is recorded, the service's endless
# station picked by mouse. Then: every host cut off for 30 s (the service and the partner host
# stopped, so nothing answers and nothing is refused) and back, with no hand on the program; the
# station paused by its own button for 45 s; `playerctl volume 0.25`; quiet sleep armed two minutes
# ahead while the tone plays; the program closed and started again. Prints each figure with its
# verdict. Takes about eight minutes.
# Needs: apt-get install xvfb openbox trayer xdotool imagemagick dbus-daemon python3-dbusmock
#        pulseaudio pulseaudio-utils playerctl.
# Usage: tests/manual/radio-check.sh [build] [out-dir]
set -euo pipefail
check_name=radio-check
display=:63
# shellcheck source=desktop-session.sh
source "$(dirname "$0")/desktop-session.sh"

record_sound
marks="$out/marks.txt"
: > "$marks"
mark() { echo "$1 $(date +%s.%N)" >> "$marks"; echo "$1 at +$(( $(date +%s) - ${recorded_from%.*} )) s, $(date +%T)"; }
logins() { grep -c 'action=login' "$work/service.log" || true; }

# The program's journal lines (ondavo.radio says each attempt), stamped, beside the screenshots.
export QT_MESSAGE_PATTERN='%{time h:mm:ss.zzz} %{category}: %{message}'
: > "$out/program.log"
start_program() {
    "$bin/ondavo" 2>>"$out/program.log" & app=$!; pids+=($app)
    sleep 8
    win=$(xdotool search --sync --onlyvisible --name '^Ondavo' | head -1)
}
mkdir -p "$XDG_CONFIG_HOME/Ondavo"
printf '[Settings]\nUserName=listener\nPassw=secret\n' > "$XDG_CONFIG_HOME/Ondavo/settings.ini"
# On the stations page: the endless station, the last of the list, and the player's own button
# at the top; the page is scrolled there with the keys, after a click on its header.
pick_stream() { at 43 15; at 400 60; xdotool key End; sleep 1; at 158 198; }
player_button() { at 43 15; at 400 60; xdotool key Home; sleep 1; at 41 125; }

start_program
pick_stream; sleep 5; shot 1-playing; mark playing
sleep 5; mark cut
kill -STOP "${pids[5]}" "${pids[6]}"
sleep 30
kill -CONT "${pids[5]}" "${pids[6]}"
mark back
sleep 30; shot 2-back; mark back-end
before_pause=$(logins)
player_button; mark paused
sleep 45; shot 3-paused; mark paused-end
during_pause=$(( $(logins) - before_pause ))
player_button; sleep 5; mark full
sleep 5
playerctl --player=ondavo volume 0.25; sleep 1; mark quarter
sleep 5; mark quarter-end
echo "playerctl volume reads $(playerctl --player=ondavo volume)"
# Quiet sleep two minutes after the timer page is shown (it shows now then); the wake-up stays
# where the start put it, tomorrow.
shown=$(date +%s)
timer_tab
pick_action 4
at 346 66; xdotool key --repeat 2 Up
press_set; sleep 1; shot 4-armed
mark armed
moment=$(( shown + 120 ))
sleep $(( moment - $(date +%s) + 3 )); shot 5-quiet-sleep; mark quiet
press_reset; sleep 3
xdotool key --window "$win" F10; sleep 5
start_program
pick_stream; sleep 5; mark restarted
sleep 5; mark restarted-end; shot 6-restarted
kill "${pids[-1]}" 2>/dev/null || true
cp "$work/service.log" "$out/"
python3 - "$work/heard.raw" "$recorded_from" "$marks" "$moment" "$during_pause" <<'EOF'
import array, math, sys
raw, start, marks_file, moment = sys.argv[1], float(sys.argv[2]), sys.argv[3], int(sys.argv[4])
during_pause = int(sys.argv[5])
data = open(raw, 'rb').read()
samples = array.array('h')
samples.frombytes(data[:len(data) // 2 * 2])
rate = 8000
marks = {}
for line in open(marks_file):
    name, at = line.split()
    marks[name] = float(at)
def level(t0, t1):
    a, b = int((t0 - start) * rate), int((t1 - start) * rate)
    part = samples[max(a, 0):max(b, 0)]
    if not part:
        return float('-inf')
    rms = math.sqrt(sum(s * s for s in part) / len(part))
    return 20 * math.log10(rms / 32768) if rms > 0 else float('-inf')
def first_heard(t0, t1):
    t = t0
    while t + 1 <= t1:
        if level(t, t + 1) >= -40:
            return t - t0
        t += 0.1
    return None
def say(what, ok):
    print(('ok: ' if ok else 'FAILED: ') + what)
playing = level(marks['playing'] - 3, marks['playing'])
say('the station heard at %.1f dBFS' % playing, playing >= -40)
cut = level(marks['cut'] + 15, marks['back'])
say('cut off: %.1f dBFS in its last 15 s' % cut, cut < -40)
back = first_heard(marks['back'], marks['back-end'])
say('heard again %s s after the hosts came back' % (None if back is None else round(back, 1)),
    back is not None and back <= 30)
paused = max(level(t, t + 1) for t in range(int(marks['paused'] + 2), int(marks['paused-end'])))
say('paused on the page: loudest second %.1f dBFS, %d logins meanwhile' % (paused, during_pause),
    paused < -40 and during_pause == 0)
full, quarter = level(marks['full'] - 3, marks['full']), level(marks['quarter'], marks['quarter-end'])
say('volume 0.25: %.1f -> %.1f dBFS' % (full, quarter), quarter <= full - 6)
before = level(moment - 75, moment - 62)
middle = level(moment - 32, moment - 28)
last = level(moment - 5, moment)
say('fade: %.1f before, %.1f in the middle, %.1f in the last 5 s' % (before, middle, last),
    last <= before - 15 and last < middle < before)
again = level(marks['restarted'], marks['restarted-end'])
say('the next start plays at %.1f dBFS' % again, abs(again - quarter) < 3)
EOF
