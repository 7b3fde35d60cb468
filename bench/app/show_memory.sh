#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Peak resident memory (VmHWM) of the real program playing a show, driven as
# a person would under a private X server of 3840 x 2160 and of 1920 x 1080:
# a looping show of 10- to 24-megapixel photos (the shared test material),
# one of tiny files that declare 250-megapixel pictures, and one of the same
# photos already at the screen's size (the show's own share). Writes Google
# Benchmark JSON, one entry BM_ShowMemory/screen:WxH/pictures:SET each, with
# peak_rss_mb and its limit_mb.
#
#   bench/app/show_memory.sh <kalvio> <out.json> [pictures per show, default 5]
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/app/kalvio_session.sh"
photos=${KALVIO_SHARED_DATA:-$root/../shared/data}/photos

# measure <kalvio> <folder> <pictures>: under the private X server; prints the
# program's peak resident memory in kB once that many pictures have come.
measure() {
  local kalvio=$1 folder=$2 pictures=$3 work pid settings
  work=$(mktemp -d)
  private_session "$work"
  trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' RETURN
  "$kalvio" & pid=$!
  wait_for 20 has_window $pid || { echo "no settings window" >&2; return 1; }
  settings=$(settings_window $pid)
  choose_picture_folder $pid "$settings" "$folder" || { echo "no picture folder" >&2; return 1; }
  click_at "$settings" 30 200   # loop
  press_play "$settings"
  # One picture every 6 seconds from 6 seconds after Play on.
  sleep $((6 * pictures + 3))
  kill -0 $pid || { echo "the program ended early" >&2; return 1; }
  awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status"
  xdotool key Escape
  wait_for 10 exited $pid || true
}

# tiny_pictures <folder>: three 144-byte baseline JPEG files that declare
# 15811 x 15811 grey pictures (just under 250 megapixels) and hold no data.
tiny_pictures() {
  python3 - "$1" <<'PY'
import struct, sys
def segment(marker, body):
    return b"\xff" + bytes([marker]) + struct.pack(">H", len(body) + 2) + body
side = 15811
data = (b"\xff\xd8" + segment(0xDB, b"\x00" + bytes([1] * 64))
        + segment(0xC0, b"\x08" + struct.pack(">HH", side, side) + b"\x01\x01\x11\x00")
        + segment(0xC4, b"\x00" + bytes([0, 1] + [0] * 14) + b"\x00")
        + segment(0xC4, b"\x10" + bytes([0, 1] + [0] * 14) + b"\x00")
        + segment(0xDA, b"\x01\x01\x00\x00\x3f\x00") + bytes(4) + b"\xff\xd9")
for i in range(3):
    open(f"{sys.argv[1]}/declared_250mp_{i}.jpg", "wb").write(data)
PY
}

if [ "${1:-}" = measure ]; then
  measure "$2" "$3" "$4"
  exit
fi

kalvio=$(realpath "$1")
out=$2
pictures=${3:-5}
for tool in Xvfb xdotool import convert python3; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
sets=$(mktemp -d)
trap 'rm -rf "$sets"' EXIT
mkdir -p "$sets/photos" "$sets/declared-250mp"
# 24, 16, 13 and 12 megapixels.
for photo in Painting-Colors_by__herobrine7gamer.jpg seeding_by_Clements_Engelhardt.jpg Dragonfly_by_Bolly.jpg \
             ianare_phone_4032x3024.jpg; do
  [ -f "$photos/$photo" ] && ln -s "$photos/$photo" "$sets/photos/$photo"
done
tiny_pictures "$sets/declared-250mp"

entries=()
for screen in 3840x2160 1920x1080; do
  case $screen in 3840x2160) limit=250 ;; *) limit=120 ;; esac
  # The same photos already at the screen's size: what the show holds
  # besides the decoder's own working memory.
  mkdir -p "$sets/screen-sized-$screen"
  for photo in "$sets"/photos/*.jpg; do
    [ -e "$photo" ] && convert "$photo" -resize "${screen}!" -quality 90 "$sets/screen-sized-$screen/$(basename "$photo")"
  done
  for set in photos declared-250mp "screen-sized-$screen"; do
    [ -n "$(ls "$sets/$set")" ] || { echo "no $set: skipped"; continue; }
    name="BM_ShowMemory/screen:$screen/pictures:${set%-"$screen"}"
    start=$SECONDS
    kb=$(KALVIO_PRIVATE_X=1 "$root/tests/support/private-x" "${screen}x24" "$0" measure "$kalvio" "$sets/$set" "$pictures") \
      || { echo "$name: failed"; continue; }
    mb=$(awk "BEGIN { printf \"%.1f\", $kb * 1024 / 1e6 }")
    echo "$name  peak $mb MB (limit $limit MB), $((SECONDS - start)) s"
    entries+=("{\"name\": \"$name\", \"run_name\": \"$name\", \"run_type\": \"iteration\", \"iterations\": 1,
      \"real_time\": $((SECONDS - start)), \"cpu_time\": 0, \"time_unit\": \"s\",
      \"peak_rss_mb\": $mb, \"limit_mb\": $limit, \"pictures\": $pictures}")
  done
done
{
  echo '{"context": {"executable": "kalvio under Xvfb", "date": "'"$(date -Iseconds)"'"}, "benchmarks": ['
  (IFS=,; echo "${entries[*]}")
  echo ']}'
} > "$out"
