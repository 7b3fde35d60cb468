#!/usr/bin/env bash
# End-to-end run of the real program under a private X server: start it, see a
# second copy refused, choose a folder of pictures through the folder dialog,
# play, see the pictures change on screen, end the show with Esc and see the
# program end with exit code 0.
#
#   e2e_test.sh <kalvio executable> <folder of a few JPEG pictures>
set -euo pipefail

source "$(dirname "$0")/kalvio_session.sh"
under_private_x 1024x768x24 "$0" "$@"

kalvio=$(realpath "$1")
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/pictures/more"
cp "$2"/testorig.jpg "$work/pictures/"
cp "$2"/testimggray.jpg "$work/pictures/more/"
cp "$2"/broken.jpg "$work/pictures/"   # listed first: the show reports it and goes on
private_session "$work"

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

# Choose the picture folder through the folder dialog.
choose_picture_folder $first "$settings" "$work/pictures" || fail "the folder dialog did not take the folder"

# Play; the slideshow window covers the screen with the preparing panel.
shot before-play
press_play "$settings"
sleep 1
shot preparing
[ "$(differing before-play preparing)" -gt 100000 ] || fail "no slideshow window after Play"
slide=$(visible_windows $first | grep -vx "$settings" | head -1)
[ -n "$slide" ] || fail "no slideshow window after Play"

# The first tick (6 s after the show starts) meets the broken picture: the
# error report comes up above the show; dismissing it, the show goes on with
# the next picture one interval later, and the one after that.
wait_for 12 windows_at_least $first 3 || fail "the broken picture was not reported"
sleep 0.5; shot report
report=$(visible_windows $first | grep -vx -e "$settings" -e "$slide" | head -1)
xdotool windowfocus --sync "$report" 2>/dev/null || true
xdotool key Return
report_gone() { ! windows_at_least $first 3; }
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
echo "e2e: second copy refused, folder chosen, broken picture reported, pictures changed, Esc ended the program with 0"
