#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Pictures on screen in the real program. For each case a show of one
# picture (looping) runs under a private X server of the case's size and scale factor,
# and the screen is taken once it shows the picture. Two checks:
#
#   exact:   the screen equals LoadPictureRendition(file, W, H) pixel for
#            pixel (the picture the show makes goes to the screen unchanged);
#   quality: the screen against ImageMagick's
#            `convert FILE -auto-orient -resize WxH!` at 48 dB PSNR or more.
#
#   on_screen_test.sh shoot <kalvio> <rendition_png> <pictures folder> <shots folder>
#   on_screen_test.sh exact|quality <shots folder>
set -euo pipefail

here=$(dirname "$(realpath "$0")")
source "$here/kalvio_session.sh"

# name, picture, screen, scale factor
cases=(
  "reduction dragonfly_4224x2376.jpg 1920x1080 1"
  "enlargement picos_640x400.jpg 1920x1080 1"
  "orientation landscape_orientation6.jpg 1920x1080 1"
  "scale2 dragonfly_4224x2376.jpg 3840x2160 2"
)
min_psnr=48

# measure <metric> <a> <b>: ImageMagick's figure for the pair.
measure() { compare -metric "$1" "$2" "$3" null: 2>&1 | cut -d' ' -f1 || true; }

# show_one <kalvio> <picture> <scale> <picture as made.png> <shot.png>: under
# the private X server.
show_one() {
  local kalvio=$1 picture=$2 scale=$3 made=$4 out=$5 work pid settings
  work=$(mktemp -d)
  mkdir -p "$work/pictures"
  cp "$picture" "$work/pictures/"
  private_session "$work"
  export QT_SCALE_FACTOR=$scale KALVIO_SCALE=$scale
  trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' RETURN
  "$kalvio" & pid=$!
  wait_for $hang_s has_window $pid || { echo "FAIL: the settings window did not appear"; return 1; }
  settings=$(settings_window $pid)
  choose_picture_folder $pid "$settings" "$work/pictures" || { echo "FAIL: no picture folder"; return 1; }
  # Looping, the show brings the same picture again at every tick (a
  # transition that changes nothing) until Esc: once its first transition is
  # over the screen holds the picture for good.
  click_at "$settings" 30 200
  press_play "$settings"
  # The screen is taken when it shows the picture as made. Should it never
  # come, the last screen is kept all the same: the checks then say how far
  # from the picture it was.
  local now="$work/now.png"
  shows_the_picture() { import -window root "$now"; [ "$(measure AE "$made" "$now")" = 0 ]; }
  wait_for $hang_s shows_the_picture || echo "the screen did not show the picture as made within $hang_s s"
  cp "$now" "$out"
  xdotool key Escape
  wait_for $hang_s exited $pid || true
}

shoot() {
  local kalvio=$1 helper=$2 pictures=$3 shots=$4 name picture screen scale w h
  mkdir -p "$shots"
  rm -f "$shots"/*.png
  for c in "${cases[@]}"; do
    read -r name picture screen scale <<< "$c"
    w=${screen%x*}; h=${screen#*x}
    echo "== $name: $picture on a $screen screen at scale factor $scale"
    "$helper" "$pictures/$picture" "$w" "$h" "$shots/$name-exact.png"
    KALVIO_SCREEN_CASE=1 "$here/../support/private-x" "${screen}x24" \
      "$0" show-one "$kalvio" "$pictures/$picture" "$scale" "$shots/$name-exact.png" "$shots/$name.png" || exit 1
    convert "$pictures/$picture" -auto-orient -resize "${w}x${h}!" "$shots/$name-reference.png"
  done
}

check() {
  local mode=$1 shots=$2 failed=0 name rest figure
  for c in "${cases[@]}"; do
    read -r name rest <<< "$c"
    [ -f "$shots/$name.png" ] || { echo "SKIP: no screenshots in $shots"; exit 77; }
    if [ "$mode" = exact ]; then
      figure=$(measure AE "$shots/$name.png" "$shots/$name-exact.png")
      if [ "$figure" = 0 ]; then echo "$name: the screen is the picture as made, pixel for pixel"
      else echo "FAIL: $name: $figure pixels differ from the picture as made"; failed=1; fi
    else
      figure=$(measure PSNR "$shots/$name.png" "$shots/$name-reference.png")
      if [ "$figure" = inf ] || awk "BEGIN { exit !($figure >= $min_psnr) }"; then
        echo "$name: $figure dB"
      else echo "FAIL: $name: $figure dB, below $min_psnr dB"; failed=1; fi
    fi
  done
  return $failed
}

case ${1:-} in
  shoot)
    for tool in Xvfb xdotool import compare convert; do
      command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
    done
    shoot "$(realpath "$2")" "$(realpath "$3")" "$(realpath "$4")" "$5" ;;
  show-one) show_one "$2" "$3" "$4" "$5" "$6" ;;
  exact|quality) check "$1" "$2" ;;
  *) echo "usage: $0 shoot|exact|quality ..." >&2; exit 2 ;;
esac
