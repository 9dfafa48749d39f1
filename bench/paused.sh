#!/usr/bin/env bash
# What a paused player costs: CPU seconds per minute of the whole process and, per thread,
# wake-ups a second (voluntary context switches) and CPU milliseconds per minute; with perf,
# also the process's CPU time by perf's task clock.
#   bench/paused.sh BIN_DIR [--seconds N] [--play S] [--settle S] [--size WxH@FPS]
#                   [--driver dummy|disk|pulseaudio]
# BIN_DIR holds tvqplayer, TVQ_DecDLL.so, tvq-make and the skins (a build's bin folder).
# The player plays a movie made by tvq-make under its own Xvfb and session bus for --play
# seconds (3), is paused through its media-player interface (playerctl), is left alone for
# --settle seconds (2: past the sound device's idle grace), and is then measured for --seconds
# (60). Afterwards it is resumed, and the script says how long the position took to move on
# (through playerctl, so a process start or two of this machine is in that figure).
# The sound goes to SDL's dummy driver unless --driver says otherwise; pulseaudio starts a
# sound server of this run with a null sink (it must be installed).
set -euo pipefail
source "$(dirname "$0")/../scripts/player-setup.sh"
bin=${1:?usage: paused.sh BIN_DIR [--seconds N] [--play S] [--settle S] [--size WxH@FPS] [--driver D]}
shift
seconds=60 play=3 settle=2 spec=640x360@25 driver=dummy
while [ $# -gt 0 ]; do
  case $1 in
  --seconds) seconds=$2; shift 2 ;;
  --play) play=$2; shift 2 ;;
  --settle) settle=$2; shift 2 ;;
  --size) spec=$2; shift 2 ;;
  --driver) driver=$2; shift 2 ;;
  *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
for tool in Xvfb playerctl dbus-daemon; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done

work=$(mktemp -d /tmp/tvq-paused-XXXXXX)
xpid= pid= pulse_pid=
trap 'end_run "$work" "$pid"' EXIT

start_xvfb "$work"
prog=$work/bin
make_program_folder "$bin" "$prog"
use_private_session "$work"
start_private_bus "$work"
export QT_QPA_PLATFORM=xcb TVQ_LANGID=1033 XDG_CONFIG_HOME=$work/home/.config

case $driver in
dummy) export SDL_AUDIODRIVER=dummy ;;
disk) export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null ;;
pulseaudio)
  command -v pulseaudio >/dev/null && command -v pactl >/dev/null ||
    { echo "--driver pulseaudio needs pulseaudio and pactl" >&2; exit 2; }
  mkdir -p "$HOME/.config/pulse"
  export PULSE_SERVER=unix:$work/pulse.sock SDL_AUDIODRIVER=pulseaudio
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    -L "module-null-sink sink_name=tvqnull rate=44100 channels=2" \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$work/pulse.sock" \
    -L "module-always-sink" >"$work/pulseaudio.log" 2>&1 &
  pulse_pid=$!
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl info >/dev/null 2>&1 || { echo "pulseaudio did not start" >&2; exit 2; }
  pactl set-default-sink tvqnull
  ;;
*) echo "unknown driver $driver" >&2; exit 2 ;;
esac

size=${spec%@*} fps=${spec#*@}
movie=$work/movie.tvq
length=$(awk -v a="$play" -v b="$settle" -v c="$seconds" 'BEGIN { printf "%d", a + b + c + 30 }')
"$bin/tvq-make" "$movie" --size "$size" --fps "$fps" --seconds "$length" >/dev/null

pc() { playerctl -p tvqplayer "$@"; }
expect_status() { # status seconds
  local deadline=$((SECONDS + $2))
  until [ "$(pc status 2>/dev/null)" = "$1" ]; do
    [ $SECONDS -lt $deadline ] || { echo "status '$(pc status 2>&1)', not '$1'" >&2; exit 1; }
    sleep 0.1
  done
}

"$prog/tvqplayer" "$movie" >"$work/player.log" 2>&1 &
pid=$!
expect_status Playing 30
sleep "$play"
pc pause
expect_status Paused 10
sleep "$settle"

ticks=$(getconf CLK_TCK)
# One line per thread: tid, name, utime+stime in ticks, voluntary switches.
threads() {
  local t
  for t in /proc/"$pid"/task/*; do
    local stat status
    stat=$(cat "$t/stat" 2>/dev/null) || continue
    status=$(cat "$t/status" 2>/dev/null) || continue
    # The name is in parentheses and may hold blanks: the fields count from after it.
    local rest=${stat##*) }
    local cpu
    cpu=$(awk '{ print $12 + $13 }' <<<"$rest")
    printf '%s\t%s\t%s\t%s\n' "${t##*/}" "$(tr ' ' '_' <"$t/comm")" "$cpu" \
      "$(awk '/^voluntary_ctxt_switches/ { print $2 }' <<<"$status")"
  done
}
process_ticks() { local s; s=$(cat "/proc/$pid/stat"); awk '{ print $12 + $13 }' <<<"${s##*) }"; }

load0=$(cut -d' ' -f1-3 /proc/loadavg)
position0=$(pc position)
threads >"$work/before.txt"
p0=$(process_ticks) t0=$(date +%s.%N)
# The kernel charges CPU time by whole scheduler ticks, and a thread that wakes on the tick is
# often caught running: for a thread waking 100 times a second, /proc said three to four times
# what perf's task clock (measured at every switch) did. Both figures are printed.
if command -v perf >/dev/null && perf stat -e task-clock -- true >/dev/null 2>&1; then
  perf stat -x, -e task-clock -p "$pid" -o "$work/taskclock.txt" -- sleep "$seconds" || sleep "$seconds"
else
  sleep "$seconds"
fi
threads >"$work/after.txt"
p1=$(process_ticks) t1=$(date +%s.%N)
position1=$(pc position)
load1=$(cut -d' ' -f1-3 /proc/loadavg)

sdl=$({ grep -ah 'Sound: ' "$prog/DirectSoundPlayer.txt" 2>/dev/null || true; } | head -1)
echo "driver $driver${sdl:+ ($sdl)}, movie $spec, paused for $seconds s after $play s of play"
echo "load average before: $load0, after: $load1, $(nproc) cores"
awk -v a="$p0" -v b="$p1" -v s="$t0" -v e="$t1" -v k="$ticks" \
  'BEGIN { printf "process: %.3f CPU-s/min\n", (b - a) / k * 60 / (e - s) }'
if [ -s "$work/taskclock.txt" ]; then
  awk -F, -v s="$t0" -v e="$t1" '$3 == "task-clock" {
    printf "process by perf task clock: %.3f CPU-s/min\n", $1 / 1000 * 60 / (e - s) }' \
    "$work/taskclock.txt"
fi
printf '%-8s %-16s %10s %12s\n' tid thread wakeups/s cpu_ms/min
awk -F'\t' -v s="$t0" -v e="$t1" -v k="$ticks" '
  NR == FNR { cpu[$1] = $3; sw[$1] = $4; next }
  { d = e - s; if ($1 in cpu) { w = ($4 - sw[$1]) / d; c = ($3 - cpu[$1]) / k * 60000 / d }
    else { w = $4 / d; c = $3 / k * 60000 / d; $2 = $2 "(new)" }
    printf "%-8s %-16s %10.1f %12.1f\n", $1, $2, w, c; seen[$1] = 1 }
  END { for (t in cpu) if (!(t in seen)) printf "%-8s %-16s %10s %12s\n", t, "(ended)", "-", "-" }
' "$work/before.txt" "$work/after.txt" | sort -k3 -n -r
echo "position while paused: $position0 s, then $position1 s"
[ "$position0" = "$position1" ] || echo "the position moved while paused" >&2

# How soon the position moves on after the play command.
began=$(date +%s%N)
pc play
moved=
for _ in $(seq 200); do
  now=$(pc position 2>/dev/null || echo "$position1")
  if awk -v a="$now" -v b="$position1" 'BEGIN { exit !(a > b) }'; then moved=$(date +%s%N); break; fi
  sleep 0.01
done
if [ -n "$moved" ]; then
  echo "resumed at $position1 s: position moving $(((moved - began) / 1000000)) ms after the play command"
else
  echo "the position did not move within a few seconds of the play command" >&2
  exit 1
fi
