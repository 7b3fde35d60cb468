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
# Besides the committed photos, two made to be hard (fine stripes, fabric,
# text, noise in every colour; tests/support/HardPhoto.h) at a camera's
# 20 megapixels, generated into the shots folder by hard_photo and cjpeg.
#
#   on_screen_test.sh shoot <kalvio> <rendition_png> <hard_photo> <pictures folder> <shots folder>
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
  "hard_detail hard_6028x3391_422.jpg 1920x1080 1"
  "hard_detail_scale2 hard_6028x3391_444_progressive.jpg 3840x2160 2"
)
# The generated photos: file name, cjpeg's options (all at quality 95, as a camera's fine setting).
generated=(
  "hard_6028x3391_422.jpg -sample 2x1"
  "hard_6028x3391_444_progressive.jpg -sample 1x1 -progressive"
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

# make_photos <hard_photo> <folder>: the generated photos, from one picture.
make_photos() {
  local generator=$1 folder=$2 m file options
  mkdir -p "$folder"
  "$generator" 6028 3391 2 > "$folder/hard.ppm"
  for m in "${generated[@]}"; do
    read -r file options <<< "$m"
    # shellcheck disable=SC2086 # the options are words
    cjpeg -quality 95 $options -outfile "$folder/$file" "$folder/hard.ppm"
  done
  rm -f "$folder/hard.ppm"
}

shoot() {
  local kalvio=$1 helper=$2 generator=$3 pictures=$4 shots=$5 name picture screen scale w h dir
  mkdir -p "$shots"
  rm -f "$shots"/*.png
  make_photos "$generator" "$shots/generated"
  for c in "${cases[@]}"; do
    read -r name picture screen scale <<< "$c"
    w=${screen%x*}; h=${screen#*x}
    dir=$pictures
    [ -f "$dir/$picture" ] || dir=$shots/generated
    echo "== $name: $picture on a $screen screen at scale factor $scale"
    "$helper" "$dir/$picture" "$w" "$h" "$shots/$name-exact.png"
    KALVIO_SCREEN_CASE=1 "$here/../support/private-x" "${screen}x24" \
      "$0" show-one "$kalvio" "$dir/$picture" "$scale" "$shots/$name-exact.png" "$shots/$name.png" || exit 1
    convert "$dir/$picture" -auto-orient -resize "${w}x${h}!" "$shots/$name-reference.png"
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
    for tool in Xvfb xdotool import compare convert cjpeg; do
      command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
    done
    shoot "$(realpath "$2")" "$(realpath "$3")" "$(realpath "$4")" "$(realpath "$5")" "$6" ;;
  show-one) show_one "$2" "$3" "$4" "$5" "$6" ;;
  exact|quality) check "$1" "$2" ;;
  *) echo "usage: $0 shoot|exact|quality ..." >&2; exit 2 ;;
esac
