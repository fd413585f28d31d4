#!/usr/bin/env bash
# Memory after many nights of quiet sleep and wake-up (ondavo-bench-nights: the real window with
# its web panes against two ondavo-service processes on free loopback ports, offscreen). Prints the
# PSS of the process tree every few nights and its growth from night 20 to the last. Not a test.
# Usage: bench/nights.sh [build-dir] [nights] [print-every]   (default: build 200 10).
# VERBOSE=1 also prints each night. Needs a build configured with -DONDAVO_BUILD_BENCH=ON and the
# targets ondavo-service and ondavo-bench-nights built; pulseaudio for the sound (else none is heard).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
nights=${2:-200}
every=${3:-10}
prog="$root/$build/bin/ondavo-bench-nights"
[ -x "$prog" ] && [ -x "$root/$build/bin/ondavo-service" ] || {
    echo "build first: cmake -S . -B $build -DONDAVO_BUILD_BENCH=ON &&" \
        "cmake --build $build --target ondavo-service ondavo-bench-nights" >&2
    exit 2
}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
[ "$(id -u)" -ne 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
# The engine's own chatter goes aside; it is shown when the run fails.
err=$(mktemp)
trap 'rm -f "$err"' EXIT
echo "nights: $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?')" \
    "$(git -C "$root" status --porcelain -- src server 2>/dev/null | grep -q . && echo '(src or server changed since)')" \
    "$(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores, $QT_QPA_PLATFORM"
if ! "$prog" "$nights" "$every" 2> "$err"; then
    tail -20 "$err" >&2
    exit 1
fi
