#!/usr/bin/env bash
# Long play under a restless user: the real player under Xvfb plays a long 720p movie (with two
# short 720p ones in the list, repeat on) while bench/soak/driver.py drives it at random: speeds and
# skins through X input, seeks, pauses, stops, next and previous over MPRIS on a private session
# bus, seek keys, and second starts handing files over.
#   bench/soak.sh [--minutes N] [--asan] [--build DIR] [--size WxH] [--movie-seconds N]
#                 [--seed N] [--no-x] [--keep DIR] [--scenario speed] [--cpus LIST]
#                 [--load N]
# Defaults: 30 minutes, the plain build in build/ (build-asan/ with --asan, as scripts/test
# makes it), a 3600 s 1280x720 movie at 25 fps (the short ones take the same --size). The long
# movie is made once by the build's tvq-make and kept in $TVQ_SOAK_CACHE (default
# ~/.cache/tvq-soak): an hour of 720p is 2.7 GB and takes about 15 minutes to make.
#
# Fails when the player dies, stalls (no new frame for over 2 s while it plays and no command
# explains it, or a bus call over 2 s), the RSS peaks of the minutes after the first spread
# over more than 10 %, it does not end cleanly when closed, or (--asan) a sanitizer or leak
# report appears.
# With --scenario speed, bench/soak/scenario.py goes round a fixed cycle of speed changes and
# positions over MPRIS instead, times every call and takes the player's thread stacks with gdb
# when one hangs (after TVQ_SCENARIO_STACKS_MS, default 600; gdb stops the player meanwhile, so
# that call's time includes gdb's); it prints a table per command and fails when a call took
# over 2 s.
# --cpus runs the player on those processors only (taskset), e.g. --cpus 0 for one core: a busy
# machine without taking the other cores from anyone else. --load N adds N busy loops on those
# processors (with --cpus only), as other programs on a loaded machine would be.
# Prints the RSS curve (every 10 s) and the stall count. xdotool is installed when missing and
# apt-get can; without it (or with --no-x) the X-driven commands are left out.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" != "--inside" ]; then
  command -v xvfb-run >/dev/null || { echo "xvfb-run is not installed" >&2; exit 2; }
  exec xvfb-run -a -s "-screen 0 1280x800x24" bash "$0" --inside "$@"
fi
shift
export QT_QPA_PLATFORM=xcb

minutes=30 asan=0 build= size=1280x720 movie_seconds=3600 seed=$$ no_x=0 keep= scenario= cpus= load=0
while [ $# -gt 0 ]; do
  case $1 in
  --minutes) minutes=$2; shift 2 ;;
  --asan) asan=1; shift ;;
  --build) build=$2; shift 2 ;;
  --size) size=$2; shift 2 ;;
  --movie-seconds) movie_seconds=$2; shift 2 ;;
  --seed) seed=$2; shift 2 ;;
  --no-x) no_x=1; shift ;;
  --keep) keep=$2; shift 2 ;;
  --scenario) scenario=$2; shift 2 ;;
  --cpus) cpus=$2; shift 2 ;;
  --load) load=$2; shift 2 ;;
  *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
if [ -z "$build" ]; then
  build=$top/build
  [ "$asan" = 1 ] && build=$top/build-asan
fi
bin=$build/bin
for f in tvqplayer TVQ_DecDLL.so tvq-make TvqPlayer.ini skin; do
  [ -e "$bin/$f" ] || { echo "$bin/$f is missing: build $build first" >&2; exit 2; }
done
for tool in dbus-daemon dbus-send playerctl python3; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done
if [ "$no_x" = 0 ] && ! command -v xdotool >/dev/null; then
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends xdotool \
      >/dev/null 2>&1 || true
  fi
  command -v xdotool >/dev/null || { echo "no xdotool: X-driven commands left out"; no_x=1; }
fi

cache=${TVQ_SOAK_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tvq-soak}
work=$(mktemp -d /tmp/tvq-soak-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
  if [ -n "$keep" ]; then
    mkdir -p "$keep"
    cp -f "$work"/*.log "$work"/*.json "$work"/sanitizer.* "$work"/stacks-* "$prog"/*.txt \
      "$keep"/ 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

# The movies: the long one from the cache, two short ones for next, previous and hand-overs.
mkdir -p "$cache"
long=$cache/long-$size-25fps-${movie_seconds}s.tvq
if [ ! -s "$long" ]; then
  echo "making $long (once)"
  "$bin/tvq-make" "$long.part" --size "$size" --fps 25 --rate 22050 --channels 2 \
    --seconds "$movie_seconds" --quality 70
  mv "$long.part" "$long"
fi
# All of one picture size, so that which one plays does not move the RSS much.
hd=(--size "$size" --fps 25 --quality 70)
"$bin/tvq-make" "$work/short-a.tvq" "${hd[@]}" --seconds 40 >/dev/null
"$bin/tvq-make" "$work/short-b.tvq" "${hd[@]}" --rate 44100 --seconds 25 >/dev/null
"$bin/tvq-make" "$work/extra.tvq" "${hd[@]}" --channels 1 --seconds 15 >/dev/null

# A program folder of this run, repeat on so that the list never runs out.
prog=$work/bin
mkdir -p "$prog"
cp "$bin/tvqplayer" "$bin/TVQ_DecDLL.so" "$bin/TvqPlayer.ini" "$prog"/
cp -r "$bin/skin" "$prog"/
printf '[PlayerSetup]\nrepeat=TRUE\nadjust=TRUE\nbmpdir=0\nSkin=0\n' >"$prog/settings.ini"

mkdir -m 700 "$work/run" "$work/home"
export XDG_RUNTIME_DIR=$work/run HOME=$work/home
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null
export TVQ_TRACE=1 TVQ_LANGID=1033 TVQ_TRACE_SYNC=$work/sync.log
if [ "$asan" = 1 ]; then
  export ASAN_OPTIONS="detect_leaks=1 log_path=$work/sanitizer.asan"
  export UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1 log_path=$work/sanitizer.ubsan"
fi

dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$work/bus.address" \
  4>"$work/bus.pid"
pids+=("$(cat "$work/bus.pid")")
export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/bus.address")

pin=()
[ -n "$cpus" ] && pin=(taskset -c "$cpus")
if [ -n "$cpus" ]; then
  for ((i = 0; i < load; i++)); do
    taskset -c "$cpus" bash -c 'while :; do :; done' &
    pids+=("$!")
  done
fi
"${pin[@]}" "$prog/tvqplayer" "$long" >"$work/player.log" 2>"$work/player.err.log" &
player=$!
pids+=("$player")
deadline=$((SECONDS + 60))
until grep -qxF "playing $long" "$work/player.log" 2>/dev/null; do
  if [ $SECONDS -ge $deadline ]; then
    echo "FAIL: the player did not start"
    tail "$work"/*.log
    exit 1
  fi
  sleep 0.2
done
for f in short-a short-b; do
  (cd "$work" && timeout 20 "$prog/tvqplayer" "$work/$f.tvq" >/dev/null 2>&1) ||
    fail "hand-over of $f.tvq"
done
echo "soak: $minutes min, seed $seed, $(basename "$long"), build $build" \
  "$([ "$asan" = 1 ] && echo '(ASan)')" "$([ -n "$cpus" ] && echo "(cpus $cpus, $load busy loops)")"

if [ -n "$scenario" ]; then
  [ "$scenario" = speed ] || { echo "unknown scenario $scenario" >&2; exit 2; }
  python3 "$top/bench/soak/scenario.py" --pid "$player" --seconds $((minutes * 60)) \
    --sync "$work/sync.log" --length-s "$movie_seconds" --seed "$seed" --stacks-dir "$work" \
    --slow-ms "${TVQ_SCENARIO_STACKS_MS:-600}" \
    --report "$work/report.json" | tee "$work/scenario.log"
  python3 -c 'import json, sys; r = json.load(open(sys.argv[1]))
slow = [c for c in r["calls"] if c["ms"] > 2000]
sys.exit(1 if slow else 0)' "$work/report.json" || fail "bus calls over 2 s"
  kill -0 "$player" 2>/dev/null || fail "the player died"
  [ "$status" = 0 ] && echo "PASS: scenario $scenario"
  exit $status
fi
driver_args=(--pid "$player" --seconds $((minutes * 60)) --sync "$work/sync.log"
  --player "$prog/tvqplayer" --handover "$work/extra.tvq" "$work/short-b.tvq"
  --length-s "$movie_seconds" --seed "$seed" --settings "$prog/settings.ini"
  --report "$work/report.json")
[ "$no_x" = 1 ] && driver_args+=(--no-x)
python3 "$top/bench/soak/driver.py" "${driver_args[@]}" | tee "$work/driver.log"

# Under ASan (several times slower, and beside the fuzzers in CI) stalls and the RSS spread
# are timing, not faults of the build: that run reports them and fails only on a death, a
# sanitizer or a leak report.
python3 - "$work/report.json" "$asan" <<'EOF' || status=1
import json, sys
r = json.load(open(sys.argv[1]))
timing_only = sys.argv[2] == "1"
bad = []
if not r["alive"]:
    bad.append("the player died")
if r["stalls"]:
    bad.append("%d stall(s)" % len(r["stalls"]))
if r["rss_spread_after_1min"] is not None and r["rss_spread_after_1min"] > 0.10:
    bad.append("RSS spread %.1f %% after the first minute" % (100 * r["rss_spread_after_1min"]))
failed = False
for b in bad:
    noted = timing_only and b != "the player died"
    print(("NOTE (ASan timing): " if noted else "FAIL: ") + b)
    failed = failed or not noted
sys.exit(1 if failed else 0)
EOF

# The end as a user closes it: the bus's Quit closes the window; the program must end cleanly
# (and, under ASan, run its leak check).
if kill -0 "$player" 2>/dev/null; then
  dbus-send --session --print-reply --reply-timeout=5000 \
    --dest=org.mpris.MediaPlayer2.tvqplayer /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Quit \
    >/dev/null 2>&1 || kill -TERM "$player"
  deadline=$((SECONDS + 60))
  while kill -0 "$player" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.2; done
  if kill -0 "$player" 2>/dev/null; then
    fail "the player did not end within 60 s of Quit"
  else
    code=0
    wait "$player" || code=$?
    [ "$code" -eq 0 ] || fail "the player exited with $code"
  fi
fi
if [ "$asan" = 1 ]; then
  reports=$(ls "$work"/sanitizer.* 2>/dev/null || true)
  if [ -n "$reports" ]; then
    fail "sanitizer reports:"
    for f in $reports; do echo "--- $f"; head -60 "$f"; done
  else
    echo "no sanitizer or leak report"
  fi
fi
grep -v '^$' "$work/player.err.log" | sort | uniq -c | sort -rn | head -5 |
  sed 's/^/stderr: /' || true
[ "$status" = 0 ] && echo "PASS: soak"
exit $status
