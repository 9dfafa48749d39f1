#!/usr/bin/env bash
# The real player under Xvfb when the world changes under it:
#   run-e2e-reliability.sh SCENARIO BIN_DIR PROBE XWIN ARTIFACTS_DIR
# SCENARIO:
#   truncated  the playing movie is cut to a third (truncate -s) while it plays: that file ends
#              early and cleanly, the next file starts and its tones and frames come out.
#   deleted    the playing movie is deleted while it plays: the open file plays on to its end
#              and the next one plays. Then the next one is deleted too and sought back, which
#              opens it again (MPRIS on a private bus; left out without dbus-daemon): as for
#              any file that cannot be opened, the list ends, and the player still answers.
#   soundlost  the sound device goes away under the player. The disk driver's file may grow
#              only so far (RLIMIT_FSIZE with SIGXFSZ ignored, so writes fail as on a full
#              disk): the playing file ends with a trace entry and the next one plays when the
#              driver can write again. Then the driver's folder disappears: the next open
#              fails, that file plays on silently on the stand-in driver with a trace entry,
#              and the file after it has sound again once the folder is back.
set -euo pipefail

if [ "${1:-}" != "--inside" ]; then
  for tool in xvfb-run import; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  exec xvfb-run -a -s "-screen 0 1280x800x24" bash "$0" --inside "$@"
fi
shift
export QT_QPA_PLATFORM=xcb
scenario=$1 bin=$2 probe=$3 xwin=$4 artifacts=$5/$1

e2e_name=reliab
source "$(dirname "$0")/e2e-lib.sh"

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# The screen shows a frame of a 160x120 movie within the given seconds (looks a few times).
expect_frame_between() { # low high
  find_frame 160 120 5 0.3
  read -r second frame _ _ <<<"$marker"
  echo "screen shows second $second frame $frame"
  [ "$second" -ge "$1" ] && [ "$second" -le "$2" ] || fail "second $second on screen, not $1..$2"
}
start_player() { # files...
  "$prog/tvqplayer" "$@" >"$work/player.log" 2>"$work/player.err.log" &
  pid=$!
  players+=("$pid")
}
# Hands more files to the running copy, as a second start does.
hand_over() { # files...
  local f
  for f in "$@"; do
    (cd "$work" && timeout 10 "$prog/tvqplayer" "$f" >/dev/null 2>&1) || fail "hand-over of $f"
    wait_for_line player "added $f" 10
  done
}

case $scenario in
truncated)
  movie a.tvq 20
  movie b.tvq 3
  start_player "$work/a.tvq"
  wait_for_line player "playing $work/a.tvq" 20
  hand_over "$work/b.tvq"
  began=$(now_ms)
  sleep 2
  size=$(stat -c %s "$work/a.tvq")
  truncate -s $((size / 3)) "$work/a.tvq"
  wait_for_line player "playing $work/b.tvq" 20
  took=$(($(now_ms) - began))
  echo "the 20 s movie cut to a third at 2 s ended; the next file started after $took ms"
  # A third of the file holds about 6 seconds; the player may hold two more decoded.
  [ "$took" -lt 14000 ] || fail "the cut file played on for $took ms"
  sleep 1
  expect_frame_between 0 2
  wait_for_line player "stopped" 20
  kill -0 "$pid" 2>/dev/null || fail "the player ended on its own"
  "$xwin" close "$title" || fail "no window to close"
  expect_clean_exit "$pid" 15
  tones=$("$probe" tones "$work/audio.raw" 44100 2 16)
  echo "heard seconds: $tones"
  # The sound file holds what was played since the last device opened: the next file's three.
  [ "${tones: -5}" = "0 1 2" ] || fail "heard '$tones', expected the next file's '0 1 2' last"
  ;;
deleted)
  movie a.tvq 8
  movie b.tvq 8
  if start_private_bus "$work"; then players+=("$bus_pid"); fi
  start_player "$work/a.tvq"
  wait_for_line player "playing $work/a.tvq" 20
  hand_over "$work/b.tvq"
  sleep 2
  # The open file plays on to its end; the list goes on.
  rm "$work/a.tvq"
  wait_for_line player "playing $work/b.tvq" 20
  echo "the deleted movie played to its end and the next one started"
  sleep 1.5
  expect_frame_between 0 3
  [ "$(cat "$work/audio.raw" | wc -c)" -gt 0 ] || fail "no sound from the next file"
  tones=$("$probe" tones "$work/audio.raw" 44100 2 16)
  echo "heard from the next file so far: $tones"
  [ "${tones:0:1}" = "0" ] || fail "heard '$tones' from the next file"
  if command -v dbus-daemon >/dev/null && command -v dbus-send >/dev/null; then
    # A seek back in a deleted file opens it again (the video window only moves forward),
    # and it is gone: the error box, and the list ends, as for any file that cannot be opened.
    rm "$work/b.tvq"
    dbus-send --session --print-reply --reply-timeout=5000 \
      --dest=org.mpris.MediaPlayer2.tvqplayer /org/mpris/MediaPlayer2 \
      org.mpris.MediaPlayer2.Player.Seek int64:-30000000 >/dev/null ||
      fail "the player does not answer the seek"
    wait_for_line player "stopped" 15
    # Still answering: the bus reads the stopped state.
    state=$(dbus-send --session --print-reply --reply-timeout=2000 \
      --dest=org.mpris.MediaPlayer2.tvqplayer /org/mpris/MediaPlayer2 \
      org.freedesktop.DBus.Properties.Get string:org.mpris.MediaPlayer2.Player \
      string:PlaybackStatus | grep -o '"[A-Za-z]*"' | tail -1)
    [ "$state" = '"Stopped"' ] || fail "status $state after the list ended"
    echo "a seek back in the deleted file ended the list; the player answers $state"
  else
    echo "no dbus-daemon: the seek back in a deleted file is left out"
    wait_for_line player "stopped" 20
  fi
  "$xwin" close "$title" || fail "no window to close"
  expect_clean_exit "$pid" 15
  ;;
soundlost)
  movie a.tvq 20
  movie b.tvq 3
  movie c.tvq 4
  movie d.tvq 3
  trace=$prog/DirectSoundPlayer.txt
  # The sound file may grow to 1 MiB, about 6 s of the driver's 44100 Hz 16-bit stereo;
  # the logs stay far below. Ignored SIGXFSZ makes a longer write fail instead of ending
  # the program, and the ignored signal is inherited.
  (
    trap '' XFSZ
    ulimit -f 1024
    exec "$prog/tvqplayer" "$work/a.tvq" >"$work/player.log" 2>"$work/player.err.log"
  ) &
  pid=$!
  players+=("$pid")
  wait_for_line player "playing $work/a.tvq" 20
  began=$(now_ms)
  hand_over "$work/b.tvq"
  wait_for_line player "playing $work/b.tvq" 20
  took=$(($(now_ms) - began))
  echo "the device failed after 1 MiB of sound; the 20 s file ended after $took ms"
  [ "$took" -lt 12000 ] || fail "the file played on for $took ms without a device"
  grep -q "Sound: the device" "$trace" || fail "no trace entry for the lost device"
  echo "trace: $(grep -a "Sound: the device" "$trace" | head -1)"
  # b opened the device again, and 3 s fit.
  wait_for_line player "stopped" 20
  tones=$("$probe" tones "$work/audio.raw" 44100 2 16)
  echo "after the loss the next file played seconds: $tones"
  [ "$tones" = "0 1 2" ] || fail "heard '$tones', expected '0 1 2'"
  kill -0 "$pid" 2>/dev/null || fail "the player ended"

  # The driver's folder is gone when c opens: c plays silently, on the stand-in driver.
  mkdir "$work/sound"
  export SDL_DISKAUDIOFILE=$work/sound/audio.raw
  "$xwin" close "$title" || fail "no window to close"
  expect_clean_exit "$pid" 15
  mv "$work/player.log" "$work/first.log"
  mv "$work/player.err.log" "$work/first.err.log"
  rmdir "$work/sound"
  start_player "$work/c.tvq"
  wait_for_line player "playing $work/c.tvq" 20
  began=$(now_ms)
  hand_over "$work/d.tvq"
  grep -q "playing on the dummy driver" "$work/player.err.log" ||
    fail "no word of the stand-in driver on stderr"
  grep -aq "Sound: no sound device" "$trace" || fail "no trace entry for the missing device"
  echo "stderr: $(grep "dummy driver" "$work/player.err.log" | head -1)"
  sleep 1.5
  expect_frame_between 0 3
  mkdir "$work/sound"  # back before d opens
  wait_for_line player "playing $work/d.tvq" 20
  took=$(($(now_ms) - began))
  echo "the 4 s file played silently for $took ms"
  [ "$took" -ge 3000 ] || fail "the silent file ended after $took ms"
  wait_for_line player "stopped" 20
  tones=$("$probe" tones "$work/sound/audio.raw" 44100 2 16)
  echo "with the device back the last file played seconds: $tones"
  [ "$tones" = "0 1 2" ] || fail "heard '$tones', expected '0 1 2'"
  "$xwin" close "$title" || fail "no window to close"
  expect_clean_exit "$pid" 15
  ;;
*)
  echo "unknown scenario $scenario"
  exit 2
  ;;
esac
echo "PASS: $scenario"
