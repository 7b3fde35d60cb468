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
wait_for $hang_s has_window $first || fail "the settings window did not appear"
settings=$(settings_window $first)
[ -n "$settings" ] || fail "no window captioned Kalvio"

# A second copy shows its notice, exits with 0 and leaves the first alone.
"$kalvio" & second=$!
wait_for $hang_s has_window $second || fail "the second copy showed nothing"
box=$(visible_windows $second | head -1)
focus_window "$box" || fail "the second copy's notice did not take the keyboard"
xdotool key Return
wait_for $hang_s exited $second || fail "the second copy did not exit"
set +e; wait $second; rc=$?; set -e
[ $rc -eq 0 ] || fail "the second copy exited with $rc"
kill -0 $first || fail "the first copy ended"

# Choose the folder through the folder dialog; the music folder follows it.
dialog=$(open_folder_dialog $first "$settings") || fail "the folder dialog did not open"
title=$(xdotool getwindowname "$dialog")
[ "$title" = "查找目录" ] || fail "the folder dialog is titled '$title', not in Chinese"
enter_folder $first "$dialog" "$work/show" || fail "the folder dialog did not accept the folder"
click_at "$settings" 30 161   # music on
click_at "$settings" 28 200   # loop on

# Play; the slideshow window covers the screen with the preparing panel.
shot before-play
press_play "$settings"
slideshow_up() { shot preparing; [ "$(differing before-play preparing)" -gt 100000 ]; }
wait_for $hang_s slideshow_up || fail "no slideshow window after Play"
slide=$(visible_windows $first | grep -vx "$settings" | head -1)
[ -n "$slide" ] || fail "no slideshow window after Play"

reports() { visible_windows $first | grep -vx -e "$settings" -e "$slide" || true; }
report_count() { reports | grep -c . || true; }
reports_at_least() { [ "$(report_count)" -ge "$1" ]; }
track_open() { ls -l /proc/$first/fd 2>/dev/null | grep -q "/show/$1\$"; }

# a.wav ends after 1.4 s; the check after it fails on b.mp3 and reports it.
# Nobody answers: the next check opens c.mp3 all the same.
wait_for $hang_s reports_at_least 1 || fail "the broken track was not reported"
wait_for $hang_s track_open c.mp3 || fail "the music did not move on to c.mp3 behind the report"
[ "$(report_count)" -eq 1 ] || fail "the report of the broken track did not stay up"
shot track-report

# Answered, the report goes and gives the keyboard back to the show.
report=$(reports | head -1)
focus_window "$report" || fail "the report did not take the keyboard"
xdotool key Return
no_reports() { ! reports_at_least 1; }
wait_for $hang_s no_reports || fail "the answered report did not close"

# Colours of pixels (x+y) of the last shot: green, red, blue, or other (a
# report, or a transition under way). One reading of the shot for them all
# keeps the polling quick beside a picture that stays six seconds.
colours_at() {
  local format='' xy x y
  for xy; do
    x=${xy%+*} y=${xy#*+}
    format+="%[fx:int(255*p{$x,$y}.r)] %[fx:int(255*p{$x,$y}.g)] %[fx:int(255*p{$x,$y}.b)]\n"
  done
  convert "$work/now.png" -format "$format" info: | while read -r r g b; do
    if [ "$r" -gt 160 ] && [ "$g" -lt 90 ] && [ "$b" -lt 90 ]; then echo red
    elif [ "$g" -gt 120 ] && [ "$r" -lt 90 ] && [ "$b" -lt 90 ]; then echo green
    elif [ "$b" -gt 160 ] && [ "$r" -lt 90 ] && [ "$g" -lt 90 ]; then echo blue
    else echo other; fi
  done
}
# The screen's four corners; the reports stand in the middle.
corners() {
  shot now
  echo $(colours_at 8+8 1015+8 8+759 1015+759)
}
screen_is() { [ "$(corners)" = "$1 $1 $1 $1" ]; }

# a.jpg at the first tick (6 s), b.jpg fails at the second (12 s) and is
# reported; behind that unanswered report c.jpg comes at 18 s and d.jpg at 24 s.
# Each is waited for as long as a hang takes: a late tick on a busy machine
# only shifts them all.
wait_for $hang_s screen_is green || fail "a.jpg did not come: $(corners)"
wait_for $hang_s reports_at_least 1 || fail "the broken picture was not reported"
shot picture-report
wait_for $hang_s screen_is red || fail "c.jpg did not come behind the report: $(corners)"
reports_at_least 1 || fail "the report of the broken picture did not stay up"
[ "$(colours_at 512+344)" = other ] || fail "the report is not above the show"
shot third
wait_for $hang_s screen_is blue || fail "d.jpg did not come behind the report: $(corners)"
reports_at_least 1 || fail "the report of the broken picture did not stay up"
shot fourth
cp "$work/track-report.png" "$work/picture-report.png" "$work/third.png" "$work/fourth.png" \
   "${KALVIO_E2E_SHOTS:-$work}/" 2>/dev/null || true

# Esc, with the report still open, ends the show and with it the program.
xdotool key Escape
wait_for $hang_s exited $first || fail "the program did not end after Esc"
set +e; wait $first; rc=$?; set -e
[ $rc -eq 0 ] || fail "the program exited with $rc"
echo "e2e: second copy refused, folder chosen in a Chinese dialog, music and pictures went on behind unanswered reports, Esc ended the program with 0"
