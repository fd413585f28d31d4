#!/usr/bin/env bash
# CPU time of the real program's whole process tree (the program and the web engine's processes)
# while its timer waits, under Xvfb with openbox and a tray, against ondavo-service. Not a test:
# nothing here passes or fails.
#   a. countdown: "Выключение программы" armed 10 minutes ahead, the window hidden in the tray;
#   b. quiet sleep: "Тихий режим сна" armed a few seconds ahead with the wake-up 10 minutes ahead;
#      measured once the sleep request has reached the service, the window hidden in the tray;
# and first, for comparison, the program with nothing armed, hidden in the tray.
# The timer is armed as a person does it, with the mouse and keys (xdotool); a screenshot of each
# step goes to the output folder. CPU = utime+stime (+ reaped children) from /proc over the tree,
# as a percentage of one core, with the share of each process and of its busiest threads.
# Needs: apt-get install xvfb openbox trayer xdotool imagemagick.
# Usage: bench/timer.sh [build-dir] [out-dir] [seconds]   (default: build /tmp/ondavo-bench-timer 60)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
bin="$root/$build/bin"
out=${2:-/tmp/ondavo-bench-timer}
secs=${3:-60}
[ -x "$bin/ondavo" ] && [ -x "$bin/ondavo-service" ] || { echo "build first: scripts/build.sh $build" >&2; exit 2; }
. "$root/bench/ports.sh"
mkdir -p "$out"
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT

display=90
while [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
export DISPLAY=:$display
# The pickers' text follows the locale; keys are typed for this one.
export LC_ALL=C.UTF-8
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
Xvfb "$DISPLAY" -screen 0 1024x700x24 >/dev/null 2>&1 & pids+=($!)
sleep 1
openbox >/dev/null 2>&1 & pids+=($!)
trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 --SetDockType true >/dev/null 2>&1 & pids+=($!)
log="$work/service.log"
: > "$log"
"$bin/ondavo-service" --address 127.0.0.1 --port "$svc_port" --log "$log" >/dev/null & pids+=($!)
"$bin/ondavo-service" --address 127.0.0.1 --port "$partner_port" --log "$work/partner.log" >/dev/null & pids+=($!)
sleep 1
tck=$(getconf CLK_TCK)

shot() { import -window root "$out/$1.png"; echo "  screenshot $out/$1.png"; }
keys() { for k in "$@"; do xdotool key "$k"; sleep 0.05; done; }
wait_for_line() { # pattern count timeout-s: until the service log holds count lines matching
    local i
    for ((i = 0; i < $3 * 10; i++)); do
        [ "$(grep -c "$1" "$log" || true)" -ge "$2" ] && return 0
        sleep 0.1
    done
    echo "no '$1' in the service log after $3 s" >&2
    return 1
}

# Places on the window, from the form's layout (relative to the window's client area).
tab_timer=(202 15)
action_list=(322 96)
timer_day=(170 67)
timer_hour=(330 67)
wake_day=(170 124)
wake_hour=(330 124)
set_button=(240 186)
click() { xdotool mousemove --window "$win" "$1" "$2" click "${3:-1}"; sleep 0.3; }
# Double-click selects the day (hour) section; the edit then moves on by itself as keys fill it.
type_moment() { # day-xy hour-xy epoch-seconds
    local d t
    d=$(date -d "@$5" +%d%b%Y) t=$(date -d "@$5" +%H%M%S)
    xdotool mousemove --window "$win" "$1" "$2" click --repeat 2 1; sleep 0.2
    keys $(echo "$d" | grep -o .)
    xdotool mousemove --window "$win" "$3" "$4" click --repeat 2 1; sleep 0.2
    keys $(echo "$t" | grep -o .)
}
pick_action() { # index in the list
    click "${action_list[@]}"
    local k=(Home) i
    for ((i = 0; i < $1; i++)); do k+=(Down); done
    keys "${k[@]}" Return
}

start_app() {
    local home="$work/home.$RANDOM" logins
    mkdir -p "$home/config" "$home/run" && chmod 700 "$home/run"
    logins=$(grep -c action=login "$log" || true)
    XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run" "$bin/ondavo" >"$work/app.out" 2>&1 &
    app=$!
    pids+=($app)
    wait_for_line action=login $((logins + 1)) 60
    sleep 5 # the station page renders
    win=$(xdotool search --sync --onlyvisible --name '^Ondavo' | head -1)
    xdotool windowactivate --sync "$win" 2>/dev/null || true
}

stop_app() {
    kill -TERM "$app"
    wait "$app" || true
}

hide_window() {
    xdotool windowminimize "$win"
    sleep 2
    echo "  visible windows named Ondavo after minimising: $(xdotool search --onlyvisible --name '^Ondavo' | wc -l)"
}

# One line per process ("P pid ticks label") and per thread ("T pid tid ticks name"). A process's
# ticks include its reaped children, so a child that ends during the measurement is not lost.
snapshot() {
    local p label
    for p in $(tree_pids "$1"); do
        label=$(tr '\0' '\n' < /proc/"$p"/cmdline 2>/dev/null | sed -n 's/^--type=//p' | head -1)
        [ -n "$label" ] || label=$(basename "$(tr '\0' '\n' < /proc/"$p"/cmdline 2>/dev/null | head -1)")
        awk -v p="$p" -v l="$label" '{sub(/^.*\) /, ""); print "P", p, $12 + $13 + $14 + $15, l}' \
            /proc/"$p"/stat 2>/dev/null || true
        for t in /proc/"$p"/task/*; do
            awk -v p="$p" -v t="${t##*/}" '{n = $0; sub(/^[^(]*\(/, "", n); sub(/\).*$/, "", n);
                gsub(/ /, "_", n); sub(/^.*\) /, ""); print "T", p, t, $12 + $13, n}' "$t"/stat 2>/dev/null || true
        done
    done
}

measure() { # label
    local s0="$work/s0" s1="$work/s1"
    snapshot "$app" > "$s0"
    sleep "$secs"
    snapshot "$app" > "$s1"
    awk -v tck="$tck" -v secs="$secs" -v label="$1" '
        FNR == NR { if ($1 == "P") p0[$2] = $3; else t0[$2 " " $3] = $4; next }
        $1 == "P" { d = $3 - p0[$2]; total += d; pd[$2] = d; pl[$2] = $4; next }
        { d = $4 - t0[$2 " " $3]; if (d > 0) td[$2 " " $3 " " $5] = d }
        END {
            gone = 0; for (p in p0) if (!(p in pd)) gone += p0[p]
            printf "%s: cpu=%.3f%% of one core over %d s (%d ticks of 1/%d s)\n",
                   label, 100 * total / tck / secs, secs, total, tck
            for (p in pd) printf "  pid %-7s %-14s %6.0f ms  %.3f%%\n", p, pl[p], 1000 * pd[p] / tck,
                                 100 * pd[p] / tck / secs
            for (k in td) { split(k, a, " "); printf "    thread %s of pid %s (%s): %.0f ms\n", a[2], a[1], a[3],
                                                    1000 * td[k] / tck }
            if (gone) printf "  (processes that ended during the measurement are counted in their parent)\n"
        }' "$s0" "$s1"
}

if [ "$(date +%H%M)" -ge 2348 ]; then
    echo "too close to midnight for the moments typed below; run after 00:00" >&2
    exit 2
fi

echo "0. nothing armed, window hidden (what the figures below are set against)"
start_app
hide_window
sleep 5
measure "nothing armed, window hidden"
stop_app

echo "a. countdown, window hidden"
start_app
shot a1-started
click "${tab_timer[@]}"
pick_action 0
type_moment "${timer_day[@]}" "${timer_hour[@]}" $(($(date +%s) + 600))
shot a2-filled
click "${set_button[@]}"
sleep 1
shot a3-armed
hide_window
shot a4-hidden
sleep 5
measure "countdown (close the program in 10 min), window hidden"
stop_app

echo "b. quiet sleep, window hidden"
start_app
click "${tab_timer[@]}"
pick_action 4
type_moment "${wake_day[@]}" "${wake_hour[@]}" $(($(date +%s) + 600))
sleeps=$(grep -c action=sleep "$log" || true)
type_moment "${timer_day[@]}" "${timer_hour[@]}" $(($(date +%s) + 8))
shot b1-filled
click "${set_button[@]}"
sleep 1
shot b2-armed
wait_for_line action=sleep $((sleeps + 1)) 60
sleep 3
shot b3-asleep
hide_window
shot b4-hidden
sleep 5
measure "quiet sleep (wake-up in 10 min), window hidden"
stop_app
