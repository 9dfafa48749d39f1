#!/usr/bin/env bash
# A video file as a user has one (H.264 and AAC in MP4, made by ffmpeg) converted with
# tvq-convert and played by the real player under Xvfb:
#   run-e2e-convert.sh BIN_DIR PROBE XWIN ARTIFACTS_DIR
# Each second of the source sounds the tone that names it, so the sound file of the SDL disk
# driver tells whether every second was heard, in order.
set -euo pipefail

if [ "${1:-}" != "--inside" ]; then
  for tool in xvfb-run ffmpeg; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  exec xvfb-run -a -s "-screen 0 1280x800x24" bash "$0" --inside "$@"
fi
shift
export QT_QPA_PLATFORM=xcb
bin=$1 probe=$2 xwin=$3 artifacts=$4/convert

work=$(mktemp -d /tmp/tvq-e2e-convert-XXXXXX)
pid=
cleanup() {
  [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
  mkdir -p "$artifacts"
  cp -f "$work"/*.log "$artifacts"/ 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; for f in "$work"/*.log; do echo "--- $f"; tail -20 "$f"; done; exit 1; }

prog=$work/bin
mkdir -p "$prog"
cp "$bin/tvqplayer" "$bin/TVQ_DecDLL.so" "$prog"/
[ -f "$bin/TvqPlayer.ini" ] && cp "$bin/TvqPlayer.ini" "$prog"/
[ -d "$bin/skin" ] && cp -r "$bin/skin" "$prog"/
printf '[PlayerSetup]\nrepeat=FALSE\nadjust=TRUE\nbmpdir=0\nSkin=0\n' > "$prog/settings.ini"
mkdir -m 700 "$work/run" "$work/home"
export XDG_RUNTIME_DIR=$work/run HOME=$work/home
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work/audio.raw
export TVQ_TRACE=1 TVQ_LANGID=1033

# Second s sounds 250 + 6 s Hz; whole cycles per second, so each second starts at phase 0.
ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=176x144:rate=15 \
  -f lavfi -i "aevalsrc=0.5*sin(2*PI*(250+6*floor(t))*t):s=44100:c=stereo" -t 4 \
  -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 160k "$work/clip.mp4" \
  >"$work/ffmpeg.log" 2>&1 || fail "ffmpeg could not make the clip"
"$bin/tvq-convert" "$work/clip.mp4" "$work/clip.tvq" --rate 22050 >"$work/convert.log" 2>&1 ||
  fail "tvq-convert failed"
cat "$work/convert.log"

"$prog/tvqplayer" "$work/clip.tvq" >"$work/player.log" 2>"$work/player.err.log" &
pid=$!
deadline=$((SECONDS + 40))
until grep -qxF "stopped" "$work/player.log" 2>/dev/null; do
  [ $SECONDS -lt $deadline ] || fail "the converted clip did not play to its end"
  kill -0 "$pid" 2>/dev/null || fail "the player ended early"
  sleep 0.2
done
grep -qxF "playing $work/clip.tvq" "$work/player.log" || fail "the clip was never played"
"$xwin" close "TVQ Player" || fail "no window to close"
deadline=$((SECONDS + 15))
while kill -0 "$pid" 2>/dev/null; do
  [ $SECONDS -lt $deadline ] || fail "player still running 15 s after its window was closed"
  sleep 0.1
done
code=0
wait "$pid" || code=$?
pid=
[ "$code" -eq 0 ] || fail "player exited with $code"
tones=$("$probe" tones "$work/audio.raw" 44100 2 16)
echo "heard seconds: $tones"
[ "$tones" = "0 1 2 3" ] || fail "heard '$tones', expected '0 1 2 3'"
echo "PASS: convert"
