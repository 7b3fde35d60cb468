#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end run of the real program under a private X server: start it, see a
# second copy refused, choose a folder through the folder dialog (titled in
# Chinese under an English locale), play it with
# music and loop on, and leave the error reports of a broken track and a broken
# picture unanswered, as at an unattended show: the music moves on to its next
# track and the pictures come on time behind them. One report is answered, and
# Esc with the other still open ends the program with exit code 0.
#
#   e2e_test.sh <kalvio executable> <tests/data folder>
set -euo pipefail

for tool in convert sox; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
source "$(dirname "$0")/kalvio_session.sh"
under_private_x 1024x768x24 "$0" "$@"

kalvio=$(realpath "$1")
data=$(realpath "$2")
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/show/more"
# The show, in scan order: pictures a (green), b (not a JPEG), c (red), more/d
# (blue); music a.wav (1.4 s), b.mp3 (random bytes), c.mp3.
convert -size 160x120 xc:'#00c000' "$work/show/a.jpg"
echo "<html>not a picture</html>" > "$work/show/b.jpg"
convert -size 160x120 xc:'#ff0000' "$work/show/c.jpg"
convert -size 160x120 xc:'#0000ff' "$work/show/more/d.jpg"
sox -n -r 22050 -c 1 "$work/show/a.wav" synth 1.4 sine 440
LC_ALL=C awk 'BEGIN { srand(13); for (i = 0; i < 16384; i++) printf "%c", int(rand() * 256) }' > "$work/show/b.mp3"
cp "$data/audio/fc.mp3" "$work/show/c.mp3"
private_session "$work"
export LANG=C.UTF-8
unset LC_ALL LC_MESSAGES LANGUAGE

fail() { echo "FAIL: $*"; import -window root "$work/failure.png" 2>/dev/null && cp "$work/failure.png" "${KALVIO_E2E_SHOTS:-/tmp}/kalvio-e2e-failure.png" || true; exit 1; }

shot() { import -window root "$work/$1.png"; }
# Number of pixels that differ clearly between two screenshots.
differing() { compare -metric AE -fuzz 10% "$work/$1.png" "$work/$2.png" null: 2>&1 | cut -d' ' -f1; }

"$kalvio" & first=$!
wait_for 20 has_window $first || fail "the settings window did not appear"
settings=$(settings_window $first)
[ -n "$settings" ] || fail "no window captioned Kalvio"

# A second copy shows its notice, exits with 0 and leaves the first alone.
"$kalvio" & second=$!
wait_for 20 has_window $second || fail "the second copy showed nothing"
box=$(visible_windows $second | head -1)
xdotool windowfocus --sync "$box" 2>/dev/null || true
xdotool key Return
wait_for 10 exited $second || fail "the second copy did not exit"
set +e; wait $second; rc=$?; set -e
[ $rc -eq 0 ] || fail "the second copy exited with $rc"
kill -0 $first || fail "the first copy ended"

# Choose the folder through the folder dialog; the music folder follows it.
click_at "$settings" 550 44
dialog_up() { windows_at_least $first 2; }
wait_for 15 dialog_up || fail "the folder dialog did not open"
dialog=$(visible_windows $first | grep -vx "$settings" | head -1)
title=$(xdotool getwindowname "$dialog")
[ "$title" = "查找目录" ] || fail "the folder dialog is titled '$title', not in Chinese"
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
sleep 0.5
xdotool key ctrl+a
xdotool type --delay 10 "$work/show"
dialog_gone() { ! dialog_up; }
for attempt in 1 2 3; do
  sleep 0.5
  xdotool key Return    # the first may only take a completion
  wait_for 2 dialog_gone && break
done
dialog_gone || fail "the folder dialog did not accept the folder"
click_at "$settings" 30 161   # music on
click_at "$settings" 28 200   # loop on

# Play; the slideshow window covers the screen with the preparing panel.
shot before-play
press_play "$settings"
slideshow_up() { shot preparing; [ "$(differing before-play preparing)" -gt 100000 ]; }
wait_for 15 slideshow_up || fail "no slideshow window after Play"
slide=$(visible_windows $first | grep -vx "$settings" | head -1)
[ -n "$slide" ] || fail "no slideshow window after Play"

reports() { visible_windows $first | grep -vx -e "$settings" -e "$slide" || true; }
report_count() { reports | grep -c . || true; }
reports_at_least() { [ "$(report_count)" -ge "$1" ]; }
track_open() { ls -l /proc/$first/fd 2>/dev/null | grep -q "/show/$1\$"; }

# a.wav ends after 1.4 s; the check after it fails on b.mp3 and reports it.
# Nobody answers: the next check opens c.mp3 all the same.
wait_for 10 reports_at_least 1 || fail "the broken track was not reported"
wait_for 10 track_open c.mp3 || fail "the music did not move on to c.mp3 behind the report"
[ "$(report_count)" -eq 1 ] || fail "the report of the broken track did not stay up"
shot track-report

# Answered, the report goes and gives the keyboard back to the show.
report=$(reports | head -1)
xdotool windowfocus --sync "$report" 2>/dev/null || true
xdotool key Return
no_reports() { ! reports_at_least 1; }
wait_for 5 no_reports || fail "the answered report did not close"

# Colour of a pixel of the last shot: green, red, blue, or other (a report,
# or a transition under way).
colour_at() {
  local rgb
  rgb=$(convert "$work/now.png" -crop "1x1+$1" -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:)
  set -- $rgb
  if [ "$1" -gt 160 ] && [ "$2" -lt 90 ] && [ "$3" -lt 90 ]; then echo red
  elif [ "$2" -gt 120 ] && [ "$1" -lt 90 ] && [ "$3" -lt 90 ]; then echo green
  elif [ "$3" -gt 160 ] && [ "$1" -lt 90 ] && [ "$2" -lt 90 ]; then echo blue
  else echo other; fi
}
# The screen's four corners; the reports stand in the middle.
corners() {
  shot now
  echo $(for xy in 8+8 1015+8 8+759 1015+759; do colour_at $xy; done)
}
screen_is() { [ "$(corners)" = "$1 $1 $1 $1" ]; }

# a.jpg at the first tick (6 s), b.jpg fails at the second (12 s) and is
# reported; behind that unanswered report c.jpg comes at 18 s and d.jpg at 24 s.
wait_for 15 screen_is green || fail "a.jpg did not come: $(corners)"
wait_for 10 reports_at_least 1 || fail "the broken picture was not reported"
shot picture-report
wait_for 10 screen_is red || fail "c.jpg did not come behind the report: $(corners)"
reports_at_least 1 || fail "the report of the broken picture did not stay up"
[ "$(colour_at 512+344)" = other ] || fail "the report is not above the show"
shot third
wait_for 10 screen_is blue || fail "d.jpg did not come behind the report: $(corners)"
reports_at_least 1 || fail "the report of the broken picture did not stay up"
shot fourth
cp "$work/track-report.png" "$work/picture-report.png" "$work/third.png" "$work/fourth.png" \
   "${KALVIO_E2E_SHOTS:-$work}/" 2>/dev/null || true

# Esc, with the report still open, ends the show and with it the program.
xdotool key Escape
wait_for 10 exited $first || fail "the program did not end after Esc"
set +e; wait $first; rc=$?; set -e
[ $rc -eq 0 ] || fail "the program exited with $rc"
echo "e2e: second copy refused, folder chosen in a Chinese dialog, music and pictures went on behind unanswered reports, Esc ended the program with 0"
