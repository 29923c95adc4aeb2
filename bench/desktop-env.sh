# Sourced by the desktop benchmarks: a private Xvfb display with a tray host
# (trayer), the demo mailbox on 127.0.0.1 and settings of Vindel's own in a
# temporary folder (checking every $interval minutes). Expects $build and
# $interval; sets $work, $display and the environment; cleans up on exit.
work=$(mktemp -d /tmp/vindel-bench.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A free display number.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=":$display"
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.05; done
trayer --edge top --align right --widthtype pixel --width 64 --height 24 >/dev/null 2>&1 &
pids+=($!)
sleep 1

"$build/tools/demo-server/vindel-demo-server" --count 2 --port-file "$work/port" >/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
mkdir -p "$work/config/Vindel" "$work/state" "$work/runtime"
chmod 700 "$work/runtime"
cat >"$work/config/Vindel/Vindel.conf" <<CONF
[Config]
UserName=demo
PassWord=demo
Pop3Server=127.0.0.1:$(cat "$work/port")
Interval=$interval
MailerPath=
SoundPath=
PosLeft=1000
PosTop=1000
TopMost=False
MailCountReset=False
CONF
chmod 600 "$work/config/Vindel/Vindel.conf"
export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" XDG_RUNTIME_DIR="$work/runtime"
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent # the test password stays out of any keyring
export QT_QPA_PLATFORM=xcb
# CPU ticks (utime + stime) of a process, all threads.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# Voluntary and involuntary context switches summed over all threads.
switches() {
    cat /proc/"$1"/task/*/status | awk '/^voluntary_ctxt_switches/ {v += $2} /^nonvoluntary_ctxt_switches/ {n += $2} END {print v, n}'
}
