#!/usr/bin/env bash
# End-to-end run of the real program under a private X server: start it, see a
# second copy refused, choose a folder of pictures through the folder dialog
# (titled in Chinese under an English locale),
# play, see the pictures change on screen, end the show with Esc and see the
# program end with exit code 0.
#
#   e2e_test.sh <kalvio executable> <folder of a few JPEG pictures>
set -euo pipefail

if [ -z "${KALVIO_E2E_INNER:-}" ]; then
  for tool in xvfb-run xdotool import compare; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
  done
  export KALVIO_E2E_INNER=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

kalvio=$(realpath "$1")
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/pictures/more" "$work/runtime"
chmod 700 "$work/runtime"
cp "$2"/testorig.jpg "$work/pictures/"
cp "$2"/testimggray.jpg "$work/pictures/more/"
cp "$2"/broken.jpg "$work/pictures/"   # listed first: the show reports it and goes on
export XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORMTHEME=
export LANG=C.UTF-8
unset LC_ALL LC_MESSAGES LANGUAGE
unset QT_QPA_PLATFORM

fail() { echo "FAIL: $*"; import -window root "$work/failure.png" 2>/dev/null && cp "$work/failure.png" "${KALVIO_E2E_SHOTS:-/tmp}/kalvio-e2e-failure.png" || true; exit 1; }

# wait_for <seconds> <command...>: retries the command every 0.2 s.
wait_for() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.2
  done
}
visible_windows() { xdotool search --onlyvisible --pid "$1" 2>/dev/null || true; }
has_window() { [ -n "$(visible_windows "$1")" ]; }
exited() { ! kill -0 "$1" 2>/dev/null; }
shot() { import -window root "$work/$1.png"; }
# Number of pixels that differ clearly between two screenshots.
differing() { compare -metric AE -fuzz 10% "$work/$1.png" "$work/$2.png" null: 2>&1 | cut -d' ' -f1; }

"$kalvio" & first=$!
wait_for 20 has_window $first || fail "the settings window did not appear"
settings=$(xdotool search --onlyvisible --pid $first --name '^Kalvio$' | head -1)
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

# Choose the picture folder through the folder dialog.
xdotool mousemove --window "$settings" 550 44 click 1
dialog_up() { [ "$(visible_windows $first | wc -l)" -ge 2 ]; }
wait_for 15 dialog_up || fail "the folder dialog did not open"
dialog=$(visible_windows $first | grep -vx "$settings" | head -1)
title=$(xdotool getwindowname "$dialog")
[ "$title" = "查找目录" ] || fail "the folder dialog is titled '$title', not in Chinese"
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
sleep 0.5
xdotool key ctrl+a
xdotool type --delay 10 "$work/pictures"
dialog_gone() { ! dialog_up; }
for attempt in 1 2 3; do
  sleep 0.5
  xdotool key Return    # the first may only take a completion
  wait_for 2 dialog_gone && break
done
dialog_gone || fail "the folder dialog did not accept the folder"

# Play; the slideshow window covers the screen with the preparing panel.
shot before-play
xdotool mousemove --window "$settings" 480 239 click 1
sleep 1
shot preparing
[ "$(differing before-play preparing)" -gt 100000 ] || fail "no slideshow window after Play"
slide=$(visible_windows $first | grep -vx "$settings" | head -1)
[ -n "$slide" ] || fail "no slideshow window after Play"

# The first tick (6 s after the show starts) meets the broken picture: the
# error report comes up above the show; dismissing it, the show goes on with
# the next picture one interval later, and the one after that.
window_count() { [ "$(visible_windows $first | wc -l)" -ge "$1" ]; }
wait_for 12 window_count 3 || fail "the broken picture was not reported"
sleep 0.5; shot report
report=$(visible_windows $first | grep -vx -e "$settings" -e "$slide" | head -1)
xdotool windowfocus --sync "$report" 2>/dev/null || true
xdotool key Return
report_gone() { ! window_count 3; }
wait_for 5 report_gone || fail "the error report did not close"
shot preparing
changed_from() { shot now; [ "$(differing "$1" now)" -gt 20000 ]; }
wait_for 12 changed_from preparing || fail "the first picture did not arrive"
sleep 1.5; shot first
wait_for 12 changed_from first || fail "the second picture did not arrive"
sleep 1.5; shot second
[ "$(differing first second)" -gt 20000 ] || fail "the pictures did not change"
cp "$work/report.png" "$work/first.png" "$work/second.png" "${KALVIO_E2E_SHOTS:-$work}/" 2>/dev/null || true

# Esc ends the show, and with it the program.
xdotool windowfocus --sync "$slide" 2>/dev/null || true
xdotool key Escape
wait_for 10 exited $first || fail "the program did not end after Esc"
set +e; wait $first; rc=$?; set -e
[ $rc -eq 0 ] || fail "the program exited with $rc"
echo "e2e: second copy refused, folder chosen in a Chinese dialog, broken picture reported, pictures changed, Esc ended the program with 0"
