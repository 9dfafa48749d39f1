#!/usr/bin/env bash
# The player as a desktop installs and starts it, under Xvfb:
#   run-e2e-desktop.sh SCENARIO BUILD_DIR PROBE XWIN ARTIFACTS_DIR
# SCENARIO:
#   install      the .deb unpacked into a scratch root (cmake --install with DESTDIR where cpack
#                or dpkg-deb is missing), checks the layout,
#                the desktop entry and the MIME type, and plays a movie with the installed
#                program as an ordinary user: its program folder is not writable, so what it
#                writes goes to $XDG_CONFIG_HOME/tvqplayer/ and nothing into the tree.
#   doubleclick  three starts in quick succession, as a file manager's double clicks on three
#                files: one window, three rows, and the other starts end.
#   mpris        a private session bus: playerctl reads the status and the metadata and drives
#                play, pause, seek, next and stop; PropertiesChanged goes out.
#   pulse        a private PulseAudio with a null sink: the movie plays through SDL's default
#                driver, parec records the sink's monitor, the tones come in order and the
#                picture and the movie's end keep time with them.
#   resume       play, seek to 0:40 over a private bus, pause and close; the next start of the
#                same file shows second 40 first.
#   backward     Rate -1 over a private bus turns a playing movie back: the frames shown run
#                back to second 0 and the file ends.
#   hidpi        the idle window at QT_SCALE_FACTOR 1 and 2: the skin's scope bitmap 1:1 at 1, the
#                whole window twice the size at 2 and, halved, like the one at 1.
#   bigpicture   a 1280x720 movie plays and closes; leaves the screen as screenshot.png (on
#                this 1280x800 screen the window grows to the screen's height and the picture
#                is scaled down whole into the grown video area).
#   preview      a 1280x720 movie plays while the mouse sweeps to and fro over the picture and
#                then over the seek slider (found by the previews it brings up): previews keep
#                coming, and the pictures keep time with the sound as they did with the mouse
#                over the picture (A/V offsets, frames skipped); leaves preview.png.
set -euo pipefail

if [ "${1:-}" != "--inside" ]; then
  for tool in xvfb-run import; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  # -ac: the unprivileged user of the install run has no access to xvfb-run's cookie.
  # The doubled window of the hidpi run needs a larger screen.
  screen=1280x800x24
  [ "$1" = hidpi ] && screen=2560x1600x24
  exec xvfb-run -a -s "-ac -screen 0 $screen" bash "$0" --inside "$@"
fi
shift
export QT_QPA_PLATFORM=xcb
scenario=$1 build=$2 probe=$3 xwin=$4 artifacts=$5/$1
bin=$build/bin
e2e_name=desktop
source "$(dirname "$0")/e2e-lib.sh"
# The install run's ordinary user must get through to its files.
chmod 755 "$work"
mkdir -p "$XDG_CONFIG_HOME"

# A session bus of this run only; the player finds it through the usual variable.
use_private_bus() {
  start_private_bus "$work" || { echo "SKIP: dbus-daemon is not installed"; exit 77; }
  players+=("$bus_pid")
}

# Plays $work/a.tvq with its shown frames traced to $work/NAME.txt and its output in
# $work/LOG.log; sets pid once the player says it plays.
start_traced_player() { # trace-name log-name
  TVQ_TRACE_SYNC="$work/$1.txt" "$prog/tvqplayer" "$work/a.tvq" >"$work/$2.log" \
    2>"$work/$2.err.log" &
  pid=$!
  players+=("$pid")
  wait_for_line "$2" "playing $work/a.tvq" 20
}
# The second of the last frame a trace shows (0 before any).
last_second() { awk '!/^#/ { s = $2 } END { print s + 0 }' "$1" 2>/dev/null; }

case $scenario in
install)
  root=$work/root
  if command -v cpack >/dev/null && command -v dpkg-deb >/dev/null; then
    # The package as CI builds it, unpacked into the scratch root.
    (cd "$build" && cpack -G DEB -B "$work/pkg") >"$work/install.log" 2>&1 || fail "cpack failed"
    deb=$(ls "$work"/pkg/tvqplayer_*.deb) || fail "no .deb made"
    dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "the package lacks its Qt dependency"
    dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x failed"
    echo "unpacked $(basename "$deb") ($(stat -c %s "$deb") bytes)"
  else
    DESTDIR=$root cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
      fail "cmake --install failed"
  fi
  usr=$root/usr
  for f in bin/tvqplayer bin/tvq-make lib/tvqplayer/tvqplayer lib/tvqplayer/TVQ_DecDLL.so \
    share/tvqplayer/TvqPlayer.ini share/tvqplayer/skin/xpstyle/theme.ini \
    lib/tvqplayer/TvqPlayer.ini lib/tvqplayer/skin/xpstyle/theme.ini \
    share/applications/tvqplayer.desktop share/mime/packages/tvqplayer.xml \
    share/icons/hicolor/scalable/apps/tvqplayer.svg; do
    [ -e "$usr/$f" ] || fail "installed tree lacks $f"
  done
  for size in 16 22 24 32 48 64 128 256; do
    icon=$usr/share/icons/hicolor/${size}x${size}/apps/tvqplayer.png
    [ -f "$icon" ] || fail "no $size px icon"
    [ "$(identify -format '%wx%h' "$icon")" = "${size}x${size}" ] || fail "$icon is not $size px"
  done
  [ "$(readlink "$usr/bin/tvqplayer")" = "../lib/tvqplayer/tvqplayer" ] ||
    fail "bin/tvqplayer is not a relative link to the program folder"
  grep -qx 'Exec=tvqplayer %f' "$usr/share/applications/tvqplayer.desktop" || fail "Exec line"
  grep -qx 'MimeType=application/x-tvq;' "$usr/share/applications/tvqplayer.desktop" ||
    fail "MimeType line"
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$usr/share/applications/tvqplayer.desktop" || fail "desktop entry"
  fi
  # The shared MIME database built from the installed type recognises a movie by its name and,
  # renamed, by its first bytes.
  "$usr/bin/tvq-make" "$work/m.tvq" --size 160x120 --fps 12 --rate 22050 --channels 1 \
    --bits 16 --seconds 3 >/dev/null
  if command -v update-mime-database >/dev/null; then
    update-mime-database "$usr/share/mime" >/dev/null 2>&1 || fail "update-mime-database"
    grep -q '^application/x-tvq:\*\.tvq$' "$usr/share/mime/globs" || fail "no *.tvq glob"
    grep -aq 'application/x-tvq' "$usr/share/mime/magic" || fail "no magic for the type"
    head -c 12 "$work/m.tvq" | od -c | head -1 | grep -q 'R   I   F   F' || fail "movie start"
    [ "$(head -c 12 "$work/m.tvq" | tail -c 4)" = "TVQ " ] || fail "movie has no 'TVQ ' at 8"
  fi

  # The installed program as an ordinary user, on the movie, through bin/tvqplayer.
  run_as=()
  if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody "$work/run" "$work/home"
    touch "$work/player.log" "$work/player.err.log" "$work/audio.raw"
    chown nobody "$work/player.log" "$work/player.err.log" "$work/audio.raw"
    run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  fi
  "${run_as[@]}" "$usr/bin/tvqplayer" "$work/m.tvq" >"$work/player.log" 2>"$work/player.err.log" &
  pid=$!
  players+=("$pid")
  wait_for_line player "playing $work/m.tvq" 20
  wait_for_windows 1 10
  sleep 1
  import -window root "$work/screenshot.png"
  "$probe" marker "$work/screenshot.png" 160 120 >/dev/null || fail "no movie frame on screen"
  # Two seconds of sound (44100 Hz, 2 channels, 16 bits), then close: repeat is on by default.
  deadline=$((SECONDS + 20))
  while [ "$(stat -c %s "$work/audio.raw")" -lt $((2 * 44100 * 4 + 44100)) ]; do
    [ $SECONDS -lt $deadline ] || fail "less than 2 s of sound within 20 s"
    sleep 0.1
  done
  "$xwin" close "$title" || fail "no window to close"
  expect_clean_exit "$pid" 15
  tones=$("$probe" tones "$work/audio.raw" 44100 2 16)
  echo "installed program played seconds: $tones"
  [ "${tones:0:3}" = "0 1" ] || fail "heard '$tones'"
  written=$(find "$usr" -newer "$work/m.tvq" -type f | grep -v '/share/mime/' || true)
  [ -z "$written" ] || fail "the program wrote into the installed tree: $written"
  if [ "$(id -u)" -eq 0 ]; then
    [ -d "$XDG_CONFIG_HOME/tvqplayer" ] || fail "no $XDG_CONFIG_HOME/tvqplayer/"
    echo "written for the user: $(ls "$XDG_CONFIG_HOME/tvqplayer" | tr '\n' ' ')"
  fi
  ;;
doubleclick)
  for name in a b c; do
    "$bin/tvq-make" "$work/$name.tvq" --size 160x120 --fps 12 --seconds 20 >/dev/null
  done
  pids=()
  for name in a b c; do
    "$prog/tvqplayer" "$work/$name.tvq" >"$work/$name.log" 2>"$work/$name.err.log" &
    pids+=($!)
    players+=($!)
  done
  # Exactly one start keeps running with all three rows; the others end cleanly.
  deadline=$((SECONDS + 30))
  while :; do
    running=0
    for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && running=$((running + 1)); done
    [ "$running" -le 1 ] && break
    [ $SECONDS -lt $deadline ] || fail "$running copies still run after 30 s"
    sleep 0.1
  done
  survivor=
  for i in 0 1 2; do
    name=$(echo a b c | cut -d' ' -f$((i + 1)))
    if kill -0 "${pids[$i]}" 2>/dev/null; then survivor=$name; else expect_clean_exit "${pids[$i]}" 1; fi
  done
  [ -n "$survivor" ] || fail "no copy kept running"
  for name in a b c; do wait_for_line "$survivor" "added $work/$name.tvq" 10; done
  wait_for_windows 1 5
  rows=$(grep -c '^added ' "$work/$survivor.log")
  [ "$rows" -eq 3 ] || fail "$rows rows, expected 3"
  echo "copy '$survivor' kept the only window with 3 rows"
  "$xwin" close "$title"
  for i in 0 1 2; do kill -0 "${pids[$i]}" 2>/dev/null && expect_clean_exit "${pids[$i]}" 15; done
  ;;
bigpicture)
  "$bin/tvq-make" "$work/hd.tvq" --size 1280x720 --fps 5 --rate 22050 --channels 1 --seconds 6 \
    --quality 70 >/dev/null
  "$prog/tvqplayer" "$work/hd.tvq" >"$work/player.log" 2>"$work/player.err.log" &
  pid=$!
  players+=("$pid")
  wait_for_line player "playing $work/hd.tvq" 20
  sleep 2
  import -window root "$work/screenshot.png"
  # What the picture looks like is checked by the widget tests; this run keeps the screen of
  # the real program (screenshot.png) and checks that the large movie plays and closes.
  wait_for_windows 1 5
  "$xwin" close "$title" || fail "no window to close"
  expect_clean_exit "$pid" 15
  ;;
mpris)
  command -v playerctl >/dev/null || { echo "SKIP: playerctl is not installed"; exit 77; }
  use_private_bus
  dbus-monitor --session "type='signal',interface='org.freedesktop.DBus.Properties'" \
    >"$work/monitor.log" 2>&1 &
  players+=($!)
  "$bin/tvq-make" "$work/a.tvq" --size 160x120 --fps 12 --seconds 30 >/dev/null
  "$bin/tvq-make" "$work/b.tvq" --size 160x120 --fps 12 --seconds 30 >/dev/null
  "$prog/tvqplayer" "$work/a.tvq" >"$work/player.log" 2>"$work/player.err.log" &
  pid=$!
  players+=("$pid")
  wait_for_line player "playing $work/a.tvq" 20
  "$prog/tvqplayer" "$work/b.tvq" >/dev/null 2>&1  # a second row, handed over
  wait_for_line player "added $work/b.tvq" 10
  pc() { playerctl -p tvqplayer "$@"; }
  expect_status() { # status seconds
    local deadline=$((SECONDS + $2))
    while [ "$(pc status 2>/dev/null)" != "$1" ]; do
      [ $SECONDS -lt $deadline ] || fail "status '$(pc status 2>&1)', expected '$1'"
      sleep 0.1
    done
  }
  expect_status Playing 10
  [ "$(pc metadata xesam:url)" = "file://$work/a.tvq" ] || fail "url '$(pc metadata xesam:url)'"
  [ "$(pc metadata xesam:title)" = "a" ] || fail "title '$(pc metadata xesam:title)'"
  [ "$(pc metadata mpris:length)" = "30000000" ] || fail "length '$(pc metadata mpris:length)'"
  pc pause
  expect_status Paused 5
  pc play
  expect_status Playing 5
  pc play-pause
  expect_status Paused 5
  pc play-pause
  expect_status Playing 5
  # A seek to 20 s: the position follows the played second.
  pc position 20
  deadline=$((SECONDS + 10))
  while :; do
    at=$(pc position 2>/dev/null | cut -d. -f1)
    [ -n "$at" ] && [ "$at" -ge 20 ] && [ "$at" -le 25 ] && break
    [ $SECONDS -lt $deadline ] || fail "position $at after a seek to 20 s"
    sleep 0.2
  done
  echo "position after the seek: $at s"
  pc next
  wait_for_line player "playing $work/b.tvq" 15
  deadline=$((SECONDS + 10))
  until [ "$(pc metadata xesam:url 2>/dev/null)" = "file://$work/b.tvq" ]; do
    [ $SECONDS -lt $deadline ] || fail "metadata did not move to b.tvq"
    sleep 0.1
  done
  pc stop
  wait_for_line player "stopped" 10
  expect_status Stopped 5
  grep -q 'string "PlaybackStatus"' "$work/monitor.log" || fail "no PropertiesChanged seen"
  grep -A1 'string "PlaybackStatus"' "$work/monitor.log" | grep -q '"Paused"' ||
    fail "no PropertiesChanged to Paused"
  echo "statuses announced: $(grep -A1 'string "PlaybackStatus"' "$work/monitor.log" |
    grep -o '"[A-Z][a-z]*"' | tr '\n' ' ')"
  "$xwin" close "$title" || fail "no window to close"
  expect_clean_exit "$pid" 15
  ;;
backward)
  use_private_bus
  "$bin/tvq-make" "$work/a.tvq" --size 160x120 --fps 10 --seconds 20 >/dev/null
  start_traced_player shown player
  deadline=$((SECONDS + 20))
  until [ "$(last_second "$work/shown.txt")" -ge 6 ]; do
    [ $SECONDS -lt $deadline ] || fail "second 6 never shown (last $(last_second "$work/shown.txt"))"
    sleep 0.1
  done
  # A negative rate is the backward speed command.
  turned=$(grep -vc '^#' "$work/shown.txt")
  dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.tvqplayer \
    /org/mpris/MediaPlayer2 org.freedesktop.DBus.Properties.Set \
    string:org.mpris.MediaPlayer2.Player string:Rate variant:double:-1 >/dev/null ||
    fail "the bus refused Rate -1"
  # Backward play ends the file at its start; the list of one file then stops.
  wait_for_line player "stopped" 30
  # From the turn on, the shown seconds never rise again once they fall, and reach 0.
  tail -n +"$((turned + 2))" "$work/shown.txt" | grep -v '^#' | awk '
    { if (prev != "" && $2 < prev) falling = 1
      if (falling && $2 > prev) { print "rose from " prev " to " $2; bad = 1 }
      prev = $2; if (falling) n++ }
    END { if (!falling) { print "never went back"; exit 1 }
          if (prev != 0) { print "ended at second " prev; exit 1 }
          print n " frames shown going back to second 0"; exit bad }' ||
    fail "backward play: see above"
  "$xwin" close "$title" || fail "no window to close"
  expect_clean_exit "$pid" 15
  ;;
pulse)
  for tool in pulseaudio parec pactl; do
    command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  # A sound server of this run only, with a null sink as its default output. A user-mode
  # daemon (also as root) under the run's HOME and XDG_RUNTIME_DIR.
  mkdir -p "$HOME/.config/pulse"
  export PULSE_SERVER=unix:$work/pulse.sock
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    -L "module-null-sink sink_name=tvqnull rate=44100 channels=2" \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$work/pulse.sock" \
    -L "module-always-sink" >"$work/pulseaudio.log" 2>&1 &
  players+=($!)
  deadline=$((SECONDS + 10))
  until pactl info >/dev/null 2>&1; do
    if [ $SECONDS -ge $deadline ]; then
      echo "SKIP: pulseaudio does not start here"; tail -5 "$work/pulseaudio.log"; exit 77
    fi
    sleep 0.1
  done
  pactl set-default-sink tvqnull
  "$bin/tvq-make" "$work/m.tvq" --size 160x120 --fps 12 --rate 22050 --channels 1 --bits 16 \
    --seconds 6 >/dev/null
  parec -d tvqnull.monitor --latency-msec=20 --format=s16le --rate=44100 --channels=2 --raw >"$work/heard.raw" &
  players+=($!)
  recorder=$!
  # The default driver: SDL picks the sound server itself.
  unset SDL_AUDIODRIVER SDL_DISKAUDIOFILE
  "$prog/tvqplayer" "$work/m.tvq" >"$work/player.log" 2>"$work/player.err.log" &
  pid=$!
  players+=("$pid")
  wait_for_line player "playing $work/m.tvq" 20
  began=$(date +%s%N)
  sleep 2.5
  # What is on the screen and what the sink played last, at the same moment.
  import -window root "$work/screenshot.png"
  cp "$work/heard.raw" "$work/so-far.raw"
  size=$(stat -c %s "$work/so-far.raw")
  tail -c $((176400 - size % 4)) "$work/so-far.raw" | head -c 176400 >"$work/last-second.raw"
  heard_now=$("$probe" tones "$work/last-second.raw" 44100 2 16 | awk '{print $NF}')
  wait_for_line player "stopped" 30
  took=$((($(date +%s%N) - began) / 1000000))
  kill "$recorder"
  marker=$("$probe" marker "$work/screenshot.png" 160 120) || fail "no movie frame on screen"
  read -r second frame x y <<<"$marker"
  tones=$("$probe" tones "$work/heard.raw" 44100 2 16)
  echo "sound server heard seconds: $tones; at 2.5 s the screen showed second $second while" \
    "the sink played second ${heard_now:-none}; the 6 s movie ran $took ms"
  [ "$tones" = "0 1 2 3 4 5" ] || fail "heard '$tones', expected '0 1 2 3 4 5'"
  # The picture follows the clock the sound server drives: the shown second is the one the
  # sink plays (within a second: the sink's buffer and the screenshot's own time), and the
  # movie lasts about its length (the player's pause at the end and the server's start-up
  # on top, generously).
  [ -n "$heard_now" ] || fail "no tone in the sink's last second at 2.5 s"
  [ $((second - heard_now)) -ge -1 ] && [ $((second - heard_now)) -le 1 ] ||
    fail "screen at second $second, sound at second $heard_now"
  [ "$took" -ge 5500 ] && [ "$took" -le 10000 ] || fail "6 s movie took $took ms"
  "$xwin" close "$title" || fail "no window to close"
  expect_clean_exit "$pid" 15
  ;;
hidpi)
  command -v compare >/dev/null || { echo "SKIP: ImageMagick's compare is not installed"; exit 77; }
  skin=$prog/skin/xpstyle
  for scale in 1 2; do
    QT_SCALE_FACTOR=$scale "$prog/tvqplayer" >"$work/x$scale.log" 2>"$work/x$scale.err.log" &
    pid=$!
    players+=("$pid")
    wait_for_windows 1 20
    sleep 1.5  # the window manager-less server shows it at once; let the skin paint
    import -window root "$work/scale-$scale.png"
    "$xwin" close "$title" || fail "no window to close"
    expect_clean_exit "$pid" 15
    # The window on the black root: its size is the bounding box of what is not black.
    read -r w h <<<"$(convert "$work/scale-$scale.png" -trim -format '%w %h' info:)"
    eval "w$scale=$w h$scale=$h"
    convert "$work/scale-$scale.png" -trim +repage "$work/window-$scale.png"
  done
  echo "window at scale 1: ${w1}x${h1}, at scale 2: ${w2}x${h2}"
  [ $((w2 - 2 * w1)) -ge -2 ] && [ $((w2 - 2 * w1)) -le 2 ] || fail "width not doubled"
  [ $((h2 - 2 * h1)) -ge -2 ] && [ $((h2 - 2 * h1)) -le 2 ] || fail "height not doubled"
  # At scale 1 the skin's scope bitmap is on the screen pixel for pixel.
  found=$(compare -dissimilarity-threshold 1 -metric AE -subimage-search "$work/window-1.png" \
    "$skin/scope.bmp" null: 2>&1 | head -1) || true
  echo "scale 1: the scope bitmap differs in ${found% @*} pixels at its best place (${found#*@ })"
  [ "${found% @*}" = "0" ] || fail "the scope bitmap is not drawn 1:1 at scale 1"
  # At scale 2 the whole window is the scale-1 window scaled: halved again it is close to it.
  convert "$work/window-2.png" -filter box -resize "${w1}x${h1}!" "$work/window-2-halved.png"
  halved=$(compare -metric RMSE "$work/window-2-halved.png" "$work/window-1.png" null: 2>&1 |
    sed -n 's/.*(\([0-9.e-]*\)).*/\1/p') || true
  echo "scale 2 halved against scale 1: RMSE $halved"
  awk -v e="$halved" 'BEGIN { exit !(e != "" && e < 0.08) }' || fail "scale 2 is not scale 1 scaled"
  ;;
resume)
  command -v playerctl >/dev/null || { echo "SKIP: playerctl is not installed"; exit 77; }
  use_private_bus
  "$bin/tvq-make" "$work/a.tvq" --size 160x120 --fps 12 --seconds 60 >/dev/null
  start_traced_player shown1 player
  deadline=$((SECONDS + 10))
  until playerctl -p tvqplayer position 40 2>/dev/null && sleep 0.3 &&
    [ "$(last_second "$work/shown1.txt")" -ge 40 ]; do
    [ $SECONDS -lt $deadline ] || fail "the seek to 0:40 never showed second 40"
    sleep 0.2
  done
  playerctl -p tvqplayer pause
  "$xwin" close "$title" || fail "no window to close"
  expect_clean_exit "$pid" 15
  echo "kept: $(grep -F "$work/a.tvq" "$prog/resume.ini" || true)"
  start_traced_player shown2 player2
  deadline=$((SECONDS + 10))
  until grep -qv '^#' "$work/shown2.txt" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || fail "the second start showed no frame"
    sleep 0.1
  done
  first=$(grep -v '^#' "$work/shown2.txt" | head -1 | awk '{ print $2 }')
  echo "first second shown after the restart: $first"
  [ "$first" = 40 ] || fail "the restart began at second $first, not 40"
  "$xwin" close "$title" || fail "no window to close"
  expect_clean_exit "$pid" 15
  ;;
preview)
  command -v xdotool >/dev/null || { echo "SKIP: xdotool is not installed"; exit 77; }
  "$bin/tvq-make" "$work/a.tvq" --size 1280x720 --fps 25 --rate 22050 --channels 1 \
    --seconds 30 --quality 70 >/dev/null
  start_traced_player shown player
  wid=$(xdotool search --sync --name "^$title\$" | head -1)
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  # Up the middle of the window from its bottom until a preview comes up: that is the slider
  # (it lies under the video, above the list). The steps are shorter than the slider is high;
  # the preview may come one step late, so the mouse goes back half a step.
  slider_y=
  for ((y = Y + HEIGHT - 4; y > Y; y -= 6)); do
    xdotool mousemove $((X + WIDTH / 2)) $y
    sleep 0.04
    if grep -q '^preview ' "$work/player.log"; then slider_y=$((y + 3)); break; fi
  done
  [ -n "$slider_y" ] || fail "no preview anywhere down the window"
  echo "slider found at y $slider_y (window $X,$Y ${WIDTH}x$HEIGHT)"
  wait_second() { # second
    local deadline=$((SECONDS + 30))
    until [ "$(last_second "$work/shown.txt")" -ge "$1" ]; do
      [ $SECONDS -lt $deadline ] || fail "second $1 never shown"
      sleep 0.1
    done
  }
  # To and fro along a line of the window, about as often as a mouse reports, 12 px a move.
  # One xdotool per pass: a process per move would make the sweep as slow as a busy machine
  # starts processes, and the mouse would cover only a few seconds of the slider.
  sweep() { # y
    local there=() back=() x
    for ((x = X + 20; x < X + WIDTH - 20; x += 12)); do there+=(mousemove $x "$1" sleep 0.01); done
    for ((x = X + WIDTH - 20; x > X + 20; x -= 12)); do back+=(mousemove $x "$1" sleep 0.01); done
    while :; do
      xdotool "${there[@]}" "${back[@]}" &
      echo $! >"$work/sweep.pid"
      wait $!
    done
  }
  stop_sweep() {
    kill "$sweeper"
    kill "$(cat "$work/sweep.pid")" 2>/dev/null || true
  }
  # The same sweep over the picture first, so that what the moving mouse costs the machine
  # (the X server, xdotool) is in both measurements and only the preview differs.
  sweep $((slider_y - 200)) &
  sweeper=$!
  players+=("$sweeper")
  base=$(($(last_second "$work/shown.txt") + 1))
  wait_second $((base + 4))
  stop_sweep
  before=$(grep -c '^preview ' "$work/player.log")
  sweep "$slider_y" &
  sweeper=$!
  players+=("$sweeper")
  wait_second $((base + 9))
  # After the measured seconds: the screenshot holds the X server for a moment.
  import -window root "$work/preview.png"
  stop_sweep
  previews=$(($(grep -c '^preview ' "$work/player.log") - before))
  echo "previews while sweeping the slider: $previews"
  [ "$previews" -ge 10 ] || fail "only $previews previews while the mouse swept the slider"
  # The previews' decoding gives way to playback: its thread runs ten nice steps down.
  ps -L -o nice= -p "$pid" | grep -qx ' *10' || fail "no player thread at nice 10 for the previews"
  "$xwin" close "$title" || fail "no window to close"
  expect_clean_exit "$pid" 15
  # Seconds [base, base + 4) over the picture, [base + 5, base + 9) over the slider (the
  # second of the change left out): median and 95th percentile of the A/V offset in ms, frames
  # skipped, frames shown.
  python3 - "$work/shown.txt" "$base" >"$work/figures.log" <<'PY' || fail "no figures"
import statistics, sys
fps, last, windows = 25, None, {"picture": ([], [0]), "slider": ([], [0])}
base = int(sys.argv[2])
for line in open(sys.argv[1]):
    p = line.split()
    if p[:2] == ["#", "fps"]:
        fps = int(p[2])
    if not p or p[0] == "#" or len(p) != 4:
        continue
    second, index, heard = int(p[1]), int(p[2]), int(p[3])
    label = second * fps + index
    name = ("picture" if base <= second < base + 4 else
            "slider" if base + 5 <= second < base + 9 else None)
    if name:
        windows[name][0].append(heard - (second * 1000 + index * 1000 / fps))
        if last is not None and label > last + 1:
            windows[name][1][0] += label - last - 1
    last = label
for name, (offsets, skipped) in windows.items():
    late = sorted(offsets)[int(0.95 * (len(offsets) - 1))]
    print(name, round(statistics.median(offsets)), round(late), skipped[0], len(offsets))
PY
  cat "$work/figures.log"
  read -r _ base_median base_late base_skipped base_frames < <(grep '^picture ' "$work/figures.log")
  read -r _ median late skipped frames < <(grep '^slider ' "$work/figures.log")
  # The previews may cost half a frame period (20 ms) of the median offset, a frame period of
  # the late tail, and a few frames more skipped than over the picture. Only worse counts: on a
  # busy machine the seconds over the picture can be the bad ones (CI once saw 67 ms there and
  # 19 over the slider).
  [ $((${median#-} - ${base_median#-})) -le 20 ] ||
    fail "median offset $base_median ms over the picture, $median over the slider"
  [ $((late - base_late)) -le 40 ] || fail "95th percentile $base_late ms over the picture, $late over the slider"
  [ "$skipped" -le $((base_skipped + 5)) ] ||
    fail "$skipped frames skipped over the slider, $base_skipped over the picture"
  ;;
*)
  echo "unknown scenario $scenario"
  exit 2
  ;;
esac
echo "PASS: $scenario"
