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
  for tool in weston weston-screenshooter dbus-run-session gdbus compare convert; do
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
  for pid in ${portal:-} ${weston:-} ${follower:-}; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  tail -20 "$work/weston.log" 2>/dev/null || true
  exit 1
}
# The outer limit of a wait for something to start: only a hang reaches it.
hang_s=300

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

# --debug lets weston-screenshooter take screenshots; pixman renders without a
# GPU. The desktop shell's client runs with its protocol written to a file, so
# the script can see it say its desktop is ready and commit its background;
# with no start-up fade, the desktop is on screen from the next repaint.
shell_client=$(dpkg -L weston 2>/dev/null | grep -m1 '/weston-desktop-shell$') \
  || fail "weston's desktop shell client not found"
printf '#!/bin/sh\nWAYLAND_DEBUG=client exec "%s" "$@" 2>>"%s"\n' \
  "$shell_client" "$work/shell-protocol.log" > "$work/desktop-shell"
chmod +x "$work/desktop-shell"
printf '[shell]\nstartup-animation=none\nclient=%s\n' "$work/desktop-shell" > "$work/weston.ini"
weston --config="$work/weston.ini" --backend=headless-backend.so --use-pixman --width=1024 --height=768 \
  --socket="$WAYLAND_DISPLAY" --idle-time=0 --debug --log="$work/weston.log" &
weston=$!
# desktop_drawn: reads the shell client's protocol, as it is written, until
# the client has said its desktop is ready and committed its background;
# gives up at the outer limit.
desktop_drawn() {
  local line background= ready= committed= end=$((SECONDS + hang_s))
  while [ $SECONDS -lt $end ] && IFS= read -r -t $((end - SECONDS)) line; do
    case $line in
      *"-> weston_desktop_shell@"*".set_background("*) background=${line##*, } background=${background%)} ;;
      *"-> weston_desktop_shell@"*".desktop_ready()"*) ready=1 ;;
    esac
    [[ -n $background && $line == *"-> $background.commit()"* ]] && committed=1
    [[ -n $ready && -n $committed ]] && return 0
  done
  return 1
}
exec {shell_log}< <(tail -n +1 -F "$work/shell-protocol.log" 2>/dev/null)
follower=$!
desktop_drawn <&"$shell_log" || fail "the desktop shell did not start"
exec {shell_log}<&-
kill "$follower" 2>/dev/null || true

/usr/bin/python3 -m dbusmock --session -t "$here/desktop_mocks/portal.py" > "$work/portal.log" &
portal=$!
gdbus wait --session --timeout "$hang_s" org.freedesktop.portal.Desktop || fail "the stand-in portal did not start"

/usr/bin/python3 "$here/wayland_show.py" "$kalvio" "$work/pictures" "$work/shots" || fail "the show on Wayland"
cp "$work/shots/"*.png "${KALVIO_WAYLAND_SHOTS:-$work}/" 2>/dev/null || true

# The portal kept the screen awake once, without a window identifier (Qt has
# none to give on Wayland), and was released at the end of the show.
calls=$(cut -d' ' -f2- "$work/portal.log")
expected='Inhibit "" 8 {"reason": "正在播放幻灯片"}
Close'
[ "$calls" = "$expected" ] || fail "the portal got: $calls"
echo "wayland: portal inhibited during the show and released at its end"
