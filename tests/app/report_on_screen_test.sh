#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The general error report over a show, as a person sees it, in the real
# program under a private X server, without a window manager or under
# openbox. A looping show of a photo, a file that is not a JPEG and the photo
# again reports the broken file at its tick. The report's window is found by
# its caption, the screen is taken and the report's rectangle cut out of it:
# report_box_check requires the error icon, dark text on the light box and the
# OK button in their places, and the same pixels as the report drawn by the
# helper off screen (see report_box_check.cpp); again after the report's window
# is unmapped and mapped. Before all that, the check is seen to refuse a black
# and a blank rectangle of the report's size. A click on OK closes the report,
# and Esc then ends the show and the program with 0.
#
# The screen is cut with ImageMagick's import, which reads the screen. Not
# with `xwd -id`: xwd reads each window through the lowest window of the
# same visual and colours under it, here the settings window hidden under the
# show, and the X server gives hidden pixels as black: a report painted in full
# comes out as a black rectangle.
#
#   report_on_screen_test.sh none|openbox <kalvio> <report_box_check> <tests/data folder>
set -euo pipefail

wm=$1
source "$(dirname "$0")/kalvio_session.sh"
require_tools convert xprop xwininfo
[ "$wm" = none ] || require_tools "$wm"
under_private_x 1024x768x24 "$0" "$@"

kalvio=$(realpath "$2")
check=$(realpath "$3")
data=$(realpath "$4")
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/show"
cp "$data/on-screen/picos_640x400.jpg" "$work/show/a.jpg"
echo "<html>not a picture</html>" > "$work/show/b.jpg"
cp "$data/on-screen/picos_640x400.jpg" "$work/show/c.jpg"
private_session "$work"
export LANG=C.UTF-8
unset LC_ALL LC_MESSAGES LANGUAGE

fail() {
  echo "FAIL: $*"
  import -window root "$work/failure.png" 2>/dev/null \
    && cp "$work/failure.png" "${KALVIO_REPORT_SHOTS:-/tmp}/kalvio-report-$wm-failure.png" || true
  exit 1
}

if [ "$wm" = openbox ]; then
  # Its settings and cache in the test's folder; managing once it announces itself.
  XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" openbox --sm-disable &
  wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
  wait_for $hang_s wm_up || fail "openbox did not start"
fi

# The check refuses what the report looked like when it was called unreadable
# (black) and a blank box of its colour: it can fail.
read -r box_w box_h < <("$check" "$work/show/b.jpg" --size)
for colour in black '#efefef'; do
  convert -size "${box_w}x${box_h}" "xc:$colour" "$work/blank.png"
  if "$check" "$work/show/b.jpg" "$work/blank.png" > "$work/blank.txt"; then
    cat "$work/blank.txt"; fail "the check passes a rectangle of $colour"
  fi
done

"$kalvio" & pid=$!
wait_for $hang_s has_window $pid || fail "the settings window did not appear"
settings=$(settings_window $pid)
[ -n "$settings" ] || fail "no window captioned Kalvio"
choose_picture_folder $pid "$settings" "$work/show" || fail "the folder was not chosen"
click_at "$settings" 28 200   # loop on
press_play "$settings"

# The report: captioned with the program's name, and standing over the show
# (transient for it). The show is captioned the same by Qt, but stands on its
# own; the settings window is "Kalvio".
report_window() {
  local w
  for w in $(visible_windows $pid); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" = kalvio ] || continue
    xprop -id "$w" WM_TRANSIENT_FOR 2>/dev/null | grep -q 'window id' && { echo "$w"; return 0; }
  done
  return 1
}
report_up() { report=$(report_window); }
wait_for $hang_s report_up || fail "the broken picture was not reported"
slide=$(visible_windows $pid | grep -vx -e "$settings" -e "$report" | head -1)
[ -n "$slide" ] || fail "no show window under the report"

# The report's rectangle on the screen, once it reads as the report drawn.
geometry() { xwininfo -id "$report" | awk -F: '/Absolute upper-left X/ { x = $2 } /Absolute upper-left Y/ { y = $2 }
  /Width/ { w = $2 } /Height/ { h = $2 } END { printf "%dx%d+%d+%d\n", w, h, x, y }'; }
readable() {
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "$(geometry)" +repage "$work/report.png"
  "$check" "$work/show/b.jpg" "$work/report.png" "$work/reference.png" > "$work/check.txt"
}
if ! wait_for $hang_s readable; then
  cat "$work/check.txt"
  cp "$work/report.png" "${KALVIO_REPORT_SHOTS:-/tmp}/kalvio-report-$wm-box.png" 2>/dev/null || true
  fail "the report on the screen is not the report drawn (geometry $(geometry))"
fi
cat "$work/check.txt"
cp "$work/screen.png" "$work/report.png" "$work/reference.png" "${KALVIO_REPORT_SHOTS:-$work}/" 2>/dev/null || true

# Taken off the screen and put back, it is drawn again.
xdotool windowunmap --sync "$report"
xdotool windowmap --sync "$report"
wait_for $hang_s readable || { cat "$work/check.txt"; fail "the report put back on the screen is not the report drawn"; }
echo "put back on the screen, the report reads the same"

# OK, clicked at the middle of the button, closes the report.
read -r bx by < <(grep -m1 '^button-centre:' "$work/check.txt" | cut -d' ' -f2-)
xdotool mousemove --window "$report" "$bx" "$by" click 1
report_gone() { ! report_window >/dev/null; }
wait_for $hang_s report_gone || fail "a click on OK did not close the report"
kill -0 $pid 2>/dev/null || fail "the program ended with the report"

focus_window "$slide" || fail "the show did not take the keyboard back"
xdotool key Escape
wait_for $hang_s exited $pid || fail "the program did not end after Esc"
set +e; wait $pid; rc=$?; set -e
[ $rc -eq 0 ] || fail "the program exited with $rc"
echo "report on screen ($wm): icon, text and OK button as drawn; OK closed it; Esc ended the program with 0"
