#!/usr/bin/env bash
# How late the timer's action starts after its moment (ondavo-bench-firing: the real window, the
# real clock and event loop, "run a command" armed 2-4 s ahead, the start only recorded), offscreen
# and under xvfb-run, each with the machine otherwise idle and with one core kept busy. Not a test.
# Usage: bench/firing.sh [build-dir] [armings]   (default: build 20). Needs a build configured with
# -DONDAVO_BUILD_BENCH=ON and the target ondavo-bench-firing built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
armings=${2:-20}
prog="$root/$build/bin/ondavo-bench-firing"
[ -x "$prog" ] || { echo "build first: cmake -S . -B $build -DONDAVO_BUILD_BENCH=ON &&" \
    "cmake --build $build --target ondavo-bench-firing" >&2; exit 2; }
busy=""
trap '[ -z "$busy" ] || kill "$busy" 2>/dev/null || true' EXIT
log=$(mktemp)

for display in offscreen xvfb; do
    for load in idle busy; do
        if [ "$load" = busy ]; then
            # One core spinning for as long as the armings can take at most.
            taskset -c $(($(nproc) - 1)) timeout $((armings * 5 + 60)) yes > /dev/null &
            busy=$!
        fi
        if [ "$display" = offscreen ]; then
            QT_QPA_PLATFORM=offscreen "$prog" "$armings" > "$log" 2>/dev/null || true
        else
            xvfb-run -a -s "-screen 0 1024x700x24" env QT_QPA_PLATFORM=xcb "$prog" "$armings" > "$log" 2>/dev/null || true
        fi
        if [ -n "$busy" ]; then
            kill "$busy" 2>/dev/null || true
            wait "$busy" 2>/dev/null || true
            busy=""
        fi
        [ -z "${VERBOSE:-}" ] || grep '^arming' "$log"
        printf '%-9s %-4s %s\n' "$display" "$load" "$(tail -1 "$log")"
    done
done
rm -f "$log"
