#!/usr/bin/env bash
# A/V sync as heard through a real sound server, beside the player's own reckoning of it.
#   bench/pulse-sync.sh BIN_DIR [--seconds N] [--sizes "320x240@12 1280x720@25 1920x1080@25"]
#                       [--runs K] [--latency-msec MS] [--keep DIR] [--sink-args ARGS]
# BIN_DIR holds tvqplayer, TVQ_DecDLL.so and tvq-make (a build's bin folder).
# A PulseAudio daemon of this run only (its own runtime folder and socket, no configuration
# read, no other client) plays into a null sink; the player plays through it
# (SDL_AUDIODRIVER=pulseaudio) under an Xvfb of its own, with TVQ_TRACE_SYNC on. The movie is
# tvq-make's sync pattern: a burst on the first sample of every frame, pitched by the frame's
# index. bench/pulse_sync.py records the sink's monitor with parec (small --latency-msec and
# --process-time-msec), stamping each read with CLOCK_MONOTONIC as it arrives, finds the burst
# onsets, labels them with their frames and sets each frame's first paint against the moment
# its first sample was heard (the null sink's own clock; how that is worked out and what is
# assumed: bench/pulse_sync.py). Printed per size and run: paint minus heard (ms; positive: the
# picture after its sound) as |offset| p50/p95/p99/max and the signed median, the player's own
# view of the same (its trace's heard position) and the difference, the latencies the server
# reports for the player's stream and the recording meanwhile (pactl, medians), and frames
# skipped and shown twice; then per size the median over the runs.
# --keep DIR keeps the recordings, stamps, traces and logs in DIR; --sink-args replaces the null
# sink's extra module arguments (default norewinds=1: a rewind would re-render a stretch its
# monitor has already handed to parec, and the recording would hold it twice).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/player-setup.sh"
bin=${1:?usage: pulse-sync.sh BIN_DIR [--seconds N] [--sizes "WxH@FPS ..."] [--runs K] [--latency-msec MS] [--keep DIR]}
bin=$(cd "$bin" && pwd)
shift
seconds=20 runs=1 latency=5 keep= sink_args=norewinds=1
sizes="320x240@12 1280x720@25 1920x1080@25"
while [ $# -gt 0 ]; do
  case $1 in
  --seconds) seconds=$2; shift 2 ;;
  --sizes) sizes=$2; shift 2 ;;
  --runs) runs=$2; shift 2 ;;
  --latency-msec) latency=$2; shift 2 ;;
  --keep) keep=$2; shift 2 ;;
  --sink-args) sink_args=$2; shift 2 ;;
  *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
for tool in Xvfb pulseaudio parec pactl python3; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done

work=$(mktemp -d /tmp/tvq-pulse-sync-XXXXXX)
xpid= pulse_pid= player= recorder= sampler=
stop() { # pid: TERM, then KILL if it does not go within 3 s
  [ -n "$1" ] || return 0
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 30); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  kill -9 "$1" 2>/dev/null || true
}
cleanup() {
  stop "$player"
  stop "$sampler"
  stop "$recorder"
  stop "$pulse_pid"
  stop "$xpid"
  if [ -n "$keep" ]; then mkdir -p "$keep" && cp -r "$work"/. "$keep"/ 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start_xvfb "$work"
prog=$work/bin
make_program_folder "$bin" "$prog"
use_private_session "$work"
export QT_QPA_PLATFORM=xcb TVQ_LANGID=1033 XDG_CONFIG_HOME=$work/home/.config

# The sound server: nothing but a null sink, the socket the player and parec reach it by, and
# a sink that is always there. -n reads no configuration file, so no other module loads. A new
# one for each run: a client's end can bring the daemon down (its memfd block import asserts
# now and then), and without shared memory, which that path is, blocks go over the socket.
mkdir -p "$HOME/.config/pulse"
export PULSE_SERVER=unix:$work/pulse.sock
start_pulse() {
  rm -f "$work/pulse.sock"
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    --disable-shm=yes --log-target=stderr \
    -L "module-null-sink sink_name=tvqnull rate=44100 channels=2${sink_args:+ $sink_args}" \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$work/pulse.sock" \
    -L "module-always-sink" >>"$work/pulseaudio.log" 2>&1 &
  pulse_pid=$!
  local deadline=$((SECONDS + 10))
  until timeout 2 pactl info >/dev/null 2>&1; do
    if [ $SECONDS -ge $deadline ] || ! kill -0 "$pulse_pid" 2>/dev/null; then
      echo "pulseaudio did not start:" >&2; tail -5 "$work/pulseaudio.log" >&2; exit 1
    fi
    sleep 0.1
  done
  timeout 5 pactl set-default-sink tvqnull
}

# What the server says about each stream, twice a second, as "name value-in-usec" lines.
sample_latencies() { # out
  while :; do
    {
      timeout 2 pactl list sink-inputs 2>/dev/null |
        awk '/Buffer Latency:/ { print "play_buffer", $3 } /Sink Latency:/ { print "play_sink", $3 }'
      timeout 2 pactl list sinks 2>/dev/null |
        awk '/^\tLatency:/ { print "sink_now", $2; print "sink_configured", $5 }'
      timeout 2 pactl list source-outputs 2>/dev/null |
        awk '/Buffer Latency:/ { print "record_buffer", $3 } /Source Latency:/ { print "record_source", $3 }'
    } >>"$1"
    sleep 0.5
  done
}
# The median of one quantity of that log, in ms.
latency_ms() { # log name
  awk -v n="$2" '$1 == n { v[++c] = $2 } END {
    if (!c) { print "-"; exit }
    for (i = 1; i <= c; i++) for (j = i + 1; j <= c; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
    printf "%.1f", v[int((c + 1) / 2)] / 1000 }' "$1"
}
last_second() { awk '!/^#/ && NF == 4 { s = $2 } END { print s + 0 }' "$1" 2>/dev/null || echo 0; }

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores, $seconds s per run," \
  "parec --latency-msec=$latency"
summary=$work/summary.txt
: >"$summary"
for spec in $sizes; do
  size=${spec%@*} fps=${spec#*@}
  movie=$work/sync-$size.tvq
  "$bin/tvq-make" "$movie" --pattern sync --size "$size" --fps "$fps" --rate 44100 --channels 2 \
    --bits 16 --seconds $((seconds + 4)) --quality 85 >/dev/null
  for run in $(seq "$runs"); do
    tag=$size-$fps-$run
    raw=$work/heard-$tag.raw stamps=$work/stamps-$tag.txt trace=$work/trace-$tag.txt
    lat=$work/latency-$tag.log
    start_pulse
    python3 "$here/pulse_sync.py" record "$raw" "$stamps" -- \
      parec -d tvqnull.monitor --raw --format=s16le --rate=44100 --channels=2 \
      --latency-msec="$latency" --process-time-msec="$latency" 2>"$work/parec-$tag.log" &
    recorder=$!
    deadline=$((SECONDS + 10))
    until [ -s "$stamps" ]; do
      [ $SECONDS -lt $deadline ] || { echo "parec recorded nothing in 10 s" >&2; exit 1; }
      sleep 0.1
    done
    sleep 0.5  # some silence before the first burst
    : >"$lat"
    sample_latencies "$lat" &
    sampler=$!
    SDL_AUDIODRIVER=pulseaudio TVQ_TRACE_SYNC=$trace "$prog/tvqplayer" "$movie" \
      >"$work/player-$tag.log" 2>&1 &
    player=$!
    # Until the picture has reached the last measured second; a stall ends the run.
    deadline=$((SECONDS + seconds + 30))
    while [ "$(last_second "$trace")" -lt "$seconds" ]; do
      kill -0 "$player" 2>/dev/null || { echo "  (player ended early; see its log)" >&2; break; }
      [ $SECONDS -lt $deadline ] || { echo "  (second $seconds not shown in time)" >&2; break; }
      sleep 0.2
    done
    stop "$player"; wait "$player" 2>/dev/null || true; player=
    sleep 0.3  # the sink's last blocks reach parec
    stop "$recorder"; wait "$recorder" 2>/dev/null || true; recorder=
    stop "$sampler"; wait "$sampler" 2>/dev/null || true; sampler=
    kill -0 "$pulse_pid" 2>/dev/null || echo "  (the sound server ended during the run)" >&2
    stop "$pulse_pid"; wait "$pulse_pid" 2>/dev/null || true; pulse_pid=
    echo "$spec run $run: load $(cut -d' ' -f1 /proc/loadavg); server latencies (median ms):" \
      "player stream buffer $(latency_ms "$lat" play_buffer) + sink $(latency_ms "$lat" play_sink)," \
      "sink configured $(latency_ms "$lat" sink_configured), recording buffer" \
      "$(latency_ms "$lat" record_buffer) + source $(latency_ms "$lat" record_source)"
    python3 "$here/pulse_sync.py" analyse "$raw" "$stamps" "$trace" --skip-first 1 \
      --summary "$summary" --label "$spec" | sed 's/^/  /' || echo "  (no figures for this run)"
    [ -n "$keep" ] || rm -f "$raw"
  done
done
if [ "$runs" -gt 1 ]; then
  echo "median over $runs runs:"
  python3 "$here/pulse_sync.py" summarise "$summary" | sed 's/^/  /'
fi
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
