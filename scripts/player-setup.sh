# Sourced by the benchmarks and the end-to-end scripts: a private copy of the player's
# program folder, a private session (runtime folder and home) and an X server of our own.

# The player's own folder: the program, its decoder, language file and skins, and a
# settings.ini with repeat off and the picture at its own size.
make_program_folder() { # from to
  mkdir -p "$2"
  cp "$1/tvqplayer" "$1/TVQ_DecDLL.so" "$2"/
  if [ -f "$1/TvqPlayer.ini" ]; then cp "$1/TvqPlayer.ini" "$2"/; fi
  if [ -d "$1/skin" ]; then cp -r "$1/skin" "$2"/; fi
  printf '[PlayerSetup]\nrepeat=FALSE\nadjust=TRUE\nbmpdir=0\nSkin=0\n' >"$2/settings.ini"
}

# A runtime folder and home under DIR, so that the player's lock, shared block and config
# never meet the user's own.
use_private_session() { # dir
  mkdir -p "$1/home"
  mkdir -m 700 "$1/run"
  export XDG_RUNTIME_DIR=$1/run HOME=$1/home
}

# Starts an Xvfb large enough for a 1080p window on a free display, sets xpid to its pid and
# exports DISPLAY; end_run ends it. Its log goes to DIR/xvfb.log.
start_xvfb() { # dir
  Xvfb -displayfd 3 -screen 0 2560x1600x24 -nolisten tcp 3>"$1/display" 2>"$1/xvfb.log" &
  xpid=$!
  for _ in $(seq 50); do [ -s "$1/display" ] && break; sleep 0.1; done
  [ -s "$1/display" ] || { echo "Xvfb did not start" >&2; return 1; }
  DISPLAY=:$(cat "$1/display")
  export DISPLAY
}

# Starts a session bus of this run only (the player's media-player interface registers on it),
# exports DBUS_SESSION_BUS_ADDRESS and sets bus_pid; false without dbus-daemon.
start_private_bus() { # dir
  command -v dbus-daemon >/dev/null || return 1
  dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$1/bus.address" \
    4>"$1/bus.pid"
  bus_pid=$(cat "$1/bus.pid")
  DBUS_SESSION_BUS_ADDRESS=$(head -1 "$1/bus.address")
  export DBUS_SESSION_BUS_ADDRESS
}

# Ends a run (for a trap on EXIT): the players given are killed outright, the servers the run
# started (X, session bus, sound server: $xpid, $bus_pid, $pulse_pid) are asked to end, and the
# run's folder goes.
end_run() { # dir [player pid...]
  local dir=$1 pid
  shift
  for pid in "$@"; do [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true; done
  for pid in "${xpid:-}" "${bus_pid:-}" "${pulse_pid:-}"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  done
  rm -rf "$dir"
}
