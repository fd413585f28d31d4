#!/usr/bin/env bash
# CPU and memory while one endless stream plays (not a test: it prints figures), in one run, for:
#   a. the real program, started as scripts/run.sh starts it, against the reference service; its
#      settings file holds an identity for which the service's stream was reported (/played) just
#      before, so its login takes the station up again and plays it without a click;
#   b. a bare engine (ondavo-bench-bareengine) on the same login page, playing the same stream;
#   c. gst-play-1.0 on the stream's own address, the native player a person might pick instead.
# Each plays into a private PulseAudio server whose only sink is a null sink, and parec records the
# sink through each measurement: a player not heard in every second of it is reported as failed,
# not as a figure. CPU is utime+stime (with reaped children) from /proc over the player's whole
# process tree (the engine's helper processes too), as % of one core; PSS is the sum of Pss from
# smaps_rollup over that tree at the end of the measurement, in MB of 1024 kB.
# Needs a build with -DONDAVO_BUILD_BENCH=ON (targets ondavo, ondavo_local_pages, ondavo-service,
# ondavo-bench-bareengine), pulseaudio and pulseaudio-utils; installs gst-play-1.0 and the GStreamer
# plugins it needs when they are missing.
# Usage: bench/stream.sh [build-dir] [runs] [seconds]   (default: build 1 30)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
runs=${2:-1}
secs=${3:-30}
bin="$root/$build/bin"
for b in ondavo ondavo-service ondavo-bench-bareengine; do
    [ -x "$bin/$b" ] || {
        echo "build first: cmake -S . -B $build -DONDAVO_BUILD_BENCH=ON && cmake --build $build --target" \
            "ondavo ondavo_local_pages ondavo-service ondavo-bench-bareengine" >&2
        exit 2
    }
done
command -v pulseaudio >/dev/null && command -v parec >/dev/null ||
    { echo "needs pulseaudio and parec: scripts/deps.sh installs them" >&2; exit 2; }
. "$root/bench/ports.sh"

# gst-play-1.0 comes with the base set's programs; it fetches with souphttpsrc and parses with
# wavparse (the good set) and plays through pulsesink.
gst=(gstreamer1.0-plugins-base-apps gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-pulseaudio)
missing=()
for p in "${gst[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q >/dev/null
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
[ "$(id -u)" -ne 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
tck=$(getconf CLK_TCK)
rate=8000 # of the recording

# The private sound server, as the tests' SoundServer starts it.
mkdir -p "$work/pulse"
HOME="$work/pulse" XDG_RUNTIME_DIR="$work/pulse" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --use-pid-file=no --disable-shm=yes -L "module-null-sink sink_name=heard" \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$work/pulse/native" >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 40); do [ -S "$work/pulse/native" ] && break; sleep 0.25; done
[ -S "$work/pulse/native" ] || { echo "the private sound server did not start" >&2; exit 1; }
export PULSE_SERVER="unix:$work/pulse/native"

# The service and the partner host, as scripts/run.sh starts them, with state files of this run.
log="$work/service.log"
: > "$log"
"$bin/ondavo-service" --address 127.0.0.1 --port "$svc_port" --state "$work/service.db" --log "$log" \
    >/dev/null & pids+=($!)
"$bin/ondavo-service" --address 127.0.0.1 --port "$partner_port" --state "$work/partner.db" >/dev/null & pids+=($!)
service="http://127.0.0.1:$svc_port"
for _ in $(seq 50); do curl -s -o /dev/null "$service/clock/default/" && break; sleep 0.1; done

user="bench-stream-$RANDOM$RANDOM" pass="p$RANDOM$RANDOM"
# What the program's page says once the stream plays; the program's logoff at its close ends that
# session, so it is said again before each engine starts.
report_played() {
    local status
    status=$(curl -s -o /dev/null -w '%{http_code}' "$service/played?username=$user&passw=$pass&station=stream")
    [ "$status" = 204 ] || { echo "the service answered /played with $status" >&2; exit 1; }
}

# The engine's kind of process (a renderer is what a zygote forked), else the program's name.
kind_of() {
    local kind parent
    kind=$(tr '\0' '\n' < /proc/"$1"/cmdline 2>/dev/null | sed -n 's/^--type=//p' | head -1)
    parent=$(awk '{sub(/^.*\) /, ""); print $2}' /proc/"$1"/stat 2>/dev/null)
    if [ "$kind" = zygote ] && tr '\0' '\n' < /proc/"$parent"/cmdline 2>/dev/null | grep -qx -- --type=zygote; then
        kind=renderer
    fi
    echo "${kind:-$(cat /proc/"$1"/comm 2>/dev/null)}"
}
# "P pid ticks" per process of the tree (utime, stime and those of its reaped children) and
# "T pid tid ticks kind/name" per thread.
cpu_snapshot() {
    local p t kind
    for p in $(tree_pids "$1"); do
        kind=$(kind_of "$p")
        awk -v p="$p" '{sub(/^.*\) /, ""); print "P", p, $12 + $13 + $14 + $15}' /proc/"$p"/stat 2>/dev/null || true
        for t in /proc/"$p"/task/*; do
            awk -v p="$p" -v t="${t##*/}" -v k="$kind" '{n = $0; sub(/^[^(]*\(/, "", n); sub(/\).*$/, "", n)
                gsub(/ /, "_", n); sub(/^.*\) /, ""); print "T", p, t, $12 + $13, k "/" n}' "$t"/stat 2>/dev/null || true
        done
    done
}
# "pss anon" in kB, summed over the tree.
tree_pss_kb() {
    local p
    for p in $(tree_pids "$1"); do cat /proc/"$p"/smaps_rollup 2>/dev/null || true; done |
        awk '/^Pss:/ {s += $2} /^Pss_Anon:/ {a += $2} END {print s + 0, a + 0}'
}
# Processes outside the tree that map the engine's library: they share its pages with the tree,
# so its PSS falls while they run.
engine_elsewhere() {
    local mine
    mine=" $(tree_pids "$1" | tr '\n' ' ') "
    { grep -l libQt6WebEngineCore /proc/[0-9]*/maps 2>/dev/null || true; } | cut -d/ -f3 |
        while read -r p; do [[ $mine == *" $p "* ]] || echo "$p"; done | wc -l
}

# Per whole second of a recording (s16le, mono, $rate Hz): its level in dBFS. Prints
# "seconds heard" (at -30 dBFS or more), "seconds", "quietest", "median"; with a timeout, waits
# instead until the last second of a growing recording is heard, and fails if it never is.
levels() { # raw-file [timeout-s]
    /usr/bin/python3 - "$1" "$rate" "${2:-0}" <<'EOF'
import array, math, sys, time
raw, rate, timeout = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
def level(samples):
    return 20 * math.log10(max(1e-9, math.sqrt(sum(s * s for s in samples) / len(samples)) / 32768))
def read(tail=None):
    data = open(raw, 'rb').read()
    if tail:
        data = data[-2 * tail:]
    a = array.array('h')
    a.frombytes(data[:len(data) // 2 * 2])
    return a
if timeout:
    deadline = time.time() + timeout
    while time.time() < deadline:
        last = read(rate)
        if len(last) == rate and level(last) >= -30:
            sys.exit(0)
        time.sleep(0.5)
    sys.exit(1)
a = read()
secs = [level(a[i:i + rate]) for i in range(0, len(a) - rate + 1, rate)]
heard = sum(1 for l in secs if l >= -30)
ordered = sorted(secs)
print(heard, len(secs), '%.1f' % (ordered[0] if secs else -180), '%.1f' % (ordered[len(secs) // 2] if secs else -180))
EOF
}

# Starts a player (the command after the label), waits until the sink hears it, lets its start
# settle, then measures it for $secs s while the sink is recorded, and stops it. Sets cpu, pss_mb
# and ok for the label.
measure() { # label command...
    local label=$1 player rec raw="$work/heard.$RANDOM.raw" s0="$work/s0" s1="$work/s1" heard total quietest median
    shift
    ok=0 cpu="" pss_mb=""
    parec -d heard.monitor --raw --format=s16le --channels=1 --rate=$rate > "$raw" & rec=$!
    "$@" > "$work/$label.out" 2>&1 &
    player=$!
    pids+=($player)
    if ! levels "$raw" 60; then
        echo "  $label: FAILED: nothing reached the sink within 60 s"
    else
        kill "$rec"
        wait "$rec" 2>/dev/null || true
        sleep 5
        parec -d heard.monitor --raw --format=s16le --channels=1 --rate=$rate > "$raw" & rec=$!
        cpu_snapshot "$player" > "$s0"
        sleep "$secs"
        cpu_snapshot "$player" > "$s1"
        read -r pss_kb anon_kb < <(tree_pss_kb "$player")
        procs=$(grep -c ^P "$s1")
        elsewhere=$(engine_elsewhere "$player")
        kill "$rec"
        wait "$rec" 2>/dev/null || true
        read -r heard total quietest median < <(levels "$raw")
        cpu=$(awk -v tck="$tck" -v secs="$secs" '$1 != "P" {next} FNR == NR {t0[$2] = $3; next}
                {d += $3 - t0[$2]} END {printf "%.2f", 100 * d / tck / secs}' "$s0" "$s1")
        # Where it goes: the busiest threads, as % of one core.
        busiest=$(awk -v tck="$tck" -v secs="$secs" '$1 != "T" {next} FNR == NR {t0[$3] = $4; next}
                {d = $4 - t0[$3]; if (d > 0) printf "%.2f %s\n", 100 * d / tck / secs, $5}' "$s0" "$s1" |
            sort -rn | head -6 | awk '{printf "%s%s %s", (NR > 1 ? ", " : ""), $2, $1}')
        pss_mb=$(awk -v k="$pss_kb" 'BEGIN {printf "%.1f", k / 1024}')
        anon_mb=$(awk -v k="$anon_kb" 'BEGIN {printf "%.1f", k / 1024}')
        if [ "$heard" -ge "$total" ] && [ "$total" -ge $((secs - 1)) ]; then
            ok=1
            echo "  $label: cpu=$cpu % of one core, pss=$pss_mb MB (anonymous $anon_mb; $procs processes," \
                "$elsewhere engine processes elsewhere); heard $heard of $total s, median $median dBFS," \
                "quietest $quietest"
            echo "    busiest threads (%): $busiest"
        else
            echo "  $label: FAILED: heard $heard of $total s (quietest $quietest dBFS); no figure"
        fi
    fi
    kill "$rec" 2>/dev/null || true
    kill -TERM "$player" 2>/dev/null || true
    wait "$player" 2>/dev/null || true
    eval "${label}_cpu=\$cpu ${label}_pss=\$pss_mb ${label}_ok=\$ok"
}

run_program() {
    local home="$work/home.$RANDOM"
    mkdir -p "$home/config/Ondavo" "$home/data" "$home/cache" "$home/run" && chmod 700 "$home/run"
    printf '[Settings]\nUserName=%s\nPassw=%s\n' "$user" "$pass" > "$home/config/Ondavo/settings.ini"
    report_played
    measure program env XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
        XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/run" "$bin/ondavo"
    # The page the program's login asked for, with the password the log masks.
    login_path=$(grep -m1 "action=login" "$log" | cut -d' ' -f2 | sed "s/passw=\*\*\*/passw=$pass/")
}

run_bare() {
    local home="$work/home.$RANDOM"
    mkdir -p "$home/data" "$home/cache" "$home/run" && chmod 700 "$home/run"
    report_played
    measure bare env XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/run" \
        "$bin/ondavo-bench-bareengine" "$service${login_path:-/redirector/?username=$user&passw=$pass&action=login}"
}

run_gst() {
    measure gst gst-play-1.0 --no-interactive -q "$service/stream.wav"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

echo "stream: $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?')" \
    "$(git -C "$root" status --porcelain -- src server bench 2>/dev/null | grep -q . && echo '(changed since)')" \
    "$(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores, $QT_QPA_PLATFORM, ${secs} s each"
failed=0
summary=()
for i in $(seq "$runs"); do
    echo "run $i"
    # The program gives the bare engine its login page; after the first run the order turns round,
    # so that no player always meets the warmer caches.
    if [ $((i % 2)) = 1 ]; then
        run_program; run_bare; run_gst
    else
        run_gst; run_bare; run_program
    fi
    if [ "$program_ok" = 1 ] && [ "$bare_ok" = 1 ] && [ "$gst_ok" = 1 ]; then
        line="program/bare: cpu=$(ratio "$program_cpu" "$bare_cpu") pss=$(ratio "$program_pss" "$bare_pss");"
        line+=" program/gst: cpu=$(ratio "$program_cpu" "$gst_cpu") pss=$(ratio "$program_pss" "$gst_pss")"
        echo "  ratio $line"
        summary+=("run $i: program $program_cpu % $program_pss MB, bare $bare_cpu % $bare_pss MB, gst $gst_cpu % $gst_pss MB; $line")
    else
        echo "  ratios: none, a player was not heard"
        failed=1
    fi
done
[ ${#summary[@]} -eq 0 ] || printf '%s\n' "${summary[@]}"
exit $failed
