#!/usr/bin/env bash
# Builds Ondavo, starts the reference service (service and partner hosts), runs the program, and
# stops the service when the program exits.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found. Ondavo is a desktop program; to run it without a screen use:" >&2
    echo "    xvfb-run -a scripts/run.sh" >&2
    exit 2
fi
scripts/deps.sh
# Only what runs: the program, its local pages and the reference service. The tests are the test
# command's, and would hold the window back by minutes.
ONDAVO_TARGETS="ondavo ondavo_local_pages ondavo-service" scripts/build.sh build
bin=build/bin

pids=()
cleanup() { [ ${#pids[@]} -eq 0 ] || { kill "${pids[@]}" 2>/dev/null; wait "${pids[@]}" 2>/dev/null; } || true; }
trap cleanup EXIT
if [ -x "$bin/ondavo-service" ]; then
    "$bin/ondavo-service" --address 127.0.0.1 --port 8470 & pids+=($!)
    # The partner host keeps nobody's state: a file of its own, beside the service's.
    state="${XDG_DATA_HOME:-$HOME/.local/share}/ondavo-service"
    mkdir -p "$state"
    "$bin/ondavo-service" --address 127.0.0.1 --port 8471 --state "$state/partner.db" & pids+=($!)
fi
export QTWEBENGINE_DISABLE_SANDBOX=${QTWEBENGINE_DISABLE_SANDBOX:-$([ "$(id -u)" -eq 0 ] && echo 1 || echo 0)}
"$bin/ondavo"
