# SPDX-License-Identifier: GPL-3.0-or-later
# Driving the real program under a private X server, as a person would.
# Sourced by the scripts that do so (tests and benchmarks); needs Xvfb,
# xdotool and ImageMagick's import.

# require_tools <command...>: exits with 77 (skipped) when one is missing.
require_tools() {
  local tool
  for tool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
  done
}

# under_private_x <screen WxHxD> <script> <args...>: runs the script again
# under an X server of its own, once; exits with 77 (skipped) when the tools
# are missing.
under_private_x() {
  local screen=$1; shift
  [ -n "${KALVIO_PRIVATE_X:-}" ] && return 0
  require_tools Xvfb xdotool import compare
  KALVIO_PRIVATE_X=1 exec "$(dirname "${BASH_SOURCE[0]}")/../support/private-x" "$screen" "$@"
}

# private_session <folder>: a runtime folder of its own (the single-copy lock
# lives there) and no desktop theme.
private_session() {
  mkdir -p "$1/runtime"
  chmod 700 "$1/runtime"
  export XDG_RUNTIME_DIR="$1/runtime"
  export QT_QPA_PLATFORMTHEME=
  unset QT_QPA_PLATFORM
}

# The outer limit of a wait for something the program does: only a hang
# reaches it, whatever the machine's load (a sanitizer build on a busy machine
# takes minutes where a quiet one takes seconds).
hang_s=600

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
windows_at_least() { [ "$(visible_windows "$1" | wc -l)" -ge "$2" ]; }
exited() { ! kill -0 "$1" 2>/dev/null; }

# settings_window <pid>: the settings window, captioned Kalvio.
settings_window() { xdotool search --onlyvisible --pid "$1" --name '^Kalvio$' | head -1; }

# click_at <window> <x> <y>: a left click at a point of the window as laid
# out at scale factor 1 (KALVIO_SCALE: the program's QT_SCALE_FACTOR).
click_at() {
  local scale=${KALVIO_SCALE:-1}
  xdotool mousemove --window "$1" "$(awk "BEGIN { print int($2 * $scale) }")" \
    "$(awk "BEGIN { print int($3 * $scale) }")" click 1
}

# focus_window <window>: gives the window the keyboard and waits until the X
# server says it has it, so that the keys sent next go to it.
has_focus() { xdotool windowfocus "$1" 2>/dev/null; [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
focus_window() { wait_for $hang_s has_focus "$1"; }

# open_folder_dialog <pid> <settings window>: clicks the folder button and
# prints the folder dialog's window once it is up; fails when it does not open.
open_folder_dialog() {
  local pid=$1 settings=$2
  click_at "$settings" 550 44
  wait_for $hang_s windows_at_least "$pid" 2 || return 1
  visible_windows "$pid" | grep -vx "$settings" | head -1
}

# enter_folder <pid> <dialog> <folder>: types the folder into the dialog and
# takes it; fails when the dialog does not go.
enter_folder() {
  local pid=$1 dialog=$2 folder=$3 end
  focus_window "$dialog" || return 1
  xdotool key ctrl+a
  xdotool type --delay 10 "$folder"
  # A Return may only take the completion the dialog offers: Return again
  # until the dialog has gone. One too many lands in the settings window,
  # whose buttons are no default buttons: it does nothing there.
  end=$((SECONDS + hang_s))
  while windows_at_least "$pid" 2; do
    [ $SECONDS -lt $end ] || return 1
    xdotool key Return
    wait_for 2 eval "! windows_at_least $pid 2" || true
  done
}

# choose_picture_folder <pid> <settings window> <folder>: through the folder
# dialog; fails when the dialog does not open or does not take the folder.
choose_picture_folder() {
  local dialog
  dialog=$(open_folder_dialog "$1" "$2") || return 1
  enter_folder "$1" "$dialog" "$3"
}

# press_play <settings window>
press_play() { click_at "$1" 480 239; }
