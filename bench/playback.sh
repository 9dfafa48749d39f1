#!/usr/bin/env bash
# Side-by-side playback cost: the same frames played by tvqplayer and by mpv (the reference,
# --vo=x11 --hwdec=no) under one Xvfb, at 320x240/12, 1280x720/25 and 1920x1080/25.
#   bench/playback.sh BIN_DIR [--seconds N] [--sizes "320x240@12 ..."] [--before BIN_DIR]
#                     [--window WxH] [--rate R] [--install]
# BIN_DIR holds tvqplayer, TVQ_DecDLL.so, tvq-convert and the skins (a build's bin folder).
# --before plays a second build (an earlier state of the player) on the same content in the
# same run, so a change is measured against the reference under the same load.
# The content is an MJPEG + PCM AVI made by ffmpeg; tvq-convert --copy-jpeg auto packs its
# JPEG pictures and PCM unchanged into the .tvq, so both players decode the very same JPEGs.
# Both players send their sound to a null sink (SDL's dummy driver, mpv's --ao=null).
# Printed per player and size: CPU seconds per minute of playback (user+sys of the player,
# and the X server's share during its run), peak RSS, wake-ups per second of the player's
# threads (voluntary context switches summed over /proc/PID/task/*/status, from 2 s in to the
# end of the run), and the ratio ours/reference; at 1x also our A/V offsets, skipped frames and
# frames shown twice (bench/sync.py over the player's TVQ_TRACE_SYNC trace).
# --window draws the picture in a window of about that size in both players (mpv --geometry,
# ours resized with xdotool once its window shows), e.g. a 1080p movie in 960x540.
# --rate plays at that speed (ours through the media-player interface's Rate, mpv --speed),
# e.g. 8 for the cost of fast play; the movie is made long enough not to end.
# Nothing is installed unless --install is given (then: apt-get install mpv).
set -euo pipefail
source "$(dirname "$0")/../scripts/player-setup.sh"
bin=${1:?usage: playback.sh BIN_DIR [--seconds N] [--sizes "WxH@FPS ..."] [--before BIN_DIR] [--window WxH] [--rate R] [--install]}
shift
seconds=60
before= window= rate=1
sizes="320x240@12 1280x720@25 1920x1080@25"
while [ $# -gt 0 ]; do
  case $1 in
  --seconds) seconds=$2; shift 2 ;;
  --sizes) sizes=$2; shift 2 ;;
  --before) before=$2; shift 2 ;;
  --window) window=$2; shift 2 ;;
  --rate) rate=$2; shift 2 ;;
  --install) apt-get install -y mpv; shift ;;
  *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
for tool in Xvfb ffmpeg; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done
have_mpv=1
command -v mpv >/dev/null || { have_mpv=0; echo "mpv is not installed: ours only (--install adds it)"; }

work=$(mktemp -d /tmp/tvq-playback-XXXXXX)
xpid= ppid_=
trap 'end_run "$work" "$ppid_"' EXIT

# One X server for every run, so that its share is measured the same way for both players.
start_xvfb "$work"
export QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy TVQ_LANGID=1033

prog=$work/bin
make_program_folder "$bin" "$prog"
if [ -n "$before" ]; then make_program_folder "$before" "$work/before"; fi
use_private_session "$work"
if [ "$rate" != 1 ]; then
  start_private_bus "$work" || { echo "--rate needs dbus-daemon" >&2; exit 2; }
fi

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }  # utime + stime, all threads
# Voluntary switches of every thread: each is a wait the thread went into and woke from.
wakeups() { { cat /proc/"$1"/task/*/status 2>/dev/null || true; } | awk '/^voluntary_ctxt_switches/ { n += $2 } END { print n + 0 }'; }
now_s() { date +%s.%N; }

# Our player's window to --window's size and its speed to --rate, once the window shows.
steer_ours() { # pid
  local id
  id=$(timeout 20 xdotool search --sync --onlyvisible --pid "$1" 2>/dev/null | head -1)
  [ -n "$id" ] || { echo "  (no window of the player to steer)" >&2; return 0; }
  sleep 2  # the window fits itself to the movie once the movie opens: resize after that
  if [ -n "$window" ]; then
    xdotool windowsize "$id" "${window%x*}" "${window#*x}" || echo "  (could not resize)" >&2
  fi
  if [ "$rate" != 1 ]; then
    dbus-send --session --print-reply --type=method_call \
      --dest=org.mpris.MediaPlayer2.tvqplayer /org/mpris/MediaPlayer2 \
      org.freedesktop.DBus.Properties.Set string:org.mpris.MediaPlayer2.Player string:Rate \
      variant:double:"$rate" >/dev/null || echo "  (could not set the rate)" >&2
  fi
  return 0
}

# Runs a player for $seconds; sets cpu (s), xcpu (s), rss (KiB) and wake (wake-ups a second).
measure() { # log command...
  local log=$1; shift
  local x0; x0=$(cpu_ticks "$xpid")
  "$@" >"$work/$log.log" 2>&1 &
  ppid_=$!
  case $log in ours | before) if [ -n "$window" ] || [ "$rate" != 1 ]; then steer_ours "$ppid_" & fi ;; esac
  local peak=0 start=$SECONDS end=$((SECONDS + seconds)) now
  local last=0 w0= t0= w1=0 t1=0
  while [ $SECONDS -lt $end ] && kill -0 "$ppid_" 2>/dev/null; do
    now=$(awk '/^VmHWM/ { print $2 }' "/proc/$ppid_/status" 2>/dev/null || echo 0)
    [ "${now:-0}" -gt "$peak" ] && peak=$now
    last=$(cpu_ticks "$ppid_" 2>/dev/null || echo "$last")
    # From 2 s in: the start-up's threads and waits are not the steady cost.
    if [ -z "$w0" ] && [ $((SECONDS - start)) -ge 2 ]; then w0=$(wakeups "$ppid_") t0=$(now_s); fi
    sleep 0.5
  done
  if kill -0 "$ppid_" 2>/dev/null; then
    last=$(cpu_ticks "$ppid_")
    w1=$(wakeups "$ppid_") t1=$(now_s)
    now=$(awk '/^VmHWM/ { print $2 }' "/proc/$ppid_/status")
    [ "$now" -gt "$peak" ] && peak=$now
  else
    echo "  ($log ended before $seconds s; see its log)" >&2
  fi
  kill -9 "$ppid_" 2>/dev/null || true
  wait "$ppid_" 2>/dev/null || true
  ppid_=
  cpu=$(awk -v t="$last" -v k="$ticks" 'BEGIN { printf "%.2f", t / k }')
  xcpu=$(awk -v a="$x0" -v b="$(cpu_ticks "$xpid")" -v k="$ticks" 'BEGIN { printf "%.2f", (b - a) / k }')
  rss=$peak
  wake=$(awk -v a="${w0:-0}" -v b="$w1" -v s="${t0:-0}" -v e="$t1" \
    'BEGIN { printf "%.0f", (e > s && s > 0 ? (b - a) / (e - s) : 0) }')
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores, $seconds s per run" \
  "${window:+, window $window}$([ "$rate" != 1 ] && echo ", rate $rate")"
printf '%-14s %-10s %10s %10s %10s %10s %10s\n' content player cpu_s/min x_s/min total/min peak_MiB \
  wakeups/s
for spec in $sizes; do
  size=${spec%@*} fps=${spec#*@}
  avi=$work/clip.avi movie=$work/clip.tvq
  # A few seconds more than the run, so that neither player reaches the end.
  ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc2=size=$size:rate=$fps,noise=alls=12:allf=t" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100" -t $((seconds * ${rate#-} + 5)) \
    -c:v mjpeg -pix_fmt yuvj420p -q:v 3 -c:a pcm_s16le -ac 2 "$avi"
  "$bin/tvq-convert" "$avi" "$movie" --copy-jpeg auto >"$work/convert.log"
  frames=$(((seconds * ${rate#-} + 5) * fps))
  grep -q " $frames pictures copied" "$work/convert.log" ||
    { echo "the .tvq does not hold the AVI's own pictures: $(cat "$work/convert.log")" >&2; exit 1; }

  rm -f "$work/sync.log"
  TVQ_TRACE_SYNC=$work/sync.log measure ours "$prog/tvqplayer" "$movie"
  ours_cpu=$cpu ours_x=$xcpu ours_rss=$rss ours_wake=$wake
  row() { # player cpu x rss wake
    awk -v c="$spec" -v p="$1" -v u="$2" -v x="$3" -v r="$4" -v w="$5" -v s="$seconds" \
      'BEGIN { printf "%-14s %-10s %10.2f %10.2f %10.2f %10.1f %10d\n", c, p, u * 60 / s,
               x * 60 / s, (u + x) * 60 / s, r / 1024, w }'
  }
  row tvqplayer "$ours_cpu" "$ours_x" "$ours_rss" "$ours_wake"
  if [ -n "$before" ]; then
    measure before "$work/before/tvqplayer" "$movie"
    before_cpu=$cpu before_x=$xcpu before_rss=$rss before_wake=$wake
    row before "$before_cpu" "$before_x" "$before_rss" "$before_wake"
  fi
  ratio() { # label cpu x rss wake (against the reference's cpu, xcpu, rss, wake)
    awk -v c="$spec" -v l="$1" -v a="$2" -v b="$cpu" -v ax="$3" -v bx="$xcpu" \
      -v ar="$4" -v br="$rss" -v aw="$5" -v bw="$wake" \
      'BEGIN { printf "%-14s %-10s %10.2f %10.2f %10.2f %10.2f %10.2f\n", c, l,
               (b > 0 ? a / b : 0), (bx > 0 ? ax / bx : 0),
               (b + bx > 0 ? (a + ax) / (b + bx) : 0), (br > 0 ? ar / br : 0),
               (bw > 0 ? aw / bw : 0) }'
  }
  if [ $have_mpv = 1 ]; then
    mpv_window=()
    [ -n "$window" ] && mpv_window=(--geometry="$window")
    measure mpv mpv --no-config --vo=x11 --hwdec=no --ao=null --really-quiet --speed="${rate#-}" \
      "${mpv_window[@]}" "$avi"
    row mpv "$cpu" "$xcpu" "$rss" "$wake"
    ratio ours/mpv "$ours_cpu" "$ours_x" "$ours_rss" "$ours_wake"
    if [ -n "$before" ]; then ratio before/mpv "$before_cpu" "$before_x" "$before_rss" "$before_wake"; fi
  fi
  # How far our pictures were from the sound (the trace is written at paint time); only at 1x,
  # where pictures and sound belong together.
  if [ "$rate" = 1 ] && [ -s "$work/sync.log" ]; then
    python3 "$(dirname "$0")/sync.py" "$work/sync.log" --skip-first 1 | sed "s/^/  $spec sync: /"
  fi
  rm -f "$avi" "$movie"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
