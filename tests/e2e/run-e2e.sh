#!/usr/bin/env bash
# One end-to-end scenario of the real player under Xvfb:
#   run-e2e.sh SCENARIO BIN_DIR PROBE XWIN ARTIFACTS_DIR
# SCENARIO: play | handover | concurrent | close
#
# Each run gets its own program folder (a copy of BIN_DIR's program, decoder, language file
# and skins, with repeat switched off in settings.ini), its own XDG_RUNTIME_DIR and HOME, and
# the SDL disk sound driver; movies are made with tvq-make. The player prints its playlist's
# changes (TVQ_TRACE=1), which is how the script follows it. What a run saw stays in
# ARTIFACTS_DIR/SCENARIO (screenshot, logs, sound file).
set -euo pipefail

if [ "${1:-}" != "--inside" ]; then
  for tool in xvfb-run import; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  exec xvfb-run -a -s "-screen 0 1280x800x24" bash "$0" --inside "$@"
fi
shift
# The test command runs widget tests offscreen; this one needs the real X server.
export QT_QPA_PLATFORM=xcb
scenario=$1 bin=$2 probe=$3 xwin=$4 artifacts=$5/$1

e2e_name=e2e
source "$(dirname "$0")/e2e-lib.sh"

case $scenario in
play)
  movie m.tvq 8
  start_player first "$work/m.tvq"
  pid=$started
  wait_for_line first "playing $work/m.tvq" 20
  # Selecting the started entry restarts it after the pause between files: look a few times.
  find_frame 160 120 6 0.7
  read -r second frame x y <<<"$marker"
  echo "screen shows second $second frame $frame at ($x, $y)"
  [ "$second" -ge 0 ] && [ "$second" -le 7 ] || fail "unexpected second $second on screen"
  wait_for_line first "stopped" 30
  "$xwin" close "$title" || fail "no window to close"
  expect_clean_exit "$pid" 15
  tones=$("$probe" tones "$work/audio.raw" 44100 2 16)
  echo "heard seconds: $tones"
  [ "$tones" = "0 1 2 3 4 5 6 7" ] || fail "heard '$tones', expected '0 1 2 3 4 5 6 7'"
  ;;
handover)
  movie a.tvq 20
  movie b.tvq 3
  start_player first "$work/a.tvq"
  first=$started
  wait_for_line first "playing $work/a.tvq" 20
  begin=$(date +%s%N)
  code=0
  (cd "$work" && timeout 10 "$prog/tvqplayer" b.tvq >"$work/second.log" 2>"$work/second.err.log") ||
    code=$?
  elapsed=$((($(date +%s%N) - begin) / 1000000))
  echo "second copy ended after $elapsed ms with $code"
  [ "$code" -eq 0 ] || fail "second copy exited with $code"
  [ "$elapsed" -lt 2000 ] || fail "second copy took $elapsed ms"
  [ ! -s "$work/second.log" ] || fail "second copy made a playlist of its own"
  wait_for_line first "added $work/b.tvq" 5
  wait_for_windows 1 2
  "$xwin" close "$title"
  expect_clean_exit "$first" 15
  ;;
concurrent)
  movie a.tvq 20
  movie b.tvq 20
  start_player one "$work/a.tvq"
  one=$started
  start_player two "$work/b.tvq"
  two=$started
  deadline=$((SECONDS + 20))
  while kill -0 "$one" 2>/dev/null && kill -0 "$two" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || fail "both copies still run after 20 s"
    sleep 0.1
  done
  if kill -0 "$one" 2>/dev/null; then survivor=one ended=$two; else survivor=two ended=$one; fi
  expect_clean_exit "$ended" 1
  wait_for_line $survivor "added $work/a.tvq" 10
  wait_for_line $survivor "added $work/b.tvq" 10
  wait_for_windows 1 5
  echo "copy '$survivor' kept the window and both files"
  "$xwin" close "$title"
  expect_clean_exit "${!survivor}" 15
  ;;
close)
  # The close box while a file plays: playback stops and the program ends cleanly.
  movie m.tvq 20
  start_player first "$work/m.tvq"
  pid=$started
  wait_for_line first "playing $work/m.tvq" 20
  sleep 1
  "$xwin" close "$title" || fail "no window to close"
  expect_clean_exit "$pid" 10
  # Without a file, and ended by SIGTERM (a session logout) instead of the close box.
  start_player idle
  pid=$started
  wait_for_windows 1 20
  kill -TERM "$pid"
  expect_clean_exit "$pid" 10
  ;;
*)
  echo "unknown scenario $scenario"
  exit 2
  ;;
esac
echo "PASS: $scenario"
