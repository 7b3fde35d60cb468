# SPDX-License-Identifier: GPL-3.0-or-later
# Driving the real program under a private X server, as a person would.
# Sourced by the scripts that do so (tests and benchmarks); needs xvfb-run,
# xdotool and ImageMagick's import.

# under_private_x <screen WxHxD> <script> <args...>: runs the script again
# under an X server of its own, once; exits with 77 (skipped) when the tools
# are missing.
under_private_x() {
  local screen=$1; shift
  [ -n "${KALVIO_PRIVATE_X:-}" ] && return 0
  local tool
  for tool in xvfb-run xdotool import compare; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
  done
  KALVIO_PRIVATE_X=1 exec xvfb-run -a -s "-screen 0 $screen" "$@"
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

# choose_picture_folder <pid> <settings window> <folder>: through the folder
# dialog; fails when the dialog does not open or does not take the folder.
choose_picture_folder() {
  local pid=$1 settings=$2 folder=$3 dialog attempt
  click_at "$settings" 550 44
  wait_for 15 windows_at_least "$pid" 2 || return 1
  dialog=$(visible_windows "$pid" | grep -vx "$settings" | head -1)
  xdotool windowfocus --sync "$dialog" 2>/dev/null || true
  sleep 0.5
  xdotool key ctrl+a
  xdotool type --delay 10 "$folder"
  for attempt in 1 2 3; do
    sleep 0.5
    xdotool key Return    # the first may only take a completion
    wait_for 2 eval "! windows_at_least $pid 2" && return 0
  done
  return 1
}

# press_play <settings window>
press_play() { click_at "$1" 480 239; }
