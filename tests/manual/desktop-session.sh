# The desktop the manual checks run on, sourced by them: Xvfb with a window manager (openbox) and
# a tray (trayer), one private bus standing in for both the system and the session bus with a mock
# logind on it, the reference service and the partner page; and the moves a person makes on the
# window. The caller sets check_name (and may set display) and passes its arguments through.
root=$(cd "$(dirname "$0")/../.." && pwd)
bin="$root/${1:-build}/bin"
out=${2:-/tmp/ondavo-$check_name}
mkdir -p "$out"
work=$(mktemp -d)
export DISPLAY=${display:-:59} XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" QTWEBENGINE_DISABLE_SANDBOX=1
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
Xvfb "$DISPLAY" -screen 0 1024x700x24 >/dev/null 2>&1 & pids+=($!)
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
check() { if "$@"; then echo "ok: $*"; fi; }

# What a person at the machine would hear: a private sound server with a null sink, recorded from
# its monitor into $work/heard.raw (8 kHz mono) from $recorded_from on.
record_sound() {
    mkdir -p "$work/pulse"
    HOME="$work/pulse" XDG_RUNTIME_DIR="$work/pulse" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
        --use-pid-file=no --disable-shm=yes -L "module-null-sink sink_name=heard" \
        -L "module-native-protocol-unix auth-anonymous=1 socket=$work/pulse/native" >/dev/null 2>&1 & pids+=($!)
    for _ in $(seq 40); do [ -S "$work/pulse/native" ] && break; sleep 0.25; done
    export PULSE_SERVER="unix:$work/pulse/native"
    recorded_from=$(date +%s.%N)
    parec -d heard.monitor --raw --format=s16le --channels=1 --rate=8000 > "$work/heard.raw" & pids+=($!)
}
