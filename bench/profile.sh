#!/usr/bin/env bash
# Where tvqplayer's CPU time and resident memory go while it plays the playback benchmark's
# content (the same MJPEG pictures bench/playback.sh makes) under Xvfb.
#   bench/profile.sh BIN_DIR [--size WxH@FPS] [--seconds N] [--what "cpu mem heap"] [--out DIR]
#                    [--rate R]
# cpu:  perf record -g of the player and of the X server for N seconds; prints the top
#       functions (self time) of each, and the player's time per thread.
# mem:  the player's /proc smaps_rollup and its largest mappings after N seconds.
# heap: a run under heaptrack; prints the peak heap and the allocations that make it up.
# --rate plays forward at R (2, 4 or 8) through the media-player interface's Rate.
# The raw data (perf.data files, heaptrack file, logs) stay in --out (default: a temporary
# folder, removed at the end).
set -euo pipefail
source "$(dirname "$0")/../scripts/player-setup.sh"
bin=${1:?usage: profile.sh BIN_DIR [--size WxH@FPS] [--seconds N] [--what "cpu mem heap"]}
bin=$(cd "$bin" && pwd)
shift
spec=1280x720@25 seconds=20 what="cpu mem heap" out= rate=1
while [ $# -gt 0 ]; do
  case $1 in
  --size) spec=$2; shift 2 ;;
  --seconds) seconds=$2; shift 2 ;;
  --what) what=$2; shift 2 ;;
  --out) out=$2; shift 2 ;;
  --rate) rate=$2; shift 2 ;;
  *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
for tool in Xvfb ffmpeg perf heaptrack heaptrack_print; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done

work=$(mktemp -d /tmp/tvq-profile-XXXXXX)
keep=0
if [ -n "$out" ]; then
  mkdir -p "$out"
  keep=1
else
  out=$work
fi
xpid= ppid_=
trap 'end_run "$work" "$ppid_"' EXIT

start_xvfb "$work"
export QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy TVQ_LANGID=1033

prog=$work/bin
make_program_folder "$bin" "$prog"
use_private_session "$work"
if [ "$rate" != 1 ]; then
  start_private_bus "$work" || { echo "--rate needs dbus-daemon" >&2; exit 2; }
  export TVQ_TRACE=1  # its "playing" line tells when the rate can be set
fi

size=${spec%@*} fps=${spec#*@}
avi=$work/clip.avi movie=$work/clip.tvq
ffmpeg -hide_banner -loglevel error -y \
  -f lavfi -i "testsrc2=size=$size:rate=$fps,noise=alls=12:allf=t" \
  -f lavfi -i "sine=frequency=440:sample_rate=44100" -t $(((seconds + 10) * rate)) \
  -c:v mjpeg -pix_fmt yuvj420p -q:v 3 -c:a pcm_s16le -ac 2 "$avi"
"$bin/tvq-convert" "$avi" "$movie" --copy-jpeg auto >"$work/convert.log"
echo "content $spec, $seconds s$([ "$rate" != 1 ] && echo ", rate $rate"); load average $(cut -d' ' -f1-3 /proc/loadavg)"

# Starts the player (optionally under a wrapper); sets ppid_ to the player's own pid.
start_player() {
  "$@" "$prog/tvqplayer" "$movie" >"$out/player.log" 2>&1 &
  ppid_=$!
  [ "$rate" = 1 ] || set_rate
}
# Once the movie plays, the speed to --rate (the player's own Rate property).
set_rate() {
  for _ in $(seq 50); do grep -q '^playing ' "$out/player.log" 2>/dev/null && break; sleep 0.2; done
  dbus-send --session --print-reply --type=method_call \
    --dest=org.mpris.MediaPlayer2.tvqplayer /org/mpris/MediaPlayer2 \
    org.freedesktop.DBus.Properties.Set string:org.mpris.MediaPlayer2.Player string:Rate \
    variant:double:"$rate" >/dev/null || echo "  (could not set the rate)" >&2
}
stop_player() {
  kill -9 "$ppid_" 2>/dev/null || true
  wait "$ppid_" 2>/dev/null || true
  ppid_=
}

# Self time by library, then by function (libraries without symbols show as addresses).
top_symbols() { # perf.data
  perf report -i "$1" -g none --no-children --sort dso --percent-limit 0.5 --stdio 2>/dev/null |
    grep -E '^ +[0-9]' | head -12
  echo "  -- functions"
  perf report -i "$1" -g none --no-children --sort dso,symbol --percent-limit 0.7 --stdio \
    2>/dev/null | grep -E '^ +[0-9]' | sed 's/ *$//' | head -25
}

for step in $what; do
  case $step in
  cpu)
    start_player
    sleep 2  # the opening is not what this measures
    perf record -q -g -o "$out/player.perf" -p "$ppid_" -- sleep "$seconds" 2>/dev/null &
    ppf=$!
    perf record -q -g -o "$out/xserver.perf" -p "$xpid" -- sleep "$seconds" 2>/dev/null
    wait "$ppf"
    stop_player
    echo "== player: top functions by self time"
    top_symbols "$out/player.perf"
    echo "== player: time per thread"
    perf report -i "$out/player.perf" -g none --no-children --sort pid --stdio 2>/dev/null |
      grep -E '^ +[0-9]' | head -10
    echo "== X server: top functions by self time"
    top_symbols "$out/xserver.perf"
    ;;
  mem)
    start_player
    sleep "$seconds"
    echo "== player: smaps_rollup after $seconds s"
    grep -E '^(Rss|Pss|Anonymous|Shared|Private)' "/proc/$ppid_/smaps_rollup" || true
    grep -E '^VmHWM' "/proc/$ppid_/status" || true
    echo "== player: largest mappings by Rss (KiB)"
    awk '/^[0-9a-f]+-[0-9a-f]+ / { name = $6; if (name == "") name = "[anon " $1 "]" }
         /^Rss:/ { if ($2 > 1024) printf "%10d  %s\n", $2, name }' "/proc/$ppid_/smaps" |
      sort -rn | head -15
    stop_player
    ;;
  heap)
    start_player heaptrack -o "$out/player.heaptrack"
    sleep "$seconds"
    # heaptrack's own process is the parent; the player is its child.
    child=$(pgrep -P "$ppid_" -x tvqplayer || true)
    [ -n "$child" ] && kill -INT "$child" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$ppid_" 2>/dev/null || break; sleep 0.1; done
    stop_player
    file=$(ls "$out"/player.heaptrack* 2>/dev/null | head -1 || true)
    if [ -z "$file" ]; then
      echo "heaptrack wrote no file (see $out/player.log)"
    else
      echo "== heap: the allocations at the peak (size, first frames of the call)"
      heaptrack_print -f "$file" --print-peaks 1 --print-allocators 0 --print-temporary 0 \
        --print-leaks 0 --peak-limit 12 --merge-backtraces 0 2>/dev/null |
        grep -E '^[0-9.]+[KMG]? peak memory consumed' -A3 | grep -vE '^ +in |^--' | head -48 || true
      heaptrack_print -f "$file" --print-peaks 0 --print-allocators 0 --print-temporary 0 \
        --print-leaks 0 2>/dev/null | grep -E 'peak heap|peak RSS|total runtime' || true
    fi
    ;;
  *) echo "unknown step $step" >&2 ;;
  esac
done
[ $keep = 1 ] && echo "raw data in $out"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
