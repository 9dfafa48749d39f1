#!/usr/bin/env bash
# Many copies of the real player under Xvfb, and a copy that dies inside its start-up:
#   run-e2e-copies.sh SCENARIO BIN_DIR XWIN HOLDLOCK ARTIFACTS_DIR
# SCENARIO:
#   hundred     100 copies started at once, each with its own file: exactly one window stays,
#               with 100 rows, every file once; the other 99 end cleanly and show nothing.
#   killedlock  a process holding the start-up lock is killed with SIGKILL: the copy that was
#               waiting for the lock starts, plays its file, and takes a later copy's file.
# Each run has its own program folder, XDG_RUNTIME_DIR and HOME, and the disk sound driver;
# the player's playlist trace (TVQ_TRACE=1) tells which rows it has.
set -euo pipefail

if [ "${1:-}" != "--inside" ]; then
  command -v xvfb-run >/dev/null || { echo "SKIP: xvfb-run is not installed"; exit 77; }
  exec xvfb-run -a -s "-screen 0 1280x800x24" bash "$0" --inside "$@"
fi
shift
export QT_QPA_PLATFORM=xcb
scenario=$1 bin=$2 xwin=$3 holdlock=$4 artifacts=$5/copies-$1

e2e_name=copies
source "$(dirname "$0")/e2e-lib.sh"

movie() { # path seconds
  "$bin/tvq-make" "$1" --size 32x24 --fps 4 --rate 8000 --channels 1 --bits 16 --seconds "$2" \
    >/dev/null
}
case $scenario in
hundred)
  copies=100
  movie "$work/m.tvq" 2
  names=()
  for i in $(seq -w 0 $((copies - 1))); do
    cp "$work/m.tvq" "$work/movie-$i.tvq"
    names+=("$work/movie-$i.tvq")
  done
  begin=$SECONDS
  pids=()
  for i in "${!names[@]}"; do
    start_player "copy-$i" "${names[$i]}"
    pids+=("$started")
  done
  deadline=$((SECONDS + 120))
  while :; do
    running=0
    for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && running=$((running + 1)); done
    [ "$running" -le 1 ] && break
    [ $SECONDS -lt $deadline ] || fail "$running copies still run after 120 s"
    sleep 0.2
  done
  survivor=
  for i in "${!pids[@]}"; do
    if kill -0 "${pids[$i]}" 2>/dev/null; then
      [ -z "$survivor" ] || fail "two copies kept running"
      survivor=$i
    else
      expect_clean_exit "${pids[$i]}" 1
      [ ! -s "$work/copy-$i.log" ] || fail "copy $i made a playlist of its own"
    fi
  done
  [ -n "$survivor" ] || fail "no copy kept running"
  log=copy-$survivor
  # The last hand-over may still be on its way when its sender has ended.
  for name in "${names[@]}"; do wait_for_line "$log" "added $name" 10; done
  elapsed=$((SECONDS - begin))
  wait_for_windows 1 5
  rows=$(grep -c '^added ' "$work/$log.log")
  distinct=$(grep '^added ' "$work/$log.log" | sort -u | wc -l)
  [ "$rows" -eq "$copies" ] || fail "$rows rows, expected $copies"
  [ "$distinct" -eq "$copies" ] || fail "$distinct distinct rows among $rows"
  echo "$copies copies: copy $survivor kept the only window with $rows rows after $elapsed s"
  "$xwin" close "$title" || fail "no window to close"
  expect_clean_exit "${pids[$survivor]}" 15
  ;;
killedlock)
  movie "$work/a.tvq" 6
  movie "$work/b.tvq" 2
  "$holdlock" >"$work/holder.log" 2>&1 &
  holder=$!
  players+=("$holder")
  wait_for_line holder held 10
  start_player first "$work/a.tvq"
  first=$started
  # While the lock is held the copy waits in its start-up: no window, no playlist.
  deadline=$((SECONDS + 2))
  while [ $SECONDS -lt $deadline ]; do
    kill -0 "$first" 2>/dev/null || fail "the waiting copy ended"
    [ ! -s "$work/first.log" ] || fail "the copy started while another held the lock"
    sleep 0.2
  done
  [ "$("$xwin" count "$title")" = 0 ] || fail "a window appeared while the lock was held"
  kill -KILL "$holder"
  wait "$holder" 2>/dev/null || true
  wait_for_line first "playing $work/a.tvq" 20
  wait_for_windows 1 10
  echo "the waiting copy started after the holder of the lock was killed"
  # The lock works as before: a later copy hands its file over and ends.
  start_player second "$work/b.tvq"
  second=$started
  expect_clean_exit "$second" 15
  wait_for_line first "added $work/b.tvq" 10
  wait_for_windows 1 2
  "$xwin" close "$title" || fail "no window to close"
  expect_clean_exit "$first" 15
  ;;
*)
  echo "unknown scenario $scenario"
  exit 2
  ;;
esac
echo "PASS: $scenario"
