#!/usr/bin/env bash
# Figures for the real program against ondavo-service (not a test: nothing here passes or fails):
#   1. time from process start to the login request reaching the service,
#   2. memory (PSS) of the whole process tree once the radio page has loaded,
#   3. time from a close request (SIGTERM, which runs the closing sequence) to process exit,
#      with the service answering and with the service down.
# 1 and 2 are also taken, in the same run, for a bare QWebEngineView that loads the login address
# the program has just requested (ondavo-bench-bareengine, built with -DONDAVO_BUILD_BENCH=ON; left
# out when it is not built), with the ratios program/bare.
# Usage: bench/run.sh [build-dir] [runs]   (default: build, 3 runs). Needs a built tree.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
runs=${2:-3}
bin="$root/$build/bin"
[ -x "$bin/ondavo" ] && [ -x "$bin/ondavo-service" ] || { echo "build first: scripts/build.sh $build" >&2; exit 2; }

. "$root/bench/ports.sh"

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1

now_ms() { date +%s%3N; }

# PSS in kB of a process and all its descendants.
tree_pss() {
    local pids=("$1") all=() p
    while [ ${#pids[@]} -gt 0 ]; do
        p=${pids[0]}; pids=("${pids[@]:1}"); all+=("$p")
        for c in $(cat /proc/"$p"/task/*/children 2>/dev/null); do pids+=("$c"); done
    done
    for p in "${all[@]}"; do awk '/^Pss:/ {print $2}' /proc/"$p"/smaps_rollup 2>/dev/null; done | awk '{s+=$1} END {print s+0}'
}

wait_for_line() { # file pattern timeout-ms
    local deadline=$(( $(now_ms) + $3 ))
    until grep -q "$2" "$1" 2>/dev/null; do
        [ "$(now_ms)" -lt "$deadline" ] || return 1
        sleep 0.01
    done
}

start_service() { # log-file port
    "$bin/ondavo-service" --address 127.0.0.1 --port "$2" --log "$1" >/dev/null &
    echo $!
}

one_run() { # service-up(1/0)
    local home="$work/home.$RANDOM" log="$work/log.$RANDOM" svc="" partner="" pid t0 t1 pss tc te
    login_ms="" pss_kB=""
    mkdir -p "$home/config" "$home/run" && chmod 700 "$home/run"
    : > "$log"
    if [ "$1" = 1 ]; then
        svc=$(start_service "$log" "$svc_port")
        partner=$(start_service "$work/partner.log" "$partner_port")
        sleep 0.5
    fi
    t0=$(now_ms)
    XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run" "$bin/ondavo" &
    pid=$!
    if [ "$1" = 1 ]; then
        wait_for_line "$log" "action=login" 60000
        t1=$(now_ms)
        # The station page is small; give the engine a moment to finish rendering it.
        sleep 3
        pss=$(tree_pss "$pid")
        echo "login_request_ms=$((t1 - t0)) pss_kB=$pss"
        login_ms=$((t1 - t0)) pss_kB=$pss login_path=$(grep -m1 "action=login" "$log" | cut -d' ' -f2)
    else
        sleep 5
    fi
    tc=$(now_ms)
    kill -TERM "$pid"
    wait "$pid" || true
    te=$(now_ms)
    echo "close_to_exit_ms(service $([ "$1" = 1 ] && echo up || echo down))=$((te - tc))"
    [ -z "$svc" ] || kill "$svc" "$partner" 2>/dev/null || true
    wait 2>/dev/null || true
}

# The bare engine: the same login address, the same service, the same waits.
bare_run() {
    local home="$work/home.$RANDOM" log="$work/log.$RANDOM" svc partner pid t0 t1 pss
    mkdir -p "$home/config" "$home/run" && chmod 700 "$home/run"
    : > "$log"
    svc=$(start_service "$log" "$svc_port")
    partner=$(start_service "$work/partner.log" "$partner_port")
    sleep 0.5
    t0=$(now_ms)
    XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run" "$bin/ondavo-bench-bareengine" \
        "http://$service_host$login_path" &
    pid=$!
    wait_for_line "$log" "action=login" 60000
    t1=$(now_ms)
    sleep 3
    pss=$(tree_pss "$pid")
    echo "bare_login_request_ms=$((t1 - t0)) bare_pss_kB=$pss"
    bare_ms=$((t1 - t0)) bare_kB=$pss
    kill -TERM "$pid" "$svc" "$partner" 2>/dev/null || true
    wait 2>/dev/null || true
}

for i in $(seq "$runs"); do
    echo "run $i"
    if [ ! -x "$bin/ondavo-bench-bareengine" ]; then
        one_run 1
    else
        # The bare one needs the program's login address once; after that, who goes first
        # alternates, so neither always meets the warmer caches.
        if [ "$i" -gt 1 ] && [ $((i % 2)) = 0 ]; then bare_run; one_run 1; else one_run 1; bare_run; fi
        awk -v l="$login_ms" -v bl="$bare_ms" -v p="$pss_kB" -v bp="$bare_kB" \
            'BEGIN { printf "ratio program/bare: login_request=%.2f pss=%.2f\n", l / bl, p / bp }'
    fi
    one_run 0
done
