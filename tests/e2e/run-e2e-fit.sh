#!/usr/bin/env bash
# The main window meets a movie larger than its video area, under Xvfb:
#   run-e2e-fit.sh SCENARIO BUILD_DIR PROBE XWIN ARTIFACTS_DIR
# SCENARIO:
#   grow    a 1920x1080 screen: the window grows until the 1280x720 picture is drawn whole at
#           its own size, on the screen, inside the window; screenshot.png shows it.
#   small   a 1280x800 screen: the window grows as far as the screen lets it and stays on it.
set -euo pipefail

if [ "${1:-}" != "--inside" ]; then
  for tool in xvfb-run import xwininfo; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  screen=1920x1080x24
  [ "$1" = small ] && screen=1280x800x24
  exec xvfb-run -a -s "-screen 0 $screen" bash "$0" --inside "$@"
fi
shift
export QT_QPA_PLATFORM=xcb
scenario=$1 build=$2 probe=$3 xwin=$4 artifacts=$5/fit-$1
bin=$build/bin
e2e_name=fit
source "$(dirname "$0")/e2e-lib.sh"

# x y width height of the player's window, from the X server.
window_geometry() {
  xwininfo -name "$title" 2>/dev/null | awk '
    /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /Width:/ {w=$NF} /Height:/ {h=$NF} END {if (w) print x, y, w, h}'
}
screen_size() { xwininfo -root | awk '/Width:/ {w=$NF} /Height:/ {h=$NF} END {print w, h}'; }

"$bin/tvq-make" "$work/hd.tvq" --size 1280x720 --fps 5 --rate 22050 --channels 1 --seconds 8 \
  --quality 90 >/dev/null
"$prog/tvqplayer" "$work/hd.tvq" >"$work/player.log" 2>"$work/player.err.log" &
pid=$!
players+=("$pid")
wait_for_line player "playing $work/hd.tvq" 20
read -r sw sh < <(screen_size)

# The window reaches its size for the movie once the window system has answered.
deadline=$((SECONDS + 10))
while :; do
  read -r wx wy ww wh < <(window_geometry) || true
  [ -n "${ww:-}" ] && [ "$ww" -gt 700 ] && break
  [ $SECONDS -lt $deadline ] || fail "the window did not grow: ${ww:-?}x${wh:-?}"
  sleep 0.2
done
sleep 1.5  # a few frames into the grown window
read -r wx wy ww wh < <(window_geometry)
echo "window ${ww}x${wh} at ${wx},${wy} on a ${sw}x${sh} screen"
[ "$wx" -ge 0 ] && [ "$wy" -ge 0 ] && [ $((wx + ww)) -le "$sw" ] && [ $((wy + wh)) -le "$sh" ] ||
  fail "the window sticks out of the screen"
import -window root "$work/screenshot.png"

case $scenario in
grow)
  # The picture at 1:1, whole: its frame marker is found and all of it lies in the window.
  found=$("$probe" marker "$work/screenshot.png" 1280 720) || fail "no 1280x720 picture at 1:1"
  read -r second frame px py <<<"$found"
  echo "picture of second $second frame $frame at $px,$py"
  [ "$px" -ge "$wx" ] && [ "$py" -ge "$wy" ] && [ $((px + 1280)) -le $((wx + ww)) ] &&
    [ $((py + 720)) -le $((wy + wh)) ] || fail "the picture is not inside the window"
  ;;
small)
  # No room for 720 rows: the picture is scaled down, so it is not found at 1:1.
  if "$probe" marker "$work/screenshot.png" 1280 720 >/dev/null; then
    fail "a 1280x720 picture at 1:1 cannot fit this screen"
  fi
  ;;
*)
  fail "unknown scenario $scenario"
  ;;
esac
"$xwin" close "$title" || fail "no window to close"
deadline=$((SECONDS + 15))
while kill -0 "$pid" 2>/dev/null; do
  [ $SECONDS -lt $deadline ] || fail "player still running after closing"
  sleep 0.1
done
