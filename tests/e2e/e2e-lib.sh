# Shared by the end-to-end scripts that run inside Xvfb (sourced after their --inside re-exec).
# The caller sets `bin` (the build's bin folder), `artifacts` and `e2e_name`; this gives it a
# scratch folder `work` with a private copy of the program in `prog` (its own settings, no
# repeat), its own XDG_RUNTIME_DIR and HOME, the disk sound driver and the playlist trace, and
# the helpers below. Players started into `players` are killed at exit. A script with other
# needs defines its own `movie` or `start_player` after sourcing this.
title="TVQ Player"
work=$(mktemp -d "/tmp/tvq-$e2e_name-XXXXXX")
players=()
cleanup() {
  for pid in "${players[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
  mkdir -p "$artifacts"
  cp -f "$work"/*.log "$work"/*.png "$prog"/*.txt "$artifacts"/ 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  for f in "$work"/*.log "$prog"/*.txt; do [ -s "$f" ] && { echo "--- $f"; tail -20 "$f"; }; done
  exit 1
}

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/player-setup.sh"
prog=$work/bin
make_program_folder "$bin" "$prog"
use_private_session "$work"
export XDG_CONFIG_HOME=$work/home/.config
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work/audio.raw
export TVQ_TRACE=1 TVQ_LANGID=1033

wait_for_line() { # log text seconds
  local deadline=$((SECONDS + $3))
  while [ $SECONDS -lt $deadline ]; do
    grep -qxF "$2" "$work/$1.log" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "no line '$2' in $1.log within $3 s"
}
wait_for_windows() { # count seconds
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -lt $deadline ]; do
    [ "$("$xwin" count "$title")" = "$1" ] && return 0
    sleep 0.1
  done
  fail "not $1 window(s) titled '$title' within $2 s"
}
expect_clean_exit() { # pid seconds
  local deadline=$((SECONDS + $2))
  while kill -0 "$1" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || fail "player $1 still running after $2 s"
    sleep 0.1
  done
  local code=0
  wait "$1" || code=$?
  [ "$code" -eq 0 ] || fail "player $1 exited with $code"
}

# Looks a few times, `pause` seconds apart, for a frame of a WIDTHxHEIGHT movie drawn 1:1 on
# the screen; sets `marker` to "second frame x y".
find_frame() { # width height tries pause
  local attempt
  marker=
  for attempt in $(seq "$3"); do
    sleep "$4"
    import -window root "$work/screenshot.png"
    marker=$("$probe" marker "$work/screenshot.png" "$1" "$2") && return 0
  done
  fail "no ${1}x$2 movie frame on screen"
}

# The usual test movie: 160x120 at 12 fps with 22050 Hz mono sound, one tone per second.
movie() { # name seconds
  "$bin/tvq-make" "$work/$1" --size 160x120 --fps 12 --rate 22050 --channels 1 --bits 16 \
    --seconds "$2" >/dev/null
}
# Starts a copy in the background; its pid goes to $started.
start_player() { # log [file]
  local log=$1
  shift
  "$prog/tvqplayer" "$@" >"$work/$log.log" 2>"$work/$log.err.log" &
  started=$!
  players+=("$started")
}
