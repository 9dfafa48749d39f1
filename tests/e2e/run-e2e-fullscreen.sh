#!/usr/bin/env bash
# Full screen as a user meets it: under Xvfb with a real window manager (openbox), xdotool
# moves the mouse and types.
#   run-e2e-fullscreen.sh BUILD_DIR PROBE XWIN ARTIFACTS_DIR
# A movie of the screen's own size plays; a double click on the picture, F and the display
# menu's "Full screen" each enter full screen, and a second double click and Esc leave it. In
# full screen the window covers the screen and the picture is drawn 1:1 from the screen's
# top-left corner (no caption above it); a click where the skin's close button was leaves the
# player running and in full screen. Screenshots of every step stay in ARTIFACTS_DIR.
set -euo pipefail

if [ "${1:-}" != "--inside" ]; then
  for tool in xvfb-run import xwininfo openbox xdotool xprop; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  exec xvfb-run -a -s "-screen 0 1280x800x24" bash "$0" --inside "$@"
fi
shift
export QT_QPA_PLATFORM=xcb
build=$1 probe=$2 xwin=$3 artifacts=$4/fullscreen
bin=$build/bin
e2e_name=fullscreen
source "$(dirname "$0")/e2e-lib.sh"
sw=1280 sh=800

openbox --sm-disable >"$work/openbox.log" 2>&1 &
players+=("$!")
deadline=$((SECONDS + 10))
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
  [ $SECONDS -lt $deadline ] || fail "openbox did not start"
  sleep 0.1
done

# x y width height of the player's window as the X server has it.
geometry() {
  xwininfo -id "$wid" 2>/dev/null | awk '
    /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /Width:/ {w=$NF} /Height:/ {h=$NF} END {if (w) print x, y, w, h}'
}
wait_for_geometry() { # what ("full" or "normal") seconds
  local deadline=$((SECONDS + $2)) g
  while :; do
    g=$(geometry)
    if [ "$1" = full ]; then [ "$g" = "0 0 $sw $sh" ] && break; else [ "$g" = "$normal" ] && break; fi
    [ $SECONDS -lt $deadline ] || fail "window at '$g', not $1 screen, within $2 s"
    sleep 0.1
  done
  sleep 0.7 # a few frames at the new size
}
# In full screen: the picture 1:1 with its top-left corner at the screen's.
expect_picture_over_screen() { # shot
  import -window root "$work/$1.png"
  local found
  found=$("$probe" marker "$work/$1.png" $sw $sh) || fail "$1: no ${sw}x$sh picture on the screen"
  read -r _ _ px py <<<"$found"
  [ "$px $py" = "0 0" ] || fail "$1: the picture starts at $px,$py, not at the screen's corner"
}
double_click_picture() {
  read -r x y w h < <(geometry)
  xdotool mousemove --sync $((x + w / 2)) $((y + h / 4)) click --repeat 2 --delay 120 1
}

"$bin/tvq-make" "$work/screen.tvq" --size ${sw}x$sh --fps 4 --rate 22050 --channels 1 \
  --seconds 40 --quality 80 >/dev/null
"$prog/tvqplayer" "$work/screen.tvq" >"$work/player.log" 2>"$work/player.err.log" &
pid=$!
players+=("$pid")
wait_for_line player "playing $work/screen.tvq" 20
wait_for_windows 1 10
wid=$(xdotool search --onlyvisible --name "^$title\$" | head -1)
[ -n "$wid" ] || fail "xdotool finds no window titled '$title'"
sleep 1.5 # the window grows for the picture
normal=$(geometry)
echo "normal window: $normal"
[ "$normal" != "0 0 $sw $sh" ] || fail "the window covers the screen before full screen"
import -window root "$work/normal.png"

double_click_picture
wait_for_geometry full 5
expect_picture_over_screen fullscreen-doubleclick
# The skin's close button stood in the top-right corner; in full screen it is not there.
xdotool mousemove --sync $((sw - 20)) 10 click 1
sleep 0.7
kill -0 "$pid" 2>/dev/null || fail "a click in the top-right corner closed the player"
[ "$(geometry)" = "0 0 $sw $sh" ] || fail "a click in the top-right corner left full screen"
import -window root "$work/fullscreen-corner-click.png"
double_click_picture
wait_for_geometry normal 5
import -window root "$work/left-by-doubleclick.png"

xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
xdotool key f
wait_for_geometry full 5
expect_picture_over_screen fullscreen-key
xdotool key Escape
wait_for_geometry normal 5

# The display menu: right click on the picture, its sixth item is "Full screen".
read -r x y w h < <(geometry)
xdotool mousemove --sync $((x + w / 2)) $((y + h / 4)) click 3
sleep 0.7
import -window root "$work/menu.png"
xdotool key Down Down Down Down Down Return
wait_for_geometry full 5
expect_picture_over_screen fullscreen-menu
xdotool key Escape
wait_for_geometry normal 5
import -window root "$work/left-by-escape.png"

"$xwin" close "$title" || fail "no window to close"
expect_clean_exit "$pid" 15
echo "full screen entered by double click, F and the menu; left by double click and Esc"
