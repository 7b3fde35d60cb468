#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program on Wayland: a headless Weston (no screen, no input
# devices), a private session bus with a stand-in desktop portal, and the
# program driven through its accessibility tree (wayland_show.py). Checks
# that a show plays full screen and ends, and that the portal kept the
# screen awake through it and was released at its end.
#
#   wayland_test.sh <kalvio executable> <folder of test pictures>
set -euo pipefail
here=$(dirname "$(realpath "$0")")

if [ -z "${KALVIO_WAYLAND_INNER:-}" ]; then
  for tool in weston weston-screenshooter dbus-run-session compare convert; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
  done
  /usr/bin/python3 -c 'import dbusmock, gi; gi.require_version("Atspi", "2.0")' 2>/dev/null \
    || { echo "SKIP: python3-dbusmock or the AT-SPI bindings missing"; exit 77; }
  export KALVIO_WAYLAND_INNER=1
  exec dbus-run-session -- "$0" "$@"
fi

kalvio=$(realpath "$1")
work=$(mktemp -d)
cleanup() {
  for pid in ${portal:-} ${weston:-}; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  cat "$work/weston.log" 2>/dev/null | tail -20 || true
  exit 1
}
# until_up <what> <command...>: retries the command every 0.1 s; fails with
# "<what> did not start" at an outer limit only a hang reaches.
until_up() {
  local what=$1 end=$((SECONDS + 300)); shift
  until "$@"; do
    [ $SECONDS -lt $end ] || fail "$what did not start"
    sleep 0.1
  done
}

mkdir -p "$work/runtime" "$work/pictures" "$work/shots"
chmod 700 "$work/runtime"
cp "$2/broken.jpg" "$2/testorig.jpg" "$work/pictures/"   # listed in this order
export XDG_RUNTIME_DIR="$work/runtime"
export WAYLAND_DISPLAY=kalvio-test
unset DISPLAY
export QT_QPA_PLATFORM=wayland
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
# Weston's headless backend has no seat, and Qt 6.4's Wayland input context
# dereferences the missing seat when a text box takes the focus (a desktop
# always has one): leave input methods out here.
export QT_IM_MODULE=none
export LANG=C.UTF-8
unset LC_ALL LC_MESSAGES LANGUAGE

# --debug lets weston-screenshooter take screenshots; pixman renders without a GPU.
weston --backend=headless-backend.so --use-pixman --width=1024 --height=768 \
  --socket="$WAYLAND_DISPLAY" --idle-time=0 --debug --log="$work/weston.log" &
weston=$!
until_up weston test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY"
# Its shell draws the desktop (the first screenshot of the program's window
# shows it around): until then the screen is one colour.
desktop_drawn() {
  rm -rf "$work/desktop" && mkdir "$work/desktop"
  (cd "$work/desktop" && weston-screenshooter >/dev/null 2>&1) &&
    [ "$(convert "$work"/desktop/*.png -format %k info:)" -gt 1 ]
}
until_up "the desktop shell" desktop_drawn

/usr/bin/python3 -m dbusmock --session -t "$here/desktop_mocks/portal.py" > "$work/portal.log" &
portal=$!
portal_up() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
    string:org.freedesktop.portal.Desktop 2>/dev/null | grep -q 'boolean true'
}
until_up "the stand-in portal" portal_up

/usr/bin/python3 "$here/wayland_show.py" "$kalvio" "$work/pictures" "$work/shots" || fail "the show on Wayland"
cp "$work/shots/"*.png "${KALVIO_WAYLAND_SHOTS:-$work}/" 2>/dev/null || true

# The portal kept the screen awake once, without a window identifier (Qt has
# none to give on Wayland), and was released at the end of the show.
calls=$(cut -d' ' -f2- "$work/portal.log")
expected='Inhibit "" 8 {"reason": "正在播放幻灯片"}
Close'
[ "$calls" = "$expected" ] || fail "the portal got: $calls"
echo "wayland: portal inhibited during the show and released at its end"
