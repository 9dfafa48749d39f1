#!/usr/bin/env bash
# Conversion speed of tvq-convert on H.264/AAC sources that ffmpeg makes (a moving test picture
# with camera-like noise, so that neither the decoder nor the JPEG coder has it easy).
#   bench/convert/convert-speed.sh BIN_DIR [--seconds N] [--sizes "1280x720 ..."] [--noise 0-100]
# Prints, per size: wall time, CPU time (user+sys), speed as a multiple of real time, and the
# movie's size. The target is >= 2x real time at 1280x720/25 on a 2-core machine.
set -euo pipefail
bin=${1:?usage: convert-speed.sh BIN_DIR [--seconds N] [--sizes "WxH ..."]}
shift
seconds=30
sizes="320x240 1280x720 1920x1080"
noise=12  # ffmpeg's noise filter strength; 0 gives clean synthetic pictures that code cheaply
while [ $# -gt 0 ]; do
  case $1 in
  --seconds) seconds=$2; shift 2 ;;
  --sizes) sizes=$2; shift 2 ;;
  --noise) noise=$2; shift 2 ;;
  *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
command -v ffmpeg >/dev/null || { echo "ffmpeg is not installed" >&2; exit 2; }
work=$(mktemp -d /tmp/tvq-convert-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores, noise $noise"
printf '%-10s %6s %8s %8s %10s %10s\n' size fps wall_s cpu_s x_realtime movie_MiB
for size in $sizes; do
  src=$work/src-$size.mp4
  ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc2=size=$size:rate=25,noise=alls=$noise:allf=t" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100" -t "$seconds" \
    -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p -c:a aac -ac 2 "$src"
  out=$work/out.tvq
  /usr/bin/time -f '%e %U %S' -o "$work/time" "$bin/tvq-convert" "$src" "$out" >/dev/null
  read -r wall user sys <"$work/time"
  awk -v s="$size" -v w="$wall" -v u="$user" -v y="$sys" -v d="$seconds" \
    -v b="$(stat -c %s "$out")" \
    'BEGIN { printf "%-10s %6d %8.2f %8.2f %10.2f %10.1f\n", s, 25, w, u + y, d / w, b / 1048576 }'
  rm -f "$out" "$src"
done
